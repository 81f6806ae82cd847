// Start-up from the sign-in dialog to the update offer, through fake screens.
// The service answers come from a scripted peer (documents the real server
// never sends) or from nowhere (a dead port); the paths the real server
// drives are in signin_server_test.cpp.
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "session_test_support.h"
#include "startup_sequence.h"

#include <gtest/gtest.h>

using namespace quillora::session;
using quillora::platform::RecordingMessageBoxes;
using quillora::platform::RecordingSystemOpener;
using quillora::service::SiteAddress;
using quillora::testpeers::PeerScript;
using quillora::testpeers::ScriptedHttpPeer;
using sessiontest::answering;

namespace sessiontest {

class FakeScreens : public StartupScreens {
  public:
    bool signInAccepted = true;
    QString userName = QStringLiteral("alice");
    QString password = QStringLiteral("alice123");
    bool frameCreates = true;
    bool updateOffered = false;
    bool answerYes = false;

    QStringList calls;
    QString frameDocument;
    QString askedCurrent, askedLatest;

    bool runSignIn(QString *name, QString *pw) override
    {
        calls << QStringLiteral("sign-in");
        *name = userName;
        *pw = password;
        return signInAccepted;
    }
    void showConnecting() override { calls << QStringLiteral("connecting shown"); }
    void destroyConnecting() override { calls << QStringLiteral("connecting destroyed"); }
    bool createMainFrame(const QString &document) override
    {
        calls << QStringLiteral("frame created");
        frameDocument = document;
        return frameCreates;
    }
    void showMainFrameMaximized() override { calls << QStringLiteral("frame shown"); }
    bool checkForUpdate(QString *current, QString *latest) override
    {
        calls << QStringLiteral("update check");
        *current = QStringLiteral("3.5.0.1");
        *latest = QStringLiteral("3.5.0.2");
        return updateOffered;
    }
    bool askToDownload(const QString &current, const QString &latest) override
    {
        calls << QStringLiteral("update asked");
        askedCurrent = current;
        askedLatest = latest;
        return answerYes;
    }
};

} // namespace sessiontest

namespace {

using sessiontest::FakeScreens;

struct StartupRun {
    FakeScreens screens;
    RecordingMessageBoxes messages;
    RecordingSystemOpener opener;
    StartupOutcome outcome{};

    void start(const SiteAddress &site)
    {
        StartupSequence seq(site, screens, messages, opener, [] { return QStringLiteral("192.0.2.7"); });
        outcome = seq.run();
    }
};

SiteAddress siteOf(const ScriptedHttpPeer &peer)
{
    return {QStringLiteral("127.0.0.1"), quint16(peer.port())};
}

const QByteArray kUserDocument =
    "&lt;Users&gt;&lt;User&gt;&lt;PKID&gt;42&lt;/PKID&gt;&lt;UserName&gt;alice&lt;/UserName&gt;"
    "&lt;/User&gt;&lt;/Users&gt;";

} // namespace

TEST(StartupSequence, CancelledSignInEndsBeforeAnyCall)
{
    StartupRun r;
    r.screens.signInAccepted = false;
    r.start({QStringLiteral("127.0.0.1"), sessiontest::deadPort()});
    EXPECT_EQ(r.outcome, StartupOutcome::SignInCancelled);
    EXPECT_EQ(r.screens.calls, QStringList{QStringLiteral("sign-in")});
    EXPECT_TRUE(r.messages.shown.empty());
}

TEST(StartupSequence, ServerDownIsAConnectFailureWithAnApplicationMessage)
{
    StartupRun r;
    r.start({QStringLiteral("127.0.0.1"), sessiontest::deadPort()});
    EXPECT_EQ(r.outcome, StartupOutcome::ConnectFailed);
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].text, QStringLiteral("Failed to connect to server, please try again later."));
    EXPECT_EQ(r.messages.shown[0].caption, QStringLiteral("Quillora 2007"));
    EXPECT_EQ(r.messages.shown[0].owner, nullptr);
    EXPECT_EQ(r.screens.calls, (QStringList{QStringLiteral("sign-in"), QStringLiteral("connecting shown"),
                                            QStringLiteral("connecting destroyed")}));
}

TEST(StartupSequence, UnparsableUserDocumentEndsStartUp)
{
    ScriptedHttpPeer peer({
        answering("IsUserExistsByName", "<IsUserExistsByNameResult>true</IsUserExistsByNameResult>"),
        answering("GetUserByUserName", "<GetUserByUserNameResult>&lt;User&gt;&lt;PKID&gt;4</GetUserByUserNameResult>"),
    });
    StartupRun r;
    r.start(siteOf(peer));
    EXPECT_EQ(r.outcome, StartupOutcome::DocumentFailed);
    ASSERT_EQ(r.messages.shown.size(), 1u);
    EXPECT_EQ(r.messages.shown[0].text, QStringLiteral("Failed to load the XML stream into the DOM."));
    EXPECT_EQ(r.screens.calls.last(), QStringLiteral("connecting destroyed"));
    EXPECT_EQ(peer.connectionCount(), 2); // SetUserOnline is never called
}

TEST(StartupSequence, MissingUserDocumentFailsToParse)
{
    // A response without the result element succeeds with a null document.
    ScriptedHttpPeer peer({
        answering("IsUserExistsByName", "<IsUserExistsByNameResult>true</IsUserExistsByNameResult>"),
        answering("GetUserByUserName", ""),
    });
    StartupRun r;
    r.start(siteOf(peer));
    EXPECT_EQ(r.outcome, StartupOutcome::DocumentFailed);
    EXPECT_EQ(r.messages.lastText(), QStringLiteral("Failed to load the XML stream into the DOM."));
}

TEST(StartupSequence, SetUserOnlineFailureEndsStartUp)
{
    ScriptedHttpPeer peer({
        answering("IsUserExistsByName", "<IsUserExistsByNameResult>true</IsUserExistsByNameResult>"),
        answering("GetUserByUserName", "<GetUserByUserNameResult>" + kUserDocument + "</GetUserByUserNameResult>"),
        PeerScript().readRequest().close(),
    });
    StartupRun r;
    r.start(siteOf(peer));
    EXPECT_EQ(r.outcome, StartupOutcome::OnlineFailed);
    EXPECT_EQ(r.messages.lastText(), QStringLiteral("Failed to connect to server, please try again later."));
    EXPECT_FALSE(r.screens.calls.contains(QStringLiteral("frame created")));
    const auto requests = peer.allRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_TRUE(requests[2].contains("<userID>42</userID>"));
    EXPECT_TRUE(requests[2].contains("<ipAddress>192.0.2.7</ipAddress>"));
}

TEST(StartupSequence, FalseOnlineResultStillCountsAsSuccessAndFrameFailureEnds)
{
    ScriptedHttpPeer peer({
        answering("IsUserExistsByName", "<IsUserExistsByNameResult>true</IsUserExistsByNameResult>"),
        answering("GetUserByUserName", "<GetUserByUserNameResult>" + kUserDocument + "</GetUserByUserNameResult>"),
        answering("SetUserOnline", "<SetUserOnlineResult>false</SetUserOnlineResult>"),
    });
    StartupRun r;
    r.screens.frameCreates = false;
    r.start(siteOf(peer));
    EXPECT_EQ(r.outcome, StartupOutcome::FrameFailed);
    EXPECT_TRUE(r.messages.shown.empty()); // the frame shows its own message
    EXPECT_EQ(r.screens.frameDocument,
              QStringLiteral("<Users><User><PKID>42</PKID><UserName>alice</UserName></User></Users>"));
    EXPECT_EQ(r.screens.calls.last(), QStringLiteral("connecting destroyed"));
}
