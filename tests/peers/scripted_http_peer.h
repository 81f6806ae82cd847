// A loopback HTTP peer that plays a fixed script, for byte-exact transport
// tests and benchmarks.
//
//   using namespace quillora::testpeers;
//   ScriptedHttpPeer peer({
//       // first accepted connection: answer two requests, then close
//       PeerScript().readRequest().send(httpResponse(200, {{"Content-Type", "text/xml"}}, "<ok/>"))
//                   .readRequest().send("HTTP/1.1 200 OK\r\nContent-Le").wait(50).send("ngth: 0\r\n\r\n"),
//       // second connection: read the request, close without a word
//       PeerScript().readRequest(),
//   });
//   transport.setEndpoint(peer.url("/svc"));
//   ... post ...
//   EXPECT_EQ(peer.requests()[0][0], expectedBytes);   // [connection][request]
//   EXPECT_EQ(peer.connectionCount(), 2);
//
// The peer listens on 127.0.0.1 on an ephemeral port. Each accepted connection
// takes the next script in order and runs it in its own thread; when its steps
// are done the connection is closed. Connections beyond the scripts are closed
// at once (and counted). The destructor stops every thread, cutting short any
// step still waiting.
//
// Given a certificate and key, the peer speaks TLS (an https URL): every
// connection starts with a handshake, and the script runs on the decrypted
// stream. A connection whose handshake fails runs nothing.
#pragma once

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace quillora::testpeers {

class PeerScript {
  public:
    struct Step {
        enum class Kind { ReadRequest, Send, Wait, Close };
        Kind kind;
        QByteArray bytes; // Send
        int ms = 0;       // Wait
    };

    // Reads one request (head up to the blank line, then a Content-Length
    // body) and records its exact bytes. If the client closes first, the
    // script ends there.
    PeerScript &readRequest();
    // Sends the bytes as they are, in one write.
    PeerScript &send(const QByteArray &bytes);
    // Sends the bytes in pieces of `pieceSize`, pausing `delayMs` between them.
    PeerScript &sendInPieces(const QByteArray &bytes, int pieceSize, int delayMs);
    PeerScript &wait(int ms);
    // Closes the connection; later steps are not run. (The end of the script
    // closes it too.)
    PeerScript &close();

    const std::vector<Step> &steps() const { return m_steps; }

  private:
    std::vector<Step> m_steps;
};

class TlsServerIdentity;

struct PeerTls {
    std::string certFile;
    std::string keyFile;
};

class ScriptedHttpPeer {
  public:
    explicit ScriptedHttpPeer(std::vector<PeerScript> scripts, const PeerTls &tls = {});
    ~ScriptedHttpPeer();
    ScriptedHttpPeer(const ScriptedHttpPeer &) = delete;
    ScriptedHttpPeer &operator=(const ScriptedHttpPeer &) = delete;

    int port() const { return m_port; }
    // "http://127.0.0.1:<port><path>" (https when the peer speaks TLS)
    std::string url(const std::string &path = "/") const;
    // TLS handshakes completed, and how many of them resumed a session.
    int handshakeCount() const;
    int resumedCount() const;

    // Recorded requests, exact bytes: [connection in accept order][request].
    std::vector<std::vector<QByteArray>> requests() const;
    // All recorded requests in the order they were read.
    std::vector<QByteArray> allRequests() const;
    int connectionCount() const;
    // Waits until at least `count` connections have finished their scripts.
    bool waitForFinishedConnections(int count, int timeoutMs) const;

  private:
    struct Io;
    void acceptLoop();
    void serve(int fd, size_t index);
    bool readRequest(Io &io, QByteArray &pending, QByteArray &request);
    bool pause(int ms) const;

    std::vector<PeerScript> m_scripts;
    std::unique_ptr<TlsServerIdentity> m_tls;
    int m_listenFd = -1;
    int m_wakeFds[2] = {-1, -1};
    int m_port = 0;
    std::atomic<bool> m_stopping{false};

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::vector<QByteArray>> m_requests;
    std::vector<QByteArray> m_allRequests;
    int m_finished = 0;
    int m_handshakes = 0;
    int m_resumed = 0;
    std::vector<std::thread> m_connectionThreads;
    std::thread m_acceptThread;
};

// "HTTP/1.1 <status> <reason>\r\n", the headers in order, a Content-Length
// matching the body (unless one is given), a blank line and the body.
QByteArray httpResponse(int status, std::initializer_list<std::pair<QByteArray, QByteArray>> headers = {},
                        const QByteArray &body = {});

} // namespace quillora::testpeers
