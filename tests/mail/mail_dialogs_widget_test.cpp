// The two mail dialogs' windows offscreen: the keyboard walks the form down
// to the buttons, Tab leaves the multi-line box while Return stays in it,
// and the buttons reach the rules.
#include "main_frame.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "screens/mail_dialog_widgets.h"
#include "screens/main_frame_window.h"
#include "smtp_server_process.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

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
        if (!qApp) {
            // The main window keeps its bar layout in the per-user settings.
            static QTemporaryDir config;
            qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
            new QApplication(argc, argv);
        }
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

namespace {

struct SelectedQuestion : presence::ZoneViews {
    int selectedQuestionId() const override { return selected; }
    int selected = -1;
};

// Runs `fill` on the modal dialog of type D once it is open.
template <typename D> void whenOpen(std::function<void(D &)> fill, bool *seen)
{
    QTimer::singleShot(0, [fill, seen] {
        auto *dialog = qobject_cast<D *>(QApplication::activeModalWidget());
        *seen = dialog != nullptr;
        if (dialog)
            fill(*dialog);
        else if (QWidget *other = QApplication::activeModalWidget())
            other->close();
    });
}

} // namespace

TEST_F(MailDialogWidgets, MainFrameCommandsSendTheMailsAndReportOnlySuccess)
{
    testpeers::VarnelServerProcess community({.demo = true});
    ASSERT_TRUE(community.started()) << community.error();
    testpeers::SmtpServerProcess smtp({.refuseRecipientDomain = QStringLiteral("refused.test")});
    ASSERT_TRUE(smtp.started()) << smtp.error().toStdString();
    // The compiled-in account is the one the test server accepts.
    qputenv("QUILLORA_SMTP", QStringLiteral("127.0.0.1:%1").arg(smtp.port()).toLatin1());

    const service::SiteAddress site{QStringLiteral("127.0.0.1"), quint16(community.port())};
    QString document;
    service::CVarnelServices proxy(site);
    proxy.useServiceAccount(service::Op::GetUserByUserName);
    ASSERT_TRUE(
        service::succeeded(proxy.GetUserByUserName(QStringLiteral("alice"), QStringLiteral("alice123"), &document)));

    platform::RecordingSystemOpener opener;
    ui::MainFrameWindow window(ui::MainFrameContext{site, document, &boxes, &opener});
    window.setQuitHandler([] {});
    ASSERT_TRUE(window.isCreated());
    SelectedQuestion zones;
    window.frame().setZoneViews(&zones);
    ui::installMailDialogs(window, boxes);
    ASSERT_TRUE(window.frame().isAvailable(presence::FrameCommand::Feedback));
    ASSERT_TRUE(window.frame().isAvailable(presence::FrameCommand::SendToFriend));
    boxes.shown.clear();

    bool seen = false;
    whenOpen<ui::FeedbackDialog>(
        [](ui::FeedbackDialog &d) {
            d.emailEdit()->setText(QStringLiteral("alice@home.test"));
            d.commentsEdit()->setPlainText(QStringLiteral("Sent from the Help menu."));
            d.submitButton()->click();
        },
        &seen);
    window.frame().run(presence::FrameCommand::Feedback);
    ASSERT_TRUE(seen);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.lastText(), QStringLiteral("Your feedback has successfully been sent by email!"));
    EXPECT_EQ(smtp.mail(1).value(QStringLiteral("headers")).toObject().value(QStringLiteral("Subject")).toString(),
              QStringLiteral("This is a feedback from alice"));

    // A refused recipient: the error box, and no word of success from the frame.
    boxes.shown.clear();
    zones.selected = 1;
    whenOpen<ui::EmailDialog>(
        [](ui::EmailDialog &d) {
            d.edit(EmailField::Recipient)->setText(QStringLiteral("nobody@refused.test"));
            d.edit(EmailField::MailTitle)->setText(QStringLiteral("Look"));
            d.edit(EmailField::SenderName)->setText(QStringLiteral("Alice"));
            d.edit(EmailField::SenderEmail)->setText(QStringLiteral("alice@home.test"));
            d.messageEdit()->setPlainText(QStringLiteral("Hi"));
            d.sendButton()->click();
        },
        &seen);
    window.frame().run(presence::FrameCommand::SendToFriend);
    ASSERT_TRUE(seen);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.lastText(), QStringLiteral("Failed to send email !\nResponse:550 5.1.1 Mailbox unavailable"));
    EXPECT_EQ(boxes.shown[0].icon, platform::MessageIcon::Error);
    qunsetenv("QUILLORA_SMTP");
}
