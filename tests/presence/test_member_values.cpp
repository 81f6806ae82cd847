// Member working values from sign-in documents, the poll interval, badges and
// the command catalogue's texts.
#include "frame_commands.h"
#include "main_frame.h"
#include "member_values.h"

#include <gtest/gtest.h>

using namespace quillora::presence;
using quillora::service::DocumentStatus;

namespace {

// A User record whose children are named f0, f1, ... with the given texts.
QString userDocument(const QStringList &fields)
{
    QString xml = QStringLiteral("<NewDataSet><User>");
    for (int i = 0; i < fields.size(); ++i)
        xml += QStringLiteral("<f%1>%2</f%1>").arg(i).arg(fields.at(i));
    return xml + QStringLiteral("</User></NewDataSet>");
}

QStringList fullRecord()
{
    QStringList f;
    for (int i = 0; i < 18; ++i)
        f << QStringLiteral("x%1").arg(i);
    f[0] = QStringLiteral("42");
    f[1] = QStringLiteral("marta");
    f[2] = QStringLiteral("s3cret pw");
    f[3] = QStringLiteral("Marta K.");
    f[4] = QStringLiteral("7");
    f[5] = QStringLiteral("1250");
    f[7] = QStringLiteral("88 ");
    f[15] = QStringLiteral("3");
    f[17] = QStringLiteral("6");
    return f;
}

} // namespace

TEST(MemberValues, FullRecordIsReadByPosition)
{
    MemberValues m;
    ASSERT_EQ(readMemberValues(userDocument(fullRecord()), m), DocumentStatus::Ok);
    EXPECT_EQ(m.userID, 42);
    EXPECT_EQ(m.userName, QStringLiteral("marta"));
    EXPECT_EQ(m.password, QStringLiteral("s3cret pw"));
    EXPECT_EQ(m.nickname, QStringLiteral("Marta K."));
    EXPECT_EQ(m.headImage, 7);
    EXPECT_EQ(m.points, 1250);
    EXPECT_EQ(m.pointsText, QStringLiteral("1250"));
    EXPECT_EQ(m.credit, 88);
    EXPECT_EQ(m.creditText, QStringLiteral("88 ")); // the status bar shows the element's text
    ASSERT_TRUE(m.role.has_value());
    EXPECT_EQ(*m.role, 3);
    EXPECT_EQ(m.level, 6);
    EXPECT_TRUE(m.mayEnterAsModerator());
}

TEST(MemberValues, ShortRecordLeavesLaterFieldsUnset)
{
    QStringList f = fullRecord().mid(0, 5);
    MemberValues m;
    ASSERT_EQ(readMemberValues(userDocument(f), m), DocumentStatus::Ok);
    EXPECT_EQ(m.userID, 42);
    EXPECT_EQ(m.headImage, 7);
    EXPECT_EQ(m.points, 0);
    EXPECT_TRUE(m.pointsText.isNull());
    EXPECT_TRUE(m.creditText.isNull());
    EXPECT_FALSE(m.role.has_value());
    EXPECT_EQ(m.level, 0);
    // an unknown role never opens the moderators' entry
    EXPECT_FALSE(m.mayEnterAsModerator());
}

TEST(MemberValues, ChildrenBeyondTheEighteenthAreIgnoredAndOnlyTheFirstRecordCounts)
{
    QStringList f = fullRecord();
    f << QStringLiteral("extra") << QStringLiteral("more");
    QString doc = userDocument(f);
    doc.replace(QStringLiteral("</NewDataSet>"), QStringLiteral("<User><a>99</a><b>other</b></User></NewDataSet>"));
    MemberValues m;
    ASSERT_EQ(readMemberValues(doc, m), DocumentStatus::Ok);
    EXPECT_EQ(m.userID, 42);
    EXPECT_EQ(m.userName, QStringLiteral("marta"));
    EXPECT_EQ(m.level, 6);
    // The sign-in record the values come from holds the eighteen fields and
    // no more: the extra children are not taken as fields.
    const quillora::service::DocumentRecords read =
        quillora::service::readRecords(doc, quillora::service::kUserTag, 1, quillora::service::kSignInUserFields);
    ASSERT_EQ(read.records.size(), 1u);
    EXPECT_EQ(read.records[0].size(), 18);
    EXPECT_EQ(read.records[0].last(), QStringLiteral("6"));
    EXPECT_FALSE(read.records[0].contains(QStringLiteral("extra")));
}

TEST(MemberValues, UnreadableDocumentsChangeNothing)
{
    MemberValues m;
    m.userName = QStringLiteral("kept");
    EXPECT_EQ(readMemberValues(QStringLiteral("<User><PKID>1</PKID>"), m), DocumentStatus::NotLoaded);
    EXPECT_EQ(readMemberValues(QString(), m), DocumentStatus::NotLoaded);
    EXPECT_EQ(m.userName, QStringLiteral("kept"));
    // well-formed but without a User record: fine, nothing taken
    EXPECT_EQ(readMemberValues(QStringLiteral("<Empty/>"), m), DocumentStatus::Ok);
    EXPECT_EQ(m.userName, QStringLiteral("kept"));
}

TEST(MemberValues, RefreshTakesOnlyPointsAndCredit)
{
    MemberValues m;
    ASSERT_EQ(readMemberValues(userDocument(fullRecord()), m), DocumentStatus::Ok);
    QStringList fresh = fullRecord();
    fresh[1] = QStringLiteral("renamed");
    fresh[3] = QStringLiteral("New Nick");
    fresh[5] = QStringLiteral("1300");
    fresh[7] = QStringLiteral("90");
    fresh[15] = QStringLiteral("9");
    fresh[17] = QStringLiteral("2");
    ASSERT_EQ(refreshPointsAndCredit(userDocument(fresh), m), DocumentStatus::Ok);
    EXPECT_EQ(m.points, 1300);
    EXPECT_EQ(m.credit, 90);
    EXPECT_EQ(m.creditText, QStringLiteral("90"));
    EXPECT_EQ(m.userName, QStringLiteral("marta"));
    EXPECT_EQ(m.nickname, QStringLiteral("Marta K."));
    EXPECT_EQ(*m.role, 3);
    EXPECT_EQ(m.level, 6);
}

TEST(MemberValues, RoleDecidesTheModeratorsEntry)
{
    for (int role : {0, 1, 2, 3, 4, 5, 10}) {
        QStringList f = fullRecord();
        f[15] = QString::number(role);
        MemberValues m;
        readMemberValues(userDocument(f), m);
        EXPECT_EQ(m.mayEnterAsModerator(), role < 4) << "role " << role;
    }
}

TEST(PollInterval, EveryLevel)
{
    const std::pair<int, int> expected[] = {
        {1, 1200000}, {2, 600000}, {3, 400000}, {4, 300000}, {5, 240000},
        {6, 200000},  {7, 171428}, {8, 150000}, {9, 133333}, {10, 120000},
    };
    for (auto [level, ms] : expected) {
        EXPECT_EQ(pollIntervalForLevel(level), ms) << "level " << level;
        EXPECT_EQ(badgeForLevel(level), level);
    }
    // out of range: twenty minutes and no badge, never a division by zero
    for (int level : {0, -1, 11, 100, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        EXPECT_EQ(pollIntervalForLevel(level), 1200000) << "level " << level;
        EXPECT_EQ(badgeForLevel(level), 0) << "level " << level;
    }
}

TEST(StatusTexts, PanesCarryTheirPrefixes)
{
    EXPECT_EQ(idleStatusText(), QStringLiteral("Please select a zone"));
    EXPECT_EQ(refreshingStatusText(), QStringLiteral("Refreshing...."));
    EXPECT_EQ(userNameStatusText(QStringLiteral("marta")), QStringLiteral("Username:marta"));
    EXPECT_EQ(nicknameStatusText(QStringLiteral("M K")), QStringLiteral("Nickname:M K"));
    EXPECT_EQ(creditStatusText(QStringLiteral("88")), QStringLiteral("Credit:88"));
    EXPECT_EQ(pointsStatusText(QStringLiteral("1250")), QStringLiteral("Points:1250"));
    EXPECT_EQ(onlineStatusText(17), QStringLiteral("Online:17"));
    EXPECT_EQ(kStatusPaneWidths, (std::array<int, 7>{100, 130, 135, 70, 65, 80, 70}));
}

TEST(Commands, PromptsSplitIntoStatusTipAndToolTip)
{
    EXPECT_EQ(commandStatusTip(FrameCommand::AskQuestion), QStringLiteral("Ask a new question "));
    EXPECT_EQ(commandToolTip(FrameCommand::AskQuestion), QStringLiteral("Ask Question"));
    EXPECT_EQ(commandStatusTip(FrameCommand::Download), QStringLiteral("Download the latest vesion"));
    EXPECT_EQ(commandStatusTip(FrameCommand::SaveQuestion), QStringLiteral("Save the current question and solutions"));
    // no tooltip part: the caption without its accelerator hint and mnemonic
    EXPECT_EQ(commandToolTip(FrameCommand::SaveQuestion), QStringLiteral("Save Question"));
    EXPECT_EQ(commandToolTip(FrameCommand::About), QStringLiteral("About"));
    EXPECT_TRUE(commandStatusTip(FrameCommand::Exit).isEmpty());
    for (const CommandInfo &c : frameCommands())
        EXPECT_EQ(&commandInfo(c.command), &c) << "catalogue out of order";
}

TEST(Commands, ToolbarOrderAndTray)
{
    using C = FrameCommand;
    const std::vector<C> expected{C::SaveQuestion,
                                  C::SaveMessage,
                                  kToolbarSeparator,
                                  C::AskQuestion,
                                  C::AnswerQuestion,
                                  kToolbarSeparator,
                                  C::CloseQuestions,
                                  C::BuyPoints,
                                  kToolbarSeparator,
                                  C::MyQuestions,
                                  C::MySolutions,
                                  C::ScoredAnswers,
                                  C::Announcements,
                                  kToolbarSeparator,
                                  C::SearchQuestions,
                                  C::Communication,
                                  C::Refresh,
                                  kToolbarSeparator,
                                  C::Home,
                                  C::SendToFriend,
                                  C::Download,
                                  C::Help};
    const auto layout = toolbarLayout();
    EXPECT_EQ(std::vector<C>(layout.begin(), layout.end()), expected);
    for (C c : layout) {
        if (c != kToolbarSeparator) {
            EXPECT_NE(QString::fromUtf16(commandInfo(c).iconName), QString()) << static_cast<int>(c);
        }
    }
    ASSERT_EQ(trayMenu().size(), 3u);
    EXPECT_EQ(trayMenu()[0].command, C::SearchQuestions);
    EXPECT_EQ(QString::fromUtf16(trayMenu()[0].caption), QStringLiteral("Search Solutions"));
}

TEST(Commands, ZoneOfColumn)
{
    EXPECT_EQ(zoneOfColumn(1), 0);
    EXPECT_EQ(zoneOfColumn(9), 0);
    EXPECT_EQ(zoneOfColumn(10), 1);
    EXPECT_EQ(zoneOfColumn(19), 1);
    EXPECT_EQ(zoneOfColumn(20), 2);
    EXPECT_EQ(zoneOfColumn(30), 2);
    EXPECT_EQ(zoneOfColumn(31), 3);
    EXPECT_EQ(zoneOfColumn(41), 3);
    EXPECT_EQ(zoneOfColumn(0), -1);
    EXPECT_EQ(zoneOfColumn(-1), -1);
    EXPECT_EQ(zoneOfColumn(42), -1);
}
