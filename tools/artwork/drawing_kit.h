// The drawing kit every picture of the client's image set is made with: one
// palette, a canvas of 32 design units on a square of any pixel size, and the
// building blocks the pictures share. Strokes are one device pixel wide and
// snapped to the pixel grid so the small sizes stay sharp.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

#include <algorithm>
#include <cmath>
#include <functional>

namespace artwork {

// One palette for every picture.
namespace pal {
inline const QColor blue(0x2f, 0x6d, 0xb5), blueLight(0x6f, 0xa8, 0xe6), blueDark(0x1d, 0x45, 0x7a);
inline const QColor green(0x3c, 0x9a, 0x4b), greenLight(0x7c, 0xcb, 0x7f), greenDark(0x22, 0x63, 0x2c);
inline const QColor gold(0xe9, 0xb5, 0x2e), goldLight(0xfb, 0xe0, 0x7e), goldDark(0x9c, 0x6b, 0x0e);
inline const QColor orange(0xe3, 0x7a, 0x23), orangeDark(0x9b, 0x4a, 0x0e);
inline const QColor red(0xc9, 0x4a, 0x3d), redDark(0x86, 0x2a, 0x20);
inline const QColor paper(0xfd, 0xfd, 0xfb), paperShade(0xe4, 0xe8, 0xee), paperEdge(0x7d, 0x86, 0x93);
inline const QColor steel(0x9a, 0xa5, 0xb3), steelDark(0x4d, 0x57, 0x66), ink(0x3a, 0x42, 0x4d);
inline const QColor skin(0xf2, 0xc6, 0x9c), skinDark(0xa8, 0x74, 0x4c);
} // namespace pal

// A painter on a square of `size` pixels, scaled to 32 design units.
struct Canvas {
    QPainter &p;
    double px; // design units per device pixel

    double snap(double v) const { return std::round(v / px) * px; }
    // A rectangle whose one-pixel outline falls on whole pixels.
    QRectF box(double x, double y, double w, double h) const
    {
        return QRectF(QPointF(snap(x) + px / 2, snap(y) + px / 2), QPointF(snap(x + w) - px / 2, snap(y + h) - px / 2));
    }
    QPen line(const QColor &c, double widthPx = 1.0) const
    {
        QPen pen(c, px * widthPx);
        pen.setJoinStyle(Qt::RoundJoin);
        pen.setCapStyle(Qt::RoundCap);
        return pen;
    }
    // A stroke at least `units` wide but never thinner than `minPx` pixels.
    QPen thick(const QColor &c, double units, double minPx = 1.5) const { return line(c, std::max(minPx, units / px)); }
    QLinearGradient vertical(const QRectF &r, const QColor &top, const QColor &bottom) const
    {
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, top);
        g.setColorAt(1, bottom);
        return g;
    }
    void fillOutline(const QPainterPath &path, const QColor &light, const QColor &base, const QColor &edge)
    {
        const QRectF r = path.boundingRect();
        p.setPen(line(edge));
        p.setBrush(vertical(r, light, base));
        p.drawPath(path);
    }
    // A text glyph centred at `c`, `height` units high, filled.
    void glyph(const QString &text, QPointF c, double height, const QColor &color, bool serif = false)
    {
        QFont f(serif ? QStringLiteral("DejaVu Serif") : QStringLiteral("DejaVu Sans"));
        f.setBold(true);
        f.setPixelSize(100);
        QPainterPath path;
        path.addText(0, 0, f, text);
        const QRectF b = path.boundingRect();
        const double k = height / b.height();
        QTransform t;
        t.translate(c.x(), c.y());
        t.scale(k, k);
        t.translate(-b.center().x(), -b.center().y());
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawPath(t.map(path));
    }
};

using Drawing = std::function<void(Canvas &)>;

// ---- building blocks (design units) --------------------------------------

QPainterPath roundRect(const QRectF &r, double radius);
void page(Canvas &c, double x, double y, double w, double h);
void textLines(Canvas &c, double x, double y, double w, int count, double gap);
// A speech bubble in the box, its tail at the lower left (or right).
QPainterPath bubblePath(Canvas &c, double x, double y, double w, double h, bool tailRight = false);
void bubble(Canvas &c, double x, double y, double w, double h, const QColor &light, const QColor &base,
            const QColor &edge, bool tailRight = false);
void floppy(Canvas &c, const QColor &light, const QColor &base, const QColor &edge);
void magnifier(Canvas &c, double cx, double cy, double radius, double handle);
void checkMark(Canvas &c, QPointF a, QPointF b, QPointF d, const QColor &color, double units);
QPainterPath starPath(QPointF center, double outer, double inner);
void star(Canvas &c, QPointF center, double outer);
void envelope(Canvas &c, double x, double y, double w, double h);
void person(Canvas &c, double x, double y, double scale, const QColor &shirt, const QColor &shirtDark);
void pencil(Canvas &c, QPointF tip, double length, double width);
void arrowDown(Canvas &c, double cx, double top, double bottom, double width, const QColor &light, const QColor &base,
               const QColor &edge);

// A drawing rendered on a transparent square of `size` pixels.
QImage render(const Drawing &draw, int size);
// Writes a PNG file; says on stderr when it cannot.
bool save(const QImage &image, const QString &path);

} // namespace artwork
