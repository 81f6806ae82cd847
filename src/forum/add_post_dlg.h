// CAddPostDlg: the rules of the "Post Question" dialog. The widget shows the
// fields and forwards "Submit" and "Cancel" here; every message, focus change
// and the dialog's end go back through AddPostView and MessageBoxes, so the
// rules run without a window.
//
// The checks before the dialog ("Ask Question": a current column, no overdue
// questions) and the refreshes after it belong to the opener: the zone view
// and the main frame.
#pragma once

#include "browsing_values.h"
#include "shared_limits.h"
#include "site_config.h"

#include <QObject>
#include <QString>

#include <optional>

namespace quillora::platform {
class MessageBoxes;
} // namespace quillora::platform

namespace quillora::forum {

// What a posting dialog knows of the member and of the browsing values when
// it opens: the member's standing as the last status refresh left it, the
// current column and the selected question.
struct PostingContext {
    int userID = 0;
    int points = 0; // available points
    int credit = 0;
    int currentColumn = -1;
    int selectedQuestionId = -1;
    QString selectedQuestionTitle;
};

// The context of a dialog opened now: the member's figures and the browsing
// values as they stand.
PostingContext postingContext(const BrowsingValues &browsing, int userID, int points, int credit);

// Limits of a question; the server holds the same ones.
using service::kMaxPostTextLength;
using service::kMaxQuestionPoints;
using service::kMaxTitleLength;
using service::kMinCreditToAsk;
using service::kMinQuestionPoints;
inline constexpr int kInitialQuestionPoints = 90;

// What the rules need of the dialog's window.
class AddPostView {
  public:
    virtual ~AddPostView() = default;
    virtual void setZoneLine(const QString &text) = 0;
    virtual QString titleText() const = 0;
    virtual void setTitleText(const QString &text) = 0;
    virtual QString pointsText() const = 0;
    virtual void setPointsText(const QString &text) = 0;
    virtual QString questionText() const = 0;
    virtual void setQuestionText(const QString &text) = 0;
    virtual void focusTitle() = 0;
    virtual void focusQuestion() = 0;
    // Selects the whole points text, scrolls it into view and focuses it.
    virtual void selectPoints() = 0;
    virtual void endDialog(bool accepted) = 0;
    // Owner of the dialog's message boxes.
    virtual QObject *messageOwner() = 0;
};

// The first rule a question breaks, in the order they are checked.
enum class QuestionRule {
    Ok,
    EmptyTitle,
    EmptyQuestion,
    PointsNotInteger,
    TooFewPoints,
    TooManyPoints,
    NotEnoughPoints,
    CreditTooLow,
};

// Checks a question as typed. The title and the question text are judged
// without their surrounding white space; `points` is empty when the points
// field does not hold a whole number.
QuestionRule checkQuestion(const QString &title, const QString &question, std::optional<int> points, int memberPoints,
                           int memberCredit);

// The points field as a number: digits only (surrounding blanks allowed),
// within int range; nothing otherwise.
std::optional<int> parsePoints(const QString &text);

class CAddPostDlg {
  public:
    CAddPostDlg(const service::SiteAddress &site, AddPostView &view, platform::MessageBoxes &messages,
                const PostingContext &context);

    // The dialog opens: zone line of the current column, empty title with the
    // focus, 90 points, empty question.
    void onInitDialog();
    // "Submit": the checks in order, then CreatForumPost. Ends the dialog with
    // OK only when the service stored the question.
    void onSubmit();
    // "Cancel": ends the dialog; nothing is sent.
    void onCancel();

    const PostingContext &context() const { return m_context; }

    static QString captionText() { return QStringLiteral("Post Question"); }
    static QString messageFor(QuestionRule rule); // empty for Ok
    static QString postFailedMessage() { return QStringLiteral("Failed to post question, please try it again."); }

  private:
    void message(const QString &text);

    service::SiteAddress m_site;
    AddPostView &m_view;
    platform::MessageBoxes &m_messages;
    PostingContext m_context;
};

} // namespace quillora::forum
