// The icon picker: entries by resource identifier, the exchange with a
// dialog's field, and how an entry is drawn.
#include "forum/icon_ids.h"
#include "icon_combo_box.h"
#include "ui_resources.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using quillora::ui::CIconComboBox;
namespace forum = quillora::forum;

namespace {

QApplication &app()
{
    static int argc = 1;
    static char name[] = "test_icon_combo_box";
    static char *argv[] = {name, nullptr};
    static QApplication *a = [] {
        auto *created = new QApplication(argc, argv);
        quillora::ui::initResources();
        return created;
    }();
    return *a;
}

} // namespace

TEST(IconComboBox, HeadPicturesInOrderByIdentifier)
{
    app();
    CIconComboBox box;
    box.addHeadImages();
    ASSERT_EQ(box.count(), 24);
    for (int i = 0; i < box.count(); ++i) {
        EXPECT_EQ(box.idAt(i), forum::headIconId(i + 1)) << i;
        EXPECT_TRUE(box.itemText(i).isEmpty());
        EXPECT_EQ(box.itemIcon(i).pixmap(32, 32).size(), QSize(32, 32));
    }
    EXPECT_EQ(box.idAt(24), 0);
    EXPECT_EQ(box.idAt(-1), 0);
}

TEST(IconComboBox, IdentifierWithoutIconAddsNothing)
{
    app();
    CIconComboBox box;
    EXPECT_EQ(box.addIcon(forum::headIconId(3)), 0);
    EXPECT_EQ(box.addIcon(forum::kHeadIconLast + 1), -1);
    EXPECT_EQ(box.addIcon(0), -1);
    EXPECT_EQ(box.addIcon(forum::kHeadIconFirst - 1), -1);
    EXPECT_EQ(box.count(), 1);
    EXPECT_EQ(box.addIcon(forum::headIconId(24)), 1);

    // Another source decides on its own which identifiers have icons.
    CIconComboBox custom(nullptr, [](int id) {
        QPixmap p(32, 32);
        p.fill(Qt::red);
        return id == 7 ? p : QPixmap();
    });
    EXPECT_EQ(custom.addIcon(forum::headIconId(1)), -1);
    EXPECT_EQ(custom.addIcon(7), 0);
}

TEST(IconComboBox, ExchangeByIdentifier)
{
    app();
    CIconComboBox box;
    box.addHeadImages();
    box.addIcon(forum::headIconId(5)); // a second entry with the same icon

    EXPECT_EQ(box.selectById(forum::headIconId(21)), 20);
    EXPECT_EQ(box.selectedId(), forum::headIconId(21));

    // The first entry with the identifier wins.
    EXPECT_EQ(box.selectById(forum::headIconId(5)), 4);

    // Unknown identifiers leave the selection as it was.
    EXPECT_EQ(box.selectById(9999), -1);
    box.loadId(0);
    EXPECT_EQ(box.currentIndex(), 4);
    EXPECT_EQ(box.selectedId(), forum::headIconId(5));

    box.setCurrentIndex(-1);
    EXPECT_EQ(box.selectedId(), 0);
    box.loadId(forum::headIconId(1));
    EXPECT_EQ(box.currentIndex(), 0);

    box.clear();
    EXPECT_EQ(box.selectedId(), 0);
}

TEST(IconComboBox, EntriesAreDrawnIconOnePixelIn)
{
    app();
    CIconComboBox box(nullptr, [](int) {
        QPixmap p(32, 32);
        p.fill(QColor(10, 200, 30));
        return p;
    });
    box.addIcon(1);
    box.addIcon(2);
    QAbstractItemView *list = box.view();
    const QModelIndex first = list->model()->index(0, 0);

    QStyleOptionViewItem option;
    option.initFrom(list);
    option.rect = QRect(0, 0, 60, CIconComboBox::kEntryHeight);
    EXPECT_EQ(list->itemDelegate()->sizeHint(option, first).height(), 34);

    auto draw = [&](bool selected) {
        QImage image(60, 34, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        QStyleOptionViewItem o = option;
        o.state = selected ? (o.state | QStyle::State_Selected) : (o.state & ~QStyle::State_Selected);
        list->itemDelegate()->paint(&painter, o, first);
        painter.end();
        return image;
    };
    const QImage plain = draw(false);
    EXPECT_EQ(plain.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(plain.pixelColor(1, 1), QColor(10, 200, 30));
    EXPECT_EQ(plain.pixelColor(32, 32), QColor(10, 200, 30));
    EXPECT_EQ(plain.pixelColor(33, 33), QColor(Qt::white));
    EXPECT_EQ(plain.pixelColor(50, 17), QColor(Qt::white));

    const QImage selected = draw(true);
    EXPECT_EQ(selected.pixelColor(50, 17), option.palette.color(QPalette::Highlight));
    EXPECT_EQ(selected.pixelColor(16, 16), QColor(10, 200, 30));
}
