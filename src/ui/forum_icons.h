// The zone views' 16x16 icons (quillora.qrc, ":/quillora/forum/"). Call
// initResources() (ui_resources.h) first.
#pragma once

#include <QList>
#include <QPixmap>

namespace quillora::ui {

// The zone tree's image list in the order the tree uses it (zone_catalogue.h):
// leaf, leaf selected, first category, second category.
QList<QPixmap> zoneTreeIcons();
// Announcement kinds 0..3 (notice, news, outside link, question), in order:
// the announcements list's image list, indexed by kind.
QList<QPixmap> announcementKindIcons();

} // namespace quillora::ui
