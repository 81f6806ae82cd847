// Draws the zone views' small icons (16x16) into the given folder:
//   tree-leaf.png, tree-leaf-selected.png      a column, normal and selected
//   tree-category-1.png, tree-category-2.png   a zone's first and second category
//   announce-0.png .. announce-3.png           announcement kinds: notice, news,
//                                              outside link, question
//   quillora-make-forum-icons <output folder>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

namespace {

QImage draw(const std::function<void(QPainter &)> &paint)
{
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter);
    return image;
}

// A page with a folded corner and three text lines.
void leaf(QPainter &p, bool selected)
{
    const QColor edge = selected ? QColor(0x1F, 0x5F, 0xB0) : QColor(0x70, 0x78, 0x84);
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(10, 1.5);
    page.lineTo(13.5, 5);
    page.lineTo(13.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    p.setPen(QPen(edge, 1));
    p.setBrush(selected ? QColor(0xDD, 0xEC, 0xFF) : QColor(Qt::white));
    p.drawPath(page);
    p.setBrush(selected ? QColor(0xA8, 0xCB, 0xF5) : QColor(0xD8, 0xDC, 0xE2));
    p.drawPolygon(QPolygonF({QPointF(10, 1.5), QPointF(10, 5), QPointF(13.5, 5)}));
    p.setPen(QPen(selected ? QColor(0x2E, 0x7C, 0xD6) : QColor(0xA0, 0xA6, 0xB0), 1));
    for (double y : {7.5, 9.5, 11.5})
        p.drawLine(QPointF(5.5, y), QPointF(11.5, y));
}

// A closed book; the two categories differ in colour.
void category(QPainter &p, const QColor &cover)
{
    p.setPen(QPen(cover.darker(160), 1));
    p.setBrush(cover);
    p.drawRoundedRect(QRectF(2.5, 1.5, 10, 13), 1.5, 1.5);
    p.setBrush(QColor(0xF4, 0xF1, 0xE6));
    p.drawRect(QRectF(12.5, 2.5, 1.5, 11));
    p.setPen(QPen(cover.lighter(160), 1));
    p.drawLine(QPointF(5, 5), QPointF(10, 5));
    p.drawLine(QPointF(5, 7), QPointF(9, 7));
    p.setPen(QPen(cover.darker(130), 1));
    p.drawLine(QPointF(4.5, 2), QPointF(4.5, 14));
}

// A round badge with a white sign.
void announcement(QPainter &p, int kind)
{
    const QColor colours[] = {QColor(0xE0, 0x7B, 0x12), QColor(0x2F, 0x74, 0xD0), QColor(0x2E, 0x9A, 0x4A),
                              QColor(0x8E, 0x48, 0xB8)};
    const QColor c = colours[kind];
    QRadialGradient shade(QPointF(6, 5), 10);
    shade.setColorAt(0, c.lighter(140));
    shade.setColorAt(1, c);
    p.setPen(QPen(c.darker(150), 1));
    p.setBrush(shade);
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    switch (kind) {
    case 0: // notice: "!"
        p.drawLine(QPointF(8, 4.2), QPointF(8, 8.8));
        p.drawPoint(QPointF(8, 11.6));
        break;
    case 1: // news: "i"
        p.drawPoint(QPointF(8, 4.6));
        p.drawLine(QPointF(8, 7.4), QPointF(8, 11.8));
        break;
    case 2: // outside link: arrow leaving a box
        p.setPen(QPen(Qt::white, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(
            QPolygonF({QPointF(7, 5), QPointF(4.8, 5), QPointF(4.8, 11.2), QPointF(11, 11.2), QPointF(11, 9)}));
        p.drawLine(QPointF(7.5, 8.5), QPointF(11.4, 4.6));
        p.drawPolyline(QPolygonF({QPointF(8.6, 4.6), QPointF(11.4, 4.6), QPointF(11.4, 7.4)}));
        break;
    default: { // question: "?"
        QPainterPath q;
        q.moveTo(5.8, 6.2);
        q.cubicTo(5.8, 3.2, 10.4, 3.2, 10.4, 6);
        q.cubicTo(10.4, 7.8, 8, 7.8, 8, 9.6);
        p.drawPath(q);
        p.drawPoint(QPointF(8, 12));
        break;
    }
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // draws into images only
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillora-make-forum-icons <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path()))
        return 1;
    bool ok = true;
    auto save = [&](const QImage &image, const char *name) {
        ok &= image.save(out.filePath(QString::fromLatin1(name)));
    };
    save(draw([](QPainter &p) { leaf(p, false); }), "tree-leaf.png");
    save(draw([](QPainter &p) { leaf(p, true); }), "tree-leaf-selected.png");
    save(draw([](QPainter &p) { category(p, QColor(0x3A, 0x6E, 0xC8)); }), "tree-category-1.png");
    save(draw([](QPainter &p) { category(p, QColor(0x3E, 0x9B, 0x5A)); }), "tree-category-2.png");
    for (int kind = 0; kind < 4; ++kind) {
        const QByteArray name = "announce-" + QByteArray::number(kind) + ".png";
        save(draw([kind](QPainter &p) { announcement(p, kind); }), name.constData());
    }
    return ok ? 0 : 1;
}
