// The sign-in rules. Rules that need the service run against the real
// varnel-server (see signin_server_test.cpp); these need none, or a dead port.
#include "login_dlg.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "session_test_support.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillora::session;
using quillora::platform::RecordingMessageBoxes;
using quillora::platform::RecordingSystemOpener;
using quillora::service::SiteAddress;
using sessiontest::RecordingLoginView;

namespace {

class LoginRulesTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    RememberedCredentials store{{dir.filePath(QStringLiteral("Kestova/credentials.ini")),
                                 dir.filePath(QStringLiteral("quillora/winuser.dat"))}};
    SiteAddress site{QStringLiteral("127.0.0.1"), sessiontest::deadPort()};
    RecordingLoginView view;
    RecordingMessageBoxes messages;
    RecordingSystemOpener opener;
    SignInQuota quota;

    CLoginDlg open()
    {
        CLoginDlg dlg(site, view, messages, opener, store, quota);
        dlg.onInitDialog();
        return dlg;
    }
    void type(const QString &name, const QString &password)
    {
        view.userName = name;
        view.password = password;
    }
};

} // namespace

TEST_F(LoginRulesTest, OpeningWithNothingRememberedLeavesTheBoxesEmptyAndOffersRegistration)
{
    CLoginDlg dlg = open();
    EXPECT_TRUE(view.userName.isEmpty());
    EXPECT_TRUE(view.registrationEnabled);
    EXPECT_FALSE(view.forgotEnabled);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(view.events.isEmpty());
}

TEST_F(LoginRulesTest, OpeningWithRememberedCredentialsShowsTheNameAndFocusesThePassword)
{
    ASSERT_EQ(store.remember(QStringLiteral("alice"), QStringLiteral("alice123")), RememberStatus::Ok);
    CLoginDlg dlg = open();
    EXPECT_EQ(view.userName, QStringLiteral("alice"));
    EXPECT_TRUE(view.password.isEmpty()); // never filled in
    EXPECT_FALSE(view.registrationEnabled);
    EXPECT_EQ(view.events, QStringList{QStringLiteral("focus password")});
    EXPECT_EQ(dlg.rememberedPassword(), QStringLiteral("alice123"));
}

TEST_F(LoginRulesTest, BadRecordIsReportedByTheDialogAndRegistrationStaysOff)
{
    QDir().mkpath(dir.filePath(QStringLiteral("quillora")));
    QFile f(dir.filePath(QStringLiteral("quillora/winuser.dat")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(65, 'x'));
    f.close();
    CLoginDlg dlg = open();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Failed to open config file !"));
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Quillora 2007"));
    EXPECT_EQ(messages.shown[0].owner, &view.owner);
    EXPECT_FALSE(view.registrationEnabled);
    EXPECT_TRUE(view.userName.isEmpty());
}

TEST_F(LoginRulesTest, EmptyFieldsAreRefusedInOrderAndNeverCounted)
{
    CLoginDlg dlg = open();
    type(QStringLiteral("   "), QStringLiteral("secret"));
    dlg.onSignIn();
    EXPECT_EQ(messages.lastText(), QStringLiteral("You must enter a username !"));
    EXPECT_EQ(view.events.last(), QStringLiteral("focus user"));
    type(QStringLiteral("alice"), QStringLiteral(" \t "));
    dlg.onSignIn();
    EXPECT_EQ(messages.lastText(), QStringLiteral("You must enter a password !"));
    EXPECT_EQ(view.events.last(), QStringLiteral("focus password"));
    EXPECT_EQ(quota.failed, 0);
    EXPECT_EQ(view.ended, -1);
    EXPECT_FALSE(view.forgotEnabled);
}

TEST_F(LoginRulesTest, RememberedMemberIsCheckedLocallyAndOtherNamesAreRejected)
{
    ASSERT_EQ(store.remember(QStringLiteral("alice"), QStringLiteral("alice123")), RememberStatus::Ok);
    CLoginDlg dlg = open(); // the site is a dead port: any service call would fail with a message
    view.events.clear();

    type(QStringLiteral("Alice"), QStringLiteral("alice123")); // other letter case
    dlg.onSignIn();
    EXPECT_EQ(messages.lastText(), QStringLiteral("You have specified an incorrect username!"));
    EXPECT_EQ(view.events.last(), QStringLiteral("focus user select"));
    EXPECT_EQ(quota.failed, 1);

    type(QStringLiteral("alice"), QStringLiteral("ALICE123"));
    dlg.onSignIn();
    EXPECT_EQ(messages.lastText(), QStringLiteral("You have specified an invalid password!"));
    EXPECT_EQ(view.events.last(), QStringLiteral("focus password select"));
    EXPECT_EQ(quota.failed, 2);
    EXPECT_TRUE(view.forgotEnabled); // from the press after the first rejection

    type(QStringLiteral("  alice "), QStringLiteral(" alice123\t"));
    dlg.onSignIn();
    EXPECT_EQ(view.ended, 1);
    EXPECT_EQ(dlg.userName(), QStringLiteral("alice"));
    EXPECT_EQ(dlg.password(), QStringLiteral("alice123"));
    EXPECT_EQ(view.userName, QStringLiteral("alice")); // the boxes hold the stripped text
    EXPECT_EQ(messages.shown.size(), 2u);
}

TEST_F(LoginRulesTest, ThirdRejectionUsesUpTheQuotaEvenForTheRightEntry)
{
    ASSERT_EQ(store.remember(QStringLiteral("alice"), QStringLiteral("alice123")), RememberStatus::Ok);
    CLoginDlg dlg = open();
    type(QStringLiteral("bob"), QStringLiteral("x"));
    dlg.onSignIn();
    type(QStringLiteral("alice"), QStringLiteral("wrong"));
    dlg.onSignIn();
    type(QStringLiteral("mallory"), QStringLiteral("x"));
    dlg.onSignIn();
    ASSERT_EQ(quota.failed, 3);
    EXPECT_EQ(view.ended, -1);

    type(QStringLiteral("alice"), QStringLiteral("alice123"));
    dlg.onSignIn();
    EXPECT_EQ(messages.lastText(), QStringLiteral("You have used up your failed login quota! !"));
    EXPECT_EQ(view.ended, 0);
    EXPECT_EQ(quota.failed, 3);
}

TEST_F(LoginRulesTest, QuotaBelongsToTheProcessNotToOneDialog)
{
    quota.failed = 3;
    CLoginDlg dlg = open();
    type(QStringLiteral("alice"), QStringLiteral("alice123"));
    dlg.onSignIn();
    EXPECT_EQ(messages.lastText(), QStringLiteral("You have used up your failed login quota! !"));
    EXPECT_TRUE(view.forgotEnabled);
    EXPECT_EQ(view.ended, 0);
}

TEST_F(LoginRulesTest, UnreachableServiceIsReportedAndNotCounted)
{
    CLoginDlg dlg = open();
    type(QStringLiteral("alice"), QStringLiteral("alice123"));
    dlg.onSignIn();
    dlg.onSignIn();
    EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to connect to server, please try again later."));
    EXPECT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(quota.failed, 0);
    EXPECT_EQ(view.ended, -1);
    EXPECT_FALSE(QFileInfo::exists(store.paths().settingsFile));
}

TEST_F(LoginRulesTest, ForgotPasswordOpensThePasswordPageAndCancelEnds)
{
    CLoginDlg dlg = open();
    dlg.onForgotPassword();
    ASSERT_EQ(opener.opened.size(), 1);
    EXPECT_EQ(opener.opened[0], QStringLiteral("http://127.0.0.1:%1/Quillora/Password.htm").arg(site.port));
    dlg.onCancel();
    EXPECT_EQ(view.ended, 0);
}

TEST_F(LoginRulesTest, AcceptedRegistrationReloadsWhatItRemembered)
{
    CLoginDlg dlg = open();
    ASSERT_TRUE(view.registrationEnabled);
    dlg.onRegistrationEnded(false);
    EXPECT_TRUE(view.userName.isEmpty());
    ASSERT_EQ(store.remember(QStringLiteral("newbie"), QStringLiteral("newbie99")), RememberStatus::Ok);
    dlg.onRegistrationEnded(true);
    EXPECT_EQ(view.userName, QStringLiteral("newbie"));
    EXPECT_FALSE(view.registrationEnabled);
    EXPECT_EQ(dlg.rememberedPassword(), QStringLiteral("newbie99"));
}
