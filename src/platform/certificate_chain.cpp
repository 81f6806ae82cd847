#include "certificate_chain.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <memory>

namespace quillora::platform::net {

namespace {

struct TrustList {
    gnutls_x509_trust_list_t list = nullptr;
    ~TrustList()
    {
        if (list)
            gnutls_x509_trust_list_deinit(list, 1);
    }
};

struct Certificates {
    std::vector<gnutls_x509_crt_t> crts;
    ~Certificates()
    {
        for (gnutls_x509_crt_t crt : crts)
            gnutls_x509_crt_deinit(crt);
    }
};

} // namespace

ChainVerdict verifyChainWithCa(const std::vector<std::string> &chain, const std::string &caFile,
                               const std::string &host)
{
    if (chain.empty() || chain.size() > kMaxChainLength)
        return ChainVerdict::Malformed;
    TrustList trust;
    if (caFile.empty() || gnutls_x509_trust_list_init(&trust.list, 0) < 0)
        return ChainVerdict::NoAuthority;
    // Only the CA file: the system's authorities are not asked.
    if (gnutls_x509_trust_list_add_trust_file(trust.list, caFile.c_str(), nullptr, GNUTLS_X509_FMT_PEM, 0, 0) <= 0)
        return ChainVerdict::NoAuthority;

    Certificates certs;
    for (const std::string &der : chain) {
        gnutls_x509_crt_t crt = nullptr;
        if (gnutls_x509_crt_init(&crt) < 0)
            return ChainVerdict::Malformed;
        certs.crts.push_back(crt);
        const gnutls_datum_t data{reinterpret_cast<unsigned char *>(const_cast<char *>(der.data())),
                                  static_cast<unsigned int>(der.size())};
        if (gnutls_x509_crt_import(crt, &data, GNUTLS_X509_FMT_DER) < 0)
            return ChainVerdict::Malformed;
    }

    // The chain and its dates first, the host name apart, so that the
    // verdict says which of them failed.
    unsigned int status = 0;
    if (gnutls_x509_trust_list_verify_crt2(trust.list, certs.crts.data(), unsigned(certs.crts.size()), nullptr, 0, 0,
                                           &status, nullptr) < 0)
        return ChainVerdict::Untrusted;
    if (status & (GNUTLS_CERT_EXPIRED | GNUTLS_CERT_NOT_ACTIVATED))
        return ChainVerdict::Expired;
    if (status != 0)
        return ChainVerdict::Untrusted;
    // Numeric addresses are matched against the certificate's IP addresses.
    if (!gnutls_x509_crt_check_hostname2(certs.crts.front(), host.c_str(), 0))
        return ChainVerdict::WrongHost;
    return ChainVerdict::Trusted;
}

const char *verdictText(ChainVerdict verdict)
{
    switch (verdict) {
    case ChainVerdict::Trusted:
        return "trusted";
    case ChainVerdict::NoAuthority:
        return "no certificate authority to check against";
    case ChainVerdict::Malformed:
        return "not a certificate chain";
    case ChainVerdict::Untrusted:
        return "not issued by the certificate authority";
    case ChainVerdict::Expired:
        return "expired or not yet valid";
    case ChainVerdict::WrongHost:
        return "issued for another host";
    }
    return "";
}

} // namespace quillora::platform::net
