// CSMTPConnection: one SMTP session on a TCP socket, synchronous on the
// caller's thread. Connect greets the server with EHLO, upgrades to TLS with
// STARTTLS (required unless the server is on this machine's loopback), and
// logs in with AUTH LOGIN; sendMessage runs one mail transaction;
// disconnect (or destruction) says QUIT.
#pragma once

#include "mail_message.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QObject;

namespace quillora::platform {
class MessageBoxes;
namespace net {
class StreamSocket;
} // namespace net
} // namespace quillora::platform

namespace quillora::mail {

enum class TlsPolicy {
    // Required, except for a server reached on a loopback address, where
    // nobody can listen in: there it is Opportunistic.
    RequiredUnlessLoopback,
    Opportunistic, // upgrade when the server offers STARTTLS
    Required,      // refuse to log in over a connection that cannot be upgraded
    Off,           // never upgrade
};

// True for a numeric address of the loopback network (127.0.0.0/8, ::1, and
// 127.0.0.0/8 mapped into IPv6).
bool isLoopbackAddress(const QString &numericAddress);

class CSMTPConnection {
  public:
    // Connect's two message boxes ("Failed to create socket", "Failed to
    // connect to server") go to `messages`, owned by `owner`; none without it.
    explicit CSMTPConnection(platform::MessageBoxes *messages = nullptr, QObject *owner = nullptr);
    ~CSMTPConnection(); // disconnects first
    CSMTPConnection(const CSMTPConnection &) = delete;
    CSMTPConnection &operator=(const CSMTPConnection &) = delete;

    // True when connected and logged in.
    bool connect(const QString &server, const QString &user, const QString &password, int port = 25);
    // True when the server accepted the message.
    bool sendMessage(const CMailMessage &message);
    // True when the server answered QUIT with 221. Closes the socket in any case.
    bool disconnect();

    bool isConnected() const { return m_connected; }
    bool isEncrypted() const;
    const QString &lastResponse() const { return m_lastResponse; }
    int lastResponseCode() const { return m_lastResponseCode; }
    // The error code of the last failure (see mail_message.h), 0 before any.
    int lastError() const { return m_lastError; }

    // Name sent with EHLO; "auto" (the default) sends the local host name.
    void setGreetingHostName(const QString &name) { m_greetingHost = name; }
    // Longest wait for reply data, 60 s by default; the same limit holds for
    // each wait to send while the server takes no bytes.
    void setReplyTimeout(int ms) { m_replyTimeoutMs = ms; }
    int replyTimeout() const { return m_replyTimeoutMs; }
    // Longest time one reply may take in all, however steadily its bytes
    // trickle in: 5 minutes by default.
    void setReplyTotalTimeout(int ms) { m_replyTotalTimeoutMs = ms; }
    // Longest wait for the TCP connection, 10 s by default.
    void setConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
    void setTlsPolicy(TlsPolicy policy) { m_tlsPolicy = policy; }
    // PEM file of the certificate authorities trusted instead of the
    // system's store; empty for the system store.
    void setTrustFile(const QString &path) { m_trustFile = path; }

    // Sees every byte sent (outgoing = true) and received, before encryption.
    using TraceHook = std::function<void(bool outgoing, const QByteArray &data)>;
    void setTraceHook(TraceHook hook) { m_trace = std::move(hook); }

  private:
    bool sendCommand(const QByteArray &line);
    bool readReply(int expected);
    bool sendAndExpect(const QByteArray &line, int expected);
    bool greet();
    bool startTls(const QString &server);
    bool login(const QString &user, const QString &password);
    // The policy for this connection: RequiredUnlessLoopback decided by the
    // address actually connected to.
    TlsPolicy effectiveTlsPolicy() const;
    // Ends a failed connect: QUIT when the stream is still in step, keeping
    // the failure's response and error code.
    void abandon();
    void closeSocket();
    void showBox(const QString &text);
    void fail(int error) { m_lastError = error; }

    platform::MessageBoxes *m_messages;
    QObject *m_owner;
    std::unique_ptr<platform::net::StreamSocket> m_socket;
    bool m_connected = false;
    bool m_streamBroken = false;
    bool m_offersStartTls = false;
    QString m_lastResponse;
    int m_lastResponseCode = 0;
    int m_lastError = 0;
    QString m_greetingHost = QStringLiteral("auto");
    int m_replyTimeoutMs = 60000;
    int m_replyTotalTimeoutMs = 300000;
    int m_connectTimeoutMs = 10000;
    TlsPolicy m_tlsPolicy = TlsPolicy::RequiredUnlessLoopback;
    QString m_trustFile;
    TraceHook m_trace;
};

} // namespace quillora::mail
