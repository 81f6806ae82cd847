#include "add_reply_dlg.h"

#include "varnel_services.h"
#include "zone_catalogue.h"

#include "platform/message_box.h"

namespace quillora::forum {

using service::CVarnelServices;
using service::Op;

SolutionRule checkSolution(const QString &solution, int memberCredit)
{
    // Blanks only would reach the service as an empty text, which it refuses:
    // say what is missing instead of "Failed to post solution".
    if (solution.trimmed().isEmpty())
        return SolutionRule::EmptySolution;
    if (memberCredit < kMinCreditToAnswer)
        return SolutionRule::CreditTooLow;
    return SolutionRule::Ok;
}

QString zoneTextOfColumn(int columnId)
{
    const QString line = zoneLine(columnId);
    const QString prefix = QStringLiteral("Zone: ");
    return line.startsWith(prefix) ? line.mid(prefix.size()) : line;
}

QString CAddReplyDlg::messageFor(SolutionRule rule)
{
    switch (rule) {
    case SolutionRule::Ok:
        break;
    case SolutionRule::EmptySolution:
        return QStringLiteral("You must provide a solution!");
    case SolutionRule::CreditTooLow:
        return QStringLiteral("Your credit is too low to post a solution!");
    }
    return {};
}

CAddReplyDlg::CAddReplyDlg(const service::SiteAddress &site, AddReplyView &view, platform::MessageBoxes &messages,
                           const PostingContext &context)
    : m_site(site), m_view(view), m_messages(messages), m_context(context)
{
}

void CAddReplyDlg::onInitDialog()
{
    m_view.setZoneText(zoneTextOfColumn(m_context.currentColumn));
    m_view.setQuestionTitle(m_context.selectedQuestionTitle);
    m_view.setSolutionText(QString());
    m_view.focusSolution();
}

void CAddReplyDlg::message(const QString &text)
{
    m_messages.ok(text, platform::programTitle(), platform::MessageIcon::Warning, m_view.messageOwner());
}

void CAddReplyDlg::onSubmit()
{
    const QString solution = m_view.solutionText();
    const SolutionRule rule = checkSolution(solution, m_context.credit);
    if (rule != SolutionRule::Ok) {
        message(messageFor(rule));
        if (rule == SolutionRule::EmptySolution)
            m_view.focusSolution();
        return;
    }

    bool stored = false;
    int replyId = 0;
    CVarnelServices proxy(m_site);
    proxy.useServiceAccount(Op::CreatForumReply);
    const bool called =
        service::succeeded(proxy.CreatForumReply(m_context.selectedQuestionId, m_context.userID,
                                                 m_context.currentColumn, solution.trimmed(), &stored, &replyId));
    if (!called || !stored) {
        message(postFailedMessage());
        return;
    }
    m_view.endDialog(true);
}

void CAddReplyDlg::onCancel()
{
    m_view.endDialog(false);
}

} // namespace quillora::forum
