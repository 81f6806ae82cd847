#include "markup_list_ctrl.h"
#include "markup_text_painter.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using quillora::ui::CMarkupListCtrl;
using quillora::ui::MarkupListNotification;

namespace {

QApplication &app()
{
    static int argc = 1;
    static char name[] = "test_markup_list_ctrl";
    static char *argv[] = {name, nullptr};
    static QApplication *a = new QApplication(argc, argv);
    return *a;
}

using Codes = std::vector<std::pair<int, int>>; // (code, item)

class MarkupListTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        app();
        list = std::make_unique<CMarkupListCtrl>(nullptr, 1234);
        list->SetHeaderHeight(20);
        list->resize(300, 200);
        list->show();
        QObject::connect(list.get(), &CMarkupListCtrl::notify, list.get(),
                         [this](const MarkupListNotification &n) { seen.push_back(n); });
    }
    Codes codes() const
    {
        Codes result;
        for (const auto &n : seen)
            result.emplace_back(n.code, n.item);
        return result;
    }
    QPoint centreOf(int index) const { return list->ItemRect(index).center(); }
    int oneLineHeight() const { return QFontMetrics(list->font(), list->viewport()).height() + 10; }

    std::unique_ptr<CMarkupListCtrl> list;
    std::vector<MarkupListNotification> seen;
};

const QString kLong =
    QStringLiteral("{b}Maintenance{/b} tonight: the {font color=#C00000}service{/font} stops from 22:00 to 23:30, "
                   "questions posted before then are kept and the {u}scores{/u} are counted again afterwards");

} // namespace

TEST(MarkupListHeader, HeightFromTheScreen)
{
    EXPECT_EQ(CMarkupListCtrl::headerHeightForScreen(1080), 48);
    EXPECT_EQ(CMarkupListCtrl::headerHeightForScreen(768), 32);
    EXPECT_EQ(CMarkupListCtrl::headerHeightForScreen(600), 23);
    EXPECT_EQ(CMarkupListCtrl::headerHeightForScreen(100), 0);
}

TEST_F(MarkupListTest, ItemHeightsMeasuredOrFixed)
{
    const int fixed = list->AddItem(QStringLiteral("fixed row"), 0, CMarkupListCtrl::MarkupText, 40);
    const int shortItem = list->AddItem(QStringLiteral("{b}short{/b} title"));
    const int longItem = list->AddItem(kLong);
    const int plain = list->AddItem(QStringLiteral("plain {b} text shown as typed"), -1, CMarkupListCtrl::PlainText);
    const int path =
        list->AddItem(QStringLiteral("/very/long/path/") + QString(200, u'x'), -1, CMarkupListCtrl::FilePath);
    EXPECT_EQ(list->GetItemHeight(fixed), 40);
    EXPECT_EQ(list->GetItemHeight(shortItem), oneLineHeight());
    EXPECT_GT(list->GetItemHeight(longItem), 2 * oneLineHeight() - 10);
    EXPECT_EQ(list->GetItemHeight(plain), oneLineHeight());
    EXPECT_EQ(list->GetItemHeight(path), oneLineHeight()); // one line, shortened when drawn
    int sum = 0;
    for (int i = 0; i < list->GetItemCount(); ++i)
        sum += list->GetItemHeight(i);
    EXPECT_EQ(list->GetTotalHeight(), sum);

    // Narrower: measured items grow, the fixed one keeps its height.
    const int before = list->GetItemHeight(longItem);
    list->resize(160, 200);
    QApplication::processEvents();
    EXPECT_GT(list->GetItemHeight(longItem), before);
    EXPECT_EQ(list->GetItemHeight(fixed), 40);

    // Check boxes and images take width from the text.
    list->resize(300, 200);
    QApplication::processEvents();
    const int wide = list->GetItemHeight(longItem);
    QPixmap image(64, 16);
    image.fill(Qt::red);
    list->SetImageList({image});
    list->SetStyle(CMarkupListCtrl::CheckBoxes | CMarkupListCtrl::Images);
    EXPECT_GT(list->GetItemHeight(longItem), wide);
    EXPECT_EQ(list->GetItemHeight(fixed), 40);
}

TEST_F(MarkupListTest, Scrolling)
{
    for (int i = 0; i < 10; ++i)
        list->AddItem(QStringLiteral("row %1").arg(i), -1, CMarkupListCtrl::MarkupText, 50);
    QScrollBar *bar = list->verticalScrollBar();
    const int visible = list->viewport()->height();
    EXPECT_EQ(list->GetTotalHeight(), 500);
    EXPECT_EQ(bar->maximum(), 20 + 500 - visible);
    EXPECT_EQ(bar->pageStep(), visible);

    QTest::keyClick(list.get(), Qt::Key_End); // not a list key: nothing happens
    EXPECT_EQ(bar->value(), 0);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(bar->value(), 50);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(bar->value(), 100);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(bar->value(), 50);

    QWheelEvent down(QPointF(10, 60), list->mapToGlobal(QPointF(10, 60)), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list->viewport(), &down);
    EXPECT_EQ(bar->value(), 90);
    QWheelEvent up(QPointF(10, 60), list->mapToGlobal(QPointF(10, 60)), QPoint(), QPoint(0, 360), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list->viewport(), &up);
    EXPECT_EQ(bar->value(), 0);   // never above the top
    for (int i = 0; i < 4; ++i) { // four quarter steps make one
        QWheelEvent part(QPointF(10, 60), list->mapToGlobal(QPointF(10, 60)), QPoint(), QPoint(0, -30), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(list->viewport(), &part);
    }
    EXPECT_EQ(bar->value(), 40);
    bar->setValue(0);

    // Items are drawn shifted by the scroll position, below the header band.
    EXPECT_EQ(list->ItemRect(0).top(), 20);
    list->EnsureVisible(9);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(list->ItemRect(9).bottom(), visible - 1);
    EXPECT_EQ(list->ItemAt(QPoint(10, visible - 5)), 9);
    EXPECT_EQ(list->ItemAt(QPoint(10, 5)), -1); // the header is no item
    list->EnsureVisible(0);
    EXPECT_EQ(bar->value(), 0);

    // A resize starts again from the top.
    bar->setValue(100);
    list->resize(320, 220);
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(MarkupListTest, MouseNotifications)
{
    for (int i = 0; i < 3; ++i) {
        list->AddItem(QStringLiteral("item %1").arg(i), -1, CMarkupListCtrl::MarkupText, 30);
        list->SetItemData(i, 100 + i);
    }
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centreOf(1));
    EXPECT_EQ(codes(), (Codes{{2, -1}, {2, 1}}));
    EXPECT_EQ(list->GetSelectedIndex(), 1);
    EXPECT_EQ(seen.back().controlId, 1234);
    EXPECT_EQ(seen.back().text, QStringLiteral("item 1"));
    EXPECT_EQ(seen.back().data, 101);
    EXPECT_TRUE(list->hasFocus() || !list->isActiveWindow());

    seen.clear();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(10, 20 + 90 + 30)); // below the items
    EXPECT_EQ(codes(), (Codes{{2, -1}, {1, -1}}));
    EXPECT_EQ(list->GetSelectedIndex(), 1);

    seen.clear();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centreOf(2));
    EXPECT_EQ(codes().back(), std::make_pair(1, 2));
    EXPECT_EQ(list->GetSelectedIndex(), 2);

    seen.clear();
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, centreOf(0));
    EXPECT_EQ(codes(), (Codes{{3, -1}}));
    EXPECT_EQ(list->GetSelectedIndex(), 2);
}

TEST_F(MarkupListTest, CheckBoxes)
{
    list->SetStyle(CMarkupListCtrl::CheckBoxes);
    list->AddItem(QStringLiteral("first"), -1, CMarkupListCtrl::MarkupText, 30);
    list->AddItem(QStringLiteral("second"), -1, CMarkupListCtrl::MarkupText, 30);
    const QRect row = list->ItemRect(1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(row.left() + 10, row.center().y()));
    EXPECT_EQ(codes(), (Codes{{2, -1}, {5, 1}, {2, 1}}));
    EXPECT_TRUE(list->GetCheck(1));
    EXPECT_TRUE(seen.at(1).checked);

    seen.clear();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(row.left() + 60, row.center().y()));
    EXPECT_EQ(codes(), (Codes{{2, -1}, {2, 1}}));
    EXPECT_TRUE(list->GetCheck(1));

    seen.clear();
    QTest::keyClick(list.get(), Qt::Key_Space);
    EXPECT_EQ(codes(), (Codes{{5, 1}}));
    EXPECT_FALSE(list->GetCheck(1));
    list->SetCheck(0, true);
    EXPECT_TRUE(list->GetCheck(0));

    // Without check boxes Space does nothing and a click never toggles.
    list->SetStyle(0);
    seen.clear();
    QTest::keyClick(list.get(), Qt::Key_Space);
    EXPECT_TRUE(seen.empty());
}

TEST_F(MarkupListTest, ArrowKeysMoveAndActivate)
{
    for (int i = 0; i < 8; ++i)
        list->AddItem(QStringLiteral("row %1").arg(i), -1, CMarkupListCtrl::MarkupText, 50);
    QTest::keyClick(list.get(), Qt::Key_Down); // from none to the last item, scrolled into view
    EXPECT_EQ(codes(), (Codes{{1, 7}}));
    EXPECT_EQ(list->GetSelectedIndex(), 7);
    EXPECT_EQ(list->verticalScrollBar()->value(), list->verticalScrollBar()->maximum());

    QTest::keyClick(list.get(), Qt::Key_Down); // already last: no move, no report
    EXPECT_EQ(seen.size(), 1u);
    QTest::keyClick(list.get(), Qt::Key_Up);
    EXPECT_EQ(codes().back(), std::make_pair(1, 6));

    list->SetSelectedIndex(-1);
    seen.clear();
    QTest::keyClick(list.get(), Qt::Key_Up); // from none to the first
    EXPECT_EQ(codes(), (Codes{{1, 0}}));
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);

    list->DeleteAllItems();
    seen.clear();
    QTest::keyClick(list.get(), Qt::Key_Down);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(list->GetSelectedIndex(), -1);
}

TEST_F(MarkupListTest, PaintsRowsAndSelection)
{
    list->SetHeaderHeight(0);
    list->AddItem(QStringLiteral("{font color=#FF0000}{b}RED{/b}{/font}"), -1, CMarkupListCtrl::MarkupText, 40);
    list->AddItem(QStringLiteral("odd"), -1, CMarkupListCtrl::MarkupText, 40);
    list->AddItem(QStringLiteral("selected"), -1, CMarkupListCtrl::MarkupText, 40);
    list->SetSelectedIndex(2);
    const QImage shot = list->viewport()->grab().toImage();
    const int right = list->viewport()->width() - 3;
    EXPECT_EQ(QColor(shot.pixel(right, 20)), QColor(Qt::white));
    EXPECT_EQ(QColor(shot.pixel(right, 60)), CMarkupListCtrl::kOddRowColor);
    EXPECT_EQ(QColor(shot.pixel(right, 100)), CMarkupListCtrl::kSelectionColor);
    // The first row's word is drawn in red.
    bool red = false;
    for (int y = 0; y < 40 && !red; ++y)
        for (int x = 0; x < 100 && !red; ++x)
            red = QColor(shot.pixel(x, y)).red() > 200 && QColor(shot.pixel(x, y)).green() < 80;
    EXPECT_TRUE(red);
}

// An item measured as one line is painted as one line: at the narrowest
// width where the text is measured to fit, no ink falls below its first line.
TEST_F(MarkupListTest, TextThatJustFitsIsPaintedOnOneLine)
{
    list->AddItem(QStringLiteral("alpha beta gamma delta"), -1, CMarkupListCtrl::MarkupText, 0);
    int width = 100;
    for (; width < 800; ++width) {
        list->resize(width, 200);
        if (list->GetItemHeight(0) == oneLineHeight())
            break;
    }
    ASSERT_LT(width, 800);
    const QImage shot = list->viewport()->grab().toImage();
    const QRect item = list->ItemRect(0);
    const int lineHeight = QFontMetrics(list->font(), list->viewport()).height();
    int inkBelow = 0;
    for (int y = item.top() + 5 + lineHeight; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            inkBelow += qGray(shot.pixel(x, y)) < 128;
    EXPECT_EQ(inkBelow, 0) << "list width " << width;
}

// An italic word is drawn whole: the part of its last glyph that leans past
// the word's advance is not cut off.
TEST(MarkupTextDrawing, ItalicOverhangIsNotClipped)
{
    app();
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(28);
    QFont italic = font;
    italic.setItalic(true);
    const int advance = QFontMetrics(italic).horizontalAdvance(QStringLiteral("ff"));
    const int left = 10;
    // Ink columns right of the word's advance (and the one pixel it is given).
    auto inkPastAdvance = [&](const QImage &img) {
        int ink = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = left + advance + 2; x < img.width(); ++x)
                ink += qGray(img.pixel(x, y)) < 160;
        return ink;
    };
    QImage reference(200, 60, QImage::Format_RGB32);
    reference.fill(Qt::white);
    {
        QPainter p(&reference);
        p.setFont(italic);
        p.setPen(Qt::black);
        p.drawText(QPoint(left, 5 + QFontMetrics(italic).ascent()), QStringLiteral("ff"));
    }
    if (inkPastAdvance(reference) == 0)
        GTEST_SKIP() << "this font's italic does not lean past its advance";

    QImage drawn(200, 60, QImage::Format_RGB32);
    drawn.fill(Qt::white);
    {
        QPainter p(&drawn);
        p.setFont(font);
        p.setPen(Qt::black);
        QRect area(left, 5, 180, 50);
        quillora::ui::DrawMarkupText(&p, QStringLiteral("{i}ff{/i}"), -1, &area, quillora::ui::MarkupWordBreak);
    }
    EXPECT_GT(inkPastAdvance(drawn), 0);
}
