// The program's mark, drawn as the program icon and as the tray icon.
#include "client_pictures.h"

namespace artwork {

void mark(Canvas &c, const QColor &light, const QColor &base, const QColor &edge)
{
    bubble(c, 1, 2, 30, 21, light, base, edge);
    QPainterPath feather;
    feather.moveTo(24, 5);
    feather.cubicTo(17, 6, 11, 12, 9.5, 20);
    feather.lineTo(11, 20);
    feather.cubicTo(17, 18, 22, 12, 24, 5);
    feather.closeSubpath();
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(Qt::white);
    c.p.drawPath(feather);
    c.p.setPen(c.thick(Qt::white, 1.2, 1.0));
    c.p.drawLine(QPointF(10.5, 19.5), QPointF(8, 23));
}

Drawing trayFrame(int frame)
{
    // frame 0 is the still icon; 1..4 pulse a gold light on the bubble
    return [frame](Canvas &c) {
        if (frame == 3)
            mark(c, pal::goldLight, pal::gold, pal::goldDark);
        else
            mark(c, pal::blueLight, pal::blue, pal::blueDark);
        if (frame == 0)
            return;
        const double radius[] = {0, 5.5, 7.5, 0, 7.5};
        const int alpha[] = {0, 255, 255, 0, 160};
        if (radius[frame] > 0) {
            QPainterPath dot;
            dot.addEllipse(QPointF(25, 7), radius[frame], radius[frame]);
            QColor light = pal::goldLight, base = pal::orange;
            light.setAlpha(alpha[frame]);
            base.setAlpha(alpha[frame]);
            c.fillOutline(dot, light, base, pal::orangeDark);
        }
    };
}

} // namespace artwork
