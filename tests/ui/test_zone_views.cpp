// The zone view widgets inside the real main window, against the real
// varnel-server (demo community), offscreen: what the rules decide reaches
// the right widget, the lists take their geometry from the screen, the tabs
// and the frame's commands reach the active view, a question page loads in
// the embedded browser, and the "Expert Profile" dialog shows an expert.
#include "browsing_values.h"
#include "frame_commands.h"
#include "head_image_pictures.h"
#include "main_frame.h"
#include "markup_list_ctrl.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "screens/expert_info.h"
#include "screens/main_frame_window.h"
#include "screens/quillora_view.h"
#include "screens/zone_view_widget.h"
#include "scripted_http_peer.h"
#include "test_bitmaps.h"
#include "test_certificates.h"
#include "varnel_server_process.h"
#include "varnel_services.h"
#include "web_engine_host.h"
#include "zone_tree_ctrl.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrlQuery>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

using namespace quillora;
using quillora::testpeers::VarnelServerOptions;
using quillora::testpeers::VarnelServerProcess;

namespace {

QApplication &app()
{
    static int argc = 1;
    static char arg0[] = "test_zone_views";
    static char *argv[] = {arg0, nullptr};
    static QApplication *instance = [] {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        auto *a = new QApplication(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("QuilloraZoneViewTest"));
        return a;
    }();
    return *instance;
}

// A member's double-click on an item view: the press that selects, then the
// double-click (an item view takes a double-click only on the item pressed).
void doubleClick(QAbstractItemView *view, QPoint at)
{
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

// The demo server, a signed-in member's main window and the main view in it.
class ZoneViewsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        app();
        s_server = new VarnelServerProcess(VarnelServerOptions{.demo = true});
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_server->started()) << s_server->error();
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", m_home.filePath(QStringLiteral("cache")).toLocal8Bit());
        m_site = service::SiteAddress{QStringLiteral("127.0.0.1"), quint16(s_server->port())};
        service::CVarnelServices proxy(m_site);
        proxy.useServiceAccount(service::Op::GetUserByUserName);
        QString document;
        ASSERT_TRUE(service::succeeded(
            proxy.GetUserByUserName(QStringLiteral("alice"), QStringLiteral("alice123"), &document)));
        m_window =
            std::make_unique<ui::MainFrameWindow>(ui::MainFrameContext{m_site, document, &m_messages, &m_opener});
        ASSERT_TRUE(m_window->isCreated());
        m_view = new ui::CQuilloraView(*m_window, m_browsing, m_messages, m_opener, m_window.get());
        m_view->create();
        m_window->resize(1280, 900);
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void TearDown() override
    {
        m_window.reset();
        QCoreApplication::processEvents();
    }

    ui::ZoneViewWidget *zone(int index) const { return m_view->zoneView(index); }

    // Double-clicks the tree item of a column, as the member does.
    void openColumn(ui::ZoneViewWidget *view, int columnId)
    {
        QTreeWidgetItem *target = nullptr;
        for (QTreeWidgetItemIterator it(view->tree()); *it; ++it) {
            if (ui::CZoneTreeCtrl::itemData(*it) == columnId)
                target = *it;
        }
        ASSERT_NE(target, nullptr);
        view->tree()->setCurrentItem(target);
        doubleClick(view->tree(), view->tree()->visualItemRect(target).center());
    }

    static inline VarnelServerProcess *s_server = nullptr;
    QTemporaryDir m_home;
    service::SiteAddress m_site;
    platform::RecordingMessageBoxes m_messages;
    platform::RecordingSystemOpener m_opener;
    forum::BrowsingValues m_browsing;
    std::unique_ptr<ui::MainFrameWindow> m_window;
    ui::CQuilloraView *m_view = nullptr;
};

TEST_F(ZoneViewsTest, CreationFillsTheSoftwareAnnouncementsAndEveryExpertsListAndServesTheFrame)
{
    EXPECT_TRUE(m_messages.shown.empty()) << qPrintable(m_messages.lastText());
    EXPECT_EQ(&m_window->frame().zoneViews(), static_cast<presence::ZoneViews *>(m_view));
    EXPECT_TRUE(m_window->commandAction(presence::FrameCommand::MyQuestions)->isEnabled());
    for (int z = 0; z < 4; ++z) {
        ui::ZoneViewWidget *view = zone(z);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->objectName(), forum::viewClassName(z));
        // Every experts list shows what the rules read, nickname by nickname.
        const QList<forum::OnlineExpert> &experts = view->rules().onlineExperts();
        ASSERT_EQ(view->expertList()->count(), experts.size()) << z;
        for (int i = 0; i < experts.size(); ++i)
            EXPECT_EQ(view->expertList()->item(i)->text(), experts.at(i).nickname);
        EXPECT_EQ(view->expertPictures().size(), forum::kOnlineExpertsMax);
    }
    EXPECT_GT(zone(0)->expertList()->count(), 0);

    ui::ZoneViewWidget *software = zone(0);
    EXPECT_EQ(software->frontPane(), software->announcementList());
    EXPECT_EQ(software->announcementList()->GetItemCount(), software->rules().announcementRows().size());
    EXPECT_GT(software->announcementList()->GetItemCount(), 0);
    EXPECT_EQ(software->announcementList()->GetItemText(0), software->rules().announcementRows().at(0).title);
    EXPECT_EQ(software->pageCountLabel()->text(), QStringLiteral("Total 1 page"));
    EXPECT_EQ(software->pageField()->text(), QStringLiteral("1"));
    // The other zones wait for their tab.
    EXPECT_EQ(zone(1)->announcementList()->GetItemCount(), 0);
    EXPECT_EQ(zone(1)->frontPane(), zone(1)->postList());
}

TEST_F(ZoneViewsTest, ColumnListPagesAndOpensTheQuestionPageInTheBrowser)
{
    ui::ZoneViewWidget *view = zone(0);
    openColumn(view, 1);
    ASSERT_TRUE(m_messages.shown.empty()) << qPrintable(m_messages.lastText());
    EXPECT_EQ(m_browsing.currentColumn, 1);
    QTreeWidget *posts = view->postList();
    EXPECT_EQ(view->frontPane(), posts);
    ASSERT_EQ(posts->topLevelItemCount(), 15);
    const QStringList firstRow = view->rules().postRows().at(0);
    for (int c = 0; c < forum::kPostCellCount; ++c)
        EXPECT_EQ(posts->topLevelItem(0)->text(c), firstRow.value(c)) << c;

    // Geometry from the screen: hidden ID and ColumnID cells, the widths and
    // the row height the screen size gives, odd rows shaded.
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const QList<int> widths = forum::postListCellWidths(screen.width());
    EXPECT_TRUE(posts->isColumnHidden(forum::CellId));
    EXPECT_TRUE(posts->isColumnHidden(forum::CellColumnId));
    for (int c = forum::CellMember; c <= forum::CellDate; ++c)
        EXPECT_EQ(posts->header()->sectionSize(c), widths.at(c)) << c;
    // Title takes what the docked panes leave, so the other cells never scroll out of view.
    EXPECT_EQ(posts->header()->sectionResizeMode(forum::CellTitle), QHeaderView::Stretch);
    EXPECT_EQ(posts->visualItemRect(posts->topLevelItem(0)).height(), forum::postRowHeight(screen.height()));
    EXPECT_TRUE(posts->alternatingRowColors());
    EXPECT_EQ(posts->palette().color(QPalette::AlternateBase), QColor(245, 245, 245));
    EXPECT_EQ(posts->headerItem()->text(forum::CellTitle), QStringLiteral("Title"));
    EXPECT_FALSE(posts->header()->sectionsClickable());
    EXPECT_EQ(posts->topLevelItem(0)->textAlignment(forum::CellPoints), int(Qt::AlignCenter));
    EXPECT_EQ(posts->headerItem()->textAlignment(forum::CellTitle) & Qt::AlignHorizontal_Mask, int(Qt::AlignLeft));
    EXPECT_EQ(posts->headerItem()->textAlignment(forum::CellDate) & Qt::AlignHorizontal_Mask, int(Qt::AlignHCenter));

    const int pages = view->rules().pageCount();
    ASSERT_GE(pages, 2);
    EXPECT_EQ(view->pageCountLabel()->text(), QStringLiteral("Total %1 page(s)").arg(pages));
    EXPECT_FALSE(view->previousButton()->isEnabled());
    EXPECT_TRUE(view->nextButton()->isEnabled());
    EXPECT_TRUE(view->askButton()->isVisible());
    EXPECT_FALSE(view->answerButton()->isVisible());

    QTest::mouseClick(view->nextButton(), Qt::LeftButton);
    EXPECT_EQ(view->pageField()->text(), QStringLiteral("2"));
    EXPECT_TRUE(view->previousButton()->isEnabled());
    EXPECT_NE(posts->topLevelItem(0)->text(forum::CellId), firstRow.value(forum::CellId));

    // "Jump to" past the last page: the message, and the page field comes back.
    view->pageField()->setText(QString::number(pages + 1));
    QTest::mouseClick(view->jumpButton(), Qt::LeftButton);
    EXPECT_EQ(m_messages.lastText(), QStringLiteral("You have entered an invalid number!"));
    EXPECT_EQ(view->pageField()->text(), QStringLiteral("2"));

    // Opening a row shows the question page of that row.
    QTreeWidgetItem *row = posts->topLevelItem(2);
    const QString questionId = row->text(forum::CellId);
    const QString title = row->text(forum::CellTitle);
    posts->setCurrentItem(row);
    QSignalSpy loaded(view, &ui::ZoneViewWidget::pageLoadFinished);
    doubleClick(posts, posts->visualItemRect(row).center());
    EXPECT_EQ(view->frontPane(), view->browser());
    EXPECT_FALSE(view->askButton()->isVisible());
    EXPECT_TRUE(view->answerButton()->isVisible());
    EXPECT_EQ(m_browsing.selectedQuestionId, questionId.toInt());
    ASSERT_TRUE(loaded.wait(30000) || !loaded.isEmpty());
    EXPECT_TRUE(loaded.first().first().toBool());
    const QUrl url = view->browser()->url();
    EXPECT_EQ(url.path(), QStringLiteral("/Varnel/Web/ShowSoftPost.aspx"));
    EXPECT_EQ(QUrlQuery(url).queryItemValue(QStringLiteral("PostID")), questionId);
    QString text;
    bool got = false;
    view->browser()->page()->toPlainText([&](const QString &t) {
        text = t;
        got = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return got; }, 10000));
    EXPECT_TRUE(text.contains(title)) << qPrintable(text.left(300));

    // "Current" brings the list back.
    QTest::mouseClick(view->currentButton(), Qt::LeftButton);
    EXPECT_EQ(view->frontPane(), posts);
    EXPECT_TRUE(view->askButton()->isVisible());
}

TEST_F(ZoneViewsTest, QuestionPagesUseAProfileThatKeepsNothingOnDiskMadeWithTheFirstPage)
{
    // No page yet: no browser, no profile.
    EXPECT_EQ(m_view->profile(), nullptr);
    for (int z = 0; z < 4; ++z)
        EXPECT_EQ(zone(z)->browser(), nullptr) << z;

    for (int z = 0; z < 4; ++z) {
        QSignalSpy loaded(zone(z), &ui::ZoneViewWidget::pageLoadFinished);
        zone(z)->navigate(service::siteUrl(m_site, QStringLiteral("/Quillora/Help.htm")));
        ASSERT_TRUE(loaded.wait(30000) || !loaded.isEmpty()) << z;
        EXPECT_TRUE(loaded.first().first().toBool()) << z;
    }
    QWebEngineProfile *profile = m_view->profile();
    ASSERT_NE(profile, nullptr);
    EXPECT_TRUE(profile->isOffTheRecord());
    EXPECT_EQ(profile->httpCacheType(), QWebEngineProfile::MemoryHttpCache);
    EXPECT_EQ(profile->persistentCookiesPolicy(), QWebEngineProfile::NoPersistentCookies);
    for (int z = 0; z < 4; ++z)
        EXPECT_EQ(zone(z)->browser()->page()->profile(), profile) << z;
}

TEST_F(ZoneViewsTest, TabsMakeTheZoneCurrentLoadAnnouncementsOnceAndTheFrameCommandsReachTheActiveView)
{
    QSignalSpy tabs(m_window.get(), &ui::MainFrameWindow::zoneTabChanged);
    m_window->setCurrentZoneTab(2);
    EXPECT_EQ(tabs.count(), 1);
    EXPECT_EQ(m_browsing.currentZoneIndex, 2);
    ui::ZoneViewWidget *game = zone(2);
    EXPECT_TRUE(game->rules().announcementsLoaded());
    EXPECT_EQ(game->frontPane(), game->announcementList());
    const int rows = game->announcementList()->GetItemCount();
    EXPECT_GT(rows, 0);

    // My Questions lists in the Game view only.
    ASSERT_TRUE(m_window->frame().run(presence::FrameCommand::MyQuestions));
    EXPECT_EQ(game->rules().listMode(), forum::ModeMyQuestions);
    EXPECT_EQ(game->frontPane(), game->postList());
    EXPECT_EQ(zone(0)->rules().listMode(), 0);

    // Back on the tab later: the announcements are not fetched again.
    m_window->setCurrentZoneTab(0);
    game->announcementList()->DeleteAllItems();
    m_window->setCurrentZoneTab(2);
    EXPECT_EQ(game->announcementList()->GetItemCount(), 0);

    // The frame's "Announcements" switches the active view to its list and
    // freezes the paging.
    ASSERT_TRUE(m_window->frame().run(presence::FrameCommand::Announcements));
    EXPECT_EQ(game->frontPane(), game->announcementList());
    EXPECT_FALSE(game->previousButton()->isEnabled());
    EXPECT_FALSE(game->nextButton()->isEnabled());
    EXPECT_FALSE(game->jumpButton()->isEnabled());
    EXPECT_FALSE(game->pageField()->isEnabled());
    EXPECT_FALSE(game->closeQuestionsButton()->isEnabled());
    EXPECT_TRUE(game->currentButton()->isEnabled());
    EXPECT_EQ(game->pageCountLabel()->text(), QStringLiteral("Total 1 page"));
}

TEST_F(ZoneViewsTest, ClickOnAnOnlineExpertOpensHisProfile)
{
    ui::ZoneViewWidget *view = zone(0);
    ASSERT_GT(view->expertList()->count(), 0);
    const forum::OnlineExpert expert = view->rules().onlineExperts().at(0);
    QStringList shown;
    int runs = 0;
    view->setExpertDialogRunner([&](ui::CExpertInfo &dialog) {
        ++runs;
        shown << dialog.windowTitle() << dialog.userNameLabel()->text() << dialog.nicknameLabel()->text()
              << dialog.creditLabel()->text() << dialog.expertAreaLabel()->text();
        EXPECT_FALSE(dialog.imageLabel()->pixmap().isNull());
    });
    QListWidgetItem *item = view->expertList()->item(0);
    QTest::mouseClick(view->expertList()->viewport(), Qt::LeftButton, {},
                      view->expertList()->visualItemRect(item).center());
    ASSERT_EQ(runs, 1);
    QString area = forum::zoneLine(expert.fields.value(7).toInt());
    area.remove(0, 6); // "Zone: "
    EXPECT_EQ(shown, (QStringList{QStringLiteral("Expert Profile"), expert.fields.value(1), expert.fields.value(2),
                                  expert.fields.value(5), area}));
    EXPECT_FALSE(area.isEmpty());
}

} // namespace

// The dialog alone: what it shows for each value, without a server.
TEST(ExpertInfo, ExpertAreaPictureAndBadgeFollowTheRecord)
{
    app();
    QTemporaryDir faces;
    ui::ExpertProfile p;
    p.userName = QStringLiteral("winguru");
    p.expertArea = 1;
    p.zoneRank = 10;
    p.headImage = 0;
    ui::ExpertProfileView v = ui::expertProfileView(p, faces.path());
    EXPECT_EQ(v.expertArea, QStringLiteral("Software - Operating Systems - Windows"));
    EXPECT_EQ(v.builtInPicture, 24); // number 0 shows picture 24
    EXPECT_EQ(v.badge, 10);
    EXPECT_TRUE(v.imagePath.isEmpty());

    for (int outside : {0, 42, -1}) {
        p.expertArea = outside;
        EXPECT_TRUE(ui::expertProfileView(p, faces.path()).expertArea.isEmpty()) << outside;
    }
    for (int rank : {0, 11}) {
        p.zoneRank = rank;
        EXPECT_EQ(ui::expertProfileView(p, faces.path()).badge, 0) << rank;
    }

    // A custom picture is taken from the cache folder by its plain decimal
    // name only; anything else names no file.
    p.customFlag = 1;
    p.customImageName = QStringLiteral("27");
    EXPECT_EQ(ui::expertProfileView(p, faces.path()).imagePath, faces.filePath(QStringLiteral("27.bmp")));
    p.customImageName = QStringLiteral("../27");
    EXPECT_TRUE(ui::expertProfileView(p, faces.path()).imagePath.isEmpty());
}

TEST(ExpertInfo, ShowsTheCachedCustomPictureOrElseTheBuiltInOne)
{
    app();
    QTemporaryDir faces;
    QImage red(32, 32, QImage::Format_RGB32);
    red.fill(QColor(255, 0, 0));
    ASSERT_TRUE(red.save(faces.filePath(QStringLiteral("27.bmp")), "BMP"));

    ui::ExpertProfile p;
    p.userName = QStringLiteral("winguru");
    p.nickname = QStringLiteral("Windows Guru");
    p.credit = QStringLiteral("120");
    p.headImage = 5;
    p.zoneRank = 3;
    p.expertArea = 1;
    p.customFlag = 1;
    p.customImageName = QStringLiteral("27");
    ui::CExpertInfo custom(p, faces.path());
    EXPECT_EQ(custom.windowTitle(), QStringLiteral("Expert Profile"));
    EXPECT_EQ(custom.userNameLabel()->text(), QStringLiteral("winguru"));
    EXPECT_EQ(custom.nicknameLabel()->text(), QStringLiteral("Windows Guru"));
    EXPECT_EQ(custom.creditLabel()->text(), QStringLiteral("120"));
    EXPECT_EQ(custom.imageLabel()->pixmap().toImage().pixelColor(16, 16), QColor(255, 0, 0));
    EXPECT_FALSE(custom.rankLabel()->pixmap().isNull());
    EXPECT_TRUE(custom.findChild<QLabel *>(QStringLiteral("note"))->text().startsWith(QStringLiteral("Note: ")));

    // Missing from the cache: the built-in picture, and no download.
    p.customImageName = QStringLiteral("28");
    ui::CExpertInfo builtIn(p, faces.path());
    EXPECT_NE(builtIn.imageLabel()->pixmap().toImage().pixelColor(16, 16), QColor(255, 0, 0));
    EXPECT_FALSE(QFile::exists(faces.filePath(QStringLiteral("28.bmp"))));

    // No rank badge outside 1..10; OK ends the dialog accepted.
    p.zoneRank = 0;
    ui::CExpertInfo noRank(p, faces.path());
    EXPECT_TRUE(noRank.rankLabel()->pixmap().isNull());
    QTimer::singleShot(0, noRank.okButton(), [&noRank] { noRank.okButton()->click(); });
    EXPECT_EQ(noRank.exec(), QDialog::Accepted);

    // The values come from the network: markup in them is shown as written.
    p.userName = QStringLiteral("<b>winguru</b>");
    p.nickname = QStringLiteral("<img src=\"x\">Guru");
    p.credit = QStringLiteral("<i>1</i>");
    ui::CExpertInfo marked(p, faces.path());
    for (QLabel *label : {marked.userNameLabel(), marked.nicknameLabel(), marked.creditLabel()}) {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(label);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->text(QAccessible::Name), label->text());
        EXPECT_TRUE(label->text().startsWith(QLatin1Char('<')));
    }
}

// A slow picture host does not hold up the window: the experts list shows at
// once with the expert's built-in picture, the window takes keyboard input
// while the host stays silent for 5 s, and the custom picture replaces the
// built-in one when it arrives.
TEST(ZoneViewPictures, SlowPictureHostLeavesTheWindowAnswering)
{
    app();
    using testpeers::PeerScript;
    const QString doc = QStringLiteral(
        "<Users><User><PKID>61</PKID><UserName>slow</UserName><NickName>Slow Host</NickName><ZoneScore>9</ZoneScore>"
        "<Face>3</Face><Credit>1</Credit><ZoneRank>2</ZoneRank><ExpertColumn>12</ExpertColumn>"
        "<CustomHead>1</CustomHead></User></Users>");
    const QByteArray list = "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
                            "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
                            "<GetExpertListOnlineResponse xmlns=\"http://127.0.0.1/Services/VarnelServices\">"
                            "<GetExpertListOnlineResult>" +
                            doc.toHtmlEscaped().toUtf8() +
                            "</GetExpertListOnlineResult></GetExpertListOnlineResponse></soap:Body></soap:Envelope>";
    const QByteArray picture = testpeers::bitmapFile(32, 32, 24, '\x10');
    testpeers::ScriptedHttpPeer peer(
        {PeerScript().readRequest().send(testpeers::httpResponse(200, {{"Content-Type", "text/xml"}}, list)),
         PeerScript().readRequest().wait(5000).send(testpeers::httpResponse(200, {}, picture))});

    QTemporaryDir faces;
    forum::BrowsingValues browsing;
    presence::MemberValues member;
    member.userID = 7;
    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    const ui::ZoneViewContext context{{QStringLiteral("127.0.0.1"), quint16(peer.port())},
                                      &browsing,
                                      &member,
                                      &messages,
                                      &opener,
                                      nullptr,
                                      faces.path(),
                                      QSize(1280, 1024)};
    ui::ZoneViewWidget view(1, context);
    view.resize(1000, 700);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    QElapsedTimer clock;
    clock.start();
    view.rules().reloadOnlineExperts();
    EXPECT_LT(clock.elapsed(), 2000);
    ASSERT_EQ(view.expertList()->count(), 1);
    EXPECT_TRUE(messages.shown.empty()) << qPrintable(messages.lastText());
    const QImage builtIn = view.expertList()->item(0)->data(Qt::DecorationRole).value<QPixmap>().toImage();
    EXPECT_EQ(builtIn, ui::builtInHeadPixmap(3).toImage());

    // Keys typed a second into the wait reach the page field at once.
    QLineEdit *field = view.pageField();
    field->setEnabled(true);
    field->clear();
    qint64 typedAt = -1;
    QTimer::singleShot(1000, field, [&] {
        field->setFocus();
        QTest::keyClicks(field, QStringLiteral("42"));
        typedAt = clock.elapsed();
    });
    QTest::qWait(1500);
    EXPECT_EQ(field->text(), QStringLiteral("42"));
    EXPECT_GE(typedAt, 0);
    EXPECT_LT(typedAt, 2500);
    EXPECT_TRUE(view.rules().customFaces().isPending(QStringLiteral("61")));

    // The picture arrives after the host's 5 s and replaces the built-in one.
    auto shown = [&] { return view.expertList()->item(0)->data(Qt::DecorationRole).value<QPixmap>().toImage(); };
    for (int i = 0; i < 300 && shown() == builtIn; ++i)
        QTest::qWait(50);
    EXPECT_GE(clock.elapsed(), 4500);
    EXPECT_NE(shown(), builtIn);
    EXPECT_EQ(shown().pixelColor(16, 16), QColor(0x10, 0x10, 0x10));
}

// Question pages of a site over TLS (the real server with certificates from
// the test's CA) load only with a certificate from the site's CA
// (QUILLORA_CA_FILE), valid now and issued for the page's host. Each row is a
// zone view with an engine host of its own, so no row's decision carries over
// to the next (the engine remembers one per profile).
TEST(ZoneViewsOverTls, QuestionPagesLoadOnlyWithACertificateFromTheSiteCa)
{
    app();
    using Server = testpeers::TestCertificates::Server;
    const testpeers::TestCertificates certs;
    ASSERT_TRUE(certs.ok()) << certs.error();
    struct Row {
        const char *name;
        Server certificate;
        bool caConfigured;
        bool loads;
    };
    const Row rows[] = {
        {"the site CA's certificate", Server::Good, true, true},
        {"the same without the CA configured", Server::Good, false, false},
        {"a certificate for another name", Server::OtherName, true, false},
        {"an expired certificate", Server::Expired, true, false},
        {"a certificate from an unknown CA", Server::UnknownCa, true, false},
    };
    QTemporaryDir faces;
    forum::BrowsingValues browsing;
    presence::MemberValues member;
    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    QString question;
    QString title;
    for (const Row &r : rows) {
        VarnelServerProcess server({.demo = true,
                                    .tls = true,
                                    .tlsCert = certs.certFile(r.certificate),
                                    .tlsKey = certs.keyFile(r.certificate)});
        ASSERT_TRUE(server.started()) << server.error();
        service::SiteAddress site{QStringLiteral("127.0.0.1"), quint16(server.port()), true};
        if (r.caConfigured)
            site.caFile = QString::fromStdString(certs.caFile());
        ui::WebEngineHost host(site);
        const ui::ZoneViewContext context{site,    &browsing, &member,      &messages,
                                          &opener, &host,     faces.path(), QSize(1280, 1024)};
        ui::ZoneViewWidget view(0, context);
        view.resize(1000, 700);
        view.show();
        QSignalSpy loaded(&view, &ui::ZoneViewWidget::pageLoadFinished);
        if (r.loads) {
            // The member signs in and opens the first question of a column,
            // every call and the page over TLS.
            service::CVarnelServices proxy(site);
            proxy.useServiceAccount(service::Op::GetUserByUserName);
            QString document;
            ASSERT_TRUE(service::succeeded(
                proxy.GetUserByUserName(QStringLiteral("alice"), QStringLiteral("alice123"), &document)));
            member.userID = service::leadingInt(service::readFirstElementText(document, u"PKID", nullptr));
            member.userName = QStringLiteral("alice");
            member.password = QStringLiteral("alice123");
            view.rules().openTreeItem(1);
            ASSERT_FALSE(view.rules().postRows().isEmpty()) << qPrintable(messages.lastText());
            question = view.rules().postRows().at(0).value(forum::CellId);
            title = view.rules().postRows().at(0).value(forum::CellTitle);
            view.rules().openRow(0);
        } else {
            view.navigate(forum::questionPageUrl(site, 0, forum::ModeColumn, question, member.userID, member.password,
                                                 QStringLiteral("0")));
        }
        ASSERT_TRUE(view.browser()->url().scheme() == QStringLiteral("https")) << r.name;
        ASSERT_TRUE(loaded.wait(30000) || !loaded.isEmpty()) << r.name;
        EXPECT_EQ(loaded.first().first().toBool(), r.loads) << r.name;
        QString text;
        bool got = false;
        view.browser()->page()->toPlainText([&](const QString &t) {
            text = t;
            got = true;
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return got; }, 10000)) << r.name;
        EXPECT_EQ(text.contains(title), r.loads) << r.name << ": " << qPrintable(text.left(300));
    }
}
