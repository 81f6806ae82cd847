// CRegWaitDlg: the small "Registration" window shown while a sign-up talks to
// the service, "Sending data to the server......" over a background picture.
// It has no owner (it belongs to the desktop) and deletes itself when closed.
#pragma once

#include "connecting_window.h"

namespace quillora::ui {

class CRegWaitDlg : public WaitWindow {
    Q_OBJECT
  public:
    CRegWaitDlg();
};

} // namespace quillora::ui
