// What opens from the zone view: a question's page in the browser, asking,
// answering and closing questions, the announcements, and the online experts
// with their pictures.
#include "zone_view.h"

#include "platform/system_open.h"
#include "presence/frame_commands.h"
#include "presence/member_values.h"
#include "presence/pane_chat.h"
#include "service/result_document.h"
#include "service/varnel_services.h"
#include "session/head_images.h"
#include "zone_catalogue.h"

namespace quillora::forum {

using service::CVarnelServices;
using service::Op;

void CZoneView::openRow(int row)
{
    m_bar.askShown = false;
    m_bar.answerEnabled = true;
    pushBar();
    if (row < 0 || row >= m_rows.size())
        return;
    const QStringList &cells = m_rows.at(row);
    const QString postId = cells.value(CellId);
    const int questionId = service::leadingInt(postId);
    m_browsing.selectedQuestionId = questionId;
    m_browsing.selectedQuestionTitle = cells.value(CellTitle);
    // The question's own column becomes current, so that the solution dialog
    // names it and "Ask Question" posts where the member is reading.
    const int column = service::leadingInt(cells.value(CellColumnId));
    if (isColumnId(column))
        m_browsing.currentColumn = column;

    navigate(questionPageUrl(m_site, m_zoneIndex, m_mode, postId, m_member.userID, m_member.password,
                             cells.value(CellReplies)));

    if (cells.size() > CellMember && cells.at(CellMember) == m_member.userName) {
        m_browsing.mySelectedQuestionId = questionId;
        m_browsing.mySelectedQuestionPoints = service::leadingInt(cells.value(CellPoints));
        if (m_hooks.ownQuestionOpened)
            m_hooks.ownQuestionOpened(questionId);
    }
}

void CZoneView::askQuestion()
{
    if (!m_browsing.hasCurrentColumn()) {
        message(presence::noColumnToAskInMessage());
        return;
    }
    bool overdue = false;
    {
        CVarnelServices proxy(m_site);
        proxy.useServiceAccount(Op::GetOverduePostsByUserID);
        if (!service::succeeded(proxy.GetOverduePostsByUserID(m_member.userID, zoneNumber(), &overdue))) {
            // Without the answer the member could post past an overdue
            // question; say so instead of opening the dialog.
            message(service::connectFailedMessage());
            return;
        }
    }
    if (overdue) {
        message(presence::overdueQuestionsMessage());
        return;
    }
    if (!m_hooks.askQuestionDialog || !m_hooks.askQuestionDialog())
        return;
    message(presence::questionPostedMessage(), false);
    if (m_hooks.refreshAccountFigures)
        m_hooks.refreshAccountFigures();
    reloadOnlineExperts();
    load(1, m_browsing.currentColumn, QString(), ModeColumn);
}

void CZoneView::answerQuestion()
{
    if (!m_browsing.hasSelectedQuestion()) {
        message(presence::noQuestionToAnswerMessage());
        return;
    }
    if (!m_hooks.answerQuestionDialog || !m_hooks.answerQuestionDialog())
        return;
    message(presence::solutionPostedMessage(), false);
    if (m_hooks.refreshAccountFigures)
        m_hooks.refreshAccountFigures();
    reloadQuestionPage();
}

void CZoneView::closeQuestions()
{
    load(1, 1, QString(), ModeToClose);
}

void CZoneView::loadAnnouncementsOnce()
{
    if (m_announcementsLoaded)
        return;
    setLists(false, true);
    show(ZonePane::Announcements);

    QString document;
    {
        CVarnelServices proxy(m_site);
        proxy.useServiceAccount(Op::SendThreadsByType);
        if (!service::succeeded(proxy.SendThreadsByType(zoneNumber(), &document))) {
            message(service::connectFailedMessage());
            return;
        }
    }
    // Room for 15 rows; the service sends the newest first.
    const service::DocumentRecords read = service::readRecords(
        document, service::kForumPostsTag, service::kAnnouncementsMax, service::kAnnouncementFields);
    if (read.status != service::DocumentStatus::Ok) {
        message(service::documentStatusMessage(read.status));
        return;
    }
    m_announcements.clear();
    for (const service::DocumentRecord &record : read.records)
        m_announcements.append({record.value(0), record.value(1), record.value(2)});
    m_display.setAnnouncementRows(m_announcements);
    m_announcementsLoaded = true;
}

void CZoneView::activateAnnouncement(int row)
{
    if (row < 0 || row >= m_announcements.size())
        return;
    const AnnouncementRow &announcement = m_announcements.at(row);
    switch (announcement.kindNumber()) {
    case AnnouncementNotice:
    case AnnouncementNews:
        navigate(announcementPageUrl(m_site, announcement.target));
        break;
    case AnnouncementLink:
        // Only a web address goes to the system's "open" action; the view
        // itself does not change.
        if (isOpenableLink(announcement.target))
            m_opener.openUrl(announcement.target.trimmed());
        break;
    case AnnouncementQuestion:
        navigate(featuredQuestionUrl(m_site, m_zoneIndex, announcement.target, m_member.userID, m_member.password));
        break;
    default:
        // A kind this client does not know: the list stays as it is.
        break;
    }
}

void CZoneView::showAnnouncements()
{
    setLists(false, true);
    show(ZonePane::Announcements);
    m_bar.closeQuestionsEnabled = false;
    m_bar.askEnabled = false;
    m_bar.answerEnabled = false;
    m_bar.previousEnabled = false;
    m_bar.nextEnabled = false;
    m_bar.jumpEnabled = false;
    m_bar.pageFieldEnabled = false;
    m_bar.currentEnabled = true;
    pushBar();
    setPageFields(1);
    m_display.setPageCountText(singlePageText());
    // A zone whose announcements could not be had yet tries again here
    // rather than showing an empty list.
    loadAnnouncementsOnce();
}

void CZoneView::reloadOnlineExperts()
{
    m_experts.clear();
    m_display.setOnlineExperts(m_experts);

    QString document;
    {
        CVarnelServices proxy(m_site);
        proxy.useServiceAccount(Op::GetExpertListOnline);
        if (!service::succeeded(proxy.GetExpertListOnline(zoneNumber(), &document))) {
            message(presence::onlineExpertsFailedMessage());
            return;
        }
    }
    const service::DocumentRecords read =
        service::readRecords(document, service::kUserTag, service::kZoneExpertsMax, service::kZoneExpertFields);
    if (read.status != service::DocumentStatus::Ok) {
        message(service::documentStatusMessage(read.status));
        return;
    }
    // Custom pictures not yet cached come in the background; until then the
    // list shows each expert's built-in picture.
    for (const service::DocumentRecord &record : read.records) {
        OnlineExpert expert;
        expert.fields = record;
        expert.nickname = record.value(2);
        const int rank = service::leadingInt(record.value(6));
        expert.badge = rank >= 1 && rank <= 10 ? rank - 1 : -1;
        const session::CustomFaceCache::Resolved picture = m_faces->resolve(
            record.value(0), service::leadingInt(record.value(4)), service::leadingInt(record.value(8)));
        expert.builtInPicture = picture.picture;
        expert.picturePath = picture.path;
        m_experts.append(expert);
    }
    m_display.setOnlineExperts(m_experts);
}

void CZoneView::customPictureArrived(const QString &userId, const QString &path)
{
    // The list may have been reloaded since the download started: the picture
    // goes to whichever rows now show that member.
    for (int i = 0; i < m_experts.size(); ++i) {
        OnlineExpert &expert = m_experts[i];
        if (expert.fields.value(0) != userId || service::leadingInt(expert.fields.value(8)) == 0)
            continue;
        expert.picturePath = path;
        m_display.setOnlineExpertPicture(i, expert);
    }
}

void CZoneView::reloadQuestionPage()
{
    m_display.reloadPage();
}

} // namespace quillora::forum
