// The "Edit Profile" and "My Profile" widgets offscreen against the real
// server: what the rules fill in reaches the controls, the pictures come from
// the resources, and the keyboard order of the profile form.
#include "main_frame.h"
#include "result_document.h"
#include "screens/account_entry.h"
#include "screens/edit_user_dialog.h"
#include "screens/main_frame_window.h"
#include "screens/user_info_dialog.h"
#include "ui_resources.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include "platform/file_prompt.h"
#include "platform/message_box.h"
#include "platform/system_open.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace quillora;

namespace {

int argc = 1;
char arg0[] = "account_dialogs_test";
char *argv[] = {arg0, nullptr};

class AccountDialogs : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        if (!QApplication::instance())
            new QApplication(argc, argv);
        server = new testpeers::VarnelServerProcess({.demo = true});
    }
    static void TearDownTestSuite() { delete server; }
    void SetUp() override { ASSERT_TRUE(server->started()) << server->error(); }

    static service::SiteAddress site() { return {QStringLiteral("127.0.0.1"), quint16(server->port())}; }
    static QString signIn(const QString &name, int *userID)
    {
        QString document;
        service::CVarnelServices proxy(site());
        proxy.useServiceAccount(service::Op::GetUserByUserName);
        EXPECT_TRUE(service::succeeded(proxy.GetUserByUserName(name, name + QStringLiteral("123"), &document)));
        *userID = service::readRecords(document, service::kUserTag, 1, 1).records.at(0).value(0).toInt();
        return document;
    }

    static testpeers::VarnelServerProcess *server;
    platform::RecordingMessageBoxes messages;
    platform::RecordingFilePrompts files;
    QTemporaryDir dir;
};
testpeers::VarnelServerProcess *AccountDialogs::server = nullptr;

TEST_F(AccountDialogs, EditProfileShowsTheMemberAndTabsThroughTheForm)
{
    int userID = 0;
    signIn(QStringLiteral("alice"), &userID);
    ui::EditUserDialog dialog({site(), session::compiledFtpConnection(), dir.filePath(QStringLiteral("faces")),
                               session::RememberedCredentials(
                                   {dir.filePath(QStringLiteral("k.ini")), dir.filePath(QStringLiteral("w.dat"))})},
                              userID, messages, files);
    EXPECT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Edit Profile"));
    EXPECT_EQ(dialog.userNameEdit()->text(), QStringLiteral("alice"));
    EXPECT_TRUE(dialog.userNameEdit()->isReadOnly());
    EXPECT_EQ(dialog.passwordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.pictureChoice()->count(), 24);
    EXPECT_FALSE(dialog.pictureChoice()->itemIcon(23).isNull());
    EXPECT_EQ(dialog.pictureChoice()->currentIndex(), 2) << "alice has head image 3";

    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), dialog.passwordEdit());
    const QList<QWidget *> order{dialog.confirmationEdit(), dialog.nicknameEdit(), dialog.emailEdit(),
                                 dialog.pictureChoice()};
    for (QWidget *next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->accessibleName().toStdString();
    }

    dialog.showCustomPicture(QStringLiteral(":/quillora/faces/face-05.png"));
    EXPECT_FALSE(dialog.pictureChoice()->isVisible());
    EXPECT_TRUE(dialog.customPictureLabel()->isVisible());
    EXPECT_FALSE(dialog.customPictureLabel()->pixmap().isNull());
}

// "Edit My Account" as the program installs it: the dialog over the main
// window, and what the member changed becomes the frame's member values (the
// status bar's nickname, later calls) and the session's sign-in document
// ("My Profile").
TEST_F(AccountDialogs, EditMyAccountFromTheMainWindowTakesTheNewValues)
{
    int userID = 0;
    QString document = signIn(QStringLiteral("carol"), &userID);
    platform::RecordingSystemOpener opener;
    ui::MainFrameWindow frame({site(), document, &messages, &opener});
    ASSERT_TRUE(frame.isCreated());
    frame.setQuitHandler([] {});
    ui::installAccountDialogs(frame, document, messages, files);
    QAction *command = frame.commandAction(presence::FrameCommand::EditMyAccount);
    ASSERT_TRUE(command->isEnabled());
    messages.shown.clear();

    // The member gives a new nickname and e-mail address and submits.
    QTimer fill;
    QObject::connect(&fill, &QTimer::timeout, &fill, [&fill] {
        auto *dialog = qobject_cast<ui::EditUserDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->nicknameEdit()->text().isEmpty())
            return;
        fill.stop();
        dialog->nicknameEdit()->setText(QStringLiteral("Carol Two"));
        dialog->emailEdit()->setText(QStringLiteral("carol.two@demo.example"));
        dialog->submitButton()->click();
    });
    fill.start(20);
    command->trigger();
    ASSERT_FALSE(fill.isActive()) << "the dialog never showed";
    EXPECT_EQ(messages.lastText(), QStringLiteral("Your profile has been successfully updated!"));
    const presence::MemberValues &member = frame.frame().member();
    EXPECT_EQ(member.nickname, QStringLiteral("Carol Two"));
    EXPECT_EQ(member.email, QStringLiteral("carol.two@demo.example"));
    EXPECT_EQ(member.password, QStringLiteral("carol123"));
    EXPECT_EQ(frame.statusBar()->findChild<QLabel *>(QStringLiteral("statusPane2"))->text(),
              QStringLiteral("Nickname:Carol Two"));
    EXPECT_TRUE(document.contains(QStringLiteral("Carol Two")));
    EXPECT_TRUE(frame.frame().statusRefresh()) << messages.lastText().toStdString();
}

TEST_F(AccountDialogs, MyProfileShowsHeadAndRankPictures)
{
    for (int rank = 1; rank <= 10; ++rank)
        EXPECT_EQ(ui::rankPixmap(rank).size(), QSize(64, 12)) << rank;
    EXPECT_TRUE(ui::rankPixmap(0).isNull());
    EXPECT_TRUE(ui::rankPixmap(11).isNull());

    int userID = 0;
    const QString document = signIn(QStringLiteral("alice"), &userID);
    ui::UserInfoDialog dialog(site(), messages, document, userID);
    EXPECT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("My Profile"));
    EXPECT_EQ(dialog.lineLabel(mail::ProfileLine::UserName)->text(), QStringLiteral("alice"));
    EXPECT_FALSE(dialog.headLabel()->pixmap().isNull());
    QTableWidget *table = dialog.scoreTable();
    ASSERT_EQ(table->rowCount(), 7);
    EXPECT_EQ(table->horizontalHeaderItem(2)->text(), QStringLiteral("Member Rank"));
    ASSERT_NE(table->item(0, 0), nullptr);
    EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("Software"));
    EXPECT_FALSE(table->item(0, 2)->data(Qt::DecorationRole).value<QPixmap>().isNull());
    EXPECT_EQ(table->item(5, 0), nullptr) << "rows the document does not have stay empty";
}

} // namespace
