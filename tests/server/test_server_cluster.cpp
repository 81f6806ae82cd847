// Several varnel-server instances on one database, over real HTTP against
// the real binary, as they run behind a load balancer: on PostgreSQL, and on
// one SQLite file two processes open. Points are paid once however many
// instances are asked to close a question at once, a message is delivered to
// exactly one poll, a sign-in binding, presence and the rate limits hold on
// every instance, and an instance killed under load loses nothing it
// acknowledged.
#include "community_rules.h"
#include "postgres_server_process.h"
#include "proxy_process.h"
#include "server_test_support.h"
#include "soap_reader.h"

#include <httplib.h>
#include <sqlite3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

using namespace servertest;
using quillora::testpeers::PostgresServerProcess;
using quillora::testpeers::VarnelServerOptions;
using quillora::testpeers::VarnelServerProcess;

namespace {

constexpr char kLocal[] = "127.0.0.1";
constexpr char kElsewhere[] = "127.0.0.2";
constexpr char kNotSignedIn[] = "not signed in from this address";

// The throw-away cluster itself: CI runs as root, where PostgreSQL only
// starts as another account, and a cluster left running or a folder left
// behind would pile up over many test runs.
TEST(PostgresFixture, ServesSeparateDatabasesAndLeavesNothingBehind)
{
    if (!PostgresServerProcess::available())
        GTEST_SKIP() << PostgresServerProcess::skipReason();
    std::filesystem::path dir;
    int port = 0;
    {
        PostgresServerProcess pg;
        ASSERT_TRUE(pg.started()) << pg.error();
        dir = pg.dir();
        port = pg.port();
        const std::string first = pg.newDatabase();
        const std::string second = pg.newDatabase();
        ASSERT_FALSE(first.empty()) << pg.error();
        ASSERT_NE(first, second);
        ASSERT_TRUE(pg.query(first, "CREATE TABLE t (v int); INSERT INTO t VALUES (7)")) << pg.error();
        EXPECT_EQ(pg.query(first, "SELECT v FROM t").value_or("?"), "7");
        EXPECT_FALSE(pg.query(second, "SELECT v FROM t"));
        EXPECT_EQ(std::filesystem::status(pg.keyFile()).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        EXPECT_EQ(std::filesystem::file_size(pg.keyFile()), 32u);
    }
    EXPECT_FALSE(std::filesystem::exists(dir)) << dir;
    EXPECT_FALSE(quillora::testpeers::waitUntilListening(port, 100)) << "postgres still listens on " << port;
}

// The fault string of a SOAP call made on a fresh connection from `source`
// (a loopback address the socket is bound to); empty for a plain answer,
// "(no answer)" when none came.
std::string faultOfCallFrom(const char *source, int port, const std::string &operation, const std::string &params)
{
    const std::string body = envelope(operation, params);
    const std::string request = "POST /Varnel/Web/Services/VarnelServices.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                "Content-Type: text/xml; charset=utf-8\r\nConnection: close\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body;

    Connection connection(source, port);
    const std::string raw = connection.ok() && connection.send(request) ? connection.readAll() : std::string();
    const auto headEnd = raw.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return "(no answer)";
    qs::FaultRecord fault;
    if (raw.rfind("HTTP/1.1 500", 0) == 0 &&
        qs::readFaultEnvelope(QByteArray::fromStdString(raw.substr(headEnd + 4)), fault))
        return fault.faultString.toStdString();
    return {};
}

struct Balance {
    int points = -1;
    int credit = -1;
    bool operator==(const Balance &o) const { return points == o.points && credit == o.credit; }
};

std::ostream &operator<<(std::ostream &out, const Balance &b)
{
    return out << "points " << b.points << ", credit " << b.credit;
}

Balance balanceOf(qs::CVarnelServices &proxy, int userID)
{
    QString doc;
    EXPECT_TRUE(qs::succeeded(proxy.GetUserByUserID(userID, &doc)));
    qs::DocumentStatus status;
    return {toInt(qs::readFirstElementText(doc, u"Points", &status)),
            toInt(qs::readFirstElementText(doc, u"Credit", &status))};
}

// The score over all zones, from the last row of the scores document.
int totalScoreOf(qs::CVarnelServices &proxy, int userID)
{
    QString doc;
    EXPECT_TRUE(qs::succeeded(proxy.GetUserScoresByUserID(userID, &doc)));
    const auto rows = records(doc, qs::kUserTag, qs::kScoreFields);
    return rows.empty() ? -1 : toInt(rows.back()[1]);
}

enum class Engine { Sqlite, Postgres };

const char *engineName(Engine e)
{
    return e == Engine::Sqlite ? "SQLite" : "PostgreSQL";
}
void PrintTo(Engine e, std::ostream *out)
{
    *out << engineName(e);
}

// Two instances on one database: a SQLite file both open, or a fresh
// database of a PostgreSQL cluster the suite starts.
class ClusterTest : public ::testing::TestWithParam<Engine> {
  protected:
    static void TearDownTestSuite()
    {
        delete pg;
        pg = nullptr;
    }

    void SetUp() override
    {
        if (GetParam() == Engine::Postgres) {
            if (!PostgresServerProcess::available())
                GTEST_SKIP() << PostgresServerProcess::skipReason();
            if (!pg)
                pg = new PostgresServerProcess; // one cluster for the suite, a database per test
            ASSERT_TRUE(pg->started()) << pg->error();
            db = pg->newDatabase();
            ASSERT_FALSE(db.empty()) << pg->error();
        }
    }

    // Starts both instances on the database, one after the other: the first
    // one sets it up. `extra` options follow (and win over) the common ones.
    void start(const std::vector<std::string> &extra = {})
    {
        // Rate limits off: the tests write in bursts. New members get points enough to ask.
        std::vector<std::string> args = {"--start-points", "1000", "--max-questions",     "0", "--max-answers", "0",
                                         "--max-messages", "0",    "--max-registrations", "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        VarnelServerOptions options{.extraArgs = args};
        if (GetParam() == Engine::Postgres) {
            options.db = db;
            options.keyFile = pg->keyFile().string();
        }
        a = std::make_unique<VarnelServerProcess>(options);
        ASSERT_TRUE(a->started()) << a->error();
        if (GetParam() == Engine::Sqlite) {
            db = a->dbPath().string();
            options.db = db;
            options.keyFile = db + ".key";
        }
        b = std::make_unique<VarnelServerProcess>(options);
        ASSERT_TRUE(b->started()) << b->error();
        pa = proxyFor(*a);
        pb = proxyFor(*b);
    }

    // The first column of the first row of a query on the shared database.
    std::string scalar(const std::string &sql)
    {
        if (GetParam() == Engine::Postgres) {
            const auto out = pg->query(db, sql);
            EXPECT_TRUE(out) << pg->error();
            return out.value_or("");
        }
        sqlite3 *file = nullptr;
        sqlite3_stmt *s = nullptr;
        std::string out;
        if (sqlite3_open_v2(db.c_str(), &file, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(file, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW) {
            const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(s, 0));
            out = t ? t : "";
        } else {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(file);
        }
        sqlite3_finalize(s);
        sqlite3_close(file);
        return out;
    }

    static inline PostgresServerProcess *pg = nullptr;
    std::string db;
    // Declared so that the second instance stops first: the first one's
    // folder holds the SQLite file.
    std::unique_ptr<VarnelServerProcess> a, b;
    std::unique_ptr<qs::CVarnelServices> pa, pb;
};

INSTANTIATE_TEST_SUITE_P(Engines, ClusterTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto &info) { return std::string(engineName(info.param)); });

TEST_P(ClusterTest, TwentyClosesOfOneQuestionAtOnceThroughBothInstancesPayOnce)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const int asker = registerMember(*pa, QStringLiteral("asker"));
    const int answerer = registerMember(*pb, QStringLiteral("answerer"));
    bool ok = false;
    int question = 0;
    ASSERT_TRUE(qs::succeeded(pa->CreatForumPost(asker, QStringLiteral("Which driver?"), 5, 50,
                                                 QStringLiteral("For this card."), &ok, &question)));
    ASSERT_TRUE(ok);
    int answer = 0;
    ASSERT_TRUE(qs::succeeded(pb->CreatForumReply(question, answerer, 5, QStringLiteral("This one."), &ok, &answer)));
    ASSERT_TRUE(ok);
    const Balance askerBefore = balanceOf(*pa, asker);
    const Balance answererBefore = balanceOf(*pa, answerer);
    ASSERT_EQ(totalScoreOf(*pa, answerer), 0);

    // Twenty closes, alternately on each instance, released together.
    constexpr int kCallers = 20;
    std::atomic<int> waiting{kCallers};
    std::vector<int> statuses(kCallers, 0);
    std::vector<std::thread> callers;
    const std::string target = "/Varnel/Web/EndPost.aspx?PostID=" + std::to_string(question) +
                               "&USRID=" + std::to_string(asker) + "&USRPSW=askerpw";
    for (int i = 0; i < kCallers; ++i) {
        callers.emplace_back([&, i] {
            httplib::Client site(kLocal, (i % 2 == 0 ? a : b)->port());
            site.set_read_timeout(60, 0);
            --waiting;
            while (waiting > 0)
                std::this_thread::yield();
            const auto r =
                site.Post(target.c_str(), "pts_" + std::to_string(answer) + "=50", "application/x-www-form-urlencoded");
            statuses[size_t(i)] = r ? r->status : -1;
        });
    }
    for (auto &t : callers)
        t.join();
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 200), 1);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 400), kCallers - 1) << "every other close is refused";

    // Both instances see one payment: the points and a chosen answer's credit
    // for the answerer, the timely close's credit for the asker, one score.
    for (auto *proxy : {pa.get(), pb.get()}) {
        EXPECT_EQ(balanceOf(*proxy, answerer),
                  (Balance{answererBefore.points + 50, answererBefore.credit + varnel::kCreditForChosenAnswer}));
        EXPECT_EQ(balanceOf(*proxy, asker),
                  (Balance{askerBefore.points, askerBefore.credit + varnel::kCreditForTimelyClose}));
        EXPECT_EQ(totalScoreOf(*proxy, answerer), 50);
        QString doc;
        ASSERT_TRUE(qs::succeeded(proxy->GetForumPostByID(question, &doc)));
        qs::DocumentStatus status;
        EXPECT_EQ(qs::readFirstElementText(doc, u"State", &status), QStringLiteral("Closed"));
    }
}

TEST_P(ClusterTest, MessagesSentThroughOneInstanceArriveOnceWhilePolledThroughBoth)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const int sender = registerMember(*pa, QStringLiteral("sender"));
    const int reader = registerMember(*pa, QStringLiteral("reader"));
    constexpr int kMessages = 30;

    std::mutex mutex;
    std::map<QString, int> seen; // text -> how often it was shown
    int shown = 0;
    std::atomic<bool> failed{false};
    std::thread sending([&] {
        auto proxy = proxyFor(*a);
        for (int i = 1; i <= kMessages && !failed; ++i) {
            bool sent = false;
            if (!qs::succeeded(proxy->SendMessage(sender, reader, QStringLiteral("note %1").arg(i), &sent)) || !sent)
                failed = true;
        }
    });
    // Four clients of the same member on each instance poll in step, all
    // at once, so that polls meet in the database while messages arrive.
    constexpr int kPollers = 8;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool done = false;
    std::barrier inStep(kPollers, [&]() noexcept {
        std::lock_guard lock(mutex);
        done = shown >= kMessages || failed || std::chrono::steady_clock::now() > deadline;
    });
    std::vector<std::thread> polling;
    for (int p = 0; p < kPollers; ++p) {
        polling.emplace_back([&, p] {
            auto proxy = proxyFor(p % 2 == 0 ? *a : *b);
            for (;;) {
                inStep.arrive_and_wait();
                if (done)
                    return;
                QString doc;
                if (!qs::succeeded(proxy->GetMessage(reader, &doc))) {
                    failed = true;
                    continue;
                }
                const qs::DocumentRecords r =
                    qs::readRecords(doc, qs::kMessageTag, qs::kMessagesMax, qs::kMessageFields);
                std::lock_guard lock(mutex);
                for (const auto &message : r.records) {
                    ++seen[message.at(1)];
                    ++shown;
                }
            }
        });
    }
    sending.join();
    for (auto &t : polling)
        t.join();
    ASSERT_FALSE(failed) << "a send or a poll failed";

    EXPECT_EQ(shown, kMessages);
    EXPECT_EQ(seen.size(), size_t(kMessages));
    for (const auto &[text, count] : seen)
        EXPECT_EQ(count, 1) << text.toStdString();
    // Nothing is left for a later poll on either instance.
    for (auto *proxy : {pa.get(), pb.get()}) {
        QString doc;
        ASSERT_TRUE(qs::succeeded(proxy->GetMessage(reader, &doc)));
        EXPECT_TRUE(records(doc, qs::kMessageTag).empty()) << doc.toStdString();
    }
}

TEST_P(ClusterTest, ASignInThroughOneInstanceBindsTheMemberOnTheOther)
{
    ASSERT_NO_FATAL_FAILURE(start());
    // Signed in from 127.0.0.1 through the first instance.
    const int alice = registerMember(*pa, QStringLiteral("alice"));
    ASSERT_GT(alice, 0);
    const std::string her = param("userID", alice);

    // The second instance knows where she signed in.
    EXPECT_EQ(faultOfCallFrom(kLocal, b->port(), "GetMessage", her), "");
    EXPECT_NE(faultOfCallFrom(kElsewhere, b->port(), "GetMessage", her).find(kNotSignedIn), std::string::npos);
    QString doc;
    ASSERT_TRUE(qs::succeeded(pb->GetUserByUserID(alice, &doc)));
    qs::DocumentStatus status;
    EXPECT_EQ(qs::readFirstElementText(doc, u"Password", &status), QStringLiteral("alicepw"));

    // Signing in from elsewhere through the second instance moves the
    // binding on the first one too.
    const std::string signIn = "<userName>alice</userName><password>alicepw</password>";
    ASSERT_EQ(faultOfCallFrom(kElsewhere, b->port(), "GetUserByUserName", signIn), "");
    EXPECT_NE(faultOfCallFrom(kLocal, a->port(), "GetMessage", her).find(kNotSignedIn), std::string::npos);
    EXPECT_EQ(faultOfCallFrom(kElsewhere, a->port(), "GetMessage", her), "");

    // Signing out through one instance ends the binding on both.
    ASSERT_EQ(faultOfCallFrom(kElsewhere, a->port(), "SetUserOffline", her), "");
    for (const auto &instance : {a.get(), b.get()})
        EXPECT_NE(faultOfCallFrom(kElsewhere, instance->port(), "GetMessage", her).find(kNotSignedIn),
                  std::string::npos);
}

TEST_P(ClusterTest, AnInstanceKilledUnderLoadLosesNoAcknowledgedWrite)
{
    ASSERT_NO_FATAL_FAILURE(start());
    // Four members ask, answer and send messages as fast as they can, two
    // through each instance; what an instance confirms is written down.
    const QStringList names = {QStringLiteral("amy"), QStringLiteral("ben"), QStringLiteral("cat"),
                               QStringLiteral("dan")};
    std::vector<int> ids;
    for (const QString &name : names)
        ids.push_back(registerMember(*pa, name));
    std::mutex mutex;
    std::vector<int> questions;
    std::vector<std::pair<int, int>> answers;      // question, answer
    std::vector<std::pair<int, QString>> messages; // recipient, text
    std::atomic<int> confirmed{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int w = 0; w < names.size(); ++w) {
        writers.emplace_back([&, w] {
            auto proxy = proxyFor(w % 2 == 0 ? *a : *b);
            const int me = ids[size_t(w)];
            const int next = ids[size_t(w + 1) % ids.size()];
            for (int i = 0; !stop; ++i) {
                bool ok = false;
                int question = 0;
                if (!qs::succeeded(proxy->CreatForumPost(me, QStringLiteral("Burst %1").arg(i), 10 + i % 10, 10,
                                                         QStringLiteral("text"), &ok, &question)))
                    return;
                if (ok) {
                    std::lock_guard lock(mutex);
                    questions.push_back(question);
                    ++confirmed;
                }
                const QString text = names[w] + QStringLiteral("-%1").arg(i);
                if (!qs::succeeded(proxy->SendMessage(me, next, text, &ok)))
                    return;
                if (ok) {
                    std::lock_guard lock(mutex);
                    messages.emplace_back(next, text);
                    ++confirmed;
                }
                int other = 0;
                {
                    std::lock_guard lock(mutex);
                    for (auto it = questions.rbegin(); it != questions.rend() && other == 0; ++it)
                        other = *it != question ? *it : 0;
                }
                if (other > 0) {
                    int answer = 0;
                    if (!qs::succeeded(
                            proxy->CreatForumReply(other, me, 10, QStringLiteral("burst answer"), &ok, &answer)))
                        return;
                    if (ok) {
                        std::lock_guard lock(mutex);
                        answers.emplace_back(other, answer);
                        ++confirmed;
                    }
                }
            }
        });
    }
    // Kill the first instance once a fair number of writes went through, at
    // an unknown point of the next ones; the second goes on a moment longer.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (confirmed < 80 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    a->kill();
    const int atKill = confirmed;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop = true;
    for (auto &t : writers)
        t.join();
    ASSERT_GE(atKill, 80);
    EXPECT_GT(confirmed.load(), atKill) << "the other instance stopped serving";

    // Everything confirmed is there, read through the instance that lives.
    std::set<int> questionSet(questions.begin(), questions.end());
    EXPECT_EQ(questionSet.size(), questions.size()) << "one ID confirmed for two questions";
    for (int id : questions) {
        QString doc;
        ASSERT_TRUE(qs::succeeded(pb->GetForumPostByID(id, &doc)));
        EXPECT_EQ(records(doc, qs::kForumPostTag).size(), 1u) << "question " << id;
    }
    std::map<int, std::set<int>> repliesOf;
    for (const auto &[question, answer] : answers) {
        if (!repliesOf.count(question)) {
            QString doc;
            ASSERT_TRUE(qs::succeeded(pb->GetForumReplyListByPostID(question, &doc)));
            for (const auto &reply : records(doc, u"ForumReply"))
                repliesOf[question].insert(toInt(reply.at(0)));
        }
        EXPECT_TRUE(repliesOf[question].count(answer)) << "answer " << answer << " to " << question;
    }
    std::map<QString, int> delivered;
    for (int id : ids) {
        for (;;) {
            QString doc;
            ASSERT_TRUE(qs::succeeded(pb->GetMessage(id, &doc)));
            const auto got = records(doc, qs::kMessageTag, qs::kMessageFields);
            if (got.empty())
                break;
            for (const auto &m : got)
                ++delivered[m.at(1)];
        }
    }
    for (const auto &[to, text] : messages)
        EXPECT_EQ(delivered[text], 1) << text.toStdString();

    // Points are neither made nor lost: every member began with 1000, and
    // what they hold plus what open questions reserve is all there is.
    EXPECT_EQ(scalar("SELECT (SELECT SUM(points) FROM members) + "
                     "(SELECT COALESCE(SUM(points), 0) FROM questions WHERE closed = 0)"),
              std::to_string(1000 * ids.size()));

    // The killed instance comes back on the same database and serves.
    ASSERT_TRUE(a->restart()) << a->error();
    pa = proxyFor(*a);
    EXPECT_EQ(balanceOf(*pa, ids[0]), balanceOf(*pb, ids[0]));
}

TEST_P(ClusterTest, PresenceAndRateLimitsCountAcrossTheInstances)
{
    ASSERT_NO_FATAL_FAILURE(start({"--max-messages", "3"}));
    const int amy = registerMember(*pa, QStringLiteral("amy"));
    const int ben = registerMember(*pb, QStringLiteral("ben"));

    // Online through one instance, listed through the other; offline likewise.
    bool ok = false;
    ASSERT_TRUE(qs::succeeded(pa->SetUserOnline(amy, QStringLiteral("192.168.1.10"), &ok)));
    ASSERT_TRUE(ok);
    QString doc;
    int total = 0;
    ASSERT_TRUE(qs::succeeded(pb->GetUserListOnline(20, 1, &doc, &total)));
    EXPECT_EQ(total, 1);
    ASSERT_TRUE(qs::succeeded(pb->SetUserOffline(amy, &ok)));
    ASSERT_TRUE(qs::succeeded(pa->GetUserListOnline(20, 1, &doc, &total)));
    EXPECT_EQ(total, 0);

    // Three messages an hour, wherever they are sent.
    ASSERT_TRUE(qs::succeeded(pb->SetUserOnline(ben, QStringLiteral("192.168.1.11"), &ok)));
    for (auto *proxy : {pa.get(), pb.get(), pa.get()}) {
        ASSERT_TRUE(qs::succeeded(proxy->SendMessage(ben, amy, QStringLiteral("hi"), &ok)));
        EXPECT_TRUE(ok);
    }
    EXPECT_FALSE(qs::succeeded(pb->SendMessage(ben, amy, QStringLiteral("one too many"), &ok)));
    EXPECT_FALSE(qs::succeeded(pa->SendMessage(ben, amy, QStringLiteral("one too many"), &ok)));
}

} // namespace
