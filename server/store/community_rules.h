// The community's rules that do not depend on where the data is kept:
// the zone of a column, ranks and levels from scores, grades from credit,
// and the limits on asking and answering.
#pragma once

#include "shared_limits.h"
#include "zone_catalogue.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace varnel {

// The catalogue and the limits the client checks before it calls.
inline constexpr int kColumnCount = quillora::forum::kLastColumnId;
inline constexpr int kZoneCount = quillora::forum::kZoneCount;
using quillora::service::kHeadPictureCount;
using quillora::service::kMaxQuestionPoints;
using quillora::service::kMinCreditToAnswer;
using quillora::service::kMinCreditToAsk;
using quillora::service::kMinQuestionPoints;
inline constexpr int kCreditForChosenAnswer = 2; // per answer that receives points
inline constexpr int kCreditForTimelyClose = 1;  // asker closes before the question is overdue
inline constexpr int kCreditForLateClose = -5;   // asker closes an overdue question
inline constexpr int kMaxCredit = 200;
inline constexpr int kMaxAnswersPerQuestion = 5; // solutions one member may give to one question
inline constexpr int kRecommenderBonus = 20;     // points for a recommender once the new member posts
inline constexpr int kExpertMinZoneRank = 3;     // zone rank from which a member counts as an expert of the zone
// A question sent again with the same values within this long is taken for
// the one asked already (a client that timed out and was told to try again).
inline constexpr std::int64_t kResentQuestionSeconds = 600;

// Settings a community chooses when it starts its server.
struct CommunitySettings {
    int startPoints = 200;
    int startCredit = 100;
    int overdueDays = 7;                // an open question older than this is overdue
    std::int64_t idleSeconds = 30 * 60; // presence expires after this long without activity
    // Every commit reaches the disk before it returns. Only bulk seeding of a
    // fresh demo database turns this off.
    bool durable = true;
    // How long a writer waits for its turn before giving up (the client
    // waits 10 s for an answer).
    std::chrono::milliseconds writerPatience{9000};
    // Recommenders are paid at most this many bonuses a day.
    int recommenderBonusesPerDay = 3;
    // The key that seals passwords; empty: `<database>.key`, created when missing.
    std::string keyFile;
    // Seconds since the epoch; replaceable so that a test can move time.
    std::function<std::int64_t()> clock = [] {
        return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
};

// 1 to 4, or 0 when the column is not 1 to 41.
int zoneOfColumn(int column);
int firstColumnOfZone(int zone);
int lastColumnOfZone(int zone);
// "Software", "Hardware", "Game", "Programming"; empty outside 1 to 4.
std::string zoneName(int zone);
// The label of a column as the client's tree shows it.
std::string columnName(int column);

// Zone rank 1 to 10 from a zone score.
int rankForScore(int score);
// The zone score at which the next rank begins; 0 at rank 10.
int scoreForNextRank(int score);
// Level 1 to 10 from the sum of the zone scores.
int levelForTotalScore(int totalScore);
// Grade 1 to 10 from credit: credit 100 gives grade 5; a custom head image needs grade 6.
int gradeForCredit(int credit);

// "2026-12-08 14:05" in UTC.
std::string formatTime(std::int64_t secondsSinceEpoch);

} // namespace varnel
