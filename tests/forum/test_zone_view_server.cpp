// CZoneView against the real varnel-server with the demo community: each
// list mode's operation and arguments (checked against the same call made
// directly), paging and its buttons, "Jump to", the pages opened for rows
// and announcements, own-question detection, online experts, and the checks
// around the posting dialogs.
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "presence/member_values.h"
#include "service/result_document.h"
#include "service/varnel_services.h"
#include "session/head_images.h"
#include "varnel_server_process.h"
#include "zone_view_test_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>
#include <httplib.h>

#include <memory>

using namespace quillora;
using namespace quillora::forum;
using namespace zoneviewtest;
using service::CVarnelServices;
using service::Op;

namespace {

QList<QStringList> postRowsOf(const QString &document)
{
    QList<QStringList> rows;
    for (const auto &record : service::readRecords(document, service::kForumPostsTag, 1000, kPostCellCount).records)
        rows.append(record);
    return rows;
}

// A page of a list called directly, as the view should call it.
struct Page {
    QList<QStringList> rows;
    int total = -1;
};

struct ServerView : ::testing::Test {
    static void SetUpTestSuite() { server = new testpeers::VarnelServerProcess({.demo = true}); }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(server->started()) << server->error(); }

    static service::SiteAddress site() { return {QStringLiteral("127.0.0.1"), static_cast<quint16>(server->port())}; }

    // The member values of a signed-in member, as the main frame holds them.
    static presence::MemberValues signIn(const QString &name, const QString &password)
    {
        QString document;
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::GetUserByUserName);
        EXPECT_TRUE(service::succeeded(proxy.GetUserByUserName(name, password, &document)));
        presence::MemberValues member;
        EXPECT_EQ(presence::readMemberValues(document, member), service::DocumentStatus::Ok);
        return member;
    }
    static presence::MemberValues demo(const char *name)
    {
        const QString n = QString::fromLatin1(name);
        return signIn(n, n + QStringLiteral("123"));
    }

    CZoneView &makeView(int zone, const presence::MemberValues &who)
    {
        member = who;
        view = std::make_unique<CZoneView>(zone, site(), browsing, member, display, messages, opener, faces.path());
        return *view;
    }

    template <typename Call> static Page direct(Op op, Call call)
    {
        CVarnelServices proxy(site());
        proxy.useServiceAccount(op);
        QString document;
        Page page;
        EXPECT_TRUE(service::succeeded(call(proxy, &document, &page.total)));
        page.rows = postRowsOf(document);
        return page;
    }
    static Page column(int columnId, int pageIndex)
    {
        return direct(Op::GetForumPostListByColumn, [&](CVarnelServices &p, QString *d, int *t) {
            return p.GetForumPostListByColumn(columnId, kPostPageSize, pageIndex, d, t);
        });
    }

    // GET of a site address: status and body.
    static std::pair<int, std::string> fetch(const QString &url)
    {
        const QUrl parsed(url);
        httplib::Client client("127.0.0.1", server->port());
        client.set_url_encode(false);
        const auto res =
            client.Get(parsed.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded).toStdString());
        if (!res)
            return {0, {}};
        return {res->status, res->body};
    }

    void expectNoMessages() { EXPECT_TRUE(messages.shown.empty()) << messages.lastText().toStdString(); }

    static testpeers::VarnelServerProcess *server;
    QTemporaryDir faces;
    BrowsingValues browsing;
    presence::MemberValues member;
    RecordingZoneDisplay display;
    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    std::unique_ptr<CZoneView> view;
};
testpeers::VarnelServerProcess *ServerView::server = nullptr;

} // namespace

TEST_F(ServerView, ColumnPagesAndTheirButtons)
{
    CZoneView &v = makeView(0, demo("carol"));
    const Page first = column(1, 1);
    const int pages = pageCountFor(first.total);
    ASSERT_GE(pages, 3) << "the demo's column 1 has three pages";

    v.openTreeItem(1);
    expectNoMessages();
    EXPECT_EQ(browsing.currentColumn, 1);
    EXPECT_EQ(display.rows, first.rows);
    EXPECT_EQ(display.rows.size(), kPostPageSize);
    EXPECT_EQ(display.pageCount, pageCountText(pages));
    EXPECT_EQ(display.pageField, QStringLiteral("1"));
    EXPECT_FALSE(display.bar.previousEnabled);
    EXPECT_TRUE(display.bar.nextEnabled);
    EXPECT_TRUE(display.bar.jumpEnabled && display.bar.pageFieldEnabled && display.bar.currentEnabled);
    EXPECT_TRUE(display.bar.askShown);
    EXPECT_GE(display.focusCount, 1);
    EXPECT_EQ(display.front(), ZonePane::PostList);

    v.nextPage();
    EXPECT_EQ(display.rows, column(1, 2).rows);
    EXPECT_EQ(display.pageField, QStringLiteral("2"));
    EXPECT_EQ(v.currentPage(), 2);
    EXPECT_TRUE(display.bar.previousEnabled);

    // The last page, by typing its number and jumping.
    display.pageField = QString::number(pages);
    v.jumpToPage();
    EXPECT_EQ(display.rows, column(1, pages).rows);
    EXPECT_FALSE(display.bar.nextEnabled);
    EXPECT_TRUE(display.bar.previousEnabled);

    // A number typed past the end does not page into nothing.
    display.pageField = QString::number(pages + 5);
    v.nextPage();
    EXPECT_EQ(display.rows, column(1, pages).rows);
    EXPECT_EQ(display.pageField, QString::number(pages));

    v.previousPage();
    EXPECT_EQ(display.rows, column(1, pages - 1).rows);
    expectNoMessages();
}

TEST_F(ServerView, JumpRefusesPagesOutsideTheResultInEveryZone)
{
    for (int zone = 0; zone < 4; ++zone) {
        SCOPED_TRACE(zone);
        messages.shown.clear();
        CZoneView &v = makeView(zone, demo("carol"));
        // Before any list every page is refused.
        display.pageField = QStringLiteral("1");
        v.jumpToPage();
        EXPECT_EQ(messages.lastText(), QStringLiteral("You have entered an invalid number!"));

        const int firstColumn = zoneAt(zone)->firstColumn;
        v.openTreeItem(firstColumn);
        const int pages = v.pageCount();
        ASSERT_GE(pages, 1);
        display.pageField = QString::number(pages);
        v.jumpToPage();
        const QList<QStringList> shown = display.rows;
        ASSERT_EQ(shown, column(firstColumn, pages).rows);
        const int loads = display.rowSets;
        const QString typed[] = {QStringLiteral("0"), QStringLiteral("-2"), QStringLiteral("abc"), QString(),
                                 QString::number(pages + 1)};
        for (const QString &text : typed) {
            messages.shown.clear();
            display.pageField = text;
            v.jumpToPage();
            EXPECT_EQ(messages.lastText(), QStringLiteral("You have entered an invalid number!")) << text.toStdString();
            // The field gets back the page on screen; nothing is loaded.
            EXPECT_EQ(display.pageField, QString::number(pages));
            EXPECT_EQ(display.rowSets, loads);
            EXPECT_EQ(display.rows, shown);
        }
    }
}

// Each mode asks its own operation with the member, the zone number, the
// argument and the keyword; the rows are what that call returns.
TEST_F(ServerView, EveryListModeCallsItsOperation)
{
    const presence::MemberValues alice = demo("alice");
    CZoneView &v = makeView(2, alice); // Game: zone number 3
    const int user = alice.userID;
    auto byUser = [&](Op op, int groupId) {
        return direct(op, [&](CVarnelServices &p, QString *d, int *t) {
            switch (op) {
            case Op::GetForumPostsByPostUserID:
                return p.GetForumPostsByPostUserID(user, kPostPageSize, 1, groupId, d, t);
            case Op::GetPostsByEndingUserID:
                return p.GetPostsByEndingUserID(user, kPostPageSize, 1, groupId, d, t);
            case Op::GetForumPostsByReplyUserID:
                return p.GetForumPostsByReplyUserID(user, kPostPageSize, 1, groupId, d, t);
            default:
                return p.GetForumPostsByScoreUserID(user, kPostPageSize, 1, groupId, d, t);
            }
        });
    };
    // Alice's questions differ between zones, so the zone number matters.
    ASSERT_NE(byUser(Op::GetForumPostsByPostUserID, 3).rows, byUser(Op::GetForumPostsByPostUserID, 1).rows);

    const std::pair<int, Op> byMember[] = {{ModeMyQuestions, Op::GetForumPostsByPostUserID},
                                           {ModeToClose, Op::GetPostsByEndingUserID},
                                           {ModeMySolutions, Op::GetForumPostsByReplyUserID},
                                           {ModeScoredAnswers, Op::GetForumPostsByScoreUserID}};
    for (const auto &[mode, op] : byMember) {
        SCOPED_TRACE(mode);
        messages.shown.clear();
        v.load(1, 1, QString(), mode);
        const Page expected = byUser(op, 3);
        EXPECT_EQ(v.listMode(), mode);
        EXPECT_EQ(v.totalCount(), expected.total);
        EXPECT_EQ(display.rows, expected.rows);
        if (expected.total == 0) {
            EXPECT_EQ(messages.lastText(), QStringLiteral("Question Not Found!"));
        } else {
            expectNoMessages();
        }
    }

    // Search by ID: the question, whatever zone it is in.
    const QString someId = column(35, 1).rows.at(0).at(CellId);
    v.load(1, someId.toInt(), QString(), ModeSearchById);
    ASSERT_EQ(display.rows.size(), 1);
    EXPECT_EQ(display.rows[0][CellId], someId);
    EXPECT_EQ(display.pageCount, QStringLiteral("Total 1 page(s)"));
    EXPECT_FALSE(display.bar.nextEnabled);

    // Search by title: a word of a title in column 20.
    const QString word = column(20, 1).rows.at(0).at(CellTitle).section(QLatin1Char(' '), 0, 0);
    v.load(1, 20, word, ModeSearchByTitle);
    const Page titled = direct(Op::GetSearchForumPostsByTitle, [&](CVarnelServices &p, QString *d, int *t) {
        return p.GetSearchForumPostsByTitle(20, word, kPostPageSize, 1, d, t);
    });
    ASSERT_GT(titled.total, 0);
    EXPECT_EQ(display.rows, titled.rows);
    for (const QStringList &row : display.rows)
        EXPECT_EQ(row.at(CellColumnId), QStringLiteral("20"));

    // Search by asker.
    v.load(1, 1, QStringLiteral("bob"), ModeSearchByAuthor);
    const Page asked = direct(Op::GetSearchForumPostsByAuthor, [&](CVarnelServices &p, QString *d, int *t) {
        return p.GetSearchForumPostsByAuthor(1, QStringLiteral("bob"), kPostPageSize, 1, d, t);
    });
    ASSERT_GT(asked.total, 0);
    EXPECT_EQ(display.rows, asked.rows);
    for (const QStringList &row : display.rows)
        EXPECT_EQ(row.at(CellMember), QStringLiteral("bob"));
}

// Paging a search repeats its column and keyword.
TEST_F(ServerView, PagingRepeatsTheSearch)
{
    CZoneView &v = makeView(0, demo("carol"));
    // An empty keyword has no word to match, so it lists the whole column.
    v.load(1, 1, QString(), ModeSearchByTitle);
    ASSERT_GE(v.pageCount(), 2);
    v.nextPage();
    const Page second = direct(Op::GetSearchForumPostsByTitle, [&](CVarnelServices &p, QString *d, int *t) {
        return p.GetSearchForumPostsByTitle(1, QString(), kPostPageSize, 2, d, t);
    });
    EXPECT_EQ(display.rows, second.rows);
    EXPECT_EQ(v.listMode(), ModeSearchByTitle);
    EXPECT_EQ(v.listArgument(), 1);

    const Page bobAll = direct(Op::GetSearchForumPostsByAuthor, [&](CVarnelServices &p, QString *d, int *t) {
        return p.GetSearchForumPostsByAuthor(1, QStringLiteral("BOB"), kPostPageSize, 1, d, t);
    });
    v.load(1, 1, QStringLiteral("BOB"), ModeSearchByAuthor);
    EXPECT_EQ(display.rows, bobAll.rows);
    if (pageCountFor(bobAll.total) >= 2) {
        v.nextPage();
        EXPECT_EQ(v.listKeyword(), QStringLiteral("BOB"));
        for (const QStringList &row : display.rows)
            EXPECT_EQ(row.at(CellMember), QStringLiteral("bob"));
    }
}

TEST_F(ServerView, NothingFoundEmptiesTheList)
{
    CZoneView &v = makeView(1, demo("carol"));
    v.openTreeItem(10);
    ASSERT_FALSE(display.rows.isEmpty());
    v.load(1, 99999999, QString(), ModeSearchById);
    EXPECT_EQ(messages.lastText(), QStringLiteral("Question Not Found!"));
    EXPECT_TRUE(display.rows.isEmpty());
    EXPECT_EQ(display.pageCount, QStringLiteral("Total 0 page(s)"));
    EXPECT_FALSE(display.bar.nextEnabled);
    EXPECT_FALSE(display.bar.previousEnabled);
    // Nothing to open.
    v.openRow(0);
    EXPECT_TRUE(display.navigated.isEmpty());
}

TEST_F(ServerView, CategoryItemsLoadNothing)
{
    CZoneView &v = makeView(3, demo("carol"));
    display.pageField = QStringLiteral("4");
    v.openTreeItem(0);
    EXPECT_EQ(display.rowSets, 0);
    EXPECT_EQ(v.listMode(), 0);
    EXPECT_EQ(browsing.currentColumn, -1);
    EXPECT_EQ(display.pageField, QStringLiteral("4"));
    expectNoMessages();
}

// The page opened for a row follows the list mode; the site answers each.
TEST_F(ServerView, OpeningRowsOpensThePageOfTheMode)
{
    const presence::MemberValues alice = demo("alice");
    CZoneView &v = makeView(0, alice);
    const QString site = QStringLiteral("http://127.0.0.1:%1/Varnel/Web/").arg(server->port());
    const QString credentials = QStringLiteral("&USRID=%1&USRPSW=alice123").arg(alice.userID);

    v.openTreeItem(2);
    ASSERT_FALSE(display.rows.isEmpty());
    const QStringList row = display.rows.at(0);
    v.openRow(0);
    EXPECT_EQ(browsing.selectedQuestionId, row.at(CellId).toInt());
    EXPECT_EQ(browsing.selectedQuestionTitle, row.at(CellTitle));
    EXPECT_EQ(display.navigated.last(), site + QStringLiteral("ShowSoftPost.aspx?PostID=") + row.at(CellId) +
                                            credentials + QStringLiteral("&temp=") + row.at(CellReplies));
    EXPECT_EQ(display.front(), ZonePane::QuestionPage);
    EXPECT_FALSE(display.bar.askShown);
    EXPECT_TRUE(display.bar.answerEnabled);
    auto [status, body] = fetch(display.navigated.last());
    EXPECT_EQ(status, 200);
    EXPECT_NE(body.find(row.at(CellTitle).toHtmlEscaped().toStdString()), std::string::npos);

    // "Current" brings the list back with "Ask Question".
    v.current();
    EXPECT_EQ(display.front(), ZonePane::PostList);
    EXPECT_TRUE(display.bar.askShown);

    v.load(1, 1, QString(), ModeMyQuestions);
    ASSERT_FALSE(display.rows.isEmpty());
    v.openRow(0);
    EXPECT_TRUE(display.navigated.last().startsWith(site + QStringLiteral("MyPost.aspx?PostID=") +
                                                    display.rows[0][CellId] + credentials));
    EXPECT_FALSE(display.navigated.last().contains(QStringLiteral("temp=")));
    EXPECT_EQ(fetch(display.navigated.last()).first, 200);

    v.closeQuestions();
    EXPECT_EQ(v.listMode(), ModeToClose);
    ASSERT_FALSE(display.rows.isEmpty()) << "alice has questions to close in Software";
    v.openRow(0);
    EXPECT_EQ(display.navigated.last(),
              site + QStringLiteral("EndPost.aspx?PostID=") + display.rows[0][CellId] + credentials);
    auto [endStatus, endBody] = fetch(display.navigated.last());
    EXPECT_EQ(endStatus, 200);
    EXPECT_NE(endBody.find("Award the points"), std::string::npos);

    // A row of another zone's column makes that column current.
    v.load(1, column(33, 1).rows.at(0).at(CellId).toInt(), QString(), ModeSearchById);
    v.openRow(0);
    EXPECT_EQ(browsing.currentColumn, 33);
    EXPECT_TRUE(display.navigated.last().contains(QStringLiteral("ShowSoftPost.aspx")));
}

TEST_F(ServerView, OwnQuestionsAreRecognisedByTheAsker)
{
    const presence::MemberValues alice = demo("alice");
    CZoneView &v = makeView(0, alice);
    QList<int> opened;
    v.hooks().ownQuestionOpened = [&](int id) { opened.append(id); };

    v.load(1, 1, QString(), ModeMyQuestions);
    ASSERT_FALSE(display.rows.isEmpty());
    const QStringList own = display.rows.at(0);
    ASSERT_EQ(own.at(CellMember), QStringLiteral("alice"));
    v.openRow(0);
    EXPECT_EQ(browsing.mySelectedQuestionId, own.at(CellId).toInt());
    EXPECT_EQ(browsing.mySelectedQuestionPoints, own.at(CellPoints).toInt());
    EXPECT_EQ(opened, QList<int>{own.at(CellId).toInt()});

    // Someone else's question leaves the member's own selection alone.
    v.load(1, 1, QStringLiteral("bob"), ModeSearchByAuthor);
    ASSERT_FALSE(display.rows.isEmpty());
    v.openRow(0);
    EXPECT_EQ(browsing.selectedQuestionId, display.rows[0][CellId].toInt());
    EXPECT_EQ(browsing.mySelectedQuestionId, own.at(CellId).toInt());
    EXPECT_EQ(opened.size(), 1);

    // The user name is compared exactly: "ALICE" is not alice.
    presence::MemberValues upper = alice;
    upper.userName = QStringLiteral("ALICE");
    CZoneView &w = makeView(0, upper);
    w.hooks().ownQuestionOpened = [&](int id) { opened.append(id); };
    browsing.mySelectedQuestionId = -1;
    w.load(1, 1, QString(), ModeMyQuestions);
    w.openRow(0);
    EXPECT_EQ(browsing.mySelectedQuestionId, -1);
    EXPECT_EQ(opened.size(), 1);
}

// A password holding "&", "#", "+" and a blank still opens the member's page.
TEST_F(ServerView, PasswordWithQueryCharactersOpensTheRightPage)
{
    const QString password = QStringLiteral("p&ss #+1");
    {
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::CreateNewUser);
        bool created = false;
        ASSERT_TRUE(service::succeeded(proxy.CreateNewUser(
            QStringLiteral("percy"), password, QStringLiteral("Percy"), 1, QStringLiteral("percy@example.test"),
            QStringLiteral("3"), QString(), QString(), QString(), QString(), QStringLiteral("guid-percy"), &created)));
        ASSERT_TRUE(created);
    }
    const presence::MemberValues percy = signIn(QStringLiteral("percy"), password);
    ASSERT_GT(percy.userID, 0);
    {
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::CreatForumPost);
        bool posted = false;
        int id = 0;
        ASSERT_TRUE(service::succeeded(proxy.CreatForumPost(percy.userID, QStringLiteral("Percent question"), 12, 40,
                                                            QStringLiteral("text"), &posted, &id)));
        ASSERT_TRUE(posted);
    }
    CZoneView &v = makeView(1, percy);
    v.load(1, 1, QString(), ModeMyQuestions);
    ASSERT_EQ(display.rows.size(), 1);
    v.openRow(0);
    const QString url = display.navigated.last();
    auto [status, body] = fetch(url);
    EXPECT_EQ(status, 200) << url.toStdString();
    EXPECT_NE(body.find("Percent question"), std::string::npos);

    // The same address with the password as typed is refused by the site.
    const QString raw = QStringLiteral("http://127.0.0.1:%1/Varnel/Web/MyPost.aspx?PostID=%2&USRID=%3&USRPSW=")
                            .arg(server->port())
                            .arg(display.rows[0][CellId])
                            .arg(percy.userID) +
                        password;
    httplib::Client client("127.0.0.1", server->port());
    const auto res = client.Get(raw.mid(raw.indexOf(QStringLiteral("/Varnel"))).toStdString());
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 403);
}

TEST_F(ServerView, AnnouncementsLoadOnceAndOpenByKind)
{
    const presence::MemberValues carol = demo("carol");
    CZoneView &v = makeView(1, carol);
    v.create();
    EXPECT_FALSE(v.announcementsLoaded());
    EXPECT_EQ(display.announcementSets, 0);
    EXPECT_EQ(display.pageField, QStringLiteral("1"));
    EXPECT_EQ(display.pageCount, QStringLiteral("Total 1 page"));

    browsing.currentZoneIndex = 0;
    v.activate();
    EXPECT_EQ(browsing.currentZoneIndex, 1);
    EXPECT_TRUE(v.announcementsLoaded());
    EXPECT_EQ(display.announcementSets, 1);
    EXPECT_EQ(display.front(), ZonePane::Announcements);
    EXPECT_TRUE(display.announcementsEnabled);
    EXPECT_FALSE(display.postListEnabled);
    v.activate();
    EXPECT_EQ(display.announcementSets, 1);
    expectNoMessages();

    QString document;
    {
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::SendThreadsByType);
        ASSERT_TRUE(service::succeeded(proxy.SendThreadsByType(2, &document)));
    }
    const auto records = service::readRecords(document, service::kForumPostsTag, 15, 3).records;
    ASSERT_EQ(display.announcements.size(), int(records.size()));
    int seen[4] = {0, 0, 0, 0};
    const QString base = QStringLiteral("http://127.0.0.1:%1/Varnel/Web/").arg(server->port());
    for (int i = 0; i < display.announcements.size(); ++i) {
        const AnnouncementRow &a = display.announcements.at(i);
        EXPECT_EQ(a.kind, records[size_t(i)].value(0));
        EXPECT_EQ(a.title, records[size_t(i)].value(1));
        EXPECT_EQ(a.target, records[size_t(i)].value(2));
        const int kind = a.kindNumber();
        ASSERT_TRUE(kind >= 0 && kind <= 3);
        ++seen[kind];
        v.current(); // back to the announcements
        ASSERT_EQ(display.front(), ZonePane::Announcements);
        const int navigations = display.navigated.size();
        v.activateAnnouncement(i);
        switch (kind) {
        case 0:
        case 1:
            EXPECT_EQ(display.navigated.last(), base + QStringLiteral("Announce.aspx?PostID=") + a.target);
            EXPECT_EQ(display.front(), ZonePane::QuestionPage);
            EXPECT_EQ(fetch(display.navigated.last()).first, 200);
            break;
        case 2:
            EXPECT_EQ(opener.opened.last(), a.target);
            EXPECT_EQ(display.navigated.size(), navigations);
            EXPECT_EQ(display.front(), ZonePane::Announcements);
            break;
        case 3:
            EXPECT_EQ(display.navigated.last(), base + QStringLiteral("ShowHardPost.aspx?PostID=") + a.target +
                                                    QStringLiteral("&USRID=%1&USRPSW=carol123").arg(carol.userID));
            EXPECT_EQ(fetch(display.navigated.last()).first, 200);
            break;
        }
    }
    for (int kind = 0; kind < 4; ++kind)
        EXPECT_EQ(seen[kind], 1) << "kind " << kind;
    const int navigations = display.navigated.size();
    v.activateAnnouncement(-1);
    v.activateAnnouncement(display.announcements.size());
    EXPECT_EQ(display.navigated.size(), navigations);
}

TEST_F(ServerView, SoftwareViewCreatesTheCacheAndShowsAnnouncementsFirst)
{
    const QString cache = QDir(faces.path()).filePath(QStringLiteral("CustomFace"));
    member = demo("carol");
    view = std::make_unique<CZoneView>(0, site(), browsing, member, display, messages, opener, cache);
    view->create();
    expectNoMessages();
    EXPECT_TRUE(QDir(cache).exists());
    EXPECT_TRUE(view->announcementsLoaded());
    EXPECT_FALSE(display.postListEnabled);
    EXPECT_EQ(display.front(), ZonePane::Announcements);
    EXPECT_EQ(display.expertSets, 2); // cleared, then filled
    EXPECT_FALSE(display.experts.isEmpty());
    // Its first activation does not load them again.
    view->activate();
    EXPECT_EQ(display.announcementSets, 1);
}

TEST_F(ServerView, OnlineExpertsOfTheZone)
{
    CZoneView &v = makeView(3, demo("carol"));
    v.reloadOnlineExperts();
    expectNoMessages();
    QString document;
    {
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::GetExpertListOnline);
        ASSERT_TRUE(service::succeeded(proxy.GetExpertListOnline(4, &document)));
    }
    const auto records = service::readRecords(document, service::kUserTag, 48, 9).records;
    ASSERT_GE(records.size(), 2u) << "the demo's star experts are always online";
    ASSERT_EQ(display.experts.size(), int(records.size()));
    for (int i = 0; i < display.experts.size(); ++i) {
        const OnlineExpert &e = display.experts.at(i);
        const auto &r = records[size_t(i)];
        EXPECT_EQ(e.fields, r);
        EXPECT_EQ(e.nickname, r.value(2));
        EXPECT_EQ(e.badge, r.value(6).toInt() - 1);
        if (r.value(8).toInt() == 0) {
            EXPECT_EQ(e.builtInPicture, session::builtInPictureNumber(r.value(4).toInt()));
        }
    }
    QStringList names;
    for (const OnlineExpert &e : display.experts)
        names << e.fields.value(1);
    EXPECT_TRUE(names.contains(QStringLiteral("codesmith")));
    EXPECT_TRUE(names.contains(QStringLiteral("pixelpro")));
}

TEST_F(ServerView, AskQuestionChecks)
{
    int dialogs = 0, refreshes = 0;
    bool accept = false;
    auto wire = [&](CZoneView &v) {
        v.hooks().askQuestionDialog = [&] {
            ++dialogs;
            return accept;
        };
        v.hooks().refreshAccountFigures = [&] { ++refreshes; };
    };

    // No column yet.
    CZoneView &noColumn = makeView(0, demo("carol"));
    wire(noColumn);
    noColumn.askQuestion();
    EXPECT_EQ(messages.lastText(), QStringLiteral("Please select a zone area before posting question !"));
    EXPECT_EQ(dialogs, 0);

    // Bob has an overdue question in Software.
    CZoneView &bob = makeView(0, demo("bob"));
    wire(bob);
    bob.openTreeItem(1);
    bob.askQuestion();
    EXPECT_EQ(messages.lastText(), QStringLiteral("You need to click 'Close Questions' button to close overdue "
                                                  "questions before posting new !"));
    EXPECT_EQ(dialogs, 0);

    // Carol may ask in Hardware; a cancelled dialog changes nothing.
    messages.shown.clear();
    CZoneView &carol = makeView(1, demo("carol"));
    wire(carol);
    carol.openTreeItem(11);
    const int loads = display.rowSets;
    carol.askQuestion();
    EXPECT_EQ(dialogs, 1);
    expectNoMessages();
    EXPECT_EQ(display.rowSets, loads);

    // Accepted: the message, the account figures, the experts and page 1 of the column.
    accept = true;
    display.expertSets = 0;
    display.pageField = QStringLiteral("3");
    carol.askQuestion();
    EXPECT_EQ(dialogs, 2);
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown.front().text, QStringLiteral("The question has been successfully posted!"));
    EXPECT_EQ(messages.shown.front().icon, platform::MessageIcon::Information);
    EXPECT_EQ(messages.shown.front().caption, QStringLiteral("Quillora 2007"));
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(display.expertSets, 2); // cleared, then filled
    EXPECT_EQ(display.rowSets, loads + 2);
    EXPECT_EQ(carol.listMode(), ModeColumn);
    EXPECT_EQ(carol.listArgument(), 11);
    EXPECT_EQ(display.pageField, QStringLiteral("1"));
}

TEST_F(ServerView, AnswerQuestionChecks)
{
    CZoneView &v = makeView(2, demo("carol"));
    int dialogs = 0, refreshes = 0;
    bool accept = false;
    v.hooks().answerQuestionDialog = [&] {
        ++dialogs;
        return accept;
    };
    v.hooks().refreshAccountFigures = [&] { ++refreshes; };
    v.answerQuestion();
    EXPECT_EQ(messages.lastText(), QStringLiteral("You need to select a question before posting solution !"));
    EXPECT_EQ(dialogs, 0);

    v.openTreeItem(21);
    v.openRow(0);
    messages.shown.clear();
    v.answerQuestion();
    EXPECT_EQ(dialogs, 1);
    expectNoMessages();
    EXPECT_EQ(display.reloads, 0);

    accept = true;
    v.answerQuestion();
    EXPECT_EQ(messages.lastText(), QStringLiteral("The solution has been successfully posted!"));
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(display.reloads, 1);
}

TEST_F(ServerView, ShowAnnouncementsDisablesThePostListCommands)
{
    CZoneView &v = makeView(2, demo("carol"));
    v.openTreeItem(20);
    v.nextPage();
    ASSERT_EQ(display.pageField, QStringLiteral("2"));
    v.showAnnouncements();
    EXPECT_EQ(display.front(), ZonePane::Announcements);
    EXPECT_TRUE(display.announcementsEnabled);
    EXPECT_FALSE(display.postListEnabled);
    const BottomBarState &bar = display.bar;
    EXPECT_FALSE(bar.closeQuestionsEnabled || bar.askEnabled || bar.answerEnabled || bar.previousEnabled ||
                 bar.nextEnabled || bar.jumpEnabled || bar.pageFieldEnabled);
    EXPECT_TRUE(bar.currentEnabled);
    EXPECT_EQ(display.pageField, QStringLiteral("1"));
    EXPECT_EQ(display.pageCount, QStringLiteral("Total 1 page"));
    // The announcements are there although the tab was never activated.
    EXPECT_FALSE(display.announcements.isEmpty());
    v.current();
    EXPECT_EQ(display.front(), ZonePane::Announcements);

    // The next list enables the post list again.
    v.openTreeItem(20);
    EXPECT_TRUE(display.postListEnabled);
    EXPECT_FALSE(display.announcementsEnabled);
    EXPECT_TRUE(display.bar.closeQuestionsEnabled && display.bar.askEnabled && display.bar.jumpEnabled);
    v.current();
    EXPECT_EQ(display.front(), ZonePane::PostList);
}
