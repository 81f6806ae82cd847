#include "forum/zone_catalogue.h"
#include "forum_icons.h"
#include "head_image_pictures.h"
#include "ui_resources.h"
#include "zone_tree_ctrl.h"

#include <QApplication>

#include <gtest/gtest.h>

using quillora::ui::CZoneTreeCtrl;

namespace {

QApplication &app()
{
    static int argc = 1;
    static char name[] = "test_zone_tree_ctrl";
    static char *argv[] = {name, nullptr};
    static QApplication *a = [] {
        auto *created = new QApplication(argc, argv);
        quillora::ui::initResources();
        return created;
    }();
    return *a;
}

} // namespace

TEST(ZoneTreeCtrl, ItemsOfEveryZone)
{
    app();
    int columns = 0;
    for (int zone = 0; zone < 4; ++zone) {
        CZoneTreeCtrl tree(zone);
        ASSERT_EQ(tree.topLevelItemCount(), 2);
        for (int c = 0; c < 2; ++c) {
            const QTreeWidgetItem *category = tree.topLevelItem(c);
            EXPECT_EQ(CZoneTreeCtrl::itemData(category), 0);
            EXPECT_TRUE(category->isExpanded());
            EXPECT_FALSE(category->icon(0).isNull());
            for (int i = 0; i < category->childCount(); ++i) {
                const int id = CZoneTreeCtrl::itemData(category->child(i));
                EXPECT_EQ(quillora::forum::zoneOfColumn(id), zone);
                EXPECT_EQ(category->child(i)->text(0), quillora::forum::columnTreeLabel(id));
                ++columns;
            }
        }
    }
    EXPECT_EQ(columns, 41);
    CZoneTreeCtrl game(2);
    EXPECT_EQ(game.topLevelItem(1)->text(0), QStringLiteral("Multiple Games"));
    EXPECT_EQ(game.topLevelItem(1)->child(4)->text(0), QStringLiteral("Others"));
}

TEST(ZoneTreeCtrl, KeywordTipsForColumnsOnly)
{
    app();
    CZoneTreeCtrl tree(3);
    tree.resize(180, 400);
    tree.show();
    const QTreeWidgetItem *category = tree.topLevelItem(0);
    const QTreeWidgetItem *cpp = category->child(0);
    EXPECT_EQ(tree.tipAt(tree.visualItemRect(cpp).center()),
              QStringLiteral("C,C++,VC,MFC,VC++,VC++.NET,C++ Builder,Visual C++,Visual C++.NET"));
    EXPECT_TRUE(tree.tipAt(tree.visualItemRect(category).center()).isEmpty());
    EXPECT_TRUE(tree.tipAt(QPoint(5, 395)).isEmpty()); // below the last item
    tree.setCurrentItem(const_cast<QTreeWidgetItem *>(cpp));
    EXPECT_EQ(tree.selectedItemData(), 31);
    tree.setCurrentItem(const_cast<QTreeWidgetItem *>(category));
    EXPECT_EQ(tree.selectedItemData(), 0);
}

TEST(ForumPictures, IconsAndHeadPicturesLoad)
{
    app();
    for (const QPixmap &icon : quillora::ui::zoneTreeIcons() + quillora::ui::announcementKindIcons())
        EXPECT_EQ(icon.size(), QSize(16, 16));
    const QList<QPixmap> heads = quillora::ui::builtInHeadPixmaps();
    ASSERT_EQ(heads.size(), 24);
    for (const QPixmap &head : heads)
        EXPECT_EQ(head.size(), QSize(32, 32));
    // Number 0 shows picture 24; the pictures differ from one another.
    EXPECT_EQ(quillora::ui::builtInHeadPixmap(0).toImage(), heads.at(23).toImage());
    EXPECT_NE(heads.at(0).toImage(), heads.at(1).toImage());
}
