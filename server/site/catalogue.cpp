#include "catalogue.h"

#include "zone_catalogue.h"

#include <array>

namespace varnel::site {
namespace {

// The site's view of the client's zone catalogue, built once.
const std::array<ZoneInfo, 4> &zones()
{
    static const std::array<ZoneInfo, 4> table = [] {
        std::array<ZoneInfo, 4> t{};
        for (int i = 0; i < 4; ++i) {
            const quillora::forum::ZoneInfo *z = quillora::forum::zoneAt(i);
            t[static_cast<size_t>(i)] = {z->number, z->zoneWord, z->questionPage, z->firstColumn, z->lastColumn};
        }
        return t;
    }();
    return table;
}

} // namespace

const ZoneInfo *zoneByNumber(int zone)
{
    if (zone < 1 || zone > 4)
        return nullptr;
    return &zones()[static_cast<size_t>(zone - 1)];
}

const ZoneInfo *zoneOfColumn(int column)
{
    const int index = quillora::forum::zoneOfColumn(column);
    return index < 0 ? nullptr : &zones()[static_cast<size_t>(index)];
}

std::string_view categoryOfColumn(int column)
{
    const quillora::forum::ColumnInfo *c = quillora::forum::columnById(column);
    const quillora::forum::CategoryInfo *category = c ? quillora::forum::categoryAt(c->category) : nullptr;
    return category ? std::string_view(category->treeLabel) : std::string_view();
}

} // namespace varnel::site
