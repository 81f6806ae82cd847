// The HTTP server with limits that hold whatever a caller sends. A connection
// is counted against its address (an IPv6 caller's /64) and against the
// server's total the moment it is accepted; a request head must arrive whole,
// within a cap on its bytes and its lines and within a deadline, before a
// worker reads it; a connection holds a worker only while its request is
// read and answered (see ConnectionScheduler); a request that waited too long
// for a worker is answered 503 unserved; a kept-alive connection carries a
// limited number of requests. Ranges are honoured one at a time, and answers
// are compressed at a quick level. The HTTP parsing and routing are the
// library's. With a TLS context the connection is HTTPS: its handshake runs
// where connections wait for their next head, off the workers, and every
// limit acts on the decrypted stream.
#pragma once

#include "connection.h"
#include "connection_scheduler.h"

#include <httplib.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace varnel {

namespace tls {
class TlsContext;
}

class GuardedServer : public httplib::Server {
  public:
    explicit GuardedServer(ConnectionLimits limits);
    ~GuardedServer() override;

    // After bind_to_port / bind_to_any_port: the listen queue as long as the
    // limits ask (the library listens with a short one). False on failure.
    bool widenListenQueue();

    // Told of each connection refused before any request on it reached the
    // library (busy, a head too large or its target too long, a request that
    // waited too long), with
    // its address, the status sent and why.
    void setRefusalLog(std::function<void(const std::string &address, int status, const std::string &why)> log);

    // From the pre-routing handler, on the worker serving the request: the
    // head is complete (its deadline no longer applies).
    static void headReceived();
    // The connection closes after the current response (its body was not read).
    static void closeAfterResponse();

    // Serves HTTPS with `context` (before listening). A connection over a
    // cap is then closed without an answer: a refusal would cost a handshake.
    void serveTls(std::shared_ptr<tls::TlsContext> context) { m_tls = std::move(context); }

    // From a handler, on the worker serving the request: when its head had
    // arrived whole, before it waited for a worker (a time on the steady
    // clock; the time of the call outside a request).
    static Clock::time_point requestArrival();

  private:
    class Seat;
    friend class Seat;

    // Called by the library's accept loop for every accepted socket, on the
    // accepting thread (the task queue runs it at once): admits or refuses
    // the connection and hands it to the scheduler.
    bool process_and_close_socket(socket_t sock) override;
    // On a worker: serves the connection's requests for as long as they come
    // without anyone else waiting.
    void serve(std::unique_ptr<Connection> connection);
    // A head over one of its caps: the answer that says which, then close.
    void refuseHead(std::unique_ptr<Connection> connection);
    bool admit(Connection &connection);
    void release(const std::string &group);
    void logRefusal(const Connection &connection, int status, const std::string &why);

    ConnectionLimits m_limits;
    std::shared_ptr<tls::TlsContext> m_tls;
    std::string m_headTooLarge;  // the 431 answer
    std::string m_targetTooLong; // the 414 answer
    std::function<void(const std::string &, int, const std::string &)> m_refusalLog;
    std::mutex m_mutex;
    std::map<std::string, int> m_open; // by limitGroup
    int m_total = 0;
    // Last: it stops (and gives back every seat) before the counts go.
    ConnectionScheduler m_scheduler;
};

} // namespace varnel
