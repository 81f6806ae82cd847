// The sign-up widget offscreen: what its boxes accept, the keyboard order, a
// member registered through the boxes and "Submit" against the real server;
// and the sign-in dialog's keyboard order.
#include "forum/icon_ids.h"
#include "icon_combo_box.h"
#include "machine_identity.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "remembered_credentials.h"
#include "screens/login_dialog.h"
#include "screens/register_dialog.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include <QApplication>
#include <QDomDocument>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillora;
using session::RegisterField;

namespace {

int argc = 1;
char arg0[] = "test_register_dialog";
char *argv[] = {arg0, nullptr};

// Widgets that take the keyboard focus with Tab, in focus chain order from `first`.
QList<QWidget *> tabChain(QWidget *first, int count)
{
    QList<QWidget *> chain{first};
    for (QWidget *w = first->nextInFocusChain(); w != first && chain.size() < count; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(first->window()))
            chain << w;
    }
    return chain;
}

struct NoMachine : session::MachineSources {
    session::AdapterQuery firstAdapter() const override
    {
        return {session::AdapterQuery::Status::Ok, QByteArray::fromHex("020000000001")};
    }
    QString diskSerial() const override { return QStringLiteral("TESTDISK01"); }
    QString biosSerial() const override { return {}; }
};

struct RegisterWidget : ::testing::Test {
    static void SetUpTestSuite()
    {
        if (!qApp)
            new QApplication(argc, argv);
        server = new testpeers::VarnelServerProcess({.demo = true});
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(server->started()) << server->error(); }
    service::SiteAddress site() const { return {QStringLiteral("127.0.0.1"), static_cast<quint16>(server->port())}; }

    QTemporaryDir dir;
    session::RememberedCredentials store{
        {dir.filePath(QStringLiteral("k.ini")), dir.filePath(QStringLiteral("w.dat"))}};
    platform::RecordingMessageBoxes messages;
    NoMachine machine;

    static testpeers::VarnelServerProcess *server;
};
testpeers::VarnelServerProcess *RegisterWidget::server = nullptr;

} // namespace

TEST_F(RegisterWidget, BoxesLimitsNamesAndKeyboardOrder)
{
    ui::RegisterDialog dlg(site(), messages, store, machine);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Quillora 2007 Sign-Up"));
    EXPECT_EQ(dlg.edit(RegisterField::UserName)->maxLength(), 16);
    EXPECT_EQ(dlg.edit(RegisterField::Password)->maxLength(), 16);
    EXPECT_EQ(dlg.edit(RegisterField::NickName)->maxLength(), 16);
    EXPECT_EQ(dlg.edit(RegisterField::PersonalName)->maxLength(), 8);
    EXPECT_GT(dlg.edit(RegisterField::Email)->maxLength(), 1000); // no limit
    EXPECT_EQ(dlg.edit(RegisterField::Password)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dlg.edit(RegisterField::Confirmation)->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(dlg.submitButton()->isDefault());
    EXPECT_TRUE(dlg.maleButton()->isChecked());
    EXPECT_EQ(dlg.pictureList()->count(), 24);
    EXPECT_EQ(dlg.pictureList()->selectedId(), forum::headIconId(1));

    dlg.show();
    const QList<QWidget *> expected{dlg.edit(RegisterField::UserName),
                                    dlg.edit(RegisterField::Password),
                                    dlg.edit(RegisterField::Confirmation),
                                    dlg.edit(RegisterField::NickName),
                                    dlg.edit(RegisterField::Email),
                                    dlg.pictureList(),
                                    dlg.edit(RegisterField::PersonalName),
                                    dlg.edit(RegisterField::Phone),
                                    dlg.maleButton(),
                                    dlg.edit(RegisterField::Recommender),
                                    dlg.edit(RegisterField::Address),
                                    dlg.submitButton(),
                                    dlg.resetButton()};
    // The two radio buttons are one stop for Tab (arrows move between them).
    QList<QWidget *> chain = tabChain(dlg.edit(RegisterField::UserName), 14);
    chain.removeAll(dlg.femaleButton());
    EXPECT_EQ(chain.mid(0, expected.size()), expected);
    for (QWidget *w : expected)
        EXPECT_FALSE(w->accessibleName().isEmpty() && qobject_cast<QLineEdit *>(w)) << w->metaObject()->className();
    EXPECT_EQ(dlg.pictureList()->accessibleName(), QStringLiteral("Pick your image:"));
}

TEST_F(RegisterWidget, MemberRegisteredThroughTheBoxes)
{
    ui::RegisterDialog dlg(site(), messages, store, machine);
    dlg.show();
    const std::pair<RegisterField, const char *> typed[] = {
        {RegisterField::UserName, "widgetuser"},   {RegisterField::Password, "widget77"},
        {RegisterField::Confirmation, "widget77"}, {RegisterField::NickName, "Widget"},
        {RegisterField::Email, "w@example.org"},   {RegisterField::PersonalName, "Wendy W"},
        {RegisterField::Phone, "555-0199"},        {RegisterField::Recommender, "bob"},
        {RegisterField::Address, "1 Widget Way"},
    };
    for (const auto &[field, text] : typed)
        dlg.edit(field)->setText(QString::fromLatin1(text));
    dlg.pictureList()->setCurrentIndex(20);
    dlg.femaleButton()->setChecked(true);
    dlg.submitButton()->click();

    ASSERT_EQ(dlg.result(), QDialog::Accepted) << messages.lastText().toStdString();
    EXPECT_EQ(dlg.rules().sentFace(), QStringLiteral("21"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(store.load().userName, QStringLiteral("widgetuser"));

    service::CVarnelServices proxy(site());
    proxy.useServiceAccount(service::Op::GetUserByUserName);
    QString document;
    ASSERT_TRUE(service::succeeded(
        proxy.GetUserByUserName(QStringLiteral("widgetuser"), QStringLiteral("widget77"), &document)));
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(document));
    auto field = [&](const char *tag) {
        return doc.elementsByTagName(QString::fromLatin1(tag)).item(0).toElement().text();
    };
    EXPECT_EQ(field("NickName"), QStringLiteral("Widget"));
    EXPECT_EQ(field("Email"), QStringLiteral("w@example.org"));
    EXPECT_EQ(field("Face"), QStringLiteral("21"));
    EXPECT_EQ(field("Sex"), QStringLiteral("0"));

    QString profile;
    service::CVarnelServices again(site());
    again.useServiceAccount(service::Op::GetUserByUserID);
    ASSERT_TRUE(service::succeeded(again.GetUserByUserID(field("PKID").toInt(), &profile)));
    QDomDocument p;
    ASSERT_TRUE(p.setContent(profile));
    auto pfield = [&](const char *tag) {
        return p.elementsByTagName(QString::fromLatin1(tag)).item(0).toElement().text();
    };
    EXPECT_EQ(pfield("Name"), QStringLiteral("Wendy W"));
    EXPECT_EQ(pfield("Phone"), QStringLiteral("555-0199"));
    EXPECT_EQ(pfield("Address"), QStringLiteral("1 Widget Way"));
}

TEST_F(RegisterWidget, ResetThroughTheButton)
{
    ui::RegisterDialog dlg(site(), messages, store, machine);
    dlg.edit(RegisterField::UserName)->setText(QStringLiteral("someone"));
    dlg.edit(RegisterField::Address)->setText(QStringLiteral("somewhere"));
    dlg.femaleButton()->setChecked(true);
    dlg.pictureList()->setCurrentIndex(5);
    dlg.resetButton()->click();
    EXPECT_TRUE(dlg.edit(RegisterField::UserName)->text().isEmpty());
    EXPECT_TRUE(dlg.edit(RegisterField::Address)->text().isEmpty());
    EXPECT_TRUE(dlg.maleButton()->isChecked());
    EXPECT_EQ(dlg.pictureList()->currentIndex(), 0);
}

TEST_F(RegisterWidget, SignInDialogKeyboardOrder)
{
    platform::RecordingSystemOpener opener;
    session::SignInQuota quota;
    ui::LoginDialog login(site(), messages, opener, store, quota, [](QWidget *) { return false; });
    login.show();
    login.forgotPasswordButton()->setEnabled(true); // disabled buttons take no focus
    const QList<QWidget *> expected{login.userNameEdit(),       login.passwordEdit(),         login.signInButton(),
                                    login.registrationButton(), login.forgotPasswordButton(), login.cancelButton()};
    EXPECT_EQ(tabChain(login.userNameEdit(), 6), expected);
}
