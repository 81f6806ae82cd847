// Draws the client's pictures: toolbar and menu images at 16, 24 and 32
// pixels, the level badges, the tray icon and its animation frames, and the
// program icon. Run it to refresh the PNG files under src/ui/resources/images
// after changing a drawing:
//
//   quillora-artwork <source dir>/src/ui/resources/images
//
// Every drawing is made on a 32-unit square; strokes are one device pixel wide
// and snapped to the pixel grid so the small sizes stay sharp.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// One palette for every picture.
namespace pal {
const QColor blue(0x2f, 0x6d, 0xb5), blueLight(0x6f, 0xa8, 0xe6), blueDark(0x1d, 0x45, 0x7a);
const QColor green(0x3c, 0x9a, 0x4b), greenLight(0x7c, 0xcb, 0x7f), greenDark(0x22, 0x63, 0x2c);
const QColor gold(0xe9, 0xb5, 0x2e), goldLight(0xfb, 0xe0, 0x7e), goldDark(0x9c, 0x6b, 0x0e);
const QColor orange(0xe3, 0x7a, 0x23), orangeDark(0x9b, 0x4a, 0x0e);
const QColor red(0xc9, 0x4a, 0x3d), redDark(0x86, 0x2a, 0x20);
const QColor paper(0xfd, 0xfd, 0xfb), paperShade(0xe4, 0xe8, 0xee), paperEdge(0x7d, 0x86, 0x93);
const QColor steel(0x9a, 0xa5, 0xb3), steelDark(0x4d, 0x57, 0x66), ink(0x3a, 0x42, 0x4d);
const QColor skin(0xf2, 0xc6, 0x9c), skinDark(0xa8, 0x74, 0x4c);
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

QPainterPath roundRect(const QRectF &r, double radius)
{
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

// ---- building blocks (design units) --------------------------------------

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
QPainterPath bubblePath(Canvas &c, double x, double y, double w, double h, bool tailRight = false)
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
            const QColor &edge, bool tailRight = false)
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

// ---- the command images ----------------------------------------------------

using Drawing = std::function<void(Canvas &)>;

struct Picture {
    const char *name;
    Drawing draw;
};

std::vector<Picture> commandPictures()
{
    return {
        {"save-question",
         [](Canvas &c) {
             floppy(c, pal::blueLight, pal::blue, pal::blueDark);
             c.glyph(QStringLiteral("?"), QPointF(16, 22.5), 9, pal::blue);
         }},
        {"save-message",
         [](Canvas &c) {
             floppy(c, pal::blueLight, pal::blue, pal::blueDark);
             c.p.setPen(c.line(pal::steel));
             textLines(c, 10, 20, 12, 3, 3);
         }},
        {"print",
         [](Canvas &c) {
             page(c, 9, 2, 14, 12);
             textLines(c, 12, 6, 6, 2, 3);
             c.fillOutline(roundRect(c.box(3, 12, 26, 12), 2.5), QColor(0xd7, 0xdd, 0xe5), pal::steel, pal::steelDark);
             c.p.setPen(c.line(pal::steelDark));
             c.p.setBrush(pal::paper);
             c.p.drawRect(c.box(8, 20, 16, 10));
             textLines(c, 11, 24, 10, 2, 3);
             c.p.setPen(Qt::NoPen);
             c.p.setBrush(pal::green);
             c.p.drawEllipse(QPointF(24.5, 16.5), 1.4, 1.4);
         }},
        {"print-preview",
         [](Canvas &c) {
             page(c, 4, 2, 20, 26);
             textLines(c, 8, 8, 12, 5, 3);
             magnifier(c, 19, 18, 6, 7);
         }},
        {"ask-question",
         [](Canvas &c) {
             bubble(c, 2, 3, 28, 21, pal::blueLight, pal::blue, pal::blueDark);
             c.glyph(QStringLiteral("?"), QPointF(16, 13.5), 14, Qt::white);
         }},
        {"answer-question",
         [](Canvas &c) {
             bubble(c, 2, 3, 28, 21, pal::greenLight, pal::green, pal::greenDark, true);
             checkMark(c, QPointF(9.5, 13.5), QPointF(14, 18), QPointF(22.5, 8.5), Qt::white, 3.2);
         }},
        {"close-questions",
         [](Canvas &c) {
             // a ribbon medal: points awarded
             QPainterPath ribbonL, ribbonR;
             ribbonL.moveTo(9, 2);
             ribbonL.lineTo(15, 2);
             ribbonL.lineTo(18, 13);
             ribbonL.lineTo(13, 15);
             ribbonL.closeSubpath();
             ribbonR.moveTo(17, 2);
             ribbonR.lineTo(23, 2);
             ribbonR.lineTo(19, 15);
             ribbonR.lineTo(14, 13);
             ribbonR.closeSubpath();
             c.fillOutline(ribbonL, pal::blueLight, pal::blue, pal::blueDark);
             c.fillOutline(ribbonR, QColor(0xe0, 0x6b, 0x5e), pal::red, pal::redDark);
             QPainterPath medal;
             medal.addEllipse(QPointF(16, 21), 9, 9);
             c.fillOutline(medal, pal::goldLight, pal::gold, pal::goldDark);
             c.p.setPen(Qt::NoPen);
             c.p.setBrush(pal::goldDark);
             c.p.drawPath(starPath(QPointF(16, 21.5), 5.2, 2.3));
         }},
        {"buy-points",
         [](Canvas &c) {
             for (int i = 2; i >= 0; --i) {
                 const double y = 10 + i * 6;
                 QPainterPath coin;
                 coin.addEllipse(QRectF(2, y, 20, 8));
                 QPainterPath side;
                 side.addRect(QRectF(2, y + 4, 20, 4));
                 c.fillOutline(coin.united(side).united(roundRect(QRectF(2, y + 4, 20, 4), 0)), pal::gold,
                               pal::goldDark.lighter(130), pal::goldDark);
                 QPainterPath top;
                 top.addEllipse(QRectF(2, y, 20, 7));
                 c.fillOutline(top, pal::goldLight, pal::gold, pal::goldDark);
             }
             // a green plus badge
             QPainterPath disc;
             disc.addEllipse(QPointF(24, 8.5), 6.5, 6.5);
             c.fillOutline(disc, pal::greenLight, pal::green, pal::greenDark);
             c.p.setPen(c.thick(Qt::white, 2.4, 1.5));
             c.p.drawLine(QPointF(24, 5), QPointF(24, 12));
             c.p.drawLine(QPointF(20.5, 8.5), QPointF(27.5, 8.5));
         }},
        {"search", [](Canvas &c) { magnifier(c, 13, 13, 9, 10); }},
        {"communication",
         [](Canvas &c) {
             bubble(c, 10, 10, 20, 14, pal::greenLight, pal::green, pal::greenDark, true);
             bubble(c, 2, 3, 20, 14, pal::blueLight, pal::blue, pal::blueDark);
             c.p.setPen(Qt::NoPen);
             c.p.setBrush(Qt::white);
             for (int i = 0; i < 3; ++i)
                 c.p.drawEllipse(QPointF(7.5 + i * 4.5, 10), 1.5, 1.5);
         }},
        {"my-questions",
         [](Canvas &c) {
             page(c, 5, 2, 22, 28);
             c.glyph(QStringLiteral("?"), QPointF(16, 17), 15, pal::blue);
         }},
        {"my-solutions",
         [](Canvas &c) {
             page(c, 5, 2, 22, 28);
             textLines(c, 9, 9, 13, 2, 4);
             checkMark(c, QPointF(10, 20), QPointF(14.5, 24.5), QPointF(23, 14), pal::green, 3.4);
         }},
        {"scored-answers",
         [](Canvas &c) {
             page(c, 3, 2, 22, 28);
             textLines(c, 7, 9, 13, 4, 4);
             star(c, QPointF(21.5, 21.5), 9.5);
         }},
        {"announcements",
         [](Canvas &c) {
             QPainterPath horn;
             horn.moveTo(5, 12);
             horn.lineTo(22, 4);
             horn.lineTo(22, 26);
             horn.lineTo(5, 19);
             horn.closeSubpath();
             c.fillOutline(horn, QColor(0xf4, 0xa8, 0x5f), pal::orange, pal::orangeDark);
             c.fillOutline(roundRect(c.box(2, 11, 5, 9), 1), pal::steel, pal::steelDark, pal::ink);
             QPainterPath handle;
             handle.moveTo(8, 19);
             handle.lineTo(11, 28);
             handle.lineTo(15, 28);
             handle.lineTo(13, 20.5);
             handle.closeSubpath();
             c.fillOutline(handle, pal::steel, pal::steelDark, pal::ink);
             c.fillOutline(roundRect(c.box(21, 3, 4, 24), 2), pal::steel, pal::steelDark, pal::ink);
             c.p.setPen(c.thick(pal::orange, 1.8, 1.2));
             c.p.drawLine(QPointF(27.5, 11), QPointF(30, 9));
             c.p.drawLine(QPointF(27.5, 15), QPointF(30.5, 15));
             c.p.drawLine(QPointF(27.5, 19), QPointF(30, 21));
         }},
        {"profile", [](Canvas &c) { person(c, 3, 1, 1.0, pal::blue, pal::blueDark); }},
        {"edit-account",
         [](Canvas &c) {
             person(c, 0, 1, 0.95, pal::blue, pal::blueDark);
             pencil(c, QPointF(16, 29), 17, 5);
         }},
        {"connection",
         [](Canvas &c) {
             // a globe with meridians
             QPainterPath globe;
             globe.addEllipse(QPointF(16, 16), 13, 13);
             QRadialGradient g(QPointF(12, 11), 17);
             g.setColorAt(0, pal::blueLight);
             g.setColorAt(1, pal::blue);
             c.p.setPen(c.line(pal::blueDark));
             c.p.setBrush(g);
             c.p.drawPath(globe);
             c.p.setPen(c.line(QColor(255, 255, 255, 200)));
             c.p.setBrush(Qt::NoBrush);
             c.p.drawEllipse(QPointF(16, 16), 5.5, 13);
             c.p.drawLine(QPointF(16, 3), QPointF(16, 29));
             c.p.drawLine(QPointF(3, 16), QPointF(29, 16));
             c.p.drawLine(QPointF(5.5, 9.5), QPointF(26.5, 9.5));
             c.p.drawLine(QPointF(5.5, 22.5), QPointF(26.5, 22.5));
         }},
        {"refresh",
         [](Canvas &c) {
             auto arc = [&](double start, QPointF headAt, double headAngle) {
                 QPainterPath path;
                 path.arcMoveTo(QRectF(5, 5, 22, 22), start);
                 path.arcTo(QRectF(5, 5, 22, 22), start, 140);
                 c.p.setBrush(Qt::NoBrush);
                 c.p.setPen(c.thick(pal::greenDark, 5.4, 3.2));
                 c.p.drawPath(path);
                 c.p.setPen(c.thick(pal::green, 3.4, 1.8));
                 c.p.drawPath(path);
                 c.p.save();
                 c.p.translate(headAt);
                 c.p.rotate(headAngle);
                 QPainterPath head;
                 head.moveTo(-5.5, 0);
                 head.lineTo(5.5, 0);
                 head.lineTo(0, 6.5);
                 head.closeSubpath();
                 c.fillOutline(head, pal::greenLight, pal::green, pal::greenDark);
                 c.p.restore();
             };
             arc(20, QPointF(6.4, 12.5), 180 + 0);
             arc(200, QPointF(25.6, 19.5), 0);
         }},
        {"send-to-friend",
         [](Canvas &c) {
             envelope(c, 2, 7, 22, 17);
             QPainterPath arrow;
             arrow.moveTo(17, 18);
             arrow.lineTo(24, 18);
             arrow.lineTo(24, 14);
             arrow.lineTo(31, 21);
             arrow.lineTo(24, 28);
             arrow.lineTo(24, 24);
             arrow.lineTo(17, 24);
             arrow.closeSubpath();
             c.fillOutline(arrow, pal::greenLight, pal::green, pal::greenDark);
         }},
        {"moderators",
         [](Canvas &c) {
             QPainterPath shield;
             shield.moveTo(16, 2);
             shield.cubicTo(20, 5, 24, 5.5, 28, 5.5);
             shield.cubicTo(28, 18, 24, 25, 16, 30);
             shield.cubicTo(8, 25, 4, 18, 4, 5.5);
             shield.cubicTo(8, 5.5, 12, 5, 16, 2);
             shield.closeSubpath();
             c.fillOutline(shield, pal::blueLight, pal::blue, pal::blueDark);
             star(c, QPointF(16, 15.5), 8);
         }},
        {"home",
         [](Canvas &c) {
             QPainterPath house;
             house.moveTo(6, 15);
             house.lineTo(6, 29);
             house.lineTo(26, 29);
             house.lineTo(26, 15);
             house.closeSubpath();
             c.fillOutline(house, pal::paper, pal::paperShade, pal::paperEdge);
             c.p.setPen(c.line(pal::orangeDark));
             c.p.setBrush(c.vertical(QRectF(13, 19, 6, 10), QColor(0xc9, 0x8a, 0x57), pal::orangeDark));
             c.p.drawRect(c.box(13, 19, 6, 10));
             QPainterPath roof;
             roof.moveTo(1.5, 16.5);
             roof.lineTo(16, 3);
             roof.lineTo(30.5, 16.5);
             roof.lineTo(27, 16.5);
             roof.lineTo(16, 7);
             roof.lineTo(5, 16.5);
             roof.closeSubpath();
             c.fillOutline(roof, QColor(0xe0, 0x6b, 0x5e), pal::red, pal::redDark);
         }},
        {"help",
         [](Canvas &c) {
             QPainterPath disc;
             disc.addEllipse(QPointF(16, 16), 13.5, 13.5);
             c.fillOutline(disc, pal::blueLight, pal::blue, pal::blueDark);
             c.glyph(QStringLiteral("?"), QPointF(16, 16), 17, Qt::white);
         }},
        {"download",
         [](Canvas &c) {
             c.fillOutline(roundRect(c.box(3, 20, 26, 9), 2), QColor(0xd7, 0xdd, 0xe5), pal::steel, pal::steelDark);
             arrowDown(c, 16, 2, 24, 8, pal::greenLight, pal::green, pal::greenDark);
         }},
        {"feedback",
         [](Canvas &c) {
             envelope(c, 2, 11, 24, 18);
             bubble(c, 14, 2, 16, 11, pal::goldLight, pal::gold, pal::goldDark, true);
         }},
    };
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

// ---- level badges: 64x12, ten pips, tiers bronze, silver, gold, blue ------

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

// ---- program icon and tray -------------------------------------------------

// The program's mark: a blue speech bubble with a white quill.
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

bool save(const QImage &image, const QString &path)
{
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillora-artwork <output directory>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (const char *sub : {"commands", "badges", "tray", "app"})
        out.mkpath(QString::fromLatin1(sub));
    bool ok = true;
    for (const Picture &pic : commandPictures()) {
        for (int size : {16, 24, 32})
            ok &= save(render(pic.draw, size),
                       out.filePath(QStringLiteral("commands/%1-%2.png").arg(QLatin1String(pic.name)).arg(size)));
    }
    for (int level = 1; level <= 10; ++level)
        ok &= save(levelBadge(level), out.filePath(QStringLiteral("badges/level-%1.png").arg(level)));
    // The tray icon at 16 px, with 22, 24 and 32 px drawings for panels that
    // ask for more and for scale factor 2 ("@2x": 32 px for the 16 px slot).
    for (int frame = 0; frame <= 4; ++frame) {
        const QString base = frame ? QStringLiteral("tray/frame-%1").arg(frame) : QStringLiteral("tray/still");
        ok &= save(render(trayFrame(frame), 16), out.filePath(base + QStringLiteral(".png")));
        for (int size : {22, 24, 32})
            ok &= save(render(trayFrame(frame), size), out.filePath(base + QStringLiteral("-%1.png").arg(size)));
    }
    // The program icon at the sizes the desktop's icon theme (hicolor) carries.
    const Drawing programMark = [](Canvas &c) { mark(c, pal::blueLight, pal::blue, pal::blueDark); };
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        ok &= save(render(programMark, size), out.filePath(QStringLiteral("app/quillora-%1.png").arg(size)));
    return ok ? 0 : 1;
}
