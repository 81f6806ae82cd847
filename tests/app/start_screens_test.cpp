// The start-up widgets: that they carry the system's texts and pass the
// rules' focus, selection and enabling on to the real controls.
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "qt_message_boxes.h"
#include "remembered_credentials.h"
#include "screens/connecting_window.h"
#include "screens/login_dialog.h"
#include "screens/update_dialog.h"
#include "scripted_http_peer.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace quillora;

namespace {

int argc = 1;
char *argv0 = const_cast<char *>("start_screens_test");

class StartScreens : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { app = new QApplication(argc, &argv0); }
    static void TearDownTestSuite()
    {
        delete app;
        app = nullptr;
    }
    static QApplication *app;

    QTemporaryDir dir;
    session::RememberedCredentials store{{dir.filePath(QStringLiteral("Kestova/credentials.ini")),
                                          dir.filePath(QStringLiteral("quillora/winuser.dat"))}};
    service::SiteAddress site{QStringLiteral("127.0.0.1"), deadPort()};
    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    session::SignInQuota quota;

    static quint16 deadPort()
    {
        quillora::testpeers::ScriptedHttpPeer gone({});
        return quint16(gone.port());
    }
};
QApplication *StartScreens::app = nullptr;

} // namespace

TEST_F(StartScreens, LoginDialogShowsTheSystemTextsAndStartsOnTheUserName)
{
    ui::LoginDialog dlg(site, messages, opener, store, quota);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Login"));
    EXPECT_EQ(dlg.signInButton()->text(), QStringLiteral("Sign-In"));
    EXPECT_EQ(dlg.registrationButton()->text(), QStringLiteral("Free Registration"));
    EXPECT_EQ(dlg.forgotPasswordButton()->text(), QStringLiteral("Forgot password"));
    EXPECT_EQ(dlg.cancelButton()->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(dlg.passwordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(dlg.forgotPasswordButton()->isEnabled());
    EXPECT_FALSE(dlg.registrationButton()->isEnabled()); // no registration runner given
    EXPECT_TRUE(dlg.userNameEdit()->hasFocus());
}

TEST_F(StartScreens, RejectedPasswordIsSelectedAndForgotPasswordOpensThePage)
{
    ASSERT_EQ(store.remember(QStringLiteral("alice"), QStringLiteral("alice123")), session::RememberStatus::Ok);
    ui::LoginDialog dlg(site, messages, opener, store, quota);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.userNameEdit()->text(), QStringLiteral("alice"));
    EXPECT_TRUE(dlg.passwordEdit()->hasFocus());

    QTest::keyClicks(dlg.passwordEdit(), QStringLiteral("wrong"));
    QTest::mouseClick(dlg.signInButton(), Qt::LeftButton);
    EXPECT_EQ(messages.lastText(), QStringLiteral("You have specified an invalid password!"));
    EXPECT_EQ(messages.shown.back().owner, &dlg);
    EXPECT_TRUE(dlg.passwordEdit()->hasFocus());
    EXPECT_EQ(dlg.passwordEdit()->selectedText(), QStringLiteral("wrong"));

    dlg.userNameEdit()->setText(QStringLiteral("mallory"));
    QTest::mouseClick(dlg.signInButton(), Qt::LeftButton);
    EXPECT_TRUE(dlg.forgotPasswordButton()->isEnabled());
    EXPECT_TRUE(dlg.userNameEdit()->hasFocus());
    EXPECT_EQ(dlg.userNameEdit()->selectedText(), QStringLiteral("mallory"));

    QTest::mouseClick(dlg.forgotPasswordButton(), Qt::LeftButton);
    EXPECT_EQ(opener.opened, QStringList{QStringLiteral("http://127.0.0.1:%1/Quillora/Password.htm").arg(site.port)});

    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(StartScreens, RegistrationRunnerEnablesTheButtonAndItsResultIsLoaded)
{
    int runs = 0;
    ui::LoginDialog dlg(site, messages, opener, store, quota, [&](QWidget *parent) {
        ++runs;
        EXPECT_EQ(parent, &dlg);
        return store.remember(QStringLiteral("newbie"), QStringLiteral("newbie99")) == session::RememberStatus::Ok;
    });
    dlg.show();
    ASSERT_TRUE(dlg.registrationButton()->isEnabled());
    QTest::mouseClick(dlg.registrationButton(), Qt::LeftButton);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(dlg.userNameEdit()->text(), QStringLiteral("newbie"));
    EXPECT_FALSE(dlg.registrationButton()->isEnabled());
}

TEST_F(StartScreens, UpdateDialogLinesAndAnswers)
{
    ui::CUpdateDlg yes(QStringLiteral("3.5.0.1"), QStringLiteral("3.6"));
    EXPECT_EQ(yes.windowTitle(), QStringLiteral("Update Information"));
    EXPECT_EQ(yes.currentLine()->text(), QStringLiteral("The Current Version is: 3.5.0.1"));
    EXPECT_EQ(yes.latestLine()->text(), QStringLiteral("The Latest Version is : 3.6"));
    EXPECT_EQ(yes.yesButton()->text(), QStringLiteral("Yes"));
    EXPECT_EQ(yes.noButton()->text(), QStringLiteral("No"));
    QTimer::singleShot(0, &yes, [&yes] { QTest::mouseClick(yes.yesButton(), Qt::LeftButton); });
    EXPECT_EQ(yes.exec(), QDialog::Accepted);

    ui::CUpdateDlg no(QStringLiteral("3.5.0.1"), QStringLiteral("3.6"));
    QTimer::singleShot(0, &no, [&no] { QTest::mouseClick(no.noButton(), Qt::LeftButton); });
    EXPECT_EQ(no.exec(), QDialog::Rejected);
}

TEST_F(StartScreens, ConnectingWindowDeletesItselfWhenClosed)
{
    QPointer<ui::CModeless> window = new ui::CModeless;
    window->showNow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Connecting"));
    const auto labels = window->findChildren<QLabel *>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0]->text(), QStringLiteral("Connecting to the server....."));
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

TEST_F(StartScreens, QtMessageBoxesShowTheRequestAndReturnTheAnswer)
{
    QWidget owner;
    owner.show();
    ui::QtMessageBoxes boxes;
    QString seenText, seenTitle;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    Qt::TextFormat seenFormat = Qt::AutoText;
    QWidget *seenParent = nullptr;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seenText = box->text();
        seenTitle = box->windowTitle();
        seenIcon = box->icon();
        seenFormat = box->textFormat();
        seenParent = box->parentWidget();
        QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    });
    const platform::MessageAnswer answer =
        boxes.show({QStringLiteral("Go on? <b>554</b> refused"), QStringLiteral("Quillora 2007"), platform::MessageIcon::Error,
                    platform::MessageButtons::YesNo, &owner});
    EXPECT_EQ(answer, platform::MessageAnswer::No);
    // What a server wrote (here markup) is shown as it came.
    EXPECT_EQ(seenText, QStringLiteral("Go on? <b>554</b> refused"));
    EXPECT_EQ(seenFormat, Qt::PlainText);
    EXPECT_EQ(seenTitle, QStringLiteral("Quillora 2007"));
    EXPECT_EQ(seenIcon, QMessageBox::Critical);
    EXPECT_EQ(seenParent, &owner);
}
