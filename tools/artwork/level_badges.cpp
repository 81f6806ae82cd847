// The level badges.
#include "client_pictures.h"

namespace artwork {

QImage levelBadge(int level)
{
    QImage image(64, 12, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    struct Tier {
        QColor light, base, edge;
    };
    const Tier tiers[] = {
        {QColor(0xf0, 0xb9, 0x8a), QColor(0xb8, 0x6b, 0x32), QColor(0x7a, 0x42, 0x18)}, // 1-3
        {QColor(0xe6, 0xeb, 0xf1), QColor(0x83, 0x91, 0xa3), QColor(0x46, 0x50, 0x5e)}, // 4-6
        {pal::goldLight, pal::gold, pal::goldDark},                                     // 7-9
        {pal::blueLight, pal::blue, pal::blueDark},                                     // 10
    };
    const Tier &t = tiers[level <= 3 ? 0 : level <= 6 ? 1 : level <= 9 ? 2 : 3];
    // frame
    const QRectF frame(0.5, 0.5, 63, 11);
    p.setPen(QPen(QColor(0x6b, 0x74, 0x80), 1));
    QLinearGradient back(frame.topLeft(), frame.bottomLeft());
    back.setColorAt(0, QColor(0xf7, 0xf8, 0xfa));
    back.setColorAt(1, QColor(0xdc, 0xe1, 0xe7));
    p.setBrush(back);
    p.drawRoundedRect(frame, 3, 3);
    // pips: 10 cells of 5 px with 1 px gaps, from x = 2
    for (int i = 0; i < 10; ++i) {
        const QRectF cell(2.5 + i * 6, 2.5, 5, 7);
        if (i < level) {
            QLinearGradient g(cell.topLeft(), cell.bottomLeft());
            g.setColorAt(0, t.light);
            g.setColorAt(1, t.base);
            p.setPen(QPen(t.edge, 1));
            p.setBrush(g);
        } else {
            p.setPen(QPen(QColor(0xc6, 0xcc, 0xd4), 1));
            p.setBrush(QColor(0xf6, 0xf7, 0xf9));
        }
        p.drawRect(cell.adjusted(0, 0, -1, -1));
    }
    p.end();
    return image;
}

} // namespace artwork
