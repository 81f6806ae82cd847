// The server side of TLS for the loopback peers tests start (GnuTLS): one
// certificate and key, with session tickets, so that clients can resume.
//
//   TlsServerIdentity identity(certFile, keyFile);
//   TlsServerStream tls(identity, fd);          // fd connected, non-blocking
//   if (tls.handshake(wait)) { tls.receive(...); tls.sendAll(...); }
//
// `wait(events)` waits until the socket is ready for `events` (POLLIN,
// POLLOUT) and returns false when the peer is to give up (it is stopping).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <sys/types.h>

namespace quillora::testpeers {

class TlsServerIdentity {
  public:
    TlsServerIdentity(const std::string &certFile, const std::string &keyFile);
    ~TlsServerIdentity();
    TlsServerIdentity(const TlsServerIdentity &) = delete;
    TlsServerIdentity &operator=(const TlsServerIdentity &) = delete;

    bool ok() const { return m_ok; }
    const std::string &error() const { return m_error; }

  private:
    friend class TlsServerStream;
    struct State;
    std::unique_ptr<State> d;
    bool m_ok = false;
    std::string m_error;
};

class TlsServerStream {
  public:
    using Wait = std::function<bool(short events)>;

    TlsServerStream(const TlsServerIdentity &identity, int fd);
    ~TlsServerStream(); // sends no close notification; the owner closes fd
    TlsServerStream(const TlsServerStream &) = delete;
    TlsServerStream &operator=(const TlsServerStream &) = delete;

    bool handshake(const Wait &wait);
    // > 0 bytes, 0 the client closed (or sent its close notification), < 0 failure.
    ssize_t receive(char *buffer, size_t max, const Wait &wait);
    bool sendAll(const char *data, size_t size, const Wait &wait);
    // Decrypted bytes are waiting, so polling the socket would not show them.
    bool hasPending() const;
    bool isResumed() const;

  private:
    struct Session;
    std::unique_ptr<Session> d;
};

} // namespace quillora::testpeers
