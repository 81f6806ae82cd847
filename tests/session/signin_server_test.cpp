// Sign-in and start-up against the real varnel-server with its demo
// community (members "alice", "bob", ... with passwords name + "123").
#include "login_dlg.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "remembered_credentials.h"
#include "session_test_support.h"
#include "startup_sequence.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace quillora::session;
using quillora::platform::RecordingMessageBoxes;
using quillora::platform::RecordingSystemOpener;
using quillora::service::SiteAddress;
using quillora::testpeers::VarnelServerOptions;
using quillora::testpeers::VarnelServerProcess;
using sessiontest::RecordingLoginView;

namespace {

class DemoServer : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server = std::make_unique<VarnelServerProcess>(VarnelServerOptions{.demo = true}); }
    static void TearDownTestSuite() { server.reset(); }
    void SetUp() override { ASSERT_TRUE(server->started()) << server->error(); }

    static SiteAddress site() { return {QStringLiteral("127.0.0.1"), quint16(server->port())}; }

    static int onlineCount()
    {
        quillora::service::CVarnelServices proxy(site());
        proxy.useServiceAccount(quillora::service::Op::GetUserListOnline);
        QString document;
        int total = -1;
        EXPECT_TRUE(quillora::service::succeeded(proxy.GetUserListOnline(20, 1, &document, &total)));
        return total;
    }

    static std::unique_ptr<VarnelServerProcess> server;
};
std::unique_ptr<VarnelServerProcess> DemoServer::server;

class SignInWithServer : public DemoServer {
  protected:
    QTemporaryDir dir;
    RememberedCredentials store{{dir.filePath(QStringLiteral("Kestova/credentials.ini")),
                                 dir.filePath(QStringLiteral("quillora/winuser.dat"))}};
    RecordingLoginView view;
    RecordingMessageBoxes messages;
    RecordingSystemOpener opener;
    SignInQuota quota;

    void signIn(CLoginDlg &dlg, const QString &name, const QString &password)
    {
        view.userName = name;
        view.password = password;
        dlg.onSignIn();
    }
};

} // namespace

TEST_F(SignInWithServer, ServiceRejectsUnknownNamesAndWrongPasswordsAndCountsThem)
{
    CLoginDlg dlg(site(), view, messages, opener, store, quota);
    dlg.onInitDialog();

    signIn(dlg, QStringLiteral("nobody-here"), QStringLiteral("whatever"));
    EXPECT_EQ(messages.lastText(), QStringLiteral("You have specified an incorrect username!"));
    EXPECT_EQ(view.events.last(), QStringLiteral("focus user select"));
    EXPECT_EQ(quota.failed, 1);

    signIn(dlg, QStringLiteral("alice"), QStringLiteral("not-her-password"));
    EXPECT_EQ(messages.lastText(), QStringLiteral("You have specified an invalid password!"));
    EXPECT_EQ(view.events.last(), QStringLiteral("focus password select"));
    EXPECT_EQ(quota.failed, 2);
    EXPECT_EQ(view.ended, -1);
    EXPECT_FALSE(store.load().found); // nothing remembered from rejected attempts

    signIn(dlg, QStringLiteral("  alice "), QStringLiteral("alice123"));
    EXPECT_EQ(view.ended, 1);
    EXPECT_EQ(messages.shown.size(), 2u);
    const LoadedCredentials remembered = store.load();
    EXPECT_EQ(remembered.userName, QStringLiteral("alice")); // remembered without the blanks
    EXPECT_EQ(remembered.password, QStringLiteral("alice123"));
}

TEST_F(SignInWithServer, QuotaEndsTheDialogAfterThreeServiceRejections)
{
    CLoginDlg dlg(site(), view, messages, opener, store, quota);
    dlg.onInitDialog();
    signIn(dlg, QStringLiteral("bob"), QStringLiteral("wrong1"));
    signIn(dlg, QStringLiteral("ghost"), QStringLiteral("wrong2"));
    signIn(dlg, QStringLiteral("bob"), QStringLiteral("wrong3"));
    ASSERT_EQ(quota.failed, 3);
    signIn(dlg, QStringLiteral("bob"), QStringLiteral("bob123"));
    EXPECT_EQ(messages.lastText(), QStringLiteral("You have used up your failed login quota! !"));
    EXPECT_EQ(view.ended, 0);
    EXPECT_FALSE(store.load().found);
}

TEST_F(SignInWithServer, AcceptedPairThatCannotBeWrittenKeepsTheDialogOpen)
{
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const RememberedCredentials noFile{
        {dir.filePath(QStringLiteral("Kestova/credentials.ini")), dir.filePath(QStringLiteral("blocker/winuser.dat"))}};
    CLoginDlg dlg(site(), view, messages, opener, noFile, quota);
    dlg.onInitDialog();
    signIn(dlg, QStringLiteral("carol"), QStringLiteral("carol123"));
    EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to open file !"));
    EXPECT_EQ(view.ended, -1);
    EXPECT_EQ(quota.failed, 0);
}

// An unwritable settings file writes nothing, says so, and signs the member
// in without remembering him.
TEST_F(SignInWithServer, AcceptedPairWithUnwritableSettingsSignsInWithoutRemembering)
{
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const RememberedCredentials noKey{{dir.filePath(QStringLiteral("blocker/credentials.ini")),
                                       dir.filePath(QStringLiteral("quillora/winuser.dat"))}};
    CLoginDlg dlg(site(), view, messages, opener, noKey, quota);
    dlg.onInitDialog();
    signIn(dlg, QStringLiteral("carol"), QStringLiteral("carol123"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.lastText(), CLoginDlg::cannotRememberMessage());
    EXPECT_EQ(messages.shown.back().icon, quillora::platform::MessageIcon::Information);
    EXPECT_EQ(view.ended, 1);
    EXPECT_EQ(quota.failed, 0);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("quillora/winuser.dat"))));
}

namespace {

struct Screens : StartupScreens {
    QString name, password;
    bool offered = false, yes = false;
    QString frameDocument;
    QStringList calls;
    bool runSignIn(QString *n, QString *p) override
    {
        *n = name;
        *p = password;
        return true;
    }
    void showConnecting() override { calls << QStringLiteral("connecting shown"); }
    void destroyConnecting() override { calls << QStringLiteral("connecting destroyed"); }
    bool createMainFrame(const QString &doc) override
    {
        frameDocument = doc;
        calls << QStringLiteral("frame created");
        return true;
    }
    void showMainFrameMaximized() override { calls << QStringLiteral("frame shown"); }
    bool checkForUpdate(QString *c, QString *l) override
    {
        *c = QStringLiteral("3.5.0.1");
        *l = QStringLiteral("3.5.0.2");
        return offered;
    }
    bool askToDownload(const QString &, const QString &) override
    {
        calls << QStringLiteral("update asked");
        return yes;
    }
};

} // namespace

TEST_F(DemoServer, StartUpSignsTheMemberInAndMarksHimOnline)
{
    Screens screens;
    screens.name = QStringLiteral("dave");
    screens.password = QStringLiteral("dave123");
    RecordingMessageBoxes messages;
    RecordingSystemOpener opener;
    const int before = onlineCount();
    StartupSequence seq(site(), screens, messages, opener);
    ASSERT_EQ(seq.run(), StartupOutcome::Running);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_GT(seq.userId(), 0);
    EXPECT_TRUE(seq.userDocument().contains(QStringLiteral("<PKID>%1</PKID>").arg(seq.userId())));
    EXPECT_EQ(screens.frameDocument, seq.userDocument());
    EXPECT_EQ(screens.calls, (QStringList{QStringLiteral("connecting shown"), QStringLiteral("frame created"),
                                          QStringLiteral("connecting destroyed"), QStringLiteral("frame shown")}));
    EXPECT_FALSE(seq.ipAddressSent().isEmpty());
    EXPECT_EQ(onlineCount(), before + 1);
    EXPECT_TRUE(opener.opened.isEmpty()); // no newer version: no dialog, no browser
}

TEST_F(DemoServer, UpdateOfferAnsweredYesOpensTheDownloadPageAndNoOpensNothing)
{
    for (bool yes : {true, false}) {
        Screens screens;
        screens.name = QStringLiteral("erin");
        screens.password = QStringLiteral("erin123");
        screens.offered = true;
        screens.yes = yes;
        RecordingMessageBoxes messages;
        RecordingSystemOpener opener;
        StartupSequence seq(site(), screens, messages, opener);
        ASSERT_EQ(seq.run(), StartupOutcome::Running);
        EXPECT_EQ(screens.calls.last(), QStringLiteral("update asked"));
        if (yes)
            EXPECT_EQ(opener.opened,
                      QStringList{QStringLiteral("http://127.0.0.1:%1/Quillora/download.htm").arg(server->port())});
        else
            EXPECT_TRUE(opener.opened.isEmpty());
    }
}

TEST_F(DemoServer, StartUpFailureMessagesForUnknownMemberAndWrongPassword)
{
    struct Case {
        const char *name;
        const char *password;
        StartupOutcome outcome;
        QString message;
    };
    const Case cases[] = {
        {"no-such-member", "x", StartupOutcome::UnknownMember, QStringLiteral("You have entered an invalid username!")},
        {"alice", "changed-elsewhere", StartupOutcome::UserDataFailed,
         QStringLiteral("Failed to get user data from server, please try again later.!")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Screens screens;
        screens.name = QString::fromLatin1(c.name);
        screens.password = QString::fromLatin1(c.password);
        RecordingMessageBoxes messages;
        RecordingSystemOpener opener;
        StartupSequence seq(site(), screens, messages, opener);
        EXPECT_EQ(seq.run(), c.outcome);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, c.message);
        EXPECT_EQ(messages.shown[0].owner, nullptr);
        EXPECT_EQ(screens.calls.last(), QStringLiteral("connecting destroyed"));
        EXPECT_FALSE(screens.calls.contains(QStringLiteral("frame created")));
    }
}
