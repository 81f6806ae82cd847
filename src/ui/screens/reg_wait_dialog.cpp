#include "reg_wait_dialog.h"

namespace quillora::ui {

CRegWaitDlg::CRegWaitDlg()
    : WaitWindow(QStringLiteral("Registration"), QStringLiteral("Sending data to the server......"))
{
}

} // namespace quillora::ui
