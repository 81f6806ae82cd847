// TLS for tests: a certificate authority made for one run and the server
// certificates it issues (for 127.0.0.1, for another name, already
// expired...), and a client handshake on a connected socket for tests that
// send and read the bytes themselves.
//
//   quillora::testpeers::TestCertificateAuthority ca(dir);
//   const auto expired = ca.issue("expired", {"127.0.0.1"}, -2 * 86400, -86400);
//   VarnelServerProcess server({.tls = true, .tlsCert = expired.cert, .tlsKey = expired.key});
//   ... a client that trusts ca.caFile() must refuse the server.
#pragma once

#include <openssl/ssl.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quillora::testpeers {

struct CertificateFiles {
    std::filesystem::path cert; // PEM
    std::filesystem::path key;  // PEM, owner-only
};

class TestCertificateAuthority {
  public:
    // Makes the authority's key and self-signed certificate in `dir`, which
    // must exist. Keys are ECDSA P-256: quick to make, accepted everywhere.
    explicit TestCertificateAuthority(std::filesystem::path dir, std::string name = "Quillora Test CA");
    ~TestCertificateAuthority();
    TestCertificateAuthority(const TestCertificateAuthority &) = delete;
    TestCertificateAuthority &operator=(const TestCertificateAuthority &) = delete;

    bool ok() const { return m_key != nullptr; }
    const std::string &error() const { return m_error; }
    // The authority's certificate, the file clients trust.
    const std::filesystem::path &caFile() const { return m_caFile; }

    // A server certificate for `names` (IP addresses or DNS names; the first
    // is also the common name), valid from `notBefore` to `notAfter` seconds
    // from now, written to `stem`.pem and `stem`.key in the directory. Empty
    // paths on failure.
    CertificateFiles issue(const std::string &stem, const std::vector<std::string> &names = {"127.0.0.1", "localhost"},
                           long notBefore = -3600, long notAfter = 30L * 24 * 3600) const;

  private:
    std::filesystem::path m_dir;
    std::filesystem::path m_caFile;
    std::string m_error;
    EVP_PKEY *m_key = nullptr;
    X509 *m_cert = nullptr;
};

struct TlsClientOptions {
    std::string caFile;             // the server's chain must end here; empty: not checked
    std::string host = "127.0.0.1"; // the name the certificate must carry
    int maxVersion = 0;             // e.g. TLS1_1_VERSION; 0: the library's newest
    SSL_SESSION *resume = nullptr;  // a session of an earlier connection to offer
    bool tickets = true;            // false: resume by session ID from the server's cache
};

// A client handshake on the connected, blocking socket `fd`. Null, with
// `error` set to OpenSSL's reason, when it fails. The caller frees the
// result with SSL_free (the socket stays the caller's).
SSL *startTls(int fd, const TlsClientOptions &options, std::string *error = nullptr);

} // namespace quillora::testpeers
