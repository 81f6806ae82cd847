#include "zone_catalogue.h"

namespace quillora::forum {

namespace {

constexpr ZoneInfo kZones[kZoneCount] = {
    {0, 1, " Software  ", "Software", "CSoftView", "ShowSoftPost.aspx", 0, 1, 9},
    {1, 2, " Hardware  ", "Hardware", "CHardView", "ShowHardPost.aspx", 2, 10, 19},
    {2, 3, "    Game   ", "Games", "CGameView", "ShowGamePost.aspx", 4, 20, 30},
    {3, 4, "Programming", "Programming", "CProgView", "ShowProgPost.aspx", 6, 31, 41},
};

constexpr CategoryInfo kCategories[kCategoryCount] = {
    {0, 0, 0, "Operating Systems", "Operating Systems", kFirstCategoryIcon, 1, 2},
    {1, 0, 1, "Application software", "Application software", kSecondCategoryIcon, 3, 9},
    {2, 1, 0, "PC Hardware", "PC Hardware", kFirstCategoryIcon, 10, 15},
    {3, 1, 1, "Non PC Hardware", "Non PC Hardware", kSecondCategoryIcon, 16, 19},
    {4, 2, 0, "Single Games", "Single Game", kFirstCategoryIcon, 20, 25},
    {5, 2, 1, "Multiple Games", "Multiple Game", kSecondCategoryIcon, 26, 30},
    {6, 3, 0, "Language & Database", "Language & Database", kFirstCategoryIcon, 31, 39},
    {7, 3, 1, "Web & Graphic Design", "Web & Graphic Design", kSecondCategoryIcon, 40, 41},
};

// Keyword lists are quoted exactly, stray blanks and repeats included.
constexpr ColumnInfo kColumns[kLastColumnId] = {
    {1, 0, "Windows", "Windows", "Windows 95,Windows 98,Windows Me,Windows 2000/NT,Windows XP,Windows 2003"},
    {2, 0, "Linux/Unix", "Linux/Unix", "Linux,Unix,Other operating system"},
    {3, 1, "System Utilities", "System Utilities",
     "System Enhancements,Optimizers & Diagnostics,Data Recovery,Backup,File Management,Disk "
     "Tools,Uninstallers,Compression Tools"},
    {4, 1, "Office Software", "Office Software", "Office,Word,Excel,Powerpoint,OutLook,Others,Desktop Utilities"},
    {5, 1, "Network Utilities", "Network Utilities",
     "Browsers,Chat Tools,E-mail Software,Offline browsing,Download tools,Web accelerators,Searchbots"},
    {6, 1, "Anti-virus & Security", "Anti-virus & Security",
     "Norton AntiVirus,Panda AntiVirus,AVIRA Antivirus,Trojan Guarder,AntiVir Personal,PC Tools AntiVirus"},
    {7, 1, "Multimedia Software", "Multimedia Software",
     "RealPlayer,QuickTime,LimeWire,Morpheus,iMesh,DivX Player,Winamp Full,PowerDVD"},
    {8, 1, "Business Software", "Business Software",
     "E-commerce,ERP,Finance,CRM,SCM,Accounting,Invoice And Billing,Barcode Software,Contact Management"},
    {9, 1, "Others", "Others", "Other software"},
    {10, 2, "CPU/Mainboard", "CPU/Mainboard", "CPU,Motherboard,Memory,BIOS"},
    {11, 2, "Storage Devices", "Storage Devices",
     "Hard Drives,Storage Adapters,Floppy disk,CD-ROM,DVD-ROM,Flash memory,DVD recorder,Zip Drive"},
    {12, 2, "Video Devices", "Video Devices", "Graphics Cards,LCD Monitor,CRT Monitor,VGA Adapter,TV Tuners"},
    {13, 2, "Audio Devices", "Audio Devices", "Sound Cards,Speakers,Sound Blaster,Earphone,Microphone,Others"},
    {14, 2, "Network Devices", "Network Devices", "Modems,ADSL,LAN Card,Network cards,Switch,Router,Network Bridging"},
    {15, 2, "Others", "Others", "Computer case,Mouse,Keyboard,Powersupply,Fan,Fan grill,Computer peripherals"},
    {16, 3, "Printers/Scanners", "Printers/Scanners", "Printers,Scanners"},
    {17, 3, "Digital Cameras", "Digital Cameras", "Digital cameras,Video cameras,Camcorder"},
    {18, 3, "MP3/PDA/Mobile", "MP3/PDA/Mobile", "MP3,PDA,Mobile phone,MD,Recording pen"},
    {19, 3, "Others", "Others", "Copy machines,Fax machines,Paper shredders,Video projector"},
    {20, 4, "Role-playing Games", "Role-playing Games",
     "Diablo 2,Final fantasy,Neverwinter nights,The Ark of Napishtim,Baldur's Gate"},
    {21, 4, "Action & Adventure", "Action & Adventure",
     "Tomb Raider,Biohazard,I'm Going In,Silent Hill,Splinter Cell,Alone in the Dark,Dino Crisis,Star War,Prince of "
     "Persia,Matrix"},
    {22, 4, "Simulation & Shooting", "Simulation & Shooting",
     "Half Life,Doom,Wing Commander,Comanche4,F-22,Counter-Strike,Quake II,Heroes Of The Pacific"},
    {23, 4, "Real-Time Strategy", "Real-Time Strategy",
     "StarCraft,Command & Conquer,Warcraft,Age Of Empires,Homeworld,Total War,Commandos,Might & "
     "Magic,Stronghold,Civilization"},
    {24, 4, "Sports & Racing", "Sports & Racing",
     "FIFA,Pro Evolution Soccer,Road Rash,NBA,Madden NFL Football,Need For Speed,Street Fighter"},
    {25, 4, "Other Games", "Other Games", "Arcade,Classic,Puzzle,Poker, Chess and other games"},
    {26, 5, "Role-Playing Games", "Role-Playing Games", "World of warcraft,EverQuest,Prince of Persia,Hearts & Souls"},
    {27, 5, "Real-Time Strategy", "Real-Time Strategy",
     "StarCraft,Warcraft,Age Of Empires,Command & Conquer,Total War,Rise of Nations,The Sims"},
    {28, 5, "Online Shooting", "Online Shooting",
     "Counter-Strike,Doom,Half-Life,Battle Grounds,GunZ The Duel,Iron Storm ,Call of Duty,Quake"},
    {29, 5, "Sports & Racing", "Sports & Racing",
     "FIFA,Championship Manager,Road Rash,NBA,Need for Speed,Football Manager"},
    {30, 5, "Others", "Others Games", "Online Poker Games,Online Chess Games,Arcade, Classic, Puzzle"},
    {31, 6, "C/C++/VC++", "C/C++/VC++", "C,C++,VC,MFC,VC++,VC++.NET,C++ Builder,Visual C++,Visual C++.NET"},
    {32, 6, "C#/C#Builder", "C#/C#Builder", "C#,C# Builder,VC#,Visual C#,Visual C#.NET,.NET Framework"},
    {33, 6, "VB/VB.NET", "VB/VB.NET", "BASIC,VB,VB,Visual B,VB.NET,Visual B.NET"},
    {34, 6, "Delphi", "Delphi", "Delphi"},
    {35, 6, "Java/J#", "Java/J#", "Java,J#,Jbuilder,J2SE,J2EE,EJB,JMS,J2ME"},
    {36, 6, "Assemble Language", "Assemble Language", "Assemble Language"},
    {37, 6, "MS-SQL Server", "MS-SQL Server", "MS-SQL Server"},
    {38, 6, "PowerBuilder", "PowerBuilder", "PowerBuilder"},
    {39, 6, "Other Database", "Other Database", "IBM DB2,Oracle,MySql,VFP,Access,Sybase,Informix,InterBase"},
    {40, 7, "Webpage Design", "Webpage Design",
     "ASP,ASP.NET,JSP,PHP,JavaScript,VBScript,CGI,XML,SOAP,HTML,CSS,ColdFusion,IIS,Dreamweaver,Frontpage"},
    {41, 7, "Graphics Design", "Graphics Design",
     "Photoshop,Flash,CorelDRAW,Illustrator,Freehand,FireWorks,3DMax,Maya,AutoCAD,PhotoImpact,ImageReady"},
};

QString text(const char *s)
{
    return s ? QString::fromUtf8(s) : QString();
}

} // namespace

const ZoneInfo *zoneAt(int zoneIndex)
{
    return zoneIndex >= 0 && zoneIndex < kZoneCount ? &kZones[zoneIndex] : nullptr;
}

const CategoryInfo *categoryAt(int categoryIndex)
{
    return categoryIndex >= 0 && categoryIndex < kCategoryCount ? &kCategories[categoryIndex] : nullptr;
}

const ColumnInfo *columnById(int columnId)
{
    return isColumnId(columnId) ? &kColumns[columnId - 1] : nullptr;
}

bool isColumnId(int columnId)
{
    return columnId >= kFirstColumnId && columnId <= kLastColumnId;
}

int zoneOfColumn(int columnId)
{
    for (const ZoneInfo &zone : kZones) {
        if (columnId >= zone.firstColumn && columnId <= zone.lastColumn)
            return zone.index;
    }
    return -1;
}

bool columnInZone(int columnId, int zoneIndex)
{
    return zoneAt(zoneIndex) && zoneOfColumn(columnId) == zoneIndex;
}

int zoneNumber(int zoneIndex)
{
    const ZoneInfo *zone = zoneAt(zoneIndex);
    return zone ? zone->number : 0;
}

QString questionPage(int zoneIndex)
{
    const ZoneInfo *zone = zoneAt(zoneIndex);
    return zone ? text(zone->questionPage) : QString();
}

QString tabCaption(int zoneIndex)
{
    const ZoneInfo *zone = zoneAt(zoneIndex);
    return zone ? text(zone->tabCaption) : QString();
}

QString viewClassName(int zoneIndex)
{
    const ZoneInfo *zone = zoneAt(zoneIndex);
    return zone ? text(zone->viewClass) : QString();
}

QList<int> categoriesOfZone(int zoneIndex)
{
    QList<int> result;
    for (const CategoryInfo &category : kCategories) {
        if (category.zoneIndex == zoneIndex)
            result.append(category.index);
    }
    return result;
}

QList<int> columnsOfCategory(int categoryIndex)
{
    QList<int> result;
    if (const CategoryInfo *category = categoryAt(categoryIndex)) {
        for (int id = category->firstColumn; id <= category->lastColumn; ++id)
            result.append(id);
    }
    return result;
}

QStringList searchCategoryLabels()
{
    QStringList result;
    for (const CategoryInfo &category : kCategories)
        result.append(text(category.searchLabel));
    return result;
}

QStringList searchColumnLabels(int categoryIndex)
{
    QStringList result;
    for (int id : columnsOfCategory(categoryIndex))
        result.append(columnSearchLabel(id));
    return result;
}

int searchColumnId(int categoryIndex, int position)
{
    const CategoryInfo *category = categoryAt(categoryIndex);
    if (!category || position < 0 || position > category->lastColumn - category->firstColumn)
        return 0;
    return category->firstColumn + position;
}

int firstCategoryOfZone(int zoneIndex)
{
    const ZoneInfo *zone = zoneAt(zoneIndex);
    return zone ? zone->firstCategory : -1;
}

QString columnTreeLabel(int columnId)
{
    const ColumnInfo *column = columnById(columnId);
    return column ? text(column->treeLabel) : QString();
}

QString columnSearchLabel(int columnId)
{
    const ColumnInfo *column = columnById(columnId);
    return column ? text(column->searchLabel) : QString();
}

QString zoneLine(int columnId)
{
    const ColumnInfo *column = columnById(columnId);
    if (!column)
        return QString();
    const CategoryInfo &category = kCategories[column->category];
    const ZoneInfo &zone = kZones[category.zoneIndex];
    return QStringLiteral("Zone: ") + text(zone.zoneWord) + QStringLiteral(" - ") + text(category.treeLabel) +
           QStringLiteral(" - ") + text(column->treeLabel);
}

QString keywordList(int columnId)
{
    const ColumnInfo *column = columnById(columnId);
    return column ? text(column->keywords) : QString();
}

QString keywordTipForItemData(int itemData)
{
    return keywordList(itemData);
}

QList<TreeItem> zoneTree(int zoneIndex)
{
    QList<TreeItem> roots;
    for (int categoryIndex : categoriesOfZone(zoneIndex)) {
        const CategoryInfo &category = kCategories[categoryIndex];
        TreeItem root;
        root.label = text(category.treeLabel);
        root.icon = root.selectedIcon = category.treeIcon;
        root.itemData = 0;
        root.expanded = true;
        for (int id : columnsOfCategory(categoryIndex)) {
            TreeItem leaf;
            leaf.label = columnTreeLabel(id);
            leaf.itemData = id;
            root.children.append(leaf);
        }
        roots.append(root);
    }
    return roots;
}

// Every column sits at its ID's slot and inside its category's range, and the
// categories tile their zone's range.
constexpr bool catalogueIsConsistent()
{
    for (int i = 0; i < kLastColumnId; ++i) {
        const ColumnInfo &column = kColumns[i];
        const CategoryInfo &category = kCategories[column.category];
        if (column.id != i + 1 || column.id < category.firstColumn || column.id > category.lastColumn)
            return false;
    }
    for (const ZoneInfo &zone : kZones) {
        const CategoryInfo &first = kCategories[zone.firstCategory];
        const CategoryInfo &second = kCategories[zone.firstCategory + 1];
        if (first.zoneIndex != zone.index || second.zoneIndex != zone.index || first.firstColumn != zone.firstColumn ||
            second.firstColumn != first.lastColumn + 1 || second.lastColumn != zone.lastColumn)
            return false;
    }
    return true;
}
static_assert(catalogueIsConsistent());

} // namespace quillora::forum
