// The "Post Solution" dialog: "Zone:" and "Question:" read-only, "Solution:"
// to type in, and the buttons "Submit" (default) and "Cancel". All rules are
// in forum::CAddReplyDlg; this widget shows and forwards.
#pragma once

#include "platform/message_box.h"

#include "add_reply_dlg.h"

#include <QDialog>

#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillora::ui {

class AddReplyDialog : public QDialog, public forum::AddReplyView {
    Q_OBJECT
  public:
    AddReplyDialog(const service::SiteAddress &site, platform::MessageBoxes &messages,
                   const forum::PostingContext &context, QWidget *parent = nullptr);
    ~AddReplyDialog() override;

    forum::CAddReplyDlg &rules() { return *m_rules; }

    QLineEdit *zoneEdit() const { return m_zone; }
    QLineEdit *questionEdit() const { return m_question; }
    QPlainTextEdit *solutionEdit() const { return m_solution; }
    QPushButton *submitButton() const { return m_submit; }
    QPushButton *cancelButton() const { return m_cancel; }

    // forum::AddReplyView
    void setZoneText(const QString &text) override;
    void setQuestionTitle(const QString &text) override;
    QString solutionText() const override;
    void setSolutionText(const QString &text) override;
    void focusSolution() override;
    void endDialog(bool accepted) override;
    QObject *messageOwner() override { return this; }

    void reject() override;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    QLineEdit *m_zone = nullptr;
    QLineEdit *m_question = nullptr;
    QPlainTextEdit *m_solution = nullptr;
    QLabel *m_solutionCount = nullptr;
    QPushButton *m_submit = nullptr;
    QPushButton *m_cancel = nullptr;
    bool m_focusSolution = false;
    std::unique_ptr<forum::CAddReplyDlg> m_rules;
};

// Opens "Post Solution" modally over `parent`; true when the solution was stored.
bool execAddReplyDialog(const service::SiteAddress &site, platform::MessageBoxes &messages,
                        const forum::PostingContext &context, QWidget *parent);

} // namespace quillora::ui
