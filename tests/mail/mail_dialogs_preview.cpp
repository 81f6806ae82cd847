// Shows one of the mail dialogs filled in as a member would have it, for
// looking at it under a display (not run by ctest):
//   mail_dialogs_preview friend|feedback
// The mail server is a closed loopback port unless QUILLORA_SMTP says otherwise.
#include "qt_message_boxes.h"
#include "screens/mail_dialog_widgets.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace quillora;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString which = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("friend");
    ui::QtMessageBoxes messages;
    mail::MailSettings settings = mail::mailSettingsFromEnvironment();
    if (qEnvironmentVariableIsEmpty("QUILLORA_SMTP"))
        settings.port = 9;
    if (which == QStringLiteral("feedback")) {
        ui::FeedbackDialog dialog(settings, messages, QStringLiteral("alice"));
        dialog.emailEdit()->setText(QStringLiteral("alice@example.com"));
        dialog.commentsEdit()->setPlainText(
            QStringLiteral("The search pane forgets the chosen zone after a restart.\n\nOtherwise a fine client!"));
        return dialog.exec() == QDialog::Accepted ? 0 : 1;
    }
    ui::EmailDialog dialog(service::SiteAddress{QStringLiteral("127.0.0.1"), 9}, settings, messages, 118);
    dialog.setQuestionTitle(
        QStringLiteral("Frame rate drops to 20 fps after the latest driver update & the game stutters"));
    dialog.edit(mail::EmailField::Recipient)->setText(QStringLiteral("Bob <bob@example.com>; carol@example.com"));
    dialog.edit(mail::EmailField::MailTitle)->setText(QStringLiteral("Have a look at this one"));
    dialog.edit(mail::EmailField::SenderName)->setText(QStringLiteral("Alice"));
    dialog.edit(mail::EmailField::SenderEmail)->setText(QStringLiteral("alice@example.com"));
    dialog.messageEdit()->setPlainText(QStringLiteral("Bob,\nthis is the stutter you asked me about."));
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
