#include "tls_context.h"

#include <openssl/err.h>
#include <openssl/pem.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace varnel::tls {

namespace {

// TLS 1.2 with forward secrecy and authenticated encryption only; TLS 1.3
// has nothing weaker to leave out.
constexpr char kTls12Ciphers[] = "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                                 "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
                                 "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305";
constexpr char kGroups[] = "X25519:P-256:P-384";
constexpr unsigned char kSessionContext[] = "varnel-server";
// A key file is a few kilobytes; anything far larger is not one.
constexpr off_t kMaxKeyFile = 1024 * 1024;

// The reason OpenSSL gave for the last failure on this thread, and a clean
// queue for whatever runs on it next.
std::string lastError()
{
    const unsigned long code = ERR_peek_last_error();
    std::string text;
    if (code != 0) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        const char *reason = ERR_reason_error_string(code);
        text = reason ? reason : buffer;
    }
    ERR_clear_error();
    return text.empty() ? std::string("unknown error") : text;
}

// A passphrase-protected key cannot be read without someone to type it.
int noPassphrase(char *, int, int, void *)
{
    return -1;
}

// The key file's bytes, read from the one descriptor whose access was
// checked (links are followed: certificate tools keep the current key
// behind one).
bool readKeyFile(const std::string &path, std::vector<char> &bytes, std::string &error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = "cannot open TLS key file " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= kMaxKeyFile;
    if (!ok) {
        error = "TLS key file " + path + " is not a private key file";
    } else if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        error = "TLS key file " + path + " may be read by others (mode " + mode + "); make it owner-only (chmod 600)";
        ok = false;
    } else {
        bytes.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        ok = got == bytes.size();
        if (!ok)
            error = "cannot read TLS key file " + path;
    }
    ::close(fd);
    return ok;
}

EVP_PKEY *parseKey(std::vector<char> &bytes)
{
    BIO *bio = BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size()));
    EVP_PKEY *key = bio ? PEM_read_bio_PrivateKey(bio, nullptr, noPassphrase, nullptr) : nullptr;
    BIO_free(bio);
    OPENSSL_cleanse(bytes.data(), bytes.size());
    return key;
}

} // namespace

std::unique_ptr<TlsContext> TlsContext::load(const std::string &certFile, const std::string &keyFile,
                                             std::string &error)
{
    ERR_clear_error();
    SSL_CTX *ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx) {
        error = "cannot set up TLS: " + lastError();
        return nullptr;
    }
    std::unique_ptr<TlsContext> context(new TlsContext(ctx));
    if (SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1 || SSL_CTX_set_cipher_list(ctx, kTls12Ciphers) != 1 ||
        SSL_CTX_set1_groups_list(ctx, kGroups) != 1) {
        error = "cannot set up TLS: " + lastError();
        return nullptr;
    }
    // Renegotiation asked for by a client costs the server a handshake for
    // each request of it; a connection that ends without close_notify is
    // no threat to requests that carry their own length.
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_COMPRESSION);
    // The connection's stream writes as far as the socket takes and comes
    // back with the same bytes after a wait.
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Reconnecting clients resume their session instead of a full handshake:
    // by session ticket (the default) or, for clients without tickets, from
    // the session cache.
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_SERVER);
    SSL_CTX_set_session_id_context(ctx, kSessionContext, sizeof kSessionContext - 1);

    if (SSL_CTX_use_certificate_chain_file(ctx, certFile.c_str()) != 1) {
        error = "cannot read the certificate chain in " + certFile + ": " + lastError();
        return nullptr;
    }
    std::vector<char> bytes;
    if (!readKeyFile(keyFile, bytes, error))
        return nullptr;
    EVP_PKEY *key = parseKey(bytes);
    if (!key) {
        error =
            "TLS key file " + keyFile + " does not hold a PEM private key without a passphrase (" + lastError() + ")";
        return nullptr;
    }
    const bool used = SSL_CTX_use_PrivateKey(ctx, key) == 1;
    EVP_PKEY_free(key);
    if (!used || SSL_CTX_check_private_key(ctx) != 1) {
        ERR_clear_error();
        error = "TLS key file " + keyFile + " does not belong to the certificate in " + certFile;
        return nullptr;
    }
    return context;
}

TlsContext::~TlsContext()
{
    SSL_CTX_free(m_ctx);
}

HandshakeCounts TlsContext::counts() const
{
    return {m_full.load(), m_resumed.load(), m_failed.load()};
}

void TlsContext::count(bool completed, bool resumed)
{
    (completed ? (resumed ? m_resumed : m_full) : m_failed).fetch_add(1, std::memory_order_relaxed);
}

TlsSession::TlsSession(TlsContext &context, int fd) : m_context(context), m_ssl(SSL_new(context.native()))
{
    m_wants = POLLIN;
    const int flags = ::fcntl(fd, F_GETFL);
    if (!m_ssl || flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0 || SSL_set_fd(m_ssl, fd) != 1) {
        ERR_clear_error();
        m_broken = true;
        return;
    }
    SSL_set_accept_state(m_ssl);
}

TlsSession::~TlsSession()
{
    // A handshake the peer never finished (or that the deadline cut off).
    if (!m_established && !m_broken)
        m_context.count(false, false);
    SSL_free(m_ssl);
}

int TlsSession::handshake()
{
    if (m_established)
        return 1;
    if (m_broken) {
        errno = EPROTO;
        return -1;
    }
    ERR_clear_error();
    const int rc = SSL_do_handshake(m_ssl);
    if (rc == 1) {
        m_established = true;
        m_context.count(true, resumed());
        return 1;
    }
    if (failure(rc) == 0) {
        // The peer closed in the middle of the handshake.
        m_broken = true;
        errno = ECONNRESET;
    }
    if (m_broken)
        m_context.count(false, false);
    return -1;
}

ssize_t TlsSession::read(char *data, size_t size)
{
    if (m_broken) {
        errno = EPROTO;
        return -1;
    }
    ERR_clear_error();
    const int n = SSL_read(m_ssl, data, static_cast<int>(std::min<size_t>(size, INT_MAX)));
    return n > 0 ? n : failure(n);
}

ssize_t TlsSession::write(const char *data, size_t size)
{
    if (m_broken) {
        errno = EPROTO;
        return -1;
    }
    ERR_clear_error();
    const int n = SSL_write(m_ssl, data, static_cast<int>(std::min<size_t>(size, INT_MAX)));
    if (n > 0)
        return n;
    const ssize_t rc = failure(n);
    if (rc == 0) {
        // The peer closed: nothing more can be sent.
        errno = EPIPE;
        return -1;
    }
    return rc;
}

ssize_t TlsSession::failure(int result)
{
    const int saved = errno;
    switch (SSL_get_error(m_ssl, result)) {
    case SSL_ERROR_WANT_READ:
        m_wants = POLLIN;
        errno = EAGAIN;
        return -1;
    case SSL_ERROR_WANT_WRITE:
        m_wants = POLLOUT;
        errno = EAGAIN;
        return -1;
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    case SSL_ERROR_SYSCALL:
        ERR_clear_error();
        m_broken = true;
        errno = saved != 0 ? saved : ECONNRESET;
        return -1;
    default:
        ERR_clear_error();
        m_broken = true;
        errno = EPROTO;
        return -1;
    }
}

bool TlsSession::pending() const
{
    return !m_broken && (SSL_pending(m_ssl) > 0 || SSL_has_pending(m_ssl) == 1);
}

bool TlsSession::resumed() const
{
    return SSL_session_reused(m_ssl) == 1;
}

void TlsSession::close()
{
    if (!m_established || m_broken)
        return;
    ERR_clear_error();
    SSL_shutdown(m_ssl);
    ERR_clear_error();
}

} // namespace varnel::tls
