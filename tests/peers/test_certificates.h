// Certificates made for one test run with openssl, in a temporary folder: a
// certificate authority the client is told to trust (caFile()), and server
// certificates that it signed or did not.
//
//   TestCertificates certs;
//   ASSERT_TRUE(certs.ok()) << certs.error();
//   ScriptedHttpPeer peer(scripts, certs.peer(TestCertificates::Server::Expired));
#pragma once

#include "scripted_http_peer.h"

#include <QTemporaryDir>

#include <string>

namespace quillora::testpeers {

class TestCertificates {
  public:
    enum class Server {
        Good,      // 127.0.0.1 and localhost, valid now, signed by the CA
        OtherName, // other.example only, valid now, signed by the CA
        Expired,   // 127.0.0.1 and localhost, valid in January 2020, signed by the CA
        UnknownCa, // 127.0.0.1 and localhost, valid now, signed by a CA nobody trusts
    };

    TestCertificates();

    bool ok() const { return m_ok; }
    const std::string &error() const { return m_error; }

    // The PEM file of the trusted authority.
    std::string caFile() const;
    // The server's certificate and its key (readable by the owner only).
    std::string certFile(Server which) const;
    std::string keyFile(Server which) const;
    PeerTls peer(Server which) const { return {certFile(which), keyFile(which)}; }

  private:
    bool run(const QStringList &arguments);
    bool makeAuthority(const QString &name);
    bool makeServer(Server which, const QString &authority, const QString &altNames, const QString &validity);
    QString path(const QString &name) const;

    QTemporaryDir m_dir;
    bool m_ok = false;
    std::string m_error;
};

} // namespace quillora::testpeers
