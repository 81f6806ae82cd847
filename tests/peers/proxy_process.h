// Runs a packaged proxy server on loopback for a test: tinyproxy as an HTTP
// proxy (optionally with Basic authentication) or microsocks as a SOCKS 5
// proxy (optionally with user name and password). The constructor returns once
// the proxy accepts connections (or failed to); the destructor stops it.
// What went through the proxy is read from its log.
//
//   ProxyProcess proxy(ProxyProcess::Kind::Http, "alice", "s3cret");
//   ASSERT_TRUE(proxy.started()) << proxy.error();
//   ... traffic through 127.0.0.1:proxy.port() ...
//   EXPECT_EQ(proxy.logCount("POST http://127.0.0.1:"), 1);
#pragma once

#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <string>

namespace quillora::testpeers {

// A loopback port nobody listens on at the moment of asking.
int freeLoopbackPort();
// Waits until something accepts connections on the loopback port.
bool waitUntilListening(int port, int timeoutMs);

class ProxyProcess {
  public:
    enum class Kind { Http, Socks5 };

    explicit ProxyProcess(Kind kind, const std::string &username = {}, const std::string &password = {});
    ~ProxyProcess();
    ProxyProcess(const ProxyProcess &) = delete;
    ProxyProcess &operator=(const ProxyProcess &) = delete;

    bool started() const { return m_started; }
    const std::string &error() const { return m_error; }
    int port() const { return m_port; }
    qint64 pid() const { return m_process.processId(); }

    // The proxy's log so far: tinyproxy's log file, microsocks' output.
    std::string log() const;
    // How many lines of the log contain `text`.
    int logCount(const std::string &text) const;

  private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_logPath;
    int m_port = 0;
    bool m_started = false;
    std::string m_error;
};

} // namespace quillora::testpeers
