// CZoneTreeCtrl: the column tree of a zone view. Built from the zone
// catalogue (forum/zone_catalogue.h): two categories (item data 0) with their
// columns (item data = column ID) below, expanded; a column's tooltip is its
// keyword list, at most 200 pixels wide; categories have none.
#pragma once

#include <QTreeWidget>

namespace quillora::ui {

class CZoneTreeCtrl : public QTreeWidget {
    Q_OBJECT
  public:
    // The role under which every item keeps its data (0 or the column ID).
    static constexpr int kItemDataRole = Qt::UserRole;

    explicit CZoneTreeCtrl(int zoneIndex, QWidget *parent = nullptr);

    int zoneIndex() const { return m_zoneIndex; }
    static int itemData(const QTreeWidgetItem *item);
    // Data of the current item (0 when none or a category).
    int selectedItemData() const;
    // The tooltip text for a point of the viewport: the keyword list of the
    // column under it, or empty.
    QString tipAt(const QPoint &viewportPos) const;

  protected:
    bool viewportEvent(QEvent *event) override;

  private:
    int m_zoneIndex;
};

} // namespace quillora::ui
