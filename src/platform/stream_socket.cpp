#include "stream_socket.h"

#include <gnutls/gnutls.h>

#include <cerrno>
#include <map>
#include <mutex>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillora::platform::net {

namespace {

struct Credentials {
    gnutls_certificate_credentials_t handle = nullptr;
    ~Credentials()
    {
        if (handle)
            gnutls_certificate_free_credentials(handle);
    }
};

// Loading the system store parses every authority in it, which costs more
// than a resumed handshake: connections made with the same trust share one
// loaded copy (GnuTLS allows that once it is filled). A CA file is known by
// its path and its state on disk, so a file replaced in place is read anew.
int sharedCredentials(const TlsTrust &trust, std::shared_ptr<Credentials> &out)
{
    std::string key = trust.systemStore ? "system|" : "|";
    if (!trust.caFile.empty()) {
        struct stat st {};
        if (::stat(trust.caFile.c_str(), &st) != 0)
            return GNUTLS_E_FILE_ERROR;
        key += trust.caFile + '|' + std::to_string(st.st_ino) + '|' + std::to_string(st.st_size) + '|' +
               std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec);
    }
    static std::mutex lock;
    static std::map<std::string, std::shared_ptr<Credentials>> loaded;
    const std::lock_guard guard(lock);
    if (const auto it = loaded.find(key); it != loaded.end()) {
        out = it->second;
        return 0;
    }
    auto credentials = std::make_shared<Credentials>();
    int rc = gnutls_certificate_allocate_credentials(&credentials->handle);
    if (rc < 0)
        return rc;
    int authorities = 0;
    if (trust.systemStore) {
        rc = gnutls_certificate_set_x509_system_trust(credentials->handle);
        // A machine without a system store can still trust the named file.
        if (rc < 0 && trust.caFile.empty())
            return rc;
        authorities += rc > 0 ? rc : 0;
    }
    if (!trust.caFile.empty()) {
        rc = gnutls_certificate_set_x509_trust_file(credentials->handle, trust.caFile.c_str(), GNUTLS_X509_FMT_PEM);
        if (rc < 0)
            return rc;
        authorities += rc;
    }
    if (authorities <= 0)
        return GNUTLS_E_NO_CERTIFICATE_FOUND; // nothing to trust: nothing would verify
    // Few trusts are ever in use; files that come and go (tests) must not pile up.
    if (loaded.size() >= 16)
        loaded.clear();
    loaded.emplace(key, credentials);
    out = std::move(credentials);
    return 0;
}

} // namespace

struct StreamSocket::Tls {
    std::shared_ptr<Credentials> credentials;
    gnutls_session_t session = nullptr;
    // GnuTLS keeps a pointer to the name it verifies the certificate for, for
    // the life of the session: the bytes live here, beside it.
    std::string verifiedName;
    bool established = false;

    ~Tls()
    {
        if (session)
            gnutls_deinit(session);
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

bool StreamSocket::isOpenAndIdle()
{
    const bool tls = isEncrypted();
    // A few records may be waiting (a TLS 1.3 server hands out its tickets
    // after the handshake); anything more is not idle.
    for (int records = 0; records < 8; ++records) {
        if (tls && gnutls_record_check_pending(m_tls->session) > 0)
            return false; // decrypted bytes nobody asked for
        pollfd p{m_fd, POLLIN, 0};
        const int r = ::poll(&p, 1, 0);
        if (r == 0)
            return true; // nothing pending: the connection is idle and open
        if (r < 0 || (p.revents & (POLLERR | POLLNVAL)))
            return false;
        if (!tls) {
            char c;
            const ssize_t n = ::recv(m_fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
            if (n < 0)
                return errno == EAGAIN || errno == EWOULDBLOCK;
            // 0: the peer closed it. > 0: bytes no request asked for; the
            // stream is out of step, so it is not used again either.
            return false;
        }
        char c;
        const ssize_t n = gnutls_record_recv(m_tls->session, &c, 1);
        if (n != GNUTLS_E_AGAIN && n != GNUTLS_E_INTERRUPTED)
            return false; // data, a close notification or an error
        // A record without application data (a ticket) was taken in: look again.
    }
    return false;
}

int StreamSocket::startTls(const std::string &host, const TlsTrust &trust, int timeoutMs, const std::string &resumeData)
{
    m_tls = std::make_unique<Tls>();
    Tls &t = *m_tls;
    int rc = sharedCredentials(trust, t.credentials);
    if (rc < 0)
        return rc;
    // No SIGPIPE from a peer that goes away in the middle of a record.
    if ((rc = gnutls_init(&t.session, GNUTLS_CLIENT | GNUTLS_NONBLOCK | GNUTLS_NO_SIGNAL)) < 0)
        return rc;
    if ((rc = gnutls_set_default_priority(t.session)) < 0)
        return rc;
    if ((rc = gnutls_credentials_set(t.session, GNUTLS_CRD_CERTIFICATE, t.credentials->handle)) < 0)
        return rc;
    t.verifiedName = host;
    in_addr v4{};
    in6_addr v6{};
    // Server name indication is for names only, not for addresses.
    if (::inet_pton(AF_INET, host.c_str(), &v4) != 1 && ::inet_pton(AF_INET6, host.c_str(), &v6) != 1)
        gnutls_server_name_set(t.session, GNUTLS_NAME_DNS, t.verifiedName.data(), t.verifiedName.size());
    gnutls_session_set_verify_cert(t.session, t.verifiedName.c_str(), 0);
    // Data GnuTLS does not take (stale or damaged) only means a full handshake.
    if (!resumeData.empty())
        gnutls_session_set_data(t.session, resumeData.data(), resumeData.size());
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

bool StreamSocket::isResumed() const
{
    return isEncrypted() && gnutls_session_is_resumed(m_tls->session) != 0;
}

std::string StreamSocket::sessionData() const
{
    if (!isEncrypted())
        return {};
    // Under TLS 1.3 the session can be resumed only once a ticket has come;
    // asking before that would wait for one.
    if (gnutls_protocol_get_version(m_tls->session) == GNUTLS_TLS1_3 &&
        !(gnutls_session_get_flags(m_tls->session) & GNUTLS_SFLAGS_SESSION_TICKET))
        return {};
    gnutls_datum_t data{};
    if (gnutls_session_get_data2(m_tls->session, &data) < 0)
        return {};
    std::string bytes(reinterpret_cast<const char *>(data.data), data.size);
    gnutls_free(data.data);
    return bytes;
}

std::string StreamSocket::certificateProblem() const
{
    if (!m_tls || !m_tls->session)
        return {};
    const unsigned status = gnutls_session_get_verify_cert_status(m_tls->session);
    gnutls_datum_t text{};
    if (status == 0 || gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0) < 0)
        return {};
    std::string problem(reinterpret_cast<const char *>(text.data), text.size);
    gnutls_free(text.data);
    return problem;
}

std::string StreamSocket::errorText(int tlsError)
{
    return gnutls_strerror(tlsError);
}

} // namespace quillora::platform::net
