// The zone view's question list: which list it shows (a column, a zone, a
// search, the member's own questions) and which page of it, fetched from the
// service and shown with its page count.
#include "zone_view.h"

#include "presence/frame_commands.h"
#include "presence/member_values.h"
#include "service/result_document.h"
#include "service/varnel_services.h"
#include "zone_catalogue.h"

#include <algorithm>

namespace quillora::forum {

using service::CVarnelServices;
using service::Op;

namespace {

// A page holds 15 rows; a document with more is still shown whole, up to this.
constexpr int kPostRowsMax = 1000;

} // namespace

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

} // namespace quillora::forum
