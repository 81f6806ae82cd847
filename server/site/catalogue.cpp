#include "catalogue.h"

#include <array>

namespace varnel::site {
namespace {

constexpr std::array<ZoneInfo, 4> kZones = {{
    {1, "Software", "ShowSoftPost.aspx", 1, 9},
    {2, "Hardware", "ShowHardPost.aspx", 10, 19},
    {3, "Games", "ShowGamePost.aspx", 20, 30},
    {4, "Programming", "ShowProgPost.aspx", 31, 41},
}};

struct CategoryRange {
    int firstColumn, lastColumn;
    std::string_view name;
};

constexpr std::array<CategoryRange, 8> kCategories = {{
    {1, 2, "Operating Systems"},
    {3, 9, "Application software"},
    {10, 15, "PC Hardware"},
    {16, 19, "Non PC Hardware"},
    {20, 25, "Single Games"},
    {26, 30, "Multiple Games"},
    {31, 39, "Language & Database"},
    {40, 41, "Web & Graphic Design"},
}};

} // namespace

const ZoneInfo *zoneByNumber(int zone)
{
    if (zone < 1 || zone > 4)
        return nullptr;
    return &kZones[static_cast<size_t>(zone - 1)];
}

const ZoneInfo *zoneOfColumn(int column)
{
    for (const ZoneInfo &z : kZones) {
        if (column >= z.firstColumn && column <= z.lastColumn)
            return &z;
    }
    return nullptr;
}

std::string_view categoryOfColumn(int column)
{
    for (const CategoryRange &c : kCategories) {
        if (column >= c.firstColumn && column <= c.lastColumn)
            return c.name;
    }
    return {};
}

} // namespace varnel::site
