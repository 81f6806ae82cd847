// The body of the "Search" docking pane: three groups ("Search by Question
// ID", "Search by Question Title", "Search by Asker's Username"), each with
// its fields and a right-aligned "Start Search" button. Edits and selectors
// stretch with the pane's width. All rules are in forum::CPaneSearch; this
// widget shows and forwards.
#pragma once

#include "platform/message_box.h"

#include "pane_search.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace quillora::ui {

class MainFrameWindow;

class PaneSearchWidget : public QWidget, public forum::PaneSearchView {
    Q_OBJECT
  public:
    PaneSearchWidget(platform::MessageBoxes &messages, forum::CPaneSearch::ZoneViewsSource zones,
                     QWidget *parent = nullptr);
    ~PaneSearchWidget() override;

    forum::CPaneSearch &rules() { return *m_rules; }

    // The current zone changed.
    void followZone(int zoneIndex);

    QLineEdit *questionIdEdit() const { return m_questionId; }
    QLineEdit *keywordEdit() const { return m_keyword; }
    QLineEdit *userNameEdit() const { return m_userName; }
    QComboBox *categorySelector() const { return m_category; }
    QComboBox *columnSelector() const { return m_column; }
    QPushButton *searchByIdButton() const { return m_byId; }
    QPushButton *searchByTitleButton() const { return m_byTitle; }
    QPushButton *searchByAuthorButton() const { return m_byAuthor; }

    // forum::PaneSearchView
    QString questionIdText() const override;
    QString keywordText() const override;
    QString userNameText() const override;
    void setCategoryItems(const QStringList &labels, int selected) override;
    void setColumnItems(const QStringList &labels, int selected) override;
    void focusQuestionIdSelectAll() override;
    QObject *messageOwner() override { return this; }

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void fill(QComboBox *selector, const QStringList &labels, int selected);

    QLineEdit *m_questionId = nullptr;
    QLineEdit *m_keyword = nullptr;
    QLineEdit *m_userName = nullptr;
    QComboBox *m_category = nullptr;
    QComboBox *m_column = nullptr;
    QPushButton *m_byId = nullptr;
    QPushButton *m_byTitle = nullptr;
    QPushButton *m_byAuthor = nullptr;
    bool m_filling = false; // selector changes made by the rules are not forwarded back
    std::unique_ptr<forum::CPaneSearch> m_rules;
};

// Puts a search pane into the frame's "Search" dock: its searches go to the
// frame's zone views, and each zone change of the frame shows the pane and
// makes it follow. Null when the frame was not created.
PaneSearchWidget *installSearchPane(MainFrameWindow &frame, platform::MessageBoxes &messages);

} // namespace quillora::ui
