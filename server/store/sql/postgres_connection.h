// A libpq connection as the engine layer sees it: statements prepared once
// on it, errors turned into the store's exceptions, and reads that end and
// begin without waiting for the database.
#pragma once

#include "sql_engine.h"

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <vector>

namespace varnel::sql {

using PgResult = std::unique_ptr<PGresult, decltype(&PQclear)>;

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
    std::string execRaw(const std::string &sql);
    void serialiseOn(const std::string &key) override;
    // Ends a transaction that failed; a broken connection is dropped anyway.
    void rollbackQuietly();

    // Ends a read and begins the next one without waiting for either: the
    // answers are read when the connection is next lent (settle()). A
    // REPEATABLE READ transaction takes its snapshot at its first statement,
    // not at BEGIN, so the next read still sees what committed before it.
    // Reads then cost the database one round trip per statement.
    void endReadAndBeginNext();
    // Commits a transaction (after `before`, statements sent in the same
    // message) and begins the next read in the same round trip; returns the
    // COMMIT's command tag. The read begun is as endReadAndBeginNext()'s.
    std::string commitAndBeginRead(const std::string &before);
    // Reads what endReadAndBeginNext() was answered; false when the
    // connection is of no further use.
    bool settle();
    // Inside a read begun ahead (see endReadAndBeginNext()); takes it when `take`.
    bool readBegun(bool take)
    {
        const bool begun = m_readBegun;
        if (take)
            m_readBegun = false;
        return begun;
    }
    // Sends `commands` (BEGIN, and the COMMIT of a read begun ahead) with
    // the next statement, in one round trip, or before any other command.
    void beginWithNextStatement(std::vector<std::string> commands)
    {
        m_beginning = std::move(commands);
        m_atBegin = true;
    }
    // The connection failed in the exchange that carried the BEGIN: no
    // statement of the transaction had run.
    bool lostAtBegin() const { return m_atBegin; }
    // Sends the commands waiting for the next statement on their own.
    void sendBeginning();
    // Runs a prepared statement, after the commands waiting for it in one
    // pipeline; returns its result, which may be an error.
    PgResult executePrepared(const std::string &name, const std::vector<const char *> &values);
    // Fit to go back to the pool.
    bool reusable() const;

  protected:
    std::unique_ptr<Statement> prepare(const std::string &sql) override;

  private:
    PGconn *m_conn;
    std::vector<std::string> m_beginning;
    bool m_atBegin = false;
    int m_named = 0;
    bool m_pending = false;   // endReadAndBeginNext() sent, answers not yet read
    bool m_readBegun = false; // idle inside a read transaction begun ahead
};

// Connects with the address's own settings, adding what it leaves out;
// nullptr with `error` set when that fails.
PGconn *connectPostgres(const std::string &url, std::string &error);

// What libpq said, without its trailing line break.
std::string trimmedMessage(const char *message);

} // namespace varnel::sql
