// A certificate chain checked against one certificate authority of our own
// choosing, not the system's trust store: the embedded browser accepts a
// chain its engine could not place only when it ends in the community's CA
// (the CA file of the site), is valid now, and names the host of the page.
#pragma once

#include <string>
#include <vector>

namespace quillora::platform::net {

enum class ChainVerdict {
    Trusted,     // ends in the CA, valid now, issued for the host
    NoAuthority, // the CA file is missing, unreadable or holds no certificate
    Malformed,   // no certificate, more than kMaxChainLength, or one that is not DER
    Untrusted,   // does not end in the CA (or a signature does not verify)
    Expired,     // a certificate of the chain is past its end, or not yet valid
    WrongHost,   // the leaf is not issued for the host
};

// Chains longer than this are refused unread.
inline constexpr size_t kMaxChainLength = 10;

// `chain` holds DER certificates, the leaf first (as a TLS peer sends them);
// `host` is a name or a numeric address (IPv6 without brackets).
ChainVerdict verifyChainWithCa(const std::vector<std::string> &chain, const std::string &caFile,
                               const std::string &host);

const char *verdictText(ChainVerdict verdict);

} // namespace quillora::platform::net
