#include "connection.h"
#include "tls_context.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace varnel {

namespace {

constexpr size_t kReceiveBlock = 16 * 1024;

} // namespace

Connection::Connection(int fd, std::string address, int port, HeadLimits headLimits)
    : m_fd(fd), m_address(std::move(address)), m_port(port), m_head(headLimits)
{
}

Connection::~Connection()
{
    if (m_tls) {
        m_tls->close();
        m_tls.reset();
    }
    // Whatever the peer still sends is refused: the connection is over.
    ::shutdown(m_fd, SHUT_RDWR);
    ::close(m_fd);
}

void Connection::secure(std::unique_ptr<tls::TlsSession> session)
{
    m_tls = std::move(session);
    m_handshaken = m_tls == nullptr;
}

int Connection::handshake()
{
    if (m_handshaken)
        return 1;
    const int rc = m_tls->handshake();
    m_handshaken = rc == 1;
    return rc;
}

short Connection::waitEvents(short plain) const
{
    return m_tls ? m_tls->wants() : plain;
}

bool Connection::transportPending() const
{
    return m_tls && m_tls->pending();
}

void Connection::endOutput()
{
    if (m_tls)
        m_tls->close();
    ::shutdown(m_fd, SHUT_WR);
}

ssize_t Connection::receiveSome(char *data, size_t size)
{
    if (m_tls)
        return m_tls->read(data, size);
    ssize_t n;
    do {
        n = ::recv(m_fd, data, size, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t Connection::sendSome(const char *data, size_t size)
{
    if (m_tls)
        return m_tls->write(data, size);
    ssize_t n;
    do {
        n = ::send(m_fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t Connection::fill(size_t cap)
{
    if (m_begin == m_end) {
        m_begin = m_end = m_scanned = 0;
    } else if (m_end == m_capacity && m_begin > 0) {
        std::memmove(m_data.get(), m_data.get() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_end == m_capacity) {
        const size_t grown = std::min(cap, std::max(kReceiveBlock, m_capacity * 2));
        if (grown <= m_capacity) {
            errno = EMSGSIZE;
            return -1;
        }
        auto data = std::make_unique<char[]>(grown);
        std::copy_n(m_data.get(), m_end, data.get());
        m_data = std::move(data);
        m_capacity = grown;
    }
    const ssize_t n = receiveSome(m_data.get() + m_end, m_capacity - m_end);
    if (n > 0) {
        m_end += static_cast<size_t>(n);
        m_lastByte = Clock::now();
    }
    return n;
}

void Connection::releaseBuffer()
{
    if (m_begin == m_end) {
        m_data.reset();
        m_capacity = m_begin = m_end = 0;
    }
}

HeadScanner::State Connection::scanHead()
{
    if (m_head.state() == HeadScanner::State::Incomplete && m_scanned < buffered()) {
        if (!m_head.started())
            m_headStarted = m_lastByte;
        m_scanned += m_head.feed(bufferedData() + m_scanned, buffered() - m_scanned);
        if (m_head.state() == HeadScanner::State::Complete) {
            m_headArrived = m_lastByte;
            disarmSeveralRanges(m_data.get() + m_begin, m_head.bytes());
        }
    }
    return m_head.state();
}

void Connection::requestAnswered(Clock::time_point now)
{
    ++requestsServed;
    m_head.reset();
    // What is left in the buffer starts the next request.
    m_scanned = 0;
    m_idleSince = now;
    // Bytes of the next request that came with this one arrived by now.
    m_lastByte = now;
}

Clock::time_point Connection::waitDeadline(const ConnectionLimits &limits) const
{
    if (!m_head.started()) {
        return requestsServed == 0 ? acceptedAt + std::min(limits.read, limits.head) : m_idleSince + limits.keepAlive;
    }
    const Clock::time_point start = requestsServed == 0 ? acceptedAt : m_headStarted;
    return std::min(start + limits.head, m_lastByte + limits.read);
}

} // namespace varnel
