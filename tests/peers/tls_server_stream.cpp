#include "tls_server_stream.h"

#include <gnutls/gnutls.h>

#include <poll.h>

namespace quillora::testpeers {

struct TlsServerIdentity::State {
    gnutls_certificate_credentials_t credentials = nullptr;
    gnutls_datum_t ticketKey{};
};

TlsServerIdentity::TlsServerIdentity(const std::string &certFile, const std::string &keyFile)
    : d(std::make_unique<State>())
{
    int rc = gnutls_certificate_allocate_credentials(&d->credentials);
    if (rc >= 0)
        rc = gnutls_certificate_set_x509_key_file(d->credentials, certFile.c_str(), keyFile.c_str(),
                                                  GNUTLS_X509_FMT_PEM);
    if (rc >= 0)
        rc = gnutls_session_ticket_key_generate(&d->ticketKey);
    m_ok = rc >= 0;
    if (!m_ok)
        m_error = gnutls_strerror(rc);
}

TlsServerIdentity::~TlsServerIdentity()
{
    if (d->ticketKey.data)
        gnutls_free(d->ticketKey.data);
    if (d->credentials)
        gnutls_certificate_free_credentials(d->credentials);
}

struct TlsServerStream::Session {
    gnutls_session_t session = nullptr;
};

TlsServerStream::TlsServerStream(const TlsServerIdentity &identity, int fd) : d(std::make_unique<Session>())
{
    gnutls_init(&d->session, GNUTLS_SERVER | GNUTLS_NONBLOCK | GNUTLS_NO_SIGNAL);
    gnutls_set_default_priority(d->session);
    gnutls_credentials_set(d->session, GNUTLS_CRD_CERTIFICATE, identity.d->credentials);
    gnutls_session_ticket_enable_server(d->session, &identity.d->ticketKey);
    gnutls_transport_set_int(d->session, fd);
}

TlsServerStream::~TlsServerStream()
{
    gnutls_deinit(d->session);
}

bool TlsServerStream::handshake(const Wait &wait)
{
    for (;;) {
        const int rc = gnutls_handshake(d->session);
        if (rc == 0)
            return true;
        if (rc != GNUTLS_E_AGAIN && rc != GNUTLS_E_INTERRUPTED && gnutls_error_is_fatal(rc))
            return false;
        if (!wait(gnutls_record_get_direction(d->session) ? POLLOUT : POLLIN))
            return false;
    }
}

ssize_t TlsServerStream::receive(char *buffer, size_t max, const Wait &wait)
{
    for (;;) {
        if (!hasPending() && !wait(POLLIN))
            return -1;
        const ssize_t n = gnutls_record_recv(d->session, buffer, max);
        if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED)
            continue;
        return n < 0 ? -1 : n;
    }
}

bool TlsServerStream::sendAll(const char *data, size_t size, const Wait &wait)
{
    size_t sent = 0;
    while (sent < size) {
        const ssize_t n = gnutls_record_send(d->session, data + sent, size - sent);
        if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED) {
            if (!wait(POLLOUT))
                return false;
            continue;
        }
        if (n < 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

bool TlsServerStream::hasPending() const
{
    return gnutls_record_check_pending(d->session) > 0;
}

bool TlsServerStream::isResumed() const
{
    return gnutls_session_is_resumed(d->session) != 0;
}

} // namespace quillora::testpeers
