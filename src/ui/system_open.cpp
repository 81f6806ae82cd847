#include "system_open.h"

#include <QDesktopServices>
#include <QUrl>

namespace quillora::ui {

void DesktopSystemOpener::openUrl(const QString &url)
{
    QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}

} // namespace quillora::ui
