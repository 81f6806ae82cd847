#include "zone_view.h"

#include "platform/message_box.h"
#include "platform/system_open.h"
#include "presence/frame_commands.h"
#include "presence/member_values.h"
#include "presence/pane_chat.h"
#include "service/result_document.h"
#include "service/varnel_services.h"
#include "session/head_images.h"
#include "zone_catalogue.h"

#include <QUrl>

#include <algorithm>
#include <utility>

namespace quillora::forum {

using service::CVarnelServices;
using service::Op;

namespace {

// A page holds 15 rows; a document with more is still shown whole, up to this.
constexpr int kPostRowsMax = 1000;

QString encoded(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

QString webPath(const QString &page)
{
    return QStringLiteral("/Varnel/Web/") + page;
}

// "?PostID=..&USRID=..&USRPSW=.." with every value percent-encoded.
QString memberQuery(const QString &postId, int userId, const QString &password)
{
    return QStringLiteral("?PostID=") + encoded(postId) + QStringLiteral("&USRID=") + QString::number(userId) +
           QStringLiteral("&USRPSW=") + encoded(password);
}

} // namespace

int AnnouncementRow::kindNumber() const
{
    return service::leadingInt(kind);
}

int pageCountFor(int totalCount)
{
    if (totalCount <= 0)
        return 0;
    return totalCount / kPostPageSize + (totalCount % kPostPageSize ? 1 : 0);
}

QString pageCountText(int pages)
{
    return QStringLiteral("Total ") + QString::number(pages) + QStringLiteral(" page(s)");
}

QString singlePageText()
{
    return QStringLiteral("Total 1 page");
}

QString questionPageUrl(const service::SiteAddress &site, int zoneIndex, int listMode, const QString &postId,
                        int userId, const QString &password, const QString &replies)
{
    const QString query = memberQuery(postId, userId, password);
    if (listMode == ModeToClose)
        return service::siteUrl(site, webPath(QStringLiteral("EndPost.aspx")) + query);
    if (listMode == ModeMyQuestions)
        return service::siteUrl(site, webPath(QStringLiteral("MyPost.aspx")) + query);
    return service::siteUrl(site,
                            webPath(questionPage(zoneIndex)) + query + QStringLiteral("&temp=") + encoded(replies));
}

QString announcementPageUrl(const service::SiteAddress &site, const QString &target)
{
    return service::siteUrl(site,
                            webPath(QStringLiteral("Announce.aspx")) + QStringLiteral("?PostID=") + encoded(target));
}

QString featuredQuestionUrl(const service::SiteAddress &site, int zoneIndex, const QString &target, int userId,
                            const QString &password)
{
    return service::siteUrl(site, webPath(questionPage(zoneIndex)) + memberQuery(target, userId, password));
}

bool isOpenableLink(const QString &target)
{
    const QUrl url(target.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

QList<int> postListCellWidths(int screenWidth)
{
    const double w = std::max(0, screenWidth - 236);
    return {0,
            static_cast<int>(w * 0.5),
            static_cast<int>(w * 0.16),
            static_cast<int>(w * 0.08),
            static_cast<int>(w * 0.09),
            static_cast<int>(w * 0.17),
            0};
}

int announcementColumnWidth(int screenWidth)
{
    return std::max(0, screenWidth - 236);
}

int postRowHeight(int screenHeight)
{
    return std::max(1, static_cast<int>(screenHeight * 0.98 - 230) / kPostPageSize);
}

int announcementRowHeight(int screenHeight)
{
    return std::max(1, static_cast<int>(screenHeight * 0.78 - 109) / kPostPageSize);
}

CZoneView::CZoneView(int zoneIndex, const service::SiteAddress &site, BrowsingValues &browsing,
                     const presence::MemberValues &member, ZoneViewDisplay &display, platform::MessageBoxes &messages,
                     platform::SystemOpener &opener, QString customFaceDirectory, ZoneViewHooks hooks, QObject *owner,
                     session::CustomFaceDownloads *faces)
    : m_zoneIndex(zoneIndex), m_site(site), m_browsing(browsing), m_member(member), m_display(display),
      m_messages(messages), m_opener(opener), m_faceDirectory(std::move(customFaceDirectory)),
      m_hooks(std::move(hooks)), m_owner(owner), m_faces(faces)
{
    if (!m_faces) {
        m_ownFaces = std::make_unique<session::CustomFaceDownloads>(m_site, m_faceDirectory);
        m_faces = m_ownFaces.get();
    }
    // The downloads object may be shared with other screens: every arrival
    // comes here, and customPictureArrived keeps only this view's members.
    m_faceArrivals =
        QObject::connect(m_faces, &session::CustomFaceDownloads::pictureReady, m_owner ? m_owner : m_faces,
                         [this](const QString &userId, const QString &path) { customPictureArrived(userId, path); });
}

CZoneView::~CZoneView()
{
    QObject::disconnect(m_faceArrivals);
}

QString CZoneView::viewClassName() const
{
    return forum::viewClassName(m_zoneIndex);
}

void CZoneView::message(const QString &text, bool warning)
{
    m_messages.ok(text, platform::programTitle(),
                  warning ? platform::MessageIcon::Warning : platform::MessageIcon::Information, m_owner);
}

void CZoneView::setLists(bool postList, bool announcements)
{
    m_postListEnabled = postList;
    m_announcementsEnabled = announcements;
    m_display.setListsEnabled(postList, announcements);
}

void CZoneView::show(ZonePane pane)
{
    m_front = pane;
    m_display.showPane(pane);
}

void CZoneView::pushBar()
{
    m_display.setBottomBar(m_bar);
}

void CZoneView::setPageFields(int page)
{
    m_currentPage = page;
    m_display.setPageFieldText(QString::number(page));
}

void CZoneView::navigate(const QString &url)
{
    m_pageUrl = url;
    m_display.navigate(url);
    show(ZonePane::QuestionPage);
}

void CZoneView::create()
{
    setPageFields(1);
    m_display.setPageCountText(singlePageText());
    m_bar.previousEnabled = false;
    m_bar.nextEnabled = false;
    pushBar();
    if (m_zoneIndex == 0) {
        // The head image cache belongs to the program; the first view makes it.
        session::ensureCustomFaceDirectory(m_faceDirectory);
        setLists(false, false);
    } else {
        setLists(true, false);
        show(ZonePane::PostList);
    }
    reloadOnlineExperts();
    if (m_zoneIndex == 0)
        loadAnnouncementsOnce();
}

void CZoneView::activate()
{
    m_browsing.currentZoneIndex = m_zoneIndex;
    // The Software view loaded its announcements at creation; this retries
    // there too when that load failed, as the other zones retry.
    loadAnnouncementsOnce();
}

bool CZoneView::fetchList(int page, int argument, const QString &keyword, int mode, QString &document, int &total)
{
    CVarnelServices proxy(m_site);
    service::CallResult r = service::CallResult::Failed;
    const int user = m_member.userID;
    switch (mode) {
    case ModeColumn:
        proxy.useServiceAccount(Op::GetForumPostListByColumn);
        r = proxy.GetForumPostListByColumn(argument, kPostPageSize, page, &document, &total);
        break;
    case ModeMyQuestions:
        proxy.useServiceAccount(Op::GetForumPostsByPostUserID);
        r = proxy.GetForumPostsByPostUserID(user, kPostPageSize, page, zoneNumber(), &document, &total);
        break;
    case ModeToClose:
        proxy.useServiceAccount(Op::GetPostsByEndingUserID);
        r = proxy.GetPostsByEndingUserID(user, kPostPageSize, page, zoneNumber(), &document, &total);
        break;
    case ModeMySolutions:
        proxy.useServiceAccount(Op::GetForumPostsByReplyUserID);
        r = proxy.GetForumPostsByReplyUserID(user, kPostPageSize, page, zoneNumber(), &document, &total);
        break;
    case ModeScoredAnswers:
        proxy.useServiceAccount(Op::GetForumPostsByScoreUserID);
        r = proxy.GetForumPostsByScoreUserID(user, kPostPageSize, page, zoneNumber(), &document, &total);
        break;
    case ModeSearchById:
        proxy.useServiceAccount(Op::GetSearchForumPostByID);
        r = proxy.GetSearchForumPostByID(argument, &document, &total);
        break;
    case ModeSearchByTitle:
        proxy.useServiceAccount(Op::GetSearchForumPostsByTitle);
        r = proxy.GetSearchForumPostsByTitle(argument, keyword, kPostPageSize, page, &document, &total);
        break;
    case ModeSearchByAuthor:
        proxy.useServiceAccount(Op::GetSearchForumPostsByAuthor);
        r = proxy.GetSearchForumPostsByAuthor(1, keyword, kPostPageSize, page, &document, &total);
        break;
    default:
        break;
    }
    return service::succeeded(r);
}

void CZoneView::load(int page, int argument, const QString &keyword, int mode)
{
    if (!isListMode(mode))
        return;
    setLists(true, false);
    show(ZonePane::PostList);
    m_bar.closeQuestionsEnabled = true;
    m_bar.askShown = true;
    m_bar.askEnabled = true;
    pushBar();

    QString document;
    int total = 0;
    if (!fetchList(page, argument, keyword, mode, document, total)) {
        // The list, the paging and the remembered query stay those of the
        // last page shown, so paging goes on with the query on screen; the
        // page field goes back to the page on screen too, whatever a
        // command or the member wrote into it.
        m_display.setPageFieldText(QString::number(m_currentPage));
        message(service::connectFailedMessage());
        return;
    }

    m_mode = mode;
    m_argument = argument;
    m_keyword = keyword;
    m_totalCount = std::max(0, total);
    const int pages = pageCountFor(m_totalCount);
    m_display.setPageCountText(pageCountText(pages));
    // The page field always names the page on screen, whoever asked for it
    // (a command of the main frame or the search pane lists page 1 too).
    setPageFields(page);
    m_bar.pageFieldEnabled = true;
    m_bar.jumpEnabled = true;
    m_bar.currentEnabled = true;
    m_bar.previousEnabled = page > 1;
    m_bar.nextEnabled = page < pages;
    pushBar();
    m_display.focusPageField();

    m_rows.clear();
    m_display.setPostRows(m_rows);
    if (m_totalCount == 0) {
        message(QStringLiteral("Question Not Found!"));
        return;
    }
    const service::DocumentRecords read =
        service::readRecords(document, service::kForumPostsTag, kPostRowsMax, kPostCellCount);
    if (read.status != service::DocumentStatus::Ok) {
        message(service::documentStatusMessage(read.status));
        return;
    }
    for (const service::DocumentRecord &record : read.records)
        m_rows.append(record);
    m_display.setPostRows(m_rows);
}

void CZoneView::openTreeItem(int itemData)
{
    // A category (data 0) only expands or collapses in the tree.
    if (!isColumnId(itemData))
        return;
    m_browsing.currentColumn = itemData;
    load(1, itemData, QString(), ModeColumn);
}

void CZoneView::step(int delta)
{
    if (!isListMode(m_mode))
        return;
    // The field may hold anything the member typed; step within the pages
    // of the result on screen.
    const int pages = std::max(1, pageCount());
    const int page = std::clamp(service::leadingInt(m_display.pageFieldText()) + delta, 1, pages);
    // Load writes the page fields once the page is on screen; a failed call
    // leaves them naming the page that still is.
    load(page, m_argument, m_mode == ModeSearchByTitle || m_mode == ModeSearchByAuthor ? m_keyword : QString(), m_mode);
}

void CZoneView::previousPage()
{
    step(-1);
}

void CZoneView::nextPage()
{
    step(+1);
}

void CZoneView::jumpToPage()
{
    const int page = service::leadingInt(m_display.pageFieldText());
    if (page < 1 || page > pageCount()) {
        message(QStringLiteral("You have entered an invalid number!"));
        m_display.setPageFieldText(QString::number(m_currentPage));
        return;
    }
    if (isListMode(m_mode))
        load(page, m_argument, m_mode == ModeSearchByTitle || m_mode == ModeSearchByAuthor ? m_keyword : QString(),
             m_mode);
}

void CZoneView::current()
{
    if (m_announcementsEnabled) {
        show(ZonePane::Announcements);
        return;
    }
    m_bar.askShown = true;
    m_bar.askEnabled = true;
    pushBar();
    show(ZonePane::PostList);
}

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
