// varnel-server killed (SIGKILL) in the middle of a burst of writes from
// several connections: the database is intact, every write the server
// acknowledged is there, and no points were made or lost. Also what is kept
// on disk about members' passwords, and a test killed the same way taking its
// peers with it.
#include "peer_lifetime.h"
#include "server_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <thread>

using namespace servertest;
using quillora::testpeers::VarnelServerOptions;
using quillora::testpeers::VarnelServerProcess;

namespace {

// A read-only look at the server's database file.
class Database {
  public:
    explicit Database(const std::string &path)
    {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << "cannot open " << path;
            sqlite3_close(m_db);
            m_db = nullptr;
        }
    }
    ~Database() { sqlite3_close(m_db); }
    std::string text(const std::string &sql)
    {
        sqlite3_stmt *s = nullptr;
        std::string out;
        if (m_db && sqlite3_prepare_v2(m_db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW) {
            const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(s, 0));
            out = t ? t : "";
        } else {
            ADD_FAILURE() << sql << ": " << (m_db ? sqlite3_errmsg(m_db) : "no database");
        }
        sqlite3_finalize(s);
        return out;
    }
    long long number(const std::string &sql) { return std::stoll(text(sql)); }
    void exec(const std::string &sql)
    {
        ASSERT_EQ(sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(m_db);
    }

  private:
    sqlite3 *m_db = nullptr;
};

// Points held by members plus points reserved in questions not yet closed:
// asking moves points from the one to the other, closing pays them out.
const char kPointsInPlay[] = "SELECT (SELECT SUM(points) FROM members) + "
                             "(SELECT COALESCE(SUM(points), 0) FROM questions WHERE closed = 0)";

int signIn(qs::CVarnelServices &proxy, const QString &name)
{
    QString doc;
    EXPECT_TRUE(qs::succeeded(proxy.GetUserByUserName(name, name + QStringLiteral("123"), &doc)));
    qs::DocumentStatus status;
    return toInt(qs::readFirstElementText(doc, u"PKID", &status));
}

TEST(ServerCrash, KilledInABurstOfWritesKeepsEveryAcknowledgedWriteAndThePoints)
{
    VarnelServerProcess server(
        VarnelServerOptions{true, {"--max-questions", "0", "--max-answers", "0", "--max-messages", "0"}});
    ASSERT_TRUE(server.started()) << server.error();
    long long pointsBefore = 0;
    {
        Database db(server.dbPath().string());
        pointsBefore = db.number(kPointsInPlay);
    }

    // Four members ask, answer and send messages as fast as they can, each on
    // its own connections; what the server confirms is written down.
    const QStringList names = {QStringLiteral("alice"), QStringLiteral("carol"), QStringLiteral("dave"),
                               QStringLiteral("erin")};
    std::mutex mutex;
    std::vector<int> questions;
    std::vector<int> answers;
    std::vector<std::string> messages;
    std::atomic<int> confirmed{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int w = 0; w < names.size(); ++w) {
        writers.emplace_back([&, w] {
            auto proxy = proxyFor(server);
            const int me = signIn(*proxy, names[w]);
            const int next = signIn(*proxy, names[(w + 1) % names.size()]);
            int lastOther = 0;
            for (int i = 0; !stop; ++i) {
                bool ok = false;
                int id = 0;
                const int column = 10 + (i % 10); // Hardware: nobody has an overdue question there
                if (!qs::succeeded(proxy->CreatForumPost(me, QStringLiteral("Burst question %1").arg(i), column, 40,
                                                         QStringLiteral("text"), &ok, &id)))
                    break;
                if (ok) {
                    std::lock_guard lock(mutex);
                    questions.push_back(id);
                    ++confirmed;
                }
                const std::string text = names[w].toStdString() + "-" + std::to_string(i);
                if (!qs::succeeded(proxy->SendMessage(me, next, QString::fromStdString(text), &ok)))
                    break;
                if (ok) {
                    std::lock_guard lock(mutex);
                    messages.push_back(text);
                    ++confirmed;
                }
                // Answer the newest question of someone else, once one is known.
                {
                    std::lock_guard lock(mutex);
                    for (auto it = questions.rbegin(); it != questions.rend(); ++it) {
                        if (*it != id) {
                            lastOther = *it;
                            break;
                        }
                    }
                }
                if (lastOther > 0) {
                    int answerId = 0;
                    if (!qs::succeeded(proxy->CreatForumReply(lastOther, me, column, QStringLiteral("burst answer"),
                                                              &ok, &answerId)))
                        break;
                    if (ok) {
                        std::lock_guard lock(mutex);
                        answers.push_back(answerId);
                        ++confirmed;
                    }
                }
            }
        });
    }
    // Kill once a fair number of writes went through, at an unknown point of the next ones.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (confirmed < 60 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    server.kill();
    stop = true;
    for (auto &t : writers)
        t.join();
    ASSERT_GE(confirmed.load(), 60);

    {
        Database db(server.dbPath().string());
        EXPECT_EQ(db.text("PRAGMA integrity_check"), "ok");
        for (int id : questions)
            EXPECT_EQ(db.number("SELECT COUNT(*) FROM questions WHERE id = " + std::to_string(id)), 1) << id;
        for (int id : answers)
            EXPECT_EQ(db.number("SELECT COUNT(*) FROM answers WHERE id = " + std::to_string(id)), 1) << id;
        for (const std::string &text : messages)
            EXPECT_EQ(db.number("SELECT COUNT(*) FROM messages WHERE body = '" + text + "'"), 1) << text;
        EXPECT_EQ(db.number(kPointsInPlay), pointsBefore);
    }

    // The server comes back on the same files and serves.
    ASSERT_TRUE(server.restart()) << server.error();
    auto proxy = proxyFor(server);
    EXPECT_GT(signIn(*proxy, QStringLiteral("alice")), 0);
}

TEST(ServerCrash, PasswordsAreSealedAtRestAndPlainOnesOfEarlierServersAreSealedOnStart)
{
    VarnelServerProcess server(VarnelServerOptions{true, {}});
    ASSERT_TRUE(server.started()) << server.error();
    const std::string keyFile = server.dbPath().string() + ".key";
    struct stat st {};
    ASSERT_EQ(stat(keyFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 32);
    {
        std::ifstream in(server.dbPath(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(bytes.find("alice123"), std::string::npos) << "a password in clear in the database file";
    }
    {
        Database db(server.dbPath().string());
        EXPECT_EQ(db.number("SELECT COUNT(*) FROM members WHERE password NOT LIKE '$gcm1$%'"), 0);
    }

    // A database of an earlier server keeps passwords in clear: stop, put
    // one back in clear, start again.
    server.kill();
    {
        Database db(server.dbPath().string());
        db.exec("UPDATE members SET password = 'legacy-pw' WHERE user_name = 'bob'");
    }
    ASSERT_TRUE(server.restart()) << server.error();
    auto proxy = proxyFor(server);
    QString doc;
    EXPECT_TRUE(qs::succeeded(proxy->GetUserByUserName(QStringLiteral("bob"), QStringLiteral("legacy-pw"), &doc)));
    EXPECT_FALSE(qs::succeeded(proxy->GetUserByUserName(QStringLiteral("bob"), QStringLiteral("bob123"), &doc)));
    Database db(server.dbPath().string());
    EXPECT_EQ(db.number("SELECT COUNT(*) FROM members WHERE password NOT LIKE '$gcm1$%'"), 0);
}

// A process that is gone, or a zombie its new parent has yet to reap.
bool ended(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    return close == std::string::npos || text.compare(close + 2, 1, "Z") == 0;
}

// ctest kills a test at its time limit with SIGKILL: the peers it started
// (a varnel-server, a proxy) go with it instead of running on under init.
TEST(ServerCrash, PeersDieWithTheTestThatStartedThem)
{
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    std::string error;
    const pid_t holder = quillora::testpeers::spawnPeer({PEER_HOLDER_BINARY}, out[1], error);
    ::close(out[1]);
    ASSERT_GT(holder, 0) << error;
    std::string text;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (text.find("ready\n") == std::string::npos && std::chrono::steady_clock::now() < until) {
        pollfd p{out[0], POLLIN, 0};
        char buffer[256];
        if (::poll(&p, 1, 1000) == 1) {
            const ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            text.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(out[0]);
    std::istringstream lines(text);
    std::string name;
    pid_t server = 0;
    pid_t proxy = 0;
    while (lines >> name) {
        if (name == "varnel-server")
            lines >> server;
        else if (name == "microsocks")
            lines >> proxy;
    }
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ASSERT_GT(server, 0) << text;
    ASSERT_GT(proxy, 0) << text;
    const auto t0 = std::chrono::steady_clock::now();
    while ((!ended(server) || !ended(proxy)) && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(ended(server)) << "varnel-server " << server << " outlived its test";
    EXPECT_TRUE(ended(proxy)) << "microsocks " << proxy << " outlived its test";
    // Whatever outlived it (still the same process, as it has not ended) is
    // not left behind by this test.
    for (const pid_t pid : {server, proxy}) {
        if (!ended(pid))
            ::kill(pid, SIGKILL);
    }
}

} // namespace
