#include "account_entry.h"

#include "edit_user_dialog.h"
#include "main_frame.h"
#include "main_frame_window.h"
#include "user_info_dialog.h"

#include "session/ftp_upload.h"
#include "session/head_images.h"

#include <QPointer>

namespace quillora::ui {

void installAccountDialogs(MainFrameWindow &frame, const QString &userDocument, platform::MessageBoxes &messages,
                           platform::FilePrompts &files)
{
    if (!frame.isCreated())
        return;
    const QPointer<MainFrameWindow> guard(&frame);
    platform::MessageBoxes *boxes = &messages;
    platform::FilePrompts *prompts = &files;
    const QString *document = &userDocument;
    presence::FrameDialogs &dialogs = frame.frame().dialogs();
    dialogs.editAccount = [guard, boxes, prompts](int userID) {
        if (!guard)
            return false;
        session::EditUserSetup setup{guard->frame().site(), session::ftpFromEnvironment(),
                                     session::customFaceDirectory(), session::RememberedCredentials()};
        session::ProfileChange change;
        if (!execEditUserDialog(std::move(setup), userID, *boxes, *prompts, guard, &change) || !guard)
            return false;
        guard->frame().applyProfileChange(change.password, change.nickname, change.email, change.headImage);
        return true;
    };
    dialogs.viewProfile = [guard, boxes, document](int userID) {
        if (guard)
            execUserInfoDialog(guard->frame().site(), *boxes, *document, userID, guard);
    };
    frame.updateCommandStates();
}

} // namespace quillora::ui
