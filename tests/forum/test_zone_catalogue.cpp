#include "zone_catalogue.h"

#include <gtest/gtest.h>

#include <set>

using namespace quillora::forum;

namespace {

// The "Zone:" lines as the question dialog shows them, written out in full.
const std::pair<int, const char *> kZoneLines[] = {
    {1, "Zone: Software - Operating Systems - Windows"},
    {2, "Zone: Software - Operating Systems - Linux/Unix"},
    {3, "Zone: Software - Application software - System Utilities"},
    {4, "Zone: Software - Application software - Office Software"},
    {5, "Zone: Software - Application software - Network Utilities"},
    {6, "Zone: Software - Application software - Anti-virus & Security"},
    {7, "Zone: Software - Application software - Multimedia Software"},
    {8, "Zone: Software - Application software - Business Software"},
    {9, "Zone: Software - Application software - Others"},
    {10, "Zone: Hardware - PC Hardware - CPU/Mainboard"},
    {11, "Zone: Hardware - PC Hardware - Storage Devices"},
    {12, "Zone: Hardware - PC Hardware - Video Devices"},
    {13, "Zone: Hardware - PC Hardware - Audio Devices"},
    {14, "Zone: Hardware - PC Hardware - Network Devices"},
    {15, "Zone: Hardware - PC Hardware - Others"},
    {16, "Zone: Hardware - Non PC Hardware - Printers/Scanners"},
    {17, "Zone: Hardware - Non PC Hardware - Digital Cameras"},
    {18, "Zone: Hardware - Non PC Hardware - MP3/PDA/Mobile"},
    {19, "Zone: Hardware - Non PC Hardware - Others"},
    {20, "Zone: Games - Single Games - Role-playing Games"},
    {21, "Zone: Games - Single Games - Action & Adventure"},
    {22, "Zone: Games - Single Games - Simulation & Shooting"},
    {23, "Zone: Games - Single Games - Real-Time Strategy"},
    {24, "Zone: Games - Single Games - Sports & Racing"},
    {25, "Zone: Games - Single Games - Other Games"},
    {26, "Zone: Games - Multiple Games - Role-Playing Games"},
    {27, "Zone: Games - Multiple Games - Real-Time Strategy"},
    {28, "Zone: Games - Multiple Games - Online Shooting"},
    {29, "Zone: Games - Multiple Games - Sports & Racing"},
    {30, "Zone: Games - Multiple Games - Others"},
    {31, "Zone: Programming - Language & Database - C/C++/VC++"},
    {32, "Zone: Programming - Language & Database - C#/C#Builder"},
    {33, "Zone: Programming - Language & Database - VB/VB.NET"},
    {34, "Zone: Programming - Language & Database - Delphi"},
    {35, "Zone: Programming - Language & Database - Java/J#"},
    {36, "Zone: Programming - Language & Database - Assemble Language"},
    {37, "Zone: Programming - Language & Database - MS-SQL Server"},
    {38, "Zone: Programming - Language & Database - PowerBuilder"},
    {39, "Zone: Programming - Language & Database - Other Database"},
    {40, "Zone: Programming - Web & Graphic Design - Webpage Design"},
    {41, "Zone: Programming - Web & Graphic Design - Graphics Design"},
};

} // namespace

TEST(ZoneCatalogue, ZoneLinesOfEveryColumn)
{
    for (const auto &[id, line] : kZoneLines)
        EXPECT_EQ(zoneLine(id), QString::fromUtf8(line)) << "column " << id;
    EXPECT_TRUE(zoneLine(0).isEmpty());
    EXPECT_TRUE(zoneLine(42).isEmpty());
}

TEST(ZoneCatalogue, ZonesAndTheirValues)
{
    EXPECT_EQ(tabCaption(0), QStringLiteral(" Software  "));
    EXPECT_EQ(tabCaption(1), QStringLiteral(" Hardware  "));
    EXPECT_EQ(tabCaption(2), QStringLiteral("    Game   "));
    EXPECT_EQ(tabCaption(3), QStringLiteral("Programming"));
    const char *pages[] = {"ShowSoftPost.aspx", "ShowHardPost.aspx", "ShowGamePost.aspx", "ShowProgPost.aspx"};
    const char *views[] = {"CSoftView", "CHardView", "CGameView", "CProgView"};
    for (int zone = 0; zone < kZoneCount; ++zone) {
        EXPECT_EQ(zoneNumber(zone), zone + 1);
        EXPECT_EQ(questionPage(zone), QString::fromUtf8(pages[zone]));
        EXPECT_EQ(viewClassName(zone), QString::fromUtf8(views[zone]));
        EXPECT_EQ(categoriesOfZone(zone), (QList<int>{zone * 2, zone * 2 + 1}));
        EXPECT_EQ(firstCategoryOfZone(zone), zone * 2);
    }
    for (int bad : {-1, 4}) {
        EXPECT_EQ(zoneNumber(bad), 0);
        EXPECT_TRUE(questionPage(bad).isEmpty());
        EXPECT_TRUE(tabCaption(bad).isEmpty());
        EXPECT_TRUE(categoriesOfZone(bad).isEmpty());
        EXPECT_EQ(firstCategoryOfZone(bad), -1);
    }
}

TEST(ZoneCatalogue, ZoneOfColumnFollowsTheRanges)
{
    const std::pair<int, int> cases[] = {{-5, -1}, {0, -1}, {1, 0},  {9, 0},  {10, 1},  {19, 1},
                                         {20, 2},  {30, 2}, {31, 3}, {41, 3}, {42, -1}, {1000, -1}};
    for (const auto &[column, zone] : cases)
        EXPECT_EQ(zoneOfColumn(column), zone) << "column " << column;
    EXPECT_TRUE(columnInZone(30, 2));
    EXPECT_FALSE(columnInZone(31, 2));
    EXPECT_FALSE(columnInZone(0, 0));
    EXPECT_FALSE(columnInZone(42, 3));
    EXPECT_FALSE(columnInZone(5, -1));
    EXPECT_FALSE(isColumnId(0));
    EXPECT_TRUE(isColumnId(41));
}

TEST(ZoneCatalogue, OddLabels)
{
    // Column 30 differs between the tree and the search pane; its Zone: line uses the tree.
    EXPECT_EQ(columnTreeLabel(30), QStringLiteral("Others"));
    EXPECT_EQ(columnSearchLabel(30), QStringLiteral("Others Games"));
    EXPECT_TRUE(zoneLine(30).endsWith(QStringLiteral(" - Others")));
    for (int id = 1; id <= 41; ++id) {
        if (id != 30) {
            EXPECT_EQ(columnTreeLabel(id), columnSearchLabel(id)) << "column " << id;
        }
    }
    // Labels repeat; IDs tell the columns apart.
    for (int id : {9, 15, 19})
        EXPECT_EQ(columnTreeLabel(id), QStringLiteral("Others"));
    EXPECT_NE(zoneLine(9), zoneLine(15));
    EXPECT_EQ(columnTreeLabel(20), QStringLiteral("Role-playing Games"));
    EXPECT_EQ(columnTreeLabel(26), QStringLiteral("Role-Playing Games"));
    EXPECT_EQ(columnTreeLabel(23), columnTreeLabel(27));
    EXPECT_EQ(columnTreeLabel(24), columnTreeLabel(29));
    // The game categories are "Games" in the tree, "Game" in the search pane.
    EXPECT_EQ(searchCategoryLabels(),
              (QStringList{QStringLiteral("Operating Systems"), QStringLiteral("Application software"),
                           QStringLiteral("PC Hardware"), QStringLiteral("Non PC Hardware"),
                           QStringLiteral("Single Game"), QStringLiteral("Multiple Game"),
                           QStringLiteral("Language & Database"), QStringLiteral("Web & Graphic Design")}));
    EXPECT_EQ(zoneTree(2).at(0).label, QStringLiteral("Single Games"));
    EXPECT_EQ(zoneTree(2).at(1).label, QStringLiteral("Multiple Games"));
}

TEST(ZoneCatalogue, KeywordListsAndTips)
{
    EXPECT_EQ(keywordList(28), QStringLiteral("Counter-Strike,Doom,Half-Life,Battle Grounds,GunZ The Duel,Iron Storm "
                                              ",Call of Duty,Quake"));
    EXPECT_EQ(keywordList(33), QStringLiteral("BASIC,VB,VB,Visual B,VB.NET,Visual B.NET"));
    EXPECT_EQ(keywordList(25), QStringLiteral("Arcade,Classic,Puzzle,Poker, Chess and other games"));
    EXPECT_EQ(keywordList(1),
              QStringLiteral("Windows 95,Windows 98,Windows Me,Windows 2000/NT,Windows XP,Windows 2003"));
    EXPECT_EQ(keywordList(41), QStringLiteral("Photoshop,Flash,CorelDRAW,Illustrator,Freehand,FireWorks,3DMax,Maya,"
                                              "AutoCAD,PhotoImpact,ImageReady"));
    std::set<QString> distinct;
    for (int id = 1; id <= 41; ++id) {
        EXPECT_FALSE(keywordList(id).isEmpty()) << "column " << id;
        EXPECT_EQ(keywordTipForItemData(id), keywordList(id));
        distinct.insert(keywordList(id));
    }
    EXPECT_EQ(distinct.size(), 41u);
    // A category item carries 0 and has no tip; so has nothing outside 1..41.
    EXPECT_TRUE(keywordTipForItemData(0).isEmpty());
    EXPECT_TRUE(keywordTipForItemData(42).isEmpty());
    EXPECT_TRUE(keywordTipForItemData(-1).isEmpty());
}

TEST(ZoneCatalogue, SearchPaneColumnMapping)
{
    // (category, last position, first column ID)
    const int ranges[][3] = {{0, 1, 1},  {1, 6, 3},  {2, 5, 10}, {3, 3, 16},
                             {4, 5, 20}, {5, 4, 26}, {6, 8, 31}, {7, 1, 40}};
    int next = 1;
    for (const auto &range : ranges) {
        const int category = range[0];
        EXPECT_EQ(range[2], next);
        for (int pos = 0; pos <= range[1]; ++pos)
            EXPECT_EQ(searchColumnId(category, pos), range[2] + pos) << category << "/" << pos;
        EXPECT_EQ(searchColumnId(category, range[1] + 1), 0);
        EXPECT_EQ(searchColumnId(category, -1), 0);
        EXPECT_EQ(searchColumnLabels(category).size(), range[1] + 1);
        EXPECT_EQ(columnsOfCategory(category).size(), range[1] + 1);
        next = range[2] + range[1] + 1;
    }
    EXPECT_EQ(next, 42);
    EXPECT_EQ(searchColumnLabels(5).last(), QStringLiteral("Others Games"));
    EXPECT_EQ(searchColumnId(8, 0), 0);
    EXPECT_EQ(searchColumnId(-1, 0), 0);
    EXPECT_TRUE(searchColumnLabels(8).isEmpty());
}

TEST(ZoneCatalogue, ZoneTreeItems)
{
    int columns = 0;
    for (int zone = 0; zone < kZoneCount; ++zone) {
        const QList<TreeItem> roots = zoneTree(zone);
        ASSERT_EQ(roots.size(), 2);
        for (int i = 0; i < 2; ++i) {
            const TreeItem &root = roots.at(i);
            EXPECT_EQ(root.icon, i == 0 ? kFirstCategoryIcon : kSecondCategoryIcon);
            EXPECT_EQ(root.selectedIcon, root.icon);
            EXPECT_EQ(root.itemData, 0);
            EXPECT_TRUE(root.expanded);
            int previous = 0;
            for (const TreeItem &leaf : root.children) {
                EXPECT_EQ(leaf.icon, kLeafIcon);
                EXPECT_EQ(leaf.selectedIcon, kLeafSelectedIcon);
                EXPECT_TRUE(leaf.children.isEmpty());
                EXPECT_GT(leaf.itemData, previous);
                EXPECT_EQ(zoneOfColumn(leaf.itemData), zone);
                EXPECT_EQ(leaf.label, columnTreeLabel(leaf.itemData));
                previous = leaf.itemData;
                ++columns;
            }
        }
    }
    EXPECT_EQ(columns, 41);
    EXPECT_EQ(zoneTree(2).at(1).children.last().label, QStringLiteral("Others"));
    EXPECT_TRUE(zoneTree(4).isEmpty());
}
