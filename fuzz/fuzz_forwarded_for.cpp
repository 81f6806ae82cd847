// X-Forwarded-For values from the network into the walk that finds a client
// behind trusted load balancers: whatever comes in, the answer is the peer or
// an address written the server's way, and never one the header put left of
// an untrusted hop.
#include "client_address.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const varnel::TrustedProxies proxies = [] {
        varnel::TrustedProxies p;
        std::string error;
        if (!p.add("127.0.0.1,10.1.1.1,::1", error))
            std::abort();
        return p;
    }();
    const std::string header(reinterpret_cast<const char *>(data), size);
    const std::string client = proxies.clientOf("127.0.0.1", header);
    if (client != "127.0.0.1" && varnel::canonicalAddress(client) != client)
        std::abort();
    // The same header from a caller nobody trusts changes nothing.
    if (proxies.clientOf("192.0.2.1", header) != "192.0.2.1")
        std::abort();
    return 0;
}
