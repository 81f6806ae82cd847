// CZoneView: the rules of one zone view (CSoftView, CHardView, CGameView and
// CProgView are four instances, configured by the zone record of the
// catalogue). It lists a zone's questions page by page in one of eight list
// modes, pages and jumps, opens questions and announcements as site pages,
// keeps the zone's announcements and online experts, and makes the checks of
// "Ask Question" / "Answer Question" around the posting dialogs.
//
// The view holds no widgets. It drives a ZoneViewDisplay (the thin widget),
// shows every message through platform::MessageBoxes, opens link announcements
// through platform::SystemOpener, and calls the service synchronously with a fresh
// proxy per call. Needs Qt Core only, so every rule runs in a test without a
// display.
#pragma once

#include "browsing_values.h"
#include "service/shared_limits.h"
#include "service/site_config.h"
#include "session/head_images.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QObject;

namespace quillora::platform {
class MessageBoxes;
class SystemOpener;
} // namespace quillora::platform

namespace quillora::presence {
struct MemberValues;
}

namespace quillora::forum {

// Every paged list asks for pages of this many rows.
inline constexpr int kPostPageSize = 15;
// Room for online experts: as many as GetExpertListOnline answers with.
inline constexpr int kOnlineExpertsMax = service::kZoneExpertsMax;

// List modes of Load and the operation each calls.
// (Plain ints on purpose: the main frame and the search pane pass them as such.)
enum ListMode : int {
    ModeColumn = 1,         // GetForumPostListByColumn(argument = column ID)
    ModeMyQuestions = 2,    // GetForumPostsByPostUserID(member, zone)
    ModeToClose = 3,        // GetPostsByEndingUserID(member, zone)
    ModeMySolutions = 4,    // GetForumPostsByReplyUserID(member, zone)
    ModeScoredAnswers = 5,  // GetForumPostsByScoreUserID(member, zone)
    ModeSearchById = 6,     // GetSearchForumPostByID(argument = question ID)
    ModeSearchByTitle = 7,  // GetSearchForumPostsByTitle(argument = column ID, keyword)
    ModeSearchByAuthor = 8, // GetSearchForumPostsByAuthor(1, keyword = user name)
};
inline bool isListMode(int mode)
{
    return mode >= ModeColumn && mode <= ModeSearchByAuthor;
}

// Cells of a post list row (the children of one ForumPosts element, by position).
enum PostCell : int { CellId = 0, CellTitle, CellMember, CellPoints, CellReplies, CellDate, CellColumnId };
inline constexpr int kPostCellCount = 7;

// Announcement kinds: 0 notice and 1 news (Announce.aspx), 2 link (opened in
// the system browser), 3 featured question (the zone's question page).
enum AnnouncementKind : int {
    AnnouncementNotice = 0,
    AnnouncementNews = 1,
    AnnouncementLink = 2,
    AnnouncementQuestion = 3
};

struct AnnouncementRow {
    QString kind;   // as the document has it; the icon is kind as an integer
    QString title;  // markup text
    QString target; // announcement ID, address or question ID by kind

    int kindNumber() const;
    bool operator==(const AnnouncementRow &) const = default;
};

// One online expert: the record (fields 0..8 of the zone experts document:
// user ID, user name, nickname, zone score, head image number, credit, zone
// rank, expert column, custom head flag) and what the list shows for it.
struct OnlineExpert {
    QStringList fields;
    QString nickname; // field 2
    int badge = -1;   // zone rank - 1: index of the rank badge, -1 when none fits (rank outside 1..10)
    // The picture: the cached custom bitmap at `picturePath`, else (or when
    // it does not load) the record's built-in head picture (1..24). A custom
    // picture still on its way shows the built-in one until
    // setOnlineExpertPicture swaps it in.
    int builtInPicture = 0;
    QString picturePath;
};

// The three panes of the right area; the display brings one to the front.
enum class ZonePane { PostList, Announcements, QuestionPage };

// State of the bottom bar's controls.
struct BottomBarState {
    bool previousEnabled = false;
    bool nextEnabled = false;
    bool currentEnabled = true;
    bool jumpEnabled = true;
    bool pageFieldEnabled = true;
    bool closeQuestionsEnabled = true;
    bool askEnabled = true;
    bool answerEnabled = true;
    // "Ask Question" and "Answer Question" share one place: exactly one is shown.
    bool askShown = true;

    bool operator==(const BottomBarState &) const = default;
};

// What the rules ask of the zone view's widget.
class ZoneViewDisplay {
  public:
    virtual ~ZoneViewDisplay() = default;

    // Post list: replaces every row (cells in PostCell order; a row may have
    // fewer cells when its element had fewer children).
    virtual void setPostRows(const QList<QStringList> &rows) = 0;
    virtual void setAnnouncementRows(const QList<AnnouncementRow> &rows) = 0;
    // Online experts, in order; an empty list clears it.
    virtual void setOnlineExperts(const QList<OnlineExpert> &experts) = 0;
    // The custom picture of the expert at `index` has arrived (the rest of
    // the list is as last set).
    virtual void setOnlineExpertPicture(int index, const OnlineExpert &expert) = 0;

    // Brings a pane to the front; the other two are hidden.
    virtual void showPane(ZonePane pane) = 0;
    // Whether the post list and the announcements list take input.
    virtual void setListsEnabled(bool postListEnabled, bool announcementsEnabled) = 0;

    // Bottom bar.
    virtual void setBottomBar(const BottomBarState &state) = 0;
    virtual void setPageCountText(const QString &text) = 0; // "Total 3 page(s)"
    virtual void setPageFieldText(const QString &text) = 0;
    virtual QString pageFieldText() const = 0; // as the member typed it
    virtual void focusPageField() = 0;

    // Embedded browser.
    virtual void navigate(const QString &url) = 0;
    virtual void reloadPage() = 0;
};

// What the view asks of the rest of the program. Each may be left empty.
struct ZoneViewHooks {
    // Opens the "Post Question" dialog; true when it ended accepted (stored).
    // Only the dialog: the checks before it, the success message and the
    // refreshes after it are the view's.
    std::function<bool()> askQuestionDialog;
    // Opens the "Post Solution" dialog; true when it ended accepted.
    std::function<bool()> answerQuestionDialog;
    // The main frame refreshes the member's account figures (points, credit).
    std::function<void()> refreshAccountFigures;
    // A question of the member's own was opened: the main frame shows the
    // answer-providers pane for it.
    std::function<void(int myQuestionId)> ownQuestionOpened;
};

// Page count of a result: the integer ceiling of totalCount / 15 (0 for 0 or less).
int pageCountFor(int totalCount);
// "Total " + pages + " page(s)"
QString pageCountText(int pages);
// The label of a view that shows announcements: "Total 1 page".
QString singlePageText();

// Site page addresses ("http://host[:port]/Varnel/Web/..."). Every query value
// is percent-encoded (UTF-8), so a password holding "&", "#", "+" or a blank
// reaches the site intact.
//   mode 3:      EndPost.aspx?PostID=..&USRID=..&USRPSW=..
//   mode 2:      MyPost.aspx?PostID=..&USRID=..&USRPSW=..
//   other modes: <zone's question page>?PostID=..&USRID=..&USRPSW=..&temp=<replies>
QString questionPageUrl(const service::SiteAddress &site, int zoneIndex, int listMode, const QString &postId,
                        int userId, const QString &password, const QString &replies);
// Kinds 0 and 1: Announce.aspx?PostID=<target>
QString announcementPageUrl(const service::SiteAddress &site, const QString &target);
// Kind 3: <zone's question page>?PostID=<target>&USRID=..&USRPSW=.. (no temp)
QString featuredQuestionUrl(const service::SiteAddress &site, int zoneIndex, const QString &target, int userId,
                            const QString &password);
// A link announcement's target is opened only when it is an absolute http or
// https address; anything else (a local file, a program, another scheme)
// would hand a document's text to the system's "open" action.
bool isOpenableLink(const QString &target);

// Post list geometry from the screen size: cell widths (W = screen width -
// 236; cells 0 and 6 are hidden), and the row heights of the two lists.
QList<int> postListCellWidths(int screenWidth);
int announcementColumnWidth(int screenWidth);
int postRowHeight(int screenHeight);
int announcementRowHeight(int screenHeight);

class CZoneView {
  public:
    // `member` is the main frame's member values (user ID, user name and
    // password are read at each use). `customFaceDirectory` is the head image
    // cache (session::customFaceDirectory()). Custom pictures are fetched
    // through `faces`, the program's one downloads object, which must outlive
    // the view; without one the view makes its own.
    CZoneView(int zoneIndex, const service::SiteAddress &site, BrowsingValues &browsing,
              const presence::MemberValues &member, ZoneViewDisplay &display, platform::MessageBoxes &messages,
              platform::SystemOpener &opener, QString customFaceDirectory, ZoneViewHooks hooks = {},
              QObject *owner = nullptr, session::CustomFaceDownloads *faces = nullptr);
    ~CZoneView();
    CZoneView(const CZoneView &) = delete;
    CZoneView &operator=(const CZoneView &) = delete;

    int zoneIndex() const { return m_zoneIndex; }
    int zoneNumber() const { return m_zoneIndex + 1; }
    QString viewClassName() const;
    BrowsingValues &browsing() { return m_browsing; }
    ZoneViewHooks &hooks() { return m_hooks; }

    // Creation: page fields "1", label "Total 1 page", the online experts.
    // The Software view (zone 0) also creates the head image cache folder,
    // hides its post list and loads its announcements.
    void create();
    // Tab selection: this becomes the current zone; zones 1..3 load their
    // announcements the first time.
    void activate();

    // Fills the post list with page `page` of list mode `mode`.
    void load(int page, int argument, const QString &keyword, int mode);

    // Commands of the view.
    void openTreeItem(int itemData); // double-click on the tree; 0 = category (nothing)
    void previousPage();
    void nextPage();
    void jumpToPage();
    void current();
    void openRow(int row); // double-click on the post list; -1 = no selection
    void askQuestion();
    void answerQuestion();
    void closeQuestions();
    void activateAnnouncement(int row); // -1 ignored

    // Operations offered to the main frame.
    void showAnnouncements(); // menu "Announcements"
    void loadAnnouncementsOnce();
    void reloadOnlineExperts();
    void reloadQuestionPage();

    // State, for the widget and for tests.
    int listMode() const { return m_mode; }
    int listArgument() const { return m_argument; }
    QString listKeyword() const { return m_keyword; }
    int currentPage() const { return m_currentPage; } // the hidden current-page field
    int totalCount() const { return m_totalCount; }
    int pageCount() const { return pageCountFor(m_totalCount); }
    bool announcementsLoaded() const { return m_announcementsLoaded; }
    const QList<QStringList> &postRows() const { return m_rows; }
    const QList<AnnouncementRow> &announcementRows() const { return m_announcements; }
    const QList<OnlineExpert> &onlineExperts() const { return m_experts; }
    // The background downloads of the experts' custom pictures.
    session::CustomFaceDownloads &customFaces() { return *m_faces; }
    const BottomBarState &bottomBar() const { return m_bar; }
    ZonePane frontPane() const { return m_front; }
    bool postListEnabled() const { return m_postListEnabled; }
    bool announcementsEnabled() const { return m_announcementsEnabled; }
    QString pageUrl() const { return m_pageUrl; } // the address last navigated to

  private:
    void message(const QString &text, bool warning = true);
    void setLists(bool postList, bool announcements);
    void show(ZonePane pane);
    void pushBar();
    void setPageFields(int page);
    void step(int delta);
    bool fetchList(int page, int argument, const QString &keyword, int mode, QString &document, int &total);
    void navigate(const QString &url);
    void customPictureArrived(const QString &userId, const QString &path);

    int m_zoneIndex;
    service::SiteAddress m_site;
    BrowsingValues &m_browsing;
    const presence::MemberValues &m_member;
    ZoneViewDisplay &m_display;
    platform::MessageBoxes &m_messages;
    platform::SystemOpener &m_opener;
    QString m_faceDirectory;
    ZoneViewHooks m_hooks;
    QObject *m_owner;

    int m_mode = 0;
    int m_argument = 0;
    QString m_keyword;
    int m_currentPage = 1;
    int m_totalCount = 0;
    bool m_announcementsLoaded = false;
    QList<QStringList> m_rows;
    QList<AnnouncementRow> m_announcements;
    QList<OnlineExpert> m_experts;
    BottomBarState m_bar;
    ZonePane m_front = ZonePane::PostList;
    bool m_postListEnabled = true;
    bool m_announcementsEnabled = false;
    QString m_pageUrl;
    std::unique_ptr<session::CustomFaceDownloads> m_ownFaces;
    session::CustomFaceDownloads *m_faces = nullptr;
    QMetaObject::Connection m_faceArrivals;
};

} // namespace quillora::forum
