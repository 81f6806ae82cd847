// The HTTP server with limits that hold whatever a caller sends: a deadline
// for the whole request head (a client that trickles its head out a byte at a
// time is cut off), a read timeout, a deadline for the body, a limit on the
// requests one kept-alive connection carries and a cap on the connections
// open from one address at once. Each connection is served by one worker of
// the pool; the HTTP parsing and routing are the library's. With a TLS
// context the connection is HTTPS: the handshake runs on the worker under
// the head deadline, and every limit acts on the decrypted stream.
#pragma once

#include <httplib.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace varnel {

namespace tls {
class TlsContext;
}

struct ConnectionLimits {
    std::chrono::milliseconds head{10000};     // from the first byte awaited to the end of the head
    std::chrono::milliseconds body{60000};     // from the end of the head to the end of the body
    std::chrono::milliseconds read{5000};      // silence while reading a request
    std::chrono::milliseconds write{10000};    // a peer that takes no answer
    std::chrono::milliseconds keepAlive{5000}; // idle wait for the next request
    // A client keeps one connection for thousands of calls: reconnecting
    // costs a handshake and, under load, a place in the listen queue.
    int requestsPerConnection = 10000;
    int connectionsPerAddress = 48; // of the 64 workers: others keep a quarter
    // Load balancers in front of the server: every client arrives through
    // them, so the cap per address does not apply to theirs.
    std::vector<std::string> uncappedAddresses;
    // Connections the kernel holds for the server before it accepts them, so
    // that a burst of new clients is queued rather than dropped (the kernel
    // caps it at net.core.somaxconn).
    int listenBacklog = 1024;
};

class GuardedServer : public httplib::Server {
  public:
    explicit GuardedServer(ConnectionLimits limits);

    // After bind_to_port / bind_to_any_port: the listen queue as long as the
    // limits ask (the library listens with a short one). False on failure.
    bool widenListenQueue();

    // From the pre-routing handler, on the worker serving the request: the
    // head is complete (its deadline no longer applies).
    static void headReceived();
    // The connection closes after the current response (its body was not read).
    static void closeAfterResponse();

    // Connections open now from `address` (for tests and the log).
    int openConnections(const std::string &address) const;

    // Serves HTTPS with `context` (before listening). A connection over the
    // cap per address is then closed without an answer: a refusal would
    // cost a handshake.
    void serveTls(std::shared_ptr<tls::TlsContext> context) { m_tls = std::move(context); }

  private:
    bool process_and_close_socket(socket_t sock) override;
    bool admit(const std::string &address);
    void release(const std::string &address);

    ConnectionLimits m_limits;
    std::shared_ptr<tls::TlsContext> m_tls;
    mutable std::mutex m_mutex;
    std::map<std::string, int> m_open;
};

} // namespace varnel
