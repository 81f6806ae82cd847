// CSMTPConnection against a real SMTP server on loopback (aiosmtpd, started
// per suite), and against a scripted peer for replies no real server gives.
#include "smtp_connection.h"
#include "smtp_server_process.h"
#include "tls_relay_process.h"

#include "platform/certificate_chain.h"
#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace quillora::mail;
using quillora::platform::MessageIcon;
using quillora::platform::RecordingMessageBoxes;
using quillora::testpeers::SmtpServerOptions;
using quillora::testpeers::SmtpServerProcess;

namespace {

// A peer that greets with `greeting`, answers each received line with the
// next reply, and then stays silent until the client hangs up.
class ScriptedSmtpPeer {
  public:
    ScriptedSmtpPeer(std::string greeting, std::vector<std::string> replies)
        : m_greeting(std::move(greeting)), m_replies(std::move(replies))
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &len);
        m_port = ntohs(a.sin_port);
        ::listen(m_listen, 1);
        m_thread = std::thread([this] { serve(); });
    }
    ~ScriptedSmtpPeer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
    }
    int port() const { return m_port; }
    std::vector<std::string> received() const
    {
        std::lock_guard lock(m_mutex);
        return m_received;
    }

  private:
    void serve()
    {
        pollfd p{m_listen, POLLIN, 0};
        while (!m_stop && ::poll(&p, 1, 50) == 0) {
        }
        if (m_stop)
            return;
        const int fd = ::accept(m_listen, nullptr, nullptr);
        ::send(fd, m_greeting.data(), m_greeting.size(), MSG_NOSIGNAL);
        std::string pending;
        size_t next = 0;
        char buf[512];
        while (!m_stop) {
            pollfd q{fd, POLLIN, 0};
            if (::poll(&q, 1, 50) <= 0)
                continue;
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            pending.append(buf, size_t(n));
            for (size_t eol; (eol = pending.find("\r\n")) != std::string::npos;) {
                {
                    std::lock_guard lock(m_mutex);
                    m_received.push_back(pending.substr(0, eol + 2));
                }
                pending.erase(0, eol + 2);
                if (next < m_replies.size()) {
                    const std::string &r = m_replies[next++];
                    ::send(fd, r.data(), r.size(), MSG_NOSIGNAL);
                }
            }
        }
        ::close(fd);
    }

    std::string m_greeting;
    std::vector<std::string> m_replies;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_received;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

CMailMessage sampleMessage()
{
    CMailMessage m;
    m.setCharset(QStringLiteral("gb2312"));
    m.setFrom({QStringLiteral(u"小明"), QStringLiteral("quillora@qzm.net")});
    m.addRecipients(QStringLiteral("Bob Smith <bob@x.test>; carol@y.test"), 0);
    m.addRecipients(QStringLiteral("hidden@z.test"), 2);
    m.setSubject(QStringLiteral(u"问题 about a=b?"));
    m.setReplyTo({QString(), QStringLiteral("alice@home.test")});
    m.addTextBody(QStringLiteral(u".starts with a dot\n1+1=2 中文\n..two dots\n") + QString(120, QLatin1Char('x')));
    return m;
}

QString bodyText(const QJsonObject &mail)
{
    return mail.value(QStringLiteral("parts")).toArray().at(0).toObject().value(QStringLiteral("text")).toString();
}

QString header(const QJsonObject &mail, const char *name)
{
    return mail.value(QStringLiteral("headers")).toObject().value(QLatin1String(name)).toString();
}

struct Transcript {
    QByteArray sent, received;
    void attach(CSMTPConnection &c)
    {
        c.setTraceHook([this](bool out, const QByteArray &data) { (out ? sent : received) += data; });
    }
};

} // namespace

struct SmtpPlain : ::testing::Test {
    static void SetUpTestSuite()
    {
        server = new SmtpServerProcess({.refuseRecipientDomain = QStringLiteral("refused.test"),
                                        .refuseSender = QStringLiteral("blocked@x.test")});
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(server->started()) << server->error().toStdString(); }

    static SmtpServerProcess *server;
    RecordingMessageBoxes boxes;
};
SmtpServerProcess *SmtpPlain::server = nullptr;

TEST_F(SmtpPlain, SessionTranscriptIsExact)
{
    Transcript t;
    const int before = server->mailCount();
    {
        CSMTPConnection c(&boxes);
        t.attach(c);
        c.setGreetingHostName(QStringLiteral("client.test"));
        ASSERT_TRUE(c.connect(server->host(), QStringLiteral("quillora"), QStringLiteral("qm2007"), server->port()))
            << c.lastResponse().toStdString();
        EXPECT_FALSE(c.isEncrypted());
        CMailMessage m;
        m.setFrom({QString(), QStringLiteral("quillora@qzm.net")});
        m.addRecipients(QStringLiteral("bob@x.test"), 0);
        m.setSubject(QStringLiteral("Hello"));
        m.addTextBody(QStringLiteral("Hi Bob"));
        ASSERT_TRUE(c.sendMessage(m)) << c.lastResponse().toStdString();
        EXPECT_TRUE(c.disconnect());
    }
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(server->mailCount(), before + 1);

    // What the client said, up to the mail's date, which changes.
    const QByteArray head = "EHLO client.test\r\n"
                            "AUTH LOGIN\r\n"
                            "cXVpbGxvcmE=\r\n" // quillora
                            "cW0yMDA3\r\n"     // qm2007
                            "MAIL FROM:<quillora@qzm.net>\r\n"
                            "RCPT TO:<bob@x.test>\r\n"
                            "DATA\r\n"
                            "From: quillora@qzm.net\r\n"
                            "To: bob@x.test\r\n"
                            "Subject: Hello\r\n"
                            "Date: ";
    ASSERT_TRUE(t.sent.startsWith(head)) << t.sent.toStdString();
    const QByteArray tail = "X-Mailer: Quillora Mailer 3.5\r\n"
                            "MIME-Version: 1.0\r\n"
                            "Content-Type: text/plain; charset=UTF-8\r\n"
                            "Content-Transfer-Encoding: quoted-printable\r\n"
                            "\r\n"
                            "\r\n"
                            "Hi Bob\r\n"
                            ".\r\n"
                            "QUIT\r\n";
    EXPECT_TRUE(t.sent.endsWith(tail)) << t.sent.toStdString();
    EXPECT_EQ(t.sent.size(), head.size() + QByteArray("Tue, 01 May 2007 09:30:00 +0800\r\n").size() + tail.size());

    // What the server answered, reply by reply.
    const QList<QByteArray> replies = t.received.split('\n');
    EXPECT_TRUE(replies[0].startsWith("220 ")) << replies[0].toStdString();
    EXPECT_TRUE(t.received.contains("\r\n250-AUTH LOGIN PLAIN\r\n"));
    EXPECT_TRUE(
        t.received.contains("\r\n334 VXNlcm5hbWU6\r\n334 UGFzc3dvcmQ6\r\n235 2.7.0 Authentication successful\r\n"
                            "250 OK\r\n250 OK\r\n354 End data with <CR><LF>.<CR><LF>\r\n"
                            "250 Message accepted for delivery\r\n221 Bye\r\n"))
        << t.received.toStdString();
}

TEST_F(SmtpPlain, MailArrivesDecodedWithEveryRecipient)
{
    const int n = server->mailCount() + 1;
    Transcript t;
    {
        CSMTPConnection c(&boxes);
        t.attach(c);
        ASSERT_TRUE(c.connect(server->host(), QStringLiteral("quillora"), QStringLiteral("qm2007"), server->port()));
        ASSERT_TRUE(c.sendMessage(sampleMessage())) << c.lastResponse().toStdString();
    } // destruction says QUIT
    EXPECT_TRUE(t.sent.endsWith("QUIT\r\n"));
    // Every line that starts with a dot went out with a second one.
    EXPECT_TRUE(t.sent.contains("\r\n\r\n..starts with a dot\r\n")) << t.sent.toStdString();
    EXPECT_TRUE(t.sent.contains("\r\n...two dots\r\n"));

    const QJsonObject mail = server->mail(n);
    ASSERT_FALSE(mail.isEmpty());
    EXPECT_EQ(mail.value(QStringLiteral("mail_from")).toString(), QStringLiteral("quillora@qzm.net"));
    EXPECT_EQ(
        mail.value(QStringLiteral("rcpt_tos")).toArray(),
        QJsonArray({QStringLiteral("bob@x.test"), QStringLiteral("carol@y.test"), QStringLiteral("hidden@z.test")}));
    EXPECT_EQ(header(mail, "From"), QStringLiteral(u"小明"));
    EXPECT_TRUE(
        mail.value(QStringLiteral("raw")).toString().contains(QStringLiteral("\r\nTo: Bob Smith,carol@y.test\r\n")));
    EXPECT_EQ(header(mail, "Subject"), QStringLiteral(u"问题 about a=b?"));
    EXPECT_EQ(header(mail, "Reply-To"), QStringLiteral("alice@home.test"));
    EXPECT_EQ(header(mail, "X-Mailer"), QStringLiteral("Quillora Mailer 3.5"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^\w{3}, \d\d \w{3} \d{4} \d\d:\d\d:\d\d [+-]\d{4}$)"))
                    .match(header(mail, "Date"))
                    .hasMatch())
        << header(mail, "Date").toStdString();
    EXPECT_FALSE(mail.value(QStringLiteral("raw")).toString().contains(QStringLiteral("hidden@z.test")));
    EXPECT_TRUE(mail.value(QStringLiteral("raw")).toString().contains(QStringLiteral("Subject: =?gb2312?q?")));
    EXPECT_EQ(bodyText(mail).toStdString(),
              (QStringLiteral(u"\r\n.starts with a dot\r\n1+1=2 中文\r\n..two dots\r\n") +
               QString(120, QLatin1Char('x')) +
               QStringLiteral("\r\n")) // the reader ends the text with its last line break
                  .toStdString());
}

TEST_F(SmtpPlain, MimeMailWithAttachmentArrivesWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.bin"));
    QByteArray data;
    for (int i = 0; i < 1000; ++i)
        data.append(char(i * 7));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
    f.close();

    CMailMessage m = sampleMessage();
    m.setMime(true);
    ASSERT_EQ(m.addAttachments(path), 1);
    const int n = server->mailCount() + 1;
    CSMTPConnection c(&boxes);
    ASSERT_TRUE(c.connect(server->host(), QStringLiteral("quillora"), QStringLiteral("qm2007"), server->port()));
    ASSERT_TRUE(c.sendMessage(m)) << c.lastResponse().toStdString();
    // A second mail on the same connection.
    ASSERT_TRUE(c.sendMessage(sampleMessage()));

    const QJsonObject mail = server->mail(n);
    const QJsonArray parts = mail.value(QStringLiteral("parts")).toArray();
    ASSERT_EQ(parts.size(), 2) << QJsonDocument(mail).toJson().toStdString();
    EXPECT_EQ(parts[0].toObject().value(QStringLiteral("charset")).toString(), QStringLiteral("gb2312"));
    EXPECT_EQ(parts[0].toObject().value(QStringLiteral("text")).toString().toStdString(),
              (QStringLiteral(u".starts with a dot\r\n1+1=2 中文\r\n..two dots\r\n") + QString(120, QLatin1Char('x')) +
               QStringLiteral("\r\n")) // the reader ends the text with its last line break
                  .toStdString());
    EXPECT_EQ(parts[1].toObject().value(QStringLiteral("filename")).toString(), QStringLiteral("data.bin"));
    EXPECT_EQ(QByteArray::fromBase64(parts[1].toObject().value(QStringLiteral("base64")).toString().toLatin1()), data);
    EXPECT_FALSE(server->mail(n + 1).isEmpty());
}

TEST_F(SmtpPlain, EachStageFailsWithItsCode)
{
    {
        // A wrong password: the server's refusal is kept, and QUIT still goes out.
        Transcript t;
        CSMTPConnection c(&boxes);
        t.attach(c);
        EXPECT_FALSE(c.connect(server->host(), QStringLiteral("quillora"), QStringLiteral("wrong"), server->port()));
        EXPECT_EQ(c.lastError(), kErrorUnexpectedReply);
        EXPECT_TRUE(c.lastResponse().startsWith(QStringLiteral("535 "))) << c.lastResponse().toStdString();
        EXPECT_TRUE(t.sent.endsWith("QUIT\r\n"));
        EXPECT_FALSE(c.isConnected());
    }
    {
        CSMTPConnection c(&boxes);
        ASSERT_TRUE(c.connect(server->host(), QStringLiteral("quillora"), QStringLiteral("qm2007"), server->port()));
        CMailMessage m = sampleMessage();
        m.addRecipients(QStringLiteral("nobody@refused.test"), 1);
        EXPECT_FALSE(c.sendMessage(m));
        EXPECT_EQ(c.lastError(), kErrorCommandRefused);
        EXPECT_EQ(c.lastResponse(), QStringLiteral("550 5.1.1 Mailbox unavailable"));
        EXPECT_TRUE(c.isConnected());

        m = sampleMessage();
        m.setFrom({QString(), QStringLiteral("blocked@x.test")});
        // The refused transaction left the session usable: a new one starts.
        EXPECT_FALSE(c.sendMessage(m));
        EXPECT_EQ(c.lastResponse(), QStringLiteral("553 5.7.1 Sender address rejected"));

        // A header line smuggled into a value never reaches the server.
        m = sampleMessage();
        m.setSubject(QStringLiteral("x\r\nBcc: victim@x.test"));
        EXPECT_FALSE(c.sendMessage(m));
        EXPECT_EQ(c.lastError(), kErrorInvalidData);
        EXPECT_TRUE(c.disconnect());
    }
    EXPECT_TRUE(boxes.shown.empty());

    // Nobody listening: the connect box and "connection refused".
    int closedPort = 0;
    {
        ScriptedSmtpPeer gone("", {});
        closedPort = gone.port();
    }
    CSMTPConnection c(&boxes);
    EXPECT_FALSE(c.connect(QStringLiteral("127.0.0.1"), QStringLiteral("u"), QStringLiteral("p"), closedPort));
    EXPECT_EQ(c.lastError(), kErrorConnectionRefused);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Failed to connect to server"));
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Error);

    EXPECT_FALSE(c.connect(QStringLiteral("no-such-host.invalid"), QStringLiteral("u"), QStringLiteral("p"), 25));
    EXPECT_EQ(c.lastError(), kErrorNameNotResolved);
    EXPECT_EQ(boxes.lastText(), QStringLiteral("Failed to connect to server"));
}

TEST(SmtpScripted, RepliesOutsideTheRules)
{
    RecordingMessageBoxes boxes;
    {
        // A greeting that refuses service.
        ScriptedSmtpPeer peer("554 no service\r\n", {"221 bye\r\n"});
        CSMTPConnection c(&boxes);
        EXPECT_FALSE(c.connect(QStringLiteral("127.0.0.1"), QStringLiteral("u"), QStringLiteral("p"), peer.port()));
        EXPECT_EQ(c.lastError(), kErrorUnexpectedReply);
        EXPECT_EQ(c.lastResponse(), QStringLiteral("554 no service"));
    }
    {
        // EHLO refused; there is no other greeting to fall back on.
        ScriptedSmtpPeer peer("220 hi\r\n", {"502 not here\r\n", "221 bye\r\n"});
        CSMTPConnection c(&boxes);
        c.setGreetingHostName(QStringLiteral("me"));
        EXPECT_FALSE(c.connect(QStringLiteral("127.0.0.1"), QStringLiteral("u"), QStringLiteral("p"), peer.port()));
        EXPECT_EQ(c.lastResponse(), QStringLiteral("502 not here"));
        c.disconnect();
        const auto got = peer.received();
        EXPECT_EQ(got, (std::vector<std::string>{"EHLO me\r\n", "QUIT\r\n"}));
    }
    {
        // A multi-line EHLO reply arriving in pieces is read to its end, so
        // its later lines are not taken for the next reply. The second
        // challenge must read "Password:".
        ScriptedSmtpPeer peer("220 hi\r\n",
                              {"250-first\r\n", "334 VXNlcm5hbWU6\r\n", "334 UGFzczo=\r\n", "221 bye\r\n"});
        CSMTPConnection c(&boxes);
        c.setReplyTimeout(500);
        EXPECT_FALSE(c.connect(QStringLiteral("127.0.0.1"), QStringLiteral("u"), QStringLiteral("p"), peer.port()));
        // "250-first" never ends the reply: the read runs into the limit.
        EXPECT_EQ(c.lastError(), kErrorTimedOut);
    }
    {
        ScriptedSmtpPeer peer("220 hi\r\n", {"250-first\r\n250 AUTH LOGIN\r\n", "334 VXNlcm5hbWU6\r\n",
                                             "334 UGFzczo=\r\n", "501 cancelled\r\n", "221 bye\r\n"});
        CSMTPConnection c(&boxes);
        EXPECT_FALSE(c.connect(QStringLiteral("127.0.0.1"), QStringLiteral("u"), QStringLiteral("p"), peer.port()));
        EXPECT_EQ(c.lastError(), kErrorUnexpectedReply);
        EXPECT_EQ(c.lastResponse(), QStringLiteral("334 UGFzczo="));
        c.disconnect();
        const auto got = peer.received();
        ASSERT_EQ(got.size(), 5u);
        EXPECT_EQ(got[2], "dQ==\r\n"); // the user name; the password is never sent
        EXPECT_EQ(got[3], "*\r\n");    // the exchange is cancelled before QUIT
        EXPECT_EQ(got[4], "QUIT\r\n");
    }
    {
        // DATA refused: the transaction is reset and the refusal reported.
        ScriptedSmtpPeer peer("220 hi\r\n",
                              {"250 ok\r\n", "334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n", "250 ok\r\n",
                               "250 ok\r\n", "554 no data today\r\n", "250 reset\r\n", "221 bye\r\n"});
        CSMTPConnection c(&boxes);
        ASSERT_TRUE(c.connect(QStringLiteral("127.0.0.1"), QStringLiteral("u"), QStringLiteral("p"), peer.port()));
        CMailMessage m;
        m.setFrom({QString(), QStringLiteral("me@x.test")});
        m.addRecipients(QStringLiteral("you@x.test"), 0);
        EXPECT_FALSE(c.sendMessage(m));
        EXPECT_EQ(c.lastError(), kErrorCommandRefused);
        EXPECT_EQ(c.lastResponse(), QStringLiteral("554 no data today"));
        EXPECT_TRUE(c.disconnect());
        const auto got = peer.received();
        ASSERT_EQ(got.size(), 9u);
        EXPECT_EQ(got[6], "DATA\r\n");
        EXPECT_EQ(got[7], "RSET\r\n");
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(SmtpScripted, ServerThatStopsAnsweringTimesOut)
{
    RecordingMessageBoxes boxes;
    ScriptedSmtpPeer peer("220 hi\r\n", {}); // EHLO gets no answer
    CSMTPConnection c(&boxes);
    c.setReplyTimeout(400);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(c.connect(QStringLiteral("127.0.0.1"), QStringLiteral("u"), QStringLiteral("p"), peer.port()));
    EXPECT_EQ(c.lastError(), kErrorTimedOut);
    EXPECT_GE(timer.elapsed(), 400);
    // No QUIT into a stream that stopped answering: it would only wait again.
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_FALSE(c.isConnected());
}

struct SmtpStartTls : ::testing::Test {
    static void SetUpTestSuite() { server = new SmtpServerProcess({.startTls = true}); }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(server->started()) << server->error().toStdString(); }
    static SmtpServerProcess *server;
    RecordingMessageBoxes boxes;
};
SmtpServerProcess *SmtpStartTls::server = nullptr;

TEST_F(SmtpStartTls, UpgradesBeforeLoggingIn)
{
    Transcript t;
    const int n = server->mailCount() + 1;
    {
        CSMTPConnection c(&boxes);
        t.attach(c);
        c.setGreetingHostName(QStringLiteral("client.test"));
        c.setTrustFile(server->certificateFile());
        ASSERT_TRUE(c.connect(server->host(), QStringLiteral("quillora"), QStringLiteral("qm2007"), server->port()))
            << c.lastResponse().toStdString();
        EXPECT_TRUE(c.isEncrypted());
        ASSERT_TRUE(c.sendMessage(sampleMessage())) << c.lastResponse().toStdString();
        EXPECT_TRUE(c.disconnect());
    }
    EXPECT_TRUE(t.sent.startsWith("EHLO client.test\r\nSTARTTLS\r\nEHLO client.test\r\nAUTH LOGIN\r\n"))
        << t.sent.toStdString();
    const QJsonObject mail = server->mail(n);
    EXPECT_TRUE(mail.value(QStringLiteral("encrypted")).toBool());
    EXPECT_TRUE(mail.value(QStringLiteral("authenticated")).toBool());
    EXPECT_EQ(header(mail, "Subject"), QStringLiteral(u"问题 about a=b?"));
}

TEST_F(SmtpStartTls, UntrustedCertificateStopsBeforeThePassword)
{
    Transcript t;
    CSMTPConnection c(&boxes);
    t.attach(c); // the system store does not know the test's certificate
    EXPECT_FALSE(c.connect(server->host(), QStringLiteral("quillora"), QStringLiteral("qm2007"), server->port()));
    EXPECT_EQ(c.lastError(), kErrorConnectionAborted);
    EXPECT_FALSE(t.sent.contains("AUTH"));
    EXPECT_FALSE(c.isConnected());
}

TEST(SmtpTlsPolicy, RequiredTlsRefusesAPlainServer)
{
    SmtpServerProcess plain;
    ASSERT_TRUE(plain.started()) << plain.error().toStdString();
    RecordingMessageBoxes boxes;
    Transcript t;
    CSMTPConnection c(&boxes);
    t.attach(c);
    c.setTlsPolicy(TlsPolicy::Required);
    EXPECT_FALSE(c.connect(plain.host(), QStringLiteral("quillora"), QStringLiteral("qm2007"), plain.port()));
    EXPECT_EQ(c.lastError(), kErrorUnexpectedReply);
    EXPECT_FALSE(t.sent.contains("AUTH"));
    EXPECT_TRUE(t.sent.endsWith("QUIT\r\n"));
}

namespace {

// The DER bytes of the first certificate of a PEM file.
std::string derOf(const QString &pemFile)
{
    QFile file(pemFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray base64;
    bool inside = false;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("-----BEGIN"))
            inside = true;
        else if (line.startsWith("-----END"))
            break;
        else if (inside)
            base64 += line.trimmed();
    }
    return QByteArray::fromBase64(base64).toStdString();
}

} // namespace

// The embedded browser's check of a chain its engine could not place: our
// CA's file alone decides, with the dates and the host.
TEST(TlsTrust, ChainCheckedAgainstTheCaFileAlone)
{
    using quillora::platform::net::ChainVerdict;
    quillora::testpeers::TestCertificates certs;
    ASSERT_TRUE(certs.made()) << qPrintable(certs.error());
    const std::string ca = certs.caFile().toStdString();
    const std::string good = derOf(certs.certificate(QStringLiteral("good")));
    ASSERT_FALSE(good.empty());
    struct Row {
        const char *name;
        std::vector<std::string> chain;
        std::string caFile;
        const char *host;
        ChainVerdict expected;
    };
    const Row rows[] = {
        {"ours, for its address", {good}, ca, "127.0.0.1", ChainVerdict::Trusted},
        {"ours, for its name", {good}, ca, "localhost", ChainVerdict::Trusted},
        {"ours with the CA sent along", {good, derOf(certs.caFile())}, ca, "127.0.0.1", ChainVerdict::Trusted},
        {"ours, for another address", {good}, ca, "127.0.0.2", ChainVerdict::WrongHost},
        {"issued for another name",
         {derOf(certs.certificate(QStringLiteral("wrong-host")))},
         ca,
         "127.0.0.1",
         ChainVerdict::WrongHost},
        {"expired", {derOf(certs.certificate(QStringLiteral("expired")))}, ca, "127.0.0.1", ChainVerdict::Expired},
        {"another CA's",
         {derOf(certs.certificate(QStringLiteral("unknown-ca")))},
         ca,
         "127.0.0.1",
         ChainVerdict::Untrusted},
        {"no CA file", {good}, "", "127.0.0.1", ChainVerdict::NoAuthority},
        {"a CA file that is missing", {good}, ca + ".gone", "127.0.0.1", ChainVerdict::NoAuthority},
        {"a CA file without a certificate",
         {good},
         certs.key(QStringLiteral("good")).toStdString(),
         "127.0.0.1",
         ChainVerdict::NoAuthority},
        {"no certificate", {}, ca, "127.0.0.1", ChainVerdict::Malformed},
        {"not DER", {std::string("\x30\x03garbage", 10)}, ca, "127.0.0.1", ChainVerdict::Malformed},
        {"longer than the limit", std::vector<std::string>(quillora::platform::net::kMaxChainLength + 1, good), ca,
         "127.0.0.1", ChainVerdict::Malformed},
    };
    for (const Row &r : rows)
        EXPECT_EQ(quillora::platform::net::verifyChainWithCa(r.chain, r.caFile, r.host), r.expected)
            << r.name << ": "
            << quillora::platform::net::verdictText(
                   quillora::platform::net::verifyChainWithCa(r.chain, r.caFile, r.host));
}
