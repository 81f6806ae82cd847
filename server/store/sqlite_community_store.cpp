#include "sqlite_community_store.h"

#include "password_cipher.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>

namespace varnel {

namespace {

// Schema migrations: entry i takes the database from user_version i to i + 1.
const char *const kMigrations[] = {
    R"sql(
CREATE TABLE members(
    id INTEGER PRIMARY KEY,
    user_name TEXT NOT NULL COLLATE NOCASE UNIQUE,
    password TEXT NOT NULL,
    nick_name TEXT NOT NULL DEFAULT '',
    sex INTEGER NOT NULL DEFAULT 0,
    email TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
    face INTEGER NOT NULL DEFAULT 1,
    real_name TEXT NOT NULL DEFAULT '',
    address TEXT NOT NULL DEFAULT '',
    phone TEXT NOT NULL DEFAULT '',
    leader TEXT NOT NULL DEFAULT '',
    user_guid TEXT NOT NULL DEFAULT '',
    points INTEGER NOT NULL,
    credit INTEGER NOT NULL,
    role INTEGER NOT NULL DEFAULT 5,
    custom_head INTEGER NOT NULL DEFAULT 0,
    always_online INTEGER NOT NULL DEFAULT 0,
    registered INTEGER NOT NULL,
    signed_in INTEGER NOT NULL DEFAULT 0,
    last_seen INTEGER NOT NULL DEFAULT 0,
    ip_address TEXT NOT NULL DEFAULT ''
);
CREATE UNIQUE INDEX members_email ON members(email) WHERE email <> '';
CREATE TABLE questions(
    id INTEGER PRIMARY KEY,
    asker_id INTEGER NOT NULL REFERENCES members(id),
    column_id INTEGER NOT NULL,
    zone INTEGER NOT NULL,
    title TEXT NOT NULL,
    body TEXT NOT NULL,
    points INTEGER NOT NULL,
    posted INTEGER NOT NULL,
    closed INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX questions_column ON questions(column_id, id);
CREATE INDEX questions_asker ON questions(asker_id, zone, closed);
CREATE TABLE answers(
    id INTEGER PRIMARY KEY,
    question_id INTEGER NOT NULL REFERENCES questions(id),
    answerer_id INTEGER NOT NULL REFERENCES members(id),
    body TEXT NOT NULL,
    posted INTEGER NOT NULL,
    points_awarded INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX answers_question ON answers(question_id);
CREATE INDEX answers_answerer ON answers(answerer_id, question_id);
CREATE TABLE zone_scores(
    member_id INTEGER NOT NULL REFERENCES members(id),
    zone INTEGER NOT NULL,
    score INTEGER NOT NULL,
    PRIMARY KEY(member_id, zone)
) WITHOUT ROWID;
CREATE INDEX zone_scores_zone ON zone_scores(zone, score);
CREATE TABLE announcements(
    id INTEGER PRIMARY KEY,
    zone INTEGER NOT NULL,
    kind INTEGER NOT NULL,
    title TEXT NOT NULL,
    target TEXT NOT NULL,
    body TEXT NOT NULL DEFAULT '',
    author_id INTEGER NOT NULL REFERENCES members(id),
    posted INTEGER NOT NULL
);
CREATE INDEX announcements_zone ON announcements(zone, id);
CREATE TABLE messages(
    id INTEGER PRIMARY KEY,
    from_id INTEGER NOT NULL REFERENCES members(id),
    to_id INTEGER NOT NULL REFERENCES members(id),
    body TEXT NOT NULL,
    sent INTEGER NOT NULL,
    delivered INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX messages_waiting ON messages(to_id, delivered, id);
)sql",
    // From here on passwords are sealed with the key file (done in code right
    // after the migrations) and presence lives in the companion file; the
    // version keeps older servers, which would read sealed text as
    // passwords, away from the file.
    R"sql(
CREATE INDEX questions_asker_posted ON questions(asker_id, posted);
-- When the recommender was paid for this member (0: not yet). Members of
-- earlier servers were paid at registration.
ALTER TABLE members ADD COLUMN leader_paid INTEGER NOT NULL DEFAULT 0;
UPDATE members SET leader_paid = 1 WHERE leader <> '';
CREATE INDEX members_leader ON members(leader, leader_paid) WHERE leader <> '';
)sql",
};

// The companion file `<db>-live`: what changes with every request and must
// neither queue behind the community's writers nor wait for the disk
// (presence, sign-in bindings, rate counters). It is written with
// synchronous=OFF: a killed process loses nothing committed, a power cut may
// lose the last moments, which costs members a fresh sign-in at worst.
const char *const kLiveSchema = R"sql(
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
)sql";

// Rate events are kept this long; no limit looks further back.
constexpr Timestamp kEventHorizon = 2 * 86400;

constexpr int kBusyTimeoutMs = 10000;
constexpr int kMaxPageSize = 100;
constexpr int kMaxExperts = 48;
constexpr int kMaxQuestionExperts = 20;
constexpr int kMaxAnswerers = 60;
constexpr int kMaxAnnouncements = 15;

[[noreturn]] void fail(sqlite3 *db, const char *what)
{
    throw StoreError(std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

class Statement {
  public:
    Statement(sqlite3 *db, const std::string &sql) : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &m_stmt, nullptr) != SQLITE_OK)
            fail(db, "prepare");
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    Statement &bind(int index, std::int64_t value)
    {
        check(sqlite3_bind_int64(m_stmt, index, value));
        return *this;
    }
    Statement &bind(int index, int value) { return bind(index, static_cast<std::int64_t>(value)); }
    Statement &bind(int index, const std::string &value)
    {
        check(sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT));
        return *this;
    }

    // true while a row is available.
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        if ((rc & 0xff) == SQLITE_CONSTRAINT)
            throw ConstraintViolation();
        fail(m_db, "step");
    }
    void run()
    {
        while (step()) {
        }
    }
    int parameterCount() const { return sqlite3_bind_parameter_count(m_stmt); }
    void reset()
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

    std::int64_t int64(int column) const { return sqlite3_column_int64(m_stmt, column); }
    int integer(int column) const { return sqlite3_column_int(m_stmt, column); }
    std::string text(int column) const
    {
        const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        return data ? std::string(data, static_cast<size_t>(sqlite3_column_bytes(m_stmt, column))) : std::string();
    }

    struct ConstraintViolation {};

  private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            fail(m_db, "bind");
    }
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
};

void exec(sqlite3 *db, const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        throw StoreError(std::string("exec: ") + text);
    }
}

// One transaction; rolled back unless commit() ran.
class Transaction {
  public:
    enum Kind { Read, Write };
    Transaction(sqlite3 *db, Kind kind) : m_db(db) { exec(db, kind == Write ? "BEGIN IMMEDIATE" : "BEGIN"); }
    ~Transaction()
    {
        if (!m_done)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void commit()
    {
        exec(m_db, "COMMIT");
        m_done = true;
    }

  private:
    sqlite3 *m_db;
    bool m_done = false;
};

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r\n\f\v");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n\f\v");
    return text.substr(first, last - first + 1);
}

// The member's columns, with the figures derived from other tables and the
// presence from the companion file (attached as `live` to read connections).
const std::string kMemberHead = R"sql(
    m.id, m.user_name, m.password, m.nick_name, m.sex, m.email, m.face, m.real_name, m.address, m.phone,
    m.leader, m.user_guid, m.points, m.credit, m.role, m.custom_head, m.always_online, m.registered,)sql";
const std::string kMemberTail = R"sql(
    (SELECT COALESCE(SUM(score), 0) FROM zone_scores WHERE member_id = m.id),
    (SELECT COUNT(*) FROM questions WHERE asker_id = m.id),
    (SELECT COUNT(*) FROM questions WHERE asker_id = m.id AND closed <> 0),
    (SELECT COUNT(*) FROM answers WHERE answerer_id = m.id),
    (SELECT COUNT(*) FROM answers WHERE answerer_id = m.id AND points_awarded > 0))sql";
const std::string kMemberColumns = kMemberHead + R"sql(
    COALESCE((SELECT p.signed_in FROM live.presence p WHERE p.user_id = m.id), 0),
    COALESCE((SELECT p.last_seen FROM live.presence p WHERE p.user_id = m.id), 0),)sql" +
                                   kMemberTail;
// The same for write connections, which see only the community file: nobody
// reads presence there.
const std::string kMemberColumnsWithoutPresence = kMemberHead + " 0, 0," + kMemberTail;
constexpr int kMemberColumnCount = 25;
const char *const kOnline =
    "(m.always_online = 1 OR EXISTS (SELECT 1 FROM live.presence p WHERE p.user_id = m.id AND p.signed_in = 1 "
    "AND p.last_seen >= ?2))";

const char *const kQuestionColumns = R"sql(
    q.id, q.asker_id, m.user_name, m.nick_name, q.column_id, q.zone, q.title, q.points, q.posted, q.closed,
    (SELECT COUNT(*) FROM answers a WHERE a.question_id = q.id))sql";

int clampToInt(std::int64_t value)
{
    return static_cast<int>(
        std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// The first question or solution of a recommended member earns the
// recommender his bonus, unless he has had his share for the day: accounts
// made only to feed a recommender earn nothing until they take part.
void payRecommender(sqlite3 *db, int memberID, Timestamp now, int perDay)
{
    Statement m(db, "SELECT leader, leader_paid FROM members WHERE id = ?");
    m.bind(1, memberID);
    if (!m.step() || m.text(0).empty() || m.int64(1) != 0)
        return;
    const std::string leader = m.text(0);
    Statement today(db, "SELECT COUNT(*) FROM members WHERE leader = ? AND leader_paid >= ?");
    today.bind(1, leader).bind(2, now - 86400);
    today.step();
    if (today.integer(0) >= perDay)
        return;
    Statement bonus(db, "UPDATE members SET points = points + ? WHERE user_name = ? AND id <> ?");
    bonus.bind(1, kRecommenderBonus).bind(2, leader).bind(3, memberID).run();
    if (sqlite3_changes(db) == 0)
        return; // no such recommender: nothing owed, ask again next time
    Statement paid(db, "UPDATE members SET leader_paid = ? WHERE id = ?");
    paid.bind(1, now).bind(2, memberID).run();
}

Page clampPage(Page page)
{
    page.size = std::clamp(page.size, 1, kMaxPageSize);
    page.index = std::max(page.index, 1);
    return page;
}

// A FIFO lock: whoever asks first goes first.
class FairTurn {
  public:
    class Hold {
      public:
        // Throws StoreError when the turn has not come within `patience`:
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

} // namespace

struct SqliteCommunityStore::Impl {
    std::string path;
    std::string livePath;
    CommunitySettings settings;
    std::unique_ptr<PasswordCipher> cipher;
    // Three kinds of connection: writers see only the community file (so
    // their BEGIN IMMEDIATE locks nothing else), readers also see the live
    // file, and live writers see only the live file.
    enum Pool { Writer, Reader, Live, PoolCount };
    std::mutex poolMutex;
    std::vector<sqlite3 *> idle[PoolCount];

    ~Impl()
    {
        for (auto &pool : idle) {
            for (sqlite3 *db : pool)
                sqlite3_close_v2(db);
        }
    }

    std::string seal(const std::string &password) const { return cipher->seal(password); }
    std::string unseal(const std::string &stored) const
    {
        // A value this key cannot open matches no password.
        return cipher->open(stored).value_or(std::string());
    }

    Timestamp now() const { return settings.clock(); }
    Timestamp onlineSince() const { return now() - settings.idleSeconds; }
    Timestamp overdueBefore() const { return now() - static_cast<Timestamp>(settings.overdueDays) * 86400; }

    sqlite3 *openConnection(Pool pool)
    {
        sqlite3 *db = nullptr;
        const std::string &file = pool == Live ? livePath : path;
        const int rc = sqlite3_open_v2(file.c_str(), &db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            std::string message = db ? sqlite3_errmsg(db) : "out of memory";
            sqlite3_close_v2(db);
            throw StoreError("cannot open the database (" + message + ")");
        }
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        try {
            if (pool == Live) {
                exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;");
            } else {
                exec(db, settings.durable ? "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;"
                                          : "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF; PRAGMA foreign_keys=ON;");
            }
            if (pool == Reader) {
                Statement attach(db, "ATTACH DATABASE ? AS live");
                attach.bind(1, livePath).run();
            }
        } catch (...) {
            sqlite3_close_v2(db);
            throw;
        }
        return db;
    }

    // A connection lent to one operation and returned to the pool afterwards.
    class Lease {
      public:
        Lease(Impl &impl, Pool pool) : m_impl(impl), m_pool(pool)
        {
            {
                std::lock_guard lock(impl.poolMutex);
                if (!impl.idle[pool].empty()) {
                    m_db = impl.idle[pool].back();
                    impl.idle[pool].pop_back();
                }
            }
            if (!m_db)
                m_db = impl.openConnection(pool);
        }
        ~Lease()
        {
            std::lock_guard lock(m_impl.poolMutex);
            m_impl.idle[m_pool].push_back(m_db);
        }
        sqlite3 *db() const { return m_db; }

      private:
        Impl &m_impl;
        Pool m_pool;
        sqlite3 *m_db = nullptr;
    };

    void migrate()
    {
        {
            Lease live(*this, Live);
            exec(live.db(), kLiveSchema);
        }
        Lease lease(*this, Writer);
        sqlite3 *db = lease.db();
        Transaction tx(db, Transaction::Write);
        Statement version(db, "PRAGMA user_version");
        version.step();
        const int current = version.integer(0);
        const int target = static_cast<int>(std::size(kMigrations));
        if (current > target)
            throw StoreError("the database was written by a newer server (schema " + std::to_string(current) + ")");
        for (int v = current; v < target; ++v)
            exec(db, kMigrations[v]);
        exec(db, ("PRAGMA user_version=" + std::to_string(target)).c_str());
        sealPasswords(db);
        tx.commit();
    }

    // Seals passwords still kept as plain text (databases of earlier
    // servers), and makes sure the key opens those already sealed: a wrong
    // key file would otherwise lock every member out without a word.
    void sealPasswords(sqlite3 *db)
    {
        Statement all(db, "SELECT id, password FROM members");
        Statement update(db, "UPDATE members SET password = ? WHERE id = ?");
        std::vector<std::pair<int, std::string>> plain;
        while (all.step()) {
            const std::string stored = all.text(1);
            if (!PasswordCipher::isSealed(stored)) {
                plain.emplace_back(all.integer(0), stored);
            } else if (!cipher->open(stored)) {
                throw StoreError("the key file does not open the passwords of this database");
            }
        }
        for (const auto &[id, password] : plain) {
            update.bind(1, seal(password)).bind(2, id).run();
            update.reset();
        }
    }

    Member readMember(const Statement &s, int c = 0) const
    {
        Member m;
        m.id = s.integer(c + 0);
        m.userName = s.text(c + 1);
        m.password = unseal(s.text(c + 2));
        m.nickName = s.text(c + 3);
        m.sex = s.integer(c + 4);
        m.email = s.text(c + 5);
        m.face = s.integer(c + 6);
        m.realName = s.text(c + 7);
        m.address = s.text(c + 8);
        m.phone = s.text(c + 9);
        m.leader = s.text(c + 10);
        m.userGuid = s.text(c + 11);
        m.points = clampToInt(s.int64(c + 12));
        m.credit = s.integer(c + 13);
        m.role = s.integer(c + 14);
        m.customHead = s.integer(c + 15) != 0;
        m.alwaysOnline = s.integer(c + 16) != 0;
        m.registered = s.int64(c + 17);
        const bool signedIn = s.integer(c + 18) != 0;
        const Timestamp lastSeen = s.int64(c + 19);
        m.totalScore = s.integer(c + 20);
        m.questionsAsked = s.integer(c + 21);
        m.questionsClosed = s.integer(c + 22);
        m.answersGiven = s.integer(c + 23);
        m.answersScored = s.integer(c + 24);
        m.level = levelForTotalScore(m.totalScore);
        m.grade = gradeForCredit(m.credit);
        m.online = m.alwaysOnline || (signedIn && lastSeen >= onlineSince());
        return m;
    }

    Question readQuestion(const Statement &s) const
    {
        Question q;
        q.id = s.integer(0);
        q.askerId = s.integer(1);
        q.askerName = s.text(2);
        q.askerNick = s.text(3);
        q.column = s.integer(4);
        q.zone = s.integer(5);
        q.title = s.text(6);
        q.points = s.integer(7);
        q.posted = s.int64(8);
        q.closed = s.int64(9);
        q.answerCount = s.integer(10);
        q.state = q.closed != 0                ? QuestionState::Closed
                  : q.posted < overdueBefore() ? QuestionState::Overdue
                                               : QuestionState::Open;
        return q;
    }

    std::optional<Member> findMember(sqlite3 *db, const std::string &where,
                                     const std::function<void(Statement &)> &bind) const
    {
        Statement s(db, std::string("SELECT") + kMemberColumns + " FROM members m WHERE " + where);
        bind(s);
        if (!s.step())
            return std::nullopt;
        return readMember(s);
    }

    // Runs a read-only operation in one transaction.
    template <typename F> auto read(F &&f)
    {
        Lease lease(*this, Reader);
        Transaction tx(lease.db(), Transaction::Read);
        auto result = f(lease.db());
        tx.commit();
        return result;
    }
    // Writers of this process take turns here, first come first served,
    // rather than in SQLite's busy handler, whose sleeps gave contended
    // writes tails of a second; the busy timeout remains for other processes.
    FairTurn writeTurn;
    // Bumped after each committed write that changed a row of the community file.
    std::atomic<std::uint64_t> generation{1};

    template <typename F> auto write(F &&f)
    {
        FairTurn::Hold turn(writeTurn, settings.writerPatience);
        Lease lease(*this, Writer);
        Transaction tx(lease.db(), Transaction::Write);
        const sqlite3_int64 changesBefore = sqlite3_total_changes64(lease.db());
        auto result = f(lease.db());
        const bool changed = sqlite3_total_changes64(lease.db()) != changesBefore;
        tx.commit();
        if (changed)
            generation.fetch_add(1, std::memory_order_release);
        return result;
    }

    // A write to the live file only: no queue, no wait for the disk.
    template <typename F> auto writeLive(F &&f)
    {
        Lease lease(*this, Live);
        Transaction tx(lease.db(), Transaction::Write);
        auto result = f(lease.db());
        tx.commit();
        return result;
    }

    // A page of questions: `where` filters `q` (joined with its asker `m`),
    // `bind` binds its parameters from 1.
    QuestionPage listQuestions(const std::string &where, const std::string &order,
                               const std::function<void(Statement &)> &bind, Page page)
    {
        page = clampPage(page);
        return read([&](sqlite3 *db) {
            QuestionPage result;
            Statement count(db, "SELECT COUNT(*) FROM questions q JOIN members m ON m.id = q.asker_id WHERE " + where);
            bind(count);
            count.step();
            result.totalCount = count.integer(0);
            Statement rows(db, std::string("SELECT") + kQuestionColumns +
                                   " FROM questions q JOIN members m ON m.id = q.asker_id WHERE " + where +
                                   " ORDER BY " + order + " LIMIT ? OFFSET ?");
            bind(rows);
            // LIMIT and OFFSET are the last two parameters, numbered after those of `where`.
            const int last = rows.parameterCount();
            rows.bind(last - 1, page.size).bind(last, static_cast<std::int64_t>(page.index - 1) * page.size);
            while (rows.step())
                result.rows.push_back(readQuestion(rows));
            return result;
        });
    }

    std::vector<Expert> experts(sqlite3 *db, const std::string &where, const std::string &order, int zone,
                                const std::function<void(Statement &, int firstFree)> &bind, int limit)
    {
        // zone_scores row of the zone may be missing (score 0).
        Statement s(db, std::string("SELECT") + kMemberColumns +
                            R"sql(, COALESCE(zs.score, 0),
                (SELECT q.column_id FROM answers a JOIN questions q ON q.id = a.question_id
                 WHERE a.answerer_id = m.id AND q.zone = ?1 AND a.points_awarded > 0
                 GROUP BY q.column_id ORDER BY SUM(a.points_awarded) DESC, q.column_id LIMIT 1)
             FROM members m LEFT JOIN zone_scores zs ON zs.member_id = m.id AND zs.zone = ?1
             WHERE )sql" + kOnline +
                            " AND " + where + " ORDER BY " + order + " LIMIT ?3");
        s.bind(1, zone).bind(2, onlineSince()).bind(3, limit);
        bind(s, 4);
        std::vector<Expert> result;
        while (s.step()) {
            Expert e;
            e.member = readMember(s);
            e.zone = zone;
            e.zoneScore = s.integer(kMemberColumnCount);
            e.zoneRank = rankForScore(e.zoneScore);
            e.expertColumn = s.integer(kMemberColumnCount + 1);
            if (e.expertColumn == 0)
                e.expertColumn = firstColumnOfZone(zone);
            result.push_back(std::move(e));
        }
        return result;
    }
};

SqliteCommunityStore::SqliteCommunityStore(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
SqliteCommunityStore::~SqliteCommunityStore() = default;

int SqliteCommunityStore::schemaVersion()
{
    return static_cast<int>(std::size(kMigrations));
}

std::unique_ptr<SqliteCommunityStore> SqliteCommunityStore::open(const std::string &path, CommunitySettings settings,
                                                                 std::string &error)
{
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    impl->livePath = path + "-live";
    impl->settings = std::move(settings);
    const std::string keyFile = impl->settings.keyFile.empty() ? path + ".key" : impl->settings.keyFile;
    impl->cipher = PasswordCipher::fromKeyFile(keyFile, error);
    if (!impl->cipher)
        return nullptr;
    try {
        impl->migrate();
    } catch (const StoreError &e) {
        error = e.what();
        return nullptr;
    }
    return std::unique_ptr<SqliteCommunityStore>(new SqliteCommunityStore(std::move(impl)));
}

// ---- members ----------------------------------------------------------------

std::optional<Member> SqliteCommunityStore::memberById(int userID)
{
    return d->read(
        [&](sqlite3 *db) { return d->findMember(db, "m.id = ?", [&](Statement &s) { s.bind(1, userID); }); });
}

std::optional<Member> SqliteCommunityStore::memberByName(const std::string &userName)
{
    return d->read(
        [&](sqlite3 *db) { return d->findMember(db, "m.user_name = ?", [&](Statement &s) { s.bind(1, userName); }); });
}

std::optional<Member> SqliteCommunityStore::checkMember(int userID, const std::string &password)
{
    auto m = memberById(userID);
    if (!m || !sameSecret(m->password, password))
        return std::nullopt;
    return m;
}

std::optional<Member> SqliteCommunityStore::checkMember(const std::string &userName, const std::string &password)
{
    auto m = memberByName(userName);
    if (!m || !sameSecret(m->password, password))
        return std::nullopt;
    return m;
}

std::optional<Member> SqliteCommunityStore::checkModerator(const std::string &userName, const std::string &password)
{
    auto m = checkMember(userName, password);
    if (!m || m->role >= RoleExpert)
        return std::nullopt;
    return m;
}

bool SqliteCommunityStore::emailTaken(const std::string &email)
{
    const std::string wanted = trimmed(email);
    if (wanted.empty())
        return false;
    return d->read([&](sqlite3 *db) {
        Statement s(db, "SELECT 1 FROM members WHERE email = ?");
        s.bind(1, wanted);
        return s.step();
    });
}

std::optional<int> SqliteCommunityStore::createMember(const NewMember &member)
{
    const std::string userName = trimmed(member.userName);
    const std::string email = trimmed(member.email);
    if (userName.empty() || member.password.empty())
        return std::nullopt;
    return d->write([&](sqlite3 *db) -> std::optional<int> {
        {
            Statement taken(db, "SELECT 1 FROM members WHERE user_name = ?1 OR (?2 <> '' AND email = ?2)");
            taken.bind(1, userName).bind(2, email);
            if (taken.step())
                return std::nullopt;
        }
        Statement insert(db, R"sql(INSERT INTO members(user_name, password, nick_name, sex, email, face, real_name,
            address, phone, leader, user_guid, points, credit, registered)
            VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?))sql");
        insert.bind(1, userName)
            .bind(2, d->seal(member.password))
            .bind(3, trimmed(member.nickName).empty() ? userName : trimmed(member.nickName))
            .bind(4, member.sex)
            .bind(5, email)
            .bind(6, std::clamp(member.face, 1, 24))
            .bind(7, member.realName)
            .bind(8, member.address)
            .bind(9, member.phone)
            .bind(10, trimmed(member.leader))
            .bind(11, member.userGuid)
            .bind(12, d->settings.startPoints)
            .bind(13, d->settings.startCredit)
            .bind(14, d->now());
        try {
            insert.run();
        } catch (const Statement::ConstraintViolation &) {
            return std::nullopt;
        }
        // The recommender is thanked once the new member posts (payRecommender).
        return static_cast<int>(sqlite3_last_insert_rowid(db));
    });
}

bool SqliteCommunityStore::editProfile(int userID, const ProfileEdit &edit)
{
    const std::string email = trimmed(edit.email);
    if (edit.password.empty())
        return false;
    return d->write([&](sqlite3 *db) {
        {
            Statement taken(db, "SELECT 1 FROM members WHERE ?1 <> '' AND email = ?1 AND id <> ?2");
            taken.bind(1, email).bind(2, userID);
            if (taken.step())
                return false;
        }
        Statement s(db, "UPDATE members SET password = ?, nick_name = ?, email = ?, face = ? WHERE id = ?");
        s.bind(1, d->seal(edit.password))
            .bind(2, trimmed(edit.nickName))
            .bind(3, email)
            .bind(4, std::clamp(edit.face, 1, 24));
        s.bind(5, userID);
        try {
            s.run();
        } catch (const Statement::ConstraintViolation &) {
            return false;
        }
        return sqlite3_changes(db) > 0;
    });
}

namespace {
bool updateMemberColumn(sqlite3 *db, const char *sql, std::int64_t value, int userID)
{
    Statement s(db, sql);
    s.bind(1, value).bind(2, userID).run();
    return sqlite3_changes(db) > 0;
}
} // namespace

bool SqliteCommunityStore::setCustomHead(int userID, bool custom)
{
    return d->write([&](sqlite3 *db) {
        return updateMemberColumn(db, "UPDATE members SET custom_head = ? WHERE id = ?", custom ? 1 : 0, userID);
    });
}

bool SqliteCommunityStore::setRole(int userID, int role)
{
    return d->write([&](sqlite3 *db) {
        return updateMemberColumn(db, "UPDATE members SET role = ? WHERE id = ?", std::clamp(role, 1, 5), userID);
    });
}

bool SqliteCommunityStore::setAlwaysOnline(int userID, bool alwaysOnline)
{
    return d->write([&](sqlite3 *db) {
        return updateMemberColumn(db, "UPDATE members SET always_online = ? WHERE id = ?", alwaysOnline ? 1 : 0,
                                  userID);
    });
}

int SqliteCommunityStore::memberCount()
{
    return d->read([&](sqlite3 *db) {
        Statement s(db, "SELECT COUNT(*) FROM members");
        s.step();
        return s.integer(0);
    });
}

bool SqliteCommunityStore::adjustPoints(int userID, int delta)
{
    return d->write([&](sqlite3 *db) {
        Statement s(db, "UPDATE members SET points = points + ?1 WHERE id = ?2 AND points + ?1 BETWEEN 0 AND ?3");
        s.bind(1, delta).bind(2, userID).bind(3, std::numeric_limits<int>::max()).run();
        return sqlite3_changes(db) > 0;
    });
}

// ---- presence -----------------------------------------------------------------

bool SqliteCommunityStore::setOnline(int userID, const std::string &ipAddress)
{
    if (!memberById(userID))
        return false;
    return d->writeLive([&](sqlite3 *db) {
        Statement s(db, "INSERT INTO presence(user_id, signed_in, last_seen, ip_address) VALUES(?1, 1, ?2, ?3) "
                        "ON CONFLICT(user_id) DO UPDATE SET signed_in = 1, last_seen = ?2, ip_address = ?3");
        s.bind(1, userID).bind(2, d->now()).bind(3, ipAddress).run();
        return true;
    });
}

bool SqliteCommunityStore::setOffline(int userID)
{
    if (!memberById(userID))
        return false;
    return d->writeLive([&](sqlite3 *db) {
        Statement s(db, "INSERT INTO presence(user_id, signed_in, last_seen) VALUES(?1, 0, ?2) "
                        "ON CONFLICT(user_id) DO UPDATE SET signed_in = 0, last_seen = ?2");
        s.bind(1, userID).bind(2, d->now()).run();
        Statement unbind(db, "DELETE FROM bindings WHERE user_id = ?");
        unbind.bind(1, userID).run();
        return true;
    });
}

void SqliteCommunityStore::touch(int userID)
{
    // A sign of life keeps a signed-in member online; it never signs one in.
    d->writeLive([&](sqlite3 *db) {
        Statement s(db, "UPDATE presence SET last_seen = ? WHERE user_id = ? AND signed_in = 1");
        s.bind(1, d->now()).bind(2, userID).run();
        return true;
    });
}

std::optional<Member> SqliteCommunityStore::signInCheck(const std::string &userName, const std::string &password)
{
    auto m = checkMember(userName, password);
    if (m)
        touch(m->id);
    return m;
}

std::vector<Member> SqliteCommunityStore::onlineMembers(Page page, int &totalCount)
{
    page = clampPage(page);
    auto [members, total] = d->read([&](sqlite3 *db) {
        const std::string online = std::string(" WHERE ") + kOnline;
        Statement count(db, "SELECT COUNT(*) FROM members m" + online);
        count.bind(2, d->onlineSince());
        count.step();
        const int total = count.integer(0);
        Statement s(db, std::string("SELECT") + kMemberColumns + " FROM members m" + online +
                            " ORDER BY (SELECT p.last_seen FROM live.presence p WHERE p.user_id = m.id) DESC, m.id"
                            " LIMIT ?3 OFFSET ?4");
        s.bind(2, d->onlineSince()).bind(3, page.size).bind(4, static_cast<std::int64_t>(page.index - 1) * page.size);
        std::vector<Member> rows;
        while (s.step())
            rows.push_back(d->readMember(s));
        return std::make_pair(std::move(rows), total);
    });
    totalCount = total;
    return members;
}

std::vector<Expert> SqliteCommunityStore::onlineExperts(int zone)
{
    if (zone < 1 || zone > kZoneCount)
        return {};
    return d->read([&](sqlite3 *db) {
        // Ranks are steps of the score, so "rank at least N" is "score at least the step's threshold".
        int minScore = 0;
        while (rankForScore(minScore) < kExpertMinZoneRank)
            ++minScore;
        return d->experts(
            db, "COALESCE(zs.score, 0) >= ?4", "COALESCE(zs.score, 0) DESC, m.id", zone,
            [&](Statement &s, int first) { s.bind(first, minScore); }, kMaxExperts);
    });
}

std::vector<Expert> SqliteCommunityStore::onlineExpertsForQuestion(int postID)
{
    return d->read([&](sqlite3 *db) -> std::vector<Expert> {
        Statement q(db, "SELECT zone, column_id, asker_id FROM questions WHERE id = ?");
        q.bind(1, postID);
        if (!q.step())
            return {};
        const int zone = q.integer(0);
        const int column = q.integer(1);
        const int asker = q.integer(2);
        int minScore = 0;
        while (rankForScore(minScore) < kExpertMinZoneRank)
            ++minScore;
        auto experts = d->experts(
            db, "COALESCE(zs.score, 0) >= ?4 AND m.id <> ?5", "COALESCE(zs.score, 0) DESC, m.id", zone,
            [&](Statement &s, int first) { s.bind(first, minScore).bind(first + 1, asker); }, kMaxExperts);
        // Experts of the question's own column first.
        std::stable_partition(experts.begin(), experts.end(),
                              [&](const Expert &e) { return e.expertColumn == column; });
        if (experts.size() > static_cast<size_t>(kMaxQuestionExperts))
            experts.resize(kMaxQuestionExperts);
        return experts;
    });
}

std::vector<Expert> SqliteCommunityStore::onlineAnswerers(int postID)
{
    return d->read([&](sqlite3 *db) -> std::vector<Expert> {
        Statement q(db, "SELECT zone FROM questions WHERE id = ?");
        q.bind(1, postID);
        if (!q.step())
            return {};
        const int zone = q.integer(0);
        return d->experts(
            db, "EXISTS (SELECT 1 FROM answers a WHERE a.question_id = ?4 AND a.answerer_id = m.id)",
            "(SELECT MIN(a.id) FROM answers a WHERE a.question_id = ?4 AND a.answerer_id = m.id)", zone,
            [&](Statement &s, int first) { s.bind(first, postID); }, kMaxAnswerers);
    });
}

// ---- questions and answers --------------------------------------------------------

PostResult SqliteCommunityStore::createQuestion(int userID, const std::string &title, int column, int points,
                                                const std::string &text)
{
    const int zone = zoneOfColumn(column);
    const std::string cleanTitle = trimmed(title);
    if (zone == 0)
        return {PostResult::BadColumn};
    if (points < kMinQuestionPoints || points > kMaxQuestionPoints)
        return {PostResult::BadPoints};
    if (cleanTitle.empty())
        return {PostResult::EmptyText};
    return d->write([&](sqlite3 *db) -> PostResult {
        Statement m(db, "SELECT points, credit FROM members WHERE id = ?");
        m.bind(1, userID);
        if (!m.step())
            return {PostResult::UnknownMember};
        if (m.integer(1) < kCreditToAsk)
            return {PostResult::LowCredit};
        if (m.integer(0) < points)
            return {PostResult::NotEnoughPoints};
        Statement overdue(db, "SELECT 1 FROM questions WHERE asker_id = ? AND zone = ? AND closed = 0 AND posted < ?");
        overdue.bind(1, userID).bind(2, zone).bind(3, d->overdueBefore());
        if (overdue.step())
            return {PostResult::HasOverdue};
        // The question's points are reserved now and paid out when it is closed.
        Statement reserve(db, "UPDATE members SET points = points - ? WHERE id = ?");
        reserve.bind(1, points).bind(2, userID).run();
        Statement insert(db, "INSERT INTO questions(asker_id, column_id, zone, title, body, points, posted) "
                             "VALUES(?, ?, ?, ?, ?, ?, ?)");
        insert.bind(1, userID).bind(2, column).bind(3, zone).bind(4, cleanTitle).bind(5, trimmed(text));
        insert.bind(6, points).bind(7, d->now()).run();
        const int id = static_cast<int>(sqlite3_last_insert_rowid(db));
        payRecommender(db, userID, d->now(), d->settings.recommenderBonusesPerDay);
        return {PostResult::Ok, id};
    });
}

ReplyResult SqliteCommunityStore::createAnswer(int postID, int userID, int /*column*/, const std::string &text)
{
    const std::string body = trimmed(text);
    if (body.empty())
        return {ReplyResult::EmptyText};
    return d->write([&](sqlite3 *db) -> ReplyResult {
        Statement m(db, "SELECT credit FROM members WHERE id = ?");
        m.bind(1, userID);
        if (!m.step())
            return {ReplyResult::UnknownMember};
        Statement q(db, "SELECT asker_id, closed FROM questions WHERE id = ?");
        q.bind(1, postID);
        if (!q.step())
            return {ReplyResult::UnknownQuestion};
        if (q.int64(1) != 0)
            return {ReplyResult::NotOpen};
        if (q.integer(0) == userID)
            return {ReplyResult::OwnQuestion};
        if (m.integer(0) < kCreditToAnswer)
            return {ReplyResult::LowCredit};
        Statement given(db, "SELECT COUNT(*) FROM answers WHERE answerer_id = ? AND question_id = ?");
        given.bind(1, userID).bind(2, postID);
        given.step();
        if (given.integer(0) >= kMaxAnswersPerQuestion)
            return {ReplyResult::TooManyAnswers};
        Statement insert(db, "INSERT INTO answers(question_id, answerer_id, body, posted) VALUES(?, ?, ?, ?)");
        insert.bind(1, postID).bind(2, userID).bind(3, body).bind(4, d->now()).run();
        const int id = static_cast<int>(sqlite3_last_insert_rowid(db));
        payRecommender(db, userID, d->now(), d->settings.recommenderBonusesPerDay);
        return {ReplyResult::Ok, id};
    });
}

namespace {
std::vector<Answer> readAnswers(sqlite3 *db, int postID)
{
    Statement s(db, R"sql(SELECT a.id, a.question_id, a.answerer_id, m.user_name, m.nick_name, a.body, a.posted,
        a.points_awarded FROM answers a JOIN members m ON m.id = a.answerer_id WHERE a.question_id = ? ORDER BY a.id)sql");
    s.bind(1, postID);
    std::vector<Answer> answers;
    while (s.step()) {
        Answer a;
        a.id = s.integer(0);
        a.questionId = s.integer(1);
        a.answererId = s.integer(2);
        a.answererName = s.text(3);
        a.answererNick = s.text(4);
        a.text = s.text(5);
        a.posted = s.int64(6);
        a.pointsAwarded = s.integer(7);
        answers.push_back(std::move(a));
    }
    return answers;
}
} // namespace

std::optional<Question> SqliteCommunityStore::question(int postID)
{
    return d->read([&](sqlite3 *db) -> std::optional<Question> {
        Statement s(db, std::string("SELECT") + kQuestionColumns +
                            ", q.body FROM questions q JOIN members m ON m.id = q.asker_id WHERE q.id = ?");
        s.bind(1, postID);
        if (!s.step())
            return std::nullopt;
        Question q = d->readQuestion(s);
        q.text = s.text(11);
        q.answers = readAnswers(db, postID);
        return q;
    });
}

CloseResult SqliteCommunityStore::closeQuestion(int postID, int askerUserID,
                                                const std::vector<std::pair<int, int>> &answerPoints)
{
    return d->write([&](sqlite3 *db) -> CloseResult {
        Statement q(db, "SELECT asker_id, zone, points, posted, closed FROM questions WHERE id = ?");
        q.bind(1, postID);
        if (!q.step())
            return CloseResult::UnknownQuestion;
        if (q.integer(0) != askerUserID)
            return CloseResult::NotAsker;
        if (q.int64(4) != 0)
            return CloseResult::AlreadyClosed;
        const int zone = q.integer(1);
        const int points = q.integer(2);
        const bool late = q.int64(3) < d->overdueBefore();

        const std::vector<Answer> answers = readAnswers(db, postID);
        auto findAnswer = [&answers](int id) -> const Answer * {
            const auto it = std::find_if(answers.begin(), answers.end(), [id](const Answer &a) { return a.id == id; });
            return it == answers.end() ? nullptr : &*it;
        };
        std::map<int, int> awards; // answer ID -> points
        long long sum = 0;
        for (const auto &[answerId, share] : answerPoints) {
            if (share < 0 || share > points)
                return CloseResult::PointsMismatch;
            if (!findAnswer(answerId))
                return CloseResult::UnknownAnswer;
            sum += share;
            if (sum > points)
                return CloseResult::PointsMismatch;
            awards[answerId] += share;
        }
        // With answers present, every point goes to them; a question nobody
        // answered closes with its points handed back to the asker.
        if (answers.empty() ? sum != 0 : sum != points)
            return CloseResult::PointsMismatch;

        const Timestamp now = d->now();
        Statement award(db, "UPDATE answers SET points_awarded = ? WHERE id = ?");
        Statement pay(db, "UPDATE members SET points = points + ?1, credit = MIN(?2, credit + ?3) WHERE id = ?4");
        Statement score(db, "INSERT INTO zone_scores(member_id, zone, score) VALUES(?1, ?2, ?3) "
                            "ON CONFLICT(member_id, zone) DO UPDATE SET score = score + ?3");
        for (const auto &[answerId, share] : awards) {
            if (share == 0)
                continue;
            const Answer &answer = *findAnswer(answerId);
            award.bind(1, share).bind(2, answerId).run();
            award.reset();
            pay.bind(1, share).bind(2, kMaxCredit).bind(3, kCreditForChosenAnswer).bind(4, answer.answererId).run();
            pay.reset();
            score.bind(1, answer.answererId).bind(2, zone).bind(3, share).run();
            score.reset();
        }
        Statement asker(db,
                        "UPDATE members SET points = points + ?1, credit = MAX(0, MIN(?2, credit + ?3)) WHERE id = ?4");
        asker.bind(1, answers.empty() ? points : 0)
            .bind(2, kMaxCredit)
            .bind(3, late ? kCreditForLateClose : kCreditForTimelyClose)
            .bind(4, askerUserID)
            .run();
        Statement close(db, "UPDATE questions SET closed = ? WHERE id = ?");
        close.bind(1, now).bind(2, postID).run();
        return CloseResult::Ok;
    });
}

bool SqliteCommunityStore::hasOverdueQuestions(int userID, int zone)
{
    return d->read([&](sqlite3 *db) {
        Statement s(db, "SELECT 1 FROM questions WHERE asker_id = ?1 AND closed = 0 AND posted < ?2 "
                        "AND (?3 NOT BETWEEN 1 AND 4 OR zone = ?3) LIMIT 1");
        s.bind(1, userID).bind(2, d->overdueBefore()).bind(3, zone);
        return s.step();
    });
}

std::vector<Question> SqliteCommunityStore::ownQuestions(int userID)
{
    return d->read([&](sqlite3 *db) {
        Statement s(
            db, std::string("SELECT") + kQuestionColumns +
                    " FROM questions q JOIN members m ON m.id = q.asker_id WHERE q.asker_id = ? ORDER BY q.id DESC");
        s.bind(1, userID);
        std::vector<Question> rows;
        while (s.step())
            rows.push_back(d->readQuestion(s));
        return rows;
    });
}

// ---- the eight lists --------------------------------------------------------------

namespace {
// A zone filter: 1 to 4 selects that zone, anything else every zone.
const char *const kZoneFilter = "(?2 NOT BETWEEN 1 AND 4 OR q.zone = ?2)";
} // namespace

QuestionPage SqliteCommunityStore::questionsInColumn(int column, Page page)
{
    return d->listQuestions(
        "q.column_id = ?1", "q.id DESC", [&](Statement &s) { s.bind(1, column); }, page);
}

QuestionPage SqliteCommunityStore::questionsAskedBy(int userID, int zone, Page page)
{
    return d->listQuestions(
        std::string("q.asker_id = ?1 AND ") + kZoneFilter, "q.id DESC",
        [&](Statement &s) { s.bind(1, userID).bind(2, zone); }, page);
}

QuestionPage SqliteCommunityStore::questionsToClose(int userID, int zone, Page page)
{
    return d->listQuestions(
        std::string("q.asker_id = ?1 AND q.closed = 0 AND ") + kZoneFilter, "q.posted, q.id",
        [&](Statement &s) { s.bind(1, userID).bind(2, zone); }, page);
}

QuestionPage SqliteCommunityStore::questionsAnsweredBy(int userID, int zone, Page page)
{
    return d->listQuestions(
        std::string("EXISTS (SELECT 1 FROM answers a WHERE a.question_id = q.id AND a.answerer_id = ?1) AND ") +
            kZoneFilter,
        "q.id DESC", [&](Statement &s) { s.bind(1, userID).bind(2, zone); }, page);
}

QuestionPage SqliteCommunityStore::questionsScoredBy(int userID, int zone, Page page)
{
    return d->listQuestions(
        std::string("EXISTS (SELECT 1 FROM answers a WHERE a.question_id = q.id AND "
                    "a.answerer_id = ?1 AND a.points_awarded > 0) AND ") +
            kZoneFilter,
        "q.closed DESC, q.id DESC", [&](Statement &s) { s.bind(1, userID).bind(2, zone); }, page);
}

QuestionPage SqliteCommunityStore::searchById(int postID)
{
    return d->listQuestions(
        "q.id = ?1", "q.id", [&](Statement &s) { s.bind(1, postID); }, Page{1, 1});
}

QuestionPage SqliteCommunityStore::searchByTitle(int column, const std::string &keywords, Page page)
{
    // Every word must occur in the title (ASCII letters match in either case).
    std::vector<std::string> words;
    std::istringstream in(keywords);
    for (std::string word; in >> word;) {
        std::string pattern = "%";
        for (char c : word) {
            if (c == '%' || c == '_' || c == '\\')
                pattern += '\\';
            pattern += c;
        }
        words.push_back(pattern + "%");
    }
    std::string where = "(?1 NOT BETWEEN 1 AND 41 OR q.column_id = ?1)";
    for (size_t i = 0; i < words.size(); ++i)
        where += " AND q.title LIKE ?" + std::to_string(i + 2) + " ESCAPE '\\'";
    return d->listQuestions(
        where, "q.id DESC",
        [&](Statement &s) {
            s.bind(1, column);
            for (size_t i = 0; i < words.size(); ++i)
                s.bind(static_cast<int>(i + 2), words[i]);
        },
        page);
}

QuestionPage SqliteCommunityStore::searchByAsker(const std::string &userName, Page page)
{
    return d->listQuestions(
        "m.user_name = ?1", "q.id DESC", [&](Statement &s) { s.bind(1, trimmed(userName)); }, page);
}

// ---- announcements ------------------------------------------------------------------

namespace {
Announcement readAnnouncement(const Statement &s)
{
    Announcement a;
    a.id = s.integer(0);
    a.zone = s.integer(1);
    a.kind = s.integer(2);
    a.title = s.text(3);
    a.target = s.text(4);
    a.body = s.text(5);
    a.authorId = s.integer(6);
    a.posted = s.int64(7);
    return a;
}
const char *const kAnnouncementColumns = "id, zone, kind, title, target, body, author_id, posted";
} // namespace

std::optional<int> SqliteCommunityStore::addAnnouncement(int zone, int kind, const std::string &markupTitle,
                                                         const std::string &target, int authorUserID,
                                                         const std::string &body)
{
    if (zone < 1 || zone > kZoneCount || kind < 0 || kind > 3 || trimmed(markupTitle).empty())
        return std::nullopt;
    if ((kind == 2 || kind == 3) && trimmed(target).empty())
        return std::nullopt;
    return d->write([&](sqlite3 *db) -> std::optional<int> {
        Statement author(db, "SELECT 1 FROM members WHERE id = ?");
        author.bind(1, authorUserID);
        if (!author.step())
            return std::nullopt;
        Statement insert(db, "INSERT INTO announcements(zone, kind, title, target, body, author_id, posted) "
                             "VALUES(?, ?, ?, ?, ?, ?, ?)");
        insert.bind(1, zone).bind(2, kind).bind(3, trimmed(markupTitle)).bind(4, trimmed(target)).bind(5, body);
        insert.bind(6, authorUserID).bind(7, d->now()).run();
        const int id = static_cast<int>(sqlite3_last_insert_rowid(db));
        // Notices and news open the announcement's own page.
        if (kind == 0 || kind == 1) {
            Statement self(db, "UPDATE announcements SET target = ? WHERE id = ?");
            self.bind(1, std::to_string(id)).bind(2, id).run();
        }
        return id;
    });
}

std::optional<Announcement> SqliteCommunityStore::announcement(int id)
{
    return d->read([&](sqlite3 *db) -> std::optional<Announcement> {
        Statement s(db, std::string("SELECT ") + kAnnouncementColumns + " FROM announcements WHERE id = ?");
        s.bind(1, id);
        if (!s.step())
            return std::nullopt;
        return readAnnouncement(s);
    });
}

std::vector<Announcement> SqliteCommunityStore::announcements(int zone)
{
    return d->read([&](sqlite3 *db) {
        Statement s(db, std::string("SELECT ") + kAnnouncementColumns +
                            " FROM announcements WHERE zone = ? ORDER BY id DESC LIMIT ?");
        s.bind(1, zone).bind(2, kMaxAnnouncements);
        std::vector<Announcement> rows;
        while (s.step())
            rows.push_back(readAnnouncement(s));
        return rows;
    });
}

// ---- messages ---------------------------------------------------------------------------

bool SqliteCommunityStore::sendMessage(int fromUserID, int toUserID, const std::string &text)
{
    if (trimmed(text).empty())
        return false;
    return d->write([&](sqlite3 *db) {
        Statement both(db, "SELECT COUNT(*) FROM members WHERE id IN (?1, ?2)");
        both.bind(1, fromUserID).bind(2, toUserID);
        both.step();
        if (both.integer(0) != (fromUserID == toUserID ? 1 : 2))
            return false;
        Statement insert(db, "INSERT INTO messages(from_id, to_id, body, sent) VALUES(?, ?, ?, ?)");
        insert.bind(1, fromUserID).bind(2, toUserID).bind(3, text).bind(4, d->now()).run();
        return true;
    });
}

std::vector<Message> SqliteCommunityStore::takeMessages(int userID, int limit)
{
    // A poll is a sign of life; with nothing waiting it stays a read.
    touch(userID);
    const bool waiting = d->read([&](sqlite3 *db) {
        Statement s(db, "SELECT 1 FROM messages WHERE to_id = ? AND delivered = 0 LIMIT 1");
        s.bind(1, userID);
        return s.step();
    });
    if (!waiting || limit <= 0)
        return {};
    return d->write([&](sqlite3 *db) {
        Statement s(db, std::string("SELECT msg.id, msg.from_id, msg.to_id, msg.body, msg.sent,") +
                            kMemberColumnsWithoutPresence +
                            " FROM messages msg JOIN members m ON m.id = msg.from_id"
                            " WHERE msg.to_id = ? AND msg.delivered = 0 ORDER BY msg.id LIMIT ?");
        s.bind(1, userID).bind(2, limit);
        std::vector<Message> rows;
        while (s.step()) {
            Message msg;
            msg.id = s.integer(0);
            msg.fromId = s.integer(1);
            msg.toId = s.integer(2);
            msg.text = s.text(3);
            msg.sent = s.int64(4);
            msg.sender = d->readMember(s, 5);
            rows.push_back(std::move(msg));
        }
        Statement mark(db, "UPDATE messages SET delivered = ? WHERE id = ?");
        for (const Message &msg : rows) {
            mark.bind(1, d->now()).bind(2, msg.id).run();
            mark.reset();
        }
        return rows;
    });
}

// ---- sign-in bindings and rate counters ---------------------------------------------------

namespace {
EventCount countIn(sqlite3 *db, const std::string &kind, const std::string &subject, Timestamp since)
{
    Statement s(db, "SELECT COUNT(*), COALESCE(MIN(at), 0), COALESCE(MAX(at), 0) FROM events "
                    "WHERE kind = ? AND subject = ? AND at > ?");
    s.bind(1, kind).bind(2, subject).bind(3, since);
    s.step();
    EventCount count;
    count.count = s.integer(0);
    count.oldest = s.int64(1);
    count.newest = s.int64(2);
    return count;
}

void addEvent(sqlite3 *db, const std::string &kind, const std::string &subject, Timestamp now)
{
    Statement s(db, "INSERT INTO events(kind, subject, at) VALUES(?, ?, ?)");
    s.bind(1, kind).bind(2, subject).bind(3, now).run();
    // Old events are swept now and then rather than on every call.
    thread_local std::minstd_rand dice{std::random_device{}()};
    if (dice() % 64 == 0) {
        Statement sweep(db, "DELETE FROM events WHERE at < ?");
        sweep.bind(1, now - kEventHorizon).run();
    }
}
} // namespace

void SqliteCommunityStore::bindMember(int userID, const std::string &address)
{
    d->writeLive([&](sqlite3 *db) {
        Statement s(db, "INSERT INTO bindings(user_id, address, renewed) VALUES(?1, ?2, ?3) "
                        "ON CONFLICT(user_id) DO UPDATE SET address = ?2, renewed = ?3");
        s.bind(1, userID).bind(2, address).bind(3, d->now()).run();
        return true;
    });
}

void SqliteCommunityStore::unbindMember(int userID)
{
    d->writeLive([&](sqlite3 *db) {
        Statement s(db, "DELETE FROM bindings WHERE user_id = ?");
        s.bind(1, userID).run();
        return true;
    });
}

bool SqliteCommunityStore::isBoundTo(int userID, const std::string &address, Timestamp idleSeconds)
{
    const Timestamp now = d->now();
    const auto renewed = d->read([&](sqlite3 *db) -> std::optional<Timestamp> {
        Statement s(db, "SELECT renewed FROM live.bindings WHERE user_id = ? AND address = ?");
        s.bind(1, userID).bind(2, address);
        if (!s.step())
            return std::nullopt;
        return s.int64(0);
    });
    if (!renewed || *renewed < now - idleSeconds)
        return false;
    // Renewed at most once a second: a burst of calls costs one write.
    if (*renewed < now) {
        d->writeLive([&](sqlite3 *db) {
            Statement s(db, "UPDATE bindings SET renewed = ? WHERE user_id = ? AND address = ?");
            s.bind(1, now).bind(2, userID).bind(3, address).run();
            return true;
        });
    }
    return true;
}

EventCount SqliteCommunityStore::countEvents(const std::string &kind, const std::string &subject, Timestamp since)
{
    return d->writeLive([&](sqlite3 *db) { return countIn(db, kind, subject, since); });
}

EventCount SqliteCommunityStore::takeAllowance(const std::string &kind, const std::string &subject, int limit,
                                               Timestamp windowSeconds)
{
    return d->writeLive([&](sqlite3 *db) {
        const Timestamp now = d->now();
        EventCount count = countIn(db, kind, subject, now - windowSeconds);
        if (count.count < limit) {
            addEvent(db, kind, subject, now);
            ++count.count;
            if (count.oldest == 0)
                count.oldest = now;
            count.newest = now;
            count.taken = true;
        }
        return count;
    });
}

void SqliteCommunityStore::recordEvent(const std::string &kind, const std::string &subject)
{
    d->writeLive([&](sqlite3 *db) {
        addEvent(db, kind, subject, d->now());
        return true;
    });
}

void SqliteCommunityStore::clearEvents(const std::string &kind, const std::string &subject)
{
    d->writeLive([&](sqlite3 *db) {
        Statement s(db, "DELETE FROM events WHERE kind = ? AND subject = ?");
        s.bind(1, kind).bind(2, subject).run();
        return true;
    });
}

// ---- scores -------------------------------------------------------------------------------

std::vector<ZoneScore> SqliteCommunityStore::scores(int userID)
{
    return d->read([&](sqlite3 *db) {
        std::vector<ZoneScore> rows;
        Statement exists(db, "SELECT 1 FROM members WHERE id = ?");
        exists.bind(1, userID);
        if (!exists.step())
            return rows;
        Statement s(db, "SELECT score FROM zone_scores WHERE member_id = ? AND zone = ?");
        int total = 0;
        for (int zone = 1; zone <= kZoneCount; ++zone) {
            s.bind(1, userID).bind(2, zone);
            const int score = s.step() ? s.integer(0) : 0;
            s.reset();
            total += score;
            rows.push_back({zone, zoneName(zone), score, rankForScore(score)});
        }
        rows.push_back({0, "All Zones", total, levelForTotalScore(total)});
        return rows;
    });
}

std::uint64_t SqliteCommunityStore::listGeneration()
{
    return d->generation.load(std::memory_order_acquire);
}

} // namespace varnel
