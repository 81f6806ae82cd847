// Shows the main window with a sample member for screenshots:
//   main_frame_preview [level] [role]   (QUILLORA_SITE names the server)
// Not a test; the window runs until it is closed.
#include "frame_test_support.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "screens/main_frame_window.h"
#include "ui/ui_resources.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("QuilloraPreview"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillora"));
    const int level = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 7;
    const int role = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 3;
    quillora::platform::RecordingMessageBoxes messages;
    quillora::platform::RecordingSystemOpener opener;
    quillora::ui::MainFrameContext ctx{
        quillora::service::siteFromEnvironment(),
        quillora::presence::test::signInDocument(21, QStringLiteral("marta.k"), QStringLiteral("pw"), role, level,
                                                 QStringLiteral("1250"), QStringLiteral("88")),
        &messages, &opener};
    quillora::ui::MainFrameWindow window(ctx);
    if (!window.isCreated())
        return 1;
    window.showMaximizedAndStart();
    return app.exec();
}
