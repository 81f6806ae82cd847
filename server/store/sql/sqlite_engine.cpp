#include "sqlite_engine.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

namespace varnel::sql {

namespace {

constexpr int kBusyTimeoutMs = 10000;

[[noreturn]] void fail(sqlite3 *db, const char *what)
{
    throw StoreError(std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

void execOn(sqlite3 *db, const std::string &sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        throw StoreError("exec: " + text);
    }
}

class SqliteStatement final : public Statement {
  public:
    SqliteStatement(sqlite3 *db, const std::string &sql, std::int64_t &totalChanges)
        : m_db(db), m_totalChanges(totalChanges)
    {
        const std::string text = translate(sql, Dialect::Sqlite);
        if (sqlite3_prepare_v3(db, text.c_str(), static_cast<int>(text.size()), SQLITE_PREPARE_PERSISTENT, &m_stmt,
                               nullptr) != SQLITE_OK)
            fail(db, "prepare");
    }
    ~SqliteStatement() override { sqlite3_finalize(m_stmt); }

    void bindInt(int index, std::int64_t value) override { check(sqlite3_bind_int64(m_stmt, index, value)); }
    void bindText(int index, const std::string &value) override
    {
        check(sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT));
    }
    bool step() override
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE) {
            if (!m_done) {
                m_done = true;
                if (!sqlite3_stmt_readonly(m_stmt)) {
                    m_changes = sqlite3_changes64(m_db);
                    m_totalChanges += m_changes;
                }
            }
            return false;
        }
        if ((rc & 0xff) == SQLITE_CONSTRAINT)
            throw ConstraintViolation();
        fail(m_db, "step");
    }
    void reset() override
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        m_done = false;
        m_changes = 0;
    }
    std::int64_t int64(int column) const override { return sqlite3_column_int64(m_stmt, column); }
    std::string text(int column) const override
    {
        const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        return data ? std::string(data, static_cast<size_t>(sqlite3_column_bytes(m_stmt, column))) : std::string();
    }
    std::int64_t changes() const override { return m_changes; }
    int parameterCount() const override { return sqlite3_bind_parameter_count(m_stmt); }

  private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            fail(m_db, "bind");
    }
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
    std::int64_t &m_totalChanges;
    std::int64_t m_changes = 0;
    bool m_done = false;
};

class SqliteConnection final : public Connection {
  public:
    explicit SqliteConnection(sqlite3 *db) : m_db(db) {}
    // The cached statements are finalised after this, with the base class;
    // sqlite3_close_v2 closes the connection once they are.
    ~SqliteConnection() override { sqlite3_close_v2(m_db); }
    sqlite3 *db() const { return m_db; }
    void exec(const std::string &sql) override { execOn(m_db, translate(sql, Dialect::Sqlite)); }
    // BEGIN IMMEDIATE already keeps every other writer of the file out.
    void serialiseOn(const std::string &) override {}

  protected:
    std::unique_ptr<Statement> prepare(const std::string &sql) override
    {
        return std::make_unique<SqliteStatement>(m_db, sql, m_totalChanges);
    }

  private:
    sqlite3 *m_db;
};

// A FIFO lock: whoever asks first goes first.
class FairTurn {
  public:
    class Hold {
      public:
        // Throws StoreBusy when the turn has not come within `patience`:
        // the caller has given up by then and must not change anything.
        Hold(FairTurn &turn, std::chrono::milliseconds patience) : m_turn(turn)
        {
            std::unique_lock lock(turn.m_mutex);
            const std::uint64_t mine = turn.m_next++;
            if (!turn.m_changed.wait_for(lock, patience, [&] { return turn.m_serving == mine; })) {
                // Leave the queue: whoever serves this ticket skips it.
                if (turn.m_serving == mine)
                    turn.advance();
                else
                    turn.m_abandoned.insert(mine);
                lock.unlock();
                turn.m_changed.notify_all();
                throw StoreBusy();
            }
        }
        ~Hold()
        {
            {
                std::lock_guard lock(m_turn.m_mutex);
                m_turn.advance();
            }
            m_turn.m_changed.notify_all();
        }
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

      private:
        FairTurn &m_turn;
    };

  private:
    void advance()
    {
        ++m_serving;
        while (m_abandoned.erase(m_serving) > 0)
            ++m_serving;
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_next = 0;
    std::uint64_t m_serving = 0;
    std::set<std::uint64_t> m_abandoned;
};

class SqliteEngine final : public Engine {
  public:
    explicit SqliteEngine(const SqliteOptions &options) : m_options(options), m_livePath(options.path + "-live") {}

    Dialect dialect() const override { return Dialect::Sqlite; }

    void run(Work work, const std::function<void(Connection &)> &body) override
    {
        if (work == Work::Write) {
            // A call whose client will have given up first changes nothing.
            if (AnswerDeadline::passed())
                throw StoreBusy();
            // Writers of this process take turns here, first come first
            // served, rather than in SQLite's busy handler, whose sleeps gave
            // contended writes tails of a second; the busy timeout remains
            // for other processes.
            FairTurn::Hold turn(m_writeTurn, AnswerDeadline::within(m_options.writerPatience));
            runOn(work, body);
        } else {
            runOn(work, body);
        }
    }

    // Also moves after writes of other processes on the file: SQLite's
    // data_version, read on a connection of its own, changes whenever
    // another connection has committed.
    std::uint64_t generation() override
    {
        std::lock_guard lock(m_versionMutex);
        if (!m_versionConnection)
            m_versionConnection = openConnection(Work::Write);
        Query version = m_versionConnection->query("PRAGMA data_version");
        const std::int64_t seen = version.step() ? version.int64(0) : 0;
        if (seen != m_dataVersion) {
            m_dataVersion = seen;
            bumpGeneration();
        }
        return Engine::generation();
    }

    void createLiveTables() override
    {
        Lease lease(*this, Work::Live);
        lease.connection().exec(R"sql(
CREATE TABLE IF NOT EXISTS presence(
    user_id INTEGER PRIMARY KEY,
    signed_in INTEGER NOT NULL,
    last_seen INTEGER NOT NULL,
    ip_address TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS bindings(
    user_id INTEGER PRIMARY KEY,
    address TEXT NOT NULL,
    renewed INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS events(
    kind TEXT NOT NULL,
    subject TEXT NOT NULL,
    at INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS events_subject ON events(kind, subject, at);
CREATE INDEX IF NOT EXISTS events_at ON events(at);
)sql");
    }

    int schemaVersion(Connection &c) override
    {
        Query version = c.query("PRAGMA user_version");
        version.step();
        return version.integer(0);
    }
    void setSchemaVersion(Connection &c, int version) override
    {
        c.exec("PRAGMA user_version=" + std::to_string(version));
    }

  private:
    // Three kinds of connection: writers see only the community file (so
    // their BEGIN IMMEDIATE locks nothing else), readers also see the live
    // file, and live writers see only the live file.
    static int poolOf(Work work) { return work == Work::Schema ? poolOf(Work::Write) : static_cast<int>(work); }

    std::unique_ptr<SqliteConnection> openConnection(Work work)
    {
        sqlite3 *db = nullptr;
        const std::string &file = work == Work::Live ? m_livePath : m_options.path;
        const int rc = sqlite3_open_v2(file.c_str(), &db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            std::string message = db ? sqlite3_errmsg(db) : "out of memory";
            sqlite3_close_v2(db);
            throw StoreError("cannot open the database (" + message + ")");
        }
        auto connection = std::make_unique<SqliteConnection>(db);
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        if (work == Work::Live) {
            execOn(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;");
        } else {
            execOn(db, m_options.durable ? "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;"
                                         : "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF; PRAGMA foreign_keys=ON;");
        }
        if (work == Work::Read) {
            Query attach = connection->query("ATTACH DATABASE ? AS live");
            attach.bind(1, m_livePath).run();
        }
        return connection;
    }

    // A connection lent to one operation and returned to the pool afterwards.
    class Lease {
      public:
        Lease(SqliteEngine &engine, Work work) : m_engine(engine), m_pool(poolOf(work))
        {
            {
                std::lock_guard lock(engine.m_poolMutex);
                auto &idle = engine.m_idle[m_pool];
                if (!idle.empty()) {
                    m_connection = std::move(idle.back());
                    idle.pop_back();
                }
            }
            if (!m_connection)
                m_connection = engine.openConnection(work);
        }
        ~Lease()
        {
            std::lock_guard lock(m_engine.m_poolMutex);
            m_engine.m_idle[m_pool].push_back(std::move(m_connection));
        }
        SqliteConnection &connection() const { return *m_connection; }

      private:
        SqliteEngine &m_engine;
        int m_pool;
        std::unique_ptr<SqliteConnection> m_connection;
    };

    void runOn(Work work, const std::function<void(Connection &)> &body)
    {
        Lease lease(*this, work);
        SqliteConnection &c = lease.connection();
        if (work == Work::Write && AnswerDeadline::current()) {
            // Another process's writer holds the file: wait for it no longer
            // than the call's deadline allows.
            const auto patience = AnswerDeadline::within(std::chrono::milliseconds(kBusyTimeoutMs));
            sqlite3_busy_timeout(c.db(), static_cast<int>(std::max<std::int64_t>(1, patience.count())));
            const int rc = sqlite3_exec(c.db(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            sqlite3_busy_timeout(c.db(), kBusyTimeoutMs);
            if (rc == SQLITE_BUSY)
                throw StoreBusy();
            if (rc != SQLITE_OK)
                fail(c.db(), "begin");
        } else {
            c.exec(work == Work::Read ? "BEGIN" : "BEGIN IMMEDIATE");
        }
        const std::int64_t changesBefore = c.totalChanges();
        try {
            body(c);
            // Made too late for the caller to hear of it: undone.
            if (work == Work::Write && AnswerDeadline::passed())
                throw StoreBusy();
            c.exec("COMMIT");
        } catch (const ConstraintViolation &) {
            // A refusal the rules did not expect: the caller sees a failed store.
            sqlite3_exec(c.db(), "ROLLBACK", nullptr, nullptr, nullptr);
            throw StoreError("the database refused the change (constraint)");
        } catch (...) {
            sqlite3_exec(c.db(), "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
        if (work == Work::Write && c.totalChanges() != changesBefore)
            bumpGeneration();
    }

    SqliteOptions m_options;
    std::string m_livePath;
    std::mutex m_versionMutex;
    std::unique_ptr<SqliteConnection> m_versionConnection;
    std::int64_t m_dataVersion = -1;
    FairTurn m_writeTurn;
    std::mutex m_poolMutex;
    std::vector<std::unique_ptr<SqliteConnection>> m_idle[3];
};

} // namespace

std::unique_ptr<Engine> openSqliteEngine(const SqliteOptions &options)
{
    return std::make_unique<SqliteEngine>(options);
}

} // namespace varnel::sql
