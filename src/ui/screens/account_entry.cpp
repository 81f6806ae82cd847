#include "account_entry.h"

#include "edit_user_dialog.h"
#include "main_frame.h"
#include "main_frame_window.h"
#include "user_info_dialog.h"

#include "service/varnel_services.h"
#include "session/ftp_upload.h"
#include "session/head_images.h"

#include <QPointer>

namespace quillora::ui {

void installAccountDialogs(MainFrameWindow &frame, QString &userDocument, platform::MessageBoxes &messages,
                           platform::FilePrompts &files)
{
    if (!frame.isCreated())
        return;
    const QPointer<MainFrameWindow> guard(&frame);
    platform::MessageBoxes *boxes = &messages;
    platform::FilePrompts *prompts = &files;
    QString *document = &userDocument;
    presence::FrameDialogs &dialogs = frame.frame().dialogs();
    dialogs.editAccount = [guard, boxes, prompts, document](int userID) {
        if (!guard)
            return false;
        session::EditUserSetup setup{guard->frame().site(), session::ftpFromEnvironment(),
                                     session::customFaceDirectory(), session::RememberedCredentials()};
        session::ProfileChange change;
        if (!execEditUserDialog(std::move(setup), userID, *boxes, *prompts, guard, &change) || !guard)
            return false;
        presence::CMainFrame &frame = guard->frame();
        frame.applyProfileChange(change.password, change.nickname, change.email, change.headImage);
        // "My Profile" shows the session's sign-in document: a fresh one
        // carries the new nickname and picture. Should the call fail, the
        // document kept so far stays.
        QString fresh;
        service::CVarnelServices proxy(frame.site());
        proxy.useServiceAccount(service::Op::GetUserByUserName);
        if (service::succeeded(proxy.GetUserByUserName(frame.member().userName, change.password, &fresh)))
            *document = fresh;
        return true;
    };
    dialogs.viewProfile = [guard, boxes, document](int userID) {
        if (guard)
            execUserInfoDialog(guard->frame().site(), *boxes, *document, userID, guard);
    };
    frame.updateCommandStates();
}

} // namespace quillora::ui
