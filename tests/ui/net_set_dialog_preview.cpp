// Shows "Connection Settings" for looking at it under a display (not run by
// ctest): net_set_dialog_preview [proxy]. It works on a settings file in a
// temporary folder; "proxy" fills one in first.
#include "qt_message_boxes.h"
#include "screens/net_set_dialog.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

using namespace quillora;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("UserData.ini"));
    if (argc > 1 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("proxy")) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write("[SETUP_OPTION]\nSETUP_TYPE=1\n[PROXY_TYPE]\nPROXY_TYPE=2\n[PROXY_OPTION]\n"
                       "PROXY_SERVER=proxy.office.lan\nPROXY_PORT=3128\nPROXY_USERNAME=jwalker\n"
                       "PROXY_PASSWORD=secret\nPROXY_REGION=EMEA\n");
    }
    ui::QtMessageBoxes messages;
    ui::NetSetDialog dialog(path, messages);
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
