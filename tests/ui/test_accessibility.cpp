// Every window the program can open, walked for what a screen reader and a
// keyboard user need: each control that takes the focus has a name, the rows
// of the lists can be read, the tab order follows the layout, and every
// command of the main window can be reached from the keyboard.
//
// A new screen joins by adding a row to windowOpeners() (accessibility_windows.h).
#include "accessibility_windows.h"
#include "markup_list_ctrl.h"
#include "screens/zone_view_widget.h"
#include "zone_catalogue.h"
#include "zone_tree_ctrl.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>

using namespace quillora;
using namespace quillora::ui::test;

namespace {

QApplication &app()
{
    static int argc = 1;
    static char arg0[] = "test_accessibility";
    static char *argv[] = {arg0, nullptr};
    static QApplication *instance = [] {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        auto *a = new QApplication(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("QuilloraAccessibilityTest"));
        return a;
    }();
    return *instance;
}

QString accessibleName(QWidget *w)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name).trimmed() : QString();
}

QString describe(QWidget *w)
{
    return QStringLiteral("%1 \"%2\"").arg(QLatin1String(w->metaObject()->className()), w->objectName());
}

// The controls of `window` a keyboard user can reach: shown, enabled or not,
// and taking the focus by Tab.
QList<QWidget *> focusableControls(QWidget *window)
{
    QList<QWidget *> out;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (w->isWindow() || !w->isVisibleTo(window) || !(w->focusPolicy() & Qt::TabFocus))
            continue;
        // A widget whose focus goes to a proxy is reached through the proxy.
        if (w->focusProxy())
            continue;
        out << w;
    }
    return out;
}

// The first zone's view, the one the main window opens on.
ui::ZoneViewWidget *softwareZone(QWidget *window)
{
    for (ui::ZoneViewWidget *view : window->findChildren<ui::ZoneViewWidget *>()) {
        if (view->objectName() == forum::viewClassName(0))
            return view;
    }
    return nullptr;
}

class Accessibility : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        app();
        s_program = new Program;
    }
    static void TearDownTestSuite()
    {
        delete s_program;
        s_program = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_program->started()); }

    std::unique_ptr<QWidget> show(const WindowOpener &opener)
    {
        std::unique_ptr<QWidget> window = opener.open(*s_program);
        if (!window)
            return nullptr;
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get())) << opener.name;
        return window;
    }

    static inline Program *s_program = nullptr;
};

TEST_F(Accessibility, EveryFocusableControlOfEveryWindowHasAName)
{
    for (const WindowOpener &opener : windowOpeners()) {
        std::unique_ptr<QWidget> window = show(opener);
        ASSERT_TRUE(window) << opener.name;
        EXPECT_FALSE(accessibleName(window.get()).isEmpty()) << opener.name << ": the window has no title";
        QStringList unnamed;
        const QList<QWidget *> controls = focusableControls(window.get());
        // The two wait windows only show a notice.
        const bool noticeOnly = QLatin1String(opener.name) == QLatin1String("Connecting") ||
                                QLatin1String(opener.name) == QLatin1String("Registration wait");
        EXPECT_FALSE(controls.isEmpty() && !noticeOnly) << opener.name;
        for (QWidget *w : controls) {
            if (qEnvironmentVariableIsSet("QUILLORA_LIST_NAMES"))
                std::printf("%s: %s -> %s\n", opener.name, qPrintable(describe(w)), qPrintable(accessibleName(w)));
            if (accessibleName(w).isEmpty())
                unnamed << describe(w);
        }
        EXPECT_TRUE(unnamed.isEmpty()) << opener.name << ": " << qPrintable(unnamed.join(QStringLiteral(", ")));
    }
}

// Tab moves through a dialog in reading order: each next control is on a
// lower row, or on the same row further right. (The main window's panes are
// checked by the rows test below.)
TEST_F(Accessibility, TabOrderOfEveryDialogFollowsTheLayout)
{
    for (const WindowOpener &opener : windowOpeners()) {
        if (QLatin1String(opener.name) == QLatin1String("Main window") ||
            QLatin1String(opener.name) == QLatin1String("Contact pane"))
            continue;
        std::unique_ptr<QWidget> window = show(opener);
        ASSERT_TRUE(window) << opener.name;
        const QList<QWidget *> controls = focusableControls(window.get());
        if (controls.size() < 2)
            continue;
        // The chain from the control that comes first in reading order.
        QWidget *first = controls.front();
        for (QWidget *w : controls) {
            const QRect a = w->geometry().translated(w->mapTo(window.get(), QPoint()) - w->pos());
            const QRect b = first->geometry().translated(first->mapTo(window.get(), QPoint()) - first->pos());
            if (a.top() < b.top() - 4 || (std::abs(a.top() - b.top()) <= 4 && a.left() < b.left()))
                first = w;
        }
        QList<QWidget *> chain{first};
        for (QWidget *w = first->nextInFocusChain(); w != first && chain.size() <= controls.size();
             w = w->nextInFocusChain()) {
            if (controls.contains(w))
                chain << w;
        }
        EXPECT_EQ(chain.size(), controls.size()) << opener.name << ": some controls are outside the Tab chain";
        // A dialog laid out in columns (side-by-side groups, a side bar) is
        // read a column at a time: Tab may go up only into a column right of
        // everything visited so far.
        int rightmost = QRect(chain[0]->mapTo(window.get(), QPoint()), chain[0]->size()).right();
        for (int i = 1; i < chain.size(); ++i) {
            const QRect prev(chain[i - 1]->mapTo(window.get(), QPoint()), chain[i - 1]->size());
            const QRect next(chain[i]->mapTo(window.get(), QPoint()), chain[i]->size());
            const bool sameRow = std::abs(prev.center().y() - next.center().y()) <= prev.height() / 2;
            const bool newColumn = next.left() > rightmost;
            rightmost = std::max(rightmost, next.right());
            const bool ok = sameRow ? next.left() > prev.left() : next.top() >= prev.center().y() || newColumn;
            EXPECT_TRUE(ok) << opener.name << ": Tab goes from " << qPrintable(describe(chain[i - 1])) << " to "
                            << qPrintable(describe(chain[i]));
        }
    }
}

// The lists of the zone views tell a screen reader what their rows say: the
// column tree, the experts list and the owner-drawn question list.
TEST_F(Accessibility, ListRowsExposeTheirText)
{
    std::unique_ptr<QWidget> window = show(windowOpeners()[2]);
    ASSERT_TRUE(window);
    ui::ZoneViewWidget *view = softwareZone(window.get());
    ASSERT_NE(view, nullptr);

    ui::CMarkupListCtrl *list = view->announcementList();
    ASSERT_GT(list->GetItemCount(), 0);
    list->SetSelectedIndex(0);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(list);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::List);
    ASSERT_EQ(iface->childCount(), list->GetItemCount());
    for (int i = 0; i < list->GetItemCount(); ++i) {
        QAccessibleInterface *row = iface->child(i);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->role(), QAccessible::ListItem);
        // The row reads as its words, without the markup tags.
        const QString name = row->text(QAccessible::Name);
        EXPECT_FALSE(name.isEmpty()) << i;
        EXPECT_FALSE(name.contains(QLatin1Char('{'))) << qPrintable(name);
        EXPECT_EQ(iface->indexOfChild(row), i);
        EXPECT_EQ(row->parent(), iface);
        EXPECT_EQ(row->state().selected, i == 0);
    }
    // Rows that went away are not read out.
    QAccessibleInterface *last = iface->child(list->GetItemCount() - 1);
    list->DeleteAllItems();
    EXPECT_EQ(iface->childCount(), 0);
    EXPECT_FALSE(last->isValid());
    EXPECT_TRUE(last->text(QAccessible::Name).isEmpty());

    QListWidget *experts = view->expertList();
    ASSERT_GT(experts->count(), 0);
    QAccessibleInterface *expertsIface = QAccessible::queryAccessibleInterface(experts);
    ASSERT_NE(expertsIface, nullptr);
    QStringList rowNames;
    for (int i = 0; i < expertsIface->childCount(); ++i)
        rowNames << expertsIface->child(i)->text(QAccessible::Name);
    for (int i = 0; i < experts->count(); ++i)
        EXPECT_TRUE(rowNames.contains(experts->item(i)->text())) << qPrintable(experts->item(i)->text());

    QTreeWidget *tree = view->tree();
    QAccessibleInterface *treeIface = QAccessible::queryAccessibleInterface(tree);
    ASSERT_NE(treeIface, nullptr);
    ASSERT_GT(treeIface->childCount(), 0);
    EXPECT_FALSE(treeIface->child(0)->text(QAccessible::Name).isEmpty());
}

// Every command of the main window is in its menu bar (Alt and the
// underlined letter), and no two menus share a letter.
TEST_F(Accessibility, EveryCommandIsReachableFromTheKeyboard)
{
    std::unique_ptr<QWidget> window = show(windowOpeners()[2]);
    ASSERT_TRUE(window);
    auto *frame = static_cast<QMainWindow *>(window.get());
    QMenuBar *bar = frame->menuBar();
    ASSERT_NE(bar, nullptr);

    QSet<QAction *> inMenus;
    QSet<QChar> letters;
    std::function<void(QMenu *)> collect = [&](QMenu *menu) {
        for (QAction *a : menu->actions()) {
            inMenus.insert(a);
            if (a->menu())
                collect(a->menu());
        }
    };
    for (QAction *top : bar->actions()) {
        if (!top->menu())
            continue;
        const QString title = top->text();
        const qsizetype amp = title.indexOf(QLatin1Char('&'));
        ASSERT_GE(amp, 0) << qPrintable(title) << " has no access key";
        const QChar letter = title.at(amp + 1).toLower();
        EXPECT_FALSE(letters.contains(letter)) << qPrintable(title) << " shares its access key";
        letters.insert(letter);
        collect(top->menu());
    }
    for (QToolBar *toolbar : frame->findChildren<QToolBar *>()) {
        for (QAction *a : toolbar->actions()) {
            if (a->isSeparator() || a->text().isEmpty())
                continue;
            EXPECT_TRUE(inMenus.contains(a) || !a->shortcut().isEmpty())
                << qPrintable(a->text()) << " is on a toolbar only";
        }
    }
}

// The zone view's lists open with Return what they open with a double-click:
// a column's questions, a question's page, an expert's profile.
TEST_F(Accessibility, ReturnOpensWhatADoubleClickOpens)
{
    std::unique_ptr<QWidget> window = show(windowOpeners()[2]);
    ASSERT_TRUE(window);
    ui::ZoneViewWidget *view = softwareZone(window.get());
    ASSERT_NE(view, nullptr);

    QTreeWidgetItem *column = nullptr;
    for (QTreeWidgetItemIterator it(view->tree()); *it && !column; ++it) {
        if (ui::CZoneTreeCtrl::itemData(*it) == 1)
            column = *it;
    }
    ASSERT_NE(column, nullptr);
    view->tree()->setFocus();
    view->tree()->setCurrentItem(column);
    QTest::keyClick(view->tree(), Qt::Key_Return);
    ASSERT_EQ(view->frontPane(), view->postList());
    ASSERT_GT(view->postList()->topLevelItemCount(), 0);

    view->postList()->setFocus();
    view->postList()->setCurrentItem(view->postList()->topLevelItem(0));
    QTest::keyClick(view->postList(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(view->frontPane(), static_cast<QWidget *>(view->browser()));

    ASSERT_GT(view->expertList()->count(), 0);
    int opened = 0;
    view->setExpertDialogRunner([&opened](ui::CExpertInfo &) { ++opened; });
    view->expertList()->setCurrentRow(0);
    QTest::keyClick(view->expertList(), Qt::Key_Return);
    EXPECT_EQ(opened, 1);
    // Return with a modifier is left to the list.
    QTest::keyClick(view->expertList(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(opened, 1);
}

} // namespace
