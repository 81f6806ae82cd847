#include "postgres_connection.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace varnel::sql {

namespace {

// Parameters of no type a statement can infer (numbers left unused) are text.
constexpr Oid kTextOid = 25;

bool startsWith(const char *text, const char *prefix)
{
    return text && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
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

class PgStatement final : public Statement {
  public:
    PgStatement(PgConnection &connection, const std::string &sql, std::string name, std::int64_t &totalChanges)
        : m_connection(connection), m_conn(connection.conn()), m_name(std::move(name)), m_result(nullptr, &PQclear),
          m_totalChanges(totalChanges)
    {
        PGconn *conn = m_conn;
        // PREPARE is no statement of the transaction: the BEGIN goes first on its own.
        connection.sendBeginning();
        const std::vector<bool> used = parametersUsed(sql);
        const size_t count = used.size() - 1;
        std::vector<Oid> types(count, 0);
        for (size_t i = 0; i < count; ++i)
            types[i] = used[i + 1] ? 0 : kTextOid;
        PgResult prepared(PQprepare(conn, m_name.c_str(), translate(sql, Dialect::Postgres).c_str(),
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
        PgResult result = m_connection.executePrepared(m_name, values);
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

    PgConnection &m_connection;
    PGconn *m_conn;
    std::string m_name;
    PgResult m_result;
    int m_row = -1;
    std::vector<std::string> m_values;
    std::vector<bool> m_bound;
    std::int64_t m_changes = 0;
    std::int64_t &m_totalChanges;
};

} // namespace

std::string trimmedMessage(const char *message)
{
    std::string text = message ? message : "unknown error";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::string PgConnection::execRaw(const std::string &sql)
{
    sendBeginning();
    PgResult result(PQexec(m_conn, sql.c_str()), &PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        raise(m_conn, result.get(), "exec");
    return PQcmdStatus(result.get());
}

void PgConnection::sendBeginning()
{
    if (m_beginning.empty())
        return;
    std::string sql;
    for (const std::string &command : m_beginning)
        sql += command + "; ";
    m_beginning.clear();
    PgResult result(PQexec(m_conn, sql.c_str()), &PQclear);
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
        raise(m_conn, result.get(), "begin");
    m_atBegin = false;
}

PgResult PgConnection::executePrepared(const std::string &name, const std::vector<const char *> &values)
{
    const int count = static_cast<int>(values.size());
    if (m_beginning.empty()) {
        PgResult result(PQexecPrepared(m_conn, name.c_str(), count, values.data(), nullptr, nullptr, 0), &PQclear);
        m_atBegin = false;
        return result;
    }
    std::vector<std::string> beginning = std::move(m_beginning);
    m_beginning.clear();
    if (PQenterPipelineMode(m_conn) != 1)
        raise(m_conn, nullptr, "begin");
    bool sent = true;
    for (const std::string &command : beginning)
        sent = sent && PQsendQueryParams(m_conn, command.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    sent = sent && PQsendQueryPrepared(m_conn, name.c_str(), count, values.data(), nullptr, nullptr, 0) == 1;
    sent = sent && PQpipelineSync(m_conn) == 1;
    // Each command's result is followed by a null; the sync comes last. A
    // command after a failed one is answered PGRES_PIPELINE_ABORTED.
    PgResult failed(nullptr, &PQclear);
    PgResult statement(nullptr, &PQclear);
    const size_t commands = beginning.size() + 1;
    for (size_t i = 0; sent && i < commands; ++i) {
        PgResult result(PQgetResult(m_conn), &PQclear);
        if (!result)
            break;
        for (int rest = 0; rest < 4; ++rest) {
            PGresult *more = PQgetResult(m_conn);
            if (!more)
                break;
            PQclear(more);
        }
        if (i + 1 == commands)
            statement = std::move(result);
        else if (!failed && PQresultStatus(result.get()) != PGRES_COMMAND_OK)
            failed = std::move(result);
    }
    bool synced = false;
    if (sent && !broken()) {
        PgResult sync(PQgetResult(m_conn), &PQclear);
        synced = sync && PQresultStatus(sync.get()) == PGRES_PIPELINE_SYNC;
    }
    // Out of pipeline mode again, or of no further use (see reusable()).
    if (PQexitPipelineMode(m_conn) != 1 && !broken())
        throw StoreError("the database connection was left in pipeline mode");
    if (failed)
        raise(m_conn, failed.get(), "begin");
    if (!synced || !statement)
        raise(m_conn, nullptr, "step");
    m_atBegin = false;
    return statement;
}

void PgConnection::serialiseOn(const std::string &key)
{
    Query lock = query("SELECT pg_advisory_xact_lock(hashtextextended(?1, 0))");
    lock.bind(1, key).run();
}

void PgConnection::rollbackQuietly()
{
    m_beginning.clear();
    settle();
    m_readBegun = false;
    if (!broken() && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
        PQclear(PQexec(m_conn, "ROLLBACK"));
}

void PgConnection::endReadAndBeginNext()
{
    if (!m_beginning.empty()) {
        // A read that ran no statement never began.
        m_beginning.clear();
        return;
    }
    m_pending = PQsendQuery(m_conn, "COMMIT; BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY") == 1;
    if (!m_pending)
        rollbackQuietly();
}

std::string PgConnection::commitAndBeginRead(const std::string &before)
{
    // A transaction that ran no statement has not begun yet: the whole goes in one message.
    std::string beginning;
    for (const std::string &command : m_beginning)
        beginning += command + "; ";
    m_beginning.clear();
    const std::string sql = beginning + before + "COMMIT; BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY";
    if (PQsendQuery(m_conn, sql.c_str()) != 1)
        raise(m_conn, nullptr, "commit");
    // One result per statement until the first that fails.
    std::vector<PgResult> results;
    while (PGresult *result = PQgetResult(m_conn))
        results.emplace_back(result, &PQclear);
    const size_t commit = std::count(sql.begin(), sql.end(), ';') - 1;
    for (size_t i = 0; i < results.size() && i <= commit; ++i) {
        if (PQresultStatus(results[i].get()) != PGRES_COMMAND_OK)
            raise(m_conn, results[i].get(), "commit");
    }
    if (results.size() <= commit)
        raise(m_conn, nullptr, "commit");
    m_atBegin = false;
    // The commit stands whatever became of the BEGIN after it.
    m_readBegun = results.size() > commit + 1 && PQresultStatus(results[commit + 1].get()) == PGRES_COMMAND_OK &&
                  PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
    if (!m_readBegun && !broken() && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
        PQclear(PQexec(m_conn, "ROLLBACK"));
    return PQcmdStatus(results[commit].get());
}

bool PgConnection::settle()
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

bool PgConnection::reusable() const
{
    if (broken() || PQpipelineStatus(m_conn) != PQ_PIPELINE_OFF || !m_beginning.empty())
        return false;
    if (m_pending)
        return true;
    const PGTransactionStatusType status = PQtransactionStatus(m_conn);
    return status == PQTRANS_IDLE || (status == PQTRANS_INTRANS && m_readBegun);
}

std::unique_ptr<Statement> PgConnection::prepare(const std::string &sql)
{
    return std::make_unique<PgStatement>(*this, sql, "s" + std::to_string(++m_named), m_totalChanges);
}

// Connects with the address's own settings, adding what it leaves out.
PGconn *connectPostgres(const std::string &url, std::string &error)
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

} // namespace varnel::sql
