// The community rules as each engine applies them, with a clock the test
// moves: points reserved and paid, closing refusals, overdue questions, idle
// presence, ranks, and the schema version of a reopened database. Every case
// runs on a SQLite file and on a fresh PostgreSQL database; the cases at the
// end race several threads and several store objects (as several servers
// would) on one database.
#include "community_rules.h"
#include "postgres_server_process.h"
#include "sign_in_guard.h"
#include "sql_community_store.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

using namespace varnel;
using quillora::testpeers::PostgresServerProcess;

namespace {

constexpr Timestamp kDay = 86400;

enum class EngineKind { Sqlite, Postgres };

// One throw-away PostgreSQL cluster for the whole run, a database per test.
PostgresServerProcess *postgres()
{
    static std::unique_ptr<PostgresServerProcess> cluster;
    if (!cluster)
        cluster = std::make_unique<PostgresServerProcess>();
    return cluster.get();
}

// A libpq session of the test's own, standing for another server's work.
class PgSession {
  public:
    explicit PgSession(const std::string &url)
        : m_conn(PQconnectdb((url + (url.find('?') == std::string::npos ? "?" : "&") + "gssencmode=disable").c_str()))
    {
    }
    ~PgSession() { PQfinish(m_conn); }
    bool ok() const { return PQstatus(m_conn) == CONNECTION_OK; }
    std::string exec(const std::string &sql)
    {
        PGresult *r = PQexec(m_conn, sql.c_str());
        std::string value;
        const ExecStatusType status = PQresultStatus(r);
        if (status == PGRES_TUPLES_OK && PQntuples(r) > 0)
            value = PQgetvalue(r, 0, 0);
        else if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
            value = "error: " + std::string(PQresultErrorMessage(r));
        PQclear(r);
        return value;
    }

  private:
    PGconn *m_conn;
};

class StoreTest : public ::testing::TestWithParam<EngineKind> {
  protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "store-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        if (postgresEngine()) {
            if (!PostgresServerProcess::available())
                GTEST_SKIP() << PostgresServerProcess::skipReason();
            ASSERT_TRUE(postgres()->started()) << postgres()->error();
            m_db = postgres()->newDatabase();
            ASSERT_FALSE(m_db.empty()) << postgres()->error();
        } else {
            m_db = (m_dir / "c.db").string();
        }
        open();
    }
    void TearDown() override
    {
        store.reset();
        std::filesystem::remove_all(m_dir);
    }
    bool postgresEngine() const { return GetParam() == EngineKind::Postgres; }

    CommunitySettings settings(const std::function<void(CommunitySettings &)> &tweak = {})
    {
        CommunitySettings s;
        // Servers on one PostgreSQL database share a key file.
        if (postgresEngine())
            s.keyFile = (m_dir / "shared.key").string();
        if (tweak)
            tweak(s);
        s.overdueDays = 7;
        s.idleSeconds = 600;
        s.clock = [this] { return now.load(); };
        return s;
    }
    // Another store object on the same database, as another server has.
    std::unique_ptr<SqlCommunityStore> openAnother(const std::function<void(CommunitySettings &)> &tweak = {})
    {
        std::string error;
        auto other = openCommunityStore(m_db, settings(tweak), error);
        EXPECT_TRUE(other) << error;
        return other;
    }
    void open(const std::function<void(CommunitySettings &)> &tweak = {})
    {
        store.reset();
        store = openAnother(tweak);
        ASSERT_TRUE(store);
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
    // The schema version the database records, read and written behind the store's back.
    int storedSchemaVersion()
    {
        if (postgresEngine())
            return std::atoi(PgSession(m_db).exec("SELECT version FROM schema_version").c_str());
        sqlite3 *db = nullptr;
        sqlite3_open(m_db.c_str(), &db);
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &s, nullptr);
        const int version = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int(s, 0) : -1;
        sqlite3_finalize(s);
        sqlite3_close(db);
        return version;
    }
    void setStoredSchemaVersion(int version)
    {
        if (postgresEngine()) {
            PgSession(m_db).exec("UPDATE schema_version SET version = " + std::to_string(version));
            return;
        }
        sqlite3 *db = nullptr;
        sqlite3_open(m_db.c_str(), &db);
        sqlite3_exec(db, ("PRAGMA user_version=" + std::to_string(version)).c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }

    std::atomic<Timestamp> now{1'800'000'000};
    std::unique_ptr<SqlCommunityStore> store;
    std::filesystem::path m_dir;
    std::string m_db;
};

TEST_P(StoreTest, AskingReservesPointsAndClosingPaysThemWithZoneScores)
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

TEST_P(StoreTest, SharesGivenTwiceToOneAnswerAddUp)
{
    const int asker = member("asker");
    const int helper = member("helper");
    const PostResult q = store->createQuestion(asker, "Twice", 31, 100, "");
    const ReplyResult r = store->createAnswer(q.id, helper, 31, "Once");
    ASSERT_EQ(store->closeQuestion(q.id, asker, {{r.id, 60}, {r.id, 40}}), CloseResult::Ok);
    EXPECT_EQ(store->question(q.id)->answers.at(0).pointsAwarded, 100);
    EXPECT_EQ(store->memberById(helper)->points, 300);
}

TEST_P(StoreTest, QuestionWithoutAnswersClosesWithItsPointsHandedBack)
{
    const int asker = member("asker");
    const PostResult q = store->createQuestion(asker, "Nobody knows", 3, 60, "");
    ASSERT_EQ(q.status, PostResult::Ok);
    EXPECT_EQ(store->closeQuestion(q.id, asker, {{1, 60}}), CloseResult::UnknownAnswer);
    ASSERT_EQ(store->closeQuestion(q.id, asker, {}), CloseResult::Ok);
    EXPECT_EQ(store->memberById(asker)->points, 200);
}

TEST_P(StoreTest, AskingAndAnsweringLimits)
{
    const int asker = member("asker");
    const int other = member("other");
    EXPECT_EQ(store->createQuestion(asker, "t", 1, 39, "x").status, PostResult::BadPoints);
    EXPECT_EQ(store->createQuestion(asker, "t", 1, 201, "x").status, PostResult::BadPoints);
    EXPECT_EQ(store->createQuestion(asker, "t", 0, 40, "x").status, PostResult::BadColumn);
    EXPECT_EQ(store->createQuestion(asker, "t", 42, 40, "x").status, PostResult::BadColumn);
    EXPECT_EQ(store->createQuestion(asker, "   ", 1, 40, "x").status, PostResult::EmptyText);
    EXPECT_EQ(store->createQuestion(9999, "t", 1, 40, "x").status, PostResult::UnknownMember);
    const PostResult one = store->createQuestion(asker, "one", 1, 200, "x");
    ASSERT_EQ(one.status, PostResult::Ok);
    // Sent again unchanged (its answer never reached the client): the same
    // question, charged once. Any other value makes it another question.
    const PostResult again = store->createQuestion(asker, " one ", 1, 200, "x\n");
    EXPECT_EQ(again.status, PostResult::Ok);
    EXPECT_EQ(again.id, one.id);
    EXPECT_EQ(store->createQuestion(asker, "one", 1, 200, "y").status, PostResult::NotEnoughPoints);
    EXPECT_EQ(store->createQuestion(asker, "two", 1, 40, "x").status, PostResult::NotEnoughPoints);
    EXPECT_EQ(store->memberById(asker)->points, 0);
    now += kResentQuestionSeconds + 1;
    EXPECT_EQ(store->createQuestion(asker, "one", 1, 200, "x").status, PostResult::NotEnoughPoints)
        << "asked again after the window: a question of its own";

    const int q = store->questionsAskedBy(asker, 0, Page{15, 1}).rows.at(0).id;
    EXPECT_EQ(store->createAnswer(q, asker, 1, "mine").status, ReplyResult::OwnQuestion);
    EXPECT_EQ(store->createAnswer(q, other, 1, " \n ").status, ReplyResult::EmptyText);
    EXPECT_EQ(store->createAnswer(q + 100, other, 1, "x").status, ReplyResult::UnknownQuestion);
    EXPECT_EQ(store->createAnswer(q, 9999, 1, "x").status, ReplyResult::UnknownMember);
}

TEST_P(StoreTest, OpenQuestionBecomesOverdueAfterTheConfiguredDaysAndBlocksAskingInItsZone)
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

TEST_P(StoreTest, PresenceExpiresAfterIdleTimeUnlessRefreshed)
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

TEST_P(StoreTest, MessagesAreTakenOldestFirstAndOnlyOnce)
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

TEST_P(StoreTest, RegistrationRefusesTakenNamesAndEmailsIgnoringCase)
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

TEST_P(StoreTest, TitleSearchMatchesEveryWordWithinTheColumnAndTreatsWildcardsLiterally)
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

// Every page tells the size of the whole list, the last partial one and a
// page past the end too; pages follow the list's order without gaps.
TEST_P(StoreTest, PagesCountTheWholeListWhereverThePageIs)
{
    const int a = member("a");
    const int b = member("b");
    store->adjustPoints(a, 1000);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(store->createQuestion(a, "q" + std::to_string(i), 16, 40, "").status, PostResult::Ok);
    ASSERT_EQ(store->createQuestion(b, "elsewhere", 4, 40, "").status, PostResult::Ok);
    std::vector<int> seen;
    for (int index = 1; index <= 4; ++index) {
        const QuestionPage page = store->questionsInColumn(16, Page{2, index});
        EXPECT_EQ(page.totalCount, 5) << "page " << index;
        EXPECT_EQ(page.rows.size(), index <= 2 ? 2u : index == 3 ? 1u : 0u) << "page " << index;
        for (const Question &q : page.rows)
            seen.push_back(q.id);
    }
    EXPECT_EQ(seen.size(), 5u);
    EXPECT_EQ(std::set<int>(seen.begin(), seen.end()).size(), 5u);
    EXPECT_EQ(store->questionsInColumn(15, Page{2, 1}).totalCount, 0);
    EXPECT_EQ(store->questionsAskedBy(b, 0, Page{2, 3}).totalCount, 1);

    const int c = member("c");
    ASSERT_TRUE(store->setOnline(a, "10.0.0.1"));
    ASSERT_TRUE(store->setOnline(b, "10.0.0.2"));
    ASSERT_TRUE(store->setOnline(c, "10.0.0.3"));
    int total = 0;
    EXPECT_EQ(store->onlineMembers(Page{2, 2}, total).size(), 1u);
    EXPECT_EQ(total, 3);
    total = 0;
    EXPECT_TRUE(store->onlineMembers(Page{2, 5}, total).empty());
    EXPECT_EQ(total, 3);
    ASSERT_TRUE(store->setOffline(c));
    ASSERT_TRUE(store->setOffline(b));
    ASSERT_TRUE(store->setOffline(a));
    total = -1;
    EXPECT_TRUE(store->onlineMembers(Page{2, 1}, total).empty());
    EXPECT_EQ(total, 0);
}

TEST_P(StoreTest, ReopenedDatabaseKeepsItsDataAndSchemaVersion)
{
    const int a = member("keeper");
    open();
    EXPECT_TRUE(store->memberById(a));
    EXPECT_EQ(storedSchemaVersion(), SqlCommunityStore::schemaVersion());
    // A database of a newer server is refused rather than misread.
    store.reset();
    setStoredSchemaVersion(99);
    std::string error;
    EXPECT_FALSE(openCommunityStore(m_db, settings(), error));
    EXPECT_NE(error.find("newer"), std::string::npos) << error;
}

TEST_P(StoreTest, RecommenderIsPaidOnceTheNewMemberPostsAndAtMostThreeTimesADay)
{
    const int leader = member("leader");
    const int asker = member("asker");
    std::vector<int> recruits;
    for (int i = 0; i < 5; ++i) {
        NewMember m;
        m.userName = "recruit" + std::to_string(i);
        m.password = "pw";
        // Names compare ignoring case, in the count of the day's bonuses too.
        const char *const spellings[] = {"LEADER", "leader", "Leader", "lEaDeR", " LeAdEr "};
        m.leader = spellings[i];
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

TEST_P(StoreTest, OneMemberAnswersOneQuestionAtMostFiveTimes)
{
    const int asker = member("asker");
    const int other = member("other");
    const int q = store->createQuestion(asker, "question", 1, 40, "x").id;
    for (int i = 0; i < kMaxAnswersPerQuestion; ++i)
        ASSERT_EQ(store->createAnswer(q, other, 1, "again").status, ReplyResult::Ok);
    EXPECT_EQ(store->createAnswer(q, other, 1, "once more").status, ReplyResult::TooManyAnswers);
    EXPECT_EQ(store->createAnswer(q, member("third"), 1, "x").status, ReplyResult::Ok);
}

TEST_P(StoreTest, WriterThatWaitedTooLongGivesUpAndPollsAndSignInsDoNotQueue)
{
    open([](CommunitySettings &s) { s.writerPatience = std::chrono::milliseconds(300); });
    const int asker = member("asker");
    const int other = member("other");
    store->setOnline(other, "10.0.0.2");
    // Another process holds the write lock: of the SQLite file, or of the
    // members table in PostgreSQL (reads of it still go through).
    sqlite3 *db = nullptr;
    std::unique_ptr<PgSession> session;
    if (postgresEngine()) {
        session = std::make_unique<PgSession>(m_db);
        ASSERT_TRUE(session->ok());
        ASSERT_EQ(session->exec("BEGIN; LOCK TABLE members IN EXCLUSIVE MODE"), "");
    } else {
        ASSERT_EQ(sqlite3_open(m_db.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    }

    // On SQLite the first writer takes its turn and waits for the lock, and
    // the next one gives up before it begins; on PostgreSQL every writer
    // waits for the lock as long as its patience lasts. Either way the one
    // that gives up changes nothing.
    std::thread first;
    if (!postgresEngine()) {
        first =
            std::thread([&] { EXPECT_EQ(store->createQuestion(asker, "first", 1, 40, "x").status, PostResult::Ok); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
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
    EXPECT_TRUE(store->takeAllowance("question", "7", 3, 3600).taken);
    store->bindMember(other, "10.0.0.2");
    EXPECT_TRUE(store->isBoundTo(other, "10.0.0.2", 60));
    EXPECT_TRUE(store->memberById(other)->online);
    EXPECT_LT(std::chrono::steady_clock::now() - t1, std::chrono::seconds(1));

    if (postgresEngine()) {
        session->exec("ROLLBACK");
    } else {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        first.join();
    }
    EXPECT_EQ(store->questionsAskedBy(other, 0, Page{15, 1}).totalCount, 0);
    EXPECT_EQ(store->memberById(other)->points, 200);
    // Writers move on once the lock is free.
    EXPECT_EQ(store->createQuestion(other, "third", 1, 40, "x").status, PostResult::Ok);
}

TEST_P(StoreTest, BindingsFollowTheLatestSignInAndLapseWhenIdle)
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

TEST_P(StoreTest, AllowancesCountWithinTheirWindowPerKindAndSubject)
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

// The wait after an account's free failures doubles from 2 s up to 15
// minutes, whoever tries; a right password forgets the failures. Guesses at
// the member pages count apart from the sign-in, and do not hold the member's
// own address. Tries count against their address (an IPv6 caller's /64) as
// they are taken, and a right password gives its try back.
TEST_P(StoreTest, SignInGuardWaitsDoubleAndTriesCountAsTheyAreTaken)
{
    const SignInLimits perAccount{0, 3, 3600};
    const auto bob = SignInGuard::Account::byUserName(" Bob");
    auto tryAs = [&](const SignInGuard::Account &account, const std::string &from, bool own = false) {
        SignInGuard guard(*store, perAccount);
        return guard.begin(from, account, [own] { return own; });
    };
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(tryAs(bob, "10.0.0.1")) << "free failure " << i;
    for (const std::int64_t wait : {2, 4, 8, 16, 32, 64, 128, 256, 512, 900, 900}) {
        const auto refused = tryAs(bob, "10.0.0.2");
        ASSERT_TRUE(refused) << wait;
        EXPECT_FALSE(refused->byAddress);
        EXPECT_EQ(refused->seconds, wait);
        now += wait - 1;
        EXPECT_TRUE(tryAs(bob, "10.0.0.3")) << "a second early after a wait of " << wait;
        now += 1;
        EXPECT_FALSE(tryAs(bob, "10.0.0.4")) << "after a wait of " << wait; // taken, and failed
    }
    // The pages' counter is another: bob may still try there, and his own
    // address is not held by strangers' failures.
    const auto bobsPages = SignInGuard::Account::memberPages(7);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(tryAs(bobsPages, "10.0.0.9"));
    EXPECT_TRUE(tryAs(bobsPages, "10.0.0.9"));
    EXPECT_FALSE(tryAs(bobsPages, "10.0.0.1", true));
    {
        SignInGuard guard(*store, perAccount);
        now += 900;
        ASSERT_FALSE(guard.begin("10.0.0.1", bob));
        guard.succeeded();
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(tryAs(bob, "10.0.0.1")) << "forgotten after a success, " << i;
    EXPECT_TRUE(tryAs(bob, "10.0.0.1"));

    const SignInLimits perAddress{2, 0, 3600};
    const auto carol = SignInGuard::Account::byUserName("carol");
    for (int i = 0; i < 5; ++i) {
        SignInGuard guard(*store, perAddress);
        ASSERT_FALSE(guard.begin("2001:db8::1", carol)) << i;
        guard.succeeded();
    }
    for (const char *from : {"2001:db8::2", "2001:db8::3"}) {
        SignInGuard guard(*store, perAddress);
        EXPECT_FALSE(guard.begin(from, carol)) << from;
    }
    SignInGuard sameSubnet(*store, perAddress);
    const auto refused = sameSubnet.begin("2001:db8::ffff:4", carol);
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->byAddress);
    EXPECT_EQ(refused->seconds, 3600);
    SignInGuard otherSubnet(*store, perAddress);
    EXPECT_FALSE(otherSubnet.begin("2001:db8:0:1::4", carol));
}

TEST_P(StoreTest, PasswordsAreSealedAndAnotherKeyIsRefused)
{
    const int a = member("sealed");
    EXPECT_EQ(store->memberById(a)->password, "sealedpw");
    EXPECT_TRUE(store->checkMember("sealed", "sealedpw"));
    EXPECT_FALSE(store->checkMember("sealed", "sealedpw "));
    store.reset();
    std::string error;
    EXPECT_FALSE(openCommunityStore(
        m_db, settings([this](CommunitySettings &s) { s.keyFile = (m_dir / "other.key").string(); }), error));
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

TEST_P(StoreTest, ListGenerationMovesOnlyWhenAWriteChangedSomething)
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
    member("newcomer"); // a row inserted alone, its ID read back
    EXPECT_TRUE(moved());
}

// ---- several threads and several servers on one database ----------------------------

namespace {

// Runs `work(i)` on `count` threads at once.
void together(int count, const std::function<void(int)> &work)
{
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back(work, i);
    for (std::thread &t : threads)
        t.join();
}

} // namespace

TEST_P(StoreTest, ConcurrentClosesOfOneQuestionPayOnce)
{
    const int asker = member("asker");
    const int helper = member("helper");
    const PostResult q = store->createQuestion(asker, "Race", 11, 100, "x");
    const ReplyResult r = store->createAnswer(q.id, helper, 11, "mine");
    ASSERT_EQ(r.status, ReplyResult::Ok);
    std::vector<std::unique_ptr<SqlCommunityStore>> servers;
    for (int i = 0; i < 3; ++i)
        servers.push_back(openAnother());
    std::atomic<int> closed{0}, refused{0}, failed{0};
    together(20, [&](int i) {
        CommunityStore &server = i % 4 == 0 ? *store : *servers[static_cast<size_t>(i % 4 - 1)];
        try {
            const CloseResult result = server.closeQuestion(q.id, asker, {{r.id, 100}});
            (result == CloseResult::Ok ? closed : result == CloseResult::AlreadyClosed ? refused : failed)++;
        } catch (const StoreError &) {
            failed++;
        }
    });
    EXPECT_EQ(closed.load(), 1);
    EXPECT_EQ(refused.load(), 19);
    EXPECT_EQ(failed.load(), 0);
    const Member paid = *store->memberById(helper);
    EXPECT_EQ(paid.points, 300);
    EXPECT_EQ(paid.totalScore, 100);
    EXPECT_EQ(paid.credit, 100 + kCreditForChosenAnswer);
    EXPECT_EQ(store->memberById(asker)->credit, 100 + kCreditForTimelyClose);
}

TEST_P(StoreTest, ConcurrentPollsDeliverEachMessageOnce)
{
    const int from = member("from");
    const int to = member("to");
    for (int i = 0; i < 30; ++i)
        ASSERT_TRUE(store->sendMessage(from, to, "m" + std::to_string(i)));
    auto second = openAnother();
    std::mutex mutex;
    std::map<std::string, int> shown;
    std::atomic<int> failed{0};
    // Each poller stops at its first empty poll; whoever took the last
    // messages polls once more and finds none left.
    together(8, [&](int i) {
        CommunityStore &server = i % 2 == 0 ? *store : *second;
        try {
            for (;;) {
                const auto taken = server.takeMessages(to, 3);
                if (taken.empty())
                    return;
                std::lock_guard lock(mutex);
                for (const Message &m : taken)
                    shown[m.text]++;
            }
        } catch (const StoreError &) {
            failed++;
        }
    });
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(shown.size(), 30u);
    for (const auto &[text, times] : shown)
        EXPECT_EQ(times, 1) << text;
}

TEST_P(StoreTest, ConcurrentAllowancesNeverExceedTheLimit)
{
    auto second = openAnother();
    std::atomic<int> taken{0};
    together(12, [&](int i) {
        CommunityStore &server = i % 2 == 0 ? *store : *second;
        for (int n = 0; n < 5; ++n) {
            if (server.takeAllowance("registration", "10.0.0.9", 10, 3600).taken)
                taken++;
        }
    });
    EXPECT_EQ(taken.load(), 10);
    EXPECT_EQ(second->countEvents("registration", "10.0.0.9", 0).count, 10);

}

TEST_P(StoreTest, AnotherServerOnTheDatabaseSeesBindingsPresenceAndWrites)
{
    const int a = member("a");
    auto second = openAnother();
    store->bindMember(a, "10.0.0.1");
    ASSERT_TRUE(store->setOnline(a, "10.0.0.1"));
    EXPECT_TRUE(second->isBoundTo(a, "10.0.0.1", 600));
    EXPECT_FALSE(second->isBoundTo(a, "10.0.0.2", 600));
    EXPECT_TRUE(second->memberById(a)->online);
    ASSERT_TRUE(second->setOffline(a));
    EXPECT_FALSE(store->isBoundTo(a, "10.0.0.1", 600));
    EXPECT_FALSE(store->memberById(a)->online);

    // Answers the second server keeps rendered are dropped after the first one's writes.
    const std::uint64_t before = second->listGeneration();
    ASSERT_EQ(store->createQuestion(a, "Seen elsewhere?", 3, 40, "x").status, PostResult::Ok);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (second->listGeneration() == before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(second->listGeneration(), before);
    EXPECT_EQ(second->questionsAskedBy(a, 0, Page{15, 1}).totalCount, 1);
}

// The database closes every connection (a restart, an administrator): the
// next calls take fresh connections instead of failing, and the generation
// still follows other servers' writes once the listener is back.
// A SQLite file has no connections to lose: these run on PostgreSQL only.
class PostgresStoreTest : public StoreTest {};

TEST_P(PostgresStoreTest, ConnectionsTheDatabaseClosedAreReplaced)
{
    const int a = member("a");
    auto second = openAnother();
    // Several pooled connections, each idle in the read it began ahead.
    {
        std::vector<std::thread> readers;
        for (int i = 0; i < 6; ++i)
            readers.emplace_back([&] {
                for (int j = 0; j < 20; ++j)
                    EXPECT_TRUE(store->memberById(a));
            });
        for (std::thread &t : readers)
            t.join();
    }
    PgSession admin(m_db);
    ASSERT_TRUE(admin.ok());
    EXPECT_NE(admin.exec("SELECT COUNT(pg_terminate_backend(pid)) FROM pg_stat_activity "
                         "WHERE datname = current_database() AND pid <> pg_backend_pid()"),
              "0");
    // Writes of either kind first, which learn of the cut only when their
    // BEGIN meets it, then reads.
    EXPECT_NO_THROW(store->bindMember(a, "10.0.0.7"));
    EXPECT_NO_THROW(store->recordEvent("cut", "a"));
    EXPECT_TRUE(store->isBoundTo(a, "10.0.0.7", 60));
    EXPECT_EQ(store->countEvents("cut", "a", 0).count, 1);
    EXPECT_TRUE(store->memberById(a));
    EXPECT_EQ(store->createQuestion(a, "After the cut", 3, 40, "x").status, PostResult::Ok);
    EXPECT_TRUE(second->memberById(a));
    // The second server's listener has reconnected within a few seconds;
    // from then on the first server's writes reach it again.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const std::uint64_t before = second->listGeneration();
    const int helper = member("helper");
    EXPECT_EQ(store->createAnswer(1, helper, 3, "x").status, ReplyResult::Ok);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (second->listGeneration() == before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(second->listGeneration(), before);
}

INSTANTIATE_TEST_SUITE_P(Engines, StoreTest, ::testing::Values(EngineKind::Sqlite, EngineKind::Postgres),
                         [](const ::testing::TestParamInfo<EngineKind> &info) {
                             return info.param == EngineKind::Sqlite ? "Sqlite" : "Postgres";
                         });

INSTANTIATE_TEST_SUITE_P(Engines, PostgresStoreTest, ::testing::Values(EngineKind::Postgres),
                         [](const ::testing::TestParamInfo<EngineKind> &) { return std::string("Postgres"); });

TEST(PostgresStore, RefusesToStartWithoutAKeyFileOrADatabase)
{
    const std::string unreachable = "postgresql://varnel@127.0.0.1:1/community?connect_timeout=2";
    std::string error;
    EXPECT_FALSE(openCommunityStore(unreachable, CommunitySettings{}, error));
    EXPECT_NE(error.find("--key-file"), std::string::npos) << error;

    std::string dir = (std::filesystem::temp_directory_path() / "store-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    CommunitySettings settings;
    settings.keyFile = dir + "/shared.key";
    error.clear();
    EXPECT_FALSE(openCommunityStore(unreachable, settings, error));
    EXPECT_NE(error.find("cannot connect"), std::string::npos) << error;
    std::filesystem::remove_all(dir);
}
