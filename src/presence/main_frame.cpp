#include "main_frame.h"

#include "platform/message_box.h"
#include "platform/system_open.h"
#include "varnel_services.h"

namespace quillora::presence {

using service::CVarnelServices;
using service::Op;

namespace {

// The online count is asked for with this page; only totalCount is used.
constexpr int kOnlinePageSize = 20;
constexpr int kOnlinePageIndex = 1;

} // namespace

QString idleStatusText()
{
    return QStringLiteral("Please select a zone");
}
QString refreshingStatusText()
{
    return QStringLiteral("Refreshing....");
}
QString userNameStatusText(const QString &userName)
{
    return QStringLiteral("Username:") + userName;
}
QString nicknameStatusText(const QString &nickname)
{
    return QStringLiteral("Nickname:") + nickname;
}
QString creditStatusText(const QString &creditText)
{
    return QStringLiteral("Credit:") + creditText;
}
QString pointsStatusText(const QString &pointsText)
{
    return QStringLiteral("Points:") + pointsText;
}
QString onlineStatusText(int count)
{
    return QStringLiteral("Online:") + QString::number(count);
}
QString onlineUnknownStatusText()
{
    return QStringLiteral("Online:-");
}

int zoneOfColumn(int column)
{
    if (column >= 1 && column <= 9)
        return 0;
    if (column >= 10 && column <= 19)
        return 1;
    if (column >= 20 && column <= 30)
        return 2;
    if (column >= 31 && column <= 41)
        return 3;
    return -1;
}

CMainFrame::CMainFrame(const service::SiteAddress &site, platform::MessageBoxes &messages,
                       platform::SystemOpener &opener, FrameView &view, QObject *owner)
    : m_site(site), m_messages(messages), m_opener(opener), m_view(view), m_owner(owner)
{
}

void CMainFrame::showMessage(const QString &text, bool error)
{
    m_messages.ok(text, platform::programTitle(),
                  error ? platform::MessageIcon::Warning : platform::MessageIcon::Information, m_owner);
}

bool CMainFrame::fetchOnlineCount(int &count)
{
    CVarnelServices proxy(m_site);
    proxy.useServiceAccount(Op::GetUserListOnline);
    QString list; // discarded unread: only the count is shown
    return service::succeeded(proxy.GetUserListOnline(kOnlinePageSize, kOnlinePageIndex, &list, &count));
}

bool CMainFrame::create(const QString &userDocument)
{
    const service::DocumentStatus status = readMemberValues(userDocument, m_member);
    if (status != service::DocumentStatus::Ok) {
        showMessage(service::documentStatusMessage(status), true);
        return false;
    }

    int count = 0;
    if (fetchOnlineCount(count))
        m_onlineCount = count;
    else
        showMessage(service::connectFailedMessage(), true);

    m_view.setStatusText(StatusPane::Prompt, idleStatusText());
    m_view.setStatusText(StatusPane::UserName, userNameStatusText(m_member.userName));
    m_view.setStatusText(StatusPane::Nickname, nicknameStatusText(m_member.nickname));
    m_view.setLevelBadge(badgeForLevel(m_member.level));
    m_view.setStatusText(StatusPane::Credit, creditStatusText(m_member.creditText));
    m_view.setStatusText(StatusPane::Points, pointsStatusText(m_member.pointsText));
    m_view.setStatusText(StatusPane::Online,
                         m_onlineCount >= 0 ? onlineStatusText(m_onlineCount) : onlineUnknownStatusText());
    m_view.setModeratorEntryEnabled(m_member.mayEnterAsModerator());
    return true;
}

void CMainFrame::applyProfileChange(const QString &password, const QString &nickname, const QString &email,
                                    int headImage)
{
    m_member.password = password;
    m_member.nickname = nickname;
    m_member.email = email;
    m_member.headImage = headImage;
    m_view.setStatusText(StatusPane::Nickname, nicknameStatusText(m_member.nickname));
}

bool CMainFrame::statusRefresh()
{
    QString document;
    {
        CVarnelServices proxy(m_site);
        proxy.useServiceAccount(Op::GetUserByUserName);
        if (!service::succeeded(proxy.GetUserByUserName(m_member.userName, m_member.password, &document))) {
            showMessage(service::connectFailedMessage(), true);
            return false;
        }
    }
    int count = 0;
    if (!fetchOnlineCount(count)) {
        showMessage(service::connectFailedMessage(), true);
        return false;
    }
    // Read into a copy so that a failed document leaves every field as it was.
    MemberValues fresh = m_member;
    const service::DocumentStatus status = refreshPointsAndCredit(document, fresh);
    if (status != service::DocumentStatus::Ok) {
        showMessage(service::documentStatusMessage(status), true);
        return false;
    }
    m_member.points = fresh.points;
    m_member.pointsText = fresh.pointsText;
    m_member.credit = fresh.credit;
    m_member.creditText = fresh.creditText;
    m_onlineCount = count;
    m_view.setStatusText(StatusPane::Credit, creditStatusText(m_member.creditText));
    m_view.setStatusText(StatusPane::Points, pointsStatusText(m_member.pointsText));
    m_view.setStatusText(StatusPane::Online, onlineStatusText(m_onlineCount));
    return true;
}

void CMainFrame::zoneRefresh()
{
    const int zone = m_zones->currentZoneIndex();
    m_zones->resetZone(zone);
    const int column = m_zones->currentColumn();
    if (zoneOfColumn(column) == zone)
        m_zones->listFirstPage(zone, ListColumn, column, QString());
}

void CMainFrame::openExpertsOfOwnQuestion(int myQuestionId)
{
    if (myQuestionId <= 0)
        return;
    // Shown so that its view exists, then back to its tab: the lists wait
    // there until the member opens the pane.
    m_view.showPane(FramePane::Contact);
    m_view.collapsePane(FramePane::Contact);
    if (m_dialogs.loadQuestionExperts)
        m_dialogs.loadQuestionExperts(myQuestionId);
}

void CMainFrame::setSearchPaneZone(int zoneIndex)
{
    if (zoneIndex < 0 || zoneIndex > 3)
        return;
    if (m_dialogs.searchPaneZone)
        m_dialogs.searchPaneZone(zoneIndex);
}

QString CMainFrame::siteAddressOf(FrameCommand command) const
{
    const QString path = sitePagePath(command);
    return path.isEmpty() ? QString() : service::siteUrl(m_site, path);
}

void CMainFrame::openSitePage(FrameCommand command)
{
    m_opener.openUrl(siteAddressOf(command));
}

bool CMainFrame::isAvailable(FrameCommand command) const
{
    using C = FrameCommand;
    const FrameDialogs &d = m_dialogs;
    switch (command) {
    case C::SaveQuestion:
        return bool(d.saveQuestion);
    case C::SaveMessage:
        return bool(d.saveMessage);
    case C::PrintQuestion:
        return bool(d.printQuestion);
    case C::PrintPreview:
        return bool(d.printPreview);
    case C::AskQuestion:
        return bool(d.askQuestion);
    case C::AnswerQuestion:
        return bool(d.answerQuestion);
    case C::CloseQuestions:
    case C::MyQuestions:
    case C::MySolutions:
    case C::ScoredAnswers:
    case C::Announcements:
        return m_zones != &m_noZones;
    case C::ViewMyProfile:
        return bool(d.viewProfile);
    case C::EditMyAccount:
        return bool(d.editAccount);
    case C::ConnectionSettings:
        return bool(d.connectionSettings);
    case C::SendToFriend:
        return bool(d.sendToFriend);
    case C::Feedback:
        return bool(d.feedback);
    case C::MessageBoard:
        return bool(d.openMessageBoard);
    case C::ModeratorsEntry:
        return m_member.mayEnterAsModerator();
    case C::Exit:
    case C::BuyPoints:
    case C::SearchQuestions:
    case C::Communication:
    case C::ToolBar:
    case C::StatusBar:
    case C::Refresh:
    case C::Home:
    case C::Help:
    case C::About:
    case C::Download:
        return true;
    }
    return false;
}

void CMainFrame::listActiveZone(int listMode)
{
    m_zones->listFirstPage(m_zones->currentZoneIndex(), listMode, 1, QString());
}

void CMainFrame::askQuestion()
{
    if (m_zones->currentColumn() < 0) {
        showMessage(noColumnToAskInMessage(), true);
        return;
    }
    bool overdue = false;
    CVarnelServices proxy(m_site);
    proxy.useServiceAccount(Op::GetOverduePostsByUserID);
    if (!service::succeeded(
            proxy.GetOverduePostsByUserID(m_member.userID, m_zones->currentZoneIndex() + 1, &overdue))) {
        // Without the answer the member could post past an overdue question;
        // say so instead of opening the dialog.
        showMessage(service::connectFailedMessage(), true);
        return;
    }
    if (overdue) {
        showMessage(overdueQuestionsMessage(), true);
        return;
    }
    if (m_dialogs.askQuestion && m_dialogs.askQuestion()) {
        showMessage(questionPostedMessage(), false);
        statusRefresh();
        zoneRefresh();
    }
}

void CMainFrame::answerQuestion()
{
    if (m_zones->selectedQuestionId() < 0) {
        showMessage(noQuestionToAnswerMessage(), true);
        return;
    }
    if (m_dialogs.answerQuestion && m_dialogs.answerQuestion()) {
        showMessage(solutionPostedMessage(), false);
        statusRefresh();
        m_zones->reloadQuestionPage(m_zones->currentZoneIndex());
    }
}

bool CMainFrame::run(FrameCommand command)
{
    using C = FrameCommand;
    if (!isAvailable(command))
        return false;
    const FrameDialogs &d = m_dialogs;
    switch (command) {
    case C::SaveQuestion:
        d.saveQuestion();
        return true;
    case C::SaveMessage:
        d.saveMessage();
        return true;
    case C::PrintQuestion:
        d.printQuestion();
        return true;
    case C::PrintPreview:
        d.printPreview();
        return true;
    case C::AskQuestion:
        askQuestion();
        return true;
    case C::AnswerQuestion:
        answerQuestion();
        return true;
    case C::CloseQuestions:
        listActiveZone(ListToClose);
        return true;
    case C::MyQuestions:
        listActiveZone(ListMyQuestions);
        return true;
    case C::MySolutions:
        listActiveZone(ListMySolutions);
        return true;
    case C::ScoredAnswers:
        listActiveZone(ListScored);
        return true;
    case C::Announcements:
        m_zones->showAnnouncements(m_zones->currentZoneIndex());
        return true;
    case C::BuyPoints:
    case C::ModeratorsEntry:
    case C::Home:
    case C::Help:
    case C::Download:
        openSitePage(command);
        return true;
    case C::SearchQuestions:
        m_view.showPane(FramePane::Search);
        return true;
    case C::Communication:
        m_view.showPane(FramePane::Contact);
        if (!m_view.hasTrayArea() && d.openMessageBoard)
            d.openMessageBoard();
        return true;
    case C::MessageBoard:
        d.openMessageBoard();
        return true;
    case C::ViewMyProfile:
        d.viewProfile(m_member.userID);
        return true;
    case C::EditMyAccount:
        if (d.editAccount(m_member.userID)) {
            showMessage(QStringLiteral("Your profile has been successfully updated!"), false);
            zoneRefresh();
        }
        return true;
    case C::ConnectionSettings:
        if (d.connectionSettings())
            showMessage(QStringLiteral("Network config has been successfully updated!"), false);
        return true;
    case C::Refresh:
        m_view.setStatusText(StatusPane::Prompt, refreshingStatusText());
        statusRefresh();
        zoneRefresh();
        m_view.setStatusText(StatusPane::Prompt, idleStatusText());
        return true;
    case C::SendToFriend: {
        const int question = m_zones->selectedQuestionId();
        if (question <= 0) {
            showMessage(noQuestionSelectedMessage(), true);
            return true;
        }
        if (d.sendToFriend(question))
            showMessage(QStringLiteral("Your e-mail has been successfully delivered!"), false);
        return true;
    }
    case C::Feedback:
        if (d.feedback(m_member.userName))
            showMessage(QStringLiteral("Your feedback has successfully been sent by email!"), false);
        return true;
    case C::Exit:
    case C::ToolBar:
    case C::StatusBar:
    case C::About:
        return false;
    }
    return false;
}

void CMainFrame::closeSequence()
{
    if (m_closed)
        return;
    m_closed = true;
    {
        CVarnelServices proxy(m_site);
        proxy.useServiceAccount(Op::SetUserOffline);
        bool ignored = false;
        proxy.SetUserOffline(m_member.userID, &ignored);
    }
    m_view.removeTrayIcon();
    m_view.endProgram();
}

} // namespace quillora::presence
