// Sign-in and start-up against the real varnel-server with its demo
// community (members "alice", "bob", ... with passwords name + "123"), in
// clear and over TLS.
#include "byte_relay.h"
#include "ftp_server_process.h"
#include "ftp_upload.h"
#include "head_images.h"
#include "login_dlg.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "remembered_credentials.h"
#include "session_test_support.h"
#include "startup_sequence.h"
#include "test_bitmaps.h"
#include "test_certificates.h"
#include "update_check.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include <QDir>
#include <QFile>
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

// ---------------------------------------------------------------------------
// The whole community on the wire: the real server (over HTTPS with an
// authority made by the test, or in clear) reached through a relay that
// records every byte, as anyone on the network path would see them.

namespace {

using quillora::testpeers::ByteRelay;
using quillora::testpeers::FtpServerProcess;
using quillora::testpeers::TestCertificates;

class SiteOnTheWire : public ::testing::TestWithParam<bool> {
  protected:
    static void SetUpTestSuite()
    {
        certs = std::make_unique<TestCertificates>();
        if (certs->ok())
            ftp = std::make_unique<FtpServerProcess>(QStringLiteral("faceupl"), QStringLiteral("Up#load8"),
                                                     certs->peer(TestCertificates::Server::Good));
    }
    static void TearDownTestSuite()
    {
        ftp.reset();
        certs.reset();
    }
    void SetUp() override
    {
        ASSERT_TRUE(certs->ok()) << certs->error();
        ASSERT_TRUE(ftp->started()) << ftp->error();
    }

    // The community, serving head images from the FTP server's folder, over
    // HTTPS with the test's certificate or in clear.
    static VarnelServerOptions serverOptions(bool tls)
    {
        VarnelServerOptions options{.demo = true,
                                    .extraArgs = {"--files", ftp->customFaceDir(), "--latest-version", "9.9"}};
        if (tls) {
            options.tls = true;
            options.tlsCert = certs->certFile(TestCertificates::Server::Good);
            options.tlsKey = certs->keyFile(TestCertificates::Server::Good);
        }
        return options;
    }

    static std::unique_ptr<TestCertificates> certs;
    static std::unique_ptr<FtpServerProcess> ftp;
};
std::unique_ptr<TestCertificates> SiteOnTheWire::certs;
std::unique_ptr<FtpServerProcess> SiteOnTheWire::ftp;

} // namespace

TEST_P(SiteOnTheWire, SignInListVersionHeadImageAndUploadKeepTheSecretsOffTheWire)
{
    const bool tls = GetParam();
    VarnelServerProcess server(serverOptions(tls));
    ASSERT_TRUE(server.started()) << server.error();
    ByteRelay wire(server.port());
    const QString caFile = QString::fromStdString(certs->caFile());
    const SiteAddress site{QStringLiteral("127.0.0.1"), quint16(wire.port()), tls, tls ? caFile : QString()};

    // Sign-in, as start-up makes it.
    Screens screens;
    screens.name = QStringLiteral("alice");
    screens.password = QStringLiteral("alice123");
    RecordingMessageBoxes messages;
    RecordingSystemOpener opener;
    StartupSequence seq(site, screens, messages, opener);
    ASSERT_EQ(seq.run(), StartupOutcome::Running) << (messages.shown.empty() ? "" : messages.lastText().toStdString());

    // A zone's question list, through a fresh proxy as every screen makes one.
    quillora::service::CVarnelServices proxy(site);
    proxy.useServiceAccount(quillora::service::Op::GetForumPostListByColumn);
    QString list;
    int total = -1;
    ASSERT_TRUE(quillora::service::succeeded(proxy.GetForumPostListByColumn(1, 15, 1, &list, &total)));
    EXPECT_TRUE(list.contains(QStringLiteral("<ForumPosts>"))) << list.toStdString();
    // The sign-in's connections left a session: this one did without a full handshake.
    EXPECT_EQ(proxy.transport().isResumedTls(), tls);

    // The version check and a head image.
    quillora::mail::CUpdateChecker checker(QStringLiteral("3.5.0.1"));
    checker.setTrustedCaFile(site.caFile);
    EXPECT_TRUE(checker.check(quillora::service::siteUrl(site, QStringLiteral("/Varnel/Web/"))));
    EXPECT_EQ(checker.latestVersion(), QStringLiteral("9.9"));
    const QByteArray picture = quillora::testpeers::bitmapFile();
    const QDir faces(QString::fromStdString(ftp->customFaceDir()));
    {
        QFile file(faces.filePath(QStringLiteral("41.bmp")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(picture);
    }
    QTemporaryDir cacheDir;
    const CustomFaceCache cache(site, cacheDir.path());
    EXPECT_EQ(cache.downloadUrl(QStringLiteral("41")).startsWith(QStringLiteral("https://")), tls);
    EXPECT_TRUE(cache.download(QStringLiteral("41")));

    const QByteArray seen = wire.recorded();
    ASSERT_FALSE(seen.isEmpty());
    const quillora::service::ServiceAccount account = quillora::service::compiledServiceAccount();
    for (const QString &secret : {screens.password, account.username, account.password})
        EXPECT_EQ(seen.contains(secret.toUtf8()), !tls) << secret.toStdString();

    // The picture upload: FTP over explicit TLS, also through a recording relay.
    if (tls) {
        ByteRelay ftpWire(ftp->port());
        FtpConnection connection;
        connection.host = QStringLiteral("127.0.0.1");
        connection.port = quint16(ftpWire.port());
        connection.user = ftp->user();
        connection.password = ftp->password();
        connection.tls = true;
        connection.caFile = caFile;
        const FtpUploadResult result =
            ftpUpload(connection, QString::fromLatin1(kCustomFaceFtpDirectory) + QStringLiteral("77.bmp"), picture);
        ASSERT_TRUE(result.ok) << result.error.toStdString();
        QFile uploaded(faces.filePath(QStringLiteral("77.bmp")));
        ASSERT_TRUE(uploaded.open(QIODevice::ReadOnly));
        EXPECT_EQ(uploaded.readAll(), picture);
        const QByteArray ftpSeen = ftpWire.recorded();
        EXPECT_TRUE(ftpSeen.contains("AUTH TLS")); // the one command in clear
        EXPECT_FALSE(ftpSeen.contains(ftp->password().toUtf8()));
        EXPECT_FALSE(ftpSeen.contains(picture.right(64)));
    }
}

INSTANTIATE_TEST_SUITE_P(Site, SiteOnTheWire, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "https" : "plain_http");
                         });

// An upload that cannot be protected is not made: a server without TLS, or
// one whose certificate fails, gets neither the password nor the picture.
TEST_F(SiteOnTheWire, UploadRefusesServersItCannotTrust)
{
    FtpServerProcess plain(QStringLiteral("faceupl"), QStringLiteral("Up#load8"));
    FtpServerProcess stranger(QStringLiteral("faceupl"), QStringLiteral("Up#load8"),
                              certs->peer(TestCertificates::Server::UnknownCa));
    for (FtpServerProcess *server : {&plain, &stranger}) {
        ASSERT_TRUE(server->started()) << server->error();
        ByteRelay wire(server->port());
        FtpConnection connection;
        connection.host = QStringLiteral("127.0.0.1");
        connection.port = quint16(wire.port());
        connection.user = server->user();
        connection.password = server->password();
        connection.tls = true;
        connection.caFile = QString::fromStdString(certs->caFile());
        const QString path = QString::fromLatin1(kCustomFaceFtpDirectory) + QStringLiteral("78.bmp");
        EXPECT_FALSE(ftpUpload(connection, path, quillora::testpeers::bitmapFile()).ok);
        EXPECT_FALSE(wire.recorded().contains("PASS"));
        EXPECT_FALSE(QFileInfo::exists(QDir(server->root()).filePath(path)));
    }
}
