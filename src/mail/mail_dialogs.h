// The rules of the two mail dialogs. CEmailDialog ("Email This Question To
// A Friend") mails the selected question to a friend; CFeedbackDlg ("Post
// Feedback") mails the member's comments to the webmaster. Both check their
// fields one at a time, send through one SMTP connection per attempt and end
// the dialog: accepted when the mail went out, cancelled otherwise. The
// widgets show and forward; every message, focus change and end goes through
// the view interfaces and MessageBoxes, so the rules run without a window.
#pragma once

#include "mail_message.h"
#include "mail_settings.h"
#include "site_config.h"

#include <QObject>
#include <QString>

namespace quillora::platform {
class MessageBoxes;
} // namespace quillora::platform

namespace quillora::mail {

// The message charset both dialogs declare (UTF-8 when the text does not fit it).
inline constexpr char kDialogCharset[] = "gb2312";

// Sends `message` over a fresh connection. On failure shows the error box
// built from `connectFailed` (with the error code) or `sendFailed` (with the
// server's last response, cut by shownResponse) and returns false. The
// connection says QUIT before this returns.
bool sendMail(const CMailMessage &message, const MailSettings &settings, platform::MessageBoxes &messages,
              QObject *owner, const QString &connectFailed, const QString &sendFailed);

// A server's reply as an error box shows it: at most kShownResponseChars
// characters (a reply may hold up to 1 MiB of the server's text), then "...".
inline constexpr int kShownResponseChars = 300;
QString shownResponse(const QString &response);

// True when `text` (the box's text, trimmed) is empty or one plain address.
bool isBlankOrValidAddress(const QString &text);

enum class EmailField { Recipient, MailTitle, SenderName, SenderEmail, Message };

class EmailView {
  public:
    virtual ~EmailView() = default;
    virtual void setQuestionTitle(const QString &title) = 0;
    virtual QString fieldText(EmailField field) const = 0;
    virtual void focusField(EmailField field) = 0;
    // Wait cursor on, "Send" and "Cancel" disabled (or back).
    virtual void setBusy(bool busy) = 0;
    virtual void endDialog(bool accepted) = 0;
    virtual QObject *messageOwner() = 0;
};

class CEmailDialog {
  public:
    CEmailDialog(const service::SiteAddress &site, const MailSettings &settings, EmailView &view,
                 platform::MessageBoxes &messages, int questionId);

    // Loads the question's title (GetForumPostByID) and focuses the recipient box.
    void onInitDialog();
    // "Send": the checks, then the mail; ends the dialog once a mail was tried.
    void onSend();
    void onCancel();

    int questionId() const { return m_questionId; }
    const QString &questionTitle() const { return m_title; }

    // The mail as "Send" composes it from the fields.
    CMailMessage composeMessage(const QString &recipients, const QString &mailTitle, const QString &senderName,
                                const QString &senderEmail, const QString &message) const;
    // The friend mail's text around the personal message.
    QString friendMailText(const QString &senderName, const QString &message) const;

    static QString captionText() { return QStringLiteral("Email This Question To A Friend"); }
    // Empty for a field that passes.
    static QString emptyFieldMessage(EmailField field);
    static QString badRecipientMessage() { return QStringLiteral("The recipient Email Address is not valid !"); }
    static QString badSenderEmailMessage() { return QStringLiteral("Your Email Address is not valid !"); }

  private:
    service::SiteAddress m_site;
    MailSettings m_settings;
    EmailView &m_view;
    platform::MessageBoxes &m_messages;
    int m_questionId;
    QString m_title;
};

enum class FeedbackField { Email, Comments };

class FeedbackView {
  public:
    virtual ~FeedbackView() = default;
    virtual QString fieldText(FeedbackField field) const = 0;
    virtual void focusField(FeedbackField field) = 0;
    // Wait cursor on, "Submit" and "Cancel" disabled (or back).
    virtual void setBusy(bool busy) = 0;
    virtual void endDialog(bool accepted) = 0;
    virtual QObject *messageOwner() = 0;
};

class CFeedbackDlg {
  public:
    CFeedbackDlg(const MailSettings &settings, FeedbackView &view, platform::MessageBoxes &messages,
                 const QString &userName);

    void onInitDialog();
    // "Submit": the two checks, then the mail; ends the dialog once a mail was tried.
    void onSubmit();
    void onCancel();

    CMailMessage composeMessage(const QString &email, const QString &comments) const;

    static QString captionText() { return QStringLiteral("Post Feedback"); }
    static QString badEmailMessage() { return QStringLiteral("Your email address is not valid!"); }
    static QString introText()
    {
        return QStringLiteral("Tell us what you think about Quillora 2007 3.5 Version, or report a problem you "
                              "encountered while working with it. We will give you 100 - 1000 points as reward.");
    }

  private:
    MailSettings m_settings;
    FeedbackView &m_view;
    platform::MessageBoxes &m_messages;
    QString m_userName;
};

} // namespace quillora::mail
