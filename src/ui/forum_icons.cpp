#include "forum_icons.h"

namespace quillora::ui {

QList<QPixmap> zoneTreeIcons()
{
    QList<QPixmap> icons;
    for (const char *name : {"tree-leaf", "tree-leaf-selected", "tree-category-1", "tree-category-2"})
        icons.append(QPixmap(QStringLiteral(":/quillora/forum/%1.png").arg(QLatin1String(name))));
    return icons;
}

QList<QPixmap> announcementKindIcons()
{
    QList<QPixmap> icons;
    for (int kind = 0; kind < 4; ++kind)
        icons.append(QPixmap(QStringLiteral(":/quillora/forum/announce-%1.png").arg(kind)));
    return icons;
}

} // namespace quillora::ui
