// HTTPS for the server: one context for the process (the certificate chain
// and its private key, the protocol versions and ciphers, session
// resumption), and the session of one connection over its socket.
//
// A session never blocks: each step either completes or says which way the
// socket must become ready first, so that the connection's own deadlines
// (the head deadline, the read and write timeouts) decide how long it waits,
// during the handshake as for every request after it.
#pragma once

#include <openssl/ssl.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>

namespace varnel::tls {

struct HandshakeCounts {
    std::uint64_t full = 0;    // completed with a new session
    std::uint64_t resumed = 0; // completed by resuming an earlier session
    std::uint64_t failed = 0;  // refused, broken off or timed out
};

class TlsContext {
  public:
    // Reads the certificate chain (PEM: the server's certificate first, then
    // the intermediates) and its private key (PEM). The key file is refused
    // when its group or others have any access to it, and the pair when the
    // key does not belong to the certificate. Null, with a message that
    // names the file and the fault, on failure.
    static std::unique_ptr<TlsContext> load(const std::string &certFile, const std::string &keyFile,
                                            std::string &error);
    ~TlsContext();
    TlsContext(const TlsContext &) = delete;
    TlsContext &operator=(const TlsContext &) = delete;

    SSL_CTX *native() const { return m_ctx; }
    HandshakeCounts counts() const;

  private:
    friend class TlsSession;
    explicit TlsContext(SSL_CTX *ctx) : m_ctx(ctx) {}
    void count(bool completed, bool resumed);

    SSL_CTX *m_ctx;
    std::atomic<std::uint64_t> m_full{0};
    std::atomic<std::uint64_t> m_resumed{0};
    std::atomic<std::uint64_t> m_failed{0};
};

// One connection's TLS, on a socket that it switches to non-blocking.
// handshake(), read() and write() report "not yet" as -1 with errno EAGAIN;
// wants() then says what to wait for (POLLIN or POLLOUT).
class TlsSession {
  public:
    TlsSession(TlsContext &context, int fd);
    ~TlsSession();
    TlsSession(const TlsSession &) = delete;
    TlsSession &operator=(const TlsSession &) = delete;

    // 1 when the handshake is complete, -1 with errno EAGAIN when it waits
    // for the socket, -1 with another errno when it failed.
    int handshake();
    // Like recv(): bytes read, 0 when the peer closed, -1 with errno.
    ssize_t read(char *data, size_t size);
    // Like send(): bytes taken, -1 with errno.
    ssize_t write(const char *data, size_t size);
    short wants() const { return m_wants; }
    // Decrypted bytes held inside the session, which a poll of the socket
    // does not see.
    bool pending() const;
    bool resumed() const;
    // Tells the peer the connection ends (close_notify), without waiting
    // for its answer; nothing after a failure.
    void close();

  private:
    ssize_t failure(int result);

    TlsContext &m_context;
    SSL *m_ssl;
    short m_wants;
    bool m_established = false;
    bool m_broken = false;
};

} // namespace varnel::tls
