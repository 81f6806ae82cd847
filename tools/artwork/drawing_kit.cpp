#include "drawing_kit.h"

#include <cstdio>

namespace artwork {

QPainterPath roundRect(const QRectF &r, double radius)
{
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

void page(Canvas &c, double x, double y, double w, double h)
{
    const QRectF r = c.box(x, y, w, h);
    const double fold = c.snap(w * 0.32);
    QPainterPath path;
    path.moveTo(r.topLeft());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.closeSubpath();
    c.fillOutline(path, pal::paper, pal::paperShade, pal::paperEdge);
    QPainterPath ear;
    ear.moveTo(r.right() - fold, r.top());
    ear.lineTo(r.right() - fold, r.top() + fold);
    ear.lineTo(r.right(), r.top() + fold);
    ear.closeSubpath();
    c.p.setBrush(pal::paperShade.darker(110));
    c.p.drawPath(ear);
}

void textLines(Canvas &c, double x, double y, double w, int count, double gap)
{
    c.p.setPen(c.line(pal::steel));
    for (int i = 0; i < count; ++i) {
        const double ly = c.snap(y + i * gap) + c.px / 2;
        c.p.drawLine(QPointF(c.snap(x), ly), QPointF(c.snap(x + (i == count - 1 ? w * 0.6 : w)), ly));
    }
}

// A speech bubble in the box, its tail at the lower left (or right).
QPainterPath bubblePath(Canvas &c, double x, double y, double w, double h, bool tailRight)
{
    const QRectF r = c.box(x, y, w, h);
    QPainterPath body = roundRect(r, std::min(w, h) * 0.3);
    QPainterPath tail;
    const double bx = tailRight ? r.right() - w * 0.3 : r.left() + w * 0.3;
    const double dir = tailRight ? 1 : -1;
    tail.moveTo(bx - dir * w * 0.02, r.bottom() - 2);
    tail.lineTo(bx + dir * w * 0.14, r.bottom() - 2);
    tail.lineTo(bx - dir * w * 0.1, r.bottom() + h * 0.32);
    tail.closeSubpath();
    return body.united(tail);
}

void bubble(Canvas &c, double x, double y, double w, double h, const QColor &light, const QColor &base,
            const QColor &edge, bool tailRight)
{
    c.fillOutline(bubblePath(c, x, y, w, h, tailRight), light, base, edge);
}

void floppy(Canvas &c, const QColor &light, const QColor &base, const QColor &edge)
{
    const QRectF r = c.box(3, 3, 26, 26);
    QPainterPath body;
    body.moveTo(r.topLeft());
    body.lineTo(r.right() - 4, r.top());
    body.lineTo(r.right(), r.top() + 4);
    body.lineTo(r.bottomRight());
    body.lineTo(r.bottomLeft());
    body.closeSubpath();
    c.fillOutline(body, light, base, edge);
    // shutter
    c.p.setPen(c.line(pal::steelDark));
    c.p.setBrush(c.vertical(r, QColor(0xe8, 0xec, 0xf1), pal::steel));
    c.p.drawRect(c.box(9, 3, 14, 9));
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(pal::steelDark);
    c.p.drawRect(QRectF(c.snap(18), c.snap(5), c.snap(3), c.snap(5)));
    // label
    c.p.setPen(c.line(edge));
    c.p.setBrush(pal::paper);
    c.p.drawRect(c.box(7, 16, 18, 13));
}

void magnifier(Canvas &c, double cx, double cy, double radius, double handle)
{
    c.p.setPen(c.thick(pal::steelDark, 4.0, 2.5));
    const double d = radius * 0.7071;
    c.p.drawLine(QPointF(cx + d, cy + d), QPointF(cx + d + handle, cy + d + handle));
    c.p.setPen(c.thick(pal::ink, 2.6, 1.5));
    QRadialGradient glass(QPointF(cx - radius * 0.4, cy - radius * 0.4), radius * 1.6);
    glass.setColorAt(0, QColor(0xff, 0xff, 0xff, 240));
    glass.setColorAt(1, QColor(0xa9, 0xcf, 0xf2, 220));
    c.p.setBrush(glass);
    c.p.drawEllipse(QPointF(cx, cy), radius, radius);
}

void checkMark(Canvas &c, QPointF a, QPointF b, QPointF d, const QColor &color, double units)
{
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(d);
    c.p.setBrush(Qt::NoBrush);
    c.p.setPen(c.thick(color, units, 1.6));
    c.p.drawPath(path);
}

QPainterPath starPath(QPointF center, double outer, double inner)
{
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const double a = -M_PI / 2 + i * M_PI / 5;
        const double r = i % 2 ? inner : outer;
        const QPointF pt(center.x() + r * std::cos(a), center.y() + r * std::sin(a));
        i ? path.lineTo(pt) : path.moveTo(pt);
    }
    path.closeSubpath();
    return path;
}

void star(Canvas &c, QPointF center, double outer)
{
    c.fillOutline(starPath(center, outer, outer * 0.45), pal::goldLight, pal::gold, pal::goldDark);
}

void envelope(Canvas &c, double x, double y, double w, double h)
{
    const QRectF r = c.box(x, y, w, h);
    c.p.setPen(c.line(pal::paperEdge));
    c.p.setBrush(c.vertical(r, pal::paper, pal::paperShade));
    c.p.drawRect(r);
    QPainterPath flap;
    flap.moveTo(r.topLeft());
    flap.lineTo(r.center().x(), r.top() + h * 0.55);
    flap.lineTo(r.topRight());
    c.p.setBrush(Qt::NoBrush);
    c.p.drawPath(flap);
}

void person(Canvas &c, double x, double y, double scale, const QColor &shirt, const QColor &shirtDark)
{
    auto at = [&](double dx, double dy) { return QPointF(x + dx * scale, y + dy * scale); };
    QPainterPath body;
    body.moveTo(at(2, 28));
    body.cubicTo(at(2, 20), at(6, 17), at(13, 17));
    body.cubicTo(at(20, 17), at(24, 20), at(24, 28));
    body.closeSubpath();
    c.fillOutline(body, shirt.lighter(140), shirt, shirtDark);
    QPainterPath head;
    head.addEllipse(QRectF(at(7, 3), at(19, 16)));
    c.fillOutline(head, pal::skin.lighter(110), pal::skin, pal::skinDark);
}

void pencil(Canvas &c, QPointF tip, double length, double width)
{
    c.p.save();
    c.p.translate(tip);
    c.p.rotate(-45);
    QPainterPath body;
    body.moveTo(0, 0);
    body.lineTo(width * 1.4, -width / 2);
    body.lineTo(length, -width / 2);
    body.lineTo(length, width / 2);
    body.lineTo(width * 1.4, width / 2);
    body.closeSubpath();
    c.p.setPen(c.line(pal::orangeDark));
    c.p.setBrush(QLinearGradient(0, -width / 2, 0, width / 2));
    QLinearGradient g(0, -width / 2, 0, width / 2);
    g.setColorAt(0, pal::goldLight);
    g.setColorAt(1, pal::orange);
    c.p.setBrush(g);
    c.p.drawPath(body);
    QPainterPath wood;
    wood.moveTo(0, 0);
    wood.lineTo(width * 1.4, -width / 2);
    wood.lineTo(width * 1.4, width / 2);
    wood.closeSubpath();
    c.p.setBrush(pal::skin);
    c.p.drawPath(wood);
    c.p.setBrush(pal::ink);
    c.p.setPen(Qt::NoPen);
    c.p.drawEllipse(QPointF(width * 0.25, 0), width * 0.22, width * 0.22);
    c.p.setPen(c.line(pal::redDark));
    c.p.setBrush(pal::red);
    c.p.drawRect(QRectF(length - width * 0.9, -width / 2, width * 0.9, width));
    c.p.restore();
}

void arrowDown(Canvas &c, double cx, double top, double bottom, double width, const QColor &light, const QColor &base,
               const QColor &edge)
{
    const double head = width * 1.1;
    QPainterPath path;
    path.moveTo(cx - width / 2, top);
    path.lineTo(cx + width / 2, top);
    path.lineTo(cx + width / 2, bottom - head);
    path.lineTo(cx + head, bottom - head);
    path.lineTo(cx, bottom);
    path.lineTo(cx - head, bottom - head);
    path.lineTo(cx - width / 2, bottom - head);
    path.closeSubpath();
    c.fillOutline(path, light, base, edge);
}

QImage render(const Drawing &draw, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    Canvas c{p, 32.0 / size};
    draw(c);
    p.end();
    return image;
}

bool save(const QImage &image, const QString &path)
{
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace artwork
