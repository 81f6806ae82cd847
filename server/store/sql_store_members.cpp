// Members: look-ups, sign-up, profile changes and points.
#include "sql_community_store.h"
#include "sql_store_internal.h"

namespace varnel {

using namespace store_sql;

std::optional<Member> SqlCommunityStore::memberById(int userID)
{
    return findMember("m.id = ?", [&](sql::Query &s) { s.bind(1, userID); });
}

std::optional<Member> SqlCommunityStore::memberByName(const std::string &userName)
{
    return findMember("NOCASE(m.user_name) = NOCASE(?)", [&](sql::Query &s) { s.bind(1, userName); });
}

std::optional<Member> SqlCommunityStore::checkMember(int userID, const std::string &password)
{
    auto m = memberById(userID);
    if (!m || !sameSecret(m->password, password))
        return std::nullopt;
    return m;
}

std::optional<Member> SqlCommunityStore::checkMember(const std::string &userName, const std::string &password)
{
    auto m = memberByName(userName);
    if (!m || !sameSecret(m->password, password))
        return std::nullopt;
    return m;
}

std::optional<Member> SqlCommunityStore::checkModerator(const std::string &userName, const std::string &password)
{
    auto m = checkMember(userName, password);
    if (!m || m->role >= RoleExpert)
        return std::nullopt;
    return m;
}

bool SqlCommunityStore::emailTaken(const std::string &email)
{
    const std::string wanted = trimmed(email);
    if (wanted.empty())
        return false;
    return m_engine->read([&](sql::Connection &c) {
        sql::Query s = c.query("SELECT 1 FROM members WHERE NOCASE(email) = NOCASE(?)");
        s.bind(1, wanted);
        return s.step();
    });
}

std::optional<int> SqlCommunityStore::createMember(const NewMember &member)
{
    const std::string userName = trimmed(member.userName);
    const std::string email = trimmed(member.email);
    if (userName.empty() || member.password.empty())
        return std::nullopt;
    const std::string sealed = seal(member.password);
    return m_engine->write([&](sql::Connection &c) -> std::optional<int> {
        {
            sql::Query taken = c.query("SELECT 1 FROM members WHERE NOCASE(user_name) = NOCASE(?1) OR (?2 <> '' AND "
                                       "NOCASE(email) = NOCASE(?2))");
            taken.bind(1, userName).bind(2, email);
            if (taken.step())
                return std::nullopt;
        }
        sql::Query insert = c.query(R"sql(INSERT INTO members(user_name, password, nick_name, sex, email, face,
            real_name, address, phone, leader, user_guid, points, credit, registered)
            VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id)sql");
        insert.bind(1, userName)
            .bind(2, sealed)
            .bind(3, trimmed(member.nickName).empty() ? userName : trimmed(member.nickName))
            .bind(4, member.sex)
            .bind(5, email)
            .bind(6, std::clamp(member.face, 1, kHeadPictureCount))
            .bind(7, member.realName)
            .bind(8, member.address)
            .bind(9, member.phone)
            .bind(10, trimmed(member.leader))
            .bind(11, member.userGuid)
            .bind(12, m_settings.startPoints)
            .bind(13, m_settings.startCredit)
            .bind(14, now());
        try {
            // The recommender is thanked once the new member posts (payRecommender).
            return static_cast<int>(insert.insertedId());
        } catch (const sql::ConstraintViolation &) {
            return std::nullopt;
        }
    });
}

bool SqlCommunityStore::editProfile(int userID, const ProfileEdit &edit)
{
    const std::string email = trimmed(edit.email);
    if (edit.password.empty())
        return false;
    const std::string sealed = seal(edit.password);
    return m_engine->write([&](sql::Connection &c) {
        {
            sql::Query taken =
                c.query("SELECT 1 FROM members WHERE ?1 <> '' AND NOCASE(email) = NOCASE(?1) AND id <> ?2");
            taken.bind(1, email).bind(2, userID);
            if (taken.step())
                return false;
        }
        sql::Query s = c.query("UPDATE members SET password = ?, nick_name = ?, email = ?, face = ? WHERE id = ?");
        s.bind(1, sealed)
            .bind(2, trimmed(edit.nickName))
            .bind(3, email)
            .bind(4, std::clamp(edit.face, 1, kHeadPictureCount));
        s.bind(5, userID);
        try {
            s.run();
        } catch (const sql::ConstraintViolation &) {
            return false;
        }
        return s.changes() > 0;
    });
}

namespace {
bool updateMemberColumn(sql::Connection &c, const char *sql, std::int64_t value, int userID)
{
    sql::Query s = c.query(sql);
    s.bind(1, value).bind(2, userID).run();
    return s.changes() > 0;
}
} // namespace

bool SqlCommunityStore::setCustomHead(int userID, bool custom)
{
    return m_engine->write([&](sql::Connection &c) {
        return updateMemberColumn(c, "UPDATE members SET custom_head = ? WHERE id = ?", custom ? 1 : 0, userID);
    });
}

bool SqlCommunityStore::setRole(int userID, int role)
{
    return m_engine->write([&](sql::Connection &c) {
        return updateMemberColumn(c, "UPDATE members SET role = ? WHERE id = ?", std::clamp(role, 1, 5), userID);
    });
}

bool SqlCommunityStore::setAlwaysOnline(int userID, bool alwaysOnline)
{
    return m_engine->write([&](sql::Connection &c) {
        return updateMemberColumn(c, "UPDATE members SET always_online = ? WHERE id = ?", alwaysOnline ? 1 : 0, userID);
    });
}

int SqlCommunityStore::memberCount()
{
    return m_engine->read([&](sql::Connection &c) {
        sql::Query s = c.query("SELECT COUNT(*) FROM members");
        s.step();
        return s.integer(0);
    });
}

bool SqlCommunityStore::adjustPoints(int userID, int delta)
{
    return m_engine->write([&](sql::Connection &c) {
        sql::Query s =
            c.query("UPDATE members SET points = points + ?1 WHERE id = ?2 AND points + ?1 BETWEEN 0 AND ?3");
        s.bind(1, delta).bind(2, userID).bind(3, std::numeric_limits<int>::max()).run();
        return s.changes() > 0;
    });
}

} // namespace varnel
