// The small layer between the community rules and a SQL database: pooled
// connections, transactions of three kinds, statements prepared once per
// connection, and the few places where the SQL of two engines differs.
//
// SQL is written once, in this form:
//   - parameters as ?N (a bare ? takes the next number), bound as 64-bit
//     integers or UTF-8 text;
//   - NOCASE(expr) where text compares ignoring the case of ASCII letters
//     (user names, e-mail addresses, title search with LIKE);
//   - INTEGER columns, read back as 64-bit integers;
//   - new rows' IDs through INSERT ... RETURNING id; upserts through
//     INSERT ... ON CONFLICT(...) DO UPDATE;
//   - live tables (presence, bindings, events) named without a schema.
// Each engine translates that once per statement text and caches the result.
#pragma once

#include "community_store.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace varnel::sql {

enum class Dialect { Sqlite, Postgres };

// A unique or foreign-key rule refused the statement.
struct ConstraintViolation {};

// The transaction lost a race with another one (serialization failure,
// deadlock) and must run again from its start; nothing of it was kept.
struct RetryTransaction {};

// A prepared statement owned by its connection's cache.
class Statement {
  public:
    virtual ~Statement() = default;
    virtual void bindInt(int index, std::int64_t value) = 0;
    virtual void bindText(int index, const std::string &value) = 0;
    // Runs the statement on the first call; true while a row is available.
    virtual bool step() = 0;
    // Ready to be bound and run again.
    virtual void reset() = 0;
    virtual std::int64_t int64(int column) const = 0;
    virtual std::string text(int column) const = 0;
    // Rows inserted, updated or deleted by the last run.
    virtual std::int64_t changes() const = 0;
    virtual int parameterCount() const = 0;

    bool inUse = false;
    bool transient = false; // made for one use, not kept in the cache
};

// A statement lent to one piece of code; reset and handed back when it ends.
class Query {
  public:
    Query(Statement *statement, std::unique_ptr<Statement> owned) : m_s(statement), m_owned(std::move(owned))
    {
        m_s->inUse = true;
    }
    ~Query()
    {
        m_s->reset();
        m_s->inUse = false;
    }
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    Query &bind(int index, std::int64_t value)
    {
        m_s->bindInt(index, value);
        return *this;
    }
    Query &bind(int index, int value) { return bind(index, static_cast<std::int64_t>(value)); }
    Query &bind(int index, const std::string &value)
    {
        m_s->bindText(index, value);
        return *this;
    }
    bool step() { return m_s->step(); }
    void run()
    {
        while (m_s->step()) {
        }
    }
    void reset() { m_s->reset(); }
    // The ID an INSERT ... RETURNING id gave its row.
    std::int64_t insertedId()
    {
        if (!m_s->step())
            throw StoreError("insert returned no row");
        const std::int64_t id = m_s->int64(0);
        run();
        return id;
    }
    std::int64_t int64(int column) const { return m_s->int64(column); }
    int integer(int column) const { return static_cast<int>(m_s->int64(column)); }
    std::string text(int column) const { return m_s->text(column); }
    std::int64_t changes() const { return m_s->changes(); }
    int parameterCount() const { return m_s->parameterCount(); }

  private:
    Statement *m_s;
    std::unique_ptr<Statement> m_owned; // set when the statement is not cached
};

// One open connection with its statement cache.
class Connection {
  public:
    virtual ~Connection() = default;

    // The statement for `sql`, prepared on this connection the first time it
    // is asked for. A text asked for again while its statement is still in
    // use gets a statement of its own.
    Query query(const std::string &sql);
    // Runs statements without results (schema changes).
    virtual void exec(const std::string &sql) = 0;
    // Makes the rest of this transaction wait for any other transaction,
    // of any process, that holds the same key.
    virtual void serialiseOn(const std::string &key) = 0;
    // Rows changed by this connection since it was opened.
    std::int64_t totalChanges() const { return m_totalChanges; }

  protected:
    virtual std::unique_ptr<Statement> prepare(const std::string &sql) = 0;
    std::int64_t m_totalChanges = 0;

  private:
    // Statement texts built from search words vary without end; past this
    // many the cache takes no more.
    static constexpr size_t kCacheLimit = 256;
    std::unordered_map<std::string, std::unique_ptr<Statement>> m_cache;
};

// What a transaction is for, which decides where and how it runs.
enum class Work {
    Read,  // a consistent snapshot of the community and the live tables
    Write, // community data: one writer at a time, each change exactly once
    Live,  // presence, bindings, rate events: no queue, no wait for the disk
    // Schema changes at start-up: one server at a time, each seeing what the
    // one before it committed.
    Schema,
};

class Engine {
  public:
    virtual ~Engine() = default;
    virtual Dialect dialect() const = 0;

    // Runs `body` in one transaction and commits it. `body` may run more than
    // once when the engine retries a transaction that lost a race, so it
    // keeps its results in its own locals. Throws StoreBusy when a writer
    // cannot begin in time, StoreError when the storage fails.
    virtual void run(Work work, const std::function<void(Connection &)> &body) = 0;

    template <typename F> auto read(F &&f) { return runFor(Work::Read, std::forward<F>(f)); }
    template <typename F> auto write(F &&f) { return runFor(Work::Write, std::forward<F>(f)); }
    template <typename F> auto live(F &&f) { return runFor(Work::Live, std::forward<F>(f)); }

    // Schema: creates the live tables, and reads or sets the community
    // schema's version inside a write transaction.
    virtual void createLiveTables() = 0;
    virtual int schemaVersion(Connection &c) = 0;
    virtual void setSchemaVersion(Connection &c, int version) = 0;

    // Moves after each committed write that changed rows (on a shared
    // database also after other servers' writes).
    virtual std::uint64_t generation() { return m_generation.load(std::memory_order_acquire); }

  protected:
    void bumpGeneration() { m_generation.fetch_add(1, std::memory_order_release); }

  private:
    template <typename F> auto runFor(Work work, F &&f)
    {
        using R = std::invoke_result_t<F &, Connection &>;
        std::optional<R> result;
        run(work, [&](Connection &c) {
            result.reset();
            result.emplace(f(c));
        });
        return std::move(*result);
    }
    std::atomic<std::uint64_t> m_generation{1};
};

// The SQL above in the dialect's own form.
std::string translate(const std::string &sql, Dialect dialect);

// Highest parameter number in `sql` (written as above), and which numbers
// are used (index 0 unused).
std::vector<bool> parametersUsed(const std::string &sql);

} // namespace varnel::sql
