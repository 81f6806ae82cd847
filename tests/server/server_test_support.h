// Helpers shared by the varnel-server tests that call the real binary through
// the client's proxy.
#pragma once

#include "result_document.h"
#include "test_tls.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <regex>
#include <string>

namespace servertest {

namespace qs = quillora::service;

// A proxy pointed at the test server, with the service account in every header.
inline std::unique_ptr<qs::CVarnelServices> proxyFor(const quillora::testpeers::VarnelServerProcess &server)
{
    auto proxy = std::make_unique<qs::CVarnelServices>(
        qs::SiteAddress{QString::fromStdString(server.host()), static_cast<quint16>(server.port())});
    for (const qs::OperationDescriptor &op : qs::operations())
        proxy->useServiceAccount(op.id);
    return proxy;
}

inline std::vector<qs::DocumentRecord> records(const QString &document, const char16_t *tag, int fields = 20,
                                               int max = 1000)
{
    const qs::DocumentRecords r = qs::readRecords(document, QStringView(tag), max, fields);
    EXPECT_EQ(r.status, qs::DocumentStatus::Ok) << document.toStdString();
    return r.records;
}

inline int toInt(const QString &text)
{
    return qs::leadingInt(text);
}

// A connection to the server on 127.0.0.1 from a chosen loopback address,
// over TLS when asked (the handshake follows the connect; ok() is false
// when it fails).
class Connection {
  public:
    Connection(const char *source, int port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        inet_pton(AF_INET, source, &from.sin_addr);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
        m_ok = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr *>(&from), sizeof from) == 0 &&
               ::connect(m_fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0;
    }
    Connection(const char *source, int port, const quillora::testpeers::TlsClientOptions &tls)
        : Connection(source, port)
    {
        if (m_ok) {
            m_ssl = quillora::testpeers::startTls(m_fd, tls, &m_tlsError);
            m_ok = m_ssl != nullptr;
        }
    }
    ~Connection()
    {
        // A polite close: a session dropped without close_notify may not be resumed.
        if (m_ssl)
            SSL_shutdown(m_ssl);
        SSL_free(m_ssl);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool ok() const { return m_ok; }
    SSL *ssl() const { return m_ssl; }
    const std::string &tlsError() const { return m_tlsError; }

    bool send(const std::string &bytes)
    {
        if (m_ssl)
            return SSL_write(m_ssl, bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
        return ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // Everything the server sends until it closes (or `wait` passes).
    std::string readAll(std::chrono::milliseconds wait = std::chrono::seconds(20))
    {
        std::string out;
        const auto until = std::chrono::steady_clock::now() + wait;
        while (readable(until)) {
            char buffer[4096];
            const ssize_t n = receive(buffer, sizeof buffer);
            if (n <= 0) {
                m_closed = n == 0;
                return out;
            }
            out.append(buffer, static_cast<size_t>(n));
        }
        return out;
    }
    bool closedByPeer() const { return m_closed; }
    int fd() const { return m_fd; }

    // One whole answer (head and Content-Length body) of several on this
    // connection; empty when the server closed or went silent first.
    std::string readResponse(std::chrono::milliseconds wait = std::chrono::seconds(10))
    {
        const auto until = std::chrono::steady_clock::now() + wait;
        for (;;) {
            const auto headEnd = m_pending.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                std::smatch m;
                const std::string head = m_pending.substr(0, headEnd);
                const size_t length =
                    std::regex_search(head, m, std::regex("Content-Length: (\\d+)", std::regex::icase))
                        ? std::stoul(m[1])
                        : 0;
                if (m_pending.size() >= headEnd + 4 + length) {
                    std::string one = m_pending.substr(0, headEnd + 4 + length);
                    m_pending.erase(0, one.size());
                    return one;
                }
            }
            if (!readable(until))
                return {};
            char buffer[4096];
            const ssize_t n = receive(buffer, sizeof buffer);
            if (n <= 0) {
                m_closed = n == 0;
                return {};
            }
            m_pending.append(buffer, static_cast<size_t>(n));
        }
    }

  private:
    bool readable(std::chrono::steady_clock::time_point until)
    {
        if (m_ssl && SSL_pending(m_ssl) > 0)
            return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        pollfd p{m_fd, POLLIN, 0};
        return left.count() > 0 && ::poll(&p, 1, static_cast<int>(left.count())) > 0;
    }
    // Like recv(): 0 when the server closed (over TLS, also without close_notify).
    ssize_t receive(char *buffer, size_t size)
    {
        if (!m_ssl)
            return ::recv(m_fd, buffer, size, 0);
        const int n = SSL_read(m_ssl, buffer, static_cast<int>(size));
        return n > 0 ? n : SSL_get_error(m_ssl, n) == SSL_ERROR_ZERO_RETURN ? 0 : -1;
    }

    std::string m_pending;
    int m_fd = -1;
    SSL *m_ssl = nullptr;
    std::string m_tlsError;
    bool m_ok = false;
    bool m_closed = false;
};

// Registers a member and returns the user ID from the sign-in document.
inline int registerMember(qs::CVarnelServices &proxy, const QString &name, const QString &password = QString())
{
    bool ok = false;
    const QString pw = password.isNull() ? name + QStringLiteral("pw") : password;
    EXPECT_TRUE(qs::succeeded(proxy.CreateNewUser(
        name, pw, name + QStringLiteral(" N"), 0, name + QStringLiteral("@example.org"), QStringLiteral("3"),
        QStringLiteral("Real Name"), QString(), QString(), QString(), QStringLiteral("guid-") + name, &ok)));
    EXPECT_TRUE(ok) << name.toStdString();
    QString doc;
    EXPECT_TRUE(qs::succeeded(proxy.GetUserByUserName(name, pw, &doc)));
    qs::DocumentStatus status;
    return toInt(qs::readFirstElementText(doc, u"PKID", &status));
}

// Text for an XML element of a hand-written envelope.
inline std::string xmlEscape(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A request envelope as the client writes it, with the service account, for
// calls sent as raw bytes (from a chosen address, with chosen headers).
inline std::string envelope(const std::string &operation, const std::string &params)
{
    const std::string ns = "http://127.0.0.1/Services/VarnelServices";
    const auto account = qs::compiledServiceAccount();
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
           "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Header><CredentialSoapHeader xmlns=\"" +
           ns + "\"><Username>" + xmlEscape(account.username.toStdString()) + "</Username><Password>" +
           xmlEscape(account.password.toStdString()) + "</Password></CredentialSoapHeader></soap:Header><soap:Body><" +
           operation + " xmlns=\"" + ns + "\">" + params + "</" + operation + "></soap:Body></soap:Envelope>";
}

inline std::string param(const std::string &name, const std::string &value)
{
    return "<" + name + ">" + xmlEscape(value) + "</" + name + ">";
}
inline std::string param(const std::string &name, int value)
{
    return param(name, std::to_string(value));
}

} // namespace servertest
