#include "scripted_http_peer.h"
#include "tls_server_stream.h"

#include <QList>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillora::testpeers {

PeerScript &PeerScript::readRequest()
{
    m_steps.push_back({Step::Kind::ReadRequest, {}, 0});
    return *this;
}

PeerScript &PeerScript::send(const QByteArray &bytes)
{
    m_steps.push_back({Step::Kind::Send, bytes, 0});
    return *this;
}

PeerScript &PeerScript::sendInPieces(const QByteArray &bytes, int pieceSize, int delayMs)
{
    for (qsizetype at = 0; at < bytes.size(); at += pieceSize) {
        if (at > 0)
            wait(delayMs);
        send(bytes.mid(at, pieceSize));
    }
    return *this;
}

PeerScript &PeerScript::wait(int ms)
{
    m_steps.push_back({Step::Kind::Wait, {}, ms});
    return *this;
}

PeerScript &PeerScript::close()
{
    m_steps.push_back({Step::Kind::Close, {}, 0});
    return *this;
}

// One connection's byte stream, plain or TLS, every wait cut short when the
// peer stops.
struct ScriptedHttpPeer::Io {
    const ScriptedHttpPeer &peer;
    int fd;
    std::unique_ptr<TlsServerStream> tls;

    bool wait(short events) const
    {
        pollfd p[2] = {{fd, events, 0}, {peer.m_wakeFds[0], POLLIN, 0}};
        return ::poll(p, 2, -1) > 0 && !peer.m_stopping;
    }

    ssize_t receive(char *buffer, size_t max) const
    {
        if (tls)
            return tls->receive(buffer, max, [this](short events) { return wait(events); });
        if (!wait(POLLIN))
            return -1;
        return ::recv(fd, buffer, max, 0);
    }

    bool sendAll(const QByteArray &bytes) const
    {
        if (tls)
            return tls->sendAll(bytes.constData(), size_t(bytes.size()), [this](short e) { return wait(e); });
        qsizetype sent = 0;
        while (sent < bytes.size()) {
            if (!wait(POLLOUT))
                return false;
            const ssize_t n =
                ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return false;
            sent += std::max<ssize_t>(n, 0);
        }
        return true;
    }
};

ScriptedHttpPeer::ScriptedHttpPeer(std::vector<PeerScript> scripts, const PeerTls &tls) : m_scripts(std::move(scripts))
{
    if (!tls.certFile.empty()) {
        m_tls = std::make_unique<TlsServerIdentity>(tls.certFile, tls.keyFile);
        if (!m_tls->ok())
            throw std::runtime_error("scripted peer: " + m_tls->error());
    }
    if (::pipe2(m_wakeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("scripted peer: pipe failed");
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 64) != 0 || ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        throw std::runtime_error("scripted peer: cannot listen on 127.0.0.1");
    m_port = ntohs(addr.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

ScriptedHttpPeer::~ScriptedHttpPeer()
{
    m_stopping = true;
    const char c = 'x';
    [[maybe_unused]] const auto n = ::write(m_wakeFds[1], &c, 1); // stays readable: wakes every poll
    m_acceptThread.join();
    for (auto &t : m_connectionThreads)
        t.join();
    ::close(m_listenFd);
    ::close(m_wakeFds[0]);
    ::close(m_wakeFds[1]);
}

std::string ScriptedHttpPeer::url(const std::string &path) const
{
    return (m_tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(m_port) + path;
}

int ScriptedHttpPeer::handshakeCount() const
{
    std::lock_guard lock(m_mutex);
    return m_handshakes;
}

int ScriptedHttpPeer::resumedCount() const
{
    std::lock_guard lock(m_mutex);
    return m_resumed;
}

std::vector<std::vector<QByteArray>> ScriptedHttpPeer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<QByteArray> ScriptedHttpPeer::allRequests() const
{
    std::lock_guard lock(m_mutex);
    return m_allRequests;
}

int ScriptedHttpPeer::connectionCount() const
{
    std::lock_guard lock(m_mutex);
    return int(m_requests.size());
}

bool ScriptedHttpPeer::waitForFinishedConnections(int count, int timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_finished >= count; });
}

void ScriptedHttpPeer::acceptLoop()
{
    while (!m_stopping) {
        pollfd p[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFds[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 || (p[1].revents & POLLIN))
            continue; // EINTR, or stopping (the loop condition ends it)
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        size_t index;
        {
            std::lock_guard lock(m_mutex);
            index = m_requests.size();
            m_requests.emplace_back();
        }
        if (index >= m_scripts.size()) {
            ::close(fd);
            std::lock_guard lock(m_mutex);
            ++m_finished;
            m_changed.notify_all();
            continue;
        }
        m_connectionThreads.emplace_back([this, fd, index] { serve(fd, index); });
    }
}

// Sleeps, cut short when the peer stops; false when stopping.
bool ScriptedHttpPeer::pause(int ms) const
{
    pollfd p{m_wakeFds[0], POLLIN, 0};
    ::poll(&p, 1, ms);
    return !m_stopping;
}

bool ScriptedHttpPeer::readRequest(Io &io, QByteArray &pending, QByteArray &request)
{
    auto readMore = [&]() {
        char buf[8192];
        const ssize_t n = io.receive(buf, sizeof buf);
        if (n <= 0)
            return false;
        pending.append(buf, n);
        return true;
    };

    qsizetype headEnd;
    while ((headEnd = pending.indexOf("\r\n\r\n")) < 0) {
        if (!readMore())
            return false;
    }
    headEnd += 4;
    qsizetype bodyLength = 0;
    for (const QByteArray &line : pending.left(headEnd).split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length")
            bodyLength = line.mid(colon + 1).trimmed().toLongLong();
    }
    while (pending.size() < headEnd + bodyLength) {
        if (!readMore())
            return false;
    }
    request = pending.left(headEnd + bodyLength);
    pending.remove(0, headEnd + bodyLength);
    return true;
}

void ScriptedHttpPeer::serve(int fd, size_t index)
{
    Io io{*this, fd, nullptr};
    QByteArray pending;
    if (m_tls) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        io.tls = std::make_unique<TlsServerStream>(*m_tls, fd);
        if (io.tls->handshake([&io](short events) { return io.wait(events); })) {
            std::lock_guard lock(m_mutex);
            ++m_handshakes;
            m_resumed += io.tls->isResumed() ? 1 : 0;
        } else {
            io.tls.reset();
            ::close(fd);
            std::lock_guard lock(m_mutex);
            ++m_finished;
            m_changed.notify_all();
            return;
        }
    }
    for (const auto &step : m_scripts[index].steps()) {
        if (m_stopping)
            break;
        bool goOn = true;
        switch (step.kind) {
        case PeerScript::Step::Kind::ReadRequest: {
            QByteArray request;
            goOn = readRequest(io, pending, request);
            if (goOn) {
                std::lock_guard lock(m_mutex);
                m_requests[index].push_back(request);
                m_allRequests.push_back(request);
            }
            break;
        }
        case PeerScript::Step::Kind::Send:
            goOn = io.sendAll(step.bytes);
            break;
        case PeerScript::Step::Kind::Wait:
            goOn = pause(step.ms);
            break;
        case PeerScript::Step::Kind::Close:
            goOn = false;
            break;
        }
        if (!goOn)
            break;
    }
    io.tls.reset();
    ::close(fd);
    std::lock_guard lock(m_mutex);
    ++m_finished;
    m_changed.notify_all();
}

namespace {

const char *reasonPhrase(int status)
{
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 202:
        return "Accepted";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

QByteArray httpResponse(int status, std::initializer_list<std::pair<QByteArray, QByteArray>> headers,
                        const QByteArray &body)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    bool hasLength = false;
    for (const auto &[name, value] : headers) {
        out += name + ": " + value + "\r\n";
        hasLength = hasLength || name.toLower() == "content-length";
    }
    if (!hasLength)
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "\r\n";
    out += body;
    return out;
}

} // namespace quillora::testpeers
