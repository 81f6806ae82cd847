// Zone view rules that need no community: page counts, the page addresses
// with their encoded query values, link announcements, list geometry, and the
// documents and failures the real server never sends (more than 48 experts,
// a broken document, a service that stops answering), played by a scripted
// loopback peer.
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "presence/member_values.h"
#include "service/site_config.h"
#include "session/head_images.h"
#include "test_bitmaps.h"
#include "zone_view_test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>

#include <gtest/gtest.h>

using namespace quillora;
using namespace quillora::forum;
using namespace zoneviewtest;
using testpeers::PeerScript;
using testpeers::ScriptedHttpPeer;

TEST(ZoneViewRules, PageCountIsTheCeilingOfTotalByFifteen)
{
    struct Row {
        const char *name;
        int total;
        int pages;
    };
    const Row rows[] = {{"empty", 0, 0},     {"negative", -4, 0}, {"one", 1, 1},    {"full page", 15, 1},
                        {"one over", 16, 2}, {"two full", 30, 2}, {"three", 31, 3}, {"big", 1500, 100}};
    for (const Row &r : rows)
        EXPECT_EQ(pageCountFor(r.total), r.pages) << r.name;
    EXPECT_EQ(pageCountText(3), QStringLiteral("Total 3 page(s)"));
    EXPECT_EQ(pageCountText(0), QStringLiteral("Total 0 page(s)"));
    EXPECT_EQ(singlePageText(), QStringLiteral("Total 1 page"));
}

TEST(ZoneViewRules, QuestionPageAddressesByMode)
{
    const service::SiteAddress site{QStringLiteral("example.test"), 8080};
    const QString base = QStringLiteral("http://example.test:8080/Varnel/Web/");
    EXPECT_EQ(questionPageUrl(site, 2, ModeToClose, QStringLiteral("17"), 5, QStringLiteral("pw"), QStringLiteral("3")),
              base + QStringLiteral("EndPost.aspx?PostID=17&USRID=5&USRPSW=pw"));
    EXPECT_EQ(
        questionPageUrl(site, 2, ModeMyQuestions, QStringLiteral("17"), 5, QStringLiteral("pw"), QStringLiteral("3")),
        base + QStringLiteral("MyPost.aspx?PostID=17&USRID=5&USRPSW=pw"));
    const char *pages[] = {"ShowSoftPost.aspx", "ShowHardPost.aspx", "ShowGamePost.aspx", "ShowProgPost.aspx"};
    for (int zone = 0; zone < 4; ++zone) {
        for (int mode :
             {ModeColumn, ModeMySolutions, ModeScoredAnswers, ModeSearchById, ModeSearchByTitle, ModeSearchByAuthor}) {
            EXPECT_EQ(
                questionPageUrl(site, zone, mode, QStringLiteral("17"), 5, QStringLiteral("pw"), QStringLiteral("3")),
                base + QLatin1String(pages[zone]) + QStringLiteral("?PostID=17&USRID=5&USRPSW=pw&temp=3"))
                << "zone " << zone << " mode " << mode;
        }
    }
    // Port 80 is not written.
    EXPECT_EQ(announcementPageUrl({QStringLiteral("example.test"), 80}, QStringLiteral("9")),
              QStringLiteral("http://example.test/Varnel/Web/Announce.aspx?PostID=9"));
    EXPECT_EQ(featuredQuestionUrl(site, 3, QStringLiteral("40"), 5, QStringLiteral("pw")),
              base + QStringLiteral("ShowProgPost.aspx?PostID=40&USRID=5&USRPSW=pw"));
}

// A password holding the characters that end or change a query value must
// reach the site as it is; so must every other value.
TEST(ZoneViewRules, QueryValuesArePercentEncoded)
{
    const service::SiteAddress site{QStringLiteral("127.0.0.1"), 8080};
    const QString password = QStringLiteral("a&b #c+d=e%f/\u00e9");
    const QString replies = QStringLiteral("1 & more");
    const QString target = QStringLiteral("7&x=1");
    const QStringList urls = {
        questionPageUrl(site, 0, ModeColumn, QStringLiteral("12#3"), 42, password, replies),
        questionPageUrl(site, 0, ModeMyQuestions, QStringLiteral("12#3"), 42, password, replies),
        questionPageUrl(site, 0, ModeToClose, QStringLiteral("12#3"), 42, password, replies),
        featuredQuestionUrl(site, 1, QStringLiteral("12#3"), 42, password),
    };
    for (const QString &text : urls) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_FALSE(text.contains(QLatin1Char(' ')));
        const QUrl url(text, QUrl::StrictMode);
        ASSERT_TRUE(url.isValid());
        EXPECT_TRUE(url.fragment().isNull());
        const QUrlQuery query(url);
        EXPECT_EQ(query.queryItemValue(QStringLiteral("PostID"), QUrl::FullyDecoded), QStringLiteral("12#3"));
        EXPECT_EQ(query.queryItemValue(QStringLiteral("USRID"), QUrl::FullyDecoded), QStringLiteral("42"));
        EXPECT_EQ(query.queryItemValue(QStringLiteral("USRPSW"), QUrl::FullyDecoded), password);
        const int expectedItems = text.contains(QStringLiteral("ShowSoftPost")) ? 4 : 3;
        EXPECT_EQ(query.queryItems().size(), expectedItems);
    }
    EXPECT_EQ(QUrlQuery(QUrl(urls[0])).queryItemValue(QStringLiteral("temp"), QUrl::FullyDecoded), replies);
    const QUrl announce(announcementPageUrl(site, target));
    EXPECT_EQ(QUrlQuery(announce).queryItemValue(QStringLiteral("PostID"), QUrl::FullyDecoded), target);
    EXPECT_EQ(QUrlQuery(announce).queryItems().size(), 1);
}

TEST(ZoneViewRules, OnlyWebAddressesOpenAsLinks)
{
    struct Row {
        const char *name;
        const char *target;
        bool openable;
    };
    const Row rows[] = {
        {"http", "http://127.0.0.1:8080/Quillora/Help.htm", true},
        {"https", "https://example.test/page?a=1", true},
        {"upper-case scheme", "HTTP://example.test/", true},
        {"surrounding blanks", "  http://example.test/  ", true},
        {"local file", "file:///etc/passwd", false},
        {"program path", "/usr/bin/xterm", false},
        {"windows program", "C:\\Windows\\system32\\cmd.exe", false},
        {"script", "javascript:alert(1)", false},
        {"mail", "mailto:someone@example.test", false},
        {"no host", "http:///path", false},
        {"empty", "", false},
    };
    for (const Row &r : rows)
        EXPECT_EQ(isOpenableLink(QString::fromUtf8(r.target)), r.openable) << r.name;
}

TEST(ZoneViewRules, ListGeometryFromTheScreenSize)
{
    // W = 1280 - 236 = 1044; widths truncated.
    EXPECT_EQ(postListCellWidths(1280), (QList<int>{0, 522, 167, 83, 93, 177, 0}));
    EXPECT_EQ(announcementColumnWidth(1280), 1044);
    // trunc(1024 * 0.98 - 230) / 15 = 773 / 15; trunc(1024 * 0.78 - 109) / 15 = 689 / 15.
    EXPECT_EQ(postRowHeight(1024), 51);
    EXPECT_EQ(announcementRowHeight(1024), 45);
    EXPECT_EQ(postRowHeight(1080), 55);
    // A screen too small for the formula still gets visible rows.
    EXPECT_EQ(postRowHeight(100), 1);
    EXPECT_EQ(postListCellWidths(100), (QList<int>{0, 0, 0, 0, 0, 0, 0}));
}

namespace {

QString postsDocument(int first, int count)
{
    QString doc = QStringLiteral("<ForumPostList>");
    for (int i = first; i < first + count; ++i)
        doc += QStringLiteral("<ForumPosts><PKID>%1</PKID><Title>Question %1</Title><UserName>bob</UserName>"
                              "<Points>50</Points><Replies>2</Replies><PostDate>2026-12-01 10:00</PostDate>"
                              "<ColumnID>3</ColumnID><State>Open</State></ForumPosts>")
                   .arg(i);
    return doc + QStringLiteral("</ForumPostList>");
}

QByteArray listResult(const QString &document, int total)
{
    return "<GetForumPostListByColumnResult>" + escapedDocument(document) +
           "</GetForumPostListByColumnResult><totalCount>" + QByteArray::number(total) + "</totalCount>";
}

struct PeerView : ::testing::Test {
    void start(std::vector<PeerScript> scripts)
    {
        peer = std::make_unique<ScriptedHttpPeer>(std::move(scripts));
        site = {QStringLiteral("127.0.0.1"), static_cast<quint16>(peer->port())};
        member.userID = 7;
        member.userName = QStringLiteral("bob");
        member.password = QStringLiteral("bob123");
        view = std::make_unique<CZoneView>(0, site, browsing, member, display, messages, opener, faces.path());
    }

    std::unique_ptr<ScriptedHttpPeer> peer;
    service::SiteAddress site;
    QTemporaryDir faces;
    BrowsingValues browsing;
    presence::MemberValues member;
    RecordingZoneDisplay display;
    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    std::unique_ptr<CZoneView> view;
};

} // namespace

// The server never sends more than 48 experts; the view holds no more even
// when a document does.
TEST_F(PeerView, SixtyExpertsShowTheFirstFortyEight)
{
    QString doc = QStringLiteral("<Users>");
    for (int i = 1; i <= 60; ++i)
        doc += QStringLiteral("<User><PKID>%1</PKID><UserName>u%1</UserName><NickName>Expert %1</NickName>"
                              "<ZoneScore>100</ZoneScore><Face>%2</Face><Credit>80</Credit><ZoneRank>%3</ZoneRank>"
                              "<ExpertColumn>2</ExpertColumn><CustomHead>0</CustomHead></User>")
                   .arg(i)
                   .arg(i % 25)
                   .arg(i % 12);
    doc += QStringLiteral("</Users>");
    start({answering("GetExpertListOnline",
                     "<GetExpertListOnlineResult>" + escapedDocument(doc) + "</GetExpertListOnlineResult>")});
    view->reloadOnlineExperts();
    EXPECT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    ASSERT_EQ(view->onlineExperts().size(), 48);
    EXPECT_EQ(display.experts.size(), 48);
    EXPECT_EQ(display.experts.last().nickname, QStringLiteral("Expert 48"));
    for (int i = 0; i < 48; ++i) {
        const OnlineExpert &e = display.experts.at(i);
        const int n = i + 1;
        EXPECT_EQ(e.fields.size(), 9);
        EXPECT_EQ(e.builtInPicture, session::builtInPictureNumber(n % 25)) << n;
        EXPECT_TRUE(e.picturePath.isEmpty());
        // Rank r shows badge r - 1; ranks outside 1..10 show none.
        const int rank = n % 12;
        EXPECT_EQ(e.badge, rank >= 1 && rank <= 10 ? rank - 1 : -1) << n;
    }
}

namespace {

QCoreApplication &eventLoopApp()
{
    static int argc = 1;
    static char arg0[] = "test_zone_view_rules";
    static char *argv[] = {arg0, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    return app ? *app : *QCoreApplication::instance();
}

QString expertRecord(const QString &id, const QString &nick, int face, int custom)
{
    return QStringLiteral("<User><PKID>%1</PKID><UserName>u</UserName><NickName>%2</NickName><ZoneScore>1</ZoneScore>"
                          "<Face>%3</Face><Credit>1</Credit><ZoneRank>4</ZoneRank><ExpertColumn>1</ExpertColumn>"
                          "<CustomHead>%4</CustomHead></User>")
        .arg(id, nick)
        .arg(face)
        .arg(custom);
}

QByteArray expertsResult(const QStringList &records)
{
    return "<GetExpertListOnlineResult>" +
           escapedDocument(QStringLiteral("<Users>") + records.join(QString()) + QStringLiteral("</Users>")) +
           "</GetExpertListOnlineResult>";
}

} // namespace

// A cached custom picture shows at once; every other expert shows his own
// built-in picture until (and unless) his custom one arrives, whatever the
// list showed in that place before.
TEST_F(PeerView, ExpertPicturesFollowTheHeadImageRule)
{
    eventLoopApp();
    const QStringList records = {expertRecord(QStringLiteral("31"), QStringLiteral("Cached"), 3, 1),
                                 expertRecord(QStringLiteral("32"), QStringLiteral("Missing"), 4, 1),
                                 expertRecord(QStringLiteral("../x"), QStringLiteral("Odd"), 5, 1),
                                 expertRecord(QStringLiteral("34"), QStringLiteral("Plain"), 0, 0)};
    // Connection 1 answers the list; connection 2 is the download of 32.bmp, refused.
    start({answering("GetExpertListOnline", expertsResult(records)),
           PeerScript().readRequest().send(testpeers::httpResponse(404, {}, "no"))});
    QFile cached(QDir(faces.path()).filePath(QStringLiteral("31.bmp")));
    ASSERT_TRUE(cached.open(QIODevice::WriteOnly));
    cached.write(testpeers::bitmapFile());
    cached.close();

    QSignalSpy failed(&view->customFaces(), &session::CustomFaceDownloads::pictureFailed);
    view->reloadOnlineExperts();
    ASSERT_EQ(display.experts.size(), 4);
    EXPECT_EQ(display.experts[0].picturePath, cached.fileName());
    EXPECT_EQ(display.experts[1].picturePath, QString());
    EXPECT_EQ(display.experts[1].builtInPicture, 4);
    EXPECT_EQ(display.experts[2].picturePath, QString());
    EXPECT_EQ(display.experts[2].builtInPicture, 5);
    EXPECT_EQ(display.experts[3].builtInPicture, 24);
    ASSERT_TRUE(failed.wait(10000));
    EXPECT_TRUE(display.pictureSwaps.isEmpty());
    const auto requests = peer->allRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[1].startsWith("GET /Varnel/Web/images/CustomFace/32.bmp "));
    EXPECT_FALSE(QFile::exists(QDir(faces.path()).filePath(QStringLiteral("32.bmp"))));
}

// A picture that arrives after the list was reloaded goes to the row that
// now shows its member, and to no other.
TEST_F(PeerView, ArrivingPictureGoesToItsMembersRow)
{
    eventLoopApp();
    start({answering("GetExpertListOnline",
                     expertsResult({expertRecord(QStringLiteral("41"), QStringLiteral("First"), 1, 0),
                                    expertRecord(QStringLiteral("42"), QStringLiteral("Slow"), 2, 1)})),
           PeerScript().readRequest().wait(700).send(testpeers::httpResponse(200, {}, testpeers::bitmapFile())),
           answering("GetExpertListOnline",
                     expertsResult({expertRecord(QStringLiteral("42"), QStringLiteral("Slow"), 2, 1),
                                    expertRecord(QStringLiteral("43"), QStringLiteral("Other"), 3, 0)}))});
    QSignalSpy ready(&view->customFaces(), &session::CustomFaceDownloads::pictureReady);
    view->reloadOnlineExperts();
    ASSERT_EQ(display.experts.size(), 2);
    EXPECT_EQ(display.experts[1].builtInPicture, 2);
    EXPECT_TRUE(display.experts[1].picturePath.isEmpty());
    // The download has its connection (the peer's second script) before the
    // list is asked for again.
    for (int i = 0; i < 200 && peer->connectionCount() < 2; ++i)
        QThread::msleep(10);
    view->reloadOnlineExperts(); // the download of 42 is still on its way: not asked again
    ASSERT_EQ(display.experts.size(), 2);
    EXPECT_EQ(display.experts[0].nickname, QStringLiteral("Slow"));

    ASSERT_TRUE(ready.wait(10000));
    const QString path = QDir(faces.path()).filePath(QStringLiteral("42.bmp"));
    EXPECT_EQ(display.pictureSwaps, QList<int>{0});
    EXPECT_EQ(display.experts[0].picturePath, path);
    EXPECT_EQ(view->onlineExperts()[0].picturePath, path);
    EXPECT_TRUE(display.experts[1].picturePath.isEmpty());
    EXPECT_EQ(peer->connectionCount(), 3);
}

TEST_F(PeerView, ExpertListFailures)
{
    start({PeerScript().readRequest(),
           answering("GetExpertListOnline", "<GetExpertListOnlineResult>&lt;Users&gt;&lt;User&gt;</"
                                            "GetExpertListOnlineResult>")});
    view->reloadOnlineExperts();
    EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to get online experts list !"));
    EXPECT_TRUE(display.experts.isEmpty());
    view->reloadOnlineExperts();
    EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to load the XML stream into the DOM."));
    EXPECT_TRUE(display.experts.isEmpty());
    EXPECT_EQ(messages.shown.size(), 2u);
}

// A failed call leaves the page on screen, the paging and the query that
// paging repeats as they were.
TEST_F(PeerView, FailedListCallKeepsTheListAndItsQuery)
{
    start({answering("GetForumPostListByColumn", listResult(postsDocument(1, 15), 40)), PeerScript().readRequest(),
           answering("GetForumPostListByColumn", listResult(postsDocument(16, 15), 40))});
    view->openTreeItem(3);
    ASSERT_EQ(display.rows.size(), 15);
    EXPECT_EQ(display.pageCount, QStringLiteral("Total 3 page(s)"));
    const BottomBarState bar = display.bar;
    EXPECT_TRUE(bar.nextEnabled);
    EXPECT_FALSE(bar.previousEnabled);

    // Search by title; the service does not answer.
    view->load(1, 9, QStringLiteral("printer"), ModeSearchByTitle);
    EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to connect to server, please try again later."));
    EXPECT_EQ(display.rows.size(), 15);
    EXPECT_EQ(display.rows[0][CellId], QStringLiteral("1"));
    EXPECT_EQ(display.pageCount, QStringLiteral("Total 3 page(s)"));
    EXPECT_EQ(display.pageField, QStringLiteral("1"));
    EXPECT_EQ(view->listMode(), ModeColumn);
    EXPECT_EQ(view->listArgument(), 3);

    // Next still pages the column.
    view->nextPage();
    ASSERT_TRUE(peer->waitForFinishedConnections(3, 5000));
    const QByteArray third = peer->allRequests().at(2);
    EXPECT_TRUE(third.contains("GetForumPostListByColumn"));
    EXPECT_TRUE(third.contains("<forumColumnID>3</forumColumnID>"));
    EXPECT_TRUE(third.contains("<currentPageIndex>2</currentPageIndex>"));
    EXPECT_EQ(display.rows[0][CellId], QStringLiteral("16"));
    EXPECT_EQ(display.pageField, QStringLiteral("2"));
}

// Paging goes on from the page on screen after a call that failed: the
// fields are not left naming the page that was asked for.
TEST_F(PeerView, FailedPagingLeavesThePageFieldsOnThePageShown)
{
    start({answering("GetForumPostListByColumn", listResult(postsDocument(1, 15), 40)), PeerScript().readRequest(),
           answering("GetForumPostListByColumn", listResult(postsDocument(16, 15), 40))});
    view->openTreeItem(3);
    ASSERT_EQ(display.pageField, QStringLiteral("1"));

    view->nextPage(); // the service does not answer
    EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to connect to server, please try again later."));
    EXPECT_EQ(display.rows[0][CellId], QStringLiteral("1"));
    EXPECT_EQ(display.pageField, QStringLiteral("1"));
    EXPECT_EQ(view->currentPage(), 1);

    // A refused jump puts back the page on screen.
    display.pageField = QStringLiteral("9");
    view->jumpToPage();
    EXPECT_EQ(messages.lastText(), QStringLiteral("You have entered an invalid number!"));
    EXPECT_EQ(display.pageField, QStringLiteral("1"));

    // The next Next asks for page 2, not 3.
    view->nextPage();
    ASSERT_TRUE(peer->waitForFinishedConnections(3, 5000));
    EXPECT_TRUE(peer->allRequests().at(2).contains("<currentPageIndex>2</currentPageIndex>"));
    EXPECT_EQ(display.rows[0][CellId], QStringLiteral("16"));
    EXPECT_EQ(display.pageField, QStringLiteral("2"));
    EXPECT_EQ(view->currentPage(), 2);
}

TEST_F(PeerView, BrokenDocumentEmptiesTheList)
{
    start({answering("GetForumPostListByColumn", listResult(postsDocument(1, 3), 3)),
           answering("GetForumPostListByColumn", listResult(QStringLiteral("<ForumPostList><ForumPosts>"), 3))});
    view->openTreeItem(3);
    ASSERT_EQ(display.rows.size(), 3);
    view->load(1, 3, QString(), ModeColumn);
    EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to load the XML stream into the DOM."));
    EXPECT_TRUE(display.rows.isEmpty());
    EXPECT_TRUE(view->postRows().isEmpty());
    // Opening a row of the emptied list does nothing.
    view->openRow(0);
    EXPECT_TRUE(display.navigated.isEmpty());
    EXPECT_EQ(browsing.selectedQuestionId, -1);
}

// Without the overdue answer the member could post past an overdue question.
TEST_F(PeerView, AskWithoutTheOverdueAnswerOpensNoDialog)
{
    start({PeerScript().readRequest()});
    int dialogs = 0;
    view->hooks().askQuestionDialog = [&] {
        ++dialogs;
        return true;
    };
    browsing.currentColumn = 2;
    view->askQuestion();
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to connect to server, please try again later."));
    EXPECT_EQ(messages.shown.size(), 1u);
}
