// The "Post Question" dialog: the zone line of the current column at the top,
// "Title:", "Points:" with its "(40 - 200)" hint, "Question:", and the
// buttons "Submit" (default) and "Cancel". All rules are in forum::CAddPostDlg;
// this widget shows and forwards.
#pragma once

#include "platform/message_box.h"

#include "add_post_dlg.h"

#include <QDialog>

#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillora::ui {

class AddPostDialog : public QDialog, public forum::AddPostView {
    Q_OBJECT
  public:
    AddPostDialog(const service::SiteAddress &site, platform::MessageBoxes &messages,
                  const forum::PostingContext &context, QWidget *parent = nullptr);
    ~AddPostDialog() override;

    forum::CAddPostDlg &rules() { return *m_rules; }

    QLabel *zoneLabel() const { return m_zone; }
    QLineEdit *titleEdit() const { return m_title; }
    QLineEdit *pointsEdit() const { return m_points; }
    QPlainTextEdit *questionEdit() const { return m_question; }
    QPushButton *submitButton() const { return m_submit; }
    QPushButton *cancelButton() const { return m_cancel; }

    // forum::AddPostView
    void setZoneLine(const QString &text) override;
    QString titleText() const override;
    void setTitleText(const QString &text) override;
    QString pointsText() const override;
    void setPointsText(const QString &text) override;
    QString questionText() const override;
    void setQuestionText(const QString &text) override;
    void focusTitle() override;
    void focusQuestion() override;
    void selectPoints() override;
    void endDialog(bool accepted) override;
    QObject *messageOwner() override { return this; }

    void reject() override;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void setFocusTarget(QWidget *target, bool selectAll);
    void applyFocus();

    QLabel *m_zone = nullptr;
    QLineEdit *m_title = nullptr;
    QLineEdit *m_points = nullptr;
    QPlainTextEdit *m_question = nullptr;
    QLabel *m_questionCount = nullptr;
    QPushButton *m_submit = nullptr;
    QPushButton *m_cancel = nullptr;
    QWidget *m_focusTarget = nullptr;
    bool m_focusSelectAll = false;
    std::unique_ptr<forum::CAddPostDlg> m_rules;
};

// Opens "Post Question" modally over `parent`; true when the question was stored.
bool execAddPostDialog(const service::SiteAddress &site, platform::MessageBoxes &messages,
                       const forum::PostingContext &context, QWidget *parent);

} // namespace quillora::ui
