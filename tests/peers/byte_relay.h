// A loopback relay between a client and a server that records every byte
// crossing it, both ways: what anyone on the network path would see.
//
//   ByteRelay relay(server.port());
//   ... the client talks to 127.0.0.1:relay.port() ...
//   EXPECT_FALSE(relay.recorded().contains("secret"));
#pragma once

#include <QByteArray>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace quillora::testpeers {

class ByteRelay {
  public:
    explicit ByteRelay(int targetPort);
    ~ByteRelay();
    ByteRelay(const ByteRelay &) = delete;
    ByteRelay &operator=(const ByteRelay &) = delete;

    int port() const { return m_port; }
    // Every byte relayed so far, client to server and back, in the order the
    // pieces crossed.
    QByteArray recorded() const;
    int connectionCount() const;

  private:
    void acceptLoop();
    void relay(int client);
    void record(const char *data, qsizetype size);

    int m_targetPort;
    int m_listenFd = -1;
    int m_wakeFds[2] = {-1, -1};
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    QByteArray m_recorded;
    int m_connections = 0;
    std::vector<std::thread> m_threads;
    std::thread m_acceptThread;
};

} // namespace quillora::testpeers
