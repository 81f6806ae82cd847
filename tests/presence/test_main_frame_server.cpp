// CMainFrame against the real varnel-server on loopback: creation with the
// online count, the status refresh, the overdue check of "Ask Question" and
// the close sequence signing the member out.
#include "frame_test_support.h"
#include "main_frame.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include <gtest/gtest.h>

using namespace quillora;
using namespace quillora::presence;
using namespace quillora::presence::test;

namespace {

struct ServerFrame : ::testing::Test {
    static void SetUpTestSuite() { server = new testpeers::VarnelServerProcess({.demo = true}); }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(server->started()) << server->error(); }

    service::SiteAddress site() const { return {QStringLiteral("127.0.0.1"), static_cast<quint16>(server->port())}; }

    // Signs a demo member in as start-up does and returns his user document.
    QString signIn(const QString &name)
    {
        QString document;
        service::CVarnelServices proxy(site());
        proxy.useServiceAccount(service::Op::GetUserByUserName);
        EXPECT_TRUE(service::succeeded(proxy.GetUserByUserName(name, name + QStringLiteral("123"), &document)));
        service::DocumentStatus status;
        const int id = service::leadingInt(service::readFirstElementText(document, u"PKID", &status));
        bool ignored = false;
        proxy.useServiceAccount(service::Op::SetUserOnline);
        EXPECT_TRUE(service::succeeded(proxy.SetUserOnline(id, QStringLiteral("127.0.0.1"), &ignored)));
        return document;
    }

    // The user names in the online list and the online count.
    QStringList online(int *count = nullptr)
    {
        QString list;
        int total = -1;
        service::CVarnelServices proxy(site());
        proxy.useServiceAccount(service::Op::GetUserListOnline);
        EXPECT_TRUE(service::succeeded(proxy.GetUserListOnline(100, 1, &list, &total)));
        if (count)
            *count = total;
        QStringList names;
        for (const auto &record : service::readRecords(list, service::kUserTag, 100, 2).records)
            names << record.value(1);
        return names;
    }

    static testpeers::VarnelServerProcess *server;
    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    RecordingFrameView view;
};
testpeers::VarnelServerProcess *ServerFrame::server = nullptr;

} // namespace

TEST_F(ServerFrame, CreationShowsTheMemberAndTheOnlineCount)
{
    const QString document = signIn(QStringLiteral("alice"));
    MemberValues expected;
    ASSERT_EQ(readMemberValues(document, expected), service::DocumentStatus::Ok);
    int count = 0;
    online(&count);

    CMainFrame frame(site(), messages, opener, view);
    ASSERT_TRUE(frame.create(document));
    EXPECT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    EXPECT_EQ(frame.member().userName, QStringLiteral("alice"));
    EXPECT_GT(frame.member().userID, 0);
    EXPECT_EQ(frame.onlineCount(), count);
    EXPECT_EQ(view.texts[StatusPane::Online], QStringLiteral("Online:%1").arg(count));
    EXPECT_EQ(view.texts[StatusPane::UserName], QStringLiteral("Username:alice"));
    EXPECT_EQ(view.texts[StatusPane::Credit], QStringLiteral("Credit:") + expected.creditText);
    EXPECT_EQ(view.texts[StatusPane::Points], QStringLiteral("Points:") + expected.pointsText);
    EXPECT_EQ(view.badge, badgeForLevel(expected.level));
    EXPECT_EQ(frame.pollIntervalMs(), pollIntervalForLevel(expected.level));
}

TEST_F(ServerFrame, RefreshPicksUpANewOnlineCount)
{
    CMainFrame frame(site(), messages, opener, view);
    ASSERT_TRUE(frame.create(signIn(QStringLiteral("carol"))));
    const int before = frame.onlineCount();
    signIn(QStringLiteral("dave"));
    EXPECT_TRUE(frame.run(FrameCommand::Refresh));
    EXPECT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    EXPECT_EQ(frame.onlineCount(), before + 1);
    EXPECT_EQ(view.texts[StatusPane::Online], QStringLiteral("Online:%1").arg(before + 1));
    EXPECT_EQ(view.texts[StatusPane::Prompt], QStringLiteral("Please select a zone"));
}

TEST_F(ServerFrame, RefreshWithAWrongPasswordKeepsTheFields)
{
    // the member's password changed elsewhere: GetUserByUserName fails
    QString document = signIn(QStringLiteral("erin"));
    document.replace(QStringLiteral("erin123"), QStringLiteral("stale-password"));
    CMainFrame frame(site(), messages, opener, view);
    ASSERT_TRUE(frame.create(document));
    const auto before = view.texts;
    EXPECT_FALSE(frame.statusRefresh());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to connect to server, please try again later."));
    EXPECT_EQ(view.texts, before);
}

TEST_F(ServerFrame, AskQuestionOpensTheDialogWhenNothingIsOverdue)
{
    CMainFrame frame(site(), messages, opener, view);
    ASSERT_TRUE(frame.create(signIn(QStringLiteral("bob"))));
    RecordingZones zones;
    zones.zone = 3;
    zones.column = 33;
    frame.setZoneViews(&zones);
    int opened = 0;
    frame.dialogs().askQuestion = [&] { return ++opened, true; };
    frame.run(FrameCommand::AskQuestion);
    EXPECT_EQ(opened, 1);
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("The question has been successfully posted!"));
    EXPECT_EQ(messages.shown.size(), 1u) << messages.lastText().toStdString(); // the refresh succeeded quietly
    EXPECT_EQ(zones.calls, (QStringList{QStringLiteral("reset 3"), QStringLiteral("list 3 mode 1 key 33 []")}));
}

// The demo's bob has an overdue question in the Software zone (number 1,
// index 0) and none in Hardware: the check asks about the zone by its number.
TEST_F(ServerFrame, AskQuestionIsRefusedOnlyInTheZoneWithTheOverdueQuestion)
{
    CMainFrame frame(site(), messages, opener, view);
    ASSERT_TRUE(frame.create(signIn(QStringLiteral("bob"))));
    RecordingZones zones;
    frame.setZoneViews(&zones);
    int opened = 0;
    frame.dialogs().askQuestion = [&] { return ++opened, false; };

    zones.zone = 0;
    zones.column = 2;
    frame.run(FrameCommand::AskQuestion);
    EXPECT_EQ(opened, 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.lastText(), QStringLiteral("You need to click 'Close Questions' button to close overdue "
                                                  "questions before posting new !"));

    zones.zone = 1;
    zones.column = 12;
    frame.run(FrameCommand::AskQuestion);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(messages.shown.size(), 1u) << messages.lastText().toStdString();
}

TEST_F(ServerFrame, CloseSignsTheMemberOut)
{
    CMainFrame frame(site(), messages, opener, view);
    ASSERT_TRUE(frame.create(signIn(QStringLiteral("moderator"))));
    int before = 0;
    ASSERT_TRUE(online(&before).contains(QStringLiteral("moderator")));
    frame.closeSequence();
    int after = 0;
    EXPECT_FALSE(online(&after).contains(QStringLiteral("moderator")));
    EXPECT_EQ(after, before - 1);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(view.trayRemoved);
    EXPECT_TRUE(view.ended);
}
