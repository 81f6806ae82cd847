#include "community_rules.h"

#include "zone_catalogue.h"

#include <array>
#include <ctime>

namespace varnel {

namespace {

// Score needed for rank r + 1 (and level r + 1).
constexpr std::array<int, 10> kRankThresholds{0, 20, 60, 120, 200, 350, 550, 800, 1100, 1500};

int stepFor(int value, const std::array<int, 10> &thresholds)
{
    int step = 1;
    for (int i = 1; i < 10; ++i) {
        if (value >= thresholds[i])
            step = i + 1;
    }
    return step;
}

} // namespace

// Zones and columns come from the one catalogue the client uses too.
int zoneOfColumn(int column)
{
    const int index = quillora::forum::zoneOfColumn(column);
    return index < 0 ? 0 : index + 1;
}

int firstColumnOfZone(int zone)
{
    const quillora::forum::ZoneInfo *z = quillora::forum::zoneAt(zone - 1);
    return z ? z->firstColumn : 0;
}

int lastColumnOfZone(int zone)
{
    const quillora::forum::ZoneInfo *z = quillora::forum::zoneAt(zone - 1);
    return z ? z->lastColumn : 0;
}

std::string zoneName(int zone)
{
    // The zone's tab caption without its padding: "Software", "Hardware", "Game", "Programming".
    return quillora::forum::tabCaption(zone - 1).trimmed().toStdString();
}

std::string columnName(int column)
{
    const quillora::forum::ColumnInfo *c = quillora::forum::columnById(column);
    return c ? c->treeLabel : "";
}

int rankForScore(int score)
{
    return stepFor(score, kRankThresholds);
}

int scoreForNextRank(int score)
{
    const int rank = rankForScore(score);
    return rank >= 10 ? 0 : kRankThresholds[static_cast<size_t>(rank)];
}

int levelForTotalScore(int totalScore)
{
    // A member's level grows with the whole community, so its steps are twice a zone's.
    return stepFor(totalScore / 2, kRankThresholds);
}

int gradeForCredit(int credit)
{
    if (credit < 20)
        return 1;
    return credit / 20 >= 10 ? 10 : credit / 20;
}

std::string formatTime(std::int64_t secondsSinceEpoch)
{
    std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &tm);
    return buffer;
}

} // namespace varnel
