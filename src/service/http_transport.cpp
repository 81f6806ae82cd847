#include "http_transport.h"

#include "platform/stream_socket.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillora::service {

namespace {

constexpr qsizetype kMaxUrlPart = 2048;
constexpr qsizetype kHeadReadSize = 2048;
constexpr qsizetype kBodyReadSize = 4096;
constexpr qsizetype kSendBlockSize = 4096;
constexpr int kMaxEmptyHeadReads = 5;
// A chunk-size line is hex digits only; anything this long is not one.
constexpr qsizetype kMaxChunkLine = 64;

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// Characters that may stand in a request line: printable ASCII without space.
bool isPathText(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

bool isHostText(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c) || c == '-' || c == '.' || c == '_';
    });
}

// The path-and-query part of a URL: starts with '/' (a bare query gets one),
// drops a fragment, refuses control characters and spaces.
bool takePath(std::string_view rest, std::string &path)
{
    if (const auto hash = rest.find('#'); hash != std::string_view::npos)
        rest = rest.substr(0, hash);
    if (rest.empty()) {
        path = "/";
        return true;
    }
    if (!isPathText(rest))
        return false;
    const auto q = rest.find('?');
    const std::string_view p = rest.substr(0, q);
    if (qsizetype(p.size()) > kMaxUrlPart)
        return false;
    if (q != std::string_view::npos && qsizetype(rest.size() - q - 1) > kMaxUrlPart)
        return false;
    path = (rest.front() == '/') ? std::string(rest) : "/" + std::string(rest);
    return true;
}

std::string hostHeaderText(const std::string &host)
{
    // An IPv6 literal is written in brackets; a name or IPv4 address as it is.
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

using platform::net::Clock;

// The time a call may still take: each step gets its own limit, cut short by
// what is left of the whole call.
struct Budget {
    const HttpLimits &limits;
    Clock::time_point deadline;

    int left() const { return platform::net::remainingMs(deadline); }
    int connectMs() const { return std::min(limits.connectMs, left()); }
    int sendMs() const { return std::min(limits.sendMs, left()); }
    int receiveMs() const { return std::min(limits.receiveMs, left()); }
};

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

// ---------------------------------------------------------------------------
// Connection set-up through a proxy

bool receiveExactly(HttpConnection &conn, char *buffer, qsizetype size, const Budget &budget)
{
    qsizetype got = 0;
    while (got < size) {
        const qsizetype n = conn.receive(buffer + got, size - got, budget.receiveMs());
        if (n <= 0)
            return false;
        got += n;
    }
    return true;
}

// The SOCKS 5 greeting, user name/password sub-negotiation when the proxy
// asks for it, and CONNECT to the destination. Names go to the proxy
// unresolved; IP literals as addresses.
bool socks5Connect(HttpConnection &conn, const HttpUrl &target, const ProxyRoute &route, const Budget &budget)
{
    const bool offerPassword = !route.username.empty();
    QByteArray greeting("\x05", 1);
    if (offerPassword)
        greeting.append("\x02\x00\x02", 3);
    else
        greeting.append("\x01\x00", 2);
    if (!conn.sendAll(greeting.constData(), greeting.size(), budget.sendMs()))
        return false;
    char choice[2];
    if (!receiveExactly(conn, choice, 2, budget) || choice[0] != 0x05)
        return false;
    if (choice[1] == 0x02 && offerPassword) {
        if (route.username.size() > 255 || route.password.size() > 255)
            return false;
        QByteArray auth("\x01", 1);
        auth.append(char(route.username.size()));
        auth.append(route.username.data(), qsizetype(route.username.size()));
        auth.append(char(route.password.size()));
        auth.append(route.password.data(), qsizetype(route.password.size()));
        if (!conn.sendAll(auth.constData(), auth.size(), budget.sendMs()))
            return false;
        char verdict[2];
        if (!receiveExactly(conn, verdict, 2, budget) || verdict[1] != 0x00)
            return false;
    } else if (choice[1] != 0x00) {
        return false; // 0xFF: no offered method is acceptable
    }

    QByteArray request("\x05\x01\x00", 3);
    in_addr v4{};
    in6_addr v6{};
    if (::inet_pton(AF_INET, target.host.c_str(), &v4) == 1) {
        request.append('\x01');
        request.append(reinterpret_cast<const char *>(&v4), 4);
    } else if (::inet_pton(AF_INET6, target.host.c_str(), &v6) == 1) {
        request.append('\x04');
        request.append(reinterpret_cast<const char *>(&v6), 16);
    } else {
        if (target.host.empty() || target.host.size() > 255)
            return false;
        request.append('\x03');
        request.append(char(target.host.size()));
        request.append(target.host.data(), qsizetype(target.host.size()));
    }
    request.append(char((target.port >> 8) & 0xff));
    request.append(char(target.port & 0xff));
    if (!conn.sendAll(request.constData(), request.size(), budget.sendMs()))
        return false;

    // Reply: VER REP RSV ATYP, the bound address, its port.
    char reply[4];
    if (!receiveExactly(conn, reply, 4, budget) || reply[0] != 0x05 || reply[1] != 0x00)
        return false;
    qsizetype addressLength = 0;
    switch (reply[3]) {
    case 0x01:
        addressLength = 4;
        break;
    case 0x04:
        addressLength = 16;
        break;
    case 0x03: {
        char length = 0;
        if (!receiveExactly(conn, &length, 1, budget))
            return false;
        addressLength = static_cast<unsigned char>(length);
        break;
    }
    default:
        return false;
    }
    char bound[256 + 2];
    return receiveExactly(conn, bound, addressLength + 2, budget);
}

// "Proxy-Authorization: Basic ...\r\n" for a proxy route with a user name.
QByteArray basicProxyCredentials(const ProxyRoute &route)
{
    if (route.username.empty())
        return {};
    const QByteArray credentials = QByteArray::fromStdString(route.username + ":" + route.password);
    return "Proxy-Authorization: Basic " + credentials.toBase64() + "\r\n";
}

// A tunnel through an HTTP proxy to the destination (CONNECT), for TLS: the
// proxy relays bytes it cannot read. Any answer but 2xx fails it (a 407
// included: the credentials were sent with the CONNECT).
bool httpTunnel(HttpConnection &conn, const HttpUrl &target, const ProxyRoute &route, const Budget &budget,
                const HttpTransport::TraceHook &trace)
{
    const QByteArray authority =
        QByteArray::fromStdString(hostHeaderText(target.host)) + ':' + QByteArray::number(target.port);
    const QByteArray request =
        "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n" + basicProxyCredentials(route) + "\r\n";
    if (trace)
        trace(true, request.constData(), request.size());
    if (!conn.sendAll(request.constData(), request.size(), budget.sendMs()))
        return false;
    // Byte by byte: nothing of the destination's stream may be taken here.
    constexpr qsizetype kMaxTunnelAnswer = 8192;
    QByteArray head;
    while (!head.endsWith("\r\n\r\n")) {
        char c;
        if (head.size() >= kMaxTunnelAnswer || conn.receive(&c, 1, budget.receiveMs()) != 1)
            return false;
        head.append(c);
    }
    if (trace)
        trace(false, head.constData(), head.size());
    int status = 0;
    return http::parseStatusLine(std::string_view(head.constData(), size_t(head.indexOf("\r\n"))), status) &&
           status >= 200 && status <= 299;
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
    if (route.kind == ProxyRoute::Kind::Socks5 && !socks5Connect(*conn, url, route, budget))
        return nullptr;
    if (route.kind == ProxyRoute::Kind::Http && url.tls && !httpTunnel(*conn, url, route, budget, trace))
        return nullptr;
    return conn;
}

// "http://host[:port]/path": the request target an HTTP proxy needs.
QByteArray absoluteTarget(const HttpUrl &url)
{
    QByteArray target = "http://" + QByteArray::fromStdString(hostHeaderText(url.host));
    if (url.port != 80)
        target += ':' + QByteArray::number(url.port);
    return target + QByteArray::fromStdString(url.path);
}

} // namespace

// ---------------------------------------------------------------------------
// URL and header helpers

bool CaseInsensitiveLess::operator()(const std::string &a, const std::string &b) const
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const char x = lower(a[i]);
        const char y = lower(b[i]);
        if (x != y)
            return (unsigned char)x < (unsigned char)y;
    }
    return a.size() < b.size();
}

bool HttpUrl::parse(std::string_view url, HttpUrl &out)
{
    constexpr std::string_view plain = "http://";
    constexpr std::string_view secure = "https://";
    HttpUrl result;
    if (url.size() >= plain.size() && equalsNoCase(url.substr(0, plain.size()), plain)) {
        url.remove_prefix(plain.size());
    } else if (url.size() >= secure.size() && equalsNoCase(url.substr(0, secure.size()), secure)) {
        url.remove_prefix(secure.size());
        result.tls = true;
        result.port = 443;
    } else {
        return false;
    }
    const auto end = url.find_first_of("/?#");
    const std::string_view authority = url.substr(0, end);
    const std::string_view rest = end == std::string_view::npos ? std::string_view() : url.substr(end);

    std::string_view hostPart = authority;
    std::string_view portPart;
    bool hasPort = false;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos)
            return false;
        hostPart = authority.substr(1, close - 1);
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return false;
            portPart = after.substr(1);
            hasPort = true;
        }
        if (hostPart.empty() || !std::all_of(hostPart.begin(), hostPart.end(), [](char c) {
                return isDigit(c) || (lower(c) >= 'a' && lower(c) <= 'f') || c == ':' || c == '.';
            }))
            return false;
    } else {
        if (const auto colon = authority.find(':'); colon != std::string_view::npos) {
            hostPart = authority.substr(0, colon);
            portPart = authority.substr(colon + 1);
            hasPort = true;
        }
        if (!isHostText(hostPart))
            return false;
    }
    if (hasPort) {
        if (portPart.empty() || portPart.size() > 5 || !std::all_of(portPart.begin(), portPart.end(), isDigit))
            return false;
        const int port = std::stoi(std::string(portPart));
        if (port < 1 || port > 65535)
            return false;
        result.port = port;
    }
    result.host = std::string(hostPart);
    if (!takePath(rest, result.path))
        return false;
    out = std::move(result);
    return true;
}

namespace http {

bool parseStatusLine(std::string_view line, int &status)
{
    size_t i = 0;
    while (i < line.size() && !isSpace(line[i]))
        ++i;
    while (i < line.size() && isSpace(line[i]))
        ++i;
    if (i >= line.size() || !isDigit(line[i]))
        return false;
    int code = 0;
    for (int digits = 0; i < line.size() && isDigit(line[i]); ++i, ++digits) {
        if (digits == 9)
            return false;
        code = code * 10 + (line[i] - '0');
    }
    status = code;
    return true;
}

void addHeader(HttpHeaders &headers, const std::string &name, const std::string &value)
{
    auto [it, inserted] = headers.try_emplace(name, value);
    if (!inserted) {
        it->second += ',';
        it->second += value;
    }
}

namespace {

bool parseHeaderLine(std::string_view line, HttpHeaders &headers, std::vector<HeaderField> *fields)
{
    const auto colon = line.find(':');
    if (colon == std::string_view::npos)
        return true;
    const std::string_view name = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    // Blanks after the colon are skipped; the value is the rest of the line,
    // blanks at its end included ("chunked " is not "chunked").
    while (!value.empty() && isSpace(value.front()))
        value.remove_prefix(1);
    if (qsizetype(name.size()) > maxHeaderNameLength || qsizetype(value.size()) > maxHeaderValueLength)
        return false;
    if (name.empty())
        return true;
    std::string n(name);
    std::string v(value);
    addHeader(headers, n, v);
    if (fields)
        fields->push_back({std::move(n), std::move(v)});
    return true;
}

} // namespace

bool parseHeaderBlock(std::string_view block, HttpHeaders &headers, std::vector<HeaderField> *fields)
{
    std::string logical;
    bool pending = false;
    while (!block.empty()) {
        const auto eol = block.find("\r\n");
        const std::string_view line = block.substr(0, eol);
        block = eol == std::string_view::npos ? std::string_view() : block.substr(eol + 2);
        if (!line.empty() && isSpace(line.front())) {
            // A folded line continues the previous one, joined by one space.
            // One before any header belongs to nothing and is dropped.
            if (pending) {
                logical += ' ';
                logical += trimmed(line);
                // Any longer and the value is over its limit anyway.
                if (qsizetype(logical.size()) > maxHeaderNameLength + maxHeaderValueLength + 2)
                    return false;
            }
            continue;
        }
        if (pending && !parseHeaderLine(logical, headers, fields))
            return false;
        logical.assign(line);
        pending = !line.empty();
    }
    return !pending || parseHeaderLine(logical, headers, fields);
}

bool parseChunkSizeLine(std::string_view line, qint64 &size)
{
    if (line.empty())
        return false;
    qint64 value = 0;
    int significant = 0;
    for (const char c : line) {
        int digit;
        if (isDigit(c))
            digit = c - '0';
        else if (lower(c) >= 'a' && lower(c) <= 'f')
            digit = lower(c) - 'a' + 10;
        else
            return false;
        if (value != 0 || digit != 0) {
            if (++significant > 15)
                return false;
        }
        value = value * 16 + digit;
    }
    size = value;
    return true;
}

bool isAcceptedStatus(int status)
{
    return (status >= 200 && status <= 206) || status == 304 || status == 305;
}

bool resolveLocation(const HttpUrl &current, std::string_view location, HttpUrl &out)
{
    location = trimmed(location);
    if (!location.empty() && location.front() == '/' && !(location.size() > 1 && location[1] == '/')) {
        HttpUrl next = current;
        if (!takePath(location, next.path))
            return false;
        out = std::move(next);
        return true;
    }
    HttpUrl next;
    if (!HttpUrl::parse(location, next) || (current.tls && !next.tls))
        return false;
    out = std::move(next);
    return true;
}

} // namespace http

// ---------------------------------------------------------------------------
// The transport

namespace {

// Received bytes of the current connection, read on demand. Bytes that came
// with the head stay here for the body.
class Reader {
  public:
    Reader(HttpConnection &conn, const HttpTransport::TraceHook &trace, const Budget &budget)
        : m_conn(conn), m_trace(trace), m_budget(budget)
    {
    }

    // True once a read failed because the whole call ran out of time.
    bool expired() const { return m_expired; }

    qsizetype available() const { return m_buf.size() - m_pos; }
    const char *data() const { return m_buf.constData() + m_pos; }
    void consume(qsizetype n)
    {
        m_pos += n;
        if (m_pos == m_buf.size()) {
            m_buf.clear();
            m_pos = 0;
        } else if (m_pos > 64 * 1024) {
            m_buf.remove(0, m_pos);
            m_pos = 0;
        }
    }

    // Appends up to `max` bytes: the count, 0 when the peer closed, -1 on
    // error or time-out (of this read, or of the whole call).
    qsizetype fill(qsizetype max)
    {
        if (m_budget.left() <= 0) {
            m_expired = true;
            return -1;
        }
        const qsizetype old = m_buf.size();
        m_buf.resize(old + max);
        const qsizetype n = m_conn.receive(m_buf.data() + old, max, m_budget.receiveMs());
        m_buf.resize(old + std::max<qsizetype>(n, 0));
        if (n < 0 && m_budget.left() <= 0)
            m_expired = true;
        if (n > 0 && m_trace)
            m_trace(false, m_buf.constData() + old, n);
        return n;
    }

    // Finds CR LF at or after the read position; -1 when absent.
    qsizetype findFrom(const char *needle, qsizetype from) const
    {
        const qsizetype i = m_buf.indexOf(needle, m_pos + from);
        return i < 0 ? -1 : i - m_pos;
    }

    // One CR LF terminated line (returned without it), reading more as needed.
    bool readLine(qsizetype maxLength, std::string &line)
    {
        qsizetype searched = 0;
        for (;;) {
            const qsizetype eol = findFrom("\r\n", std::max<qsizetype>(searched - 1, 0));
            if (eol >= 0) {
                line.assign(data(), size_t(eol));
                consume(eol + 2);
                return true;
            }
            searched = available();
            if (searched > maxLength + 1)
                return false;
            if (fill(kBodyReadSize) <= 0)
                return false;
        }
    }

  private:
    HttpConnection &m_conn;
    const HttpTransport::TraceHook &m_trace;
    const Budget &m_budget;
    bool m_expired = false;
    QByteArray m_buf;
    qsizetype m_pos = 0;
};

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
        head += toHttpProxy ? absoluteTarget(url) : QByteArray::fromStdString(url.path);
        head += " HTTP/1.1\r\n";
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        head += "Content-Type: text/xml; charset=utf-8\r\n";
        head += "SOAPAction: \"" + QByteArray::fromStdString(soapAction) + "\"\r\n";
        head += "Accept: text/xml\r\n";
        head += "Host: " + QByteArray::fromStdString(hostHeaderText(url.host)) + "\r\n";
        head += "User-Agent: Quillora-SOAP/3.5\r\n";
        if (toHttpProxy)
            head += basicProxyCredentials(route);
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

    // Reads heads until one that is not 100 Continue; parses its status and
    // headers. False on any failure.
    bool readHead(Reader &in, int &status)
    {
        for (;;) {
            int empties = 0;
            qsizetype end;
            qsizetype searched = 0;
            while ((end = in.findFrom("\r\n\r\n", std::max<qsizetype>(searched - 3, 0))) < 0) {
                searched = in.available();
                if (searched > limits.maxHeadBytes)
                    return false;
                const qsizetype n = in.fill(kHeadReadSize);
                if (n < 0)
                    return false;
                if (n == 0) {
                    if (++empties == kMaxEmptyHeadReads)
                        return false;
                } else {
                    empties = 0;
                }
            }
            if (end + 4 > limits.maxHeadBytes)
                return false;
            const std::string_view head(in.data(), size_t(end + 2)); // header lines keep their CR LF
            const auto eol = head.find("\r\n");
            if (!http::parseStatusLine(head.substr(0, eol), status))
                return false;
            if (status == 100) {
                in.consume(end + 4);
                continue;
            }
            std::vector<http::HeaderField> fields;
            const bool ok = http::parseHeaderBlock(head.substr(eol + 2), headers, &fields);
            in.consume(end + 4);
            if (!ok)
                return false;
            noteFields(fields);
            return true;
        }
    }

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

    bool readChunked(Reader &in, QByteArray &body)
    {
        std::string line;
        for (;;) {
            qint64 size = 0;
            if (!in.readLine(kMaxChunkLine, line) || !http::parseChunkSizeLine(line, size))
                return false;
            if (size == 0)
                break;
            if (size > limits.maxBodyBytes - body.size())
                return false;
            while (size > 0) {
                if (in.available() == 0 && in.fill(kBodyReadSize) <= 0)
                    return false;
                const qsizetype take = qsizetype(std::min<qint64>(size, in.available()));
                body.append(in.data(), take);
                in.consume(take);
                size -= take;
            }
            if (!in.readLine(0, line) || !line.empty())
                return false;
        }
        if (headers.count("Trailer")) {
            std::string block;
            for (;;) {
                if (!in.readLine(limits.maxHeadBytes, line))
                    return false;
                if (line.empty())
                    break;
                block += line;
                block += "\r\n";
                if (qint64(block.size()) > limits.maxHeadBytes)
                    return false;
            }
            std::vector<http::HeaderField> fields;
            if (!http::parseHeaderBlock(block, headers, &fields))
                return false;
            noteFields(fields);
            return true;
        }
        return in.readLine(0, line) && line.empty();
    }

    bool readContentLength(Reader &in, const std::string &text, QByteArray &body)
    {
        const std::string_view value = trimmed(text);
        if (value.empty() || value.size() > 18 || !std::all_of(value.begin(), value.end(), isDigit))
            return false;
        const qint64 length = std::stoll(std::string(value));
        if (length > limits.maxBodyBytes)
            return false;
        body.reserve(qsizetype(std::min<qint64>(length, 1024 * 1024)));
        while (body.size() < length) {
            if (in.available() == 0 && in.fill(std::min<qint64>(kBodyReadSize, length - body.size())) <= 0)
                return false; // closed or failed before the announced length arrived
            const qsizetype take = qsizetype(std::min<qint64>(length - body.size(), in.available()));
            body.append(in.data(), take);
            in.consume(take);
        }
        return true;
    }

    bool readToClose(Reader &in, QByteArray &body)
    {
        for (;;) {
            if (in.available() > 0) {
                if (in.available() > limits.maxBodyBytes - body.size())
                    return false;
                body.append(in.data(), in.available());
                in.consume(in.available());
            }
            // A receive error or time-out ends the body just as a close does.
            if (in.fill(kBodyReadSize) <= 0)
                return true;
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

        Reader in(*conn, trace, budget);
        if (!readHead(in, status))
            return false;

        bool keepOpen = true;
        if (status == 204 || status == 304) {
            // These never carry a body; reading one would wait for the close
            // of a connection the server keeps open.
        } else if (const auto te = headers.find("Transfer-Encoding"); te != headers.end() && te->second == "chunked") {
            if (!readChunked(in, responseBody))
                return false;
        } else if (const auto cl = headers.find("Content-Length"); cl != headers.end()) {
            if (!readContentLength(in, cl->second, responseBody))
                return false;
        } else {
            // A read cut off by the end of the call's time is no end of the body.
            if (!readToClose(in, responseBody) || in.expired())
                return false;
            keepOpen = false; // the stream ended, nothing more can come on it
        }
        keepSession(url);
        if (const auto c = headers.find("Connection"); c != headers.end() && equalsNoCase(c->second, "close"))
            keepOpen = false;
        // Bytes beyond the response mean the stream is out of step with the
        // requests; the next call starts on a fresh connection.
        if (in.available() > 0)
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
