#include "raise_channel.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace quillora::session {
namespace {

constexpr char kRequest[] = "raise\n";
constexpr size_t kRequestLength = sizeof kRequest - 1;

// False when the path does not fit a socket address.
bool socketAddress(const QString &path, sockaddr_un &address)
{
    const QByteArray native = QFile::encodeName(path);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (native.isEmpty() || size_t(native.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    return true;
}

} // namespace

QString raiseSocketPath(const QString &lockPath)
{
    QString path = lockPath;
    if (path.endsWith(QStringLiteral(".lock")))
        path.chop(5);
    return path + QStringLiteral(".sock");
}

RaiseListener::RaiseListener(const QString &socketPath, QObject *parent) : QObject(parent), m_path(socketPath)
{
    sockaddr_un address;
    if (!socketAddress(socketPath, address))
        return;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    ::unlink(address.sun_path); // a crashed copy's socket; we hold the lock now
    // Bound with an owner-only mask so there is no moment in which others may connect.
    const mode_t oldMask = ::umask(0077);
    const int bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::umask(oldMask);
    if (bound != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return;
    }
    m_fd = fd;
    m_notifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { acceptOne(); });
}

RaiseListener::~RaiseListener()
{
    if (m_fd < 0)
        return;
    delete m_notifier;
    ::close(m_fd);
    ::unlink(QFile::encodeName(m_path).constData());
}

void RaiseListener::acceptOne()
{
    const int peer = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (peer < 0)
        return;
    // The knock is a few bytes sent at once; a peer that connects and then
    // dawdles is not waited for long, so the window keeps answering.
    char buffer[16] = {};
    size_t got = 0;
    while (got < kRequestLength) {
        pollfd p{peer, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            break;
        const ssize_t n = ::read(peer, buffer + got, sizeof buffer - 1 - got);
        if (n <= 0)
            break;
        got += size_t(n);
    }
    ::close(peer);
    if (got == kRequestLength && std::memcmp(buffer, kRequest, kRequestLength) == 0)
        Q_EMIT raiseRequested();
}

bool askRunningCopyToRaise(const QString &socketPath, int timeoutMs)
{
    sockaddr_un address;
    if (!socketAddress(socketPath, address))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // A local connect either succeeds or fails at once; only the write may wait.
    bool sent = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    if (sent) {
        pollfd p{fd, POLLOUT, 0};
        sent = ::poll(&p, 1, timeoutMs) == 1 &&
               ::send(fd, kRequest, kRequestLength, MSG_NOSIGNAL) == ssize_t(kRequestLength);
    }
    ::close(fd);
    return sent;
}

} // namespace quillora::session
