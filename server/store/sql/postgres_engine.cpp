#include "postgres_engine.h"

#include <libpq-fe.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>

namespace varnel::sql {

namespace {

constexpr const char *kListsChannel = "varnel_lists";
// Parameters of no type a statement can infer (numbers left unused) are text.
constexpr Oid kTextOid = 25;

bool startsWith(const char *text, const char *prefix)
{
    return text && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

std::string trimmedMessage(const char *message)
{
    std::string text = message ? message : "unknown error";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// Turns a failed result into the exception the callers expect.
[[noreturn]] void raise(PGconn *conn, const PGresult *result, const char *what)
{
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    if (startsWith(state, "40001") || startsWith(state, "40P01"))
        throw RetryTransaction();
    if (startsWith(state, "23"))
        throw ConstraintViolation();
    // Lock wait too long, cancelled, server going away, connection lost:
    // the transaction did not commit.
    if (startsWith(state, "55P03") || startsWith(state, "57") || startsWith(state, "08") ||
        PQstatus(conn) != CONNECTION_OK)
        throw StoreBusy();
    const char *message = result ? PQresultErrorMessage(result) : PQerrorMessage(conn);
    throw StoreError(std::string(what) + ": " + trimmedMessage(message));
}

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

class PgStatement final : public Statement {
  public:
    PgStatement(PGconn *conn, const std::string &sql, std::string name, std::int64_t &totalChanges)
        : m_conn(conn), m_name(std::move(name)), m_result(nullptr, &PQclear), m_totalChanges(totalChanges)
    {
        const std::vector<bool> used = parametersUsed(sql);
        const size_t count = used.size() - 1;
        std::vector<Oid> types(count, 0);
        for (size_t i = 0; i < count; ++i)
            types[i] = used[i + 1] ? 0 : kTextOid;
        Result prepared(PQprepare(conn, m_name.c_str(), translate(sql, Dialect::Postgres).c_str(),
                                  static_cast<int>(count), types.data()),
                        &PQclear);
        if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
            raise(conn, prepared.get(), "prepare");
        m_values.resize(count);
        m_bound.resize(count, false);
    }
    ~PgStatement() override
    {
        // Cached statements live as long as their session; one made for a
        // single use is dropped from the session with it.
        if (transient && PQstatus(m_conn) == CONNECTION_OK) {
            const std::string deallocate = "DEALLOCATE " + m_name;
            PQclear(PQexec(m_conn, deallocate.c_str()));
        }
    }

    void bindInt(int index, std::int64_t value) override { bindText(index, std::to_string(value)); }
    void bindText(int index, const std::string &value) override
    {
        if (index < 1 || static_cast<size_t>(index) > m_values.size())
            throw StoreError("bind: no parameter " + std::to_string(index));
        m_values[static_cast<size_t>(index - 1)] = value;
        m_bound[static_cast<size_t>(index - 1)] = true;
    }
    bool step() override
    {
        if (!m_result)
            execute();
        return ++m_row < PQntuples(m_result.get());
    }
    void reset() override
    {
        m_result.reset();
        m_row = -1;
        m_changes = 0;
        std::fill(m_bound.begin(), m_bound.end(), false);
    }
    std::int64_t int64(int column) const override
    {
        if (!m_result || PQgetisnull(m_result.get(), m_row, column))
            return 0;
        return std::strtoll(PQgetvalue(m_result.get(), m_row, column), nullptr, 10);
    }
    std::string text(int column) const override
    {
        if (!m_result || PQgetisnull(m_result.get(), m_row, column))
            return {};
        return std::string(PQgetvalue(m_result.get(), m_row, column),
                           static_cast<size_t>(PQgetlength(m_result.get(), m_row, column)));
    }
    std::int64_t changes() const override { return m_changes; }
    int parameterCount() const override { return static_cast<int>(m_values.size()); }

  private:
    void execute()
    {
        std::vector<const char *> values(m_values.size(), nullptr);
        for (size_t i = 0; i < m_values.size(); ++i) {
            if (m_bound[i])
                values[i] = m_values[i].c_str();
        }
        Result result(
            PQexecPrepared(m_conn, m_name.c_str(), static_cast<int>(values.size()), values.data(), nullptr, nullptr, 0),
            &PQclear);
        const ExecStatusType status = PQresultStatus(result.get());
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
            raise(m_conn, result.get(), "step");
        m_result = std::move(result);
        const char *command = PQcmdStatus(m_result.get());
        if (startsWith(command, "INSERT") || startsWith(command, "UPDATE") || startsWith(command, "DELETE")) {
            m_changes = std::strtoll(PQcmdTuples(m_result.get()), nullptr, 10);
            m_totalChanges += m_changes;
        }
    }

    PGconn *m_conn;
    std::string m_name;
    Result m_result;
    int m_row = -1;
    std::vector<std::string> m_values;
    std::vector<bool> m_bound;
    std::int64_t m_changes = 0;
    std::int64_t &m_totalChanges;
};

class PgConnection final : public Connection {
  public:
    explicit PgConnection(PGconn *conn) : m_conn(conn) {}
    // The cached statements, destroyed after this with the base class, no
    // longer touch the connection.
    ~PgConnection() override { PQfinish(m_conn); }
    PGconn *conn() const { return m_conn; }
    bool broken() const { return PQstatus(m_conn) != CONNECTION_OK; }

    void exec(const std::string &sql) override { execRaw(translate(sql, Dialect::Postgres)); }
    // Returns the command tag ("COMMIT", or "ROLLBACK" for a transaction
    // that had failed).
    std::string execRaw(const std::string &sql)
    {
        Result result(PQexec(m_conn, sql.c_str()), &PQclear);
        const ExecStatusType status = PQresultStatus(result.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            raise(m_conn, result.get(), "exec");
        return PQcmdStatus(result.get());
    }
    void serialiseOn(const std::string &key) override
    {
        Query lock = query("SELECT pg_advisory_xact_lock(hashtextextended(?1, 0))");
        lock.bind(1, key).run();
    }
    // Ends a transaction that failed; a broken connection is dropped anyway.
    void rollbackQuietly()
    {
        settle();
        m_readBegun = false;
        if (!broken() && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
            PQclear(PQexec(m_conn, "ROLLBACK"));
    }

    // Ends a read and begins the next one without waiting for either: the
    // answers are read when the connection is next lent (settle()). A
    // REPEATABLE READ transaction takes its snapshot at its first statement,
    // not at BEGIN, so the next read still sees what committed before it.
    // Reads then cost the database one round trip per statement.
    void endReadAndBeginNext()
    {
        m_pending = PQsendQuery(m_conn, "COMMIT; BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY") == 1;
        if (!m_pending)
            rollbackQuietly();
    }
    // Reads what endReadAndBeginNext() was answered; false when the
    // connection is of no further use.
    bool settle()
    {
        if (!m_pending)
            return !broken();
        m_pending = false;
        bool ok = true;
        while (PGresult *result = PQgetResult(m_conn)) {
            ok = ok && PQresultStatus(result) == PGRES_COMMAND_OK;
            PQclear(result);
        }
        m_readBegun = ok && PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
        if (!ok && !broken() && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
            PQclear(PQexec(m_conn, "ROLLBACK"));
        return !broken();
    }
    // Inside a read begun ahead (see endReadAndBeginNext()); takes it when `take`.
    bool readBegun(bool take)
    {
        const bool begun = m_readBegun;
        if (take)
            m_readBegun = false;
        return begun;
    }
    // Fit to go back to the pool.
    bool reusable() const
    {
        if (broken())
            return false;
        if (m_pending)
            return true;
        const PGTransactionStatusType status = PQtransactionStatus(m_conn);
        return status == PQTRANS_IDLE || (status == PQTRANS_INTRANS && m_readBegun);
    }

  protected:
    std::unique_ptr<Statement> prepare(const std::string &sql) override
    {
        return std::make_unique<PgStatement>(m_conn, sql, "s" + std::to_string(++m_named), m_totalChanges);
    }

  private:
    PGconn *m_conn;
    int m_named = 0;
    bool m_pending = false;   // endReadAndBeginNext() sent, answers not yet read
    bool m_readBegun = false; // idle inside a read transaction begun ahead
};

// Connects with the address's own settings, adding what it leaves out.
PGconn *connect(const std::string &url, std::string &error)
{
    // Earlier keywords are defaults: the address, read last, overrides them.
    const char *const keywords[] = {"sslmode", "gssencmode", "connect_timeout", "application_name", "dbname", nullptr};
    const char *const values[] = {"disable", "disable", "5", "varnel-server", url.c_str(), nullptr};
    PGconn *conn = PQconnectdbParams(keywords, values, 1);
    if (!conn) {
        error = "cannot connect to the database: out of memory";
        return nullptr;
    }
    if (PQstatus(conn) != CONNECTION_OK) {
        error = "cannot connect to the database: " + trimmedMessage(PQerrorMessage(conn));
        PQfinish(conn);
        return nullptr;
    }
    // Notices ("already exists, skipping") are not errors and not for the log.
    PQsetNoticeProcessor(
        conn, [](void *, const char *) {}, nullptr);
    return conn;
}

class PostgresEngine final : public Engine {
  public:
    explicit PostgresEngine(const PostgresOptions &options) : m_options(options)
    {
        std::random_device random;
        m_token = std::to_string(::getpid()) + "-" + std::to_string(random()) + std::to_string(random());
        m_stopListening = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (m_stopListening < 0)
            throw StoreError("eventfd failed");
        m_listener = std::thread([this] { listen(); });
    }
    ~PostgresEngine() override
    {
        const std::uint64_t one = 1;
        if (::write(m_stopListening, &one, sizeof one) < 0) {
            // The listener also wakes each second and looks at m_stopping.
        }
        m_stopping = true;
        m_listener.join();
        ::close(m_stopListening);
    }

    Dialect dialect() const override { return Dialect::Postgres; }

    void run(Work work, const std::function<void(Connection &)> &body) override
    {
        const auto deadline = std::chrono::steady_clock::now() + m_options.writerPatience;
        thread_local std::minstd_rand dice{std::random_device{}()};
        for (int attempt = 0;; ++attempt) {
            Lease lease(*this, deadline);
            PgConnection &c = lease.connection();
            try {
                begin(c, work);
            } catch (const StoreBusy &) {
                // A pooled connection the database has since closed (a
                // restart, an administrator): nothing was sent yet, so
                // another connection may take over at once.
                if (c.broken() && std::chrono::steady_clock::now() < deadline)
                    continue;
                throw;
            }
            try {
                if (runOnce(c, work, body))
                    bumpGeneration();
                return;
            } catch (const RetryTransaction &) {
                c.rollbackQuietly();
                if (std::chrono::steady_clock::now() >= deadline)
                    throw StoreBusy();
            } catch (const StoreBusy &) {
                // A read has no effects: on a connection closed under it, it
                // runs again on another.
                if (work == Work::Read && c.broken() && std::chrono::steady_clock::now() < deadline)
                    continue;
                c.rollbackQuietly();
                throw;
            } catch (const ConstraintViolation &) {
                // A refusal the rules did not expect: the caller sees a failed store.
                c.rollbackQuietly();
                throw StoreError("the database refused the change (constraint)");
            } catch (...) {
                c.rollbackQuietly();
                throw;
            }
            // Lost a race: try again after a short, growing, random pause so
            // that the winners of the next round differ.
            const int ceiling = 2 << std::min(attempt, 6);
            std::this_thread::sleep_for(std::chrono::milliseconds(1 + dice() % static_cast<unsigned>(ceiling)));
        }
    }

    void createLiveTables() override
    {
        run(Work::Schema, [](Connection &c) {
            c.exec(R"sql(
CREATE SCHEMA IF NOT EXISTS live;
CREATE UNLOGGED TABLE IF NOT EXISTS live.presence(
    user_id INTEGER PRIMARY KEY,
    signed_in INTEGER NOT NULL,
    last_seen INTEGER NOT NULL,
    ip_address TEXT NOT NULL DEFAULT ''
);
CREATE UNLOGGED TABLE IF NOT EXISTS live.bindings(
    user_id INTEGER PRIMARY KEY,
    address TEXT NOT NULL,
    renewed INTEGER NOT NULL
);
CREATE UNLOGGED TABLE IF NOT EXISTS live.events(
    kind TEXT NOT NULL,
    subject TEXT NOT NULL,
    at INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS events_subject ON live.events(kind, subject, at);
CREATE INDEX IF NOT EXISTS events_at ON live.events(at);
)sql");
        });
    }

    int schemaVersion(Connection &c) override
    {
        c.exec("CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL)");
        Query version = c.query("SELECT version FROM schema_version");
        return version.step() ? version.integer(0) : 0;
    }
    void setSchemaVersion(Connection &c, int version) override
    {
        c.query("DELETE FROM schema_version").run();
        c.query("INSERT INTO schema_version(version) VALUES(?1)").bind(1, version).run();
    }

    // Opens the first connection, so that a wrong address shows at start-up.
    bool check(std::string &error)
    {
        PGconn *conn = connect(m_options.url, error);
        if (!conn)
            return false;
        if (PQserverVersion(conn) < 110000) {
            error = "the database server is older than PostgreSQL 11";
            PQfinish(conn);
            return false;
        }
        std::unique_lock lock(m_poolMutex);
        ++m_open;
        m_idle.push_back(std::make_unique<PgConnection>(conn));
        // Lists rendered from now on are dropped after any server's write.
        if (!m_available.wait_for(lock, std::chrono::seconds(10), [this] { return m_listening; })) {
            error = "cannot listen for other servers' changes on the database";
            return false;
        }
        try {
            configure(*m_idle.back());
        } catch (const StoreError &e) {
            error = e.what();
            return false;
        }
        return true;
    }

  private:
    void begin(PgConnection &c, Work work)
    {
        if (c.readBegun(true)) {
            if (work == Work::Read)
                return;
            // The read begun ahead ends in the same round trip.
            beginIn(c, work, "COMMIT; ");
            return;
        }
        beginIn(c, work, "");
    }
    void beginIn(PgConnection &c, Work work, const std::string &prefix)
    {
        switch (work) {
        case Work::Read:
            c.execRaw(prefix + "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
            break;
        case Work::Write:
            c.execRaw(prefix + "BEGIN ISOLATION LEVEL SERIALIZABLE");
            break;
        case Work::Live:
            c.execRaw(prefix + "BEGIN");
            break;
        case Work::Schema:
            // Each statement sees what servers before this one committed.
            c.execRaw(prefix + "BEGIN");
            c.serialiseOn("varnel schema");
            break;
        }
    }

    // After begin(): true when the transaction committed a change to community data.
    bool runOnce(PgConnection &c, Work work, const std::function<void(Connection &)> &body)
    {
        const std::int64_t before = c.totalChanges();
        body(c);
        if (PQtransactionStatus(c.conn()) == PQTRANS_INERROR) {
            // A statement failed and the body took that as its answer
            // (a taken name): nothing of the transaction is kept.
            c.execRaw("ROLLBACK");
            return false;
        }
        if (work == Work::Read) {
            c.endReadAndBeginNext();
            return false;
        }
        const bool changed = work == Work::Write && c.totalChanges() != before;
        if (changed)
            c.execRaw(std::string("NOTIFY ") + kListsChannel + ", '" + m_token + "'");
        try {
            return c.execRaw("COMMIT") == "COMMIT" && changed;
        } catch (const StoreBusy &) {
            if (!c.broken())
                throw;
            // The COMMIT may have reached the database before the connection
            // went: whether the change was made is unknown, so it must not be
            // reported as not made, and lists kept may be out of date.
            bumpGeneration();
            throw StoreError("the connection to the database was lost while committing");
        }
    }

    void configure(PgConnection &c)
    {
        // Live tables are named without their schema in statements.
        c.execRaw("SELECT set_config('search_path', current_setting('search_path') || ', live', false)");
        c.execRaw("SET lock_timeout = " + std::to_string(m_options.writerPatience.count()));
        if (!m_options.durable)
            c.execRaw("SET synchronous_commit = off");
    }

    class Lease {
      public:
        Lease(PostgresEngine &engine, std::chrono::steady_clock::time_point deadline) : m_engine(engine)
        {
            for (;;) {
                {
                    std::unique_lock lock(engine.m_poolMutex);
                    const bool available = engine.m_available.wait_until(lock, deadline, [&] {
                        return !engine.m_idle.empty() || engine.m_open < engine.m_options.connectionLimit;
                    });
                    if (!available)
                        throw StoreBusy();
                    if (engine.m_idle.empty()) {
                        ++engine.m_open;
                        break;
                    }
                    // The longest idle first: its answers have most likely arrived.
                    m_connection = std::move(engine.m_idle.front());
                    engine.m_idle.pop_front();
                }
                if (m_connection->settle())
                    return;
                release(); // closed by the database meanwhile: the next one
            }
            std::string error;
            PGconn *conn = connect(engine.m_options.url, error);
            if (conn) {
                m_connection = std::make_unique<PgConnection>(conn);
                try {
                    engine.configure(*m_connection);
                    return;
                } catch (...) {
                    m_connection.reset();
                }
            }
            release();
            // The database cannot be reached: nothing was changed.
            throw StoreBusy();
        }
        ~Lease() { release(); }
        PgConnection &connection() const { return *m_connection; }

      private:
        void release()
        {
            {
                std::lock_guard lock(m_engine.m_poolMutex);
                if (m_connection && m_connection->reusable()) {
                    m_engine.m_idle.push_back(std::move(m_connection));
                } else {
                    --m_engine.m_open;
                }
            }
            m_connection.reset();
            m_engine.m_available.notify_one();
        }
        PostgresEngine &m_engine;
        std::unique_ptr<PgConnection> m_connection;
    };

    // Moves the generation whenever any server's write commits; after a
    // lost connection too, since notifications may have been missed.
    void listen()
    {
        bool first = true;
        while (!m_stopping) {
            std::string error;
            PGconn *conn = connect(m_options.url, error);
            if (conn) {
                Result listening(PQexec(conn, (std::string("LISTEN ") + kListsChannel).c_str()), &PQclear);
                if (PQresultStatus(listening.get()) == PGRES_COMMAND_OK) {
                    if (first) {
                        first = false;
                        std::lock_guard lock(m_poolMutex);
                        m_listening = true;
                        m_available.notify_all();
                    } else {
                        bumpGeneration();
                    }
                    waitForNotifications(conn);
                }
                PQfinish(conn);
                bumpGeneration();
            }
            pollfd stop{m_stopListening, POLLIN, 0};
            ::poll(&stop, 1, 1000);
        }
    }

    void waitForNotifications(PGconn *conn)
    {
        while (!m_stopping && PQstatus(conn) == CONNECTION_OK) {
            pollfd fds[2] = {{PQsocket(conn), POLLIN, 0}, {m_stopListening, POLLIN, 0}};
            if (::poll(fds, 2, 1000) < 0 && errno != EINTR)
                return;
            if (fds[1].revents != 0)
                return;
            if (fds[0].revents == 0)
                continue;
            if (!PQconsumeInput(conn))
                return;
            bool others = false;
            while (PGnotify *note = PQnotifies(conn)) {
                // This server's own writes moved the generation when they committed.
                others = others || m_token != note->extra;
                PQfreemem(note);
            }
            if (others)
                bumpGeneration();
        }
    }

    PostgresOptions m_options;
    // Names this server in its notifications.
    std::string m_token;
    std::mutex m_poolMutex;
    bool m_listening = false;
    std::condition_variable m_available;
    std::deque<std::unique_ptr<PgConnection>> m_idle;
    int m_open = 0; // idle and lent
    std::atomic<bool> m_stopping{false};
    int m_stopListening = -1;
    std::thread m_listener;
};

} // namespace

bool isPostgresUrl(const std::string &db)
{
    return db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0;
}

std::unique_ptr<Engine> openPostgresEngine(const PostgresOptions &options, std::string &error)
{
    auto engine = std::make_unique<PostgresEngine>(options);
    if (!engine->check(error))
        return nullptr;
    return engine;
}

} // namespace varnel::sql
