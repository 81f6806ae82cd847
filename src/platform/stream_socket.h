// A connected TCP socket as a byte stream, with a TLS session over it once
// startTls has succeeded. One stream class for every client protocol of the
// program (the mail client's STARTTLS, the service transport), so that the
// certificate rules and the time limits are written once.
#pragma once

#include "tcp_connect.h"

#include <QtGlobal>

#include <memory>
#include <string>

namespace quillora::platform::net {

// Which certificate authorities a TLS peer's chain may end in.
struct TlsTrust {
    bool systemStore = true; // the system's trust store
    std::string caFile;      // and/or this PEM file of extra authorities; empty for none
};

class StreamSocket {
  public:
    // Takes ownership of a connected, non-blocking socket.
    explicit StreamSocket(int fd);
    ~StreamSocket(); // closes the socket (without a TLS close notification)
    StreamSocket(const StreamSocket &) = delete;
    StreamSocket &operator=(const StreamSocket &) = delete;

    int fd() const { return m_fd; }
    bool isEncrypted() const;

    // How the time limit of sendAll counts.
    enum class SendLimit {
        Total,         // the whole of the data within the limit
        SinceProgress, // the limit starts again whenever bytes go out
    };
    // Sends all of data within timeoutMs; false on error or time-out.
    bool sendAll(const char *data, qsizetype size, int timeoutMs, SendLimit limit = SendLimit::Total);

    // Reads up to `max` bytes: > 0 bytes read, 0 the peer closed, -1 failure,
    // -2 nothing arrived within waitMs.
    qsizetype receive(char *buffer, qsizetype max, int waitMs);

    // True when the stream is open and nothing is waiting on it, checked
    // without blocking: a connection kept between requests can be used
    // again. A peer's close (or its TLS close notification) or bytes nobody
    // asked for make it false. Session tickets that arrive between requests
    // are taken in on the way.
    bool isOpenAndIdle();

    // The TLS handshake over the open stream, with the peer's certificate
    // checked against `trust` and for `host` (a name or a numeric address).
    // `resumeData` (from sessionData() of an earlier connection to the same
    // peer) offers to resume that session instead of a full handshake.
    // Returns 0, or a GnuTLS error code (errorText names it).
    int startTls(const std::string &host, const TlsTrust &trust, int timeoutMs, const std::string &resumeData = {});
    // Sends the TLS close notification, best effort.
    void shutdownTls();
    // True when the handshake resumed the offered session.
    bool isResumed() const;
    // What a later connection needs to resume this session; empty while the
    // peer has not handed out a ticket yet (never waits for one).
    std::string sessionData() const;
    // What was wrong with the peer's certificate when the handshake failed
    // on it (GnuTLS's words); empty otherwise.
    std::string certificateProblem() const;

    static std::string errorText(int tlsError);

  private:
    struct Tls;
    int m_fd;
    std::unique_ptr<Tls> m_tls;
};

} // namespace quillora::platform::net
