// Questions and answers: asking (points reserved), answering, closing (points
// paid and scored exactly once), the eight paged lists and the scores.
#include "sql_community_store.h"
#include "sql_store_internal.h"

#include <map>
#include <sstream>

namespace varnel {

using namespace store_sql;

PostResult SqlCommunityStore::createQuestion(int userID, const std::string &title, int column, int points,
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
    const std::string body = trimmed(text);
    return m_engine->write([&](sql::Connection &c) -> PostResult {
        {
            sql::Query m = c.query("SELECT points, credit FROM members WHERE id = ?");
            m.bind(1, userID);
            if (!m.step())
                return {PostResult::UnknownMember};
            // The same question sent again (its answer never reached the
            // client, and the member pressed OK once more) is the one asked
            // already, and its points are taken once: the same asker, column,
            // points, title and text, every value the member typed, within
            // kResentQuestionSeconds and while it is open.
            sql::Query again =
                c.query("SELECT id FROM questions WHERE asker_id = ? AND posted >= ? AND closed = 0 AND "
                        "column_id = ? AND points = ? AND title = ? AND body = ? ORDER BY id DESC LIMIT 1");
            again.bind(1, userID).bind(2, now() - kResentQuestionSeconds).bind(3, column).bind(4, points);
            again.bind(5, cleanTitle).bind(6, body);
            if (again.step())
                return {PostResult::Ok, again.integer(0)};
            if (m.integer(1) < kMinCreditToAsk)
                return {PostResult::LowCredit};
            if (m.int64(0) < points)
                return {PostResult::NotEnoughPoints};
        }
        {
            sql::Query overdue =
                c.query("SELECT 1 FROM questions WHERE asker_id = ? AND zone = ? AND closed = 0 AND posted < ?");
            overdue.bind(1, userID).bind(2, zone).bind(3, overdueBefore());
            if (overdue.step())
                return {PostResult::HasOverdue};
        }
        // The question's points are reserved now and paid out when it is closed.
        sql::Query reserve = c.query("UPDATE members SET points = points - ? WHERE id = ?");
        reserve.bind(1, points).bind(2, userID).run();
        sql::Query insert = c.query("INSERT INTO questions(asker_id, column_id, zone, title, body, points, posted) "
                                    "VALUES(?, ?, ?, ?, ?, ?, ?) RETURNING id");
        insert.bind(1, userID).bind(2, column).bind(3, zone).bind(4, cleanTitle).bind(5, body);
        insert.bind(6, points).bind(7, now());
        const int id = static_cast<int>(insert.insertedId());
        payRecommender(c, userID);
        return {PostResult::Ok, id};
    });
}

ReplyResult SqlCommunityStore::createAnswer(int postID, int userID, int /*column*/, const std::string &text)
{
    const std::string body = trimmed(text);
    if (body.empty())
        return {ReplyResult::EmptyText};
    return m_engine->write([&](sql::Connection &c) -> ReplyResult {
        int credit = 0;
        {
            sql::Query m = c.query("SELECT credit FROM members WHERE id = ?");
            m.bind(1, userID);
            if (!m.step())
                return {ReplyResult::UnknownMember};
            credit = m.integer(0);
        }
        {
            sql::Query q = c.query("SELECT asker_id, closed FROM questions WHERE id = ?");
            q.bind(1, postID);
            if (!q.step())
                return {ReplyResult::UnknownQuestion};
            if (q.int64(1) != 0)
                return {ReplyResult::NotOpen};
            if (q.integer(0) == userID)
                return {ReplyResult::OwnQuestion};
        }
        if (credit < kMinCreditToAnswer)
            return {ReplyResult::LowCredit};
        {
            sql::Query given = c.query("SELECT COUNT(*) FROM answers WHERE answerer_id = ? AND question_id = ?");
            given.bind(1, userID).bind(2, postID);
            given.step();
            if (given.integer(0) >= kMaxAnswersPerQuestion)
                return {ReplyResult::TooManyAnswers};
        }
        sql::Query insert =
            c.query("INSERT INTO answers(question_id, answerer_id, body, posted) VALUES(?, ?, ?, ?) RETURNING id");
        insert.bind(1, postID).bind(2, userID).bind(3, body).bind(4, now());
        const int id = static_cast<int>(insert.insertedId());
        payRecommender(c, userID);
        return {ReplyResult::Ok, id};
    });
}

namespace {
std::vector<Answer> readAnswers(sql::Connection &c, int postID)
{
    sql::Query s = c.query(R"sql(SELECT a.id, a.question_id, a.answerer_id, m.user_name, m.nick_name, a.body,
        a.posted, a.points_awarded FROM answers a JOIN members m ON m.id = a.answerer_id
        WHERE a.question_id = ? ORDER BY a.id)sql");
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

std::optional<Question> SqlCommunityStore::question(int postID)
{
    return m_engine->read([&](sql::Connection &c) -> std::optional<Question> {
        Question q;
        {
            sql::Query s = c.query(std::string("SELECT") + kQuestionColumns +
                                   ", q.body FROM questions q JOIN members m ON m.id = q.asker_id WHERE q.id = ?");
            s.bind(1, postID);
            if (!s.step())
                return std::nullopt;
            q = readQuestion(s);
            q.text = s.text(11);
        }
        q.answers = readAnswers(c, postID);
        return q;
    });
}

CloseResult SqlCommunityStore::closeQuestion(int postID, int askerUserID,
                                             const std::vector<std::pair<int, int>> &answerPoints)
{
    return m_engine->write([&](sql::Connection &c) -> CloseResult {
        int zone = 0, points = 0;
        bool late = false;
        {
            sql::Query q = c.query("SELECT asker_id, zone, points, posted, closed FROM questions WHERE id = ?");
            q.bind(1, postID);
            if (!q.step())
                return CloseResult::UnknownQuestion;
            if (q.integer(0) != askerUserID)
                return CloseResult::NotAsker;
            if (q.int64(4) != 0)
                return CloseResult::AlreadyClosed;
            zone = q.integer(1);
            points = q.integer(2);
            late = q.int64(3) < overdueBefore();
        }

        const std::vector<Answer> answers = readAnswers(c, postID);
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

        // The question is marked closed first: of two servers closing it at
        // once, the second meets this row changed and starts over.
        sql::Query close = c.query("UPDATE questions SET closed = ? WHERE id = ? AND closed = 0");
        close.bind(1, now()).bind(2, postID).run();
        if (close.changes() == 0)
            return CloseResult::AlreadyClosed;
        sql::Query award = c.query("UPDATE answers SET points_awarded = ? WHERE id = ?");
        sql::Query pay = c.query("UPDATE members SET points = points + ?1, "
                                 "credit = CASE WHEN credit + ?3 > ?2 THEN ?2 ELSE credit + ?3 END WHERE id = ?4");
        sql::Query score = c.query("INSERT INTO zone_scores(member_id, zone, score) VALUES(?1, ?2, ?3) "
                                   "ON CONFLICT(member_id, zone) DO UPDATE SET score = zone_scores.score + ?3");
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
        sql::Query asker = c.query("UPDATE members SET points = points + ?1, credit = CASE WHEN credit + ?3 > ?2 "
                                   "THEN ?2 WHEN credit + ?3 < 0 THEN 0 ELSE credit + ?3 END WHERE id = ?4");
        asker.bind(1, answers.empty() ? points : 0)
            .bind(2, kMaxCredit)
            .bind(3, late ? kCreditForLateClose : kCreditForTimelyClose)
            .bind(4, askerUserID)
            .run();
        return CloseResult::Ok;
    });
}

bool SqlCommunityStore::hasOverdueQuestions(int userID, int zone)
{
    return m_engine->read([&](sql::Connection &c) {
        sql::Query s = c.query("SELECT 1 FROM questions WHERE asker_id = ?1 AND closed = 0 AND posted < ?2 "
                               "AND (?3 NOT BETWEEN 1 AND 4 OR zone = ?3) LIMIT 1");
        s.bind(1, userID).bind(2, overdueBefore()).bind(3, zone);
        return s.step();
    });
}

std::vector<Question> SqlCommunityStore::ownQuestions(int userID)
{
    return m_engine->read([&](sql::Connection &c) {
        sql::Query s = c.query(std::string("SELECT") + kQuestionColumns +
                               " FROM questions q JOIN members m ON m.id = q.asker_id WHERE q.asker_id = ? "
                               "ORDER BY q.id DESC");
        s.bind(1, userID);
        std::vector<Question> rows;
        while (s.step())
            rows.push_back(readQuestion(s));
        return rows;
    });
}

// ---- the eight lists --------------------------------------------------------------

namespace {
// A zone filter: 1 to 4 selects that zone, anything else every zone.
const char *const kZoneFilter = "(?2 NOT BETWEEN 1 AND 4 OR q.zone = ?2)";
} // namespace

QuestionPage SqlCommunityStore::questionsInColumn(int column, Page page)
{
    return listQuestions(
        "q.column_id = ?1", "q.id DESC", [&](sql::Query &s) { s.bind(1, column); }, page);
}

QuestionPage SqlCommunityStore::questionsAskedBy(int userID, int zone, Page page)
{
    return listQuestions(
        std::string("q.asker_id = ?1 AND ") + kZoneFilter, "q.id DESC",
        [&](sql::Query &s) { s.bind(1, userID).bind(2, zone); }, page);
}

QuestionPage SqlCommunityStore::questionsToClose(int userID, int zone, Page page)
{
    return listQuestions(
        std::string("q.asker_id = ?1 AND q.closed = 0 AND ") + kZoneFilter, "q.posted, q.id",
        [&](sql::Query &s) { s.bind(1, userID).bind(2, zone); }, page);
}

QuestionPage SqlCommunityStore::questionsAnsweredBy(int userID, int zone, Page page)
{
    return listQuestions(
        std::string("EXISTS (SELECT 1 FROM answers a WHERE a.question_id = q.id AND a.answerer_id = ?1) AND ") +
            kZoneFilter,
        "q.id DESC", [&](sql::Query &s) { s.bind(1, userID).bind(2, zone); }, page);
}

QuestionPage SqlCommunityStore::questionsScoredBy(int userID, int zone, Page page)
{
    return listQuestions(
        std::string("EXISTS (SELECT 1 FROM answers a WHERE a.question_id = q.id AND "
                    "a.answerer_id = ?1 AND a.points_awarded > 0) AND ") +
            kZoneFilter,
        "q.closed DESC, q.id DESC", [&](sql::Query &s) { s.bind(1, userID).bind(2, zone); }, page);
}

QuestionPage SqlCommunityStore::searchById(int postID)
{
    return listQuestions(
        "q.id = ?1", "q.id", [&](sql::Query &s) { s.bind(1, postID); }, Page{1, 1});
}

QuestionPage SqlCommunityStore::searchByTitle(int column, const std::string &keywords, Page page)
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
        where += " AND NOCASE(q.title) LIKE NOCASE(?" + std::to_string(i + 2) + ") ESCAPE '\\'";
    return listQuestions(
        where, "q.id DESC",
        [&](sql::Query &s) {
            s.bind(1, column);
            for (size_t i = 0; i < words.size(); ++i)
                s.bind(static_cast<int>(i + 2), words[i]);
        },
        page);
}

QuestionPage SqlCommunityStore::searchByAsker(const std::string &userName, Page page)
{
    return listQuestions(
        "NOCASE(m.user_name) = NOCASE(?1)", "q.id DESC", [&](sql::Query &s) { s.bind(1, trimmed(userName)); }, page,
        true);
}

// ---- scores -------------------------------------------------------------------------------

std::vector<ZoneScore> SqlCommunityStore::scores(int userID)
{
    return m_engine->read([&](sql::Connection &c) {
        std::vector<ZoneScore> rows;
        {
            sql::Query exists = c.query("SELECT 1 FROM members WHERE id = ?");
            exists.bind(1, userID);
            if (!exists.step())
                return rows;
        }
        sql::Query s = c.query("SELECT score FROM zone_scores WHERE member_id = ? AND zone = ?");
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

} // namespace varnel
