// The demo community as the client sees it, and the operations that need a
// lived-in community: experts online per zone and per question, answer
// providers, announcements, scores per area and the lists of closed questions.
#include "server_test_support.h"

#include <set>

using namespace servertest;
using quillora::testpeers::VarnelServerProcess;

namespace {

class DemoTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        server = new VarnelServerProcess({.demo = true});
        ASSERT_TRUE(server->started()) << server->error();
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(server && server->started());
        proxy = proxyFor(*server);
    }
    int userId(const QString &name)
    {
        QString doc;
        EXPECT_TRUE(qs::succeeded(proxy->GetUserByUserName(name, name + QStringLiteral("123"), &doc)));
        qs::DocumentStatus status;
        return toInt(qs::readFirstElementText(doc, u"PKID", &status));
    }

    static VarnelServerProcess *server;
    std::unique_ptr<qs::CVarnelServices> proxy;
};
VarnelServerProcess *DemoTest::server = nullptr;

TEST_F(DemoTest, PrintsItsAccountsAfterTheListeningLine)
{
    const auto lines = server->stdoutLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "varnel-server listening on http://127.0.0.1:" + std::to_string(server->port()));
    EXPECT_EQ(lines[1], "demo account alice / alice123 (member)");
    EXPECT_EQ(lines.back(), "varnel-server ready");
    // Every printed account signs in with its printed password.
    for (const std::string &line : lines) {
        if (line.rfind("demo account ", 0) != 0)
            continue;
        const auto slash = line.find(" / ");
        const QString name = QString::fromStdString(line.substr(13, slash - 13));
        const QString password = QString::fromStdString(line.substr(slash + 3, line.find(' ', slash + 3) - slash - 3));
        QString doc;
        EXPECT_TRUE(qs::succeeded(proxy->GetUserByUserName(name, password, &doc))) << line;
    }
}

TEST_F(DemoTest, EveryColumnHasQuestionsAndSomeNeedPaging)
{
    int busy = 0;
    for (int column = 1; column <= 41; ++column) {
        QString doc;
        int total = 0;
        ASSERT_TRUE(qs::succeeded(proxy->GetForumPostListByColumn(column, 15, 1, &doc, &total)));
        EXPECT_GE(total, 4) << column;
        if (total > 40)
            ++busy;
        for (const auto &row : records(doc, qs::kForumPostsTag))
            EXPECT_EQ(toInt(row.at(6)), column);
    }
    EXPECT_GE(busy, 4);
}

// Where a new member looks first the community does not repeat itself: no
// title twice in a column, no answer text twice under a question.
TEST_F(DemoTest, TitlesAndAnswersDoNotRepeat)
{
    int questions = 0;
    for (int column = 1; column <= 41; ++column) {
        std::set<QString> titles;
        int total = 0;
        for (int page = 1; page == 1 || (page - 1) * 15 < total; ++page) {
            QString doc;
            ASSERT_TRUE(qs::succeeded(proxy->GetForumPostListByColumn(column, 15, page, &doc, &total)));
            for (const auto &row : records(doc, qs::kForumPostsTag)) {
                EXPECT_TRUE(titles.insert(row.at(1)).second) << column << ": " << row.at(1).toStdString();
                ++questions;
                QString answers;
                ASSERT_TRUE(qs::succeeded(proxy->GetForumReplyListByPostID(toInt(row.at(0)), &answers)));
                std::set<QString> texts;
                for (const auto &answer : records(answers, u"ForumReply"))
                    EXPECT_TRUE(texts.insert(answer.at(5)).second) << "question " << row.at(0).toStdString();
            }
        }
    }
    EXPECT_GT(questions, 300);
}

TEST_F(DemoTest, AnnouncementsOfEveryKindInEveryZone)
{
    for (int zone = 1; zone <= 4; ++zone) {
        QString doc;
        ASSERT_TRUE(qs::succeeded(proxy->SendThreadsByType(zone, &doc)));
        const auto rows = records(doc, qs::kForumPostsTag, qs::kAnnouncementFields);
        std::set<int> kinds;
        for (const auto &r : rows) {
            kinds.insert(toInt(r[0]));
            EXPECT_FALSE(r[2].isEmpty());
            if (toInt(r[0]) == 3) {
                // A featured question: its target is a question ID that exists.
                int total = 0;
                QString found;
                ASSERT_TRUE(qs::succeeded(proxy->GetSearchForumPostByID(toInt(r[2]), &found, &total)));
                EXPECT_EQ(total, 1);
            }
        }
        EXPECT_EQ(kinds, (std::set<int>{0, 1, 2, 3})) << zone;
        EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [](const auto &r) { return r[1].contains(u'{'); }));
    }
    QString doc;
    ASSERT_TRUE(qs::succeeded(proxy->SendThreadsByType(7, &doc)));
    EXPECT_TRUE(records(doc, qs::kForumPostsTag).empty());
}

TEST_F(DemoTest, StarExpertsAreOnlineWithRanksAndAreas)
{
    for (int zone = 1; zone <= 4; ++zone) {
        QString doc;
        ASSERT_TRUE(qs::succeeded(proxy->GetExpertListOnline(zone, &doc)));
        const auto experts = records(doc, qs::kUserTag, qs::kZoneExpertFields);
        ASSERT_GE(experts.size(), 2u) << zone;
        for (const auto &e : experts) {
            ASSERT_EQ(e.size(), qs::kZoneExpertFields);
            EXPECT_GE(toInt(e[6]), 3); // zone rank of an expert
            EXPECT_LE(toInt(e[6]), 10);
            const int area = toInt(e[7]);
            EXPECT_TRUE(area >= 1 && area <= 41);
        }
    }
}

TEST_F(DemoTest, ExpertsAndAnswerProvidersOfAQuestion)
{
    const int alice = userId(QStringLiteral("alice"));
    const int bob = userId(QStringLiteral("bob"));
    // Alice's own open question in Software has answers from star experts.
    QString doc;
    int total = 0;
    ASSERT_TRUE(qs::succeeded(proxy->GetPostsByEndingUserID(alice, 15, 1, 1, &doc, &total)));
    ASSERT_GE(total, 1);
    const int question = toInt(records(doc, qs::kForumPostsTag).at(0).at(0));

    ASSERT_TRUE(qs::succeeded(proxy->GetExpertListOnlineByPostID(question, &doc)));
    const auto experts = records(doc, qs::kUserTag, qs::kPostExpertFields);
    ASSERT_FALSE(experts.empty());
    for (const auto &e : experts)
        EXPECT_NE(toInt(e[0]), alice); // never the asker

    // Answer providers are those online who answered: bob signs in and answers.
    bool ok = false;
    ASSERT_TRUE(qs::succeeded(proxy->SetUserOnline(bob, QStringLiteral("10.1.1.1"), &ok)));
    int reply = 0;
    ASSERT_TRUE(qs::succeeded(proxy->CreatForumReply(question, bob, 1, QStringLiteral("Me too"), &ok, &reply)));
    ASSERT_TRUE(ok);
    ASSERT_TRUE(qs::succeeded(proxy->GetReplierListOnlineByPostID(question, &doc)));
    const auto providers = records(doc, qs::kUserTag, qs::kPostExpertFields);
    std::set<int> ids;
    for (const auto &p : providers)
        ids.insert(toInt(p[0]));
    EXPECT_TRUE(ids.count(bob));
    EXPECT_FALSE(ids.count(alice));
    ASSERT_TRUE(qs::succeeded(proxy->SetUserOffline(bob, &ok)));
    ASSERT_TRUE(qs::succeeded(proxy->GetReplierListOnlineByPostID(question, &doc)));
    for (const auto &p : records(doc, qs::kUserTag))
        EXPECT_NE(toInt(p[0]), bob);
}

TEST_F(DemoTest, ScoresPerAreaAndTheListsOfAnsweredAndScoredQuestions)
{
    const int guru = userId(QStringLiteral("winguru"));
    QString doc;
    ASSERT_TRUE(qs::succeeded(proxy->GetUserScoresByUserID(guru, &doc)));
    const auto rows = records(doc, qs::kUserTag, qs::kScoreFields);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0][2], QStringLiteral("Software"));
    EXPECT_GT(toInt(rows[0][1]), 0);
    EXPECT_GE(toInt(rows[0][3]), 3);
    EXPECT_EQ(rows[4][2], QStringLiteral("All Zones"));

    int total = 0;
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostsByScoreUserID(guru, 15, 1, 1, &doc, &total)));
    EXPECT_GT(total, 0);
    int answered = 0;
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostsByReplyUserID(guru, 15, 1, 1, &doc, &answered)));
    EXPECT_GE(answered, total);
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostsByScoreUserID(guru, 15, 1, 3, &doc, &total)));
    EXPECT_EQ(total, 0); // no points outside his zone

    // The sign-in document of a star expert: grade above 5, so a custom image is allowed.
    ASSERT_TRUE(qs::succeeded(proxy->GetUserByUserID(guru, &doc)));
    EXPECT_GT(toInt(records(doc, qs::kUserTag).at(0).at(9)), 5);
    ASSERT_TRUE(qs::succeeded(proxy->GetUserByUserName(QStringLiteral("winguru"), QStringLiteral("winguru123"), &doc)));
    const auto user = records(doc, qs::kUserTag, qs::kSignInUserFields);
    EXPECT_EQ(toInt(user.at(0).at(15)), 4);
    EXPECT_GT(toInt(user.at(0).at(17)), 1);
}

TEST_F(DemoTest, OverdueQuestionsAndWaitingMessages)
{
    bool overdue = false;
    const int bob = userId(QStringLiteral("bob"));
    ASSERT_TRUE(qs::succeeded(proxy->GetOverduePostsByUserID(bob, 1, &overdue)));
    EXPECT_TRUE(overdue);
    ASSERT_TRUE(qs::succeeded(proxy->GetOverduePostsByUserID(bob, 2, &overdue)));
    EXPECT_FALSE(overdue);

    // Moderators may post announcements (role below 4).
    QString doc;
    ASSERT_TRUE(
        qs::succeeded(proxy->GetUserByUserName(QStringLiteral("moderator"), QStringLiteral("moderator123"), &doc)));
    EXPECT_LT(toInt(records(doc, qs::kUserTag).at(0).at(15)), 4);

    const int carol = userId(QStringLiteral("carol"));
    ASSERT_TRUE(qs::succeeded(proxy->GetMessage(carol, &doc)));
    EXPECT_TRUE(records(doc, qs::kMessageTag).empty());
    const int alice = userId(QStringLiteral("alice"));
    ASSERT_TRUE(qs::succeeded(proxy->GetMessage(alice, &doc)));
    EXPECT_EQ(records(doc, qs::kMessageTag).size(), 10u);
    ASSERT_TRUE(qs::succeeded(proxy->GetMessage(alice, &doc)));
    EXPECT_EQ(records(doc, qs::kMessageTag).size(), 2u);
}

} // namespace
