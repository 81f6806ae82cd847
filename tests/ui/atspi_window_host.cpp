// Shows the program's windows one at a time for a walk over the real
// accessibility bus (atspi_walk.py, which starts this program): each window
// of windowOpeners() is opened as the in-process walk opens it, "window NAME"
// is written to standard output, and the next one follows when a line comes
// in on standard input. The event loop keeps running meanwhile, so the
// accessibility bridge answers the walker. Ends with "done".
#include "accessibility_windows.h"

#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using namespace quillora::ui::test;

namespace {

// Waits, answering the bus, until the walker writes a line; false when it
// closed its end.
bool waitForLine()
{
    QSocketNotifier ready(STDIN_FILENO, QSocketNotifier::Read);
    QEventLoop loop;
    QObject::connect(&ready, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    loop.exec();
    char c = 0;
    while (::read(STDIN_FILENO, &c, 1) == 1) {
        if (c == '\n')
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("QuilloraAtspiHost"));
    QCoreApplication::setApplicationName(QStringLiteral("QuilloraAtspiHost"));
    Program program;
    if (!program.started()) {
        std::fprintf(stderr, "the demo server did not start\n");
        return 1;
    }
    for (const WindowOpener &opener : windowOpeners()) {
        std::unique_ptr<QWidget> window = opener.open(program);
        if (!window) {
            std::fprintf(stderr, "%s did not open\n", opener.name);
            return 1;
        }
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) {
            std::fprintf(stderr, "%s was not shown\n", opener.name);
            return 1;
        }
        QTest::qWait(200); // the bridge registers the window's objects
        std::printf("window %s\n", opener.name);
        std::fflush(stdout);
        if (!waitForLine())
            return 1;
    }
    std::printf("done\n");
    std::fflush(stdout);
    return 0;
}
