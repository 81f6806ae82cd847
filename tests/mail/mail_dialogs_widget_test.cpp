// The two mail dialogs' windows offscreen: the keyboard walks the form down
// to the buttons, Tab leaves the multi-line box while Return stays in it,
// and the buttons reach the rules.
#include "platform/message_box.h"
#include "screens/mail_dialog_widgets.h"
#include "smtp_server_process.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace quillora;
using mail::EmailField;

namespace {

int argc = 1;
char arg0[] = "mail_dialogs_widget_tests";
char *argv[] = {arg0, nullptr};

struct MailDialogWidgets : ::testing::Test {
    static void SetUpTestSuite()
    {
        if (!qApp)
            new QApplication(argc, argv);
    }
    // Tab from `start` through the dialog: the widgets the focus visits.
    static std::vector<QWidget *> tabWalk(QWidget *start, int steps)
    {
        start->setFocus(Qt::TabFocusReason);
        std::vector<QWidget *> visited{QApplication::focusWidget()};
        for (int i = 0; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.push_back(QApplication::focusWidget());
        }
        return visited;
    }
    platform::RecordingMessageBoxes boxes;
    const service::SiteAddress nowhere{QStringLiteral("127.0.0.1"), 9};
};

} // namespace

TEST_F(MailDialogWidgets, FriendMailFormWalksDownToSend)
{
    ui::EmailDialog dialog(nowhere, mail::compiledMailSettings(), boxes, 7);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Email This Question To A Friend"));

    const auto visited = tabWalk(dialog.edit(EmailField::Recipient), 6);
    const std::vector<QWidget *> expected{dialog.edit(EmailField::Recipient),
                                          dialog.edit(EmailField::MailTitle),
                                          dialog.edit(EmailField::SenderName),
                                          dialog.edit(EmailField::SenderEmail),
                                          dialog.messageEdit(),
                                          dialog.sendButton(),
                                          dialog.cancelButton()};
    EXPECT_EQ(visited, expected);

    // Return makes a new line in the message; Tab leaves it.
    dialog.messageEdit()->setFocus();
    QTest::keyClicks(dialog.messageEdit(), QStringLiteral("one"));
    QTest::keyClick(dialog.messageEdit(), Qt::Key_Return);
    QTest::keyClicks(dialog.messageEdit(), QStringLiteral("two"));
    EXPECT_EQ(dialog.fieldText(EmailField::Message), QStringLiteral("one\ntwo"));
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClick(dialog.messageEdit(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog.sendButton());

    // "Send" runs the checks: the first empty box gets the message and the focus.
    dialog.edit(EmailField::Recipient)->setText(QStringLiteral("bob@x.test"));
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    EXPECT_EQ(boxes.lastText(), QStringLiteral("You must enter a title to be sent !"));
    EXPECT_EQ(QApplication::focusWidget(), dialog.edit(EmailField::MailTitle));
    EXPECT_TRUE(dialog.isVisible());

    dialog.setBusy(true);
    EXPECT_FALSE(dialog.sendButton()->isEnabled());
    EXPECT_FALSE(dialog.cancelButton()->isEnabled());
    dialog.setBusy(false);
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(MailDialogWidgets, FeedbackFormWalksDownToSubmitAndSends)
{
    testpeers::SmtpServerProcess smtp;
    ASSERT_TRUE(smtp.started()) << smtp.error().toStdString();
    mail::MailSettings settings = mail::compiledMailSettings();
    settings.host = smtp.host();
    settings.port = quint16(smtp.port());
    settings.user = QStringLiteral("quillora");
    settings.password = QStringLiteral("qm2007");

    ui::FeedbackDialog dialog(settings, boxes, QStringLiteral("alice"));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(QApplication::focusWidget(), dialog.emailEdit());
    const auto visited = tabWalk(dialog.emailEdit(), 3);
    EXPECT_EQ(visited, (std::vector<QWidget *>{dialog.emailEdit(), dialog.commentsEdit(), dialog.submitButton(),
                                               dialog.cancelButton()}));

    QTest::keyClicks(dialog.emailEdit(), QStringLiteral("alice@home.test"));
    dialog.commentsEdit()->setFocus();
    QTest::keyClicks(dialog.commentsEdit(), QStringLiteral("Line one"));
    QTest::keyClick(dialog.commentsEdit(), Qt::Key_Return);
    QTest::keyClicks(dialog.commentsEdit(), QStringLiteral("Line two"));
    QTest::mouseClick(dialog.submitButton(), Qt::LeftButton);
    EXPECT_TRUE(boxes.shown.empty()) << boxes.lastText().toStdString();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(smtp.mail(1).value(QStringLiteral("headers")).toObject().value(QStringLiteral("Subject")).toString(),
              QStringLiteral("This is a feedback from alice"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
