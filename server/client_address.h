// The address a request comes from. Behind a load balancer every connection
// comes from the balancer; when its address is listed as a trusted proxy, the
// client is the address it appended to X-Forwarded-For. Sign-in bindings, rate
// limits and the request log then see members, not the balancer.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace varnel {

// An IPv4 or IPv6 address in the form the server writes addresses
// (inet_ntop's, an IPv4-mapped IPv6 address as IPv4); nothing for anything else.
std::optional<std::string> canonicalAddress(const std::string &text);

// The key per-address limits count under: an IPv4 address itself, an IPv6
// address its /64 ("2001:db8:1:2::/64"), since one subscriber is handed a
// whole /64 and could otherwise pass every limit by changing address.
// Anything that is not an address is its own key.
std::string limitGroup(const std::string &address);

class TrustedProxies {
  public:
    TrustedProxies() = default;
    // A comma-separated list of addresses; false with `error` set when one is
    // not an address.
    bool add(const std::string &list, std::string &error);

    bool empty() const { return m_addresses.empty(); }
    bool contains(const std::string &address) const;
    const std::vector<std::string> &addresses() const { return m_addresses; }

    // The client behind `peer`: while the hop at hand is a trusted proxy, the
    // address it appended (the rightmost one not yet taken) is the next hop.
    // `forwardedFor` holds every X-Forwarded-For value, in order, joined by
    // commas. An entry that is not an address ends the walk at the hop before it.
    std::string clientOf(const std::string &peer, const std::string &forwardedFor) const;

  private:
    std::vector<std::string> m_addresses;
};

} // namespace varnel
