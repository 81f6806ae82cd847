// CMainFrame rules with the service unreachable (a refused loopback port) and
// without it: creation, messages, command dispatch, zone refresh, the close
// sequence.
#include "frame_test_support.h"
#include "main_frame.h"
#include "platform/message_box.h"
#include "platform/system_open.h"

#include <gtest/gtest.h>

using namespace quillora;
using namespace quillora::presence;
using namespace quillora::presence::test;

namespace {

const QString kConnectFailed = QStringLiteral("Failed to connect to server, please try again later.");

struct DownFrame : ::testing::Test {
    service::SiteAddress site{QStringLiteral("127.0.0.1"), closedLoopbackPort()};
    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    RecordingFrameView view;
    RecordingZones zones;
    CMainFrame frame{site, messages, opener, view};

    void createAs(int role, int level)
    {
        ASSERT_TRUE(frame.create(signInDocument(12, QStringLiteral("marta"), QStringLiteral("pw"), role, level)));
        messages.shown.clear();
    }
};

} // namespace

TEST_F(DownFrame, CreationFailsOnAnUnreadableDocument)
{
    EXPECT_FALSE(frame.create(QStringLiteral("<User><PKID>12</PKID>")));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Failed to load the XML stream into the DOM."));
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Quillora 2007"));
    EXPECT_TRUE(view.texts.empty());
}

TEST_F(DownFrame, CreationGoesOnWithoutTheOnlineCount)
{
    ASSERT_TRUE(frame.create(signInDocument(12, QStringLiteral("marta"), QStringLiteral("pw"), 2, 4,
                                            QStringLiteral("1250"), QStringLiteral("88"))));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, kConnectFailed);
    EXPECT_EQ(view.texts[StatusPane::Prompt], QStringLiteral("Please select a zone"));
    EXPECT_EQ(view.texts[StatusPane::UserName], QStringLiteral("Username:marta"));
    EXPECT_EQ(view.texts[StatusPane::Nickname], QStringLiteral("Nickname:Nick marta"));
    EXPECT_EQ(view.texts[StatusPane::Credit], QStringLiteral("Credit:88"));
    EXPECT_EQ(view.texts[StatusPane::Points], QStringLiteral("Points:1250"));
    EXPECT_EQ(view.texts[StatusPane::Online], QStringLiteral("Online:-"));
    EXPECT_EQ(frame.onlineCount(), -1);
    EXPECT_EQ(view.badge, 4);
    EXPECT_TRUE(view.moderator);
    EXPECT_EQ(frame.pollIntervalMs(), 300000);
}

TEST_F(DownFrame, LevelOutOfRangeKeepsTheFrameWithoutBadge)
{
    createAs(5, 0);
    EXPECT_EQ(view.badge, 0);
    EXPECT_EQ(frame.pollIntervalMs(), 1200000);
    EXPECT_FALSE(view.moderator);
    EXPECT_FALSE(frame.isAvailable(FrameCommand::ModeratorsEntry));
    EXPECT_FALSE(frame.run(FrameCommand::ModeratorsEntry));
    EXPECT_TRUE(opener.opened.isEmpty());
}

TEST_F(DownFrame, RefreshWithTheServiceDownShowsOneMessageAndStillRefreshesTheZone)
{
    createAs(1, 3);
    frame.setZoneViews(&zones);
    zones.zone = 1;
    zones.column = 12;
    const auto before = view.texts;
    view.history.clear();
    EXPECT_TRUE(frame.run(FrameCommand::Refresh));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, kConnectFailed);
    EXPECT_EQ(view.history.front(), QStringLiteral("Refreshing...."));
    EXPECT_EQ(view.texts[StatusPane::Credit], before.at(StatusPane::Credit));
    EXPECT_EQ(view.texts[StatusPane::Points], before.at(StatusPane::Points));
    EXPECT_EQ(view.texts[StatusPane::Online], before.at(StatusPane::Online));
    EXPECT_EQ(zones.calls, (QStringList{QStringLiteral("reset 1"), QStringLiteral("list 1 mode 1 key 12 []")}));
}

TEST_F(DownFrame, ZoneRefreshListsTheColumnOnlyInItsOwnZone)
{
    createAs(1, 3);
    frame.setZoneViews(&zones);
    const std::tuple<int, int, bool> rows[] = {{0, 9, true},   {1, 9, false},  {2, 30, true}, {3, 31, true},
                                               {3, -1, false}, {0, 10, false}, {1, 19, true}};
    for (auto [zone, column, lists] : rows) {
        zones.calls.clear();
        zones.zone = zone;
        zones.column = column;
        frame.zoneRefresh();
        ASSERT_GE(zones.calls.size(), 1);
        EXPECT_EQ(zones.calls[0], QStringLiteral("reset %1").arg(zone));
        EXPECT_EQ(zones.calls.size(), lists ? 2 : 1) << "zone " << zone << " column " << column;
    }
}

TEST_F(DownFrame, ZoneCommandsListPageOneOfTheActiveZone)
{
    createAs(1, 3);
    EXPECT_FALSE(frame.isAvailable(FrameCommand::MyQuestions)); // no zone views yet
    frame.setZoneViews(&zones);
    zones.zone = 2;
    for (FrameCommand c : {FrameCommand::CloseQuestions, FrameCommand::MyQuestions, FrameCommand::MySolutions,
                           FrameCommand::ScoredAnswers, FrameCommand::Announcements})
        EXPECT_TRUE(frame.run(c));
    EXPECT_EQ(zones.calls,
              (QStringList{QStringLiteral("list 2 mode 3 key 1 []"), QStringLiteral("list 2 mode 2 key 1 []"),
                           QStringLiteral("list 2 mode 4 key 1 []"), QStringLiteral("list 2 mode 5 key 1 []"),
                           QStringLiteral("announcements 2")}));
}

TEST_F(DownFrame, SitePagesOpenInTheSystemBrowser)
{
    createAs(3, 3);
    CMainFrame onDefaultPort{service::SiteAddress{QStringLiteral("forum.example"), 80}, messages, opener, view};
    EXPECT_EQ(onDefaultPort.siteAddressOf(FrameCommand::Home), QStringLiteral("http://forum.example/"));
    for (FrameCommand c : {FrameCommand::BuyPoints, FrameCommand::Home, FrameCommand::Help, FrameCommand::Download,
                           FrameCommand::ModeratorsEntry})
        EXPECT_TRUE(frame.run(c));
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(frame.site().port);
    EXPECT_EQ(opener.opened,
              (QStringList{base + QStringLiteral("/Quillora/GetPoints.htm"), base + QStringLiteral("/"),
                           base + QStringLiteral("/Quillora/Help.htm"), base + QStringLiteral("/Quillora/Download.htm"),
                           base + QStringLiteral("/Varnel/Web/Admin/login.aspx")}));
    EXPECT_TRUE(frame.siteAddressOf(FrameCommand::Refresh).isEmpty());
}

TEST_F(DownFrame, PanesAndRefusals)
{
    createAs(4, 3);
    frame.setZoneViews(&zones);
    EXPECT_TRUE(frame.run(FrameCommand::SearchQuestions));
    EXPECT_TRUE(frame.run(FrameCommand::Communication));
    EXPECT_EQ(view.panes, (std::vector<FramePane>{FramePane::Search, FramePane::Contact}));

    // The message board: its own command, and Communication opens it too on a
    // desktop without a tray area (where no tray click can show it).
    EXPECT_FALSE(frame.isAvailable(FrameCommand::MessageBoard));
    int boards = 0;
    frame.dialogs().openMessageBoard = [&] { ++boards; };
    EXPECT_TRUE(frame.run(FrameCommand::MessageBoard));
    EXPECT_TRUE(frame.run(FrameCommand::Communication));
    EXPECT_EQ(boards, 1);
    view.trayArea = false;
    EXPECT_TRUE(frame.run(FrameCommand::Communication));
    EXPECT_EQ(boards, 2);
    EXPECT_EQ(view.panes.back(), FramePane::Contact);

    int mailed = 0;
    frame.dialogs().sendToFriend = [&](int) { return ++mailed, true; };
    zones.question = 0; // 0 is no question, as -1 is
    frame.run(FrameCommand::SendToFriend);
    EXPECT_EQ(messages.lastText(), QStringLiteral("Error: No question selected!"));
    zones.question = 77;
    frame.run(FrameCommand::SendToFriend);
    EXPECT_EQ(mailed, 1);
    EXPECT_EQ(messages.lastText(), QStringLiteral("Your e-mail has been successfully delivered!"));

    int asked = 0;
    frame.dialogs().askQuestion = [&] { return ++asked, true; };
    zones.column = -1;
    frame.run(FrameCommand::AskQuestion);
    EXPECT_EQ(messages.lastText(), QStringLiteral("Please select a zone area before posting question !"));
    // the overdue check cannot be made: the dialog stays shut
    zones.column = 3;
    frame.run(FrameCommand::AskQuestion);
    EXPECT_EQ(messages.lastText(), kConnectFailed);
    EXPECT_EQ(asked, 0);

    frame.dialogs().answerQuestion = [] { return true; };
    zones.question = -1;
    frame.run(FrameCommand::AnswerQuestion);
    EXPECT_EQ(messages.lastText(), QStringLiteral("You need to select a question before posting solution !"));

    // dialogs ending cancelled show nothing
    const auto shown = messages.shown.size();
    frame.dialogs().editAccount = [](int) { return false; };
    frame.dialogs().connectionSettings = [] { return false; };
    frame.run(FrameCommand::EditMyAccount);
    frame.run(FrameCommand::ConnectionSettings);
    EXPECT_EQ(messages.shown.size(), shown);
    frame.dialogs().connectionSettings = [] { return true; };
    frame.run(FrameCommand::ConnectionSettings);
    EXPECT_EQ(messages.lastText(), QStringLiteral("Network config has been successfully updated!"));
    frame.dialogs().editAccount = [](int id) { return id == 12; };
    zones.calls.clear();
    frame.run(FrameCommand::EditMyAccount);
    EXPECT_EQ(messages.lastText(), QStringLiteral("Your profile has been successfully updated!"));
    EXPECT_EQ(zones.calls.value(0), QStringLiteral("reset 0"));
}

TEST_F(DownFrame, HooksForTheZoneViews)
{
    createAs(4, 3);
    std::vector<int> loaded;
    frame.dialogs().loadQuestionExperts = [&](int id) { loaded.push_back(id); };
    frame.openExpertsOfOwnQuestion(0);
    frame.openExpertsOfOwnQuestion(-1);
    EXPECT_TRUE(view.panes.empty());
    frame.openExpertsOfOwnQuestion(5);
    EXPECT_EQ(view.panes, std::vector<FramePane>{FramePane::Contact});
    EXPECT_EQ(view.collapsed, std::vector<FramePane>{FramePane::Contact}); // back to its tab
    EXPECT_EQ(loaded, std::vector<int>{5});

    std::vector<int> zones;
    frame.dialogs().searchPaneZone = [&](int z) { zones.push_back(z); };
    for (int z : {2, 4, -1, 0})
        frame.setSearchPaneZone(z);
    EXPECT_EQ(zones, (std::vector<int>{2, 0}));
}

TEST_F(DownFrame, CloseWithTheServiceUnreachableStillClosesSilently)
{
    createAs(4, 3);
    frame.closeSequence();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(view.trayRemoved);
    EXPECT_TRUE(view.ended);
    view.ended = false;
    frame.closeSequence(); // runs once
    EXPECT_FALSE(view.ended);
}
