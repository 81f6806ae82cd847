// The two mail dialogs' windows. "Email This Question To A Friend": the
// question's title, the recipient, mail title, sender name and address and a
// personal message, "Send" and "Cancel". "Post Feedback": the invitation,
// the member's e-mail address and the comments, "Submit" and "Cancel". All
// rules are in mail::CEmailDialog and mail::CFeedbackDlg; these widgets show
// and forward. In the multi-line boxes Return makes a new line and Tab moves
// on, as in every dialog of the program.
#pragma once

#include "platform/message_box.h"

#include "mail_dialogs.h"

#include <QDialog>

#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillora::ui {

class MainFrameWindow;

class EmailDialog : public QDialog, public mail::EmailView {
    Q_OBJECT
  public:
    EmailDialog(const service::SiteAddress &site, const mail::MailSettings &settings, platform::MessageBoxes &messages,
                int questionId, QWidget *parent = nullptr);
    ~EmailDialog() override;

    mail::CEmailDialog &rules() { return *m_rules; }
    QLabel *titleLabel() const { return m_title; }
    QLineEdit *edit(mail::EmailField field) const;
    QPlainTextEdit *messageEdit() const { return m_message; }
    QPushButton *sendButton() const { return m_send; }
    QPushButton *cancelButton() const { return m_cancel; }

    // mail::EmailView
    void setQuestionTitle(const QString &title) override;
    QString fieldText(mail::EmailField field) const override;
    void focusField(mail::EmailField field) override;
    void setBusy(bool busy) override;
    void endDialog(bool accepted) override;
    QObject *messageOwner() override { return this; }

    void reject() override;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    QWidget *widgetOf(mail::EmailField field) const;

    QLabel *m_title = nullptr;
    QLineEdit *m_recipient = nullptr;
    QLineEdit *m_mailTitle = nullptr;
    QLineEdit *m_senderName = nullptr;
    QLineEdit *m_senderEmail = nullptr;
    QPlainTextEdit *m_message = nullptr;
    QPushButton *m_send = nullptr;
    QPushButton *m_cancel = nullptr;
    QWidget *m_focusTarget = nullptr;
    bool m_busy = false;
    std::unique_ptr<mail::CEmailDialog> m_rules;
};

class FeedbackDialog : public QDialog, public mail::FeedbackView {
    Q_OBJECT
  public:
    FeedbackDialog(const mail::MailSettings &settings, platform::MessageBoxes &messages, const QString &userName,
                   QWidget *parent = nullptr);
    ~FeedbackDialog() override;

    mail::CFeedbackDlg &rules() { return *m_rules; }
    QLineEdit *emailEdit() const { return m_email; }
    QPlainTextEdit *commentsEdit() const { return m_comments; }
    QPushButton *submitButton() const { return m_submit; }
    QPushButton *cancelButton() const { return m_cancel; }

    // mail::FeedbackView
    QString fieldText(mail::FeedbackField field) const override;
    void focusField(mail::FeedbackField field) override;
    void setBusy(bool busy) override;
    void endDialog(bool accepted) override;
    QObject *messageOwner() override { return this; }

    void reject() override;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    QLineEdit *m_email = nullptr;
    QPlainTextEdit *m_comments = nullptr;
    QPushButton *m_submit = nullptr;
    QPushButton *m_cancel = nullptr;
    QWidget *m_focusTarget = nullptr;
    bool m_busy = false;
    std::unique_ptr<mail::CFeedbackDlg> m_rules;
};

// Opens each dialog modally over `parent`; true when the mail was sent.
bool execEmailDialog(const service::SiteAddress &site, const mail::MailSettings &settings,
                     platform::MessageBoxes &messages, int questionId, QWidget *parent);
bool execFeedbackDialog(const mail::MailSettings &settings, platform::MessageBoxes &messages, const QString &userName,
                        QWidget *parent);

// Sets the main frame's "Send to Friend" and "Feedback" dialogs (mail account
// from the build and QUILLORA_SMTP) and enables the two commands.
void installMailDialogs(MainFrameWindow &frame, platform::MessageBoxes &messages);

} // namespace quillora::ui
