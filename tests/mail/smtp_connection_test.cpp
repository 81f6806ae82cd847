// CSMTPConnection against a real SMTP server on loopback (aiosmtpd, started
// per suite), and against a scripted peer for replies no real server gives.
#include "smtp_connection.h"
#include "smtp_server_process.h"
#include "test_certificates.h"

#include "platform/certificate_chain.h"
#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
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

// How a scripted peer paces itself.
struct PeerPace {
    int dripMs = 0;           // send each reply a byte at a time, this far apart
    qsizetype pauseEvery = 0; // after DATA's 354: pause after every this many bytes read ...
    int pauseMs = 0;          // ... for this long
};

// A peer that greets with `greeting`, answers each received line with the
// next reply, and then stays silent until the client hangs up. After a 354
// reply it reads the mail up to its final "." line before answering again.
class ScriptedSmtpPeer {
  public:
    ScriptedSmtpPeer(std::string greeting, std::vector<std::string> replies, PeerPace pace = {})
        : m_greeting(std::move(greeting)), m_replies(std::move(replies)), m_pace(pace)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        if (m_pace.pauseEvery > 0) {
            // A small window, so that a slow reader holds the sender back.
            const int window = 64 * 1024;
            ::setsockopt(m_listen, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
        }
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
    // Bytes of mail content read after 354 replies, the final "." line included.
    qsizetype dataBytes() const { return m_dataBytes; }

  private:
    bool sendReply(int fd, const std::string &r)
    {
        if (m_pace.dripMs <= 0)
            return ::send(fd, r.data(), r.size(), MSG_NOSIGNAL) == ssize_t(r.size());
        for (const char c : r) {
            if (m_stop || ::send(fd, &c, 1, MSG_NOSIGNAL) != 1)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(m_pace.dripMs));
        }
        return true;
    }
    // Reads the mail content up to "\r\n.\r\n", pausing as the pace says.
    void readData(int fd, std::string &pending)
    {
        std::string tail = pending;
        m_dataBytes += qsizetype(pending.size());
        pending.clear();
        qsizetype sincePause = 0;
        std::vector<char> buf(64 * 1024);
        while (!m_stop && (tail.size() < 5 || tail.compare(tail.size() - 5, 5, "\r\n.\r\n") != 0)) {
            pollfd q{fd, POLLIN, 0};
            if (::poll(&q, 1, 50) <= 0)
                continue;
            const size_t want = m_pace.pauseEvery > 0
                                    ? size_t(std::min<qsizetype>(qsizetype(buf.size()), m_pace.pauseEvery - sincePause))
                                    : buf.size();
            const ssize_t n = ::recv(fd, buf.data(), want, 0);
            if (n <= 0)
                return;
            m_dataBytes += n;
            tail.append(buf.data(), size_t(n));
            if (tail.size() > 5)
                tail.erase(0, tail.size() - 5);
            sincePause += n;
            if (m_pace.pauseEvery > 0 && sincePause >= m_pace.pauseEvery) {
                std::this_thread::sleep_for(std::chrono::milliseconds(m_pace.pauseMs));
                sincePause = 0;
            }
        }
    }
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
                    if (!sendReply(fd, r))
                        break;
                    if (r.compare(0, 3, "354") == 0) {
                        readData(fd, pending); // then the reply to the mail
                        if (next < m_replies.size() && !sendReply(fd, m_replies[next++]))
                            break;
                    }
                }
            }
        }
        ::close(fd);
    }

    std::string m_greeting;
    std::vector<std::string> m_replies;
    PeerPace m_pace;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_received;
    std::atomic<qsizetype> m_dataBytes{0};
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A body with a dot at the start of lines, "=", 8-bit text, and a dot that
// a soft line break of quoted-printable puts at the start of a line.
QString sampleBody()
{
    return QStringLiteral(u".starts with a dot\n1+1=2 中文\n..two dots\n") + QString(75, QLatin1Char('x')) +
           QStringLiteral(".after a soft break\n") + QString(120, QLatin1Char('x'));
}

CMailMessage sampleMessage()
{
    CMailMessage m;
    m.setCharset(QStringLiteral("gb2312"));
    m.setFrom({QStringLiteral(u"小明"), QStringLiteral("quillora@qzm.net")});
    m.addRecipients(QStringLiteral("Bob Smith <bob@x.test>; carol@y.test"), 0);
    m.addRecipients(QStringLiteral("hidden@z.test"), 2);
    m.setSubject(QStringLiteral(u"问题 about a=b?"));
    m.setReplyTo({QString(), QStringLiteral("alice@home.test")});
    m.addTextBody(sampleBody());
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

// An address header as the receiver parsed it: [[display name, address], ...].
QJsonArray addresses(const QJsonObject &mail, const char *name)
{
    return mail.value(QStringLiteral("addresses")).toObject().value(QLatin1String(name)).toArray();
}

QJsonArray named(const QString &name, const QString &address)
{
    return QJsonArray{name, address};
}

// What the strict reader found wrong with the mail, in any header or part.
std::string defects(const QJsonObject &mail)
{
    return QJsonDocument(mail.value(QStringLiteral("defects")).toArray()).toJson(QJsonDocument::Compact).toStdString();
}

// The longest line of the mail as received, in octets.
qsizetype longestLine(const QJsonObject &mail, bool headerOnly)
{
    QString raw = mail.value(QStringLiteral("raw")).toString();
    if (headerOnly)
        raw = raw.left(raw.indexOf(QStringLiteral("\r\n\r\n")));
    qsizetype longest = 0;
    for (const QString &line : raw.split(QStringLiteral("\r\n")))
        longest = std::max(longest, line.size());
    return longest;
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

    // What the client said; the date and the Message-ID change.
    QString sent = QString::fromLatin1(t.sent);
    sent.replace(QRegularExpression(QStringLiteral("\r\nDate: [^\r]+\r\n")), QStringLiteral("\r\nDate: D\r\n"));
    sent.replace(
        QRegularExpression(QStringLiteral("\r\nMessage-ID: <[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}@qzm\\.net>\r\n")),
        QStringLiteral("\r\nMessage-ID: ID\r\n"));
    EXPECT_EQ(sent.toStdString(), "EHLO client.test\r\n"
                                  "AUTH LOGIN\r\n"
                                  "cXVpbGxvcmE=\r\n" // quillora
                                  "cW0yMDA3\r\n"     // qm2007
                                  "MAIL FROM:<quillora@qzm.net>\r\n"
                                  "RCPT TO:<bob@x.test>\r\n"
                                  "DATA\r\n"
                                  "From: quillora@qzm.net\r\n"
                                  "To: bob@x.test\r\n"
                                  "Subject: Hello\r\n"
                                  "Date: D\r\n"
                                  "Message-ID: ID\r\n"
                                  "X-Mailer: Quillora Mailer 3.5\r\n"
                                  "MIME-Version: 1.0\r\n"
                                  "Content-Type: text/plain; charset=UTF-8\r\n"
                                  "Content-Transfer-Encoding: quoted-printable\r\n"
                                  "\r\n"
                                  "\r\n"
                                  "Hi Bob\r\n"
                                  ".\r\n"
                                  "QUIT\r\n");

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
    EXPECT_EQ(defects(mail), "[]");
    EXPECT_EQ(addresses(mail, "From"), QJsonArray{named(QStringLiteral(u"小明"), QStringLiteral("quillora@qzm.net"))});
    EXPECT_EQ(addresses(mail, "To"), (QJsonArray{named(QStringLiteral("Bob Smith"), QStringLiteral("bob@x.test")),
                                                 named(QString(), QStringLiteral("carol@y.test"))}));
    EXPECT_EQ(addresses(mail, "Reply-To"), QJsonArray{named(QString(), QStringLiteral("alice@home.test"))});
    EXPECT_EQ(header(mail, "Subject"), QStringLiteral(u"问题 about a=b?"));
    EXPECT_EQ(header(mail, "X-Mailer"), QStringLiteral("Quillora Mailer 3.5"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^\w{3}, \d\d \w{3} \d{4} \d\d:\d\d:\d\d [+-]\d{4}$)"))
                    .match(header(mail, "Date"))
                    .hasMatch())
        << header(mail, "Date").toStdString();
    EXPECT_FALSE(mail.value(QStringLiteral("raw")).toString().contains(QStringLiteral("hidden@z.test")));
    EXPECT_TRUE(mail.value(QStringLiteral("raw")).toString().contains(QStringLiteral("Subject: =?gb2312?q?")));
    // The dot that a soft line break put at the start of a line went out doubled.
    EXPECT_TRUE(t.sent.contains("=\r\n..after a soft break")) << t.sent.toStdString();
    EXPECT_EQ(bodyText(mail).toStdString(),
              (QStringLiteral("\r\n") + mime::normaliseLineBreaks(sampleBody()) +
               QStringLiteral("\r\n")) // the reader ends the text with its last line break
                  .toStdString());
}

TEST_F(SmtpPlain, NamesArriveAsNamesWithTheirAddresses)
{
    struct Row {
        const char *what;
        QString name;     // given as From's and the first To's display name
        QString expected; // the display name the receiver reads
    };
    const QString forged = QStringLiteral("Support <help@bank.example>");
    const std::vector<Row> rows = {
        {"plain words", QStringLiteral("Alice Smith"), QStringLiteral("Alice Smith")},
        {"specials and quotes", QStringLiteral(R"(J. "Bob" O'Neil, Jr. \ (admin))"),
         QStringLiteral(R"(J. "Bob" O'Neil, Jr. \ (admin))")},
        {"blanks only", QStringLiteral("   "), QString()},
        {"gb2312 text", QStringLiteral(u"小明 Wang"), QStringLiteral(u"小明 Wang")},
        {"beyond gb2312", QStringLiteral(u"Zoë 😀"), QStringLiteral(u"Zoë 😀")},
        {"tries to forge an address", forged, forged},
        {"forged, with a line of its own", QStringLiteral("x@y.test>, <evil@bank.example"),
         QStringLiteral("x@y.test>, <evil@bank.example")},
        {"longer than a line",
         QStringLiteral("A.  Name, far longer than one line of a mail header can hold (really), ") + forged,
         QStringLiteral("A.  Name, far longer than one line of a mail header can hold (really), ") + forged},
    };
    CSMTPConnection c(&boxes);
    ASSERT_TRUE(c.connect(server->host(), QStringLiteral("quillora"), QStringLiteral("qm2007"), server->port()));
    QSet<QString> ids;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        CMailMessage m;
        m.setCharset(QStringLiteral("gb2312"));
        m.setFrom({row.name, QStringLiteral("quillora@qzm.net")});
        m.addRecipient({row.name, QStringLiteral("bob@x.test")}, 0);
        m.addRecipient({QString(), QStringLiteral("carol@y.test")}, 0);
        m.setSubject(QStringLiteral("Names"));
        m.addTextBody(QStringLiteral("Hi"));
        const int n = server->mailCount() + 1;
        ASSERT_TRUE(c.sendMessage(m)) << c.lastResponse().toStdString();
        const QJsonObject mail = server->mail(n);
        EXPECT_EQ(defects(mail), "[]") << mail.value(QStringLiteral("raw")).toString().toStdString();
        EXPECT_EQ(addresses(mail, "From"), QJsonArray{named(row.expected, QStringLiteral("quillora@qzm.net"))});
        EXPECT_EQ(addresses(mail, "To"), (QJsonArray{named(row.expected, QStringLiteral("bob@x.test")),
                                                     named(QString(), QStringLiteral("carol@y.test"))}))
            << QJsonDocument(mail.value(QStringLiteral("addresses")).toObject()).toJson().toStdString()
            << mail.value(QStringLiteral("raw")).toString().toStdString();
        EXPECT_LE(longestLine(mail, true), 78);
        const QString id = header(mail, "Message-ID");
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^<[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}@qzm\\.net>$"))
                        .match(id)
                        .hasMatch())
            << id.toStdString();
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), qsizetype(rows.size()));
}

TEST_F(SmtpPlain, LongHeadersFoldAndDecodeBack)
{
    // 300 Chinese characters and 40 named recipients: far past the 998
    // octets a line may hold, unless folded.
    QString subject;
    for (int i = 0; i < 300; ++i)
        subject += QChar(u"问题中文邮件主题测试"[i % 10]);
    CMailMessage m;
    m.setCharset(QStringLiteral("gb2312"));
    m.setFrom({QStringLiteral(u"小明"), QStringLiteral("quillora@qzm.net")});
    QJsonArray expectedTo;
    QJsonArray expectedRcpt;
    for (int i = 0; i < 40; ++i) {
        const QString name = i % 2 ? QStringLiteral(u"收件人 %1").arg(i) : QStringLiteral("Reader Number %1").arg(i);
        const QString address = QStringLiteral("reader%1@x.test").arg(i);
        m.addRecipient({name, address}, 0);
        expectedTo.append(named(name, address));
        expectedRcpt.append(address);
    }
    m.setSubject(subject);
    m.addTextBody(QStringLiteral("Many readers"));

    const int n = server->mailCount() + 1;
    Transcript t;
    CSMTPConnection c(&boxes);
    t.attach(c);
    ASSERT_TRUE(c.connect(server->host(), QStringLiteral("quillora"), QStringLiteral("qm2007"), server->port()));
    ASSERT_TRUE(c.sendMessage(m)) << c.lastResponse().toStdString();
    const QJsonObject mail = server->mail(n);
    EXPECT_EQ(defects(mail), "[]");
    EXPECT_EQ(header(mail, "Subject"), subject);
    EXPECT_EQ(addresses(mail, "To"), expectedTo);
    EXPECT_EQ(mail.value(QStringLiteral("rcpt_tos")).toArray(), expectedRcpt);
    // Folded at 78 everywhere, each encoded word at most 75 characters long.
    EXPECT_LE(longestLine(mail, false), 78);
    static const QRegularExpression word(QStringLiteral(R"(=\?[^?]+\?q\?[^?]*\?=)"));
    int words = 0;
    for (auto it = word.globalMatch(mail.value(QStringLiteral("raw")).toString()); it.hasNext(); ++words)
        EXPECT_LE(it.next().capturedLength(), 75);
    EXPECT_GT(words, 30);
}

TEST_F(SmtpPlain, MimeMailWithAttachmentArrivesWhole)
{
    struct Row {
        const char *what;
        QString name;
        QByteArray data;
    };
    QByteArray binary;
    for (int i = 0; i < 1000; ++i)
        binary.append(char(i * 7));
    const std::vector<Row> rows = {
        {"blanks, semicolon, parentheses", QStringLiteral("my report; final (v2).txt"), binary},
        {"non-ASCII", QStringLiteral(u"报告 第二版.txt"), "gb\n"},
        {"quotes and backslash", QStringLiteral(R"(quote "x" back\slash.bin)"), binary.left(77)},
        {"tab and line break", QStringLiteral("tab\there\nnext line.txt"), "x"},
        {"longer than a line", QString(110, QLatin1Char('n')) + QStringLiteral(u"é.txt"), binary.left(57)},
        {"empty file", QStringLiteral("empty.bin"), QByteArray()},
    };
    QTemporaryDir dir;
    CMailMessage m = sampleMessage();
    m.setMime(true);
    for (size_t i = 0; i < rows.size(); ++i) {
        const QString path = dir.filePath(QString::number(i));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(rows[i].data);
        f.close();
        CMailBodyPart part;
        ASSERT_TRUE(part.setFileName(path));
        part.title = rows[i].name;
        part.contentType = QStringLiteral("application/octet-stream");
        m.root().addChild(part);
    }
    const int n = server->mailCount() + 1;
    CSMTPConnection c(&boxes);
    ASSERT_TRUE(c.connect(server->host(), QStringLiteral("quillora"), QStringLiteral("qm2007"), server->port()));
    ASSERT_TRUE(c.sendMessage(m)) << c.lastResponse().toStdString();
    // A second mail on the same connection.
    ASSERT_TRUE(c.sendMessage(sampleMessage()));

    const QJsonObject mail = server->mail(n);
    EXPECT_EQ(defects(mail), "[]");
    EXPECT_LE(longestLine(mail, false), 78);
    const QJsonArray parts = mail.value(QStringLiteral("parts")).toArray();
    ASSERT_EQ(parts.size(), qsizetype(rows.size() + 1)) << QJsonDocument(mail).toJson().toStdString();
    EXPECT_EQ(parts[0].toObject().value(QStringLiteral("charset")).toString(), QStringLiteral("gb2312"));
    EXPECT_EQ(parts[0].toObject().value(QStringLiteral("text")).toString().toStdString(),
              mime::normaliseLineBreaks(sampleBody()).toStdString());
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].what);
        const QJsonObject part = parts[qsizetype(i) + 1].toObject();
        EXPECT_EQ(part.value(QStringLiteral("filename")).toString(), rows[i].name);
        EXPECT_EQ(QByteArray::fromBase64(part.value(QStringLiteral("base64")).toString().toLatin1()), rows[i].data);
    }
    EXPECT_FALSE(server->mail(n + 1).isEmpty());
}

TEST_F(SmtpPlain, EveryStructureArrivesSound)
{
    const auto text = [](const QString &content, const char *type = "text/plain") {
        CMailBodyPart p;
        p.setText(content);
        p.contentType = QLatin1String(type);
        return p;
    };
    struct Row {
        const char *what;
        std::function<void(CMailMessage &)> build;
        std::vector<std::pair<const char *, QString>> parts; // content type and text, as received
    };
    const std::vector<Row> rows = {
        {"MIME on without any part",
         [](CMailMessage &m) { m.setMime(true); },
         {{"text/plain", QStringLiteral("\r\n\r\n")}}}, // a single text starts after an empty line
        {"MIME off with a part added to the root",
         [&](CMailMessage &m) {
             m.addTextBody(QStringLiteral("own text"));
             m.root().addChild(text(QStringLiteral("child")));
         },
         {{"text/plain", QStringLiteral("own text")}, {"text/plain", QStringLiteral("child")}}},
        {"a part with parts of its own",
         [&](CMailMessage &m) {
             m.setMime(true);
             m.addTextBody(QStringLiteral("first"));
             CMailBodyPart alternative = text(QStringLiteral("its own text"));
             alternative.addChild(text(QStringLiteral("plain")));
             alternative.addChild(text(QStringLiteral("<b>rich</b>"), "text/html"));
             m.root().addChild(alternative);
         },
         {{"text/plain", QStringLiteral("first")},
          {"text/plain", QStringLiteral("its own text")},
          {"text/plain", QStringLiteral("plain")},
          {"text/html", QStringLiteral("<b>rich</b>")}}},
        {"8-bit text without quoted-printable",
         [&](CMailMessage &m) {
             m.setMime(true);
             CMailBodyPart raw = text(QStringLiteral(u"中文 = ") + QString(1200, QLatin1Char('y')));
             raw.quotedPrintable = false;
             m.root().addChild(raw);
         },
         {{"text/plain", QStringLiteral(u"中文 = ") + QString(1200, QLatin1Char('y'))}}},
    };
    CSMTPConnection c(&boxes);
    ASSERT_TRUE(c.connect(server->host(), QStringLiteral("quillora"), QStringLiteral("qm2007"), server->port()));
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        CMailMessage m;
        m.setFrom({QString(), QStringLiteral("quillora@qzm.net")});
        m.addRecipients(QStringLiteral("bob@x.test"), 0);
        row.build(m);
        const int n = server->mailCount() + 1;
        ASSERT_TRUE(c.sendMessage(m)) << c.lastResponse().toStdString();
        const QJsonObject mail = server->mail(n);
        EXPECT_EQ(defects(mail), "[]") << mail.value(QStringLiteral("raw")).toString().toStdString();
        EXPECT_LE(longestLine(mail, false), 998);
        const QJsonArray parts = mail.value(QStringLiteral("parts")).toArray();
        ASSERT_EQ(parts.size(), qsizetype(row.parts.size())) << QJsonDocument(mail).toJson().toStdString();
        for (size_t i = 0; i < row.parts.size(); ++i) {
            const QJsonObject part = parts[qsizetype(i)].toObject();
            EXPECT_EQ(part.value(QStringLiteral("content_type")).toString(), QLatin1String(row.parts[i].first));
            EXPECT_EQ(part.value(QStringLiteral("text")).toString().toStdString(), row.parts[i].second.toStdString());
        }
    }
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

        // A header line smuggled into a value, or an envelope address that
        // would change its command, never reaches the server.
        const std::vector<std::pair<const char *, std::function<void(CMailMessage &)>>> refused = {
            {"subject with a line break", [](CMailMessage &x) { x.setSubject(QStringLiteral("x\r\nBcc: v@x.test")); }},
            {"hidden recipient with a blank",
             [](CMailMessage &x) {
                 x.addRecipient({{}, QStringLiteral("b c@x.test")}, 2);
             }},
            {"reply address in brackets",
             [](CMailMessage &x) {
                 x.setReplyTo({{}, QStringLiteral("<a@x.test>")});
             }},
        };
        for (const auto &[what, spoil] : refused) {
            SCOPED_TRACE(what);
            m = sampleMessage();
            spoil(m);
            Transcript t;
            t.attach(c);
            EXPECT_FALSE(c.sendMessage(m));
            EXPECT_EQ(c.lastError(), kErrorInvalidData);
            EXPECT_TRUE(t.sent.isEmpty()) << t.sent.toStdString();
        }
        c.setTraceHook({});
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
    {
        // 2 MiB of "250-" lines: the reply is given up at 1 MiB, before the
        // client goes on to log in as if it had been read.
        std::string huge;
        while (huge.size() < 2 * 1024 * 1024)
            huge += "250-" + std::string(60, 'x') + "\r\n";
        ScriptedSmtpPeer peer("220 hi\r\n", {huge + "250 AUTH LOGIN\r\n", "334 VXNlcm5hbWU6\r\n",
                                             "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n", "221 bye\r\n"});
        CSMTPConnection c(&boxes);
        c.setGreetingHostName(QStringLiteral("me"));
        EXPECT_FALSE(c.connect(QStringLiteral("127.0.0.1"), QStringLiteral("u"), QStringLiteral("p"), peer.port()));
        EXPECT_EQ(c.lastError(), kErrorUnexpectedReply);
        EXPECT_LE(c.lastResponse().size(), 1024 * 1024);
        EXPECT_EQ(peer.received(), (std::vector<std::string>{"EHLO me\r\n"}));
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(SmtpScripted, TimeLimitsCountSilenceAndWholeReplies)
{
    RecordingMessageBoxes boxes;
    {
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
    {
        // A reply that trickles in a byte at a time is never silent for long,
        // but it may not take longer than the total limit.
        ScriptedSmtpPeer peer("220 hi\r\n", {"250-" + std::string(300, 'x') + "\r\n250 AUTH LOGIN\r\n"},
                              {.dripMs = 20});
        CSMTPConnection c(&boxes);
        c.setGreetingHostName(QStringLiteral("me"));
        c.setReplyTimeout(2000);
        c.setReplyTotalTimeout(1000);
        EXPECT_FALSE(c.connect(QStringLiteral("127.0.0.1"), QStringLiteral("u"), QStringLiteral("p"), peer.port()));
        EXPECT_EQ(c.lastError(), kErrorTimedOut);
        EXPECT_EQ(peer.received(), (std::vector<std::string>{"EHLO me\r\n"}));
    }
    {
        // A mail bigger than what goes out within one time limit, to a server
        // that keeps taking its bytes, only slowly: it goes through.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.bin"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < block.size(); ++i)
            block[i] = char(i * 131 + i / 7);
        for (int i = 0; i < 12; ++i)
            f.write(block);
        f.close();
        ScriptedSmtpPeer peer("220 hi\r\n",
                              {"250 AUTH LOGIN\r\n", "334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n",
                               "250 ok\r\n", "250 ok\r\n", "354 go on\r\n", "250 accepted\r\n", "221 bye\r\n"},
                              {.pauseEvery = 256 * 1024, .pauseMs = 100});
        CMailMessage m;
        m.setFrom({QString(), QStringLiteral("me@x.test")});
        m.addRecipients(QStringLiteral("you@x.test"), 0);
        ASSERT_EQ(m.addAttachments(path), 1);
        CSMTPConnection c(&boxes);
        c.setReplyTimeout(2000);
        ASSERT_TRUE(c.connect(QStringLiteral("127.0.0.1"), QStringLiteral("u"), QStringLiteral("p"), peer.port()));
        QElapsedTimer timer;
        timer.start();
        EXPECT_TRUE(c.sendMessage(m)) << c.lastError() << " " << c.lastResponse().toStdString();
        EXPECT_GT(timer.elapsed(), 2000) << "the upload did not outlast one time limit";
        EXPECT_GT(peer.dataBytes(), 12 * 1024 * 1024);
        EXPECT_EQ(c.lastResponse(), QStringLiteral("250 accepted"));
    }
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

// An IPv4 address of this machine that is not on loopback, or empty.
QString otherLocalAddress()
{
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return {};
    QString found;
    for (const ifaddrs *i = list; i && found.isEmpty(); i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP) ||
            (i->ifa_flags & IFF_LOOPBACK))
            continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(i->ifa_addr)->sin_addr, text, sizeof text);
        found = QString::fromLatin1(text);
    }
    ::freeifaddrs(list);
    return found;
}

TEST(SmtpTlsPolicy, LoopbackIsTheAddressConnectedTo)
{
    const std::pair<const char *, bool> rows[] = {
        {"127.0.0.1", true},         {"127.1.2.3", true},  {"::1", true},
        {"::ffff:127.0.0.1", true},  {"192.0.2.2", false}, {"10.0.0.1", false},
        {"::ffff:192.0.2.2", false}, {"0.0.0.0", false},   {"::", false},
        {"fe80::1", false},          {"128.0.0.1", false}, {"localhost", false}, // a name, not an address
    };
    for (const auto &[address, loopback] : rows)
        EXPECT_EQ(isLoopbackAddress(QString::fromLatin1(address)), loopback) << address;
}

TEST(SmtpTlsPolicy, EachPolicyAgainstEachServer)
{
    // The password is sent over TLS only, unless the server is on loopback
    // or the user chose otherwise. Each row runs its own server.
    const QString other = otherLocalAddress();
    struct Row {
        const char *what;
        bool offLoopback;             // the server listens on another local address
        bool startTls;                // and offers STARTTLS ...
        QString certificateNames;     // ... with a certificate for these names
        std::optional<TlsPolicy> tls; // the client's policy; the default when none
        QString host;                 // what the client connects to; the server's address when empty
        int error;                    // 0: logs in
        bool encrypted;
    };
    const std::vector<Row> rows = {
        {"default: a plain server off loopback is refused", true, false, {}, {}, {}, kErrorUnexpectedReply, false},
        {"default: upgrades off loopback", true, true, QStringLiteral("IP:") + other, {}, {}, 0, true},
        {"default: the name localhost is loopback", false, false, {}, {}, QStringLiteral("localhost"), 0, false},
        {"default: a certificate for another name is refused",
         false,
         true,
         QStringLiteral("DNS:other.test"),
         {},
         {},
         kErrorConnectionAborted,
         false},
        {"auto: plain off loopback, as chosen", true, false, {}, TlsPolicy::Opportunistic, {}, 0, false},
        {"off: stays plain though STARTTLS is offered",
         false,
         true,
         QStringLiteral("IP:127.0.0.1"),
         TlsPolicy::Off,
         {},
         0,
         false},
        {"require: a plain server on loopback is refused",
         false,
         false,
         {},
         TlsPolicy::Required,
         {},
         kErrorUnexpectedReply,
         false},
    };
    int skipped = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        if (row.offLoopback && other.isEmpty()) {
            ++skipped;
            continue;
        }
        SmtpServerOptions options;
        options.host = row.offLoopback ? other : QStringLiteral("127.0.0.1");
        options.startTls = row.startTls;
        if (!row.certificateNames.isEmpty())
            options.certificateNames = row.certificateNames;
        SmtpServerProcess server(options);
        ASSERT_TRUE(server.started()) << server.error().toStdString();
        RecordingMessageBoxes boxes;
        Transcript t;
        CSMTPConnection c(&boxes);
        t.attach(c);
        if (row.tls)
            c.setTlsPolicy(*row.tls);
        if (row.startTls)
            c.setTrustFile(server.certificateFile());
        const QString host = row.host.isEmpty() ? server.host() : row.host;
        const bool connected = c.connect(host, QStringLiteral("quillora"), QStringLiteral("qm2007"), server.port());
        EXPECT_EQ(connected, row.error == 0) << c.lastResponse().toStdString();
        EXPECT_EQ(c.isEncrypted(), row.encrypted);
        if (row.error != 0) {
            EXPECT_EQ(c.lastError(), row.error);
            EXPECT_FALSE(t.sent.contains("AUTH")) << t.sent.toStdString();
        }
        EXPECT_EQ(t.sent.contains("STARTTLS"), row.encrypted || row.error == kErrorConnectionAborted);
    }
    if (skipped > 0)
        GTEST_SKIP() << skipped << " rows need an address of this machine off loopback, and it has none";
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
    using Server = quillora::testpeers::TestCertificates::Server;
    const quillora::testpeers::TestCertificates certs;
    ASSERT_TRUE(certs.ok()) << certs.error();
    const std::string ca = certs.caFile();
    const auto der = [&certs](Server which) { return derOf(QString::fromStdString(certs.certFile(which))); };
    const std::string good = der(Server::Good);
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
        {"ours with the CA sent along",
         {good, derOf(QString::fromStdString(ca))},
         ca,
         "127.0.0.1",
         ChainVerdict::Trusted},
        {"ours, for another address", {good}, ca, "127.0.0.2", ChainVerdict::WrongHost},
        {"issued for another name", {der(Server::OtherName)}, ca, "127.0.0.1", ChainVerdict::WrongHost},
        {"expired", {der(Server::Expired)}, ca, "127.0.0.1", ChainVerdict::Expired},
        {"another CA's", {der(Server::UnknownCa)}, ca, "127.0.0.1", ChainVerdict::Untrusted},
        {"no CA file", {good}, "", "127.0.0.1", ChainVerdict::NoAuthority},
        {"a CA file that is missing", {good}, ca + ".gone", "127.0.0.1", ChainVerdict::NoAuthority},
        {"a CA file without a certificate",
         {good},
         certs.keyFile(Server::Good),
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
