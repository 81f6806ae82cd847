// Shows the "Post Question" or "Post Solution" dialog filled in as a member
// would have it, for looking at it under a display (not run by ctest):
//   posting_dialogs_preview post|reply [empty]
// Submit goes nowhere (a closed loopback port), so it shows the failure box.
#include "qt_message_boxes.h"
#include "screens/add_post_dialog.h"
#include "screens/add_reply_dialog.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace quillora;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString which = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("post");
    const bool empty = argc > 2 && QString::fromLocal8Bit(argv[2]) == QStringLiteral("empty");
    ui::QtMessageBoxes messages;
    const service::SiteAddress nowhere{QStringLiteral("127.0.0.1"), 9};
    forum::PostingContext context{.userID = 3,
                                  .points = 180,
                                  .credit = 100,
                                  .currentColumn = 24,
                                  .selectedQuestionId = 118,
                                  .selectedQuestionTitle = QStringLiteral(
                                      "Frame rate drops to 20 fps after the latest driver update & the game stutters")};
    if (which == QStringLiteral("reply")) {
        ui::AddReplyDialog dialog(nowhere, messages, context);
        if (!empty)
            dialog.solutionEdit()->setPlainText(
                QStringLiteral("Roll the driver back to the previous release first, then turn off the overlay of "
                               "the recording tool.\n\nIf the stutter stays, lower the shadow quality one step."));
        return dialog.exec() == QDialog::Accepted ? 0 : 1;
    }
    ui::AddPostDialog dialog(nowhere, messages, context);
    if (!empty) {
        dialog.titleEdit()->setText(QStringLiteral("Save games vanish after closing the launcher"));
        dialog.questionEdit()->setPlainText(
            QStringLiteral("Every time I close the launcher, the saves of the last session are gone.\n"
                           "The save folder is on the second drive and has enough room.\n\nWhat can I check?"));
    }
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
