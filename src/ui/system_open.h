// Opening site pages with the system's "open" action (the default browser).
// Logic takes a SystemOpener; the program passes DesktopSystemOpener, tests a
// RecordingSystemOpener. The interface and the recorder need Qt Core only.
#pragma once

#include <QString>
#include <QStringList>

namespace quillora::ui {

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

// QDesktopServices::openUrl (defined in the widget library, system_open.cpp).
class DesktopSystemOpener : public SystemOpener {
  public:
    void openUrl(const QString &url) override;
};

} // namespace quillora::ui
