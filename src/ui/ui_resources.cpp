#include "ui_resources.h"

static void initQuilloraResources()
{
    Q_INIT_RESOURCE(quillora);
}

namespace quillora::ui {

void initResources()
{
    static const bool done = (initQuilloraResources(), true);
    (void)done;
}

QIcon commandIcon(const QString &name)
{
    initResources();
    QIcon icon;
    for (int size : {16, 24, 32})
        icon.addFile(QStringLiteral(":/quillora/images/commands/%1-%2.png").arg(name).arg(size), QSize(size, size));
    return icon;
}

QIcon programIcon()
{
    initResources();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/quillora/images/app/quillora-%1.png").arg(size), QSize(size, size));
    return icon;
}

QIcon trayIcon(int frame)
{
    initResources();
    const QString base = frame > 0 ? QStringLiteral(":/quillora/images/tray/frame-%1").arg(frame)
                                   : QStringLiteral(":/quillora/images/tray/still");
    QIcon icon;
    icon.addFile(base + QStringLiteral(".png"), QSize(16, 16));
    for (int size : {22, 24, 32})
        icon.addFile(base + QStringLiteral("-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace quillora::ui
