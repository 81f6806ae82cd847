// How the program opens "Edit Profile" and "My Profile" from the main frame:
// over the main window, with the member's user ID. After an accepted profile
// edit the frame's member values take the new password, nickname, e-mail and
// head image number before the frame reports the change and refreshes.
#pragma once

#include "platform/file_prompt.h"
#include "platform/message_box.h"

#include <QString>

namespace quillora::ui {

class MainFrameWindow;

// Sets the main frame's "Edit My Account" and "View My Profile" dialogs and
// enables both commands. `userDocument` is the session's sign-in document
// ("My Profile" shows it; a profile edit replaces it with a fresh one); it,
// `messages` and `files` must outlive the frame.
void installAccountDialogs(MainFrameWindow &frame, QString &userDocument, platform::MessageBoxes &messages,
                           platform::FilePrompts &files);

} // namespace quillora::ui
