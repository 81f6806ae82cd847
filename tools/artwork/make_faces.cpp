// Draws the 24 built-in head pictures (32x32) into face-01.png .. face-24.png:
//   quillora-make-faces <output folder>
// Each picture is a small round face on a coloured tile; skin, hair, eyes,
// mouth and extras vary with the number so that every picture differs.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

const QColor kTiles[] = {QColor(0x5B, 0x9B, 0xD5), QColor(0x70, 0xAD, 0x47), QColor(0xED, 0x7D, 0x31),
                         QColor(0xA5, 0x6B, 0xC8), QColor(0x26, 0xA6, 0x9A), QColor(0xE0, 0x5A, 0x7A)};
const QColor kSkins[] = {QColor(0xF6, 0xD5, 0xB8), QColor(0xE8, 0xB9, 0x8E), QColor(0xC6, 0x8E, 0x62),
                         QColor(0x8D, 0x5A, 0x3B)};
const QColor kHair[] = {QColor(0x2B, 0x1D, 0x14), QColor(0x8A, 0x4B, 0x1F), QColor(0xD9, 0xB3, 0x4F),
                        QColor(0x6E, 0x6E, 0x6E), QColor(0xB0, 0x3A, 0x2E)};

void drawFace(QPainter &p, int n)
{
    const int i = n - 1;
    const QColor tile = kTiles[i % 6];
    const QColor skin = kSkins[(i / 6 + i) % 4];
    const QColor hair = kHair[(i * 7 / 3) % 5];
    const int hairStyle = (i / 2) % 4;
    const int extra = i % 4; // 0 none, 1 glasses, 2 cap, 3 bow

    p.setRenderHint(QPainter::Antialiasing);
    // Tile with a soft top-down shade and a darker rim.
    QLinearGradient shade(0, 0, 0, 32);
    shade.setColorAt(0, tile.lighter(135));
    shade.setColorAt(1, tile.darker(115));
    p.setPen(QPen(tile.darker(150), 1));
    p.setBrush(shade);
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 5, 5);

    // Shoulders.
    p.setPen(Qt::NoPen);
    p.setBrush(tile.darker(170));
    p.drawEllipse(QRectF(5, 25, 22, 14));

    // Hair behind the head (long styles).
    p.setBrush(hair);
    if (hairStyle == 2)
        p.drawRoundedRect(QRectF(7, 8, 18, 19), 6, 6);

    // Head.
    p.setPen(QPen(skin.darker(140), 0.8));
    p.setBrush(skin);
    p.drawEllipse(QRectF(8.5, 7, 15, 17));

    // Hair on top.
    p.setPen(Qt::NoPen);
    p.setBrush(hair);
    QPainterPath top;
    switch (hairStyle) {
    case 0: // short
        top.moveTo(8.5, 14);
        top.cubicTo(8, 5, 24, 5, 23.5, 14);
        top.cubicTo(20, 10, 13, 10, 8.5, 14);
        break;
    case 1: // side parting
        top.moveTo(8.3, 15);
        top.cubicTo(7, 4, 25, 4, 23.7, 15);
        top.lineTo(22, 11);
        top.cubicTo(18, 12, 13, 9, 11, 11);
        top.closeSubpath();
        break;
    case 2: // long, fringe
        top.moveTo(8.5, 13);
        top.cubicTo(8, 5, 24, 5, 23.5, 13);
        top.lineTo(8.5, 13);
        break;
    default: // spiky
        top.moveTo(8.5, 13);
        for (int k = 0; k <= 6; ++k)
            top.lineTo(8.5 + k * 2.5, k % 2 ? 4.5 : 9.5);
        top.lineTo(23.5, 13);
        top.cubicTo(19, 10, 13, 10, 8.5, 13);
        break;
    }
    p.drawPath(top);

    // Eyes.
    const QColor eye(0x22, 0x22, 0x22);
    p.setBrush(eye);
    const bool wink = n % 5 == 0;
    p.drawEllipse(QRectF(12, 14.5, 2.2, 2.4));
    if (wink) {
        p.setPen(QPen(eye, 1));
        p.drawLine(QPointF(18, 15.8), QPointF(20.2, 15.8));
        p.setPen(Qt::NoPen);
    } else {
        p.drawEllipse(QRectF(18, 14.5, 2.2, 2.4));
    }

    // Mouth: smile, grin or small "o".
    p.setPen(QPen(QColor(0x9E, 0x2B, 0x25), 1.1, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    switch (n % 3) {
    case 0:
        p.drawArc(QRectF(12.5, 16, 7, 5), -20 * 16, -140 * 16);
        break;
    case 1:
        p.setBrush(QColor(0xFF, 0xFF, 0xFF));
        p.drawChord(QRectF(12.5, 17, 7, 4.5), 0, -180 * 16);
        break;
    default:
        p.drawEllipse(QRectF(15, 19, 2.2, 2));
        break;
    }

    // Extras.
    switch (extra) {
    case 1: // glasses
        p.setPen(QPen(QColor(0x30, 0x30, 0x30), 0.9));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(10.5, 13.3, 4.8, 4.6));
        p.drawEllipse(QRectF(16.7, 13.3, 4.8, 4.6));
        p.drawLine(QPointF(15.3, 15.4), QPointF(16.7, 15.4));
        break;
    case 2: { // cap
        const QColor cap = kTiles[(i + 3) % 6].darker(120);
        p.setPen(Qt::NoPen);
        p.setBrush(cap);
        QPainterPath crown;
        crown.moveTo(8, 11);
        crown.cubicTo(8, 2.5, 24, 2.5, 24, 11);
        crown.closeSubpath();
        p.drawPath(crown);
        p.drawRoundedRect(QRectF(14, 9.5, 13, 2.5), 1.2, 1.2);
        break;
    }
    case 3: // bow
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xE8, 0x3E, 0x5C));
        p.drawPolygon(QPolygonF({QPointF(20, 6), QPointF(25, 3.5), QPointF(25, 8.5)}));
        p.drawPolygon(QPolygonF({QPointF(20, 6), QPointF(15, 3.5), QPointF(15, 8.5)}));
        p.drawEllipse(QPointF(20, 6), 1.3, 1.3);
        break;
    default:
        break;
    }

    // Cheeks.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xF0, 0x80, 0x80, 70));
    p.drawEllipse(QRectF(10, 17.5, 3, 2));
    p.drawEllipse(QRectF(19, 17.5, 3, 2));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // draws into images only
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillora-make-faces <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path()))
        return 1;
    for (int n = 1; n <= 24; ++n) {
        QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        drawFace(painter, n);
        painter.end();
        const QString name = QStringLiteral("face-%1.png").arg(n, 2, 10, QLatin1Char('0'));
        if (!image.save(out.filePath(name))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(out.filePath(name)));
            return 1;
        }
    }
    return 0;
}
