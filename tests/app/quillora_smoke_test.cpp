// Smoke tests of the program: the real application object runs start-up
// against the real varnel-server (offscreen), answering its dialogs the way a
// member would; and the built binary refuses a second copy on one display.
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "quillora_app.h"
#include "raise_channel.h"
#include "remembered_credentials.h"
#include "screens/login_dialog.h"
#include "screens/main_frame_window.h"
#include "screens/update_dialog.h"
#include "scripted_http_peer.h"
#include "single_instance.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

using namespace quillora;
using quillora::testpeers::VarnelServerOptions;
using quillora::testpeers::VarnelServerProcess;

namespace {

// True when process `pid` holds a lock on the file at `path`, read from
// /proc/locks: the probe must not take the lock itself, or the program
// under test could find it taken and end.
bool holdsLock(qint64 pid, const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return false;
    // "1: FLOCK  ADVISORY  WRITE 4242 00:2f:1234 0 EOF"; a waiter's line has "->" after the number.
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 6 || f.at(1) == "->")
            continue;
        const QList<QByteArray> device = f.at(5).split(':');
        if (f.at(4).toLongLong() == pid && device.size() == 3 && device.at(2).toULongLong() == quint64(st.st_ino))
            return true;
    }
    return false;
}

// Per-user folders of a fresh user, and the site, for the process under test.
struct FreshUser {
    QTemporaryDir dir;
    explicit FreshUser(const QString &site)
    {
        QDir(dir.path()).mkpath(QStringLiteral("config"));
        QDir(dir.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", dir.filePath(QStringLiteral("runtime")).toLocal8Bit());
        qputenv("QUILLORA_SITE", site.toLocal8Bit());
    }
};

int onlineCount(const service::SiteAddress &site)
{
    service::CVarnelServices proxy(site);
    proxy.useServiceAccount(service::Op::GetUserListOnline);
    QString document;
    int total = -1;
    if (!service::succeeded(proxy.GetUserListOnline(20, 1, &document, &total)))
        return -1;
    return total;
}

// Answers each modal window of start-up as it comes up.
class ModalAnswerer : public QObject {
  public:
    std::function<void(ui::LoginDialog *)> onLogin;
    std::function<void(ui::CUpdateDlg *)> onUpdate;
    QStringList seen;

    explicit ModalAnswerer(QObject *parent) : QObject(parent)
    {
        auto *timer = new QTimer(this);
        timer->setInterval(20);
        connect(timer, &QTimer::timeout, this, &ModalAnswerer::poll);
        timer->start();
    }

  private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == m_last)
            return;
        m_last = modal;
        seen << modal->windowTitle();
        if (auto *login = qobject_cast<ui::LoginDialog *>(modal); login && onLogin)
            onLogin(login);
        else if (auto *update = qobject_cast<ui::CUpdateDlg *>(modal); update && onUpdate)
            onUpdate(update);
    }
    QPointer<QWidget> m_last;
};

void typeAndSignIn(ui::LoginDialog *login, const QString &name, const QString &password)
{
    if (!name.isNull()) {
        login->userNameEdit()->clear();
        QTest::keyClicks(login->userNameEdit(), name);
    }
    QTest::keyClicks(login->passwordEdit(), password);
    QTest::mouseClick(login->signInButton(), Qt::LeftButton);
}

char *argv0 = const_cast<char *>("quillora");

} // namespace

TEST(QuilloraSmoke, SignsInShowsTheMainFrameOffersTheUpdateAndSignsOutOnClose)
{
    VarnelServerProcess server(VarnelServerOptions{.demo = true, .extraArgs = {"--latest-version", "3.5.0.2"}});
    ASSERT_TRUE(server.started()) << server.error();
    FreshUser user(QString::fromStdString(server.siteAddress()));
    const service::SiteAddress site{QStringLiteral("127.0.0.1"), quint16(server.port())};
    const int before = onlineCount(site);

    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    int argc = 1;
    app::CQuilloraApp app(argc, &argv0, {&messages, &opener});
    ModalAnswerer answerer(&app);
    answerer.onLogin = [](ui::LoginDialog *login) {
        EXPECT_TRUE(login->userNameEdit()->text().isEmpty());
        typeAndSignIn(login, QStringLiteral("bob"), QStringLiteral("bob123"));
    };
    answerer.onUpdate = [](ui::CUpdateDlg *update) {
        EXPECT_EQ(update->currentLine()->text(), QStringLiteral("The Current Version is: 3.5.0.1"));
        EXPECT_EQ(update->latestLine()->text(), QStringLiteral("The Latest Version is : 3.5.0.2"));
        QTest::mouseClick(update->yesButton(), Qt::LeftButton);
    };

    ASSERT_TRUE(app.initInstance());
    EXPECT_EQ(answerer.seen, (QStringList{QStringLiteral("Login"), QStringLiteral("Update Information")}));
    EXPECT_TRUE(messages.shown.empty()) << qPrintable(messages.lastText());
    ASSERT_TRUE(app.mainFrame());
    EXPECT_TRUE(app.mainFrame()->isVisible());
    EXPECT_TRUE(app.mainFrame()->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(app.mainFrame()->windowTitle(), QStringLiteral("Quillora 2007"));
    EXPECT_TRUE(app.userDocument().contains(QStringLiteral("<UserName>bob</UserName>")) ||
                app.userDocument().contains(QStringLiteral(">bob<")));
    EXPECT_EQ(opener.opened,
              QStringList{QStringLiteral("http://127.0.0.1:%1/Quillora/download.htm").arg(server.port())});
    EXPECT_EQ(onlineCount(site), before + 1);

    // The member is remembered for the next start.
    const session::LoadedCredentials remembered = session::RememberedCredentials().load();
    EXPECT_EQ(remembered.userName, QStringLiteral("bob"));
    EXPECT_EQ(remembered.password, QStringLiteral("bob123"));

    // A second start knocks at this copy's socket: the minimised frame comes back.
    app.mainFrame()->showMinimized();
    ASSERT_TRUE(app.mainFrame()->isMinimized());
    const QString socket = session::raiseSocketPath(
        QDir(session::SingleInstanceLock::runtimeDirectory())
            .filePath(QStringLiteral("MyQuilloraApp-%1.lock").arg(session::SingleInstanceLock::displaySessionKey())));
    EXPECT_TRUE(session::askRunningCopyToRaise(socket));
    EXPECT_TRUE(QTest::qWaitFor([&app] { return !app.mainFrame()->isMinimized(); }, 5000));
    EXPECT_TRUE(app.mainFrame()->isVisible());

    // Closing the main frame signs out and ends the event loop.
    QTimer::singleShot(0, app.mainFrame(), [&app] { app.mainFrame()->close(); });
    QTimer::singleShot(30000, &app, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(app.exec(), 0);
    EXPECT_EQ(onlineCount(site), before);
}

// A site that parses as host:port but can make no web address is named at
// start-up; no sign-in is offered against it.
TEST(QuilloraSmoke, SiteNoAddressCanHoldIsNamedAtStartUp)
{
    FreshUser user(QStringLiteral("exa$mple:8080"));
    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    int argc = 1;
    app::CQuilloraApp app(argc, &argv0, {&messages, &opener});
    ModalAnswerer answerer(&app);
    answerer.onLogin = [](ui::LoginDialog *login) { login->reject(); };
    EXPECT_FALSE(app.initInstance());
    EXPECT_TRUE(answerer.seen.isEmpty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.lastText().contains(QStringLiteral("exa$mple"))) << qPrintable(messages.lastText());
    EXPECT_EQ(messages.shown[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(messages.shown[0].caption, platform::programTitle());
}

TEST(QuilloraSmoke, RememberedMemberWithTheServerGoneEndsWithTheConnectMessage)
{
    int deadPort = 0;
    {
        quillora::testpeers::ScriptedHttpPeer gone({});
        deadPort = gone.port();
    }
    FreshUser user(QStringLiteral("127.0.0.1:%1").arg(deadPort));
    ASSERT_EQ(session::RememberedCredentials().remember(QStringLiteral("carol"), QStringLiteral("carol123")),
              session::RememberStatus::Ok);

    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    int argc = 1;
    app::CQuilloraApp app(argc, &argv0, {&messages, &opener});
    ModalAnswerer answerer(&app);
    answerer.onLogin = [](ui::LoginDialog *login) {
        EXPECT_EQ(login->userNameEdit()->text(), QStringLiteral("carol"));
        EXPECT_FALSE(login->registrationButton()->isEnabled());
        EXPECT_EQ(login->focusWidget(), login->passwordEdit());
        typeAndSignIn(login, QString(), QStringLiteral("carol123")); // checked locally, no service call
    };
    EXPECT_FALSE(app.initInstance());
    EXPECT_EQ(app.outcome(), session::StartupOutcome::ConnectFailed);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Failed to connect to server, please try again later."));
    EXPECT_EQ(app.mainFrame(), nullptr);
}

TEST(QuilloraProgram, SecondCopyOnTheSameDisplayExitsSilently)
{
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":77"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QUILLORA_SITE"), QStringLiteral("127.0.0.1:9")); // never reached
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(QUILLORA_PROGRAM), {});
    ASSERT_TRUE(first.waitForStarted());
    // The first copy holds the lock once it runs (it then waits in the sign-in dialog).
    const QString lockFile = dir.filePath(QStringLiteral("MyQuilloraApp-_77.lock"));
    bool held = false;
    for (int i = 0; i < 500 && !held; ++i) {
        held = holdsLock(first.processId(), lockFile);
        if (!held)
            QThread::msleep(20);
    }
    ASSERT_TRUE(held);

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(QUILLORA_PROGRAM), {});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill();
    first.waitForFinished();
}
