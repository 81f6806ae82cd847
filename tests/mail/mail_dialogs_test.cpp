// The send-to-a-friend and feedback dialogs' rules, with a recorded view,
// against the real community server and a real SMTP server on loopback.
#include "mail_dialogs.h"
#include "smtp_server_process.h"
#include "varnel_server_process.h"

#include "platform/message_box.h"
#include "result_document.h"
#include "varnel_services.h"

#include <gtest/gtest.h>

#include <QJsonArray>

#include <map>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

using namespace quillora;
using namespace quillora::mail;
using platform::MessageIcon;
using platform::RecordingMessageBoxes;
using testpeers::SmtpServerProcess;

namespace {

struct FakeEmailView : EmailView {
    std::map<EmailField, QString> fields;
    QString title;
    std::optional<EmailField> focus;
    std::vector<bool> busy;
    int ended = -1; // -1 open, 0 cancelled, 1 accepted

    void setQuestionTitle(const QString &t) override { title = t; }
    QString fieldText(EmailField f) const override
    {
        const auto it = fields.find(f);
        return it == fields.end() ? QString() : it->second;
    }
    void focusField(EmailField f) override { focus = f; }
    void setBusy(bool b) override { busy.push_back(b); }
    void endDialog(bool accepted) override { ended = accepted ? 1 : 0; }
    QObject *messageOwner() override { return nullptr; }
};

struct FakeFeedbackView : FeedbackView {
    QString email, comments;
    std::optional<FeedbackField> focus;
    std::vector<bool> busy;
    int ended = -1;

    QString fieldText(FeedbackField f) const override { return f == FeedbackField::Email ? email : comments; }
    void focusField(FeedbackField f) override { focus = f; }
    void setBusy(bool b) override { busy.push_back(b); }
    void endDialog(bool accepted) override { ended = accepted ? 1 : 0; }
    QObject *messageOwner() override { return nullptr; }
};

QString header(const QJsonObject &mail, const char *name)
{
    return mail.value(QStringLiteral("headers")).toObject().value(QLatin1String(name)).toString();
}

QJsonArray addresses(const QJsonObject &mail, const char *name)
{
    return mail.value(QStringLiteral("addresses")).toObject().value(QLatin1String(name)).toArray();
}

QString body(const QJsonObject &mail)
{
    return mail.value(QStringLiteral("parts")).toArray().at(0).toObject().value(QStringLiteral("text")).toString();
}

int closedPort()
{
    // A port nobody listens on: bound, never listened to, then released.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

} // namespace

struct MailDialogs : ::testing::Test {
    static void SetUpTestSuite()
    {
        community = new testpeers::VarnelServerProcess({.demo = true});
        smtp = new SmtpServerProcess({.refuseRecipientDomain = QStringLiteral("refused.test")});
    }
    static void TearDownTestSuite()
    {
        delete smtp;
        delete community;
        smtp = nullptr;
        community = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(community->started()) << community->error();
        ASSERT_TRUE(smtp->started()) << smtp->error().toStdString();
    }

    static service::SiteAddress site() { return {QStringLiteral("127.0.0.1"), quint16(community->port())}; }
    static MailSettings settings()
    {
        MailSettings s = compiledMailSettings();
        s.host = smtp->host();
        s.port = quint16(smtp->port());
        s.user = QStringLiteral("quillora");
        s.password = QStringLiteral("qm2007");
        s.tls = TlsPolicy::Opportunistic;
        return s;
    }

    // A question alice asks now, with a title of our own.
    static int askQuestion(const QString &title)
    {
        QString document;
        service::CVarnelServices users(site());
        users.useServiceAccount(service::Op::GetUserByUserName);
        EXPECT_TRUE(service::succeeded(
            users.GetUserByUserName(QStringLiteral("alice"), QStringLiteral("alice123"), &document)));
        int userId = 0;
        const auto records = service::readRecords(document, service::kUserTag, 1, 18).records;
        if (!records.empty())
            service::takeField(records[0], 0, userId);
        bool stored = false;
        int id = 0;
        service::CVarnelServices posts(site());
        posts.useServiceAccount(service::Op::CreatForumPost);
        EXPECT_TRUE(service::succeeded(
            posts.CreatForumPost(userId, title, 3, 40, QStringLiteral("How does it work?"), &stored, &id)));
        EXPECT_TRUE(stored);
        return id;
    }

    static void fill(FakeEmailView &v)
    {
        v.fields = {{EmailField::Recipient, QStringLiteral("Bob <bob@x.test>;carol@y.test")},
                    {EmailField::MailTitle, QStringLiteral(u"看看这个问题")},
                    {EmailField::SenderName, QStringLiteral("Alice")},
                    {EmailField::SenderEmail, QStringLiteral("alice@home.test")},
                    {EmailField::Message, QStringLiteral(".net is the answer\nsee = below")}};
    }

    static testpeers::VarnelServerProcess *community;
    static SmtpServerProcess *smtp;
    RecordingMessageBoxes boxes;
};
testpeers::VarnelServerProcess *MailDialogs::community = nullptr;
SmtpServerProcess *MailDialogs::smtp = nullptr;

TEST_F(MailDialogs, FriendMailChecksFieldsInOrderAndBlanksPass)
{
    FakeEmailView v;
    CEmailDialog dlg(site(), settings(), v, boxes, 1);
    const EmailField order[] = {EmailField::Recipient, EmailField::MailTitle, EmailField::SenderName,
                                EmailField::SenderEmail, EmailField::Message};
    for (const EmailField f : order) {
        dlg.onSend();
        EXPECT_EQ(boxes.lastText(), CEmailDialog::emptyFieldMessage(f));
        EXPECT_EQ(v.focus, f);
        EXPECT_EQ(v.ended, -1);
        v.fields[f] = QStringLiteral(" ");
    }
    EXPECT_EQ(boxes.shown.front().text, QStringLiteral("You must specify a recipient Email Address !"));
    EXPECT_EQ(boxes.shown.back().text, QStringLiteral("You must enter a message to be sent !"));

    // Blanks pass the empty-field checks; a recipient of blanks names nobody.
    const size_t shown = boxes.shown.size();
    dlg.onSend();
    ASSERT_EQ(boxes.shown.size(), shown + 1);
    EXPECT_EQ(boxes.lastText(), CEmailDialog::badRecipientMessage());
    for (const char *bad :
         {"Bob >bob@x.test<", "bob smith@x.test", "ok@x.test; Bob <bob smith@x.test>", "a@b@x.test"}) {
        v.fields[EmailField::Recipient] = QString::fromLatin1(bad);
        v.focus.reset();
        dlg.onSend();
        EXPECT_EQ(boxes.lastText(), CEmailDialog::badRecipientMessage()) << bad;
        EXPECT_EQ(v.focus, EmailField::Recipient) << bad;
    }
    // The sender's address, when there is one, must be an address too.
    v.fields[EmailField::Recipient] = QStringLiteral("bob@x.test");
    v.fields[EmailField::SenderEmail] = QStringLiteral("alice at home");
    dlg.onSend();
    EXPECT_EQ(boxes.lastText(), QStringLiteral("Your Email Address is not valid !"));
    EXPECT_EQ(v.focus, EmailField::SenderEmail);
    EXPECT_TRUE(v.busy.empty());
    EXPECT_EQ(v.ended, -1);
}

TEST_F(MailDialogs, FriendMailCarriesTheQuestionToEveryRecipient)
{
    const int id = askQuestion(QStringLiteral("Why does my fan spin?"));
    FakeEmailView v;
    CEmailDialog dlg(site(), settings(), v, boxes, id);
    dlg.onInitDialog();
    EXPECT_EQ(v.title, QStringLiteral("Why does my fan spin?"));
    EXPECT_EQ(v.focus, EmailField::Recipient);

    fill(v);
    const int n = smtp->mailCount() + 1;
    dlg.onSend();
    EXPECT_TRUE(boxes.shown.empty()) << boxes.lastText().toStdString();
    EXPECT_EQ(v.busy, (std::vector<bool>{true, false}));
    EXPECT_EQ(v.ended, 1);

    const QJsonObject mail = smtp->mail(n);
    ASSERT_FALSE(mail.isEmpty());
    EXPECT_EQ(mail.value(QStringLiteral("rcpt_tos")).toArray(),
              QJsonArray({QStringLiteral("bob@x.test"), QStringLiteral("carol@y.test")}));
    EXPECT_EQ(mail.value(QStringLiteral("mail_from")).toString(), settings().sender);
    EXPECT_EQ(mail.value(QStringLiteral("defects")).toArray(), QJsonArray());
    EXPECT_EQ(addresses(mail, "From"), QJsonArray{QJsonArray({QStringLiteral("Alice"), settings().sender})});
    EXPECT_EQ(header(mail, "Subject"), QStringLiteral(u"看看这个问题"));
    EXPECT_EQ(header(mail, "Reply-To"), QStringLiteral("alice@home.test"));
    EXPECT_EQ(addresses(mail, "To"), (QJsonArray{QJsonArray({QStringLiteral("Bob"), QStringLiteral("bob@x.test")}),
                                                 QJsonArray({QString(), QStringLiteral("carol@y.test")})}));
    const QString rule(92, QLatin1Char('_'));
    const QString expected =
        QStringLiteral("\r\nA Friend Sent You a Question!\r\n\r\n"
                       "Alice has sent you the following question posted on Quillora 2007:\r\n"
                       "Personal Message from Alice:\r\n") +
        rule + QStringLiteral("\r\n.net is the answer\r\nsee = below\r\n") + rule +
        QStringLiteral("\r\nQuestion ID  : %1\r\n"
                       "Question Title: Why does my fan spin?\r\n\r\n"
                       "Please run Quillora 2007 to view the details of the question.\r\n"
                       "If you have not installed Quillora 2005, please click the link to download: "
                       "http://127.0.0.1:%2/Quillora/download/Quillora.exe\r\n")
            .arg(id)
            .arg(community->port());
    EXPECT_EQ(body(mail).toStdString(), expected.toStdString());
}

TEST_F(MailDialogs, QuestionThatCannotBeLoadedLeavesTheTitleEmpty)
{
    FakeEmailView v;
    CEmailDialog dlg({QStringLiteral("127.0.0.1"), quint16(closedPort())}, settings(), v, boxes, 5);
    dlg.onInitDialog();
    EXPECT_EQ(boxes.lastText(), QStringLiteral("Failed to load the XML stream into the DOM."));
    EXPECT_TRUE(v.title.isEmpty());
    EXPECT_EQ(v.focus, EmailField::Recipient);
    EXPECT_EQ(v.ended, -1);
}

TEST_F(MailDialogs, FailuresShowTheirErrorAndCancel)
{
    {
        // Nobody at the mail server's port.
        MailSettings s = settings();
        s.port = quint16(closedPort());
        FakeEmailView v;
        fill(v);
        CEmailDialog dlg(site(), s, v, boxes, 1);
        dlg.onSend();
        ASSERT_EQ(boxes.shown.size(), 2u);
        EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Failed to connect to server"));
        EXPECT_EQ(boxes.shown[1].text, QStringLiteral("Failed to connect to mailserver!, Error:10061"));
        EXPECT_EQ(boxes.shown[1].icon, MessageIcon::Error);
        EXPECT_EQ(v.ended, 0);
        EXPECT_EQ(v.busy, (std::vector<bool>{true, false}));
    }
    boxes.shown.clear();
    {
        // A refused login is a connect failure.
        MailSettings s = settings();
        s.password = QStringLiteral("wrong");
        FakeFeedbackView v;
        v.email = QStringLiteral("me@home.test");
        v.comments = QStringLiteral("Nice");
        CFeedbackDlg dlg(s, v, boxes, QStringLiteral("alice"));
        dlg.onSubmit();
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.lastText(), QStringLiteral("Email server failure!, Error:10043"));
        EXPECT_EQ(v.ended, 0);
    }
    boxes.shown.clear();
    {
        FakeEmailView v;
        fill(v);
        v.fields[EmailField::Recipient] = QStringLiteral("ok@x.test; nobody@refused.test");
        CEmailDialog dlg(site(), settings(), v, boxes, 1);
        dlg.onSend();
        EXPECT_EQ(boxes.lastText(), QStringLiteral("Failed to send email !\nResponse:550 5.1.1 Mailbox unavailable"));
        EXPECT_EQ(v.ended, 0);
    }
    boxes.shown.clear();
    {
        // A server that explains at length: the box shows the start of it.
        QStringList lines;
        for (int i = 0; i < 40; ++i)
            lines << QStringLiteral("550-5.1.1 line %1 of a long refusal").arg(i, 2, 10, QLatin1Char('0'));
        lines << QStringLiteral("550 5.1.1 the end");
        SmtpServerProcess chatty({.refuseRecipientDomain = QStringLiteral("refused.test"),
                                  .refuseRecipientReply = lines.join(QLatin1Char('\n'))});
        ASSERT_TRUE(chatty.started()) << chatty.error().toStdString();
        MailSettings s = settings();
        s.port = quint16(chatty.port());
        FakeEmailView v;
        fill(v);
        v.fields[EmailField::Recipient] = QStringLiteral("nobody@refused.test");
        CEmailDialog dlg(site(), s, v, boxes, 1);
        dlg.onSend();
        ASSERT_EQ(boxes.shown.size(), 1u);
        const QString prefix = QStringLiteral("Failed to send email !\nResponse:");
        EXPECT_EQ(boxes.lastText(),
                  prefix + lines.join(QStringLiteral("\r\n")).left(kShownResponseChars) + QStringLiteral("..."));
        EXPECT_EQ(v.ended, 0);
    }
}

TEST_F(MailDialogs, FeedbackChecksThenReachesTheWebmaster)
{
    FakeFeedbackView v;
    CFeedbackDlg dlg(settings(), v, boxes, QStringLiteral("alice"));
    dlg.onInitDialog();
    EXPECT_EQ(v.focus, FeedbackField::Email);
    v.comments = QStringLiteral("x");
    dlg.onSubmit();
    EXPECT_EQ(boxes.lastText(), QStringLiteral("Your email address can't be blank!"));
    EXPECT_EQ(v.focus, FeedbackField::Email);
    v.email = QStringLiteral("alice@home.test");
    v.comments.clear();
    dlg.onSubmit();
    EXPECT_EQ(boxes.lastText(), QStringLiteral("The content of feedback can't be blank!"));
    EXPECT_EQ(v.focus, FeedbackField::Comments);
    v.email = QStringLiteral("alice@home.test>\r\nBcc: x@y.test");
    v.comments = QStringLiteral("x");
    dlg.onSubmit();
    EXPECT_EQ(boxes.lastText(), QStringLiteral("Your email address is not valid!"));
    EXPECT_EQ(v.focus, FeedbackField::Email);
    EXPECT_EQ(v.ended, -1);
    boxes.shown.clear();

    v.email = QStringLiteral("alice@home.test");
    v.comments = QStringLiteral(".Great client\nbut 1+1=2 ☺");
    const int n = smtp->mailCount() + 1;
    dlg.onSubmit();
    EXPECT_TRUE(boxes.shown.empty()) << boxes.lastText().toStdString();
    EXPECT_EQ(v.ended, 1);
    const QJsonObject mail = smtp->mail(n);
    EXPECT_EQ(mail.value(QStringLiteral("rcpt_tos")).toArray(), QJsonArray({settings().webmaster}));
    EXPECT_EQ(header(mail, "Subject"), QStringLiteral("This is a feedback from alice"));
    EXPECT_EQ(mail.value(QStringLiteral("defects")).toArray(), QJsonArray());
    EXPECT_EQ(addresses(mail, "From"), QJsonArray{QJsonArray({QStringLiteral("alice"), settings().sender})});
    EXPECT_EQ(header(mail, "Reply-To"), QStringLiteral("alice@home.test"));
    // "☺" is not in gb2312: the body goes as UTF-8 and says so.
    EXPECT_EQ(
        mail.value(QStringLiteral("parts")).toArray().at(0).toObject().value(QStringLiteral("charset")).toString(),
        QStringLiteral("utf-8"));
    EXPECT_EQ(body(mail).toStdString(), QStringLiteral("\r\n.Great client\r\nbut 1+1=2 ☺\r\n").toStdString());
}
