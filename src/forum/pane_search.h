// CPaneSearch: the rules of the "Search" pane. Three searches over the
// community's questions: by question ID, by title words within one column,
// and by the asker's user name. The pane never calls the service itself: it
// checks its input and has the zone view of the current zone list page 1 in
// the matching list mode; the results then page and open like any other list.
//
// The "Category:" and "Zone:" selectors are pick-only lists, so a title search
// always names a column from the catalogue.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QObject;

namespace quillora::presence {
class ZoneViews;
}

namespace quillora::platform {
class MessageBoxes;
}

namespace quillora::forum {

// The column argument of a search by author (the service wants a forum ID
// with it but does not narrow the search by it).
inline constexpr int kAuthorSearchForumId = 1;

// Messages of the pane's input checks.
QString invalidQuestionIdMessage(); // "You have entered an invalid Question ID !"
QString missingUserNameMessage();   // "You must provide a member username !"

// The question ID typed in the pane: leading digits as a decimal number;
// empty or non-numeric text, and digits beyond the int range (no question
// can carry such an ID), give 0.
int questionIdFromText(const QString &text);

// What the rules need of the pane's window.
class PaneSearchView {
  public:
    virtual ~PaneSearchView() = default;
    virtual QString questionIdText() const = 0;
    virtual QString keywordText() const = 0;
    virtual QString userNameText() const = 0;
    // Replaces a selector's items and selects one of them.
    virtual void setCategoryItems(const QStringList &labels, int selected) = 0;
    virtual void setColumnItems(const QStringList &labels, int selected) = 0;
    // "Question ID:" gets the focus with its whole text selected and in view.
    virtual void focusQuestionIdSelectAll() = 0;
    // Owner of the pane's message boxes.
    virtual QObject *messageOwner() = 0;
};

class CPaneSearch {
  public:
    // The zone views are asked for each time they are needed: the frame may
    // get its zone views after the pane is made.
    using ZoneViewsSource = std::function<presence::ZoneViews &()>;

    CPaneSearch(PaneSearchView &view, platform::MessageBoxes &messages, ZoneViewsSource zones);

    // The pane is shown: the first time only, "Category:" gets the eight
    // labels with the first selected and "Zone:" its columns.
    void onFirstShow();
    bool isCreated() const { return m_created; }

    // The current zone changed: its first category is selected and "Zone:"
    // refilled. Zones outside 0..3 change nothing.
    void followZone(int zoneIndex);

    // The member picked another category or column.
    void onCategoryChanged(int categoryIndex);
    void onColumnChanged(int position);

    int categoryIndex() const { return m_category; }
    int columnPosition() const { return m_position; }
    // The column the title search would use (0 before the first fill).
    int selectedColumnId() const;

    // The three "Start Search" buttons. True when the zone view was asked to
    // list; false after an input message (or, for the title search, when no
    // column is picked).
    bool onSearchById();
    bool onSearchByTitle();
    bool onSearchByAuthor();

  private:
    void ensureCreated();
    void fillColumns(int categoryIndex);
    void showMessage(const QString &text);

    PaneSearchView &m_view;
    platform::MessageBoxes &m_messages;
    ZoneViewsSource m_zones;
    bool m_created = false;
    int m_category = -1;
    int m_position = -1;
};

} // namespace quillora::forum
