// The main window built offscreen: its bars, panes, captions, command states,
// tray menu, status panes and the saved layout.
#include "frame_test_support.h"
#include "main_frame.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "screens/main_frame_window.h"
#include "ui/ui_resources.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QSettings>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace quillora;
using presence::FrameCommand;

namespace {

int argc = 1;
char arg0[] = "test_main_frame_window";
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
        QCoreApplication::setApplicationName(QStringLiteral("MainFrameWindow"));
        return created;
    }();
    return *a;
}

struct Window : ::testing::Test {
    void SetUp() override
    {
        app();
        QSettings().clear();
    }

    std::unique_ptr<ui::MainFrameWindow> make(int role = 2, int level = 7)
    {
        ui::MainFrameContext ctx{site,
                                 presence::test::signInDocument(21, QStringLiteral("marta"), QStringLiteral("pw"), role,
                                                                level, QStringLiteral("1250"), QStringLiteral("88")),
                                 &messages, &opener};
        auto w = std::make_unique<ui::MainFrameWindow>(ctx);
        w->setQuitHandler([this] { ++quits; });
        return w;
    }

    QStringList captionsOf(const QList<QAction *> &actions)
    {
        QStringList out;
        for (QAction *a : actions)
            out << (a->isSeparator() ? QStringLiteral("|") : a->text());
        return out;
    }

    service::SiteAddress site{QStringLiteral("127.0.0.1"), presence::test::closedLoopbackPort()};
    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    int quits = 0;
};

} // namespace

TEST_F(Window, MenusCarryEveryCommandWithItsCaptionPromptAndTooltip)
{
    auto w = make();
    ASSERT_TRUE(w->isCreated());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Quillora 2007"));
    const QStringList menus = captionsOf(w->menuBar()->actions());
    EXPECT_EQ(menus, (QStringList{QStringLiteral("File(&F)"), QStringLiteral("Edit(&E)"), QStringLiteral("Message(&M)"),
                                  QStringLiteral("View(&V)"), QStringLiteral("Options(&O)"),
                                  QStringLiteral("Tools(&T)"), QStringLiteral("Help(&H)")}));
    const QStringList file = captionsOf(w->menuBar()->actions().at(0)->menu()->actions());
    EXPECT_EQ(file, (QStringList{
                        QStringLiteral("Save Question\tCtrl+T(&T)"), QStringLiteral("Save Message\tCtrl+C(&C)"),
                        QStringLiteral("|"), QStringLiteral("Print Question\tCtrl+P(&P)"),
                        QStringLiteral("Print Preview\tCtrl+V(&V)"), QStringLiteral("|"), QStringLiteral("Exit(&X)")}));
    const QStringList help = captionsOf(w->menuBar()->actions().at(6)->menu()->actions());
    EXPECT_EQ(help, (QStringList{QStringLiteral("Home(&M)"), QStringLiteral("Help(&H)"), QStringLiteral("|"),
                                 QStringLiteral("About(&A)..."), QStringLiteral("|"), QStringLiteral("Download(&D)"),
                                 QStringLiteral("Feedback(&F)")}));

    QAction *ask = w->commandAction(FrameCommand::AskQuestion);
    EXPECT_EQ(ask->statusTip(), QStringLiteral("Ask a new question "));
    EXPECT_EQ(ask->toolTip(), QStringLiteral("Ask Question"));
    EXPECT_EQ(w->commandAction(FrameCommand::PrintQuestion)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    // every command sits in exactly one menu
    int inMenus = 0;
    for (QAction *m : w->menuBar()->actions())
        for (QAction *a : m->menu()->actions())
            inMenus += a->isSeparator() ? 0 : 1;
    EXPECT_EQ(inMenus, presence::kFrameCommandCount);
}

TEST_F(Window, ToolbarStatusPanesDocksTabsAndTray)
{
    auto w = make();
    auto *toolbar = w->findChild<QToolBar *>(QStringLiteral("Standard"));
    ASSERT_NE(toolbar, nullptr);
    EXPECT_EQ(toolbar->windowTitle(), QStringLiteral("Standard"));
    EXPECT_EQ(toolbar->iconSize(), QSize(32, 32));
    QStringList tips;
    for (QAction *a : toolbar->actions()) {
        tips << (a->isSeparator() ? QStringLiteral("|") : a->toolTip());
        if (!a->isSeparator()) {
            EXPECT_FALSE(a->icon().isNull()) << a->toolTip().toStdString();
        }
    }
    EXPECT_EQ(tips.join(QLatin1Char(',')),
              QStringLiteral("Save Question,Save Message,|,Ask Question,Answer Question,|,Close Questions,Buy Points,|,"
                             "My Questions,My Solutions,Scored Answers,Announcements,|,Search Questions,Communication,"
                             "Refresh,|,Home,Send to Friend,Download,Help"));

    const int widths[] = {0, 130, 135, 70, 65, 80, 70};
    QStringList texts;
    for (int i = 0; i < 7; ++i) {
        auto *pane = w->statusBar()->findChild<QLabel *>(QStringLiteral("statusPane%1").arg(i));
        ASSERT_NE(pane, nullptr) << i;
        if (i > 0) {
            // fixed at the pane's width, wider only when the text would be cut off
            EXPECT_EQ(pane->minimumWidth(), pane->maximumWidth()) << i;
            EXPECT_GE(pane->maximumWidth(), widths[i]) << i;
            EXPECT_GE(pane->maximumWidth(), pane->fontMetrics().horizontalAdvance(pane->text())) << i;
        }
        texts << pane->text();
    }
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Please select a zone"), QStringLiteral("Username:marta"),
                                  QStringLiteral("Nickname:Nick marta"), QString(), QStringLiteral("Credit:88"),
                                  QStringLiteral("Points:1250"), QStringLiteral("Online:-")}));
    auto *badge = w->statusBar()->findChild<QLabel *>(QStringLiteral("statusPane3"));
    EXPECT_EQ(badge->pixmap().size(), QSize(64, 12));

    auto *contact = w->findChild<QDockWidget *>(QStringLiteral("pane1446"));
    auto *search = w->findChild<QDockWidget *>(QStringLiteral("pane1447"));
    ASSERT_TRUE(contact && search);
    EXPECT_EQ(contact->windowTitle(), QStringLiteral("Contact"));
    EXPECT_EQ(search->windowTitle(), QStringLiteral("Search"));
    EXPECT_EQ(w->dockWidgetArea(contact), Qt::RightDockWidgetArea);
    EXPECT_EQ(w->dockWidgetArea(search), Qt::LeftDockWidgetArea);
    EXPECT_TRUE(contact->isHidden());
    w->commandAction(FrameCommand::Communication)->trigger();
    EXPECT_FALSE(contact->isHidden());
    // the collapsed pane's tab at the edge collapses and shows it again
    auto *edgeTab = w->findChild<QTabBar *>(QStringLiteral("pane1446TabBar"));
    ASSERT_NE(edgeTab, nullptr);
    EXPECT_EQ(edgeTab->tabText(0), QStringLiteral("Contact"));
    EXPECT_EQ(edgeTab->shape(), QTabBar::RoundedEast);
    Q_EMIT edgeTab->tabBarClicked(0);
    EXPECT_TRUE(contact->isHidden());
    Q_EMIT edgeTab->tabBarClicked(0);
    EXPECT_FALSE(contact->isHidden());
    EXPECT_EQ(w->findChild<QTabBar *>(QStringLiteral("pane1447TabBar"))->shape(), QTabBar::RoundedWest);

    auto *tabs = w->findChild<QTabWidget *>(QStringLiteral("zoneTabs"));
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral(" Software  "));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral(" Hardware  "));
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("    Game   "));
    EXPECT_EQ(tabs->tabText(3), QStringLiteral("Programming"));

    auto *tray = w->findChild<QMenu *>(QStringLiteral("trayMenu"));
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(captionsOf(tray->actions()), (QStringList{QStringLiteral("Search Solutions"),
                                                        QStringLiteral("Communication"), QStringLiteral("Exit")}));
    w->startTrayAnimation();
    EXPECT_TRUE(w->isTrayAnimating());
    w->stopTrayAnimation();
    EXPECT_FALSE(w->isTrayAnimating());
}

TEST_F(Window, CommandStatesFollowTheScreensPresentAndTheRole)
{
    auto w = make(/*role*/ 4, /*level*/ 0);
    EXPECT_TRUE(w->statusBar()->findChild<QLabel *>(QStringLiteral("statusPane3"))->pixmap().isNull());
    for (FrameCommand c : {FrameCommand::AskQuestion, FrameCommand::MyQuestions, FrameCommand::SaveQuestion,
                           FrameCommand::Feedback, FrameCommand::ModeratorsEntry})
        EXPECT_FALSE(w->commandAction(c)->isEnabled()) << static_cast<int>(c);
    for (FrameCommand c : {FrameCommand::Refresh, FrameCommand::Home, FrameCommand::BuyPoints, FrameCommand::Exit,
                           FrameCommand::About, FrameCommand::SearchQuestions})
        EXPECT_TRUE(w->commandAction(c)->isEnabled()) << static_cast<int>(c);
    w->frame().dialogs().feedback = [](const QString &) { return true; };
    w->updateCommandStates();
    EXPECT_TRUE(w->commandAction(FrameCommand::Feedback)->isEnabled());
    w->commandAction(FrameCommand::Feedback)->trigger();
    EXPECT_EQ(messages.lastText(), QStringLiteral("Your feedback has successfully been sent by email!"));

    auto moderator = make(/*role*/ 3);
    EXPECT_TRUE(moderator->commandAction(FrameCommand::ModeratorsEntry)->isEnabled());
    moderator->commandAction(FrameCommand::Help)->trigger();
    EXPECT_EQ(opener.opened.value(0), QStringLiteral("http://127.0.0.1:%1/Quillora/Help.htm").arg(site.port));

    int abouts = 0;
    moderator->setAboutHandler([&] { ++abouts; });
    moderator->commandAction(FrameCommand::About)->trigger();
    EXPECT_EQ(abouts, 1);
}

TEST_F(Window, ALongTextWidensItsPaneInsteadOfBeingCutOff)
{
    const QString name = QStringLiteral("a_remarkably_long_member_name");
    ui::MainFrameContext ctx{site,
                             presence::test::signInDocument(21, name, QStringLiteral("pw"), 2, 7, QStringLiteral("1"),
                                                            QStringLiteral("123456789")),
                             &messages, &opener};
    ui::MainFrameWindow w(ctx);
    auto *user = w.statusBar()->findChild<QLabel *>(QStringLiteral("statusPane1"));
    auto *credit = w.statusBar()->findChild<QLabel *>(QStringLiteral("statusPane4"));
    auto *online = w.statusBar()->findChild<QLabel *>(QStringLiteral("statusPane6"));
    EXPECT_GT(user->maximumWidth(), 130);
    EXPECT_GE(user->maximumWidth(), user->fontMetrics().horizontalAdvance(user->text()));
    EXPECT_GE(credit->maximumWidth(), credit->fontMetrics().horizontalAdvance(QStringLiteral("Credit:123456789")));
    EXPECT_EQ(online->maximumWidth(), 70); // "Online:-" fits its pane

    // The nickname comes from the network: markup in it is shown as written.
    ui::MainFrameWindow marked(
        {site,
         presence::test::signInDocument(22, QStringLiteral("&lt;b&gt;bold&lt;/b&gt;"), QStringLiteral("pw"), 2, 7),
         &messages, &opener});
    QLabel *nickname = marked.statusBar()->findChild<QLabel *>(QStringLiteral("statusPane2"));
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(nickname);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("Nickname:Nick <b>bold</b>"));
}

TEST_F(Window, OtherScreensReplaceThePlaceholders)
{
    auto w = make();
    auto *tabs = w->findChild<QTabWidget *>(QStringLiteral("zoneTabs"));
    tabs->setCurrentIndex(2);
    QPointer<QWidget> placeholder = tabs->widget(2);
    auto *view = new QLabel(QStringLiteral("game view"));
    w->setZoneView(2, view);
    EXPECT_TRUE(placeholder.isNull());
    EXPECT_EQ(tabs->widget(2), view);
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("    Game   "));
    EXPECT_EQ(tabs->currentIndex(), 2);
    EXPECT_EQ(tabs->count(), 4);
    QPointer<QWidget> stray = new QLabel;
    w->setZoneView(4, stray); // no such zone: the frame drops the view it was given
    EXPECT_TRUE(stray.isNull());
    EXPECT_EQ(tabs->count(), 4);

    auto *pane = new QLabel(QStringLiteral("experts"));
    w->setPaneView(presence::FramePane::Contact, pane);
    EXPECT_EQ(w->findChild<QDockWidget *>(QStringLiteral("pane1446"))->widget(), pane);
}

TEST_F(Window, TimerStartsWithTheFrameAndTheTrayExitCloses)
{
    auto w = make(/*role*/ 2, /*level*/ 7);
    EXPECT_EQ(w->pollIntervalMs(), 0);
    w->showMaximizedAndStart();
    EXPECT_EQ(w->pollIntervalMs(), 171428);
    auto *tray = w->findChild<QMenu *>(QStringLiteral("trayMenu"));
    tray->actions().at(2)->trigger(); // "Exit"
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(Window, UnreadableUserDocumentFailsCreation)
{
    ui::MainFrameContext ctx{site, QStringLiteral("not xml"), &messages, &opener};
    ui::MainFrameWindow w(ctx);
    EXPECT_FALSE(w.isCreated());
    EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to load the XML stream into the DOM."));
    w.close(); // no sign-out for a frame that never was
    EXPECT_TRUE(w.findChildren<QToolBar *>().isEmpty());
}

TEST_F(Window, LayoutIsSavedAndRestoredFromTheUserSettings)
{
    {
        auto w = make();
        w->resize(1000, 700);
        auto *toolbar = w->findChild<QToolBar *>(QStringLiteral("Standard"));
        w->removeToolBar(toolbar);
        w->addToolBar(Qt::BottomToolBarArea, toolbar);
        toolbar->show();
        w->commandAction(FrameCommand::SearchQuestions)->trigger();
        auto *contact = w->findChild<QDockWidget *>(QStringLiteral("pane1446"));
        w->addDockWidget(Qt::LeftDockWidgetArea, contact);
        contact->show();
        w->commandAction(FrameCommand::StatusBar)->setChecked(false);
        w->close(); // the close sequence saves the layout
        EXPECT_EQ(quits, 1);
    }
    auto again = make();
    auto *toolbar = again->findChild<QToolBar *>(QStringLiteral("Standard"));
    EXPECT_EQ(again->toolBarArea(toolbar), Qt::BottomToolBarArea);
    auto *contact = again->findChild<QDockWidget *>(QStringLiteral("pane1446"));
    EXPECT_EQ(again->dockWidgetArea(contact), Qt::LeftDockWidgetArea);
    // The panes keep their place but start collapsed, whatever they were at close.
    EXPECT_TRUE(contact->isHidden());
    EXPECT_TRUE(again->findChild<QDockWidget *>(QStringLiteral("pane1447"))->isHidden());
    EXPECT_FALSE(again->commandAction(FrameCommand::StatusBar)->isChecked());
    EXPECT_TRUE(again->statusBar()->isHidden());
    EXPECT_TRUE(QSettings().childGroups().contains(QStringLiteral("CommandBars")));
}

// At scale factor 2 the tray and the program icon use pictures drawn for the
// doubled size, not the 16-pixel ones blown up.
TEST(Icons, TrayAndProgramIconsAreDrawnForScaleFactorTwo)
{
    app();
    for (int frame = 0; frame <= 4; ++frame) {
        const QIcon icon = ui::trayIcon(frame);
        const QString base = frame ? QStringLiteral(":/quillora/images/tray/frame-%1").arg(frame)
                                   : QStringLiteral(":/quillora/images/tray/still");
        const QPixmap doubled = icon.pixmap(QSize(16, 16), 2.0);
        EXPECT_EQ(doubled.size(), QSize(32, 32)) << frame;
        EXPECT_EQ(doubled.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  QImage(base + QStringLiteral("-32.png")).convertToFormat(QImage::Format_ARGB32_Premultiplied))
            << frame;
        EXPECT_EQ(icon.pixmap(QSize(16, 16), 1.0).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  QImage(base + QStringLiteral(".png")).convertToFormat(QImage::Format_ARGB32_Premultiplied))
            << frame;
    }
    const QPixmap program = ui::programIcon().pixmap(QSize(48, 48), 2.0);
    EXPECT_EQ(program.size(), QSize(96, 96));
    EXPECT_EQ(ui::programIcon().availableSizes().size(), 8);
}
