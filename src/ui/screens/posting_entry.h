// How the program opens the question and solution dialogs: over the main
// window, with the member's points and credit as the last status refresh
// left them and the browsing values of that moment. The main menu's "Ask
// Question" and "Answer Question" and the zone views' buttons use the same
// openers; their checks before the dialog and refreshes after it stay with
// the main frame and the zone views.
#pragma once

#include "platform/message_box.h"

#include "browsing_values.h"

#include <functional>

namespace quillora::ui {

class MainFrameWindow;

struct PostingDialogOpeners {
    std::function<bool()> askQuestion;    // "Post Question"; true when stored
    std::function<bool()> answerQuestion; // "Post Solution"; true when stored
};

// The openers bound to `frame` (owner, site, member figures) and `browsing`.
// Both must outlive the openers; an opener run after the frame is gone
// opens nothing and returns false.
PostingDialogOpeners postingDialogOpeners(MainFrameWindow &frame, const forum::BrowsingValues &browsing,
                                          platform::MessageBoxes &messages);

// Sets the main frame's "Ask Question" and "Answer Question" dialogs and
// enables the two commands.
void installPostingDialogs(MainFrameWindow &frame, const forum::BrowsingValues &browsing,
                           platform::MessageBoxes &messages);

} // namespace quillora::ui
