#include "guarded_server.h"

#include "answer_compression.h"
#include "client_address.h"
#include "request_framing.h"
#include "tls_context.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <optional>
#include <utility>

namespace varnel {

namespace {

std::string addressText(const sockaddr_storage &addr)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in &>(addr).sin_addr, text, sizeof text);
    } else if (addr.ss_family == AF_INET6) {
        const auto &a6 = reinterpret_cast<const sockaddr_in6 &>(addr);
        // An IPv4 peer on a dual-stack socket counts as its IPv4 address.
        if (IN6_IS_ADDR_V4MAPPED(&a6.sin6_addr))
            inet_ntop(AF_INET, &a6.sin6_addr.s6_addr[12], text, sizeof text);
        else
            inet_ntop(AF_INET6, &a6.sin6_addr, text, sizeof text);
    }
    return text;
}

int portOf(const sockaddr_storage &addr)
{
    if (addr.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in &>(addr).sin_port);
    if (addr.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(addr).sin6_port);
    return 0;
}

constexpr char kBusy[] = "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\n"
                         "Retry-After: 1\r\nContent-Length: 0\r\n\r\n";

// A connection's requests as the library's stream: read from the connection's
// buffer (where the head already is, whole), with every wait for more bounded
// by the read timeout and the deadline of the part of the request being read.
// Over TLS the connection's bytes pass through its session.
class ConnectionStream final : public httplib::Stream {
  public:
    ConnectionStream(Connection &connection, const ConnectionLimits &limits)
        : m_connection(connection), m_limits(limits), m_bufferCap(limits.headSize.bytes + 16 * 1024)
    {
    }

    // A new request: the head is buffered, nothing of its answer is decided.
    void startRequest()
    {
        m_deadline = Clock::now() + m_limits.head;
        m_arrival = m_connection.headArrivedAt();
        m_closeRequested = false;
        m_coding = Coding::Identity;
    }
    // The head has been read; what remains of the request is its body.
    void startBody() { m_deadline = Clock::now() + m_limits.body; }
    void requestClose() { m_closeRequested = true; }
    bool closeRequested() const { return m_closeRequested; }
    Coding coding() const { return m_coding; }
    Clock::time_point arrival() const { return m_arrival; }

    // The head as the library read it, before anything answers it: the body's
    // deadline starts, at most one range stays, and the coding of the answer
    // is chosen here (the library would pick its own, slowest, brotli).
    void headRead(httplib::Request &req)
    {
        startBody();
        limitRanges(req);
        // One pass over the few headers, their lengths compared first.
        std::string accepted;
        for (auto it = req.headers.begin(); it != req.headers.end();) {
            if (it->first.size() == 15 && strcasecmp(it->first.c_str(), "Accept-Encoding") == 0) {
                accepted += (accepted.empty() ? "" : ",") + it->second;
                it = req.headers.erase(it);
            } else {
                ++it;
            }
        }
        if (!accepted.empty())
            m_coding = preferredCoding(accepted);
    }

    bool is_readable() const override
    {
        return m_connection.buffered() > 0 || m_connection.transportPending() ||
               waitFor(m_connection.waitEvents(POLLIN), readWait());
    }
    bool is_writable() const override { return waitFor(POLLOUT, m_limits.write); }

    ssize_t read(char *ptr, size_t size) override
    {
        if (m_connection.buffered() == 0) {
            // Whatever the peer should see before it sends more (an interim
            // "100 Continue") goes out first.
            if (!flush())
                return -1;
            // Most reads find data waiting: try once before polling. Over
            // TLS, bytes that arrive may not yet complete a record.
            ssize_t n = m_connection.fill(m_bufferCap);
            while (n < 0 && errno == EAGAIN) {
                if (!waitFor(m_connection.waitEvents(POLLIN), readWait()))
                    return -1;
                n = m_connection.fill(m_bufferCap);
            }
            if (n <= 0)
                return n;
        }
        const size_t n = std::min(size, m_connection.buffered());
        std::copy_n(m_connection.bufferedData(), n, ptr);
        m_connection.consume(n);
        return static_cast<ssize_t>(n);
    }

    // Answers are gathered and sent in one piece where they fit (the library
    // writes the head and the body separately); larger bodies go out as they
    // come, after what was gathered.
    ssize_t write(const char *ptr, size_t size) override
    {
        if (m_out.size() + size <= kGather) {
            m_out.append(ptr, size);
            return static_cast<ssize_t>(size);
        }
        if (!flush())
            return -1;
        if (size <= kGather) {
            m_out.append(ptr, size);
            return static_cast<ssize_t>(size);
        }
        return sendAll(ptr, size) ? static_cast<ssize_t>(size) : -1;
    }

    // Sends what was gathered; false when the peer does not take it in time.
    bool flush()
    {
        if (m_out.empty())
            return true;
        const bool sent = sendAll(m_out.data(), m_out.size());
        m_out.clear();
        return sent;
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        ip = m_connection.address();
        port = m_connection.port();
    }
    // Stays the same for the life of the connection: asked once, not for
    // every request on it.
    void get_local_ip_and_port(std::string &ip, int &port) const override
    {
        if (!m_local) {
            m_local.emplace();
            sockaddr_storage addr{};
            socklen_t length = sizeof addr;
            if (::getsockname(m_connection.fd(), reinterpret_cast<sockaddr *>(&addr), &length) == 0)
                *m_local = {addressText(addr), portOf(addr)};
        }
        ip = m_local->first;
        port = m_local->second;
    }
    socket_t socket() const override { return m_connection.fd(); }

  private:
    static constexpr size_t kGather = 32 * 1024;

    bool sendAll(const char *data, size_t size)
    {
        while (size > 0) {
            const ssize_t n = m_connection.sendSome(data, size);
            if (n > 0) {
                data += n;
                size -= static_cast<size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                if (!waitFor(m_connection.waitEvents(POLLOUT), m_limits.write))
                    return false;
            } else {
                return false;
            }
        }
        return true;
    }

    // The read timeout, cut short by the deadline of the part being read.
    std::chrono::milliseconds readWait() const
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now());
        return std::max(std::chrono::milliseconds(0), std::min(m_limits.read, left));
    }

    bool waitFor(short events, std::chrono::milliseconds wait) const
    {
        pollfd p{m_connection.fd(), events, 0};
        const auto until = Clock::now() + wait;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            const int rc = ::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
            if (rc > 0)
                return (p.revents & (events | POLLHUP | POLLERR)) != 0;
            if (rc == 0 || errno != EINTR)
                return false;
        }
    }

    Connection &m_connection;
    const ConnectionLimits &m_limits;
    const size_t m_bufferCap;
    Clock::time_point m_deadline = Clock::now();
    Clock::time_point m_arrival = Clock::now();
    std::string m_out;
    mutable std::optional<std::pair<std::string, int>> m_local;
    bool m_closeRequested = false;
    Coding m_coding = Coding::Identity;
};

thread_local ConnectionStream *t_connection = nullptr;

// The library's accept loop hands each accepted socket to its task queue; this
// one runs the hand-over at once, on the accepting thread, so that every
// connection is counted (and refused) the moment it is accepted.
class AcceptHandOff final : public httplib::TaskQueue {
  public:
    explicit AcceptHandOff(std::function<void()> stop) : m_stop(std::move(stop)) {}
    void enqueue(std::function<void()> fn) override { fn(); }
    void shutdown() override { m_stop(); }

  private:
    std::function<void()> m_stop;
};

enum class Awaited { Ready, Park, Refused, Closed };

} // namespace

// A connection's place in the counts; given back when it closes.
class GuardedServer::Seat final : public varnel::Seat {
  public:
    Seat(GuardedServer &server, std::string group) : m_server(server), m_group(std::move(group)) {}
    ~Seat() override { m_server.release(m_group); }

  private:
    GuardedServer &m_server;
    std::string m_group;
};

GuardedServer::GuardedServer(ConnectionLimits limits) : m_limits(std::move(limits))
{
    // The Keep-Alive header of each answer tells clients what the loop in
    // serve does.
    set_keep_alive_max_count(static_cast<size_t>(std::max(1, m_limits.requestsPerConnection)));
    set_keep_alive_timeout(
        std::max<time_t>(1, std::chrono::duration_cast<std::chrono::seconds>(m_limits.keepAlive).count()));
    set_post_routing_handler([](const httplib::Request &req, httplib::Response &res) {
        if (t_connection)
            compressAnswer(t_connection->coding(), req, res);
    });
    const auto answer = [](const char *statusLine, const std::string &text) {
        return std::string("HTTP/1.1 ") + statusLine +
               "\r\nConnection: close\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
               std::to_string(text.size()) + "\r\n\r\n" + text;
    };
    m_headTooLarge =
        answer("431 Request Header Fields Too Large",
               "The request head is larger than " + std::to_string(m_limits.headSize.bytes) +
                   " bytes or has more than " + std::to_string(m_limits.headSize.lines) + " header lines.");
    m_targetTooLong = answer("414 URI Too Long", "The request's path and query are longer than " +
                                                     std::to_string(m_limits.headSize.target) + " bytes.");
    new_task_queue = [this]() -> httplib::TaskQueue * {
        ConnectionScheduler::Settings settings{m_limits, kBusy,
                                               [this](std::unique_ptr<Connection> c) { refuseHead(std::move(c)); },
                                               [this](const Connection &connection, int status,
                                                      const std::string &why) { logRefusal(connection, status, why); }};
        if (!m_scheduler.start(std::move(settings), [this](std::unique_ptr<Connection> c) { serve(std::move(c)); })) {
            std::cerr << "varnel-server: cannot start the workers\n";
            stop();
        }
        return new AcceptHandOff([this] { m_scheduler.stop(); });
    };
}

GuardedServer::~GuardedServer()
{
    m_scheduler.stop();
}

bool GuardedServer::widenListenQueue()
{
    // Listening again on a listening socket only changes its queue length.
    return svr_sock_ != INVALID_SOCKET && ::listen(svr_sock_, std::max(1, m_limits.listenBacklog)) == 0;
}

void GuardedServer::setRefusalLog(std::function<void(const std::string &, int, const std::string &)> log)
{
    m_refusalLog = std::move(log);
}

void GuardedServer::headReceived()
{
    if (t_connection)
        t_connection->startBody();
}

Clock::time_point GuardedServer::requestArrival()
{
    return t_connection ? t_connection->arrival() : Clock::now();
}

void GuardedServer::closeAfterResponse()
{
    if (t_connection)
        t_connection->requestClose();
}

void GuardedServer::logRefusal(const Connection &connection, int status, const std::string &why)
{
    if (m_refusalLog)
        m_refusalLog(connection.address(), status, why);
}

void GuardedServer::refuseHead(std::unique_ptr<Connection> connection)
{
    if (connection->headState() == HeadScanner::State::TargetTooLong) {
        logRefusal(*connection, 414, "request target too long");
        m_scheduler.refuse(std::move(connection), m_targetTooLong);
    } else {
        logRefusal(*connection, 431, "request head too large");
        m_scheduler.refuse(std::move(connection), m_headTooLarge);
    }
}

bool GuardedServer::admit(Connection &connection)
{
    const bool capped = !m_limits.trustedProxies.contains(connection.address());
    std::string group = limitGroup(connection.address());
    std::lock_guard lock(m_mutex);
    if (m_limits.maxConnections > 0 && m_total >= m_limits.maxConnections)
        return false;
    if (capped && m_limits.connectionsPerAddress > 0) {
        const auto it = m_open.find(group);
        if (it != m_open.end() && it->second >= m_limits.connectionsPerAddress)
            return false;
    }
    ++m_open[group];
    ++m_total;
    connection.seat = std::make_unique<Seat>(*this, std::move(group));
    return true;
}

void GuardedServer::release(const std::string &group)
{
    std::lock_guard lock(m_mutex);
    --m_total;
    const auto it = m_open.find(group);
    if (it != m_open.end() && --it->second <= 0)
        m_open.erase(it);
}

bool GuardedServer::process_and_close_socket(socket_t sock)
{
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    std::string address;
    int port = 0;
    if (::getpeername(sock, reinterpret_cast<sockaddr *>(&peer), &length) == 0) {
        address = addressText(peer);
        port = portOf(peer);
    }
    // Answers go out as head and body writes; without this, Nagle's
    // algorithm and the peer's delayed ACK hold each one back ~40 ms.
    const int on = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto connection = std::make_unique<Connection>(sock, std::move(address), port, m_limits.headSize);
    connection->acceptedAt = connection->readyAt = Clock::now();
    if (m_tls)
        connection->secure(std::make_unique<tls::TlsSession>(*m_tls, sock));
    if (!admit(*connection)) {
        logRefusal(*connection, 503, "too many connections");
        m_scheduler.refuse(std::move(connection), kBusy);
        return false;
    }
    // A new HTTPS connection shakes hands in the parking lot, off the workers.
    if (m_tls)
        m_scheduler.park(std::move(connection));
    else
        m_scheduler.enqueue(std::move(connection));
    return true;
}

void GuardedServer::serve(std::unique_ptr<Connection> connection)
{
    Connection &c = *connection;
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - c.readyAt);
    if (m_limits.queueWait.count() > 0 && waited > m_limits.queueWait) {
        logRefusal(c, 503, "waited " + std::to_string(waited.count()) + " ms for a worker");
        m_scheduler.refuse(std::move(connection), kBusy);
        return;
    }
    const size_t bufferCap = m_limits.headSize.bytes + 16 * 1024;
    // The next request's head, whole, before the library reads it: received
    // here while no other connection needs this worker, in the parking lot
    // otherwise.
    const auto awaitRequest = [&]() -> Awaited {
        for (;;) {
            switch (c.scanHead()) {
            case HeadScanner::State::Complete:
                return Awaited::Ready;
            case HeadScanner::State::TooLarge:
            case HeadScanner::State::TargetTooLong:
                return Awaited::Refused;
            case HeadScanner::State::Incomplete:
                break;
            }
            const Clock::time_point deadline = c.waitDeadline(m_limits);
            if (Clock::now() >= deadline) {
                // What arrived while the connection waited for this worker
                // still counts.
                if (c.fill(bufferCap) > 0)
                    continue;
                return Awaited::Closed;
            }
            // Decrypted bytes held in the TLS session are not seen by a poll.
            // (It may hold only part of a record: then the socket is waited for.)
            if (c.transportPending()) {
                const ssize_t n = c.fill(bufferCap);
                if (n > 0)
                    continue;
                if (n == 0 || errno != EAGAIN)
                    return Awaited::Closed;
            }
            switch (m_scheduler.linger(c.fd(), c.waitEvents(POLLIN), deadline)) {
            case ConnectionScheduler::Wake::Needed:
                return Awaited::Park;
            case ConnectionScheduler::Wake::Stopping:
                return Awaited::Closed;
            case ConnectionScheduler::Wake::TimedOut:
                break;
            case ConnectionScheduler::Wake::Readable: {
                const ssize_t n = c.fill(bufferCap);
                if (n == 0 || (n < 0 && errno != EAGAIN))
                    return Awaited::Closed;
                break;
            }
            }
        }
    };

    ConnectionStream stream(c, m_limits);
    t_connection = &stream;
    Awaited next = Awaited::Closed;
    bool drain = false;
    for (;;) {
        next = awaitRequest();
        if (next != Awaited::Ready || svr_sock_ == INVALID_SOCKET)
            break;
        stream.startRequest();
        bool closed = false;
        const bool last = c.requestsServed + 1 >= m_limits.requestsPerConnection;
        const bool served =
            process_request(stream, last, closed, [&stream](httplib::Request &req) { stream.headRead(req); });
        if (!stream.flush())
            break;
        if (stream.closeRequested()) {
            drain = true;
            break;
        }
        if (!served || closed || last)
            break;
        c.requestAnswered(Clock::now());
        next = Awaited::Closed;
    }
    t_connection = nullptr;
    if (drain) {
        // A request refused before its body was read: closing at once with
        // the body still arriving would reset the connection, and the peer
        // would lose the refusal.
        m_scheduler.refuse(std::move(connection), {});
    } else if (next == Awaited::Park) {
        m_scheduler.park(std::move(connection));
    } else if (next == Awaited::Refused) {
        refuseHead(std::move(connection));
    }
    // Anything else closes here.
}

} // namespace varnel
