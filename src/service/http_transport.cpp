#include "http_transport.h"

#include "platform/tcp_connect.h"

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
// Waits for `events` on fd until the deadline: > 0 ready, 0 timed out, < 0 error.
constexpr auto waitFor = platform::net::waitForSocket;

class SocketConnection final : public HttpConnection {
  public:
    explicit SocketConnection(int fd) : m_fd(fd) {}
    ~SocketConnection() override { ::close(m_fd); }

    bool sendAll(const char *data, qsizetype size, int timeoutMs) override
    {
        std::lock_guard lock(m_sendLock);
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        qsizetype sent = 0;
        while (sent < size) {
            if (waitFor(m_fd, POLLOUT, deadline) <= 0)
                return false;
            const ssize_t n = ::send(m_fd, data + sent, size_t(size - sent), MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                    continue;
                return false;
            }
            sent += n;
        }
        return true;
    }

    qsizetype receive(char *buffer, qsizetype max, int timeoutMs) override
    {
        std::lock_guard lock(m_receiveLock);
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (waitFor(m_fd, POLLIN, deadline) <= 0)
                return -1;
            const ssize_t n = ::recv(m_fd, buffer, size_t(max), 0);
            if (n >= 0)
                return n;
            if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
                return -1;
        }
    }

    bool isReusable() override
    {
        pollfd p{m_fd, POLLIN, 0};
        const int r = ::poll(&p, 1, 0);
        if (r == 0)
            return true; // nothing pending: the connection is idle and open
        if (r < 0 || (p.revents & (POLLERR | POLLNVAL)))
            return false;
        char c;
        const ssize_t n = ::recv(m_fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK;
        // 0: the peer closed it. > 0: bytes no request asked for; the stream
        // is out of step, so it is not used again either.
        return false;
    }

  private:
    int m_fd;
    std::mutex m_sendLock;
    std::mutex m_receiveLock;
};

std::unique_ptr<HttpConnection> connectSocket(const HttpUrl &url, int connectMs)
{
    const platform::net::ConnectResult c = platform::net::connectTcp(url.host, url.port, connectMs);
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

bool receiveExactly(HttpConnection &conn, char *buffer, qsizetype size, int timeoutMs)
{
    qsizetype got = 0;
    while (got < size) {
        const qsizetype n = conn.receive(buffer + got, size - got, timeoutMs);
        if (n <= 0)
            return false;
        got += n;
    }
    return true;
}

// The SOCKS 5 greeting, user name/password sub-negotiation when the proxy
// asks for it, and CONNECT to the destination. Names go to the proxy
// unresolved; IP literals as addresses.
bool socks5Connect(HttpConnection &conn, const HttpUrl &target, const ProxyRoute &route, const HttpLimits &limits)
{
    const bool offerPassword = !route.username.empty();
    QByteArray greeting("\x05", 1);
    if (offerPassword)
        greeting.append("\x02\x00\x02", 3);
    else
        greeting.append("\x01\x00", 2);
    if (!conn.sendAll(greeting.constData(), greeting.size(), limits.sendMs))
        return false;
    char choice[2];
    if (!receiveExactly(conn, choice, 2, limits.receiveMs) || choice[0] != 0x05)
        return false;
    if (choice[1] == 0x02 && offerPassword) {
        if (route.username.size() > 255 || route.password.size() > 255)
            return false;
        QByteArray auth("\x01", 1);
        auth.append(char(route.username.size()));
        auth.append(route.username.data(), qsizetype(route.username.size()));
        auth.append(char(route.password.size()));
        auth.append(route.password.data(), qsizetype(route.password.size()));
        if (!conn.sendAll(auth.constData(), auth.size(), limits.sendMs))
            return false;
        char verdict[2];
        if (!receiveExactly(conn, verdict, 2, limits.receiveMs) || verdict[1] != 0x00)
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
    if (!conn.sendAll(request.constData(), request.size(), limits.sendMs))
        return false;

    // Reply: VER REP RSV ATYP, the bound address, its port.
    char reply[4];
    if (!receiveExactly(conn, reply, 4, limits.receiveMs) || reply[0] != 0x05 || reply[1] != 0x00)
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
        if (!receiveExactly(conn, &length, 1, limits.receiveMs))
            return false;
        addressLength = static_cast<unsigned char>(length);
        break;
    }
    default:
        return false;
    }
    char bound[256 + 2];
    return receiveExactly(conn, bound, addressLength + 2, limits.receiveMs);
}

// A connection to the destination along the route: to the proxy itself for
// an HTTP proxy, through CONNECT for SOCKS 5.
std::unique_ptr<HttpConnection> connectAlong(const HttpUrl &url, const ProxyRoute &route, const HttpLimits &limits)
{
    switch (route.kind) {
    case ProxyRoute::Kind::None:
        return connectSocket(url, limits.connectMs);
    case ProxyRoute::Kind::Unsupported:
        return nullptr; // going around a proxy the member asked for is no answer
    case ProxyRoute::Kind::Http:
    case ProxyRoute::Kind::Socks5:
        break;
    }
    HttpUrl proxy;
    proxy.host = route.host;
    proxy.port = route.port;
    auto conn = connectSocket(proxy, limits.connectMs);
    if (conn && route.kind == ProxyRoute::Kind::Socks5 && !socks5Connect(*conn, url, route, limits))
        conn.reset();
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

// "Proxy-Authorization: Basic ...\r\n" when the route carries a user name.
QByteArray proxyAuthorizationLine(const ProxyRoute &route)
{
    if (route.kind != ProxyRoute::Kind::Http || route.username.empty())
        return {};
    const QByteArray credentials = QByteArray::fromStdString(route.username + ":" + route.password);
    return "Proxy-Authorization: Basic " + credentials.toBase64() + "\r\n";
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
    constexpr std::string_view scheme = "http://";
    if (url.size() < scheme.size() || !equalsNoCase(url.substr(0, scheme.size()), scheme))
        return false;
    url.remove_prefix(scheme.size());
    const auto end = url.find_first_of("/?#");
    const std::string_view authority = url.substr(0, end);
    const std::string_view rest = end == std::string_view::npos ? std::string_view() : url.substr(end);

    HttpUrl result;
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
    return HttpUrl::parse(location, out);
}

} // namespace http

// ---------------------------------------------------------------------------
// The transport

namespace {

// Received bytes of the current connection, read on demand. Bytes that came
// with the head stay here for the body.
class Reader {
  public:
    Reader(HttpConnection &conn, const HttpTransport::TraceHook &trace, int timeoutMs)
        : m_conn(conn), m_trace(trace), m_timeoutMs(timeoutMs)
    {
    }

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
    // error or time-out.
    qsizetype fill(qsizetype max)
    {
        const qsizetype old = m_buf.size();
        m_buf.resize(old + max);
        const qsizetype n = m_conn.receive(m_buf.data() + old, max, m_timeoutMs);
        m_buf.resize(old + std::max<qsizetype>(n, 0));
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
    int m_timeoutMs;
    QByteArray m_buf;
    qsizetype m_pos = 0;
};

} // namespace

struct HttpTransport::Impl {
    HttpLimits limits;
    HttpUrl endpoint;
    bool hasEndpoint = false;

    std::unique_ptr<HttpConnection> conn;
    std::string connHost;
    int connPort = 0;

    HttpHeaders headers;
    std::vector<std::string> challenges;
    TraceHook trace;
    ConnectionFactory factory;
    CookieHook cookieHook;
    ProxySettings proxy;
    ProxyRoute route; // of the open connection

    void closeConnection() { conn.reset(); }

    std::unique_ptr<HttpConnection> openConnection(const HttpUrl &url)
    {
        if (factory) {
            route = {};
            return factory(url);
        }
        route = routeFor(proxy, "http", url.host);
        return connectAlong(url, route, limits);
    }

    bool ensureConnection(const HttpUrl &url)
    {
        if (conn && (connHost != url.host || connPort != url.port || !conn->isReusable()))
            closeConnection();
        if (conn)
            return true;
        conn = openConnection(url);
        connHost = url.host;
        connPort = url.port;
        return conn != nullptr;
    }

    bool sendRequest(const HttpUrl &url, const std::string &soapAction, const QByteArray &body)
    {
        QByteArray head;
        head.reserve(256 + qsizetype(url.path.size() + soapAction.size() + url.host.size()));
        head += "POST ";
        head += route.kind == ProxyRoute::Kind::Http ? absoluteTarget(url) : QByteArray::fromStdString(url.path);
        head += " HTTP/1.1\r\n";
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        head += "Content-Type: text/xml; charset=utf-8\r\n";
        head += "SOAPAction: \"" + QByteArray::fromStdString(soapAction) + "\"\r\n";
        head += "Accept: text/xml\r\n";
        head += "Host: " + QByteArray::fromStdString(hostHeaderText(url.host)) + "\r\n";
        head += "User-Agent: Quillora-SOAP/3.5\r\n";
        head += proxyAuthorizationLine(route);
        head += "\r\n";

        if (trace)
            trace(true, head.constData(), head.size());
        if (!conn->sendAll(head.constData(), head.size(), limits.sendMs))
            return false;
        for (qsizetype at = 0; at < body.size(); at += kSendBlockSize) {
            const qsizetype n = std::min(kSendBlockSize, body.size() - at);
            if (trace)
                trace(true, body.constData() + at, n);
            if (!conn->sendAll(body.constData() + at, n, limits.sendMs))
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
    bool exchange(const HttpUrl &url, const std::string &soapAction, const QByteArray &body, int &status,
                  QByteArray &responseBody)
    {
        headers.clear();
        challenges.clear();
        status = -1;
        responseBody.clear();
        if (!ensureConnection(url) || !sendRequest(url, soapAction, body))
            return false;

        Reader in(*conn, trace, limits.receiveMs);
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
            if (!readToClose(in, responseBody))
                return false;
            keepOpen = false; // the stream ended, nothing more can come on it
        }
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

    HttpUrl url = d->endpoint;
    for (int redirects = 0;; ++redirects) {
        int status = -1;
        bool exchanged = false;
        try {
            exchanged = d->exchange(url, soapAction, body, status, result.body);
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

} // namespace quillora::service
