#include "test_tls.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace quillora::testpeers {

namespace {

std::string lastError()
{
    char text[256] = "unknown error";
    if (const unsigned long code = ERR_peek_last_error())
        ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    return text;
}

bool addExtension(X509 *cert, X509V3_CTX &ctx, int nid, const std::string &value)
{
    X509_EXTENSION *ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    const bool added = ext && X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return added;
}

bool isAddress(const std::string &name)
{
    unsigned char address[16];
    return inet_pton(AF_INET, name.c_str(), address) == 1 || inet_pton(AF_INET6, name.c_str(), address) == 1;
}

// "IP:127.0.0.1,DNS:localhost" for {"127.0.0.1", "localhost"}.
std::string altNames(const std::vector<std::string> &names)
{
    std::string out;
    for (const std::string &name : names)
        out += (out.empty() ? "" : ",") + std::string(isAddress(name) ? "IP:" : "DNS:") + name;
    return out;
}

// A certificate for `key`, signed by `issuerKey` (itself when `issuer` is null).
X509 *makeCertificate(EVP_PKEY *key, const std::string &commonName, X509 *issuer, EVP_PKEY *issuerKey, long notBefore,
                      long notAfter, const std::vector<std::string> &names)
{
    X509 *cert = X509_new();
    BIGNUM *serial = BN_new();
    bool ok = cert && serial && X509_set_version(cert, 2) == 1 &&
              BN_rand(serial, 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) &&
              BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(cert)) &&
              X509_gmtime_adj(X509_getm_notBefore(cert), notBefore) &&
              X509_gmtime_adj(X509_getm_notAfter(cert), notAfter) && X509_set_pubkey(cert, key) == 1 &&
              X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_UTF8,
                                         reinterpret_cast<const unsigned char *>(commonName.c_str()), -1, -1, 0) == 1 &&
              X509_set_issuer_name(cert, X509_get_subject_name(issuer ? issuer : cert)) == 1;
    BN_free(serial);
    if (ok) {
        X509V3_CTX ctx;
        X509V3_set_ctx_nodb(&ctx);
        X509V3_set_ctx(&ctx, issuer ? issuer : cert, cert, nullptr, nullptr, 0);
        const bool authority = issuer == nullptr;
        ok = addExtension(cert, ctx, NID_basic_constraints, authority ? "critical,CA:TRUE" : "critical,CA:FALSE") &&
             addExtension(cert, ctx, NID_key_usage,
                          authority ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature") &&
             addExtension(cert, ctx, NID_subject_key_identifier, "hash") &&
             addExtension(cert, ctx, NID_authority_key_identifier, "keyid:always") &&
             (authority || (addExtension(cert, ctx, NID_ext_key_usage, "serverAuth") &&
                            addExtension(cert, ctx, NID_subject_alt_name, altNames(names)))) &&
             X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256()) > 0;
    }
    if (!ok) {
        X509_free(cert);
        return nullptr;
    }
    return cert;
}

bool writeCertificate(const std::filesystem::path &path, X509 *cert)
{
    FILE *file = std::fopen(path.c_str(), "w");
    const bool written = file && PEM_write_X509(file, cert) == 1;
    return (file ? std::fclose(file) == 0 : false) && written;
}

bool writeKey(const std::filesystem::path &path, EVP_PKEY *key)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FILE *file = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (!file && fd >= 0)
        ::close(fd);
    const bool written = file && PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    return (file ? std::fclose(file) == 0 : false) && written;
}

} // namespace

TestCertificateAuthority::TestCertificateAuthority(std::filesystem::path dir, std::string name)
    : m_dir(std::move(dir)), m_caFile(m_dir / "ca.pem")
{
    EVP_PKEY *key = EVP_EC_gen("P-256");
    X509 *cert = key ? makeCertificate(key, name, nullptr, nullptr, -86400, 365L * 86400, {}) : nullptr;
    if (!cert || !writeCertificate(m_caFile, cert)) {
        m_error = "cannot make the test CA: " + lastError();
        X509_free(cert);
        EVP_PKEY_free(key);
        return;
    }
    m_key = key;
    m_cert = cert;
}

TestCertificateAuthority::~TestCertificateAuthority()
{
    X509_free(m_cert);
    EVP_PKEY_free(m_key);
}

CertificateFiles TestCertificateAuthority::issue(const std::string &stem, const std::vector<std::string> &names,
                                                 long notBefore, long notAfter) const
{
    if (!ok() || names.empty())
        return {};
    EVP_PKEY *key = EVP_EC_gen("P-256");
    X509 *cert = key ? makeCertificate(key, names.front(), m_cert, m_key, notBefore, notAfter, names) : nullptr;
    CertificateFiles files{m_dir / (stem + ".pem"), m_dir / (stem + ".key")};
    const bool written = cert && writeCertificate(files.cert, cert) && writeKey(files.key, key);
    X509_free(cert);
    EVP_PKEY_free(key);
    return written ? files : CertificateFiles{};
}

SSL *startTls(int fd, const TlsClientOptions &options, std::string *error)
{
    // Writing to a connection the server has cut off gives EPIPE, not a
    // signal that ends the test.
    static const bool noSigpipe = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    (void)noSigpipe;
    ERR_clear_error();
    SSL_CTX *ctx = SSL_CTX_new(TLS_client_method());
    SSL *ssl = nullptr;
    bool ok = ctx != nullptr;
    if (ok) {
        // Tests read until the server closes; it may close without close_notify.
        SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF | (options.tickets ? 0 : SSL_OP_NO_TICKET));
        // Let the server be the one to refuse old versions.
        SSL_CTX_set_security_level(ctx, 0);
        ok = SSL_CTX_set_min_proto_version(ctx, TLS1_VERSION) == 1 &&
             (options.maxVersion == 0 || SSL_CTX_set_max_proto_version(ctx, options.maxVersion) == 1);
        if (ok && !options.caFile.empty()) {
            ok = SSL_CTX_load_verify_locations(ctx, options.caFile.c_str(), nullptr) == 1;
            SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
        }
    }
    if (ok) {
        // An address is checked against the certificate's IP names and never
        // sent as a server name.
        const bool address = isAddress(options.host);
        ssl = SSL_new(ctx);
        ok = ssl && SSL_set_fd(ssl, fd) == 1 && (address || SSL_set_tlsext_host_name(ssl, options.host.c_str()) == 1) &&
             (options.caFile.empty() ||
              (address ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), options.host.c_str())
                       : SSL_set1_host(ssl, options.host.c_str())) == 1) &&
             (!options.resume || SSL_set_session(ssl, options.resume) == 1) && SSL_connect(ssl) == 1;
    }
    SSL_CTX_free(ctx); // the connection holds its own reference
    if (!ok) {
        if (error)
            *error = lastError();
        SSL_free(ssl);
        return nullptr;
    }
    return ssl;
}

} // namespace quillora::testpeers
