// Every window the program can open, walked for what a screen reader and a
// keyboard user need: each control that takes the focus has a name, the rows
// of the lists can be read, the tab order follows the layout, and every
// command of the main window can be reached from the keyboard.
//
// A new screen joins by adding a row to windowOpeners().
#include "add_post_dlg.h"
#include "browsing_values.h"
#include "login_dlg.h"
#include "mail/mail_settings.h"
#include "markup_list_ctrl.h"
#include "platform/file_prompt.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "remembered_credentials.h"
#include "result_document.h"
#include "screens/about_box.h"
#include "screens/add_post_dialog.h"
#include "screens/add_reply_dialog.h"
#include "screens/connecting_window.h"
#include "screens/edit_user_dialog.h"
#include "screens/expert_info.h"
#include "screens/login_dialog.h"
#include "screens/mail_dialog_widgets.h"
#include "screens/main_frame_window.h"
#include "screens/message_dialog.h"
#include "screens/net_set_dialog.h"
#include "screens/pane_chat_widget.h"
#include "screens/pane_search_widget.h"
#include "screens/posting_entry.h"
#include "screens/print_save_entry.h"
#include "screens/quillora_view.h"
#include "screens/reg_wait_dlg.h"
#include "screens/register_dialog.h"
#include "screens/update_dlg.h"
#include "screens/user_info_dialog.h"
#include "screens/zone_view_widget.h"
#include "session/ftp_upload.h"
#include "session/head_images.h"
#include "session/machine_identity.h"
#include "startup_sequence.h"
#include "varnel_server_process.h"
#include "varnel_services.h"
#include "zone_catalogue.h"
#include "zone_tree_ctrl.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>

using namespace quillora;
using quillora::testpeers::VarnelServerOptions;
using quillora::testpeers::VarnelServerProcess;

namespace {

QApplication &app()
{
    static int argc = 1;
    static char arg0[] = "test_accessibility";
    static char *argv[] = {arg0, nullptr};
    static QApplication *instance = [] {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        auto *a = new QApplication(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("QuilloraAccessibilityTest"));
        return a;
    }();
    return *instance;
}

QString accessibleName(QWidget *w)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name).trimmed() : QString();
}

QString describe(QWidget *w)
{
    return QStringLiteral("%1 \"%2\"").arg(QLatin1String(w->metaObject()->className()), w->objectName());
}

// The controls of `window` a keyboard user can reach: shown, enabled or not,
// and taking the focus by Tab.
QList<QWidget *> focusableControls(QWidget *window)
{
    QList<QWidget *> out;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (w->isWindow() || !w->isVisibleTo(window) || !(w->focusPolicy() & Qt::TabFocus))
            continue;
        // A widget whose focus goes to a proxy is reached through the proxy.
        if (w->focusProxy())
            continue;
        out << w;
    }
    return out;
}

// Everything the program shows, from one place: the main window as start-up
// builds it (zone views, search pane, posting commands) against the demo
// community, and every dialog with the figures of a signed-in member.
class Program {
  public:
    Program()
    {
        app();
        m_server = std::make_unique<VarnelServerProcess>(VarnelServerOptions{.demo = true});
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", m_home.filePath(QStringLiteral("cache")).toLocal8Bit());
        m_site = service::SiteAddress{QStringLiteral("127.0.0.1"), quint16(m_server->port())};
    }

    bool started() const { return m_server->started(); }
    const service::SiteAddress &site() const { return m_site; }
    platform::RecordingMessageBoxes &messages() { return m_messages; }
    platform::RecordingSystemOpener &opener() { return m_opener; }
    forum::BrowsingValues &browsing() { return m_browsing; }
    session::SignInQuota &quota() { return m_quota; }

    QString userDocument(const QString &name, const QString &password)
    {
        service::CVarnelServices proxy(m_site);
        proxy.useServiceAccount(service::Op::GetUserByUserName);
        QString document;
        if (!service::succeeded(proxy.GetUserByUserName(name, password, &document)))
            return QString();
        return document;
    }

    // The signed-in member's user ID.
    int aliceId()
    {
        const QString document = userDocument(QStringLiteral("alice"), QStringLiteral("alice123"));
        const service::DocumentRecords read = service::readRecords(document, service::kUserTag, 1, 1);
        return read.records.empty() ? 0 : read.records.front().value(0).toInt();
    }
    platform::RecordingFilePrompts &files() { return m_files; }
    QString homePath(const QString &name) const { return m_home.filePath(name); }
    session::CustomFaceDownloads &faces()
    {
        if (!m_faces)
            m_faces = std::make_unique<session::CustomFaceDownloads>(m_site, m_home.filePath(QStringLiteral("faces")));
        return *m_faces;
    }

    std::unique_ptr<ui::MainFrameWindow> mainWindow()
    {
        m_document = userDocument(QStringLiteral("alice"), QStringLiteral("alice123"));
        auto frame =
            std::make_unique<ui::MainFrameWindow>(ui::MainFrameContext{m_site, m_document, &m_messages, &m_opener});
        if (!frame->isCreated())
            return nullptr;
        ui::installSearchPane(*frame, m_messages);
        ui::MessageDialog *board = ui::installMessageBoard(*frame, m_messages, m_opener);
        ui::installContactPane(*frame, m_browsing, m_messages, board);
        auto *view = new ui::CQuilloraView(*frame, m_browsing, m_messages, m_opener, frame.get());
        view->create();
        ui::installPostingDialogs(*frame, m_browsing, m_messages);
        return frame;
    }

  private:
    std::unique_ptr<VarnelServerProcess> m_server;
    QTemporaryDir m_home;
    service::SiteAddress m_site;
    platform::RecordingMessageBoxes m_messages;
    platform::RecordingSystemOpener m_opener;
    forum::BrowsingValues m_browsing;
    session::SignInQuota m_quota;
    platform::RecordingFilePrompts m_files;
    std::unique_ptr<session::CustomFaceDownloads> m_faces;
    QString m_document;
};

// A computer whose identity reads the same every time.
struct FixedMachine : session::MachineSources {
    session::AdapterQuery firstAdapter() const override
    {
        return {session::AdapterQuery::Status::Ok, QByteArray::fromHex("020000000001")};
    }
    QString diskSerial() const override { return QStringLiteral("TESTDISK01"); }
    QString biosSerial() const override { return {}; }
};

struct WindowOpener {
    const char *name;
    std::function<std::unique_ptr<QWidget>(Program &)> open;
};

forum::PostingContext postingContext()
{
    forum::PostingContext context;
    context.userID = 1;
    context.points = 500;
    context.credit = 100;
    context.currentColumn = 31;
    context.selectedQuestionId = 1;
    context.selectedQuestionTitle = QStringLiteral("How do I read a {b}config{/b} file?");
    return context;
}

// Every top-level window the program opens. Message boxes are Qt's own.
const std::vector<WindowOpener> &windowOpeners()
{
    static const std::vector<WindowOpener> openers{
        {"Login",
         [](Program &p) -> std::unique_ptr<QWidget> {
             static const session::RememberedCredentials store;
             return std::make_unique<ui::LoginDialog>(p.site(), p.messages(), p.opener(), store, p.quota());
         }},
        {"Connecting", [](Program &) -> std::unique_ptr<QWidget> { return std::make_unique<ui::CModeless>(); }},
        {"Main window", [](Program &p) -> std::unique_ptr<QWidget> { return p.mainWindow(); }},
        {"Ask Question",
         [](Program &p) -> std::unique_ptr<QWidget> {
             return std::make_unique<ui::AddPostDialog>(p.site(), p.messages(), postingContext());
         }},
        {"Answer Question",
         [](Program &p) -> std::unique_ptr<QWidget> {
             return std::make_unique<ui::AddReplyDialog>(p.site(), p.messages(), postingContext());
         }},
        {"Expert Profile",
         [](Program &) -> std::unique_ptr<QWidget> {
             ui::ExpertProfile profile;
             profile.userName = QStringLiteral("alice");
             profile.nickname = QStringLiteral("Alice");
             profile.headImage = 3;
             profile.credit = QStringLiteral("100");
             profile.zoneRank = 4;
             profile.expertArea = 31;
             return std::make_unique<ui::CExpertInfo>(profile, QString());
         }},
        {"About", [](Program &) -> std::unique_ptr<QWidget> { return std::make_unique<ui::AboutBox>(); }},
        {"Update Information",
         [](Program &) -> std::unique_ptr<QWidget> {
             return std::make_unique<ui::CUpdateDlg>(QStringLiteral("3.5.0.1"), QStringLiteral("3.5.0.2"));
         }},
        {"Sign Up",
         [](Program &p) -> std::unique_ptr<QWidget> {
             static const session::RememberedCredentials store;
             static const FixedMachine machine;
             return std::make_unique<ui::RegisterDialog>(p.site(), p.messages(), store, machine);
         }},
        {"Registration wait",
         [](Program &) -> std::unique_ptr<QWidget> { return std::make_unique<ui::CRegWaitDlg>(); }},
        {"Edit Profile",
         [](Program &p) -> std::unique_ptr<QWidget> {
             session::EditUserSetup setup{p.site(), session::compiledFtpConnection(),
                                          p.homePath(QStringLiteral("faces")),
                                          session::RememberedCredentials({p.homePath(QStringLiteral("k.ini")),
                                                                          p.homePath(QStringLiteral("w.dat"))})};
             return std::make_unique<ui::EditUserDialog>(std::move(setup), p.aliceId(), p.messages(), p.files());
         }},
        {"My Profile",
         [](Program &p) -> std::unique_ptr<QWidget> {
             return std::make_unique<ui::UserInfoDialog>(
                 p.site(), p.messages(), p.userDocument(QStringLiteral("alice"), QStringLiteral("alice123")),
                 p.aliceId());
         }},
        {"Connection Settings",
         [](Program &p) -> std::unique_ptr<QWidget> {
             return std::make_unique<ui::NetSetDialog>(p.homePath(QStringLiteral("net.ini")), p.messages());
         }},
        {"Send to Friend",
         [](Program &p) -> std::unique_ptr<QWidget> {
             return std::make_unique<ui::EmailDialog>(p.site(), mail::compiledMailSettings(), p.messages(), 1);
         }},
        {"Feedback",
         [](Program &p) -> std::unique_ptr<QWidget> {
             return std::make_unique<ui::FeedbackDialog>(mail::compiledMailSettings(), p.messages(),
                                                         QStringLiteral("alice"));
         }},
        {"Communication",
         [](Program &p) -> std::unique_ptr<QWidget> {
             static presence::MemberValues member;
             member.userID = p.aliceId();
             member.userName = QStringLiteral("alice");
             member.nickname = QStringLiteral("Alice");
             member.headImage = 3;
             auto board = std::make_unique<ui::MessageDialog>(p.site(), member, p.messages(), p.opener(), p.faces(),
                                                              presence::ArrivalAlerts{});
             board->rules().openChat({QStringLiteral("2"), QStringLiteral("bob"), QStringLiteral("Bob"),
                                      QStringLiteral("4"), QStringLiteral("10"), QStringLiteral("3"),
                                      QStringLiteral("0")});
             return board;
         }},
        {"Print Preview",
         [](Program &) -> std::unique_ptr<QWidget> {
             static QPrinter printer;
             return ui::makePrintPreview(&printer, nullptr);
         }},
        {"Contact pane",
         [](Program &p) -> std::unique_ptr<QWidget> {
             std::unique_ptr<ui::MainFrameWindow> frame = p.mainWindow();
             if (!frame)
                 return nullptr;
             // The pane opened on the member's own question, as the zone views open it.
             auto *dock = frame->findChild<QDockWidget *>(QStringLiteral("pane1446"));
             if (!dock)
                 return nullptr;
             frame->frame().openExpertsOfOwnQuestion(1);
             dock->show();
             return frame;
         }},
    };
    return openers;
}

// The first zone's view, the one the main window opens on.
ui::ZoneViewWidget *softwareZone(QWidget *window)
{
    for (ui::ZoneViewWidget *view : window->findChildren<ui::ZoneViewWidget *>()) {
        if (view->objectName() == forum::viewClassName(0))
            return view;
    }
    return nullptr;
}

class Accessibility : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { s_program = new Program; }
    static void TearDownTestSuite()
    {
        delete s_program;
        s_program = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_program->started()); }

    std::unique_ptr<QWidget> show(const WindowOpener &opener)
    {
        std::unique_ptr<QWidget> window = opener.open(*s_program);
        if (!window)
            return nullptr;
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get())) << opener.name;
        return window;
    }

    static inline Program *s_program = nullptr;
};

TEST_F(Accessibility, EveryFocusableControlOfEveryWindowHasAName)
{
    for (const WindowOpener &opener : windowOpeners()) {
        std::unique_ptr<QWidget> window = show(opener);
        ASSERT_TRUE(window) << opener.name;
        EXPECT_FALSE(accessibleName(window.get()).isEmpty()) << opener.name << ": the window has no title";
        QStringList unnamed;
        const QList<QWidget *> controls = focusableControls(window.get());
        // The two wait windows only show a notice.
        const bool noticeOnly = QLatin1String(opener.name) == QLatin1String("Connecting") ||
                                QLatin1String(opener.name) == QLatin1String("Registration wait");
        EXPECT_FALSE(controls.isEmpty() && !noticeOnly) << opener.name;
        for (QWidget *w : controls) {
            if (qEnvironmentVariableIsSet("QUILLORA_LIST_NAMES"))
                std::printf("%s: %s -> %s\n", opener.name, qPrintable(describe(w)), qPrintable(accessibleName(w)));
            if (accessibleName(w).isEmpty())
                unnamed << describe(w);
        }
        EXPECT_TRUE(unnamed.isEmpty()) << opener.name << ": " << qPrintable(unnamed.join(QStringLiteral(", ")));
    }
}

// Tab moves through a dialog in reading order: each next control is on a
// lower row, or on the same row further right. (The main window's panes are
// checked by the rows test below.)
TEST_F(Accessibility, TabOrderOfEveryDialogFollowsTheLayout)
{
    for (const WindowOpener &opener : windowOpeners()) {
        if (QLatin1String(opener.name) == QLatin1String("Main window") ||
            QLatin1String(opener.name) == QLatin1String("Contact pane"))
            continue;
        std::unique_ptr<QWidget> window = show(opener);
        ASSERT_TRUE(window) << opener.name;
        const QList<QWidget *> controls = focusableControls(window.get());
        if (controls.size() < 2)
            continue;
        // The chain from the control that comes first in reading order.
        QWidget *first = controls.front();
        for (QWidget *w : controls) {
            const QRect a = w->geometry().translated(w->mapTo(window.get(), QPoint()) - w->pos());
            const QRect b = first->geometry().translated(first->mapTo(window.get(), QPoint()) - first->pos());
            if (a.top() < b.top() - 4 || (std::abs(a.top() - b.top()) <= 4 && a.left() < b.left()))
                first = w;
        }
        QList<QWidget *> chain{first};
        for (QWidget *w = first->nextInFocusChain(); w != first && chain.size() <= controls.size();
             w = w->nextInFocusChain()) {
            if (controls.contains(w))
                chain << w;
        }
        EXPECT_EQ(chain.size(), controls.size()) << opener.name << ": some controls are outside the Tab chain";
        // A dialog laid out in columns (side-by-side groups, a side bar) is
        // read a column at a time: Tab may go up only into a column right of
        // everything visited so far.
        int rightmost = QRect(chain[0]->mapTo(window.get(), QPoint()), chain[0]->size()).right();
        for (int i = 1; i < chain.size(); ++i) {
            const QRect prev(chain[i - 1]->mapTo(window.get(), QPoint()), chain[i - 1]->size());
            const QRect next(chain[i]->mapTo(window.get(), QPoint()), chain[i]->size());
            const bool sameRow = std::abs(prev.center().y() - next.center().y()) <= prev.height() / 2;
            const bool newColumn = next.left() > rightmost;
            rightmost = std::max(rightmost, next.right());
            const bool ok = sameRow ? next.left() > prev.left() : next.top() >= prev.center().y() || newColumn;
            EXPECT_TRUE(ok) << opener.name << ": Tab goes from " << qPrintable(describe(chain[i - 1])) << " to "
                            << qPrintable(describe(chain[i]));
        }
    }
}

// The lists of the zone views tell a screen reader what their rows say: the
// column tree, the experts list and the owner-drawn question list.
TEST_F(Accessibility, ListRowsExposeTheirText)
{
    std::unique_ptr<QWidget> window = show(windowOpeners()[2]);
    ASSERT_TRUE(window);
    ui::ZoneViewWidget *view = softwareZone(window.get());
    ASSERT_NE(view, nullptr);

    ui::CMarkupListCtrl *list = view->announcementList();
    ASSERT_GT(list->GetItemCount(), 0);
    list->SetSelectedIndex(0);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(list);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::List);
    ASSERT_EQ(iface->childCount(), list->GetItemCount());
    for (int i = 0; i < list->GetItemCount(); ++i) {
        QAccessibleInterface *row = iface->child(i);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->role(), QAccessible::ListItem);
        // The row reads as its words, without the markup tags.
        const QString name = row->text(QAccessible::Name);
        EXPECT_FALSE(name.isEmpty()) << i;
        EXPECT_FALSE(name.contains(QLatin1Char('{'))) << qPrintable(name);
        EXPECT_EQ(iface->indexOfChild(row), i);
        EXPECT_EQ(row->parent(), iface);
        EXPECT_EQ(row->state().selected, i == 0);
    }
    // Rows that went away are not read out.
    QAccessibleInterface *last = iface->child(list->GetItemCount() - 1);
    list->DeleteAllItems();
    EXPECT_EQ(iface->childCount(), 0);
    EXPECT_FALSE(last->isValid());
    EXPECT_TRUE(last->text(QAccessible::Name).isEmpty());

    QListWidget *experts = view->expertList();
    ASSERT_GT(experts->count(), 0);
    QAccessibleInterface *expertsIface = QAccessible::queryAccessibleInterface(experts);
    ASSERT_NE(expertsIface, nullptr);
    QStringList rowNames;
    for (int i = 0; i < expertsIface->childCount(); ++i)
        rowNames << expertsIface->child(i)->text(QAccessible::Name);
    for (int i = 0; i < experts->count(); ++i)
        EXPECT_TRUE(rowNames.contains(experts->item(i)->text())) << qPrintable(experts->item(i)->text());

    QTreeWidget *tree = view->tree();
    QAccessibleInterface *treeIface = QAccessible::queryAccessibleInterface(tree);
    ASSERT_NE(treeIface, nullptr);
    ASSERT_GT(treeIface->childCount(), 0);
    EXPECT_FALSE(treeIface->child(0)->text(QAccessible::Name).isEmpty());
}

// Every command of the main window is in its menu bar (Alt and the
// underlined letter), and no two menus share a letter.
TEST_F(Accessibility, EveryCommandIsReachableFromTheKeyboard)
{
    std::unique_ptr<QWidget> window = show(windowOpeners()[2]);
    ASSERT_TRUE(window);
    auto *frame = static_cast<QMainWindow *>(window.get());
    QMenuBar *bar = frame->menuBar();
    ASSERT_NE(bar, nullptr);

    QSet<QAction *> inMenus;
    QSet<QChar> letters;
    std::function<void(QMenu *)> collect = [&](QMenu *menu) {
        for (QAction *a : menu->actions()) {
            inMenus.insert(a);
            if (a->menu())
                collect(a->menu());
        }
    };
    for (QAction *top : bar->actions()) {
        if (!top->menu())
            continue;
        const QString title = top->text();
        const qsizetype amp = title.indexOf(QLatin1Char('&'));
        ASSERT_GE(amp, 0) << qPrintable(title) << " has no access key";
        const QChar letter = title.at(amp + 1).toLower();
        EXPECT_FALSE(letters.contains(letter)) << qPrintable(title) << " shares its access key";
        letters.insert(letter);
        collect(top->menu());
    }
    for (QToolBar *toolbar : frame->findChildren<QToolBar *>()) {
        for (QAction *a : toolbar->actions()) {
            if (a->isSeparator() || a->text().isEmpty())
                continue;
            EXPECT_TRUE(inMenus.contains(a) || !a->shortcut().isEmpty())
                << qPrintable(a->text()) << " is on a toolbar only";
        }
    }
}

// The zone view's lists open with Return what they open with a double-click:
// a column's questions, a question's page, an expert's profile.
TEST_F(Accessibility, ReturnOpensWhatADoubleClickOpens)
{
    std::unique_ptr<QWidget> window = show(windowOpeners()[2]);
    ASSERT_TRUE(window);
    ui::ZoneViewWidget *view = softwareZone(window.get());
    ASSERT_NE(view, nullptr);

    QTreeWidgetItem *column = nullptr;
    for (QTreeWidgetItemIterator it(view->tree()); *it && !column; ++it) {
        if (ui::CZoneTreeCtrl::itemData(*it) == 1)
            column = *it;
    }
    ASSERT_NE(column, nullptr);
    view->tree()->setFocus();
    view->tree()->setCurrentItem(column);
    QTest::keyClick(view->tree(), Qt::Key_Return);
    ASSERT_EQ(view->frontPane(), view->postList());
    ASSERT_GT(view->postList()->topLevelItemCount(), 0);

    view->postList()->setFocus();
    view->postList()->setCurrentItem(view->postList()->topLevelItem(0));
    QTest::keyClick(view->postList(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(view->frontPane(), static_cast<QWidget *>(view->browser()));

    ASSERT_GT(view->expertList()->count(), 0);
    int opened = 0;
    view->setExpertDialogRunner([&opened](ui::CExpertInfo &) { ++opened; });
    view->expertList()->setCurrentRow(0);
    QTest::keyClick(view->expertList(), Qt::Key_Return);
    EXPECT_EQ(opened, 1);
    // Return with a modifier is left to the list.
    QTest::keyClick(view->expertList(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(opened, 1);
}

} // namespace
