// Presence, sign-in bindings and rate counters: the live tables, written
// without queueing behind the community's writers; and the online lists.
#include "sql_community_store.h"
#include "sql_store_internal.h"

#include <random>

namespace varnel {

using namespace store_sql;

bool SqlCommunityStore::setOnline(int userID, const std::string &ipAddress)
{
    if (!memberById(userID))
        return false;
    return m_engine->live([&](sql::Connection &c) {
        sql::Query s = c.query("INSERT INTO presence(user_id, signed_in, last_seen, ip_address) VALUES(?1, 1, ?2, ?3) "
                               "ON CONFLICT(user_id) DO UPDATE SET signed_in = 1, last_seen = ?2, ip_address = ?3");
        s.bind(1, userID).bind(2, now()).bind(3, ipAddress).run();
        return true;
    });
}

bool SqlCommunityStore::setOffline(int userID)
{
    if (!memberById(userID))
        return false;
    return m_engine->live([&](sql::Connection &c) {
        sql::Query s = c.query("INSERT INTO presence(user_id, signed_in, last_seen) VALUES(?1, 0, ?2) "
                               "ON CONFLICT(user_id) DO UPDATE SET signed_in = 0, last_seen = ?2");
        s.bind(1, userID).bind(2, now()).run();
        sql::Query unbind = c.query("DELETE FROM bindings WHERE user_id = ?");
        unbind.bind(1, userID).run();
        return true;
    });
}

void SqlCommunityStore::touch(int userID)
{
    // A sign of life keeps a signed-in member online; it never signs one in.
    m_engine->live([&](sql::Connection &c) {
        sql::Query s = c.query("UPDATE presence SET last_seen = ? WHERE user_id = ? AND signed_in = 1");
        s.bind(1, now()).bind(2, userID).run();
        return true;
    });
}

std::optional<Member> SqlCommunityStore::signInCheck(const std::string &userName, const std::string &password)
{
    auto m = checkMember(userName, password);
    if (m)
        touch(m->id);
    return m;
}

std::vector<Member> SqlCommunityStore::onlineMembers(Page page, int &totalCount)
{
    page = clampPage(page);
    const std::int64_t offset = static_cast<std::int64_t>(page.index - 1) * page.size;
    auto [members, total] = m_engine->read([&](sql::Connection &c) {
        const std::string online = std::string(" WHERE ") + kOnline;
        // Members without a presence row (always online) come last, as the
        // oldest seen. The page's members are picked by ID first; only
        // theirs are read whole, with the figures each one costs.
        const std::string order =
            " ORDER BY COALESCE((SELECT p.last_seen FROM presence p WHERE p.user_id = m.id), 0) DESC, m.id";
        sql::Query s = c.query("SELECT" + kMemberColumns + " FROM (SELECT m.id FROM members m" + online + order +
                               " LIMIT ?3 OFFSET ?4) page JOIN members m ON m.id = page.id" + order);
        s.bind(2, onlineSince()).bind(3, page.size).bind(4, offset);
        std::vector<Member> rows;
        while (s.step())
            rows.push_back(readMember(s));
        const auto found = static_cast<std::int64_t>(rows.size());
        int total = 0;
        if (found > 0 && found < page.size) {
            total = clampToInt(offset + found); // the list ends on this page
        } else if (found > 0 || offset > 0) {
            sql::Query count = c.query("SELECT COUNT(*) FROM members m" + online);
            count.bind(2, onlineSince());
            count.step();
            total = count.integer(0);
        }
        return std::make_pair(std::move(rows), total);
    });
    totalCount = total;
    return members;
}

namespace {
// Ranks are steps of the score, so "rank at least N" is "score at least the step's threshold".
int expertMinScore()
{
    int minScore = 0;
    while (rankForScore(minScore) < kExpertMinZoneRank)
        ++minScore;
    return minScore;
}
} // namespace

std::vector<Expert> SqlCommunityStore::onlineExperts(int zone)
{
    if (zone < 1 || zone > kZoneCount)
        return {};
    return m_engine->read([&](sql::Connection &c) {
        return experts(
            c, "COALESCE(zs.score, 0) >= ?4", "COALESCE(zs.score, 0) DESC, m.id", zone,
            [&](sql::Query &s, int first) { s.bind(first, expertMinScore()); }, kZoneExpertsMax);
    });
}

std::vector<Expert> SqlCommunityStore::onlineExpertsForQuestion(int postID)
{
    return m_engine->read([&](sql::Connection &c) -> std::vector<Expert> {
        int zone = 0, column = 0, asker = 0;
        {
            sql::Query q = c.query("SELECT zone, column_id, asker_id FROM questions WHERE id = ?");
            q.bind(1, postID);
            if (!q.step())
                return {};
            zone = q.integer(0);
            column = q.integer(1);
            asker = q.integer(2);
        }
        auto found = experts(
            c, "COALESCE(zs.score, 0) >= ?4 AND m.id <> ?5", "COALESCE(zs.score, 0) DESC, m.id", zone,
            [&](sql::Query &s, int first) { s.bind(first, expertMinScore()).bind(first + 1, asker); }, kZoneExpertsMax);
        // Experts of the question's own column first.
        std::stable_partition(found.begin(), found.end(), [&](const Expert &e) { return e.expertColumn == column; });
        if (found.size() > static_cast<size_t>(kQuestionExpertsMax))
            found.resize(kQuestionExpertsMax);
        return found;
    });
}

std::vector<Expert> SqlCommunityStore::onlineAnswerers(int postID)
{
    return m_engine->read([&](sql::Connection &c) -> std::vector<Expert> {
        int zone = 0;
        {
            sql::Query q = c.query("SELECT zone FROM questions WHERE id = ?");
            q.bind(1, postID);
            if (!q.step())
                return {};
            zone = q.integer(0);
        }
        return experts(
            c, "EXISTS (SELECT 1 FROM answers a WHERE a.question_id = ?4 AND a.answerer_id = m.id)",
            "(SELECT MIN(a.id) FROM answers a WHERE a.question_id = ?4 AND a.answerer_id = m.id)", zone,
            [&](sql::Query &s, int first) { s.bind(first, postID); }, kAnswerProvidersMax);
    });
}

// ---- sign-in bindings ---------------------------------------------------------------

void SqlCommunityStore::bindMember(int userID, const std::string &address)
{
    m_engine->live([&](sql::Connection &c) {
        sql::Query s = c.query("INSERT INTO bindings(user_id, address, renewed) VALUES(?1, ?2, ?3) "
                               "ON CONFLICT(user_id) DO UPDATE SET address = ?2, renewed = ?3");
        s.bind(1, userID).bind(2, address).bind(3, now()).run();
        return true;
    });
}

void SqlCommunityStore::unbindMember(int userID)
{
    m_engine->live([&](sql::Connection &c) {
        sql::Query s = c.query("DELETE FROM bindings WHERE user_id = ?");
        s.bind(1, userID).run();
        return true;
    });
}

bool SqlCommunityStore::isBoundTo(int userID, const std::string &address, Timestamp idleSeconds)
{
    const Timestamp at = now();
    const auto renewed = m_engine->read([&](sql::Connection &c) -> std::optional<Timestamp> {
        sql::Query s = c.query("SELECT renewed FROM bindings WHERE user_id = ? AND address = ?");
        s.bind(1, userID).bind(2, address);
        if (!s.step())
            return std::nullopt;
        return s.int64(0);
    });
    if (!renewed || *renewed < at - idleSeconds)
        return false;
    // Renewed at most once a second: a burst of calls costs one write.
    if (*renewed < at) {
        m_engine->live([&](sql::Connection &c) {
            sql::Query s = c.query("UPDATE bindings SET renewed = ? WHERE user_id = ? AND address = ?");
            s.bind(1, at).bind(2, userID).bind(3, address).run();
            return true;
        });
    }
    return true;
}

// ---- rate counters ---------------------------------------------------------------------

namespace {
EventCount countIn(sql::Connection &c, const std::string &kind, const std::string &subject, Timestamp since)
{
    sql::Query s = c.query("SELECT COUNT(*), COALESCE(MIN(at), 0), COALESCE(MAX(at), 0) FROM events "
                           "WHERE kind = ? AND subject = ? AND at > ?");
    s.bind(1, kind).bind(2, subject).bind(3, since);
    s.step();
    EventCount count;
    count.count = s.integer(0);
    count.oldest = s.int64(1);
    count.newest = s.int64(2);
    return count;
}

void addEvent(sql::Connection &c, const std::string &kind, const std::string &subject, Timestamp now)
{
    sql::Query s = c.query("INSERT INTO events(kind, subject, at) VALUES(?, ?, ?)");
    s.bind(1, kind).bind(2, subject).bind(3, now).run();
    // Old events are swept now and then rather than on every call.
    thread_local std::minstd_rand dice{std::random_device{}()};
    if (dice() % 64 == 0) {
        sql::Query sweep = c.query("DELETE FROM events WHERE at < ?");
        sweep.bind(1, now - kEventHorizon).run();
    }
}
} // namespace

EventCount SqlCommunityStore::countEvents(const std::string &kind, const std::string &subject, Timestamp since)
{
    return m_engine->live([&](sql::Connection &c) {
        EventCount count = countIn(c, kind, subject, since);
        count.now = now();
        return count;
    });
}

EventCount SqlCommunityStore::takeAllowance(const std::string &kind, const std::string &subject, int limit,
                                            Timestamp windowSeconds)
{
    return takeEventIf(kind, subject, windowSeconds,
                       [limit](const EventCount &counted, Timestamp) { return counted.count < limit; });
}

EventCount SqlCommunityStore::takeEventIf(const std::string &kind, const std::string &subject, Timestamp windowSeconds,
                                          const Admission &admit)
{
    return m_engine->live([&](sql::Connection &c) {
        // Servers sharing the database count and record one at a time per
        // kind and subject, so that together they keep to the rule.
        c.serialiseOn(kind + '\n' + subject);
        const Timestamp at = now();
        EventCount count = countIn(c, kind, subject, at - windowSeconds);
        count.now = at;
        if (admit(count, at)) {
            addEvent(c, kind, subject, at);
            ++count.count;
            if (count.oldest == 0)
                count.oldest = at;
            count.newest = at;
            count.taken = true;
        }
        return count;
    });
}

void SqlCommunityStore::recordEvent(const std::string &kind, const std::string &subject)
{
    m_engine->live([&](sql::Connection &c) {
        addEvent(c, kind, subject, now());
        return true;
    });
}

void SqlCommunityStore::dropEvent(const std::string &kind, const std::string &subject, Timestamp at)
{
    // Events have no key of their own; each engine names one row its own way.
    const std::string one = dialect() == sql::Dialect::Postgres
                                ? "DELETE FROM events WHERE ctid = (SELECT ctid FROM events WHERE kind = ?1 AND "
                                  "subject = ?2 AND at = ?3 LIMIT 1)"
                                : "DELETE FROM events WHERE rowid = (SELECT rowid FROM events WHERE kind = ?1 AND "
                                  "subject = ?2 AND at = ?3 LIMIT 1)";
    m_engine->live([&](sql::Connection &c) {
        sql::Query s = c.query(one);
        s.bind(1, kind).bind(2, subject).bind(3, at).run();
        return true;
    });
}

void SqlCommunityStore::clearEvents(const std::string &kind, const std::string &subject)
{
    m_engine->live([&](sql::Connection &c) {
        sql::Query s = c.query("DELETE FROM events WHERE kind = ? AND subject = ?");
        s.bind(1, kind).bind(2, subject).run();
        return true;
    });
}

} // namespace varnel
