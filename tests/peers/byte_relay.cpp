#include "byte_relay.h"

#include <cerrno>
#include <cstdint>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillora::testpeers {

ByteRelay::ByteRelay(int targetPort) : m_targetPort(targetPort)
{
    if (::pipe2(m_wakeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("relay: pipe failed");
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 64) != 0 || ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        throw std::runtime_error("relay: cannot listen on 127.0.0.1");
    m_port = ntohs(addr.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

ByteRelay::~ByteRelay()
{
    m_stopping = true;
    const char c = 'x';
    [[maybe_unused]] const auto n = ::write(m_wakeFds[1], &c, 1); // stays readable: wakes every poll
    m_acceptThread.join();
    for (auto &t : m_threads)
        t.join();
    ::close(m_listenFd);
    ::close(m_wakeFds[0]);
    ::close(m_wakeFds[1]);
}

QByteArray ByteRelay::recorded() const
{
    std::lock_guard lock(m_mutex);
    return m_recorded;
}

int ByteRelay::connectionCount() const
{
    std::lock_guard lock(m_mutex);
    return m_connections;
}

void ByteRelay::record(const char *data, qsizetype size)
{
    std::lock_guard lock(m_mutex);
    m_recorded.append(data, size);
}

void ByteRelay::acceptLoop()
{
    while (!m_stopping) {
        pollfd p[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFds[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 || (p[1].revents & POLLIN))
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        {
            std::lock_guard lock(m_mutex);
            ++m_connections;
        }
        m_threads.emplace_back([this, fd] { relay(fd); });
    }
}

void ByteRelay::relay(int client)
{
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(m_targetPort));
    if (server < 0 || ::connect(server, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        if (server >= 0)
            ::close(server);
        ::close(client);
        return;
    }
    const auto wait = [&](int fd, short events) {
        pollfd p[2] = {{fd, events, 0}, {m_wakeFds[0], POLLIN, 0}};
        return ::poll(p, 2, -1) > 0 && !m_stopping;
    };
    // Everything that arrives on one side goes out on the other, and into
    // the record.
    const auto pass = [&](int from, int to) {
        char buffer[16384];
        const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        record(buffer, n);
        for (ssize_t sent = 0; sent < n;) {
            const ssize_t k = ::send(to, buffer + sent, size_t(n - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (k > 0) {
                sent += k;
                continue;
            }
            if (k == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) || !wait(to, POLLOUT))
                return false;
        }
        return true;
    };
    bool open = true;
    while (open && !m_stopping) {
        pollfd p[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {m_wakeFds[0], POLLIN, 0}};
        if (::poll(p, 3, -1) <= 0 || m_stopping)
            continue;
        if (p[0].revents & (POLLIN | POLLHUP | POLLERR))
            open = pass(client, server);
        if (open && (p[1].revents & (POLLIN | POLLHUP | POLLERR)))
            open = pass(server, client);
    }
    ::close(server);
    ::close(client);
}

} // namespace quillora::testpeers
