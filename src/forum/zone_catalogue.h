// The fixed forum tree built into the client: four zones, eight categories and
// 41 columns, with every label under which they are shown (zone tabs, the zone
// views' trees and keyword tips, the search pane's selectors, the "Zone:" line
// of the question dialog). Static data; nothing here is fetched or changes.
//
// Identifiers: a column ID is 1..41; a zone is indexed 0..3 in the client (tab
// order, current zone) and numbered 1..4 on the wire; categories are numbered
// 0..7 (the search pane's category selector index).
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace quillora::forum {

inline constexpr int kZoneCount = 4;
inline constexpr int kCategoryCount = 8;
inline constexpr int kFirstColumnId = 1;
inline constexpr int kLastColumnId = 41;

// Icons of a zone tree's image list, in this order: leaf, leaf selected,
// first category, second category.
inline constexpr int kLeafIcon = 0;
inline constexpr int kLeafSelectedIcon = 1;
inline constexpr int kFirstCategoryIcon = 2;
inline constexpr int kSecondCategoryIcon = 3;
// Zone tree tooltips are at most this wide.
inline constexpr int kTreeTipMaxWidth = 200;

struct ZoneInfo {
    int index;                // 0..3
    int number;               // 1..4: GroupID, groupID, communityID, type
    const char *tabCaption;   // padded exactly as the tab shows it
    const char *zoneWord;     // the word in the "Zone:" line
    const char *viewClass;    // CSoftView, CHardView, CGameView, CProgView
    const char *questionPage; // ShowSoftPost.aspx ...
    int firstCategory;
    int firstColumn;
    int lastColumn;
};

struct CategoryInfo {
    int index;     // 0..7
    int zoneIndex; // 0..3
    int position;  // 0 first, 1 second in its zone's tree
    const char *treeLabel;
    const char *searchLabel;
    int treeIcon; // the same icon normally and selected
    int firstColumn;
    int lastColumn;
};

struct ColumnInfo {
    int id;       // 1..41
    int category; // 0..7
    const char *treeLabel;
    const char *searchLabel;
    const char *keywords;
};

// Records; nullptr when the index or ID is out of range.
const ZoneInfo *zoneAt(int zoneIndex);
const CategoryInfo *categoryAt(int categoryIndex);
const ColumnInfo *columnById(int columnId);

bool isColumnId(int columnId);
// Zone index of a column ID by the zones' ranges (1..9, 10..19, 20..30,
// 31..41); -1 for 0, negatives and 42 or more.
int zoneOfColumn(int columnId);
bool columnInZone(int columnId, int zoneIndex);
// Zone number (index + 1) and question page name of a zone index; 0 and an
// empty string out of range.
int zoneNumber(int zoneIndex);
QString questionPage(int zoneIndex);
QString tabCaption(int zoneIndex);
QString viewClassName(int zoneIndex);

// The zone's two categories, in tree order; the category's columns in ID order.
QList<int> categoriesOfZone(int zoneIndex);
QList<int> columnsOfCategory(int categoryIndex);

// Search pane: the eight category labels (selector index = category number),
// the column labels of a category (selector position = position in category),
// and back from (category, position) to a column ID (0 when either is out of
// range). Zone index 0..3 selects category 0, 2, 4, 6 when the pane follows
// the current zone (-1 out of range).
QStringList searchCategoryLabels();
QStringList searchColumnLabels(int categoryIndex);
int searchColumnId(int categoryIndex, int position);
int firstCategoryOfZone(int zoneIndex);

QString columnTreeLabel(int columnId);
QString columnSearchLabel(int columnId);
// "Zone: " + zone word + " - " + category tree label + " - " + column tree label;
// empty for a non-column.
QString zoneLine(int columnId);
QString keywordList(int columnId);
// The tree's keyword tip for an item's data: a column ID gives its keyword
// list, a category item (0) or anything else gives an empty tip.
QString keywordTipForItemData(int itemData);

// One item of a zone view's tree, as the tree widget is to build it.
struct TreeItem {
    QString label;
    int icon = kLeafIcon;
    int selectedIcon = kLeafSelectedIcon;
    int itemData = 0; // 0 for a category, the column ID for a column
    bool expanded = false;
    QList<TreeItem> children;
};
// The zone's tree: its two categories (icon 2, then 3; data 0; expanded), each
// with its columns in ID order (icons 0/1; data = column ID). Empty out of range.
QList<TreeItem> zoneTree(int zoneIndex);

} // namespace quillora::forum
