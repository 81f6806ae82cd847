// The "Search" pane driving real zone views against varnel-server with the
// demo community: what each search lists, in which zone's view, and that
// paging through search results repeats the same search.
#include "main_frame.h"
#include "pane_search.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "presence/member_values.h"
#include "varnel_server_process.h"
#include "zone_catalogue.h"
#include "zone_view_test_support.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <memory>

using namespace quillora;
using namespace quillora::forum;
using namespace zoneviewtest;

namespace {

// The four zone views as the main view offers them to the frame.
class FourZoneViews : public presence::ZoneViews {
  public:
    FourZoneViews(const service::SiteAddress &site, const QString &faces)
    {
        for (int zone = 0; zone < kZoneCount; ++zone)
            views[zone] =
                std::make_unique<CZoneView>(zone, site, browsing, member, displays[zone], messages, opener, faces);
    }
    int currentZoneIndex() const override { return browsing.currentZoneIndex; }
    void listFirstPage(int zoneIndex, int listMode, int key, const QString &keyword) override
    {
        views[zoneIndex]->load(1, key, keyword, listMode);
    }

    BrowsingValues browsing;
    presence::MemberValues member;
    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    std::array<RecordingZoneDisplay, kZoneCount> displays;
    std::array<std::unique_ptr<CZoneView>, kZoneCount> views;
};

class PaneView : public PaneSearchView {
  public:
    QString questionIdText() const override { return questionId; }
    QString keywordText() const override { return keyword; }
    QString userNameText() const override { return userName; }
    void setCategoryItems(const QStringList &, int) override {}
    void setColumnItems(const QStringList &, int) override {}
    void focusQuestionIdSelectAll() override {}
    QObject *messageOwner() override { return nullptr; }
    QString questionId, keyword, userName;
};

struct PaneSearchServer : ::testing::Test {
    static void SetUpTestSuite() { server = new testpeers::VarnelServerProcess({.demo = true}); }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(server->started()) << server->error();
        zones = std::make_unique<FourZoneViews>(
            service::SiteAddress{QStringLiteral("127.0.0.1"), static_cast<quint16>(server->port())}, faces.path());
        pane = std::make_unique<CPaneSearch>(view, paneMessages, [this]() -> presence::ZoneViews & { return *zones; });
        pane->onFirstShow();
    }

    static testpeers::VarnelServerProcess *server;
    QTemporaryDir faces;
    std::unique_ptr<FourZoneViews> zones;
    PaneView view;
    platform::RecordingMessageBoxes paneMessages;
    std::unique_ptr<CPaneSearch> pane;
};

testpeers::VarnelServerProcess *PaneSearchServer::server = nullptr;

TEST_F(PaneSearchServer, TitleSearchListsTheColumnsMatchesInTheCurrentZoneAndPagesWithTheSameSearch)
{
    // A Software column searched from the Game tab: the Game view lists it.
    zones->browsing.currentZoneIndex = 2;
    pane->onCategoryChanged(0); // "Operating Systems": Windows, Linux/Unix
    pane->onColumnChanged(0);
    view.keyword = QString(); // an empty keyword is sent and matches every title
    ASSERT_TRUE(pane->onSearchByTitle());
    CZoneView &game = *zones->views[2];
    EXPECT_TRUE(zones->messages.shown.empty()) << zones->messages.lastText().toStdString();
    EXPECT_EQ(game.listMode(), ModeSearchByTitle);
    EXPECT_EQ(game.listArgument(), 1);
    ASSERT_FALSE(game.postRows().isEmpty());
    for (const QStringList &row : game.postRows())
        EXPECT_EQ(row.value(CellColumnId), QStringLiteral("1"));
    EXPECT_TRUE(zones->views[0]->postRows().isEmpty());

    // A keyword narrows the same column; every title holds it.
    const QString word = QStringLiteral("Windows");
    view.keyword = word;
    ASSERT_TRUE(pane->onSearchByTitle());
    ASSERT_FALSE(game.postRows().isEmpty());
    for (const QStringList &row : game.postRows())
        EXPECT_TRUE(row.value(CellTitle).contains(word, Qt::CaseInsensitive)) << row.value(CellTitle).toStdString();

    // Column 1 is one of the demo's busy columns (several pages): the next
    // page repeats column and keyword.
    view.keyword = QStringLiteral("o");
    ASSERT_TRUE(pane->onSearchByTitle());
    ASSERT_GT(game.pageCount(), 1);
    const QList<QStringList> first = game.postRows();
    game.nextPage();
    EXPECT_EQ(game.currentPage(), 2);
    EXPECT_EQ(game.listMode(), ModeSearchByTitle);
    EXPECT_EQ(game.listArgument(), 1);
    EXPECT_EQ(game.listKeyword(), QStringLiteral("o"));
    ASSERT_FALSE(game.postRows().isEmpty());
    EXPECT_NE(game.postRows(), first);
    for (const QStringList &row : game.postRows()) {
        EXPECT_EQ(row.value(CellColumnId), QStringLiteral("1"));
        EXPECT_TRUE(row.value(CellTitle).contains(QStringLiteral("o"), Qt::CaseInsensitive));
    }
}

TEST_F(PaneSearchServer, IdAndAskerSearchesFindTheQuestionsTheyName)
{
    // Take a real question from a column listing, then search for it by ID.
    zones->browsing.currentZoneIndex = 0;
    zones->views[0]->load(1, 3, QString(), ModeColumn);
    ASSERT_FALSE(zones->views[0]->postRows().isEmpty());
    const QStringList question = zones->views[0]->postRows().first();

    zones->browsing.currentZoneIndex = 3;
    view.questionId = question.value(CellId);
    ASSERT_TRUE(pane->onSearchById());
    CZoneView &prog = *zones->views[3];
    EXPECT_EQ(prog.listMode(), ModeSearchById);
    ASSERT_EQ(prog.postRows().size(), 1);
    EXPECT_EQ(prog.postRows().first().value(CellId), question.value(CellId));
    EXPECT_EQ(prog.postRows().first().value(CellTitle), question.value(CellTitle));

    // The asker's questions across every zone, by the trimmed user name.
    view.userName = QStringLiteral("  alice ");
    ASSERT_TRUE(pane->onSearchByAuthor());
    EXPECT_EQ(prog.listMode(), ModeSearchByAuthor);
    EXPECT_EQ(prog.listKeyword(), QStringLiteral("alice"));
    EXPECT_FALSE(prog.postRows().isEmpty());
    EXPECT_TRUE(paneMessages.shown.empty());

    // A question ID nobody has: the view says so and the pane has nothing to add.
    zones->messages.shown.clear();
    view.questionId = QStringLiteral("999999");
    ASSERT_TRUE(pane->onSearchById());
    EXPECT_EQ(zones->messages.lastText(), QStringLiteral("Question Not Found!"));
    EXPECT_TRUE(paneMessages.shown.empty());
}

} // namespace
