// The program's pictures (quillora.qrc, prefix ":/quillora") live in the
// static widget library; call this once before loading any of them.
#pragma once

#include <QIcon>
#include <QString>

namespace quillora::ui {

void initResources();

// A command image at 16, 24 and 32 pixels ("images/commands/<name>-<size>.png").
QIcon commandIcon(const QString &name);
// The program icon at every size drawn.
QIcon programIcon();
// The tray icon: frame 0 is the still picture, 1 to 4 the arrival animation;
// drawn at 16, 22, 24 and 32 pixels so it stays sharp at scale factor 2.
QIcon trayIcon(int frame);

} // namespace quillora::ui
