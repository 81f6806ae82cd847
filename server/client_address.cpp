#include "client_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>

namespace varnel {

namespace {

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::vector<std::string> commaSeparated(const std::string &list)
{
    std::vector<std::string> items;
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        items.push_back(trimmed(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos)
            return items;
        start = comma + 1;
    }
}

} // namespace

std::optional<std::string> canonicalAddress(const std::string &text)
{
    char out[INET6_ADDRSTRLEN] = {};
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1)
        return inet_ntop(AF_INET, &v4, out, sizeof out) ? std::optional<std::string>(out) : std::nullopt;
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) != 1)
        return std::nullopt;
    const char *written = IN6_IS_ADDR_V4MAPPED(&v6) ? inet_ntop(AF_INET, &v6.s6_addr[12], out, sizeof out)
                                                    : inet_ntop(AF_INET6, &v6, out, sizeof out);
    return written ? std::optional<std::string>(out) : std::nullopt;
}

std::string limitGroup(const std::string &address)
{
    in6_addr v6{};
    if (inet_pton(AF_INET6, address.c_str(), &v6) != 1 || IN6_IS_ADDR_V4MAPPED(&v6))
        return canonicalAddress(address).value_or(address);
    std::fill(v6.s6_addr + 8, v6.s6_addr + 16, 0);
    char out[INET6_ADDRSTRLEN] = {};
    return inet_ntop(AF_INET6, &v6, out, sizeof out) ? std::string(out) + "/64" : address;
}

bool TrustedProxies::add(const std::string &list, std::string &error)
{
    for (const std::string &item : commaSeparated(list)) {
        const auto address = canonicalAddress(item);
        if (!address) {
            error = "not an IP address: \"" + item + "\"";
            return false;
        }
        if (!contains(*address))
            m_addresses.push_back(*address);
    }
    return true;
}

bool TrustedProxies::contains(const std::string &address) const
{
    return std::find(m_addresses.begin(), m_addresses.end(), address) != m_addresses.end();
}

std::string TrustedProxies::clientOf(const std::string &peer, const std::string &forwardedFor) const
{
    std::string client = peer;
    if (m_addresses.empty() || forwardedFor.empty())
        return client;
    const std::vector<std::string> hops = commaSeparated(forwardedFor);
    for (auto hop = hops.rbegin(); hop != hops.rend() && contains(client); ++hop) {
        const auto address = canonicalAddress(*hop);
        if (!address)
            break;
        client = *address;
    }
    return client;
}

} // namespace varnel
