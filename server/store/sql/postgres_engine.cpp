#include "postgres_engine.h"

#include "postgres_connection.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace varnel::sql {

namespace {

constexpr const char *kListsChannel = "varnel_lists";
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
        // A call whose client will have given up first changes nothing.
        if (work == Work::Write && AnswerDeadline::passed())
            throw StoreBusy();
        const auto deadline =
            std::chrono::steady_clock::now() +
            (work == Work::Write ? AnswerDeadline::within(m_options.writerPatience) : m_options.writerPatience);
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
                // A read has no effects, nor has a transaction that met the
                // closed connection with its BEGIN: on a connection closed
                // under it, it runs again on another.
                if ((work == Work::Read || c.lostAtBegin()) && c.broken() &&
                    std::chrono::steady_clock::now() < deadline)
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
        PGconn *conn = connectPostgres(m_options.url, error);
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
    // The BEGIN (and the COMMIT of a read begun ahead) goes out with the
    // transaction's first statement, in the same round trip.
    void begin(PgConnection &c, Work work)
    {
        std::vector<std::string> commands;
        if (c.readBegun(true)) {
            if (work == Work::Read)
                return;
            commands.emplace_back("COMMIT");
        }
        switch (work) {
        case Work::Read:
            commands.emplace_back("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
            break;
        case Work::Write:
            commands.emplace_back("BEGIN ISOLATION LEVEL SERIALIZABLE");
            break;
        case Work::Live:
        case Work::Schema:
            commands.emplace_back("BEGIN");
            break;
        }
        c.beginWithNextStatement(std::move(commands));
        // Each statement of a schema change sees what servers before this one committed.
        if (work == Work::Schema)
            c.serialiseOn("varnel schema");
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
        // Made too late for the caller to hear of it: undone.
        if (work == Work::Write && AnswerDeadline::passed())
            throw StoreBusy();
        const bool changed = work == Work::Write && c.totalChanges() != before;
        // The notification, the commit and the next read's BEGIN go in one
        // round trip.
        const std::string notify =
            changed ? std::string("NOTIFY ") + kListsChannel + ", '" + m_token + "'; " : std::string();
        try {
            return c.commitAndBeginRead(notify) == "COMMIT" && changed;
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
            PGconn *conn = connectPostgres(engine.m_options.url, error);
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
            PGconn *conn = connectPostgres(m_options.url, error);
            if (conn) {
                PgResult listening(PQexec(conn, (std::string("LISTEN ") + kListsChannel).c_str()), &PQclear);
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
