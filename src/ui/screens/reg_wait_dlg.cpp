#include "reg_wait_dlg.h"

namespace quillora::ui {

CRegWaitDlg::CRegWaitDlg()
    : WaitWindow(QStringLiteral("Registration"), QStringLiteral("Sending data to the server......"))
{
}

} // namespace quillora::ui
