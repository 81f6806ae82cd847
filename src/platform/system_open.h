// Opening site pages with the system's "open" action (the default browser).
// Logic takes a SystemOpener; the program passes the widget layer's
// DesktopSystemOpener, tests a RecordingSystemOpener. Qt Core only.
#pragma once

#include <QString>
#include <QStringList>

namespace quillora::platform {

class SystemOpener {
  public:
    virtual ~SystemOpener() = default;
    virtual void openUrl(const QString &url) = 0;
};

// Records the addresses it was asked to open, opens nothing.
class RecordingSystemOpener : public SystemOpener {
  public:
    void openUrl(const QString &url) override { opened.append(url); }
    QStringList opened;
};

} // namespace quillora::platform
