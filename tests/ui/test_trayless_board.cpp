// A desktop without a tray area (a virtual display, no tray manager) and a
// notification server on the session bus that records what it is asked to
// show (run by desktop_session.py): messages waiting at sign-in and messages
// that arrive while the board is hidden are announced through the server,
// other members' text escaped for its markup, and the member opens the
// board from the main window or by clicking the notification.
#include "browsing_values.h"
#include "frame_test_support.h"
#include "main_frame.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "screens/main_frame_window.h"
#include "screens/message_dialog.h"
#include "screens/quillora_view.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolBar>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace quillora;

namespace {

QApplication &app()
{
    static int argc = 1;
    static char arg0[] = "test_trayless_board";
    static char *argv[] = {arg0, nullptr};
    static QApplication *instance = [] {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        auto *a = new QApplication(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("QuilloraTraylessTest"));
        QCoreApplication::setApplicationName(QStringLiteral("Quillora"));
        return a;
    }();
    return *instance;
}

bool waitUntil(const std::function<bool()> &done, int ms = 10000)
{
    for (int waited = 0; !done() && waited < ms; waited += 20)
        QTest::qWait(20);
    return done();
}

} // namespace

// The desktop's notification service, as far as the program uses it.
class RecordingNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    struct Shown {
        QString app, icon, summary, body;
        uint replaces = 0;
        QStringList actions;
        QVariantMap hints;
    };

    bool start()
    {
        m_bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("notification-server"));
        return m_bus.isConnected() &&
               m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                    QDBusConnection::ExportAllSlots) &&
               m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    // The member clicks notification `id`.
    void click(uint id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                         QStringLiteral("org.freedesktop.Notifications"),
                                                         QStringLiteral("ActionInvoked"));
        signal << id << QStringLiteral("default");
        m_bus.send(signal);
    }

    std::vector<Shown> shown;

  public Q_SLOTS:
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        Q_UNUSED(timeout);
        shown.push_back({app, icon, summary, body, replaces, actions, hints});
        return replaces ? replaces : 7;
    }
    QStringList GetCapabilities()
    {
        return {QStringLiteral("body"), QStringLiteral("body-markup"), QStringLiteral("actions")};
    }
    void CloseNotification(uint id) { Q_UNUSED(id); }

  private:
    QDBusConnection m_bus{QString()};
};

namespace {

void send(const service::SiteAddress &site, int from, int to, const QString &text)
{
    service::CVarnelServices proxy(site);
    proxy.useServiceAccount(service::Op::SendMessage);
    bool ok = false;
    ASSERT_TRUE(service::succeeded(proxy.SendMessage(from, to, text, &ok)));
    ASSERT_TRUE(ok);
}

} // namespace

TEST(TraylessDesktop, ArrivalsAreAnnouncedAndTheBoardOpensFromTheMainWindow)
{
    app();
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") || QSystemTrayIcon::isSystemTrayAvailable())
        GTEST_SKIP() << "needs a session bus and a desktop without a tray (run it with desktop_session.py)";
    RecordingNotifications notifications;
    ASSERT_TRUE(notifications.start());
    testpeers::VarnelServerProcess server({.demo = true});
    ASSERT_TRUE(server.started()) << server.error();
    const service::SiteAddress site{QStringLiteral("127.0.0.1"), quint16(server.port())};
    const presence::test::SignedIn alice =
        presence::test::signInMember(site, QStringLiteral("alice"), QStringLiteral("alice123"));
    const presence::test::SignedIn bob =
        presence::test::signInMember(site, QStringLiteral("bob"), QStringLiteral("bob123"));

    platform::RecordingMessageBoxes boxes;
    platform::RecordingSystemOpener opener;
    ui::MainFrameWindow frame({site, bob.document, &boxes, &opener});
    ASSERT_TRUE(frame.isCreated());
    frame.setQuitHandler([] {});
    ui::MessageDialog *board = ui::installMessageBoard(frame, boxes, opener);
    ASSERT_NE(board, nullptr);

    // Start-up: the main view asks for its poll while the frame is built; it
    // runs once the frame shows, and announces the two messages the demo
    // community keeps waiting for bob.
    forum::BrowsingValues browsing;
    auto *view = new ui::CQuilloraView(frame, browsing, boxes, opener, &frame);
    view->create();
    QTest::qWait(300);
    EXPECT_TRUE(notifications.shown.empty());
    frame.showMaximizedAndStart();
    ASSERT_TRUE(waitUntil([&] { return notifications.shown.size() == 1; }));
    const RecordingNotifications::Shown &first = notifications.shown[0];
    EXPECT_EQ(first.summary, QStringLiteral("Quillora 2007"));
    EXPECT_EQ(first.body, QStringLiteral("2 new messages"));
    EXPECT_EQ(first.actions.value(0), QStringLiteral("default"));
    EXPECT_EQ(first.hints.value(QStringLiteral("category")).toString(), QStringLiteral("im.received"));
    EXPECT_FALSE(board->isVisible());

    // Alice writes while bob's board is hidden.
    send(site, alice.id, bob.id, QStringLiteral("Are you there, Bob?"));
    Q_EMIT frame.pollTick();
    ASSERT_TRUE(waitUntil([&] { return notifications.shown.size() == 2; }));
    EXPECT_EQ(notifications.shown[1].body, QStringLiteral("New message from Alice"));
    EXPECT_EQ(notifications.shown[1].replaces, 7u) << "the notification on screen is replaced";

    // Bob opens the board from the main window's menu.
    QAction *boardCommand = frame.commandAction(presence::FrameCommand::MessageBoard);
    ASSERT_TRUE(boardCommand && boardCommand->isEnabled());
    boardCommand->trigger();
    ASSERT_TRUE(waitUntil([&] { return board->isVisible(); }));
    EXPECT_EQ(board->chatWith()->currentText(), QStringLiteral("alice"));
    EXPECT_TRUE(board->transcript()->toPlainText().contains(QStringLiteral("Are you there, Bob?")));

    // ... from the toolbar's Communication button, with no tray to click ...
    board->hide();
    frame.commandAction(presence::FrameCommand::Communication)->trigger();
    EXPECT_TRUE(waitUntil([&] { return board->isVisible(); }));

    // ... and by clicking the notification.
    board->hide();
    notifications.click(7);
    EXPECT_TRUE(waitUntil([&] { return board->isVisible(); }));

    // Another member's nickname is text, not markup, in the notification.
    board->hide();
    {
        service::CVarnelServices proxy(site);
        proxy.useServiceAccount(service::Op::CreateNewUser);
        bool created = false;
        ASSERT_TRUE(service::succeeded(proxy.CreateNewUser(
            QStringLiteral("markup"), QStringLiteral("markup1"), QStringLiteral("<img src=x>&co"), 1, QString(),
            QStringLiteral("3"), {}, {}, {}, {}, QStringLiteral("g-markup"), &created)));
        ASSERT_TRUE(created);
    }
    send(site, presence::test::signInMember(site, QStringLiteral("markup"), QStringLiteral("markup1")).id, bob.id,
         QStringLiteral("hi"));
    Q_EMIT frame.pollTick();
    ASSERT_TRUE(waitUntil([&] { return notifications.shown.size() == 3; }));
    EXPECT_EQ(notifications.shown[2].body, QStringLiteral("New message from &lt;img src=x&gt;&amp;co"));
    EXPECT_TRUE(boxes.shown.empty()) << qPrintable(boxes.lastText());
    frame.close();
}

#include "test_trayless_board.moc"
