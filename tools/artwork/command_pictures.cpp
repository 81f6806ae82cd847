// The toolbar and menu images, one drawing a command.
#include "client_pictures.h"

namespace artwork {

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

} // namespace artwork
