// The sign-up rules: every check and message in order against the real
// varnel-server, what a registration sends and remembers, the e-mail pattern,
// and the service's refusals through a scripted peer.
#include "forum/icon_ids.h"
#include "login_dlg.h"
#include "machine_identity.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "register_dlg.h"
#include "remembered_credentials.h"
#include "session_test_support.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace quillora::session;
using quillora::platform::MessageAnswer;
using quillora::platform::MessageRequest;
using quillora::platform::RecordingMessageBoxes;
using quillora::service::CVarnelServices;
using quillora::service::Op;
using quillora::service::SiteAddress;
using quillora::service::succeeded;
using quillora::testpeers::PeerScript;
using quillora::testpeers::ScriptedHttpPeer;
using quillora::testpeers::VarnelServerOptions;
using quillora::testpeers::VarnelServerProcess;
namespace forum = quillora::forum;

namespace {

// One log for the view's changes and the messages, so a test sees their order.
struct Log {
    QStringList events;
};

class LoggingMessages : public RecordingMessageBoxes {
  public:
    explicit LoggingMessages(Log &log) : m_log(log) {}
    MessageAnswer show(const MessageRequest &request) override
    {
        m_log.events << QStringLiteral("message: ") + request.text;
        return RecordingMessageBoxes::show(request);
    }

  private:
    Log &m_log;
};

QString fieldName(RegisterField f)
{
    switch (f) {
    case RegisterField::UserName:
        return QStringLiteral("user");
    case RegisterField::Password:
        return QStringLiteral("password");
    case RegisterField::Confirmation:
        return QStringLiteral("confirmation");
    case RegisterField::NickName:
        return QStringLiteral("nickname");
    case RegisterField::Email:
        return QStringLiteral("email");
    case RegisterField::PersonalName:
        return QStringLiteral("name");
    case RegisterField::Phone:
        return QStringLiteral("phone");
    case RegisterField::Recommender:
        return QStringLiteral("recommender");
    case RegisterField::Address:
        return QStringLiteral("address");
    }
    return {};
}

class RecordingRegisterView : public RegisterView {
  public:
    explicit RecordingRegisterView(Log &log) : m_log(log) {}

    RegisterForm typed;
    bool submitEnabled = true;
    bool busy = false;
    bool waitShown = false;
    int ended = -1; // -1 open, 0 cancelled, 1 accepted
    QObject owner;

    RegisterForm form() const override { return typed; }
    void setText(RegisterField field, const QString &text) override
    {
        QString *box[] = {&typed.userName,     &typed.password, &typed.confirmation, &typed.nickName, &typed.email,
                          &typed.personalName, &typed.phone,    &typed.recommender,  &typed.address};
        *box[int(field)] = text;
    }
    void setPictureId(int id) override { typed.pictureId = id; }
    void setMale(bool male) override { typed.male = male; }
    void focusField(RegisterField field, bool selectAll) override
    {
        m_log.events << QStringLiteral("focus ") + fieldName(field) +
                            (selectAll ? QStringLiteral(" select") : QString());
    }
    void setSubmitEnabled(bool e) override
    {
        submitEnabled = e;
        m_log.events << (e ? QStringLiteral("submit on") : QStringLiteral("submit off"));
    }
    void setBusy(bool b) override { busy = b; }
    void showWaitWindow() override { waitShown = true; }
    void closeWaitWindow() override
    {
        if (waitShown)
            m_log.events << QStringLiteral("wait closed");
        waitShown = false;
    }
    void endDialog(bool accepted) override { ended = accepted ? 1 : 0; }
    QObject *messageOwner() override { return &owner; }

  private:
    Log &m_log;
};

// Machine sources with fixed answers.
class FixedMachine : public MachineSources {
  public:
    AdapterQuery adapter{AdapterQuery::Status::Ok, QByteArray::fromHex("0a1b2c3d4e5f")};
    QString disk = QStringLiteral("WD 12345");
    QString bios;
    AdapterQuery firstAdapter() const override { return adapter; }
    QString diskSerial() const override { return disk; }
    QString biosSerial() const override { return bios; }
};

RegisterForm validForm(const QString &name)
{
    RegisterForm f;
    f.userName = name;
    f.password = QStringLiteral("secret7");
    f.confirmation = QStringLiteral("secret7");
    f.nickName = QStringLiteral("Newcomer");
    f.email = name + QStringLiteral("@example.org");
    f.pictureId = forum::headIconId(1);
    return f;
}

// A field of the first record of a result document, by its tag.
QString documentField(const QString &document, const QString &tag)
{
    QDomDocument doc;
    if (!doc.setContent(document))
        return QStringLiteral("<unparsed>");
    return doc.elementsByTagName(tag).item(0).toElement().text();
}

class Registration : public ::testing::Test {
  protected:
    // The suite registers more members from loopback than the server's
    // hourly allowance per address: the allowance is not what it tests.
    static void SetUpTestSuite()
    {
        server = std::make_unique<VarnelServerProcess>(
            VarnelServerOptions{.demo = true, .extraArgs = {"--max-registrations", "0"}});
    }
    static void TearDownTestSuite() { server.reset(); }
    void SetUp() override { ASSERT_TRUE(server->started()) << server->error(); }

    static SiteAddress site() { return {QStringLiteral("127.0.0.1"), quint16(server->port())}; }

    static QString signInDocument(const QString &name, const QString &password)
    {
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::GetUserByUserName);
        QString document;
        if (!succeeded(proxy.GetUserByUserName(name, password, &document)))
            return QString();
        return document;
    }

    static QString profileDocument(int userId)
    {
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::GetUserByUserID);
        QString document;
        EXPECT_TRUE(succeeded(proxy.GetUserByUserID(userId, &document)));
        return document;
    }

    QTemporaryDir dir;
    RememberedCredentials store{{dir.filePath(QStringLiteral("Kestova/credentials.ini")),
                                 dir.filePath(QStringLiteral("quillora/winuser.dat"))}};
    Log log;
    RecordingRegisterView view{log};
    LoggingMessages messages{log};
    FixedMachine machine;

    static std::unique_ptr<VarnelServerProcess> server;
};
std::unique_ptr<VarnelServerProcess> Registration::server;

} // namespace

TEST_F(Registration, EveryCheckInOrderWithItsMessageAndFocus)
{
    CRegisterDlg dlg(site(), view, messages, store, machine);
    dlg.onInitDialog();
    EXPECT_EQ(view.typed.pictureId, forum::headIconId(1));
    EXPECT_TRUE(view.typed.male);

    // Each step fixes the field the previous one stopped at; the next rule
    // must then stop the submission with its own message, caption and focus.
    struct Step {
        const char *name;
        std::function<void(RegisterForm &)> change;
        QString message;
        QString caption;
        QString focus; // empty: the focus stays where it was
    };
    const QString warning = QStringLiteral("Warning");
    const QString title = QStringLiteral("Quillora 2007");
    const std::vector<Step> steps = {
        {"empty user name", [](RegisterForm &f) { f.userName = QStringLiteral("   "); },
         QStringLiteral("You must enter a username"), warning, QStringLiteral("focus user")},
        {"5 characters", [](RegisterForm &f) { f.userName = QStringLiteral("abcde"); },
         QStringLiteral("Username must be between 6 and 16 characters"), warning, QStringLiteral("focus user")},
        {"17 characters", [](RegisterForm &f) { f.userName = QStringLiteral("abcdefghijklmnopq"); },
         QStringLiteral("Username must be between 6 and 16 characters"), warning, QStringLiteral("focus user")},
        {"name taken", [](RegisterForm &f) { f.userName = QStringLiteral(" winguru "); },
         QStringLiteral("The username you entered already exits in our database. "), warning,
         QStringLiteral("focus user select")},
        {"empty password", [](RegisterForm &f) { f.userName = QStringLiteral("abcdefghijklmnop"); },
         QStringLiteral("You must enter a password"), warning, QStringLiteral("focus password")},
        {"short password", [](RegisterForm &f) { f.password = QStringLiteral(" 12345 "); },
         QStringLiteral("Password must be between 6 and 16 characters !"), warning,
         QStringLiteral("focus password select")},
        {"confirmation differs in case",
         [](RegisterForm &f) {
             f.password = QStringLiteral("Secret7");
             f.confirmation = QStringLiteral("secret7");
         },
         QStringLiteral("The password and confirmation password do not match"), warning,
         QStringLiteral("focus confirmation select")},
        {"trailing blank in both boxes",
         [](RegisterForm &f) {
             f.password = QStringLiteral("secret7 ");
             f.confirmation = QStringLiteral("secret7 ");
         },
         QStringLiteral("The password and confirmation password do not match"), warning,
         QStringLiteral("focus confirmation select")},
        {"empty nickname", [](RegisterForm &f) { f.confirmation = QStringLiteral("secret7"); },
         QStringLiteral("You must enter a nickname"), warning, QStringLiteral("focus nickname")},
        {"empty e-mail", [](RegisterForm &f) { f.nickName = QStringLiteral("Sixteen"); },
         QStringLiteral("Please enter your Email Address"), warning, QStringLiteral("focus email")},
        {"invalid e-mail", [](RegisterForm &f) { f.email = QStringLiteral("a@b.C"); },
         QStringLiteral("You have entered an invalid email address"), warning, QStringLiteral("focus email select")},
        {"e-mail taken", [](RegisterForm &f) { f.email = QStringLiteral(" alice@demo.example "); },
         QStringLiteral("The email already exits in our database."), warning, QStringLiteral("focus email select")},
        {"unknown recommender",
         [](RegisterForm &f) {
             f.email = QStringLiteral("sixteen@example.org");
             f.recommender = QStringLiteral("nobody-at-all");
         },
         QStringLiteral("Recommender does not exist in member list !"), warning,
         QStringLiteral("focus recommender select")},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        step.change(view.typed);
        log.events.clear();
        const size_t shown = messages.shown.size();
        dlg.onSubmit();
        ASSERT_EQ(messages.shown.size(), shown + 1);
        EXPECT_EQ(messages.shown.back().text, step.message);
        EXPECT_EQ(messages.shown.back().caption, step.caption);
        EXPECT_EQ(messages.shown.back().owner, &view.owner);
        // The wait window goes and "Submit" comes back before the message.
        const QStringList expected{QStringLiteral("submit off"), QStringLiteral("wait closed"),
                                   QStringLiteral("submit on"), QStringLiteral("message: ") + step.message, step.focus};
        EXPECT_EQ(log.events, expected);
        EXPECT_FALSE(view.busy);
        EXPECT_FALSE(view.waitShown);
        EXPECT_EQ(view.ended, -1);
    }
    // Stripped texts are shown back in their boxes; the confirmation is left as typed.
    EXPECT_EQ(view.typed.userName, QStringLiteral("abcdefghijklmnop"));
    EXPECT_EQ(view.typed.email, QStringLiteral("sixteen@example.org"));
    EXPECT_EQ(view.typed.password, QStringLiteral("secret7"));

    // Nothing was created on the way.
    EXPECT_TRUE(signInDocument(QStringLiteral("abcdefghijklmnop"), QStringLiteral("secret7")).isEmpty());
    EXPECT_FALSE(store.load().found);
}

TEST_F(Registration, RegistersStrippedValuesRemembersThemAndTheSignInDialogReloads)
{
    const QString alicePoints =
        documentField(signInDocument(QStringLiteral("alice"), QStringLiteral("alice123")), QStringLiteral("Points"));
    CRegisterDlg dlg(site(), view, messages, store, machine);
    dlg.onInitDialog();
    view.typed = validForm(QStringLiteral("  sixchr  "));
    view.typed.password = QStringLiteral(" pass16charslong! ");
    view.typed.confirmation = QStringLiteral("pass16charslong!");
    view.typed.nickName = QStringLiteral("  Six  ");
    view.typed.email = QStringLiteral(" s@x.io ");
    view.typed.personalName = QStringLiteral(" Sam Six ");
    view.typed.phone = QStringLiteral(" 555-0106 ");
    view.typed.address = QStringLiteral(" 6 Sixth Street ");
    view.typed.recommender = QStringLiteral(" alice ");
    view.typed.pictureId = forum::headIconId(21);
    view.typed.male = false;
    dlg.onSubmit();

    ASSERT_EQ(view.ended, 1) << messages.lastText().toStdString();
    EXPECT_EQ(messages.lastText(), QStringLiteral("You have successfully registered !"));
    EXPECT_EQ(messages.shown.back().caption, QStringLiteral("Quillora 2007"));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(dlg.sentFace(), QStringLiteral("21"));
    EXPECT_EQ(dlg.sentMachineIdentity(), QStringLiteral("0A1B2C3D4E5FWD12345"));

    const QString document = signInDocument(QStringLiteral("sixchr"), QStringLiteral("pass16charslong!"));
    ASSERT_FALSE(document.isEmpty());
    EXPECT_EQ(documentField(document, QStringLiteral("NickName")), QStringLiteral("Six"));
    EXPECT_EQ(documentField(document, QStringLiteral("Face")), QStringLiteral("21"));
    EXPECT_EQ(documentField(document, QStringLiteral("Sex")), QStringLiteral("0"));
    EXPECT_EQ(documentField(document, QStringLiteral("Email")), QStringLiteral("s@x.io"));
    const QString profile = profileDocument(documentField(document, QStringLiteral("PKID")).toInt());
    EXPECT_EQ(documentField(profile, QStringLiteral("Name")), QStringLiteral("Sam Six"));
    EXPECT_EQ(documentField(profile, QStringLiteral("Phone")), QStringLiteral("555-0106"));
    EXPECT_EQ(documentField(profile, QStringLiteral("Address")), QStringLiteral("6 Sixth Street"));
    // The recommender was named as the service knows him: his bonus is paid
    // once the new member has posted (the server pays it then, not at sign-up).
    const auto pointsOfAlice = [] {
        return documentField(signInDocument(QStringLiteral("alice"), QStringLiteral("alice123")),
                             QStringLiteral("Points"))
            .toInt();
    };
    EXPECT_EQ(pointsOfAlice(), alicePoints.toInt());
    {
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::CreatForumPost);
        bool posted = false;
        int questionId = 0;
        ASSERT_TRUE(succeeded(proxy.CreatForumPost(
            documentField(document, QStringLiteral("PKID")).toInt(), QStringLiteral("A first question"), 1, 40,
            QStringLiteral("Asked by a recommended member."), &posted, &questionId)));
        EXPECT_TRUE(posted);
    }
    EXPECT_GT(pointsOfAlice(), alicePoints.toInt());

    // The new member is remembered, and the sign-in dialog offers him.
    const LoadedCredentials loaded = store.load();
    EXPECT_EQ(loaded.userName, QStringLiteral("sixchr"));
    EXPECT_EQ(loaded.password, QStringLiteral("pass16charslong!"));

    sessiontest::RecordingLoginView login;
    RecordingMessageBoxes loginMessages;
    quillora::platform::RecordingSystemOpener opener;
    SignInQuota quota;
    QTemporaryDir otherDir;
    const RememberedCredentials empty{
        {otherDir.filePath(QStringLiteral("a.ini")), otherDir.filePath(QStringLiteral("b.dat"))}};
    CLoginDlg before(site(), login, loginMessages, opener, empty, quota);
    before.onInitDialog();
    EXPECT_TRUE(login.registrationEnabled);
    CLoginDlg signIn(site(), login, loginMessages, opener, store, quota);
    signIn.onRegistrationEnded(true);
    EXPECT_FALSE(login.registrationEnabled);
    EXPECT_EQ(login.userName, QStringLiteral("sixchr"));
    EXPECT_EQ(login.events.last(), QStringLiteral("focus password"));
    login.password = QStringLiteral("pass16charslong!");
    signIn.onSignIn();
    EXPECT_EQ(login.ended, 1);
}

TEST_F(Registration, AdapterTroubleIsToldAndTheRegistrationGoesOn)
{
    struct Case {
        const char *name;
        AdapterQuery::Status status;
        QString message;
    };
    const Case cases[] = {
        {"noadapt1", AdapterQuery::Status::NoAdapters,
         QStringLiteral("No adapter information exists for the local computer")},
        {"noadapt2", AdapterQuery::Status::Unsupported,
         QStringLiteral("GetAdaptersInfo is not supported by the operating system running on the local computer")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir own;
        const RememberedCredentials ownStore{
            {own.filePath(QStringLiteral("k.ini")), own.filePath(QStringLiteral("w.dat"))}};
        messages.shown.clear();
        view.ended = -1;
        machine.adapter = {c.status, {}};
        machine.disk = QStringLiteral("1 2 3"); // too short: the BIOS serial instead
        machine.bios = QStringLiteral("BIOS-77");
        CRegisterDlg dlg(site(), view, messages, ownStore, machine);
        dlg.onInitDialog();
        view.typed = validForm(QString::fromLatin1(c.name));
        dlg.onSubmit();
        ASSERT_EQ(messages.shown.size(), 2u);
        EXPECT_EQ(messages.shown[0].text, c.message);
        EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Quillora 2007"));
        EXPECT_EQ(messages.shown[1].text, QStringLiteral("You have successfully registered !"));
        EXPECT_EQ(dlg.sentMachineIdentity(), QStringLiteral("BIOS77"));
        EXPECT_EQ(view.ended, 1);
    }
}

// Registered on the service but not remembered here: the dialog ends as
// registered (a second "Submit" would only hear that the name is taken) and
// says that the name and password are asked for at sign-in.
TEST_F(Registration, NotRememberedAfterRegisteringEndsRegisteredAndSaysSo)
{
    // A regular file where a folder must be makes the credential files impossible to write.
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    struct Case {
        const char *name;
        CredentialPaths paths;
    };
    const Case cases[] = {
        {"nofile01", {dir.filePath(QStringLiteral("ok/k.ini")), dir.filePath(QStringLiteral("blocker/w.dat"))}},
        {"nokey001", {dir.filePath(QStringLiteral("blocker/k.ini")), dir.filePath(QStringLiteral("ok/w2.dat"))}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const RememberedCredentials broken{c.paths};
        CRegisterDlg dlg(site(), view, messages, broken, machine);
        dlg.onInitDialog();
        view.typed = validForm(QString::fromLatin1(c.name));
        view.ended = -1;
        dlg.onSubmit();
        EXPECT_EQ(messages.lastText(), CRegisterDlg::registeredNotRememberedMessage());
        EXPECT_EQ(messages.shown.back().caption, QStringLiteral("Quillora 2007"));
        EXPECT_EQ(view.ended, 1);
        // The member exists on the service all the same.
        EXPECT_FALSE(signInDocument(QString::fromLatin1(c.name), QStringLiteral("secret7")).isEmpty());
    }
}

TEST_F(Registration, PairTooLongForTheRecordIsRegisteredButNotRemembered)
{
    // 13 characters, 26 bytes in UTF-8: more than the record's 23.
    const QString password =
        QStringLiteral("\u00c4\u00d6\u00dc\u00e4\u00f6\u00fc\u00df\u00c4\u00d6\u00dc\u00e4\u00f6\u00fc");
    CRegisterDlg dlg(site(), view, messages, store, machine);
    view.typed = validForm(QStringLiteral("longpass"));
    view.typed.password = view.typed.confirmation = password;
    dlg.onSubmit();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, CRegisterDlg::tooLongToRememberMessage());
    EXPECT_EQ(messages.shown[1].text, QStringLiteral("You have successfully registered !"));
    EXPECT_EQ(view.ended, 1);
    EXPECT_FALSE(store.load().found); // the sign-in dialog then asks the service
    EXPECT_FALSE(signInDocument(QStringLiteral("longpass"), password).isEmpty());
}

TEST_F(Registration, ResetEmptiesTheFormAndKeepsThePictureOfTheLastSubmit)
{
    CRegisterDlg dlg(site(), view, messages, store, machine);
    dlg.onInitDialog();
    view.typed = validForm(QStringLiteral("abc")); // stopped at the length check
    view.typed.recommender = QStringLiteral("someone");
    view.typed.pictureId = forum::headIconId(9);
    view.typed.male = false;
    dlg.onSubmit();
    view.typed.pictureId = forum::headIconId(14); // changed after the submit
    dlg.onReset();
    const RegisterForm &f = view.typed;
    for (const QString *text : {&f.userName, &f.password, &f.confirmation, &f.nickName, &f.email, &f.personalName,
                                &f.phone, &f.recommender, &f.address})
        EXPECT_TRUE(text->isEmpty());
    EXPECT_TRUE(f.male);
    EXPECT_EQ(f.pictureId, forum::headIconId(9));

    // Before any submit, the first picture.
    CRegisterDlg fresh(site(), view, messages, store, machine);
    view.typed.pictureId = forum::headIconId(14);
    fresh.onReset();
    EXPECT_EQ(view.typed.pictureId, forum::headIconId(1));
}

TEST(RegistrationEmailPattern, WholeAddressMustMatch)
{
    struct Row {
        const char *name;
        const char *email;
        bool valid;
    };
    const Row rows[] = {
        {"shortest", "a@b.c", true},
        {"upper-case last letter", "a@b.C", false},
        {"no dot after the at sign", "a.b@c", false},
        {"nothing before the at sign", "@b.c", false},
        {"nothing between at sign and dot", "a@.c", false},
        {"digits after the last dot", "a@b.c1", false},
        {"upper case before the last dot", "John.Doe@Example.org", true},
        {"two at signs", "a@b@c.de", true},
        {"dot at the end", "a@b.c.", false},
        {"blank inside", "a b@c.de", true},
    };
    for (const Row &row : rows)
        EXPECT_EQ(CRegisterDlg::emailLooksValid(QString::fromLatin1(row.email)), row.valid) << row.name;
}

// The service's refusals and failures, which the real server gives only by
// accident, come from a scripted peer.
namespace {

class ScriptedRegistration : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    RememberedCredentials store{{dir.filePath(QStringLiteral("k.ini")), dir.filePath(QStringLiteral("w.dat"))}};
    Log log;
    RecordingRegisterView view{log};
    LoggingMessages messages{log};
    FixedMachine machine;

    static PeerScript answer(const QByteArray &op, bool value)
    {
        return sessiontest::answering(op, "<" + op + "Result>" + (value ? "true" : "false") + "</" + op + "Result>");
    }
};

} // namespace

TEST_F(ScriptedRegistration, RefusedRegistrationEndsTheDialog)
{
    // With no recommender there is no third check: the third call is CreateNewUser.
    ScriptedHttpPeer peer(
        {answer("IsUserExistsByName", false), answer("IsUserExistsByEmail", false), answer("CreateNewUser", false)});
    CRegisterDlg dlg({QStringLiteral("127.0.0.1"), quint16(peer.port())}, view, messages, store, machine);
    dlg.onInitDialog();
    view.typed = validForm(QStringLiteral("refused1"));
    dlg.onSubmit();
    EXPECT_EQ(messages.lastText(), QStringLiteral("Register unsuccessfully, please try again later"));
    EXPECT_EQ(view.ended, 0);
    EXPECT_FALSE(view.waitShown);
    EXPECT_FALSE(view.busy);
    const auto requests = peer.allRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_TRUE(requests[2].contains("<leader></leader>"));
    EXPECT_TRUE(requests[2].contains("<userGuid>0A1B2C3D4E5FWD12345</userGuid>"));
    EXPECT_FALSE(store.load().found);
}

TEST_F(ScriptedRegistration, FailedCreateCallKeepsTheDialogForAnotherTry)
{
    ScriptedHttpPeer peer({answer("IsUserExistsByName", false), answer("IsUserExistsByEmail", false),
                           PeerScript().readRequest().close()});
    CRegisterDlg dlg({QStringLiteral("127.0.0.1"), quint16(peer.port())}, view, messages, store, machine);
    dlg.onInitDialog();
    view.typed = validForm(QStringLiteral("dropped1"));
    dlg.onSubmit();
    EXPECT_EQ(
        messages.lastText(),
        QStringLiteral("If you have already registered with Quillora, enter your username and password before. "));
    EXPECT_EQ(messages.shown.back().caption, QStringLiteral("Quillora 2007"));
    EXPECT_EQ(view.ended, -1);
    EXPECT_TRUE(view.submitEnabled);
    EXPECT_FALSE(view.busy);
}

TEST_F(ScriptedRegistration, UnreachableServiceAtEachCheck)
{
    const QString connect = QStringLiteral("Failed to connect to server, please try again later.");
    // Name check: nobody listens.
    {
        CRegisterDlg dlg({QStringLiteral("127.0.0.1"), sessiontest::deadPort()}, view, messages, store, machine);
        view.typed = validForm(QStringLiteral("nobody01"));
        log.events.clear();
        dlg.onSubmit();
        EXPECT_EQ(messages.lastText(), connect);
        EXPECT_EQ(messages.shown.back().caption, QStringLiteral("Quillora 2007"));
        EXPECT_EQ(log.events.last(), QStringLiteral("message: ") + connect); // no focus change
        EXPECT_TRUE(view.submitEnabled);
    }
    // E-mail check and recommender check: the connection drops.
    const std::vector<std::vector<PeerScript>> scripts = {
        {answer("IsUserExistsByName", false), PeerScript().readRequest().close()},
        {answer("IsUserExistsByName", false), answer("IsUserExistsByEmail", false), PeerScript().readRequest().close()},
    };
    for (const auto &script : scripts) {
        ScriptedHttpPeer peer(script);
        CRegisterDlg dlg({QStringLiteral("127.0.0.1"), quint16(peer.port())}, view, messages, store, machine);
        view.typed = validForm(QStringLiteral("nobody02"));
        view.typed.recommender = QStringLiteral("someone");
        const size_t before = messages.shown.size();
        dlg.onSubmit();
        ASSERT_EQ(messages.shown.size(), before + 1);
        EXPECT_EQ(messages.lastText(), connect);
        EXPECT_EQ(view.ended, -1);
        EXPECT_EQ(peer.allRequests().size(), script.size());
    }
}
