#include "community_rules.h"

#include <array>
#include <ctime>

namespace varnel {

namespace {

struct ZoneRange {
    int first;
    int last;
    const char *name;
};

constexpr std::array<ZoneRange, kZoneCount> kZones{{
    {1, 9, "Software"},
    {10, 19, "Hardware"},
    {20, 30, "Game"},
    {31, 41, "Programming"},
}};

constexpr std::array<const char *, kColumnCount> kColumnNames{
    "Windows",
    "Linux/Unix",
    "System Utilities",
    "Office Software",
    "Network Utilities",
    "Anti-virus & Security",
    "Multimedia Software",
    "Business Software",
    "Others",
    "CPU/Mainboard",
    "Storage Devices",
    "Video Devices",
    "Audio Devices",
    "Network Devices",
    "Others",
    "Printers/Scanners",
    "Digital Cameras",
    "MP3/PDA/Mobile",
    "Others",
    "Role-playing Games",
    "Action & Adventure",
    "Simulation & Shooting",
    "Real-Time Strategy",
    "Sports & Racing",
    "Other Games",
    "Role-Playing Games",
    "Real-Time Strategy",
    "Online Shooting",
    "Sports & Racing",
    "Others",
    "C/C++/VC++",
    "C#/C#Builder",
    "VB/VB.NET",
    "Delphi",
    "Java/J#",
    "Assemble Language",
    "MS-SQL Server",
    "PowerBuilder",
    "Other Database",
    "Webpage Design",
    "Graphics Design",
};

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

int zoneOfColumn(int column)
{
    for (int z = 0; z < kZoneCount; ++z) {
        if (column >= kZones[z].first && column <= kZones[z].last)
            return z + 1;
    }
    return 0;
}

int firstColumnOfZone(int zone)
{
    return zone >= 1 && zone <= kZoneCount ? kZones[zone - 1].first : 0;
}

int lastColumnOfZone(int zone)
{
    return zone >= 1 && zone <= kZoneCount ? kZones[zone - 1].last : 0;
}

std::string zoneName(int zone)
{
    return zone >= 1 && zone <= kZoneCount ? kZones[zone - 1].name : "";
}

std::string columnName(int column)
{
    return column >= 1 && column <= kColumnCount ? kColumnNames[column - 1] : "";
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
