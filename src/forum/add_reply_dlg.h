// CAddReplyDlg: the rules of the "Post Solution" dialog. Like CAddPostDlg, the
// rules reach the window only through AddReplyView and MessageBoxes; the
// opener checks that a question is selected and refreshes after OK.
#pragma once

#include "add_post_dlg.h"

namespace quillora::forum {

// The server holds the same limit.
using service::kMinCreditToAnswer;

class AddReplyView {
  public:
    virtual ~AddReplyView() = default;
    virtual void setZoneText(const QString &text) = 0;
    virtual void setQuestionTitle(const QString &text) = 0;
    virtual QString solutionText() const = 0;
    virtual void setSolutionText(const QString &text) = 0;
    virtual void focusSolution() = 0;
    virtual void endDialog(bool accepted) = 0;
    virtual QObject *messageOwner() = 0;
};

enum class SolutionRule { Ok, EmptySolution, CreditTooLow };

// Checks a solution as typed; a solution of blanks only counts as empty.
SolutionRule checkSolution(const QString &solution, int memberCredit);

// The "Zone:" line of a column without its leading "Zone: "; empty for a
// non-column.
QString zoneTextOfColumn(int columnId);

class CAddReplyDlg {
  public:
    CAddReplyDlg(const service::SiteAddress &site, AddReplyView &view, platform::MessageBoxes &messages,
                 const PostingContext &context);

    // The dialog opens: the zone of the current column, the selected
    // question's title, an empty solution with the focus.
    void onInitDialog();
    // "Submit": the checks in order, then CreatForumReply. Ends with OK only
    // when the service stored the solution.
    void onSubmit();
    void onCancel();

    const PostingContext &context() const { return m_context; }

    static QString captionText() { return QStringLiteral("Post Solution"); }
    static QString messageFor(SolutionRule rule); // empty for Ok
    static QString postFailedMessage() { return QStringLiteral("Failed to post solution, please try it again."); }

  private:
    void message(const QString &text);

    service::SiteAddress m_site;
    AddReplyView &m_view;
    platform::MessageBoxes &m_messages;
    PostingContext m_context;
};

} // namespace quillora::forum
