#include "guarded_server.h"
#include "tls_context.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace varnel {

namespace {

using Clock = std::chrono::steady_clock;

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

// One connection's socket as the library's stream, read through a buffer,
// with every wait bounded by the read timeout and the deadline of the part
// of the request being read. With a TLS session, bytes pass through it.
class ConnectionStream final : public httplib::Stream {
  public:
    ConnectionStream(int fd, const ConnectionLimits &limits, tls::TlsSession *tls)
        : m_fd(fd), m_limits(limits), m_tls(tls)
    {
    }

    void startHead() { m_deadline = Clock::now() + m_limits.head; }
    void startBody() { m_deadline = Clock::now() + m_limits.body; }
    void requestClose() { m_closeRequested = true; }
    bool closeRequested() const { return m_closeRequested; }
    void resetRequest() { m_closeRequested = false; }

    // The TLS handshake, bounded like the reading of a head: a client that
    // stalls in it is cut off as one that stalls in its head.
    bool handshake()
    {
        if (!m_tls)
            return true;
        while (m_tls->handshake() != 1) {
            if (errno != EAGAIN || !waitFor(m_tls->wants(), readWait()))
                return false;
        }
        return true;
    }

    // The next request's first byte within the keep-alive time.
    bool awaitNextRequest()
    {
        if (buffered())
            return true;
        return waitFor(POLLIN, m_limits.keepAlive);
    }

    bool is_readable() const override { return buffered() || waitFor(POLLIN, readWait()); }
    bool is_writable() const override { return waitFor(POLLOUT, m_limits.write); }

    ssize_t read(char *ptr, size_t size) override
    {
        if (m_begin == m_end) {
            // Whatever the peer should see before it sends more (an interim
            // "100 Continue") goes out first.
            if (!flush())
                return -1;
            // Most reads find data waiting: try once before polling. Over
            // TLS, bytes that arrive may not yet complete a record.
            ssize_t n = receive();
            while (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!waitFor(m_tls ? m_tls->wants() : POLLIN, readWait()))
                    return -1;
                n = receive();
            }
            if (n <= 0)
                return n;
            m_begin = 0;
            m_end = static_cast<size_t>(n);
        }
        const size_t n = std::min(size, m_end - m_begin);
        std::copy_n(m_buffer.data() + m_begin, n, ptr);
        m_begin += n;
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

    // Both ends stay the same for the life of the connection: asked once,
    // not for every request on it.
    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        if (!m_remote) {
            m_remote.emplace();
            sockaddr_storage addr{};
            socklen_t length = sizeof addr;
            if (::getpeername(m_fd, reinterpret_cast<sockaddr *>(&addr), &length) == 0)
                *m_remote = {addressText(addr), portOf(addr)};
        }
        ip = m_remote->first;
        port = m_remote->second;
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override
    {
        if (!m_local) {
            m_local.emplace();
            sockaddr_storage addr{};
            socklen_t length = sizeof addr;
            if (::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &length) == 0)
                *m_local = {addressText(addr), portOf(addr)};
        }
        ip = m_local->first;
        port = m_local->second;
    }
    socket_t socket() const override { return m_fd; }

  private:
    static constexpr size_t kGather = 32 * 1024;

    // Bytes held here or inside the TLS session, which a poll does not see.
    bool buffered() const { return m_begin < m_end || (m_tls && m_tls->pending()); }

    ssize_t receive()
    {
        if (m_tls)
            return m_tls->read(m_buffer.data(), m_buffer.size());
        ssize_t n;
        do {
            n = ::recv(m_fd, m_buffer.data(), m_buffer.size(), MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        return n;
    }

    bool sendAll(const char *data, size_t size)
    {
        while (size > 0) {
            const ssize_t n = m_tls ? m_tls->write(data, size) : ::send(m_fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                data += n;
                size -= static_cast<size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!waitFor(m_tls ? m_tls->wants() : POLLOUT, m_limits.write))
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
        pollfd p{m_fd, events, 0};
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

    int m_fd;
    const ConnectionLimits &m_limits;
    tls::TlsSession *m_tls;
    Clock::time_point m_deadline = Clock::now();
    std::array<char, 16 * 1024> m_buffer{};
    size_t m_begin = 0;
    size_t m_end = 0;
    std::string m_out;
    mutable std::optional<std::pair<std::string, int>> m_remote;
    mutable std::optional<std::pair<std::string, int>> m_local;
    bool m_closeRequested = false;
};

thread_local ConnectionStream *t_connection = nullptr;

// A request refused before its body was read: closing at once with the body
// still arriving would reset the connection, and the peer would lose the
// refusal. The answer is out; take (and drop) what still comes for a moment.
void drainBeforeClose(int fd)
{
    ::shutdown(fd, SHUT_WR);
    const auto until = Clock::now() + std::chrono::seconds(1);
    size_t taken = 0;
    char scratch[16 * 1024];
    while (taken < 4 * 1024 * 1024) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
            return;
        const ssize_t n = ::recv(fd, scratch, sizeof scratch, 0);
        if (n <= 0)
            return;
        taken += static_cast<size_t>(n);
    }
}

} // namespace

GuardedServer::GuardedServer(ConnectionLimits limits) : m_limits(limits)
{
    // The Keep-Alive header of each answer tells clients what the loop in
    // process_and_close_socket does.
    set_keep_alive_max_count(static_cast<size_t>(std::max(1, m_limits.requestsPerConnection)));
    set_keep_alive_timeout(
        std::max<time_t>(1, std::chrono::duration_cast<std::chrono::seconds>(m_limits.keepAlive).count()));
}

bool GuardedServer::widenListenQueue()
{
    // Listening again on a listening socket only changes its queue length.
    return svr_sock_ != INVALID_SOCKET && ::listen(svr_sock_, std::max(1, m_limits.listenBacklog)) == 0;
}

void GuardedServer::headReceived()
{
    if (t_connection)
        t_connection->startBody();
}

void GuardedServer::closeAfterResponse()
{
    if (t_connection)
        t_connection->requestClose();
}

int GuardedServer::openConnections(const std::string &address) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_open.find(address);
    return it == m_open.end() ? 0 : it->second;
}

bool GuardedServer::admit(const std::string &address)
{
    std::lock_guard lock(m_mutex);
    int &open = m_open[address];
    const bool capped = std::find(m_limits.uncappedAddresses.begin(), m_limits.uncappedAddresses.end(), address) ==
                        m_limits.uncappedAddresses.end();
    if (capped && m_limits.connectionsPerAddress > 0 && open >= m_limits.connectionsPerAddress) {
        if (open == 0)
            m_open.erase(address);
        return false;
    }
    ++open;
    return true;
}

void GuardedServer::release(const std::string &address)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_open.find(address);
    if (it != m_open.end() && --it->second <= 0)
        m_open.erase(it);
}

bool GuardedServer::process_and_close_socket(socket_t sock)
{
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const std::string address =
        ::getpeername(sock, reinterpret_cast<sockaddr *>(&peer), &length) == 0 ? addressText(peer) : std::string();
    bool served = false;
    if (admit(address)) {
        // Answers go out as head and body writes; without this, Nagle's
        // algorithm and the peer's delayed ACK hold each one back ~40 ms.
        const int on = 1;
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::optional<tls::TlsSession> session;
        if (m_tls)
            session.emplace(*m_tls, sock);
        ConnectionStream stream(sock, m_limits, session ? &*session : nullptr);
        t_connection = &stream;
        // The TLS handshake and the first head share the head's deadline.
        stream.startHead();
        const bool secured = stream.handshake();
        for (int count = 0; secured && count < m_limits.requestsPerConnection; ++count) {
            if (count > 0 && !stream.awaitNextRequest())
                break;
            if (svr_sock_ == INVALID_SOCKET)
                break; // stopping
            if (count > 0)
                stream.startHead();
            stream.resetRequest();
            bool closed = false;
            const bool last = count + 1 == m_limits.requestsPerConnection;
            served = process_request(stream, last, closed, [](httplib::Request &) {});
            if (!stream.flush())
                break;
            if (!served || closed || stream.closeRequested())
                break;
        }
        t_connection = nullptr;
        if (session)
            session->close();
        if (stream.closeRequested())
            drainBeforeClose(sock);
        release(address);
    } else if (!m_tls) {
        // Too many connections from this address: a short answer, then close.
        static constexpr char kBusy[] = "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\n"
                                        "Retry-After: 1\r\nContent-Length: 0\r\n\r\n";
        [[maybe_unused]] const ssize_t n = ::send(sock, kBusy, sizeof kBusy - 1, MSG_NOSIGNAL);
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return served;
}

} // namespace varnel
