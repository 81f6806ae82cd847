// One client connection from accept to close: its socket, who it comes from,
// the bytes received and not yet taken by the HTTP reader, and how far its
// next request head has arrived. One thread owns it at a time: the worker
// serving it, or the parking lot while it waits for its next request.
#pragma once

#include "client_address.h"
#include "request_framing.h"

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace varnel {

namespace tls {
class TlsSession;
}

using Clock = std::chrono::steady_clock;

struct ConnectionLimits {
    std::chrono::milliseconds head{10000};     // from the first byte awaited to the end of the head
    std::chrono::milliseconds body{60000};     // from the end of the head to the end of the body
    std::chrono::milliseconds read{5000};      // silence while reading a request
    std::chrono::milliseconds write{10000};    // a peer that takes no answer
    std::chrono::milliseconds keepAlive{5000}; // idle wait for the next request
    // A request head larger than this, or with more header lines, is refused
    // with 431 before the HTTP reader sees it.
    HeadLimits headSize;
    // A client keeps one connection for thousands of calls: reconnecting
    // costs a handshake and, under load, a place in the listen queue.
    int requestsPerConnection = 10000;
    // Connections open at once from one address (an IPv6 caller's /64),
    // counted from accept to close.
    int connectionsPerAddress = 48;
    // Load balancers in front of the server: every client arrives through
    // them, so the cap per address does not apply to theirs, and a request's
    // address is the client they forward it for.
    TrustedProxies trustedProxies;
    // Connections the kernel holds for the server before it accepts them, so
    // that a burst of new clients is queued rather than dropped (the kernel
    // caps it at net.core.somaxconn).
    int listenBacklog = 1024;
    // Threads that serve requests. A connection holds one only while a
    // request is read and answered, or while it waits for its next request
    // and no other connection needs a worker.
    int workers = 64;
    // Connections open at once, from everywhere; more get a 503 when accepted.
    int maxConnections = 4096;
    // Requests (and new connections) waiting for a worker; more get a 503.
    int maxQueued = 1024;
    // A request that waited longer than this for a worker is answered 503
    // without being served: its client (which waits 10 s) may have given up.
    std::chrono::milliseconds queueWait{5000};
};

// A connection's place in the counts of open connections; given back when
// the connection closes.
class Seat {
  public:
    virtual ~Seat() = default;
};

class Connection {
  public:
    Connection(int fd, std::string address, int port, HeadLimits headLimits);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    int fd() const { return m_fd; }
    const std::string &address() const { return m_address; }
    int port() const { return m_port; }

    // Over HTTPS: the TLS session every byte passes through from now on (set
    // before anything is read or sent).
    void secure(std::unique_ptr<tls::TlsSession> session);
    bool secured() const { return m_tls != nullptr; }
    // One step of the TLS handshake: 1 once it is complete (at once without
    // TLS), -1 with errno EAGAIN while it waits for the socket, -1 with
    // another errno when it failed.
    int handshake();
    bool handshaken() const { return m_handshaken; }

    // The bytes on the wire, in and out (through the TLS session, if any).
    // They never wait: -1 with errno EAGAIN when nothing can move now, 0 from
    // receiveSome at the end of the peer's stream.
    ssize_t receiveSome(char *data, size_t size);
    ssize_t sendSome(const char *data, size_t size);
    // What to wait for before the next step: `plain` without TLS; with it,
    // what the session asks for (a read may need the socket writable).
    short waitEvents(short plain) const;
    // Received bytes held inside the TLS session, which a poll of the socket
    // does not see.
    bool transportPending() const;
    // No more output: over TLS the peer is told the connection ends, then
    // the sending side of the socket is shut.
    void endOutput();

    // Received bytes not yet taken by the HTTP reader.
    size_t buffered() const { return m_end - m_begin; }
    const char *bufferedData() const { return m_data.get() + m_begin; }
    // The reader takes only heads the scanner found whole, so what it
    // takes was scanned.
    void consume(size_t n) { m_begin += n; }
    // One receive into the buffer, which holds at most `cap` bytes; as
    // receiveSome, and -1 with EMSGSIZE when the buffer is full.
    ssize_t fill(size_t cap);
    // Frees the buffer while it is empty (a connection parked between
    // requests holds no memory for them).
    void releaseBuffer();

    // Looks at the buffered bytes not yet looked at for the next request's
    // head.
    HeadScanner::State scanHead();
    HeadScanner::State headState() const { return m_head.state(); }
    // The request before was answered: the next one starts with what is
    // left in the buffer.
    void requestAnswered(Clock::time_point now);
    // When the last bytes of the current request's head arrived.
    Clock::time_point headArrivedAt() const { return m_headArrived; }

    // When waiting for the rest of the next request's head gives up: the
    // first byte of the first request within the read timeout, of later ones
    // within the keep-alive time; then the whole head within the head
    // deadline, with no silence longer than the read timeout.
    Clock::time_point waitDeadline(const ConnectionLimits &limits) const;

    std::unique_ptr<Seat> seat;
    Clock::time_point acceptedAt;
    // When its request was complete (or it was accepted) and it began to
    // wait for a worker.
    Clock::time_point readyAt;
    int requestsServed = 0;

  private:
    int m_fd;
    std::unique_ptr<tls::TlsSession> m_tls;
    bool m_handshaken = true;
    std::string m_address;
    int m_port;
    std::unique_ptr<char[]> m_data;
    size_t m_capacity = 0;
    size_t m_begin = 0;
    size_t m_end = 0;
    size_t m_scanned = 0; // buffered bytes (from m_begin) the scanner has seen
    HeadScanner m_head;
    Clock::time_point m_idleSince;
    Clock::time_point m_headStarted;
    Clock::time_point m_lastByte;
    Clock::time_point m_headArrived;
};

} // namespace varnel
