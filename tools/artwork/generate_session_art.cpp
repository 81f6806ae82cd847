// Draws the pictures of the start-up screens: the sign-in dialog's
// background, the "Connecting" window's background, the update dialog's
// banner and the about box's banner. Each picture is drawn at twice its size
// and scaled down, so edges and text come out smooth.
//
//   quillora-session-art <source dir>/src/ui/resources/images/session
//
// (the artwork target runs every generator).
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>
#include <functional>

namespace {

const QColor kNavy(0x17, 0x3a, 0x69), kBlue(0x2f, 0x6d, 0xb5), kSky(0x58, 0x9b, 0xdf);
const QColor kGold(0xe9, 0xb5, 0x2e), kGoldLight(0xfb, 0xe0, 0x7e);
const QColor kPanelTop(0xf7, 0xf9, 0xfc), kPanelBottom(0xe2, 0xe8, 0xf0), kEdge(0xb8, 0xc4, 0xd3);

QFont font(int pixelSize, int weight, bool italic = false)
{
    QFont f(QStringLiteral("Lato"));
    f.setPixelSize(pixelSize);
    f.setWeight(QFont::Weight(weight));
    f.setItalic(italic);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

// The program's mark: a white speech bubble holding a blue question mark,
// with a gold quill stroke across its corner.
void drawMark(QPainter &p, const QRectF &r)
{
    const double u = r.width() / 32.0;
    p.save();
    p.translate(r.topLeft());
    p.scale(u, u);
    // shadow
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(2, 3, 26, 20), 6, 6);
    QPainterPath tail;
    tail.moveTo(8, 21);
    tail.lineTo(6, 29);
    tail.lineTo(15, 22);
    tail.closeSubpath();
    bubble = bubble.united(tail);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawPath(bubble.translated(0.6, 0.9));
    QLinearGradient fill(0, 3, 0, 29);
    fill.setColorAt(0, QColor(0xff, 0xff, 0xff));
    fill.setColorAt(1, QColor(0xdc, 0xe8, 0xf6));
    p.setBrush(fill);
    p.setPen(QPen(QColor(0x1d, 0x45, 0x7a), 0.8));
    p.drawPath(bubble);
    // question mark
    QFont q = font(17, QFont::Black);
    p.setFont(q);
    p.setPen(kBlue);
    p.drawText(QRectF(2, 2.5, 26, 20), Qt::AlignCenter, QStringLiteral("?"));
    // quill
    QPainterPath quill;
    quill.moveTo(31, 1);
    quill.cubicTo(25, 3, 21, 9, 19.5, 15);
    quill.cubicTo(24, 12, 28, 8, 31, 1);
    QLinearGradient gold(19, 15, 31, 1);
    gold.setColorAt(0, kGold);
    gold.setColorAt(1, kGoldLight);
    p.setBrush(gold);
    p.setPen(QPen(QColor(0x9c, 0x6b, 0x0e), 0.6));
    p.drawPath(quill);
    p.setPen(QPen(QColor(0x9c, 0x6b, 0x0e), 0.7, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(19.5, 15), QPointF(17.5, 19));
    p.restore();
}

// The blue band shared by every picture: a diagonal gradient, soft light from
// the upper left, faint bubble outlines on the right and a gold rule below.
void drawBand(QPainter &p, const QRectF &r, bool rule = true)
{
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, kNavy);
    g.setColorAt(0.55, kBlue);
    g.setColorAt(1, kSky);
    p.fillRect(r, g);
    QRadialGradient glow(r.left() + r.width() * 0.2, r.top(), r.width() * 0.6);
    glow.setColorAt(0, QColor(255, 255, 255, 50));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(r, glow);
    p.save();
    p.setClipRect(r);
    p.setBrush(Qt::NoBrush);
    const double h = r.height();
    struct Ring {
        double x, y, d;
        int alpha;
    };
    const Ring rings[] = {{0.80, 0.15, 1.3, 26}, {0.93, 0.65, 0.9, 20}, {0.70, 0.85, 0.55, 16}};
    for (const Ring &ring : rings) {
        p.setPen(QPen(QColor(255, 255, 255, ring.alpha), h * 0.05));
        p.drawRoundedRect(QRectF(r.left() + r.width() * ring.x - h * ring.d / 2, r.top() + h * ring.y - h * ring.d / 2,
                                 h * ring.d * 1.3, h * ring.d),
                          h * ring.d * 0.3, h * ring.d * 0.3);
    }
    p.restore();
    if (rule) {
        QLinearGradient line(r.left(), 0, r.right(), 0);
        line.setColorAt(0, kGold);
        line.setColorAt(1, kGoldLight);
        p.fillRect(QRectF(r.left(), r.bottom() - r.height() * 0.03, r.width(), r.height() * 0.03), line);
    }
}

void drawPanel(QPainter &p, const QRectF &r)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, kPanelTop);
    g.setColorAt(1, kPanelBottom);
    p.fillRect(r, g);
}

void drawTitle(QPainter &p, const QRectF &r, const QString &title, const QString &subtitle, int titlePx, int subPx)
{
    p.setPen(QColor(0, 0, 0, 70));
    p.setFont(font(titlePx, QFont::Bold));
    p.drawText(r.translated(1, 1.5), Qt::AlignLeft | Qt::AlignTop, title);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignLeft | Qt::AlignTop, title);
    if (!subtitle.isEmpty()) {
        p.setFont(font(subPx, QFont::Medium, true));
        p.setPen(QColor(0xdc, 0xea, 0xfa));
        p.drawText(r.adjusted(2, titlePx * 1.3, 0, 0), Qt::AlignLeft | Qt::AlignTop, subtitle);
    }
}

// Draws at twice the size, then scales down smoothly.
QImage render(int w, int h, const std::function<void(QPainter &, double w, double h)> &draw)
{
    QImage big(w * 2, h * 2, QImage::Format_ARGB32_Premultiplied);
    big.fill(Qt::transparent);
    {
        QPainter p(&big);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.scale(2, 2);
        draw(p, w, h);
    }
    return big.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB32);
}

// Sign-in dialog, 440x290: the band with the mark and title on top, a light
// panel below with a white card where the two labels and boxes sit.
QImage loginBackground()
{
    return render(440, 290, [](QPainter &p, double w, double h) {
        drawPanel(p, QRectF(0, 0, w, h));
        drawBand(p, QRectF(0, 0, w, 92));
        drawMark(p, QRectF(22, 18, 54, 54));
        drawTitle(p, QRectF(90, 22, w - 100, 60), QStringLiteral("Quillora 2007"),
                  QStringLiteral("Ask the experts. Share what you know."), 27, 13);
        // card behind the labels and boxes
        const QRectF card(18, 108, w - 36, 116);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1d, 0x45, 0x7a, 18));
        p.drawRoundedRect(card.translated(0, 2), 7, 7);
        p.setBrush(Qt::white);
        p.setPen(QPen(kEdge, 1));
        p.drawRoundedRect(card, 7, 7);
        // a quiet rule above the buttons
        p.setPen(QPen(QColor(0xc9, 0xd3, 0xdf), 1));
        p.drawLine(QPointF(18, 240.5), QPointF(w - 18, 240.5));
        p.setPen(QPen(Qt::white, 1));
        p.drawLine(QPointF(18, 241.5), QPointF(w - 18, 241.5));
    });
}

// "Connecting" window, 340x100: the band with the mark; the label sits on the right.
QImage connectingBackground()
{
    return render(340, 100, [](QPainter &p, double w, double h) {
        drawBand(p, QRectF(0, 0, w, h), true);
        drawMark(p, QRectF(20, 22, 52, 52));
        // three dots of a spinner at rest
        for (int i = 0; i < 3; ++i) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, 110 + 60 * i));
            p.drawEllipse(QPointF(96 + i * 14, 70), 3.5, 3.5);
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 255, 255, 60), 1));
        p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));
    });
}

// "Update Information" banner, 420x76: band, a download arrow into a tray, title.
QImage updateBanner()
{
    return render(420, 76, [](QPainter &p, double w, double h) {
        drawBand(p, QRectF(0, 0, w, h));
        // arrow into a tray, drawn in white on a gold disc
        const QPointF c(46, 37);
        QRadialGradient disc(c - QPointF(6, 8), 30);
        disc.setColorAt(0, kGoldLight);
        disc.setColorAt(1, kGold);
        p.setPen(QPen(QColor(0x9c, 0x6b, 0x0e), 1));
        p.setBrush(disc);
        p.drawEllipse(c, 24, 24);
        p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(c + QPointF(0, -13), c + QPointF(0, 5));
        p.drawPolyline(QPolygonF({c + QPointF(-8, -3), c + QPointF(0, 6), c + QPointF(8, -3)}));
        p.drawPolyline(QPolygonF({c + QPointF(-12, 6), c + QPointF(-12, 12), c + QPointF(12, 12), c + QPointF(12, 6)}));
        drawTitle(p, QRectF(86, 14, w - 96, 60), QStringLiteral("A newer Quillora is ready"),
                  QStringLiteral("Get the latest fixes and features from the download page."), 21, 12);
    });
}

// About box banner, 400x110: band with a large mark and the product name.
QImage aboutBanner()
{
    return render(400, 110, [](QPainter &p, double w, double h) {
        drawBand(p, QRectF(0, 0, w, h));
        drawMark(p, QRectF(24, 20, 70, 70));
        drawTitle(p, QRectF(112, 26, w - 120, 70), QStringLiteral("Quillora 2007"),
                  QStringLiteral("The expert question-and-answer community"), 32, 13);
    });
}

// Sign-up dialog banner, 720x84, drawn across the dialog's width: band, mark,
// title and a line on what membership gives.
QImage registerBanner()
{
    return render(720, 84, [](QPainter &p, double w, double h) {
        drawBand(p, QRectF(0, 0, w, h));
        drawMark(p, QRectF(20, 14, 54, 54));
        drawTitle(p, QRectF(90, 16, w - 100, 64), QStringLiteral("Join Quillora 2007"),
                  QStringLiteral("Free membership: ask the experts, answer questions, earn points."), 25, 13);
    });
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillora-session-art <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path()))
        return 1;
    const struct {
        const char *name;
        QImage image;
    } pictures[] = {
        {"login-background.png", loginBackground()},
        {"connecting-background.png", connectingBackground()},
        {"update-banner.png", updateBanner()},
        {"about-banner.png", aboutBanner()},
        {"register-banner.png", registerBanner()},
    };
    for (const auto &pic : pictures) {
        const QString path = out.filePath(QString::fromLatin1(pic.name));
        if (!pic.image.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
