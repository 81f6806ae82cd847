#include "smtp_connection.h"

#include "platform/message_box.h"
#include "platform/stream_socket.h"
#include "platform/tcp_connect.h"

#include <algorithm>
#include <cerrno>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillora::mail {

namespace net = platform::net;

namespace {

// How long a reply may grow before it is taken for garbage.
constexpr qsizetype kMaxReplyBytes = 1024 * 1024;
// The reply wait looks at the socket at least this often.
constexpr int kReplyPollMs = 250;

int winsockCode(int error)
{
    switch (error) {
    case ETIMEDOUT:
        return kErrorTimedOut;
    case EHOSTUNREACH:
    case ENETUNREACH:
        return kErrorHostUnreachable;
    default:
        return kErrorConnectionRefused;
    }
}

// The last line of a reply: "250 text" or a bare "250" ends it, "250-text" does not.
bool isCompleteReply(const QByteArray &data)
{
    if (!data.endsWith("\r\n"))
        return false;
    const qsizetype end = data.size() - 2;
    const qsizetype start = data.lastIndexOf('\n', end - 1) + 1;
    const qsizetype length = end - start;
    return length <= 3 || data[start + 3] != '-';
}

} // namespace

bool isLoopbackAddress(const QString &numericAddress)
{
    const QByteArray text = numericAddress.toLatin1();
    in_addr v4{};
    if (::inet_pton(AF_INET, text.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (::inet_pton(AF_INET6, text.constData(), &v6) != 1)
        return false;
    if (IN6_IS_ADDR_LOOPBACK(&v6))
        return true;
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

CSMTPConnection::CSMTPConnection(platform::MessageBoxes *messages, QObject *owner)
    : m_messages(messages), m_owner(owner)
{
}

CSMTPConnection::~CSMTPConnection()
{
    disconnect();
}

bool CSMTPConnection::isEncrypted() const
{
    return m_socket && m_socket->isEncrypted();
}

void CSMTPConnection::showBox(const QString &text)
{
    if (m_messages)
        m_messages->ok(text, platform::programTitle(), platform::MessageIcon::Error, m_owner);
}

void CSMTPConnection::closeSocket()
{
    m_socket.reset();
    m_connected = false;
}

bool CSMTPConnection::sendCommand(const QByteArray &line)
{
    if (!m_socket || m_streamBroken)
        return false;
    if (m_trace)
        m_trace(true, line);
    // A large mail may take long to go out; it fails only when the server
    // stops taking bytes for the reply timeout.
    if (!m_socket->sendAll(line.constData(), line.size(), m_replyTimeoutMs,
                           net::StreamSocket::SendLimit::SinceProgress)) {
        m_streamBroken = true;
        fail(kErrorConnectionReset);
        return false;
    }
    return true;
}

bool CSMTPConnection::readReply(int expected)
{
    if (!m_socket || m_streamBroken)
        return false;
    QByteArray received;
    received.reserve(256);
    QByteArray chunk(4096, Qt::Uninitialized);
    const auto start = net::Clock::now();
    auto lastData = start;
    const auto since = [](net::Clock::time_point t) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(net::Clock::now() - t).count();
    };
    // A reply is read to its last line ("250 ..."): a multi-line reply that
    // arrives in pieces would otherwise leave lines for the next command.
    while (!isCompleteReply(received)) {
        // Silence ends the wait, and so does a reply that never ends though
        // its bytes keep coming.
        const qint64 idle = since(lastData);
        const qint64 total = since(start);
        if (idle >= m_replyTimeoutMs || total >= m_replyTotalTimeoutMs) {
            m_lastResponse = QString::fromUtf8(received);
            m_streamBroken = true;
            fail(kErrorTimedOut);
            return false;
        }
        const int wait = int(std::min<qint64>({kReplyPollMs, m_replyTimeoutMs - idle, m_replyTotalTimeoutMs - total}));
        const qsizetype n = m_socket->receive(chunk.data(), chunk.size(), wait);
        if (n == -2)
            continue;
        if (n <= 0 || received.size() + n > kMaxReplyBytes) {
            m_lastResponse = QString::fromUtf8(received);
            m_streamBroken = true;
            fail(n <= 0 ? kErrorConnectionReset : kErrorUnexpectedReply);
            return false;
        }
        if (received.capacity() < received.size() + n)
            received.reserve(received.size() + n + 4096);
        received.append(chunk.constData(), n);
        lastData = net::Clock::now();
    }
    if (m_trace)
        m_trace(false, received);

    received.chop(2);
    m_offersStartTls = false;
    const QList<QByteArray> lines = received.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
        if (line.size() > 4 && line.mid(4).trimmed().toUpper() == "STARTTLS")
            m_offersStartTls = true;
    }
    qsizetype lineStart = 0;
    for (const QByteArray &line : lines) {
        const int code = line.left(3).toInt();
        if (code == expected) {
            m_lastResponse = QString::fromUtf8(received.mid(lineStart));
            m_lastResponseCode = code;
            return true;
        }
        lineStart += line.size() + 1;
    }
    m_lastResponse = QString::fromUtf8(received);
    m_lastResponseCode = lines.isEmpty() ? 0 : lines.front().left(3).toInt();
    fail(kErrorUnexpectedReply);
    return false;
}

bool CSMTPConnection::sendAndExpect(const QByteArray &line, int expected)
{
    return sendCommand(line) && readReply(expected);
}

void CSMTPConnection::abandon()
{
    const QString response = m_lastResponse;
    const int code = m_lastResponseCode;
    const int error = m_lastError;
    disconnect();
    m_lastResponse = response;
    m_lastResponseCode = code;
    m_lastError = error;
}

bool CSMTPConnection::greet()
{
    QString name = m_greetingHost;
    if (name == QLatin1String("auto")) {
        char host[101] = {};
        if (::gethostname(host, 100) != 0)
            host[0] = '\0';
        name = QString::fromLocal8Bit(host);
    }
    return sendAndExpect("EHLO " + name.toUtf8() + "\r\n", 250);
}

bool CSMTPConnection::startTls(const QString &server)
{
    if (!sendAndExpect("STARTTLS\r\n", 220))
        return false;
    // A trust file given replaces the system's store.
    const net::TlsTrust trust{m_trustFile.isEmpty(), m_trustFile.toStdString()};
    const int rc = m_socket->startTls(server.toStdString(), trust, m_replyTimeoutMs);
    if (rc != 0) {
        m_lastResponse = QString::fromStdString(net::StreamSocket::errorText(rc));
        m_streamBroken = true;
        fail(kErrorConnectionAborted);
        return false;
    }
    // The server forgets what it knew before the upgrade: greet again.
    return greet();
}

bool CSMTPConnection::login(const QString &user, const QString &password)
{
    if (!sendAndExpect("AUTH LOGIN\r\n", 334))
        return false;
    if (!sendAndExpect(user.toUtf8().toBase64() + "\r\n", 334))
        return false;
    if (QByteArray::fromBase64(m_lastResponse.mid(4).toLatin1()) != "Password:") {
        // The server waits for an answer to its prompt: cancel the exchange,
        // or the QUIT that follows would be taken for the password.
        const QString prompt = m_lastResponse;
        const int code = m_lastResponseCode;
        if (sendCommand("*\r\n"))
            readReply(501);
        m_lastResponse = prompt;
        m_lastResponseCode = code;
        fail(kErrorUnexpectedReply);
        return false;
    }
    return sendAndExpect(password.toUtf8().toBase64() + "\r\n", 235);
}

TlsPolicy CSMTPConnection::effectiveTlsPolicy() const
{
    if (m_tlsPolicy != TlsPolicy::RequiredUnlessLoopback)
        return m_tlsPolicy;
    // The address connected to, not the name asked for: a name may lead
    // anywhere, and the loopback address may be written in many ways.
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    char host[NI_MAXHOST] = {};
    if (m_socket && ::getpeername(m_socket->fd(), reinterpret_cast<sockaddr *>(&peer), &length) == 0 &&
        ::getnameinfo(reinterpret_cast<sockaddr *>(&peer), length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) ==
            0 &&
        isLoopbackAddress(QString::fromLatin1(host)))
        return TlsPolicy::Opportunistic;
    return TlsPolicy::Required;
}

bool CSMTPConnection::connect(const QString &server, const QString &user, const QString &password, int port)
{
    if (m_socket)
        disconnect();
    m_lastResponse.clear();
    m_lastResponseCode = 0;
    m_streamBroken = false;

    // IPv4, as the server's address has always been looked up.
    const net::ConnectResult c = net::connectTcp(server.toStdString(), port, m_connectTimeoutMs, AF_INET);
    switch (c.stage) {
    case net::ConnectStage::Connected:
        break;
    case net::ConnectStage::Socket:
        fail(c.error);
        showBox(QStringLiteral("Failed to create socket"));
        return false;
    case net::ConnectStage::Resolve:
        fail(kErrorNameNotResolved);
        showBox(QStringLiteral("Failed to connect to server"));
        return false;
    case net::ConnectStage::Connect:
        fail(winsockCode(c.error));
        showBox(QStringLiteral("Failed to connect to server"));
        return false;
    }
    m_socket = std::make_unique<net::StreamSocket>(c.fd);
    const int one = 1;
    ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    m_connected = true;

    const TlsPolicy policy = effectiveTlsPolicy();
    bool ok = readReply(220) && greet();
    if (ok && policy != TlsPolicy::Off && m_offersStartTls) {
        ok = startTls(server);
    } else if (ok && policy == TlsPolicy::Required) {
        // The password is not sent where nobody could protect it.
        m_lastResponse = QStringLiteral("The mail server does not offer STARTTLS; "
                                        "the password is not sent over an unencrypted connection.");
        fail(kErrorUnexpectedReply);
        ok = false;
    }
    ok = ok && login(user, password);
    if (!ok) {
        abandon();
        return false;
    }
    return true;
}

bool CSMTPConnection::sendMessage(const CMailMessage &message)
{
    if (!m_connected || !m_socket) {
        m_lastResponse = QStringLiteral("Not connected to the mail server.");
        fail(kErrorCommandRefused);
        return false;
    }
    if (const QString problem = message.wireProblem(); !problem.isEmpty()) {
        m_lastResponse = problem;
        fail(kErrorInvalidData);
        return false;
    }
    // The whole mail is composed before the transaction starts, so a file
    // that cannot be read never leaves the server waiting in the middle of DATA.
    QByteArray data;
    if (!message.render(QDateTime::currentDateTime(), &data)) {
        m_lastResponse = QStringLiteral("An attached file cannot be read.");
        fail(kErrorInvalidData);
        return false;
    }

    const auto expect = [this](const QByteArray &line, int code) {
        if (!sendCommand(line))
            return false;
        if (readReply(code))
            return true;
        if (m_streamBroken)
            return false;
        // A refused transaction is reset, so the next mail on this
        // connection starts clean; the refusal stays the last response.
        const QString refusal = m_lastResponse;
        const int refusalCode = m_lastResponseCode;
        if (sendCommand("RSET\r\n"))
            readReply(250);
        m_lastResponse = refusal;
        m_lastResponseCode = refusalCode;
        fail(kErrorCommandRefused);
        return false;
    };
    if (!expect("MAIL FROM:<" + message.from().address.trimmed().toLatin1() + ">\r\n", 250))
        return false;
    for (const QList<CMailAddress> *list : {&message.to(), &message.cc(), &message.bcc()}) {
        for (const CMailAddress &a : *list) {
            if (!expect("RCPT TO:<" + a.address.trimmed().toLatin1() + ">\r\n", 250))
                return false;
        }
    }
    if (!expect("DATA\r\n", 354))
        return false;
    // Every line that starts with a dot gets a second one, whichever part
    // of the mail it belongs to; the server takes it off again.
    return expect(mime::dotStuff(data) + "\r\n.\r\n", 250);
}

bool CSMTPConnection::disconnect()
{
    bool ok = false;
    if (m_connected && m_socket && !m_streamBroken) {
        ok = sendCommand("QUIT\r\n") && readReply(221);
        if (!ok)
            fail(kErrorCommandRefused);
        m_socket->shutdownTls();
    }
    closeSocket();
    m_streamBroken = false;
    return ok;
}

} // namespace quillora::mail
