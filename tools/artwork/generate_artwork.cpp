// Draws the client's pictures: toolbar and menu images at 16, 24 and 32
// pixels, the level badges, the tray icon and its animation frames, and the
// program icon. Run it to refresh the PNG files under src/ui/resources/images
// after changing a drawing:
//
//   quillora-artwork <source dir>/src/ui/resources/images
#include "client_pictures.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

using namespace artwork;

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
