// TLS on loopback for a test (tests/peers/tls_test_peer.py, python3's ssl
// module): certificates made for the test by a CA of its own, and a relay that
// serves TLS with one of them in front of a plain HTTP server (the real
// varnel-server), so a client sees the server's pages over https.
//
//   TestCertificates certs;
//   ASSERT_TRUE(certs.made()) << certs.error();
//   TlsRelayProcess relay(certs.certificate("good"), certs.key("good"), server.port());
//   ASSERT_TRUE(relay.started()) << relay.error();
//   ... https://127.0.0.1:relay.port()/... trusted with certs.caFile() ...
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace quillora::testpeers {

// ca.pem, and the server certificates "good" (127.0.0.1 and localhost),
// "wrong-host" (other.example), "expired" (ended yesterday) from that CA, and
// "unknown-ca" (127.0.0.1, from another CA), each with its key.
class TestCertificates {
  public:
    TestCertificates();
    bool made() const { return m_made; }
    const QString &error() const { return m_error; }
    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }
    QString certificate(const QString &name) const { return m_dir.filePath(name + QStringLiteral(".pem")); }
    QString key(const QString &name) const { return m_dir.filePath(name + QStringLiteral(".key")); }

  private:
    QTemporaryDir m_dir;
    bool m_made = false;
    QString m_error;
};

class TlsRelayProcess {
  public:
    TlsRelayProcess(const QString &certificate, const QString &key, int backendPort);
    ~TlsRelayProcess();
    TlsRelayProcess(const TlsRelayProcess &) = delete;
    TlsRelayProcess &operator=(const TlsRelayProcess &) = delete;

    bool started() const { return m_port > 0; }
    const QString &error() const { return m_error; }
    int port() const { return m_port; }

  private:
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};

} // namespace quillora::testpeers
