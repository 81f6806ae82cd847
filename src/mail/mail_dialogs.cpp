#include "mail_dialogs.h"

#include "result_document.h"
#include "varnel_services.h"

#include "platform/message_box.h"

#include <algorithm>

namespace quillora::mail {

namespace {

// Fields of the question document read at most, and the title's position.
constexpr int kQuestionFields = 23;
constexpr int kQuestionTitleField = 11;

void warn(platform::MessageBoxes &messages, const QString &text, QObject *owner)
{
    messages.ok(text, platform::programTitle(), platform::MessageIcon::Warning, owner);
}

void error(platform::MessageBoxes &messages, const QString &text, QObject *owner)
{
    messages.ok(text, platform::programTitle(), platform::MessageIcon::Error, owner);
}

} // namespace

QString shownResponse(const QString &response)
{
    if (response.size() <= kShownResponseChars)
        return response;
    qsizetype cut = kShownResponseChars;
    if (response[cut - 1].isHighSurrogate())
        --cut;
    return response.left(cut) + QStringLiteral("...");
}

bool isBlankOrValidAddress(const QString &text)
{
    const QString address = text.trimmed();
    return address.isEmpty() || mime::isValidAddress(address);
}

bool sendMail(const CMailMessage &message, const MailSettings &settings, platform::MessageBoxes &messages,
              QObject *owner, const QString &connectFailed, const QString &sendFailed)
{
    CSMTPConnection connection(&messages, owner);
    configureConnection(connection, settings);
    if (!connection.connect(settings.host, settings.user, settings.password, settings.port)) {
        error(messages, connectFailed.arg(connection.lastError()), owner);
        return false;
    }
    if (!connection.sendMessage(message)) {
        error(messages, sendFailed.arg(shownResponse(connection.lastResponse())), owner);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// CEmailDialog

CEmailDialog::CEmailDialog(const service::SiteAddress &site, const MailSettings &settings, EmailView &view,
                           platform::MessageBoxes &messages, int questionId)
    : m_site(site), m_settings(settings), m_view(view), m_messages(messages), m_questionId(questionId)
{
}

void CEmailDialog::onInitDialog()
{
    QString document;
    service::CVarnelServices proxy(m_site);
    proxy.useServiceAccount(service::Op::GetForumPostByID);
    const bool called = service::succeeded(proxy.GetForumPostByID(m_questionId, &document));
    // A failed call leaves no document, which does not load either.
    const service::DocumentRecords read =
        service::readRecords(called ? document : QString(), service::kForumPostTag, 1, kQuestionFields);
    if (read.status != service::DocumentStatus::Ok) {
        error(m_messages, service::documentStatusMessage(read.status), m_view.messageOwner());
    } else if (!read.records.empty()) {
        service::takeField(read.records.front(), kQuestionTitleField, m_title);
    }
    m_view.setQuestionTitle(m_title);
    m_view.focusField(EmailField::Recipient);
}

QString CEmailDialog::emptyFieldMessage(EmailField field)
{
    switch (field) {
    case EmailField::Recipient:
        return QStringLiteral("You must specify a recipient Email Address !");
    case EmailField::MailTitle:
        return QStringLiteral("You must enter a title to be sent !");
    case EmailField::SenderName:
        return QStringLiteral("You must specify your name!");
    case EmailField::SenderEmail:
        return QStringLiteral("You must specify your email address !");
    case EmailField::Message:
        return QStringLiteral("You must enter a message to be sent !");
    }
    return {};
}

QString CEmailDialog::friendMailText(const QString &senderName, const QString &message) const
{
    const QString rule(92, QLatin1Char('_'));
    QString text;
    text += QStringLiteral("A Friend Sent You a Question!\r\n\r\n");
    text += senderName + QStringLiteral(" has sent you the following question posted on Quillora 2007:\r\n");
    text += QStringLiteral("Personal Message from ") + senderName + QStringLiteral(":\r\n");
    text += rule + QStringLiteral("\r\n");
    text += message + QStringLiteral("\r\n");
    text += rule + QStringLiteral("\r\n");
    text += QStringLiteral("Question ID  : ") + QString::number(m_questionId) + QStringLiteral("\r\n");
    text += QStringLiteral("Question Title: ") + m_title + QStringLiteral("\r\n\r\n");
    text += QStringLiteral("Please run Quillora 2007 to view the details of the question.\r\n");
    text += QStringLiteral("If you have not installed Quillora 2005, please click the link to download: ");
    text += service::siteUrl(m_site, QStringLiteral("/Quillora/download/Quillora.exe"));
    return text;
}

CMailMessage CEmailDialog::composeMessage(const QString &recipients, const QString &mailTitle,
                                          const QString &senderName, const QString &senderEmail,
                                          const QString &message) const
{
    CMailMessage mail;
    mail.setCharset(QString::fromLatin1(kDialogCharset));
    mail.setMime(false);
    mail.addRecipients(recipients, int(RecipientKind::To));
    mail.setSubject(mailTitle);
    mail.addTextBody(friendMailText(senderName, message));
    mail.setFrom({senderName, m_settings.sender});
    mail.setReplyTo({QString(), senderEmail});
    return mail;
}

void CEmailDialog::onSend()
{
    static constexpr EmailField kOrder[] = {EmailField::Recipient, EmailField::MailTitle, EmailField::SenderName,
                                            EmailField::SenderEmail, EmailField::Message};
    for (const EmailField field : kOrder) {
        if (m_view.fieldText(field).isEmpty()) {
            warn(m_messages, emptyFieldMessage(field), m_view.messageOwner());
            m_view.focusField(field);
            return;
        }
    }
    // A recipient text that names no address at all, or one that is not an
    // address, would only be refused after the connection was made.
    QList<CMailAddress> recipients;
    const bool parsed = mime::parseRecipients(m_view.fieldText(EmailField::Recipient), &recipients);
    if (!parsed || recipients.isEmpty() ||
        std::any_of(recipients.cbegin(), recipients.cend(),
                    [](const CMailAddress &a) { return !mime::isValidAddress(a.address); })) {
        warn(m_messages, badRecipientMessage(), m_view.messageOwner());
        m_view.focusField(EmailField::Recipient);
        return;
    }
    // The sender's own address becomes the Reply-To; blanks leave it out.
    if (!isBlankOrValidAddress(m_view.fieldText(EmailField::SenderEmail))) {
        warn(m_messages, badSenderEmailMessage(), m_view.messageOwner());
        m_view.focusField(EmailField::SenderEmail);
        return;
    }

    m_view.setBusy(true);
    const CMailMessage mail =
        composeMessage(m_view.fieldText(EmailField::Recipient), m_view.fieldText(EmailField::MailTitle),
                       m_view.fieldText(EmailField::SenderName), m_view.fieldText(EmailField::SenderEmail),
                       m_view.fieldText(EmailField::Message));
    const bool sent = sendMail(mail, m_settings, m_messages, m_view.messageOwner(),
                               QStringLiteral("Failed to connect to mailserver!, Error:%1"),
                               QStringLiteral("Failed to send email !\nResponse:%1"));
    m_view.setBusy(false);
    m_view.endDialog(sent);
}

void CEmailDialog::onCancel()
{
    m_view.endDialog(false);
}

// ---------------------------------------------------------------------------
// CFeedbackDlg

CFeedbackDlg::CFeedbackDlg(const MailSettings &settings, FeedbackView &view, platform::MessageBoxes &messages,
                           const QString &userName)
    : m_settings(settings), m_view(view), m_messages(messages), m_userName(userName)
{
}

void CFeedbackDlg::onInitDialog()
{
    m_view.focusField(FeedbackField::Email);
}

CMailMessage CFeedbackDlg::composeMessage(const QString &email, const QString &comments) const
{
    CMailMessage mail;
    mail.setCharset(QString::fromLatin1(kDialogCharset));
    mail.setMime(false);
    mail.addRecipients(m_settings.webmaster, int(RecipientKind::To));
    mail.setSubject(QStringLiteral("This is a feedback from ") + m_userName);
    mail.addTextBody(comments);
    mail.setFrom({m_userName, m_settings.sender});
    mail.setReplyTo({QString(), email});
    return mail;
}

void CFeedbackDlg::onSubmit()
{
    const QString email = m_view.fieldText(FeedbackField::Email);
    const QString comments = m_view.fieldText(FeedbackField::Comments);
    if (email.isEmpty()) {
        warn(m_messages, QStringLiteral("Your email address can't be blank!"), m_view.messageOwner());
        m_view.focusField(FeedbackField::Email);
        return;
    }
    if (comments.isEmpty()) {
        warn(m_messages, QStringLiteral("The content of feedback can't be blank!"), m_view.messageOwner());
        m_view.focusField(FeedbackField::Comments);
        return;
    }
    if (!isBlankOrValidAddress(email)) {
        warn(m_messages, badEmailMessage(), m_view.messageOwner());
        m_view.focusField(FeedbackField::Email);
        return;
    }
    m_view.setBusy(true);
    const bool sent =
        sendMail(composeMessage(email, comments), m_settings, m_messages, m_view.messageOwner(),
                 QStringLiteral("Email server failure!, Error:%1"), QStringLiteral("Send email failure!\nResponse:%1"));
    m_view.setBusy(false);
    m_view.endDialog(sent);
}

void CFeedbackDlg::onCancel()
{
    m_view.endDialog(false);
}

} // namespace quillora::mail
