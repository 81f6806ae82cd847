// Pieces shared by the files of SqlCommunityStore: limits, column lists and
// small helpers. Not part of the store's interface.
#pragma once

#include "community_store.h"
#include "shared_limits.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

namespace varnel::store_sql {

// Rate events are kept this long; no limit looks further back.
inline constexpr Timestamp kEventHorizon = 2 * 86400;

inline constexpr int kMaxPageSize = 100;
// The most records a list answer carries; the client reads no more.
using quillora::service::kAnnouncementsMax;
using quillora::service::kAnswerProvidersMax;
using quillora::service::kQuestionExpertsMax;
using quillora::service::kZoneExpertsMax;

inline std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r\n\f\v");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n\f\v");
    return text.substr(first, last - first + 1);
}

inline int clampToInt(std::int64_t value)
{
    return static_cast<int>(
        std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

inline Page clampPage(Page page)
{
    page.size = std::clamp(page.size, 1, kMaxPageSize);
    page.index = std::max(page.index, 1);
    return page;
}

// The member's columns, with the figures derived from other tables and the
// presence from the live tables.
inline const std::string kMemberHead = R"sql(
    m.id, m.user_name, m.password, m.nick_name, m.sex, m.email, m.face, m.real_name, m.address, m.phone,
    m.leader, m.user_guid, m.points, m.credit, m.role, m.custom_head, m.always_online, m.registered,)sql";
inline const std::string kMemberTail = R"sql(
    (SELECT COALESCE(SUM(score), 0) FROM zone_scores WHERE member_id = m.id),
    (SELECT COUNT(*) FROM questions WHERE asker_id = m.id),
    (SELECT COUNT(*) FROM questions WHERE asker_id = m.id AND closed <> 0),
    (SELECT COUNT(*) FROM answers WHERE answerer_id = m.id),
    (SELECT COUNT(*) FROM answers WHERE answerer_id = m.id AND points_awarded > 0))sql";
inline const std::string kMemberColumns = kMemberHead + R"sql(
    COALESCE((SELECT p.signed_in FROM presence p WHERE p.user_id = m.id), 0),
    COALESCE((SELECT p.last_seen FROM presence p WHERE p.user_id = m.id), 0),)sql" +
                                          kMemberTail;
// The same for writers, which see only the community data (on SQLite the
// live file is not attached to them): nobody reads presence there.
inline const std::string kMemberColumnsWithoutPresence = kMemberHead + " 0, 0," + kMemberTail;
inline constexpr int kMemberColumnCount = 25;
// Online members; the idle limit is parameter 2.
inline const char *const kOnline =
    "(m.always_online = 1 OR EXISTS (SELECT 1 FROM presence p WHERE p.user_id = m.id AND p.signed_in = 1 "
    "AND p.last_seen >= ?2))";

inline const char *const kQuestionColumns = R"sql(
    q.id, q.asker_id, m.user_name, m.nick_name, q.column_id, q.zone, q.title, q.points, q.posted, q.closed,
    (SELECT COUNT(*) FROM answers a WHERE a.question_id = q.id))sql";
inline constexpr int kQuestionColumnCount = 11;

} // namespace varnel::store_sql
