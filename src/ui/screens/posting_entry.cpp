#include "posting_entry.h"

#include "add_post_dialog.h"
#include "add_reply_dialog.h"
#include "main_frame.h"
#include "main_frame_window.h"

#include <QPointer>

namespace quillora::ui {
namespace {

forum::PostingContext contextNow(MainFrameWindow &frame, const forum::BrowsingValues &browsing)
{
    const presence::MemberValues &member = frame.frame().member();
    return forum::postingContext(browsing, member.userID, member.points, member.credit);
}

} // namespace

PostingDialogOpeners postingDialogOpeners(MainFrameWindow &frame, const forum::BrowsingValues &browsing,
                                          platform::MessageBoxes &messages)
{
    const QPointer<MainFrameWindow> guard(&frame);
    const forum::BrowsingValues *values = &browsing;
    platform::MessageBoxes *boxes = &messages;
    PostingDialogOpeners openers;
    openers.askQuestion = [guard, values, boxes] {
        if (!guard)
            return false;
        return execAddPostDialog(guard->frame().site(), *boxes, contextNow(*guard, *values), guard);
    };
    openers.answerQuestion = [guard, values, boxes] {
        if (!guard)
            return false;
        return execAddReplyDialog(guard->frame().site(), *boxes, contextNow(*guard, *values), guard);
    };
    return openers;
}

void installPostingDialogs(MainFrameWindow &frame, const forum::BrowsingValues &browsing,
                           platform::MessageBoxes &messages)
{
    if (!frame.isCreated())
        return;
    PostingDialogOpeners openers = postingDialogOpeners(frame, browsing, messages);
    presence::FrameDialogs &dialogs = frame.frame().dialogs();
    dialogs.askQuestion = std::move(openers.askQuestion);
    dialogs.answerQuestion = std::move(openers.answerQuestion);
    frame.updateCommandStates();
}

} // namespace quillora::ui
