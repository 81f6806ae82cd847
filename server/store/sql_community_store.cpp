#include "sql_community_store.h"

#include "sql/postgres_engine.h"
#include "sql_store_internal.h"
#include "sqlite_community_store.h"

namespace varnel {

using namespace store_sql;

SqlCommunityStore::SqlCommunityStore(std::unique_ptr<sql::Engine> engine, CommunitySettings settings,
                                     std::unique_ptr<PasswordCipher> cipher)
    : m_engine(std::move(engine)), m_settings(std::move(settings)), m_cipher(std::move(cipher))
{
}

SqlCommunityStore::~SqlCommunityStore() = default;

std::unique_ptr<SqlCommunityStore> SqlCommunityStore::open(std::unique_ptr<sql::Engine> engine,
                                                           CommunitySettings settings,
                                                           std::unique_ptr<PasswordCipher> cipher, std::string &error)
{
    std::unique_ptr<SqlCommunityStore> store(
        new SqlCommunityStore(std::move(engine), std::move(settings), std::move(cipher)));
    if (!store->start(error))
        return nullptr;
    return store;
}

bool SqlCommunityStore::start(std::string &error)
{
    try {
        migrate();
    } catch (const StoreError &e) {
        error = e.what();
        return false;
    }
    return true;
}

std::unique_ptr<SqlCommunityStore> openCommunityStore(const std::string &db, CommunitySettings settings,
                                                      std::string &error)
{
    if (sql::isPostgresUrl(db)) {
        // Every server on the database must seal with the same key, and
        // there is no file beside the database to keep it in.
        if (settings.keyFile.empty()) {
            error = "a PostgreSQL database needs --key-file: the file with the key that seals passwords, "
                    "the same file for every server on the database";
            return nullptr;
        }
        auto cipher = PasswordCipher::fromKeyFile(settings.keyFile, error);
        if (!cipher)
            return nullptr;
        sql::PostgresOptions options;
        options.url = db;
        options.durable = settings.durable;
        options.writerPatience = settings.writerPatience;
        auto engine = sql::openPostgresEngine(options, error);
        if (!engine)
            return nullptr;
        return SqlCommunityStore::open(std::move(engine), std::move(settings), std::move(cipher), error);
    }
    return SqliteCommunityStore::open(db, std::move(settings), error);
}

std::uint64_t SqlCommunityStore::listGeneration()
{
    return m_engine->generation();
}

// ---- reading rows -------------------------------------------------------------

Member SqlCommunityStore::readMember(const sql::Query &s, int c) const
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

Question SqlCommunityStore::readQuestion(const sql::Query &s) const
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

std::optional<Member> SqlCommunityStore::findMember(const std::string &where, const Binder &bind)
{
    return m_engine->read([&](sql::Connection &c) -> std::optional<Member> {
        sql::Query s = c.query("SELECT" + kMemberColumns + " FROM members m WHERE " + where);
        bind(s);
        if (!s.step())
            return std::nullopt;
        return readMember(s);
    });
}

// A page of questions: `where` filters `q` (joined with its asker `m` when
// `byAsker`), `bind` binds its parameters from 1.
QuestionPage SqlCommunityStore::listQuestions(const std::string &where, const std::string &order, const Binder &bind,
                                              Page page, bool byAsker)
{
    page = clampPage(page);
    const std::int64_t offset = static_cast<std::int64_t>(page.index - 1) * page.size;
    const std::string from =
        byAsker ? " FROM questions q JOIN members m ON m.id = q.asker_id WHERE " : " FROM questions q WHERE ";
    return m_engine->read([&](sql::Connection &c) {
        QuestionPage result;
        {
            // The page's questions are picked by ID alone; only theirs are
            // then read whole, with their answer counts, so that the rows
            // before the page cost an index step each and nothing more.
            sql::Query rows = c.query(std::string("SELECT") + kQuestionColumns + " FROM (SELECT q.id" + from + where +
                                      " ORDER BY " + order +
                                      " LIMIT ? OFFSET ?) page JOIN questions q ON q.id = page.id"
                                      " JOIN members m ON m.id = q.asker_id ORDER BY " +
                                      order);
            bind(rows);
            // LIMIT and OFFSET are the last two parameters, numbered after those of `where`.
            const int last = rows.parameterCount();
            rows.bind(last - 1, page.size).bind(last, offset);
            while (rows.step())
                result.rows.push_back(readQuestion(rows));
        }
        const auto found = static_cast<std::int64_t>(result.rows.size());
        if (found > 0 && found < page.size) {
            result.totalCount = clampToInt(offset + found); // the list ends on this page
        } else if (found > 0 || offset > 0) {
            // Counted on its own, without the rows' columns: for a column,
            // along its index.
            sql::Query count = c.query("SELECT COUNT(*)" + from + where);
            bind(count);
            count.step();
            result.totalCount = count.integer(0);
        }
        return result;
    });
}

std::vector<Expert> SqlCommunityStore::experts(sql::Connection &c, const std::string &where, const std::string &order,
                                               int zone, const std::function<void(sql::Query &, int firstFree)> &bind,
                                               int limit)
{
    // zone_scores row of the zone may be missing (score 0).
    sql::Query s = c.query("SELECT" + kMemberColumns +
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

// The first question or solution of a recommended member earns the
// recommender his bonus, unless he has had his share for the day: accounts
// made only to feed a recommender earn nothing until they take part.
void SqlCommunityStore::payRecommender(sql::Connection &c, int memberID)
{
    const Timestamp at = now();
    std::string leader;
    {
        sql::Query m = c.query("SELECT leader, leader_paid FROM members WHERE id = ?");
        m.bind(1, memberID);
        if (!m.step() || m.text(0).empty() || m.int64(1) != 0)
            return;
        leader = m.text(0);
    }
    int recommender = 0;
    {
        sql::Query r = c.query("SELECT id FROM members WHERE NOCASE(user_name) = NOCASE(?) AND id <> ?");
        r.bind(1, leader).bind(2, memberID);
        if (!r.step())
            return; // no such recommender: nothing owed, ask again next time
        recommender = r.integer(0);
    }
    // Counted by the recommender paid, whatever case each recruit wrote his name in.
    sql::Query today = c.query("SELECT COUNT(*) FROM members WHERE leader_id = ? AND leader_paid >= ?");
    today.bind(1, recommender).bind(2, at - 86400);
    today.step();
    if (today.integer(0) >= m_settings.recommenderBonusesPerDay)
        return;
    sql::Query bonus = c.query("UPDATE members SET points = points + ? WHERE id = ?");
    bonus.bind(1, kRecommenderBonus).bind(2, recommender).run();
    sql::Query paid = c.query("UPDATE members SET leader_paid = ?, leader_id = ? WHERE id = ?");
    paid.bind(1, at).bind(2, recommender).bind(3, memberID).run();
}

} // namespace varnel
