#include "stream_socket.h"

#include <gnutls/gnutls.h>

#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillora::platform::net {

struct StreamSocket::Tls {
    gnutls_certificate_credentials_t credentials = nullptr;
    gnutls_session_t session = nullptr;
    // GnuTLS keeps a pointer to the name it verifies the certificate for, for
    // the life of the session: the bytes live here, beside it.
    std::string verifiedName;
    bool established = false;

    ~Tls()
    {
        if (session)
            gnutls_deinit(session);
        if (credentials)
            gnutls_certificate_free_credentials(credentials);
    }
};

StreamSocket::StreamSocket(int fd) : m_fd(fd) {}

StreamSocket::~StreamSocket()
{
    m_tls.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool StreamSocket::isEncrypted() const
{
    return m_tls && m_tls->established;
}

bool StreamSocket::sendAll(const char *data, qsizetype size, int timeoutMs, SendLimit limit)
{
    const auto limitFromNow = [timeoutMs] { return Clock::now() + std::chrono::milliseconds(timeoutMs); };
    auto deadline = limitFromNow();
    qsizetype sent = 0;
    while (sent < size) {
        if (waitForSocket(m_fd, POLLOUT, deadline) <= 0)
            return false;
        ssize_t n = 0;
        if (isEncrypted()) {
            n = gnutls_record_send(m_tls->session, data + sent, size_t(size - sent));
            if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED)
                continue;
            if (n < 0)
                return false;
        } else {
            n = ::send(m_fd, data + sent, size_t(size - sent), MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                    continue;
                return false;
            }
        }
        sent += n;
        if (limit == SendLimit::SinceProgress && n > 0)
            deadline = limitFromNow();
    }
    return true;
}

qsizetype StreamSocket::receive(char *buffer, qsizetype max, int waitMs)
{
    const bool tls = isEncrypted();
    if (!(tls && gnutls_record_check_pending(m_tls->session) > 0)) {
        const int ready = waitForSocket(m_fd, POLLIN, Clock::now() + std::chrono::milliseconds(waitMs));
        if (ready == 0)
            return -2;
        if (ready < 0)
            return -1;
    }
    if (tls) {
        const ssize_t n = gnutls_record_recv(m_tls->session, buffer, size_t(max));
        if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED)
            return -2;
        return n < 0 ? -1 : n;
    }
    const ssize_t n = ::recv(m_fd, buffer, size_t(max), 0);
    if (n < 0)
        return (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) ? -2 : -1;
    return n;
}

int StreamSocket::startTls(const std::string &host, const TlsTrust &trust, int timeoutMs)
{
    m_tls = std::make_unique<Tls>();
    Tls &t = *m_tls;
    int rc = gnutls_certificate_allocate_credentials(&t.credentials);
    if (rc < 0)
        return rc;
    int authorities = 0;
    if (trust.systemStore) {
        rc = gnutls_certificate_set_x509_system_trust(t.credentials);
        if (rc < 0)
            return rc;
        authorities += rc;
    }
    if (!trust.caFile.empty()) {
        rc = gnutls_certificate_set_x509_trust_file(t.credentials, trust.caFile.c_str(), GNUTLS_X509_FMT_PEM);
        if (rc < 0)
            return rc;
        authorities += rc;
    }
    if (authorities <= 0)
        return GNUTLS_E_NO_CERTIFICATE_FOUND; // nothing to trust: nothing would verify
    // No SIGPIPE from a peer that goes away in the middle of a record.
    if ((rc = gnutls_init(&t.session, GNUTLS_CLIENT | GNUTLS_NONBLOCK | GNUTLS_NO_SIGNAL)) < 0)
        return rc;
    if ((rc = gnutls_set_default_priority(t.session)) < 0)
        return rc;
    if ((rc = gnutls_credentials_set(t.session, GNUTLS_CRD_CERTIFICATE, t.credentials)) < 0)
        return rc;
    t.verifiedName = host;
    in_addr v4{};
    in6_addr v6{};
    // Server name indication is for names only, not for addresses.
    if (::inet_pton(AF_INET, host.c_str(), &v4) != 1 && ::inet_pton(AF_INET6, host.c_str(), &v6) != 1)
        gnutls_server_name_set(t.session, GNUTLS_NAME_DNS, t.verifiedName.data(), t.verifiedName.size());
    gnutls_session_set_verify_cert(t.session, t.verifiedName.c_str(), 0);
    gnutls_transport_set_int(t.session, m_fd);

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        rc = gnutls_handshake(t.session);
        if (rc == 0) {
            t.established = true;
            return 0;
        }
        if (rc != GNUTLS_E_AGAIN && rc != GNUTLS_E_INTERRUPTED && gnutls_error_is_fatal(rc))
            return rc;
        const short events = gnutls_record_get_direction(t.session) ? POLLOUT : POLLIN;
        if (waitForSocket(m_fd, events, deadline) <= 0)
            return GNUTLS_E_TIMEDOUT;
    }
}

void StreamSocket::shutdownTls()
{
    if (isEncrypted())
        gnutls_bye(m_tls->session, GNUTLS_SHUT_WR); // best effort, the socket closes next
}

std::string StreamSocket::errorText(int tlsError)
{
    return gnutls_strerror(tlsError);
}

} // namespace quillora::platform::net
