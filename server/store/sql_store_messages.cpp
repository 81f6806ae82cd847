// Messages between members (each delivered to exactly one poll) and the
// zones' announcements.
#include "sql_community_store.h"
#include "sql_store_internal.h"

namespace varnel {

using namespace store_sql;

bool SqlCommunityStore::sendMessage(int fromUserID, int toUserID, const std::string &text)
{
    if (trimmed(text).empty())
        return false;
    return m_engine->write([&](sql::Connection &c) {
        {
            sql::Query both = c.query("SELECT COUNT(*) FROM members WHERE id IN (?1, ?2)");
            both.bind(1, fromUserID).bind(2, toUserID);
            both.step();
            if (both.integer(0) != (fromUserID == toUserID ? 1 : 2))
                return false;
        }
        sql::Query insert = c.query("INSERT INTO messages(from_id, to_id, body, sent) VALUES(?, ?, ?, ?)");
        insert.bind(1, fromUserID).bind(2, toUserID).bind(3, text).bind(4, now()).run();
        return true;
    });
}

std::vector<Message> SqlCommunityStore::takeMessages(int userID, int limit)
{
    // A poll is a sign of life; with nothing waiting it stays a read.
    touch(userID);
    const bool waiting = m_engine->read([&](sql::Connection &c) {
        sql::Query s = c.query("SELECT 1 FROM messages WHERE to_id = ? AND delivered = 0 LIMIT 1");
        s.bind(1, userID);
        return s.step();
    });
    if (!waiting || limit <= 0)
        return {};
    // Two polls at once (two servers) both find the messages; the one that
    // marks them second meets changed rows and runs again, finding none.
    return m_engine->write([&](sql::Connection &c) {
        std::vector<Message> rows;
        {
            sql::Query s =
                c.query("SELECT msg.id, msg.from_id, msg.to_id, msg.body, msg.sent," + kMemberColumnsWithoutPresence +
                        " FROM messages msg JOIN members m ON m.id = msg.from_id"
                        " WHERE msg.to_id = ? AND msg.delivered = 0 ORDER BY msg.id LIMIT ?");
            s.bind(1, userID).bind(2, limit);
            while (s.step()) {
                Message msg;
                msg.id = s.integer(0);
                msg.fromId = s.integer(1);
                msg.toId = s.integer(2);
                msg.text = s.text(3);
                msg.sent = s.int64(4);
                msg.sender = readMember(s, 5);
                rows.push_back(std::move(msg));
            }
        }
        if (rows.empty())
            return rows;
        // The same rows, marked in one statement: the transaction's snapshot
        // still shows them waiting, and a poll elsewhere that marks one
        // meanwhile makes this transaction run again (on SQLite it cannot
        // write meanwhile at all).
        sql::Query mark = c.query("UPDATE messages SET delivered = ?1 WHERE id IN (SELECT msg.id FROM messages msg "
                                  "JOIN members m ON m.id = msg.from_id WHERE msg.to_id = ?2 AND msg.delivered = 0 "
                                  "ORDER BY msg.id LIMIT ?3) AND delivered = 0");
        mark.bind(1, now()).bind(2, userID).bind(3, static_cast<std::int64_t>(rows.size())).run();
        if (mark.changes() != static_cast<std::int64_t>(rows.size()))
            throw StoreError("messages changed while they were being delivered");
        return rows;
    });
}

// ---- announcements ------------------------------------------------------------------

namespace {
Announcement readAnnouncement(const sql::Query &s)
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

std::optional<int> SqlCommunityStore::addAnnouncement(int zone, int kind, const std::string &markupTitle,
                                                      const std::string &target, int authorUserID,
                                                      const std::string &body)
{
    if (zone < 1 || zone > kZoneCount || kind < 0 || kind > 3 || trimmed(markupTitle).empty())
        return std::nullopt;
    if ((kind == 2 || kind == 3) && trimmed(target).empty())
        return std::nullopt;
    return m_engine->write([&](sql::Connection &c) -> std::optional<int> {
        {
            sql::Query author = c.query("SELECT 1 FROM members WHERE id = ?");
            author.bind(1, authorUserID);
            if (!author.step())
                return std::nullopt;
        }
        sql::Query insert = c.query("INSERT INTO announcements(zone, kind, title, target, body, author_id, posted) "
                                    "VALUES(?, ?, ?, ?, ?, ?, ?) RETURNING id");
        insert.bind(1, zone).bind(2, kind).bind(3, trimmed(markupTitle)).bind(4, trimmed(target)).bind(5, body);
        insert.bind(6, authorUserID).bind(7, now());
        const int id = static_cast<int>(insert.insertedId());
        // Notices and news open the announcement's own page.
        if (kind == 0 || kind == 1) {
            sql::Query self = c.query("UPDATE announcements SET target = ? WHERE id = ?");
            self.bind(1, std::to_string(id)).bind(2, id).run();
        }
        return id;
    });
}

std::optional<Announcement> SqlCommunityStore::announcement(int id)
{
    return m_engine->read([&](sql::Connection &c) -> std::optional<Announcement> {
        sql::Query s = c.query(std::string("SELECT ") + kAnnouncementColumns + " FROM announcements WHERE id = ?");
        s.bind(1, id);
        if (!s.step())
            return std::nullopt;
        return readAnnouncement(s);
    });
}

std::vector<Announcement> SqlCommunityStore::announcements(int zone)
{
    return m_engine->read([&](sql::Connection &c) {
        sql::Query s = c.query(std::string("SELECT ") + kAnnouncementColumns +
                               " FROM announcements WHERE zone = ? ORDER BY id DESC LIMIT ?");
        s.bind(1, zone).bind(2, kAnnouncementsMax);
        std::vector<Announcement> rows;
        while (s.step())
            rows.push_back(readAnnouncement(s));
        return rows;
    });
}

} // namespace varnel
