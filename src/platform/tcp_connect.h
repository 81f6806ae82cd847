// Connecting a TCP socket with a time limit, on POSIX sockets with a
// non-blocking connect and poll(). Shared by the HTTP transport and the SMTP
// client; header-only so the Qt-free helpers need no library of their own.
#pragma once

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillora::platform::net {

using Clock = std::chrono::steady_clock;

inline int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Waits for `events` on fd until the deadline: > 0 ready, 0 timed out, < 0 error.
inline int waitForSocket(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, remainingMs(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r > 0 && (p.revents & POLLNVAL))
            return -1;
        return r;
    }
}

// Where a connect attempt stopped.
enum class ConnectStage { Connected, Resolve, Socket, Connect };

struct ConnectResult {
    int fd = -1; // non-blocking, close-on-exec; owned by the caller when >= 0
    ConnectStage stage = ConnectStage::Resolve;
    int error = 0; // errno of the failed step; ETIMEDOUT when the time limit ran out
};

// Resolves `host` (a name or a numeric address) and connects to the first
// address found, waiting at most `timeoutMs` for the connection. `family`
// narrows the lookup (AF_INET for IPv4 only).
inline ConnectResult connectTcp(const std::string &host, int port, int timeoutMs, int family = AF_UNSPEC)
{
    ConnectResult result;
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const std::string service = std::to_string(port);
    const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0 || !found) {
        result.error = rc == EAI_SYSTEM ? errno : EHOSTUNREACH;
        return result;
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);

    // The first address only; no other is tried.
    const addrinfo *a = found;
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
        result.stage = ConnectStage::Socket;
        result.error = errno;
        return result;
    }
    const auto fail = [&](int error) {
        ::close(fd);
        result.stage = ConnectStage::Connect;
        result.error = error;
        return result;
    };
    if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
        if (errno != EINPROGRESS && errno != EINTR)
            return fail(errno);
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        const int ready = waitForSocket(fd, POLLOUT, deadline);
        if (ready == 0)
            return fail(ETIMEDOUT);
        if (ready < 0)
            return fail(errno);
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
            return fail(errno);
        if (error != 0)
            return fail(error);
    }
    result.fd = fd;
    result.stage = ConnectStage::Connected;
    return result;
}

} // namespace quillora::platform::net
