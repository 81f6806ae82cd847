#include "http_transport.h"

#include "http_internal.h"
#include "http_response_reader.h"
#include "proxy_tunnels.h"

#include "platform/stream_socket.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace quillora::service {

namespace {

using http::Budget;
using http::Clock;
using http::equalsNoCase;
using http::hostHeaderText;

constexpr qsizetype kSendBlockSize = 4096;

// The socket under the transport, plain or TLS.
class SocketConnection final : public HttpConnection {
  public:
    explicit SocketConnection(int fd) : m_socket(fd) {}
    ~SocketConnection() override { m_socket.shutdownTls(); }

    bool sendAll(const char *data, qsizetype size, int timeoutMs) override
    {
        std::lock_guard lock(m_sendLock);
        return m_socket.sendAll(data, size, timeoutMs);
    }

    qsizetype receive(char *buffer, qsizetype max, int timeoutMs) override
    {
        std::lock_guard lock(m_receiveLock);
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            // Part of a TLS record is no bytes yet: wait on for the rest.
            const qsizetype n = m_socket.receive(buffer, max, platform::net::remainingMs(deadline));
            if (n != -2)
                return n;
            if (Clock::now() >= deadline)
                return -1;
        }
    }

    bool isReusable() override { return m_socket.isOpenAndIdle(); }

    platform::net::StreamSocket &socket() { return m_socket; }

  private:
    platform::net::StreamSocket m_socket;
    std::mutex m_sendLock;
    std::mutex m_receiveLock;
};

std::unique_ptr<SocketConnection> connectSocket(const std::string &host, int port, int connectMs)
{
    const platform::net::ConnectResult c = platform::net::connectTcp(host, port, connectMs);
    if (c.fd < 0)
        return nullptr;
    // Head and body go out in separate sends; without this the body waits for
    // the peer's delayed acknowledgement of the head.
    const int one = 1;
    ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return std::make_unique<SocketConnection>(c.fd);
}

// A connection to the destination along the route: to the proxy itself for
// an HTTP proxy (through a CONNECT tunnel when the destination is TLS),
// through CONNECT for SOCKS 5.
std::unique_ptr<SocketConnection> connectAlong(const HttpUrl &url, const ProxyRoute &route, const Budget &budget,
                                               const HttpTransport::TraceHook &trace)
{
    switch (route.kind) {
    case ProxyRoute::Kind::None:
        return connectSocket(url.host, url.port, budget.connectMs());
    case ProxyRoute::Kind::Unsupported:
        return nullptr; // going around a proxy the member asked for is no answer
    case ProxyRoute::Kind::Http:
    case ProxyRoute::Kind::Socks5:
        break;
    }
    auto conn = connectSocket(route.host, route.port, budget.connectMs());
    if (!conn)
        return nullptr;
    if (route.kind == ProxyRoute::Kind::Socks5 && !http::socks5Connect(*conn, url, route, budget))
        return nullptr;
    if (route.kind == ProxyRoute::Kind::Http && url.tls && !http::httpTunnel(*conn, url, route, budget, trace))
        return nullptr;
    return conn;
}

// TLS sessions to resume, one per site: the latest one a connection to it
// was given. A connection takes the one it offers (a TLS 1.3 ticket is meant
// for one use) and leaves its own, so the next call through a fresh proxy
// skips the full handshake.
class TlsSessions {
  public:
    static TlsSessions &shared()
    {
        static TlsSessions sessions;
        return sessions;
    }

    std::string take(const std::string &site)
    {
        std::lock_guard lock(m_lock);
        const auto it = m_sessions.find(site);
        if (it == m_sessions.end())
            return {};
        std::string data = std::move(it->second);
        m_sessions.erase(it);
        return data;
    }

    void put(const std::string &site, std::string data)
    {
        std::lock_guard lock(m_lock);
        if (m_sessions.size() >= 64 && !m_sessions.count(site))
            m_sessions.clear(); // the client talks to one site; a few more are tests
        m_sessions[site] = std::move(data);
    }

  private:
    std::mutex m_lock;
    std::map<std::string, std::string> m_sessions;
};

} // namespace

struct HttpTransport::Impl {
    HttpLimits limits;
    HttpUrl endpoint;
    bool hasEndpoint = false;

    std::unique_ptr<HttpConnection> conn;
    SocketConnection *socketConn = nullptr; // conn, when it is a socket of ours
    std::string connHost;
    int connPort = 0;
    bool connTls = false;
    bool connResumed = false;
    bool sessionKept = false; // this connection's session is in TlsSessions

    HttpHeaders headers;
    std::vector<std::string> challenges;
    TraceHook trace;
    ConnectionFactory factory;
    CookieHook cookieHook;
    ProxySettings proxy;
    ProxyRoute route; // of the open connection
    std::string caFile;
    std::string tlsError;

    void closeConnection()
    {
        conn.reset();
        socketConn = nullptr;
    }

    // A session is only resumed with the site it was made with, trusted the same way.
    std::string sessionKey(const HttpUrl &url) const
    {
        return hostHeaderText(url.host) + ':' + std::to_string(url.port) + '|' + caFile;
    }

    std::unique_ptr<HttpConnection> openConnection(const HttpUrl &url, const Budget &budget)
    {
        connResumed = false;
        sessionKept = false;
        if (factory) {
            route = {};
            return factory(url);
        }
        route = routeFor(proxy, url.tls ? "https" : "http", url.host);
        std::unique_ptr<SocketConnection> opened = connectAlong(url, route, budget, trace);
        if (opened && url.tls) {
            platform::net::StreamSocket &socket = opened->socket();
            const int rc = socket.startTls(url.host, {true, caFile}, budget.connectMs(),
                                           TlsSessions::shared().take(sessionKey(url)));
            if (rc != 0) {
                // Never a second try without TLS: the call fails here.
                tlsError = platform::net::StreamSocket::errorText(rc);
                if (const std::string problem = socket.certificateProblem(); !problem.empty())
                    tlsError += " " + problem;
                return nullptr;
            }
            connResumed = socket.isResumed();
        }
        socketConn = opened.get();
        return opened;
    }

    bool ensureConnection(const HttpUrl &url, const Budget &budget)
    {
        if (conn && (connHost != url.host || connPort != url.port || connTls != url.tls || !conn->isReusable()))
            closeConnection();
        if (conn)
            return true;
        conn = openConnection(url, budget);
        connHost = url.host;
        connPort = url.port;
        connTls = url.tls;
        return conn != nullptr;
    }

    // Leaves the connection's TLS session for the next connection to the
    // site, once the server has handed one out.
    void keepSession(const HttpUrl &url)
    {
        if (!socketConn || !url.tls || sessionKept)
            return;
        std::string data = socketConn->socket().sessionData();
        if (data.empty())
            return;
        TlsSessions::shared().put(sessionKey(url), std::move(data));
        sessionKept = true;
    }

    bool sendRequest(const HttpUrl &url, const std::string &soapAction, const QByteArray &body, const Budget &budget)
    {
        // An HTTP proxy reads plain requests; TLS goes through its tunnel.
        const bool toHttpProxy = route.kind == ProxyRoute::Kind::Http && !url.tls;
        QByteArray head;
        head.reserve(256 + qsizetype(url.path.size() + soapAction.size() + url.host.size()));
        head += "POST ";
        head += toHttpProxy ? http::absoluteTarget(url) : QByteArray::fromStdString(url.path);
        head += " HTTP/1.1\r\n";
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        head += "Content-Type: text/xml; charset=utf-8\r\n";
        head += "SOAPAction: \"" + QByteArray::fromStdString(soapAction) + "\"\r\n";
        head += "Accept: text/xml\r\n";
        head += "Host: " + QByteArray::fromStdString(hostHeaderText(url.host)) + "\r\n";
        head += "User-Agent: Quillora-SOAP/3.5\r\n";
        if (toHttpProxy)
            head += http::basicProxyCredentials(route);
        head += "\r\n";

        if (trace)
            trace(true, head.constData(), head.size());
        if (!conn->sendAll(head.constData(), head.size(), budget.sendMs()))
            return false;
        for (qsizetype at = 0; at < body.size(); at += kSendBlockSize) {
            const qsizetype n = std::min(kSendBlockSize, body.size() - at);
            if (trace)
                trace(true, body.constData() + at, n);
            if (!conn->sendAll(body.constData() + at, n, budget.sendMs()))
                return false;
        }
        return true;
    }

    // Cookies go to the hook; authentication challenges are kept for asking.
    void noteFields(const std::vector<http::HeaderField> &fields)
    {
        for (const auto &f : fields) {
            if (equalsNoCase(f.name, "set-cookie")) {
                if (cookieHook)
                    cookieHook(f.value);
            } else if (equalsNoCase(f.name, "www-authenticate") || equalsNoCase(f.name, "proxy-authenticate")) {
                challenges.push_back(f.value);
            }
        }
    }

    // Steps from connecting to reading the body, on one URL. False on any
    // failure of the exchange itself; the caller then closes the connection.
    bool exchange(const HttpUrl &url, const std::string &soapAction, const QByteArray &body, const Budget &budget,
                  int &status, QByteArray &responseBody)
    {
        headers.clear();
        challenges.clear();
        status = -1;
        responseBody.clear();
        if (!ensureConnection(url, budget) || !sendRequest(url, soapAction, body, budget))
            return false;

        http::ResponseReader in(*conn, trace, budget);
        std::vector<http::HeaderField> fields;
        if (!in.readHead(status, headers, fields))
            return false;
        noteFields(fields);

        std::vector<http::HeaderField> trailer;
        const http::BodyEnd end = in.readBody(status, headers, responseBody, trailer);
        if (end == http::BodyEnd::Failed)
            return false;
        noteFields(trailer);
        // A stream that ended with the body carries nothing more.
        bool keepOpen = end == http::BodyEnd::Framed;
        keepSession(url);
        if (const auto c = headers.find("Connection"); c != headers.end() && equalsNoCase(c->second, "close"))
            keepOpen = false;
        // Bytes beyond the response mean the stream is out of step with the
        // requests; the next call starts on a fresh connection.
        if (in.pending() > 0)
            keepOpen = false;
        if (!keepOpen)
            closeConnection();
        return true;
    }
};

HttpTransport::HttpTransport(HttpLimits limits) : d(std::make_unique<Impl>())
{
    d->limits = limits;
}

HttpTransport::~HttpTransport() = default;

bool HttpTransport::setEndpoint(std::string_view url)
{
    HttpUrl parsed;
    if (!HttpUrl::parse(url, parsed))
        return false;
    d->endpoint = std::move(parsed);
    d->hasEndpoint = true;
    return true;
}

const HttpUrl &HttpTransport::endpoint() const
{
    return d->endpoint;
}

HttpExchange HttpTransport::post(const std::string &soapAction, const QByteArray &body)
{
    HttpExchange result;
    d->headers.clear();
    d->challenges.clear();
    // The action goes between quotes in a header line: nothing may break out.
    if (!d->hasEndpoint || soapAction.find_first_of("\r\n\"") != std::string::npos)
        return result;

    d->tlsError.clear();
    const Budget budget{d->limits, Clock::now() + std::chrono::milliseconds(d->limits.callMs)};
    HttpUrl url = d->endpoint;
    for (int redirects = 0;; ++redirects) {
        int status = -1;
        bool exchanged = false;
        try {
            exchanged = d->exchange(url, soapAction, body, budget, status, result.body);
        } catch (const std::bad_alloc &) {
            // No room for the response: a failed exchange like any other.
            exchanged = false;
        }
        if (!exchanged) {
            d->closeConnection();
            d->headers.clear();
            result.body.clear();
            // A failed later hop has no status, whatever redirect led to it.
            result.status = -1;
            return result; // accepted = false
        }
        result.status = status;
        if ((status == 301 || status == 302 || status == 303) && redirects < d->limits.maxRedirects) {
            const auto location = d->headers.find("Location");
            HttpUrl next;
            if (location != d->headers.end() && http::resolveLocation(url, location->second, next)) {
                url = std::move(next);
                continue;
            }
        }
        break;
    }
    result.accepted = http::isAcceptedStatus(result.status);
    return result;
}

bool HttpTransport::isConnected() const
{
    return d->conn != nullptr;
}

void HttpTransport::close()
{
    d->closeConnection();
}

const HttpHeaders &HttpTransport::responseHeaders() const
{
    return d->headers;
}

const std::vector<std::string> &HttpTransport::authenticateChallenges() const
{
    return d->challenges;
}

void HttpTransport::setTraceHook(TraceHook hook)
{
    d->trace = std::move(hook);
}

void HttpTransport::setConnectionFactory(ConnectionFactory factory)
{
    d->factory = std::move(factory);
}

void HttpTransport::setProxy(const ProxySettings &settings)
{
    if (d->proxy == settings)
        return;
    d->proxy = settings;
    d->closeConnection(); // an open connection took the old route
}

void HttpTransport::setCookieHook(CookieHook hook)
{
    d->cookieHook = std::move(hook);
}

void HttpTransport::setTrustedCaFile(std::string path)
{
    if (d->caFile == path)
        return;
    d->caFile = std::move(path);
    d->closeConnection(); // its certificate was checked against the old trust
}

const std::string &HttpTransport::tlsError() const
{
    return d->tlsError;
}

bool HttpTransport::isResumedTls() const
{
    return d->conn != nullptr && d->connResumed;
}

} // namespace quillora::service
