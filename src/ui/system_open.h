// The system's "open" action for the program: QDesktopServices::openUrl.
#pragma once

#include "platform/system_open.h"

namespace quillora::ui {

class DesktopSystemOpener : public platform::SystemOpener {
  public:
    void openUrl(const QString &url) override;
};

} // namespace quillora::ui
