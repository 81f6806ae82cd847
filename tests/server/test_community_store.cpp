// The community rules as the SQLite store applies them, with a clock the test
// moves: points reserved and paid, closing refusals, overdue questions, idle
// presence, ranks, and the schema version of a reopened file.
#include "community_rules.h"
#include "sqlite_community_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sqlite3.h>
#include <thread>

using namespace varnel;

namespace {

constexpr Timestamp kDay = 86400;

class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "store-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        open();
    }
    void TearDown() override
    {
        store.reset();
        std::filesystem::remove_all(m_dir);
    }
    void open(const std::function<void(CommunitySettings &)> &tweak = {})
    {
        CommunitySettings settings;
        if (tweak)
            tweak(settings);
        settings.overdueDays = 7;
        settings.idleSeconds = 600;
        settings.clock = [this] { return now.load(); };
        std::string error;
        store = SqliteCommunityStore::open((m_dir / "c.db").string(), settings, error);
        ASSERT_TRUE(store) << error;
    }
    int member(const std::string &name)
    {
        NewMember m;
        m.userName = name;
        m.password = name + "pw";
        m.email = name + "@example.org";
        const auto id = store->createMember(m);
        EXPECT_TRUE(id);
        return id.value_or(0);
    }

    std::atomic<Timestamp> now{1'800'000'000};
    std::unique_ptr<SqliteCommunityStore> store;
    std::filesystem::path m_dir;
};

TEST_F(StoreTest, AskingReservesPointsAndClosingPaysThemWithZoneScores)
{
    const int asker = member("asker");
    const int a1 = member("first");
    const int a2 = member("second");
    const PostResult q = store->createQuestion(asker, "Disk noise", 11, 100, "It clicks.");
    ASSERT_EQ(q.status, PostResult::Ok);
    EXPECT_EQ(store->memberById(asker)->points, 100);

    const ReplyResult r1 = store->createAnswer(q.id, a1, 11, "Replace it.");
    const ReplyResult r2 = store->createAnswer(q.id, a2, 11, "Back up first.");
    ASSERT_EQ(r1.status, ReplyResult::Ok);
    ASSERT_EQ(r2.status, ReplyResult::Ok);

    EXPECT_EQ(store->closeQuestion(q.id, a1, {{r1.id, 100}}), CloseResult::NotAsker);
    EXPECT_EQ(store->closeQuestion(q.id, asker, {{r1.id, 70}, {r2.id, 20}}), CloseResult::PointsMismatch);
    EXPECT_EQ(store->closeQuestion(q.id, asker, {{r1.id, 110}, {r2.id, -10}}), CloseResult::PointsMismatch);
    EXPECT_EQ(store->closeQuestion(q.id, asker, {{r1.id, 50}, {999, 50}}), CloseResult::UnknownAnswer);
    EXPECT_EQ(store->closeQuestion(q.id, asker, {{r1.id, 2147483647}, {r1.id, 2147483647}, {r2.id, 2}}),
              CloseResult::PointsMismatch);

    EXPECT_EQ(store->closeQuestion(4242, asker, {}), CloseResult::UnknownQuestion);
    // A refused close changes nothing.
    EXPECT_EQ(store->memberById(a1)->points, 200);

    ASSERT_EQ(store->closeQuestion(q.id, asker, {{r1.id, 70}, {r2.id, 30}}), CloseResult::Ok);
    EXPECT_EQ(store->closeQuestion(q.id, asker, {{r1.id, 70}, {r2.id, 30}}), CloseResult::AlreadyClosed);

    const Member first = *store->memberById(a1);
    EXPECT_EQ(first.points, 270);
    EXPECT_EQ(first.credit, 100 + kCreditForChosenAnswer);
    EXPECT_EQ(first.totalScore, 70);
    EXPECT_EQ(store->memberById(asker)->credit, 100 + kCreditForTimelyClose);
    const auto scores = store->scores(a1);
    ASSERT_EQ(scores.size(), 5u);
    EXPECT_EQ(scores[1].zone, 2); // column 11 is Hardware
    EXPECT_EQ(scores[1].score, 70);
    EXPECT_EQ(scores[1].rank, rankForScore(70));
    EXPECT_EQ(scores[0].score, 0);
    EXPECT_EQ(scores[4].score, 70);

    const Question closed = *store->question(q.id);
    EXPECT_EQ(closed.state, QuestionState::Closed);
    ASSERT_EQ(closed.answers.size(), 2u);
    EXPECT_EQ(closed.answers[0].pointsAwarded, 70);
    EXPECT_EQ(store->createAnswer(q.id, a2, 11, "Late answer").status, ReplyResult::NotOpen);
    EXPECT_EQ(store->questionsScoredBy(a2, 2, Page{15, 1}).totalCount, 1);
    EXPECT_EQ(store->questionsScoredBy(a2, 1, Page{15, 1}).totalCount, 0);
}

TEST_F(StoreTest, SharesGivenTwiceToOneAnswerAddUp)
{
    const int asker = member("asker");
    const int helper = member("helper");
    const PostResult q = store->createQuestion(asker, "Twice", 31, 100, "");
    const ReplyResult r = store->createAnswer(q.id, helper, 31, "Once");
    ASSERT_EQ(store->closeQuestion(q.id, asker, {{r.id, 60}, {r.id, 40}}), CloseResult::Ok);
    EXPECT_EQ(store->question(q.id)->answers.at(0).pointsAwarded, 100);
    EXPECT_EQ(store->memberById(helper)->points, 300);
}

TEST_F(StoreTest, QuestionWithoutAnswersClosesWithItsPointsHandedBack)
{
    const int asker = member("asker");
    const PostResult q = store->createQuestion(asker, "Nobody knows", 3, 60, "");
    ASSERT_EQ(q.status, PostResult::Ok);
    EXPECT_EQ(store->closeQuestion(q.id, asker, {{1, 60}}), CloseResult::UnknownAnswer);
    ASSERT_EQ(store->closeQuestion(q.id, asker, {}), CloseResult::Ok);
    EXPECT_EQ(store->memberById(asker)->points, 200);
}

TEST_F(StoreTest, AskingAndAnsweringLimits)
{
    const int asker = member("asker");
    const int other = member("other");
    EXPECT_EQ(store->createQuestion(asker, "t", 1, 39, "x").status, PostResult::BadPoints);
    EXPECT_EQ(store->createQuestion(asker, "t", 1, 201, "x").status, PostResult::BadPoints);
    EXPECT_EQ(store->createQuestion(asker, "t", 0, 40, "x").status, PostResult::BadColumn);
    EXPECT_EQ(store->createQuestion(asker, "t", 42, 40, "x").status, PostResult::BadColumn);
    EXPECT_EQ(store->createQuestion(asker, "   ", 1, 40, "x").status, PostResult::EmptyText);
    EXPECT_EQ(store->createQuestion(9999, "t", 1, 40, "x").status, PostResult::UnknownMember);
    ASSERT_EQ(store->createQuestion(asker, "one", 1, 200, "x").status, PostResult::Ok);
    EXPECT_EQ(store->createQuestion(asker, "two", 1, 40, "x").status, PostResult::NotEnoughPoints);
    EXPECT_EQ(store->memberById(asker)->points, 0);

    const int q = store->questionsAskedBy(asker, 0, Page{15, 1}).rows.at(0).id;
    EXPECT_EQ(store->createAnswer(q, asker, 1, "mine").status, ReplyResult::OwnQuestion);
    EXPECT_EQ(store->createAnswer(q, other, 1, " \n ").status, ReplyResult::EmptyText);
    EXPECT_EQ(store->createAnswer(q + 100, other, 1, "x").status, ReplyResult::UnknownQuestion);
    EXPECT_EQ(store->createAnswer(q, 9999, 1, "x").status, ReplyResult::UnknownMember);
}

TEST_F(StoreTest, OpenQuestionBecomesOverdueAfterTheConfiguredDaysAndBlocksAskingInItsZone)
{
    const int asker = member("asker");
    const PostResult q = store->createQuestion(asker, "Old question", 20, 40, "x");
    ASSERT_EQ(q.status, PostResult::Ok);
    now += 7 * kDay; // exactly seven days: not yet overdue
    EXPECT_FALSE(store->hasOverdueQuestions(asker, 3));
    EXPECT_EQ(store->question(q.id)->state, QuestionState::Open);
    now += 1;
    EXPECT_TRUE(store->hasOverdueQuestions(asker, 3));
    EXPECT_FALSE(store->hasOverdueQuestions(asker, 1));
    EXPECT_TRUE(store->hasOverdueQuestions(asker, 0)); // any zone
    EXPECT_EQ(store->question(q.id)->state, QuestionState::Overdue);
    EXPECT_EQ(store->createQuestion(asker, "New", 21, 40, "x").status, PostResult::HasOverdue);
    EXPECT_EQ(store->createQuestion(asker, "Elsewhere", 1, 40, "x").status, PostResult::Ok);
    EXPECT_EQ(store->questionsToClose(asker, 3, Page{15, 1}).totalCount, 1);

    // Closing late costs credit.
    ASSERT_EQ(store->closeQuestion(q.id, asker, {}), CloseResult::Ok);
    EXPECT_EQ(store->memberById(asker)->credit, 100 + kCreditForLateClose);
    EXPECT_FALSE(store->hasOverdueQuestions(asker, 3));
    EXPECT_EQ(store->questionsToClose(asker, 3, Page{15, 1}).totalCount, 0);
}

TEST_F(StoreTest, PresenceExpiresAfterIdleTimeUnlessRefreshed)
{
    const int a = member("a");
    const int b = member("b");
    const int star = member("star");
    ASSERT_TRUE(store->setAlwaysOnline(star, true));
    EXPECT_TRUE(store->setOnline(a, "10.0.0.1"));
    EXPECT_TRUE(store->setOnline(b, "10.0.0.2"));
    EXPECT_FALSE(store->setOnline(9999, "10.0.0.3"));
    int total = 0;
    store->onlineMembers(Page{20, 1}, total);
    EXPECT_EQ(total, 3);

    now += 400;
    store->takeMessages(a, 10); // a polls for messages
    now += 400;                 // b was last seen 800 s ago, beyond the 600 s idle time
    auto online = store->onlineMembers(Page{20, 1}, total);
    EXPECT_EQ(total, 2);
    EXPECT_TRUE(store->memberById(a)->online);
    EXPECT_FALSE(store->memberById(b)->online);

    // Signing out is final: a later poll does not bring the member back.
    EXPECT_TRUE(store->setOffline(a));
    store->touch(a);
    EXPECT_TRUE(store->signInCheck("a", "apw"));
    EXPECT_FALSE(store->signInCheck("a", "wrong"));
    EXPECT_FALSE(store->memberById(a)->online);
    online = store->onlineMembers(Page{20, 1}, total);
    EXPECT_EQ(total, 1);
    ASSERT_EQ(online.size(), 1u);
    EXPECT_EQ(online[0].id, star);
}

TEST_F(StoreTest, MessagesAreTakenOldestFirstAndOnlyOnce)
{
    const int a = member("a");
    const int b = member("b");
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(store->sendMessage(a, b, "m" + std::to_string(i)));
    EXPECT_FALSE(store->sendMessage(a, 9999, "lost"));
    EXPECT_FALSE(store->sendMessage(9999, b, "from nobody"));
    EXPECT_FALSE(store->sendMessage(a, b, "  "));
    const auto first = store->takeMessages(b, 10);
    ASSERT_EQ(first.size(), 10u);
    EXPECT_EQ(first[0].text, "m0");
    EXPECT_EQ(first[9].text, "m9");
    EXPECT_EQ(first[0].sender.userName, "a");
    const auto second = store->takeMessages(b, 10);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[1].text, "m11");
    EXPECT_TRUE(store->takeMessages(b, 10).empty());
    EXPECT_TRUE(store->takeMessages(a, 10).empty());
}

TEST_F(StoreTest, RegistrationRefusesTakenNamesAndEmailsIgnoringCase)
{
    member("Alice");
    NewMember dup;
    dup.userName = "alice";
    dup.password = "x";
    EXPECT_FALSE(store->createMember(dup));
    dup.userName = "alice2";
    dup.email = "ALICE@example.org";
    EXPECT_FALSE(store->createMember(dup));
    dup.email = "";
    EXPECT_TRUE(store->createMember(dup)); // an empty e-mail is never "taken"
    dup.userName = "alice3";
    EXPECT_TRUE(store->createMember(dup));
    EXPECT_TRUE(store->emailTaken(" alice@EXAMPLE.org "));
    EXPECT_FALSE(store->emailTaken(""));
    EXPECT_TRUE(store->checkMember("ALICE", "Alicepw"));
    EXPECT_FALSE(store->checkMember("Alice", "alicepw"));
}

TEST_F(StoreTest, TitleSearchMatchesEveryWordWithinTheColumnAndTreatsWildcardsLiterally)
{
    const int a = member("a");
    store->adjustPoints(a, 1000);
    ASSERT_EQ(store->createQuestion(a, "Printer prints blank pages", 16, 40, "").status, PostResult::Ok);
    ASSERT_EQ(store->createQuestion(a, "Scanner shows 100% blank", 16, 40, "").status, PostResult::Ok);
    ASSERT_EQ(store->createQuestion(a, "Blank pages in Word", 4, 40, "").status, PostResult::Ok);
    EXPECT_EQ(store->searchByTitle(16, "blank", Page{15, 1}).totalCount, 2);
    EXPECT_EQ(store->searchByTitle(16, "BLANK pages", Page{15, 1}).totalCount, 1);
    EXPECT_EQ(store->searchByTitle(4, "blank pages", Page{15, 1}).totalCount, 1);
    EXPECT_EQ(store->searchByTitle(16, "100%", Page{15, 1}).totalCount, 1);
    EXPECT_EQ(store->searchByTitle(16, "1_0", Page{15, 1}).totalCount, 0);
    EXPECT_EQ(store->searchByTitle(16, "nothing", Page{15, 1}).totalCount, 0);
}

TEST_F(StoreTest, ReopenedFileKeepsItsDataAndSchemaVersion)
{
    const int a = member("keeper");
    store.reset();
    open();
    EXPECT_TRUE(store->memberById(a));
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open((m_dir / "c.db").string().c_str(), &db), SQLITE_OK);
    sqlite3_stmt *s = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &s, nullptr);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(s, 0), SqliteCommunityStore::schemaVersion());
    sqlite3_finalize(s);
    // A file from a newer server is refused rather than misread.
    sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    store.reset();
    std::string error;
    EXPECT_FALSE(SqliteCommunityStore::open((m_dir / "c.db").string(), CommunitySettings{}, error));
    EXPECT_NE(error.find("newer"), std::string::npos);
}

TEST_F(StoreTest, RecommenderIsPaidOnceTheNewMemberPostsAndAtMostThreeTimesADay)
{
    const int leader = member("leader");
    const int asker = member("asker");
    std::vector<int> recruits;
    for (int i = 0; i < 5; ++i) {
        NewMember m;
        m.userName = "recruit" + std::to_string(i);
        m.password = "pw";
        m.leader = "LEADER"; // names compare ignoring case
        recruits.push_back(store->createMember(m).value_or(0));
    }
    // Registering alone earns nothing.
    EXPECT_EQ(store->memberById(leader)->points, 200);
    const int q = store->createQuestion(asker, "question", 1, 40, "x").id;
    ASSERT_EQ(store->createAnswer(q, recruits[0], 1, "first").status, ReplyResult::Ok);
    ASSERT_EQ(store->createAnswer(q, recruits[0], 1, "second").status, ReplyResult::Ok);
    EXPECT_EQ(store->memberById(leader)->points, 220) << "paid once per recruit";
    for (int i = 1; i < 4; ++i)
        ASSERT_EQ(store->createQuestion(recruits[i], "mine", 12, 40, "x").status, PostResult::Ok);
    EXPECT_EQ(store->memberById(leader)->points, 260) << "three a day";
    now += kDay + 1;
    ASSERT_EQ(store->createAnswer(q, recruits[3], 1, "a day later").status, ReplyResult::Ok);
    EXPECT_EQ(store->memberById(leader)->points, 280) << "the recruit held back yesterday is paid today";
    ASSERT_EQ(store->createAnswer(q, recruits[4], 1, "x").status, ReplyResult::Ok);
    EXPECT_EQ(store->memberById(leader)->points, 300);
}

TEST_F(StoreTest, OneMemberAnswersOneQuestionAtMostFiveTimes)
{
    const int asker = member("asker");
    const int other = member("other");
    const int q = store->createQuestion(asker, "question", 1, 40, "x").id;
    for (int i = 0; i < kMaxAnswersPerQuestion; ++i)
        ASSERT_EQ(store->createAnswer(q, other, 1, "again").status, ReplyResult::Ok);
    EXPECT_EQ(store->createAnswer(q, other, 1, "once more").status, ReplyResult::TooManyAnswers);
    EXPECT_EQ(store->createAnswer(q, member("third"), 1, "x").status, ReplyResult::Ok);
}

TEST_F(StoreTest, WriterThatWaitedTooLongGivesUpAndPollsAndSignInsDoNotQueue)
{
    store.reset();
    open([](CommunitySettings &s) { s.writerPatience = std::chrono::milliseconds(300); });
    const int asker = member("asker");
    const int other = member("other");
    store->setOnline(other, "10.0.0.2");
    // Another process holds the community file's write lock.
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open((m_dir / "c.db").string().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    // The first writer takes its turn and waits for the lock ...
    std::thread first([&] { EXPECT_EQ(store->createQuestion(asker, "first", 1, 40, "x").status, PostResult::Ok); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // ... the next one gives up before it begins, changing nothing.
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_THROW(store->createQuestion(other, "second", 1, 40, "x"), StoreBusy);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));

    // Reads, polls with nothing waiting, failed sign-ins and the live
    // counters go by without waiting.
    const auto t1 = std::chrono::steady_clock::now();
    EXPECT_TRUE(store->takeMessages(other, 10).empty());
    EXPECT_FALSE(store->signInCheck("other", "wrong"));
    EXPECT_TRUE(store->signInCheck("other", "otherpw"));
    store->recordEvent("signin-fail", "10.0.0.9");
    store->bindMember(other, "10.0.0.2");
    EXPECT_TRUE(store->isBoundTo(other, "10.0.0.2", 60));
    EXPECT_TRUE(store->memberById(other)->online);
    EXPECT_LT(std::chrono::steady_clock::now() - t1, std::chrono::seconds(1));

    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    first.join();
    EXPECT_EQ(store->questionsAskedBy(other, 0, Page{15, 1}).totalCount, 0);
    EXPECT_EQ(store->memberById(other)->points, 200);
    // The queue moves on past the writer that gave up.
    EXPECT_EQ(store->createQuestion(other, "third", 1, 40, "x").status, PostResult::Ok);
}

TEST_F(StoreTest, BindingsFollowTheLatestSignInAndLapseWhenIdle)
{
    const int a = member("a");
    EXPECT_FALSE(store->isBoundTo(a, "10.0.0.1", 600));
    store->bindMember(a, "10.0.0.1");
    EXPECT_TRUE(store->isBoundTo(a, "10.0.0.1", 600));
    EXPECT_FALSE(store->isBoundTo(a, "10.0.0.2", 600));
    now += 500;
    EXPECT_TRUE(store->isBoundTo(a, "10.0.0.1", 600)) << "renews";
    now += 500;
    EXPECT_TRUE(store->isBoundTo(a, "10.0.0.1", 600));
    now += 601;
    EXPECT_FALSE(store->isBoundTo(a, "10.0.0.1", 600)) << "lapsed";
    store->bindMember(a, "10.0.0.2");
    EXPECT_FALSE(store->isBoundTo(a, "10.0.0.1", 600));
    EXPECT_TRUE(store->setOffline(a));
    EXPECT_FALSE(store->isBoundTo(a, "10.0.0.2", 600)) << "signing out ends it";
}

TEST_F(StoreTest, AllowancesCountWithinTheirWindowPerKindAndSubject)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(store->takeAllowance("question", "7", 3, 3600).taken);
    const EventCount refused = store->takeAllowance("question", "7", 3, 3600);
    EXPECT_FALSE(refused.taken);
    EXPECT_EQ(refused.count, 3);
    EXPECT_EQ(refused.oldest, now.load());
    EXPECT_TRUE(store->takeAllowance("question", "8", 3, 3600).taken);
    EXPECT_TRUE(store->takeAllowance("answer", "7", 3, 3600).taken);
    now += 3601;
    EXPECT_TRUE(store->takeAllowance("question", "7", 3, 3600).taken);
    store->clearEvents("question", "7");
    EXPECT_EQ(store->countEvents("question", "7", 0).count, 0);
}

TEST_F(StoreTest, PasswordsAreSealedAndAnotherKeyIsRefused)
{
    const int a = member("sealed");
    EXPECT_EQ(store->memberById(a)->password, "sealedpw");
    EXPECT_TRUE(store->checkMember("sealed", "sealedpw"));
    EXPECT_FALSE(store->checkMember("sealed", "sealedpw "));
    store.reset();
    std::string error;
    CommunitySettings other;
    other.keyFile = (m_dir / "other.key").string();
    EXPECT_FALSE(SqliteCommunityStore::open((m_dir / "c.db").string(), other, error));
    EXPECT_NE(error.find("key file"), std::string::npos) << error;
}

TEST(CommunityRules, RanksLevelsAndGrades)
{
    EXPECT_EQ(rankForScore(0), 1);
    EXPECT_EQ(rankForScore(19), 1);
    EXPECT_EQ(rankForScore(20), 2);
    EXPECT_EQ(rankForScore(1500), 10);
    EXPECT_EQ(rankForScore(1'000'000), 10);
    EXPECT_EQ(levelForTotalScore(0), 1);
    EXPECT_EQ(levelForTotalScore(3000), 10);
    EXPECT_EQ(gradeForCredit(100), 5);
    EXPECT_EQ(gradeForCredit(120), 6);
    EXPECT_EQ(gradeForCredit(0), 1);
    EXPECT_EQ(gradeForCredit(500), 10);
    EXPECT_EQ(zoneOfColumn(9), 1);
    EXPECT_EQ(zoneOfColumn(10), 2);
    EXPECT_EQ(zoneOfColumn(30), 3);
    EXPECT_EQ(zoneOfColumn(41), 4);
    EXPECT_EQ(zoneOfColumn(42), 0);
    EXPECT_EQ(zoneOfColumn(0), 0);
    EXPECT_EQ(formatTime(0), "1970-01-01 00:00");
}

} // namespace

TEST_F(StoreTest, ListGenerationMovesOnlyWhenAWriteChangedSomething)
{
    const int asker = member("asker");
    const int helper = member("helper");
    std::uint64_t seen = store->listGeneration();
    const auto moved = [&] {
        const std::uint64_t current = store->listGeneration();
        const bool result = current != seen;
        seen = current;
        return result;
    };
    const int q = store->createQuestion(asker, "Fan noise", 2, 40, "loud").id;
    EXPECT_TRUE(moved());
    (void)store->questionsInColumn(2, Page{});
    (void)store->takeMessages(asker, 10); // nothing waiting: nothing written
    store->touch(asker);
    EXPECT_FALSE(moved());
    const ReplyResult answer = store->createAnswer(q, helper, 2, "oil it");
    ASSERT_EQ(answer.status, ReplyResult::Ok);
    EXPECT_TRUE(moved());
    EXPECT_EQ(store->closeQuestion(q, helper, {{answer.id, 40}}), CloseResult::NotAsker);
    EXPECT_FALSE(moved());
    EXPECT_EQ(store->closeQuestion(q, asker, {{answer.id, 40}}), CloseResult::Ok);
    EXPECT_TRUE(moved());
}
