// The server certificates client tests accept or refuse, issued once for a
// test run by a CA made for it (test_tls.h): one the client trusts when told
// of caFile(), and three it must refuse.
//
//   TestCertificates certs;
//   ASSERT_TRUE(certs.ok()) << certs.error();
//   ScriptedHttpPeer peer(scripts, certs.peer(TestCertificates::Server::Expired));
#pragma once

#include "scripted_http_peer.h"
#include "test_tls.h"

#include <QTemporaryDir>

#include <map>
#include <memory>
#include <string>

namespace quillora::testpeers {

class TestCertificates {
  public:
    enum class Server {
        Good,      // 127.0.0.1 and localhost, valid now, issued by the CA
        OtherName, // other.example only, valid now, issued by the CA
        Expired,   // 127.0.0.1 and localhost, expired yesterday, issued by the CA
        UnknownCa, // 127.0.0.1 and localhost, valid now, issued by a CA nobody trusts
    };

    TestCertificates();
    ~TestCertificates();

    bool ok() const { return m_ok; }
    const std::string &error() const { return m_error; }

    // The PEM file of the trusted authority.
    std::string caFile() const;
    // The server's certificate and its key (readable by the owner only).
    std::string certFile(Server which) const { return m_files.at(which).cert.string(); }
    std::string keyFile(Server which) const { return m_files.at(which).key.string(); }
    PeerTls peer(Server which) const { return {certFile(which), keyFile(which)}; }

  private:
    QTemporaryDir m_dir;
    std::unique_ptr<TestCertificateAuthority> m_ca;
    std::unique_ptr<TestCertificateAuthority> m_stranger;
    std::map<Server, CertificateFiles> m_files;
    bool m_ok = false;
    std::string m_error;
};

} // namespace quillora::testpeers
