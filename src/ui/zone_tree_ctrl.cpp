#include "zone_tree_ctrl.h"

#include "forum/zone_catalogue.h"
#include "forum_icons.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QToolTip>

namespace quillora::ui {

namespace {

QIcon iconFrom(const QList<QPixmap> &images, int normal, int selected)
{
    QIcon icon;
    if (normal >= 0 && normal < images.size())
        icon.addPixmap(images.at(normal), QIcon::Normal);
    if (selected >= 0 && selected < images.size())
        icon.addPixmap(images.at(selected), QIcon::Selected);
    return icon;
}

} // namespace

CZoneTreeCtrl::CZoneTreeCtrl(int zoneIndex, QWidget *parent) : QTreeWidget(parent), m_zoneIndex(zoneIndex)
{
    setColumnCount(1);
    header()->hide();
    setRootIsDecorated(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setIconSize(QSize(16, 16));
    setExpandsOnDoubleClick(true);

    const QList<QPixmap> icons = zoneTreeIcons();
    for (const forum::TreeItem &category : forum::zoneTree(zoneIndex)) {
        auto *root = new QTreeWidgetItem(this, QStringList{category.label});
        root->setIcon(0, iconFrom(icons, category.icon, category.selectedIcon));
        root->setData(0, kItemDataRole, category.itemData);
        for (const forum::TreeItem &column : category.children) {
            auto *leaf = new QTreeWidgetItem(root, QStringList{column.label});
            leaf->setIcon(0, iconFrom(icons, column.icon, column.selectedIcon));
            leaf->setData(0, kItemDataRole, column.itemData);
        }
        root->setExpanded(category.expanded);
    }
}

int CZoneTreeCtrl::itemData(const QTreeWidgetItem *item)
{
    return item ? item->data(0, kItemDataRole).toInt() : 0;
}

int CZoneTreeCtrl::selectedItemData() const
{
    return itemData(currentItem());
}

QString CZoneTreeCtrl::tipAt(const QPoint &viewportPos) const
{
    return forum::keywordTipForItemData(itemData(itemAt(viewportPos)));
}

bool CZoneTreeCtrl::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString tip = tipAt(help->pos());
        if (tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            // Rich text wraps the list within the tip's 200 pixels.
            QToolTip::showText(help->globalPos(),
                               QStringLiteral("<table width=\"%1\"><tr><td>%2</td></tr></table>")
                                   .arg(forum::kTreeTipMaxWidth)
                                   .arg(tip.toHtmlEscaped()),
                               viewport(), visualItemRect(itemAt(help->pos())));
        }
        return true;
    }
    return QTreeWidget::viewportEvent(event);
}

} // namespace quillora::ui
