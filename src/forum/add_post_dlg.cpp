#include "add_post_dlg.h"

#include "varnel_services.h"
#include "zone_catalogue.h"

#include "platform/message_box.h"

namespace quillora::forum {

using service::CVarnelServices;
using service::Op;

PostingContext postingContext(const BrowsingValues &browsing, int userID, int points, int credit)
{
    return PostingContext{.userID = userID,
                          .points = points,
                          .credit = credit,
                          .currentColumn = browsing.currentColumn,
                          .selectedQuestionId = browsing.selectedQuestionId,
                          .selectedQuestionTitle = browsing.selectedQuestionTitle};
}

std::optional<int> parsePoints(const QString &text)
{
    const QString digits = text.trimmed();
    if (digits.isEmpty())
        return std::nullopt;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const int value = digits.toInt(&ok);
    if (!ok)
        return std::nullopt; // beyond int range
    return value;
}

QuestionRule checkQuestion(const QString &title, const QString &question, std::optional<int> points, int memberPoints,
                           int memberCredit)
{
    // The points field is read with the other fields, before any rule.
    if (!points)
        return QuestionRule::PointsNotInteger;
    if (title.trimmed().isEmpty())
        return QuestionRule::EmptyTitle;
    // A question of blanks only would be stored as an empty text: treated as
    // no question at all.
    if (question.trimmed().isEmpty())
        return QuestionRule::EmptyQuestion;
    if (*points < kMinQuestionPoints)
        return QuestionRule::TooFewPoints;
    if (*points > kMaxQuestionPoints)
        return QuestionRule::TooManyPoints;
    if (*points > memberPoints)
        return QuestionRule::NotEnoughPoints;
    if (memberCredit < kMinCreditToAsk)
        return QuestionRule::CreditTooLow;
    return QuestionRule::Ok;
}

QString CAddPostDlg::messageFor(QuestionRule rule)
{
    switch (rule) {
    case QuestionRule::Ok:
        break;
    case QuestionRule::EmptyTitle:
        return QStringLiteral("You must provide a title for your question!");
    case QuestionRule::EmptyQuestion:
        return QStringLiteral("You must provide a question!");
    case QuestionRule::PointsNotInteger:
        return QStringLiteral("Please enter an integer.");
    case QuestionRule::TooFewPoints:
        return QStringLiteral("The minimum number of points for the question is %1!").arg(kMinQuestionPoints);
    case QuestionRule::TooManyPoints:
        return QStringLiteral("The maximum number of points for the question is %1!").arg(kMaxQuestionPoints);
    case QuestionRule::NotEnoughPoints:
        return QStringLiteral("You don't have enough available points to ask this question, please click 'Buy Points' "
                              "button to buy more points!");
    case QuestionRule::CreditTooLow:
        return QStringLiteral("Your credit is too low to post a question!");
    }
    return {};
}

CAddPostDlg::CAddPostDlg(const service::SiteAddress &site, AddPostView &view, platform::MessageBoxes &messages,
                         const PostingContext &context)
    : m_site(site), m_view(view), m_messages(messages), m_context(context)
{
}

void CAddPostDlg::onInitDialog()
{
    m_view.setZoneLine(zoneLine(m_context.currentColumn)); // empty for a non-column
    m_view.setTitleText(QString());
    m_view.setPointsText(QString::number(kInitialQuestionPoints));
    m_view.setQuestionText(QString());
    m_view.focusTitle();
}

void CAddPostDlg::message(const QString &text)
{
    m_messages.ok(text, platform::programTitle(), platform::MessageIcon::Warning, m_view.messageOwner());
}

void CAddPostDlg::onSubmit()
{
    const QString title = m_view.titleText().trimmed();
    m_view.setTitleText(title);
    const QString question = m_view.questionText();
    const std::optional<int> points = parsePoints(m_view.pointsText());

    const QuestionRule rule = checkQuestion(title, question, points, m_context.points, m_context.credit);
    switch (rule) {
    case QuestionRule::Ok:
        break;
    case QuestionRule::EmptyTitle:
        message(messageFor(rule));
        m_view.focusTitle();
        return;
    case QuestionRule::EmptyQuestion:
        message(messageFor(rule));
        m_view.focusQuestion();
        return;
    case QuestionRule::PointsNotInteger:
    case QuestionRule::TooFewPoints:
    case QuestionRule::TooManyPoints:
    case QuestionRule::NotEnoughPoints:
        message(messageFor(rule));
        m_view.selectPoints();
        return;
    case QuestionRule::CreditTooLow:
        message(messageFor(rule));
        return;
    }

    bool stored = false;
    int questionId = 0;
    CVarnelServices proxy(m_site);
    proxy.useServiceAccount(Op::CreatForumPost);
    const bool called = service::succeeded(proxy.CreatForumPost(m_context.userID, title, m_context.currentColumn,
                                                                *points, question.trimmed(), &stored, &questionId));
    if (!called || !stored) {
        message(postFailedMessage());
        return;
    }
    m_view.endDialog(true);
}

void CAddPostDlg::onCancel()
{
    m_view.endDialog(false);
}

} // namespace quillora::forum
