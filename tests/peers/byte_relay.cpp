#include "byte_relay.h"

#include "tls_server_stream.h"

#include <cerrno>
#include <cstdint>
#include <memory>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillora::testpeers {

ByteRelay::ByteRelay(int targetPort, const TlsServerIdentity *terminateTls)
    : m_targetPort(targetPort), m_tls(terminateTls)
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
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
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
    std::unique_ptr<TlsServerStream> tls;
    if (m_tls) {
        tls = std::make_unique<TlsServerStream>(*m_tls, client);
        if (!tls->handshake([&](short events) { return wait(client, events); })) {
            tls.reset();
            ::close(server);
            ::close(client);
            return;
        }
    }
    char buffer[16384];
    bool open = true;
    while (open && !m_stopping) {
        pollfd p[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {m_wakeFds[0], POLLIN, 0}};
        if (!(tls && tls->hasPending()) && ::poll(p, 3, -1) <= 0)
            continue;
        if (m_stopping)
            break;
        if ((tls && tls->hasPending()) || (p[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = tls ? tls->receive(buffer, sizeof buffer, [&](short e) { return wait(client, e); })
                                  : ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) {
                open = false;
            } else {
                record(buffer, n);
                open = ::send(server, buffer, size_t(n), MSG_NOSIGNAL) == n;
            }
        }
        if (open && (p[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
            if (n <= 0) {
                open = false;
            } else {
                record(buffer, n);
                if (tls) {
                    open = tls->sendAll(buffer, size_t(n), [&](short e) { return wait(client, e); });
                } else {
                    // The client's side is non-blocking: wait for room as needed.
                    ssize_t sent = 0;
                    while (open && sent < n) {
                        const ssize_t k = ::send(client, buffer + sent, size_t(n - sent), MSG_NOSIGNAL);
                        if (k > 0)
                            sent += k;
                        else if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                            open = wait(client, POLLOUT);
                        else
                            open = false;
                    }
                }
            }
        }
    }
    tls.reset();
    ::close(server);
    ::close(client);
}

} // namespace quillora::testpeers
