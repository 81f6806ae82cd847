// The "Search" pane's rules: input checks and their messages, the selectors
// following the zone, and the list calls the three searches make on the zone
// view of the current zone.
#include "main_frame.h"
#include "pane_search.h"
#include "platform/message_box.h"
#include "zone_catalogue.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quillora;
using forum::CPaneSearch;

namespace {

struct ListCall {
    int zoneIndex;
    int listMode;
    int key;
    QString keyword;
};

// Zone views that record what they were asked to list.
class RecordingZoneViews : public presence::ZoneViews {
  public:
    int currentZoneIndex() const override { return current; }
    void listFirstPage(int zoneIndex, int listMode, int key, const QString &keyword) override
    {
        calls.push_back({zoneIndex, listMode, key, keyword});
    }
    int current = 0;
    std::vector<ListCall> calls;
};

class FakePaneView : public forum::PaneSearchView {
  public:
    QString questionIdText() const override { return questionId; }
    QString keywordText() const override { return keyword; }
    QString userNameText() const override { return userName; }
    void setCategoryItems(const QStringList &labels, int selected) override
    {
        categories = labels;
        categorySelected = selected;
        ++categoryFills;
    }
    void setColumnItems(const QStringList &labels, int selected) override
    {
        columns = labels;
        columnSelected = selected;
    }
    void focusQuestionIdSelectAll() override { ++questionIdFocused; }
    QObject *messageOwner() override { return &owner; }

    QString questionId, keyword, userName;
    QStringList categories, columns;
    int categorySelected = -1, columnSelected = -1, categoryFills = 0, questionIdFocused = 0;
    QObject owner;
};

class PaneSearchTest : public ::testing::Test {
  protected:
    RecordingZoneViews zones;
    FakePaneView view;
    platform::RecordingMessageBoxes messages;
    CPaneSearch pane{view, messages, [this]() -> presence::ZoneViews & { return zones; }};
};

TEST(QuestionIdText, LeadingDigitsAndEverythingElseIsZero)
{
    EXPECT_EQ(forum::questionIdFromText(QStringLiteral("42")), 42);
    EXPECT_EQ(forum::questionIdFromText(QStringLiteral(" 7x")), 7);
    EXPECT_EQ(forum::questionIdFromText(QStringLiteral("2147483647")), 2147483647);
    EXPECT_EQ(forum::questionIdFromText(QString()), 0);
    EXPECT_EQ(forum::questionIdFromText(QStringLiteral("abc")), 0);
    EXPECT_EQ(forum::questionIdFromText(QStringLiteral("-3")), 0);
    // Regression: digits beyond the int range must not turn into some other ID.
    EXPECT_EQ(forum::questionIdFromText(QStringLiteral("2147483648")), 0);
    EXPECT_EQ(forum::questionIdFromText(QStringLiteral("99999999999999999999")), 0);
}

TEST_F(PaneSearchTest, InvalidQuestionIdShowsMessageFocusesFieldAndListsNothing)
{
    for (const char *text : {"0", "", "   ", "abc", "-12", "4294967338"}) {
        SCOPED_TRACE(text);
        messages.shown.clear();
        view.questionIdFocused = 0;
        view.questionId = QString::fromUtf8(text);
        EXPECT_FALSE(pane.onSearchById());
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, QStringLiteral("You have entered an invalid Question ID !"));
        EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Quillora 2007"));
        EXPECT_EQ(messages.shown[0].owner, &view.owner);
        EXPECT_EQ(view.questionIdFocused, 1);
    }
    EXPECT_TRUE(zones.calls.empty());
}

TEST_F(PaneSearchTest, EachSearchListsPageOneInItsModeOnTheCurrentZone)
{
    pane.onFirstShow();
    zones.current = 3;
    view.questionId = QStringLiteral("1234");
    ASSERT_TRUE(pane.onSearchById());

    // The title search takes the picked column (here one of another zone)
    // and the keyword exactly as typed, blanks and all.
    pane.onCategoryChanged(1);
    pane.onColumnChanged(2);
    view.keyword = QStringLiteral("  boot loader ");
    ASSERT_TRUE(pane.onSearchByTitle());
    view.keyword.clear();
    ASSERT_TRUE(pane.onSearchByTitle());

    zones.current = 1;
    view.userName = QStringLiteral("  alice\t");
    ASSERT_TRUE(pane.onSearchByAuthor());

    ASSERT_EQ(zones.calls.size(), 4u);
    EXPECT_EQ(zones.calls[0].zoneIndex, 3);
    EXPECT_EQ(zones.calls[0].listMode, 6);
    EXPECT_EQ(zones.calls[0].key, 1234);
    EXPECT_TRUE(zones.calls[0].keyword.isEmpty());

    EXPECT_EQ(zones.calls[1].zoneIndex, 3);
    EXPECT_EQ(zones.calls[1].listMode, 7);
    EXPECT_EQ(zones.calls[1].key, 5); // third column of "Application software"
    EXPECT_EQ(zones.calls[1].keyword, QStringLiteral("  boot loader "));
    EXPECT_EQ(zones.calls[2].listMode, 7);
    EXPECT_EQ(zones.calls[2].keyword, QString());

    EXPECT_EQ(zones.calls[3].zoneIndex, 1);
    EXPECT_EQ(zones.calls[3].listMode, 8);
    EXPECT_EQ(zones.calls[3].key, 1);
    EXPECT_EQ(zones.calls[3].keyword, QStringLiteral("alice"));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PaneSearchTest, BlankUserNameIsRefused)
{
    for (const char *text : {"", "   ", "\t \n"}) {
        SCOPED_TRACE(text);
        messages.shown.clear();
        view.userName = QString::fromUtf8(text);
        EXPECT_FALSE(pane.onSearchByAuthor());
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, QStringLiteral("You must provide a member username !"));
        EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Quillora 2007"));
    }
    EXPECT_TRUE(zones.calls.empty());
}

TEST_F(PaneSearchTest, FirstShowFillsOnceAndCategoryChangeRefillsColumns)
{
    pane.onFirstShow();
    EXPECT_EQ(view.categories, forum::searchCategoryLabels());
    EXPECT_EQ(view.categorySelected, 0);
    EXPECT_EQ(view.columns, (QStringList{QStringLiteral("Windows"), QStringLiteral("Linux/Unix")}));
    EXPECT_EQ(view.columnSelected, 0);
    EXPECT_EQ(pane.selectedColumnId(), 1);

    pane.onCategoryChanged(5);
    EXPECT_EQ(view.columns, (QStringList{QStringLiteral("Role-Playing Games"), QStringLiteral("Real-Time Strategy"),
                                         QStringLiteral("Online Shooting"), QStringLiteral("Sports & Racing"),
                                         QStringLiteral("Others Games")}));
    EXPECT_EQ(view.columnSelected, 0);
    EXPECT_EQ(pane.selectedColumnId(), 26);
    pane.onColumnChanged(4);
    EXPECT_EQ(pane.selectedColumnId(), 30);

    // Showing the pane again keeps the member's choice.
    pane.onFirstShow();
    EXPECT_EQ(view.categoryFills, 1);
    EXPECT_EQ(pane.categoryIndex(), 5);
    EXPECT_EQ(pane.selectedColumnId(), 30);

    // Out-of-range picks change nothing.
    pane.onColumnChanged(5);
    pane.onColumnChanged(-1);
    pane.onCategoryChanged(8);
    EXPECT_EQ(pane.selectedColumnId(), 30);
}

TEST_F(PaneSearchTest, FollowingTheZoneSelectsItsFirstCategory)
{
    const int expected[] = {0, 2, 4, 6};
    for (int zone = 0; zone < 4; ++zone) {
        pane.followZone(zone);
        EXPECT_EQ(view.categorySelected, expected[zone]);
        EXPECT_EQ(pane.categoryIndex(), expected[zone]);
        EXPECT_EQ(view.columns, forum::searchColumnLabels(expected[zone]));
        EXPECT_EQ(pane.selectedColumnId(), forum::columnsOfCategory(expected[zone]).value(0));
    }
    pane.followZone(2);
    EXPECT_EQ(view.columns.size(), 6); // "Single Game" has six columns
    pane.followZone(4);
    pane.followZone(-1);
    EXPECT_EQ(pane.categoryIndex(), 4);
}

TEST_F(PaneSearchTest, ZoneFollowedBeforeFirstShowIsNotUndoneByIt)
{
    pane.followZone(3);
    pane.onFirstShow();
    EXPECT_EQ(pane.categoryIndex(), 6);
    EXPECT_EQ(view.categorySelected, 6);
    EXPECT_EQ(pane.selectedColumnId(), 31);
}

TEST_F(PaneSearchTest, TitleSearchBeforeAnyFillListsNothing)
{
    view.keyword = QStringLiteral("x");
    EXPECT_FALSE(pane.onSearchByTitle());
    EXPECT_TRUE(zones.calls.empty());
}

} // namespace
