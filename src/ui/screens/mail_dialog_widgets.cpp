#include "mail_dialog_widgets.h"

#include "mail_dialogs.h"

#include "dialog_form.h"
#include "main_frame.h"
#include "main_frame_window.h"
#include "ui_resources.h"

#include "plain_tool_tip.h"
#include <QApplication>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillora::ui {

using mail::EmailField;
using mail::FeedbackField;

namespace {

// The wait cursor while a mail goes out; the UI thread is busy meanwhile.
void showWaitCursor(bool on)
{
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

} // namespace

// ---------------------------------------------------------------------------
// EmailDialog

EmailDialog::EmailDialog(const service::SiteAddress &site, const mail::MailSettings &settings,
                         platform::MessageBoxes &messages, int questionId, QWidget *parent)
    : QDialog(parent)
{
    initResources();
    setWindowTitle(mail::CEmailDialog::captionText());
    setWindowIcon(programIcon());
    setSizeGripEnabled(true);

    auto *icon = new QLabel(this);
    icon->setPixmap(commandIcon(QStringLiteral("send-to-friend")).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto *titleCaption = new QLabel(QStringLiteral("Question Title:"), this);
    m_title = new QLabel(this);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setWordWrap(true);
    m_title->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_title->setAccessibleName(QStringLiteral("Question Title"));
    auto *titleBox = new QVBoxLayout;
    titleBox->setSpacing(2);
    titleBox->addWidget(titleCaption);
    titleBox->addWidget(m_title);
    auto *top = new QHBoxLayout;
    top->setSpacing(12);
    top->addWidget(icon);
    top->addLayout(titleBox, 1);
    auto *rule = horizontalRule(this);

    m_recipient = new QLineEdit(this);
    m_recipient->setPlaceholderText(QStringLiteral("friend@example.com; another@example.com"));
    m_mailTitle = new QLineEdit(this);
    m_senderName = new QLineEdit(this);
    m_senderEmail = new QLineEdit(this);
    m_message = multiLineBox(this);

    auto *form = formGrid();
    addFormRow(form, 0, QStringLiteral("&Recipient's Email:"), m_recipient);
    auto *hint = new QLabel(QStringLiteral("Separate several addresses with \",\" or \";\"."), this);
    hint->setForegroundRole(QPalette::PlaceholderText);
    form->addWidget(hint, 1, 1);
    addFormRow(form, 2, QStringLiteral("Email &Title:"), m_mailTitle);
    addFormRow(form, 3, QStringLiteral("Your &Name: "), m_senderName);
    addFormRow(form, 4, QStringLiteral("Your &Email Address:"), m_senderEmail);
    addFormRow(form, 5, QStringLiteral("Your &Message: "), m_message);
    form->setRowStretch(5, 1);

    auto *buttons = formButtons(this, QStringLiteral("Send"), m_send, QStringLiteral("Cancel"), m_cancel);

    auto *layout = dialogColumn(this, 8);
    layout->addLayout(top);
    layout->addWidget(rule);
    layout->addLayout(form, 1);
    layout->addWidget(buttons);

    setTabChain({m_recipient, m_mailTitle, m_senderName, m_senderEmail, m_message, m_send, m_cancel});
    setMinimumSize(460, 420);
    resize(580, 500);

    m_rules = std::make_unique<mail::CEmailDialog>(site, settings, *this, messages, questionId);
    connect(m_send, &QPushButton::clicked, this, [this] { m_rules->onSend(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_rules->onCancel(); });
}

EmailDialog::~EmailDialog()
{
    if (m_busy)
        showWaitCursor(false);
}

QLineEdit *EmailDialog::edit(EmailField field) const
{
    switch (field) {
    case EmailField::Recipient:
        return m_recipient;
    case EmailField::MailTitle:
        return m_mailTitle;
    case EmailField::SenderName:
        return m_senderName;
    case EmailField::SenderEmail:
        return m_senderEmail;
    case EmailField::Message:
        break;
    }
    return nullptr;
}

QWidget *EmailDialog::widgetOf(EmailField field) const
{
    if (field == EmailField::Message)
        return m_message;
    return edit(field);
}

void EmailDialog::setQuestionTitle(const QString &title)
{
    m_title->setText(title);
    m_title->setToolTip(plainToolTip(title));
}

QString EmailDialog::fieldText(EmailField field) const
{
    if (field == EmailField::Message)
        return m_message->toPlainText();
    return edit(field)->text();
}

void EmailDialog::focusField(EmailField field)
{
    m_focusTarget = widgetOf(field);
    if (isVisible())
        m_focusTarget->setFocus(Qt::OtherFocusReason);
}

void EmailDialog::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    m_send->setEnabled(!busy);
    m_cancel->setEnabled(!busy);
    showWaitCursor(busy);
}

void EmailDialog::endDialog(bool accepted)
{
    done(accepted ? QDialog::Accepted : QDialog::Rejected);
}

void EmailDialog::reject()
{
    if (!m_busy)
        m_rules->onCancel();
}

void EmailDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_focusTarget)
        m_focusTarget->setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------------------
// FeedbackDialog

FeedbackDialog::FeedbackDialog(const mail::MailSettings &settings, platform::MessageBoxes &messages,
                               const QString &userName, QWidget *parent)
    : QDialog(parent)
{
    initResources();
    setWindowTitle(mail::CFeedbackDlg::captionText());
    setWindowIcon(programIcon());
    setSizeGripEnabled(true);

    auto *icon = new QLabel(this);
    icon->setPixmap(commandIcon(QStringLiteral("feedback")).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto *intro = new QLabel(mail::CFeedbackDlg::introText(), this);
    intro->setWordWrap(true);
    auto *top = new QHBoxLayout;
    top->setSpacing(12);
    top->addWidget(icon);
    top->addWidget(intro, 1);
    auto *rule = horizontalRule(this);

    m_email = new QLineEdit(this);
    m_comments = multiLineBox(this);
    auto *emailRow = new QHBoxLayout;
    emailRow->setSpacing(10);
    emailRow->addWidget(fieldLabel(QStringLiteral("Your &E-Mail:"), m_email, this));
    emailRow->addWidget(m_email, 1);

    auto *buttons = formButtons(this, QStringLiteral("Submit"), m_submit, QStringLiteral("Cancel"), m_cancel);

    auto *layout = dialogColumn(this, 8);
    layout->addLayout(top);
    layout->addWidget(rule);
    layout->addLayout(emailRow);
    layout->addSpacing(4);
    layout->addWidget(fieldLabel(QStringLiteral("Enter your &comments here:"), m_comments, this));
    layout->addWidget(m_comments, 1);
    layout->addWidget(buttons);

    setTabChain({m_email, m_comments, m_submit, m_cancel});
    setMinimumSize(420, 360);
    resize(520, 420);

    m_rules = std::make_unique<mail::CFeedbackDlg>(settings, *this, messages, userName);
    connect(m_submit, &QPushButton::clicked, this, [this] { m_rules->onSubmit(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_rules->onCancel(); });
    m_rules->onInitDialog();
}

FeedbackDialog::~FeedbackDialog()
{
    if (m_busy)
        showWaitCursor(false);
}

QString FeedbackDialog::fieldText(FeedbackField field) const
{
    return field == FeedbackField::Email ? m_email->text() : m_comments->toPlainText();
}

void FeedbackDialog::focusField(FeedbackField field)
{
    m_focusTarget = field == FeedbackField::Email ? static_cast<QWidget *>(m_email) : m_comments;
    if (isVisible())
        m_focusTarget->setFocus(Qt::OtherFocusReason);
}

void FeedbackDialog::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    m_submit->setEnabled(!busy);
    m_cancel->setEnabled(!busy);
    showWaitCursor(busy);
}

void FeedbackDialog::endDialog(bool accepted)
{
    done(accepted ? QDialog::Accepted : QDialog::Rejected);
}

void FeedbackDialog::reject()
{
    if (!m_busy)
        m_rules->onCancel();
}

void FeedbackDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_focusTarget)
        m_focusTarget->setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------------------

bool execEmailDialog(const service::SiteAddress &site, const mail::MailSettings &settings,
                     platform::MessageBoxes &messages, int questionId, QWidget *parent)
{
    EmailDialog dialog(site, settings, messages, questionId, parent);
    dialog.rules().onInitDialog();
    return dialog.exec() == QDialog::Accepted;
}

bool execFeedbackDialog(const mail::MailSettings &settings, platform::MessageBoxes &messages, const QString &userName,
                        QWidget *parent)
{
    FeedbackDialog dialog(settings, messages, userName, parent);
    return dialog.exec() == QDialog::Accepted;
}

void installMailDialogs(MainFrameWindow &frame, platform::MessageBoxes &messages)
{
    if (!frame.isCreated())
        return;
    const QPointer<MainFrameWindow> guard(&frame);
    platform::MessageBoxes *boxes = &messages;
    presence::FrameDialogs &dialogs = frame.frame().dialogs();
    dialogs.sendToFriend = [guard, boxes](int questionId) {
        if (!guard)
            return false;
        return execEmailDialog(guard->frame().site(), mail::mailSettingsFromEnvironment(), *boxes, questionId, guard);
    };
    dialogs.feedback = [guard, boxes](const QString &userName) {
        if (!guard)
            return false;
        return execFeedbackDialog(mail::mailSettingsFromEnvironment(), *boxes, userName, guard);
    };
    frame.updateCommandStates();
}

} // namespace quillora::ui
