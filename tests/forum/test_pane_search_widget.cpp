// The "Search" pane in a real main window, offscreen: it fills when shown,
// follows the frame's zone changes, forwards the member's picks and clicks to
// the rules, and the digits-only question ID box.
#include "frame_test_support.h"
#include "main_frame.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "screens/main_frame_window.h"
#include "screens/pane_search_widget.h"
#include "zone_catalogue.h"

#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

using namespace quillora;

namespace {

int argc = 1;
char arg0[] = "test_pane_search_widget";
char *argv[] = {arg0, nullptr};

QApplication &app()
{
    static QTemporaryDir *config = [] {
        auto *dir = new QTemporaryDir;
        qputenv("XDG_CONFIG_HOME", dir->path().toLocal8Bit());
        return dir;
    }();
    (void)config;
    static QApplication *a = [] {
        auto *created = new QApplication(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("QuilloraTests"));
        QCoreApplication::setApplicationName(QStringLiteral("PaneSearchWidget"));
        return created;
    }();
    return *a;
}

struct ListCall {
    int zoneIndex;
    int listMode;
    int key;
    QString keyword;
};

class RecordingZoneViews : public presence::ZoneViews {
  public:
    int currentZoneIndex() const override { return current; }
    void listFirstPage(int zoneIndex, int listMode, int key, const QString &keyword) override
    {
        calls.push_back({zoneIndex, listMode, key, keyword});
    }
    int current = 0;
    std::vector<ListCall> calls;
};

struct PaneSearchWidgetTest : ::testing::Test {
    void SetUp() override
    {
        app();
        QSettings().clear();
        ui::MainFrameContext ctx{site,
                                 presence::test::signInDocument(21, QStringLiteral("marta"), QStringLiteral("pw"), 2, 7,
                                                                QStringLiteral("1250"), QStringLiteral("88")),
                                 &messages, &opener};
        window = std::make_unique<ui::MainFrameWindow>(ctx);
        window->setQuitHandler([] {});
        ASSERT_TRUE(window->isCreated());
        messages.shown.clear(); // the online count from the closed port
    }

    service::SiteAddress site{QStringLiteral("127.0.0.1"), presence::test::closedLoopbackPort()};
    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    RecordingZoneViews zones;
    std::unique_ptr<ui::MainFrameWindow> window;
};

TEST_F(PaneSearchWidgetTest, InstalledPaneFillsFollowsZonesAndDrivesTheFrameZoneViews)
{
    ui::PaneSearchWidget *pane = ui::installSearchPane(*window, messages);
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(window->findChild<QDockWidget *>(QStringLiteral("pane1447"))->widget(), pane);
    QStringList groups;
    for (QGroupBox *g : pane->findChildren<QGroupBox *>())
        groups << g->title();
    EXPECT_EQ(groups, (QStringList{QStringLiteral("Search by Question ID"), QStringLiteral("Search by Question Title"),
                                   QStringLiteral("Search by Asker's Username")}));
    EXPECT_FALSE(pane->categorySelector()->isEditable());
    EXPECT_FALSE(pane->columnSelector()->isEditable());

    // The zone views are set after the pane: the pane still reaches them.
    window->frame().setZoneViews(&zones);
    window->show();
    // "Search Questions" shows the pane, which fills the first time.
    ASSERT_TRUE(window->frame().run(presence::FrameCommand::SearchQuestions));
    ASSERT_TRUE(pane->rules().isCreated());
    EXPECT_EQ(pane->categorySelector()->count(), 8);
    EXPECT_EQ(pane->categorySelector()->currentIndex(), 0);
    EXPECT_EQ(pane->columnSelector()->currentText(), QStringLiteral("Windows"));
    EXPECT_EQ(pane->categorySelector()->toolTip(), QStringLiteral("Operating Systems"));

    window->frame().setSearchPaneZone(2);
    EXPECT_EQ(pane->categorySelector()->currentText(), QStringLiteral("Single Game"));
    EXPECT_EQ(pane->columnSelector()->count(), 6);

    // The member picks "Multiple Game" and its last column, and searches.
    pane->categorySelector()->setCurrentIndex(5);
    EXPECT_EQ(pane->columnSelector()->itemText(0), QStringLiteral("Role-Playing Games"));
    pane->columnSelector()->setCurrentIndex(4);
    EXPECT_EQ(pane->columnSelector()->toolTip(), QStringLiteral("Others Games"));
    zones.current = 1;
    QTest::keyClicks(pane->keywordEdit(), QStringLiteral("lag "));
    QTest::mouseClick(pane->searchByTitleButton(), Qt::LeftButton);
    ASSERT_EQ(zones.calls.size(), 1u);
    EXPECT_EQ(zones.calls[0].zoneIndex, 1);
    EXPECT_EQ(zones.calls[0].listMode, 7);
    EXPECT_EQ(zones.calls[0].key, 30);
    EXPECT_EQ(zones.calls[0].keyword, QStringLiteral("lag "));

    // Only digits go into the question ID box; Return searches.
    QTest::keyClicks(pane->questionIdEdit(), QStringLiteral("4a0-2"));
    EXPECT_EQ(pane->questionIdEdit()->text(), QStringLiteral("402"));
    QTest::keyClick(pane->questionIdEdit(), Qt::Key_Return);
    ASSERT_EQ(zones.calls.size(), 2u);
    EXPECT_EQ(zones.calls[1].listMode, 6);
    EXPECT_EQ(zones.calls[1].key, 402);

    pane->questionIdEdit()->setText(QStringLiteral("000"));
    QTest::mouseClick(pane->searchByIdButton(), Qt::LeftButton);
    EXPECT_EQ(messages.lastText(), QStringLiteral("You have entered an invalid Question ID !"));
    EXPECT_EQ(pane->questionIdEdit()->selectedText(), QStringLiteral("000"));

    QTest::keyClicks(pane->userNameEdit(), QStringLiteral(" bob "));
    QTest::mouseClick(pane->searchByAuthorButton(), Qt::LeftButton);
    ASSERT_EQ(zones.calls.size(), 3u);
    EXPECT_EQ(zones.calls[2].listMode, 8);
    EXPECT_EQ(zones.calls[2].keyword, QStringLiteral("bob"));

    // A zone change makes the pane follow, but a pane the member closed stays closed.
    auto *dock = window->findChild<QDockWidget *>(QStringLiteral("pane1447"));
    dock->hide();
    window->frame().setSearchPaneZone(3);
    EXPECT_TRUE(dock->isHidden());
    EXPECT_EQ(pane->categorySelector()->currentText(), QStringLiteral("Language & Database"));
    window->frame().setZoneViews(nullptr);
}

} // namespace
