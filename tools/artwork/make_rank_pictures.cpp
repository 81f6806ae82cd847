// Draws the 10 member rank pictures (64x12) into rank-01.png .. rank-10.png:
//   quillora-make-rank-pictures <output folder>
// A rank reads as a row of ten pips, as many lit as the rank; the colour of
// the lit pips climbs from bronze (1-3) over silver (4-6) and gold (7-9) to
// ruby for the top rank, so the tier shows at a glance and the count in detail.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <cstdio>

namespace {

constexpr int kWidth = 64, kHeight = 12, kScale = 4;

QColor tierColour(int rank)
{
    if (rank >= 10)
        return QColor(0xC8, 0x1E, 0x4B); // ruby
    if (rank >= 7)
        return QColor(0xE9, 0xB1, 0x20); // gold
    if (rank >= 4)
        return QColor(0x9A, 0xA7, 0xB8); // silver
    return QColor(0xC0, 0x7A, 0x3E);     // bronze
}

void drawRank(QPainter &p, int rank)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(kScale, kScale);
    // The groove the pips sit in.
    QLinearGradient groove(0, 0, 0, kHeight);
    groove.setColorAt(0, QColor(0xE4, 0xE8, 0xEE));
    groove.setColorAt(1, QColor(0xF6, 0xF8, 0xFA));
    p.setPen(QPen(QColor(0xA9, 0xB3, 0xC1), 0.75));
    p.setBrush(groove);
    p.drawRoundedRect(QRectF(0.5, 0.5, kWidth - 1, kHeight - 1), 3, 3);

    const QColor lit = tierColour(rank);
    const double pip = 5.0, gap = 1.0, left = 2.5, top = 2.5, height = kHeight - 5.0;
    for (int i = 0; i < 10; ++i) {
        const QRectF r(left + i * (pip + gap), top, pip, height);
        if (i < rank) {
            QLinearGradient shine(r.topLeft(), r.bottomLeft());
            shine.setColorAt(0, lit.lighter(150));
            shine.setColorAt(0.5, lit);
            shine.setColorAt(1, lit.darker(125));
            p.setPen(QPen(lit.darker(160), 0.5));
            p.setBrush(shine);
        } else {
            p.setPen(QPen(QColor(0xC9, 0xD0, 0xDA), 0.5));
            p.setBrush(QColor(0xFF, 0xFF, 0xFF, 160));
        }
        p.drawRoundedRect(r, 1.2, 1.2);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillora-make-rank-pictures <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (int rank = 1; rank <= 10; ++rank) {
        QImage big(kWidth * kScale, kHeight * kScale, QImage::Format_ARGB32_Premultiplied);
        big.fill(Qt::transparent);
        {
            QPainter p(&big);
            drawRank(p, rank);
        }
        const QImage picture = big.scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QString path = out.filePath(QStringLiteral("rank-%1.png").arg(rank, 2, 10, QLatin1Char('0')));
        if (!picture.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
