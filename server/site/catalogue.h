// Zone and column names as the site shows them in its header band and
// breadcrumbs. The numbering (zones 1 to 4, columns 1 to 41) is the one the
// service uses on the wire.
#pragma once

#include <string_view>

namespace varnel::site {

struct ZoneInfo {
    int number;            // 1 to 4
    std::string_view name; // "Software", "Hardware", "Games", "Programming"
    std::string_view page; // question page, e.g. "ShowSoftPost.aspx"
    int firstColumn, lastColumn;
};

// nullptr outside 1..4.
const ZoneInfo *zoneByNumber(int zone);
// The zone a column belongs to; nullptr outside 1..41.
const ZoneInfo *zoneOfColumn(int column);
// "Operating Systems", "Application software", ...; empty outside 1..41.
// Column labels come from the community rules (varnel::columnName).
std::string_view categoryOfColumn(int column);

} // namespace varnel::site
