// Pieces shared by the files of the HTTP transport: the byte-level text
// helpers its URL, header and request code use, and the time budget of one
// call. Not part of the transport's interface.
#pragma once

#include "http_transport.h"

#include "platform/tcp_connect.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace quillora::service::http {

inline char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

inline bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

inline bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

inline std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

inline std::string hostHeaderText(const std::string &host)
{
    // An IPv6 literal is written in brackets; a name or IPv4 address as it is.
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

using platform::net::Clock;

// The time a call may still take: each step gets its own limit, cut short by
// what is left of the whole call.
struct Budget {
    const HttpLimits &limits;
    Clock::time_point deadline;

    int left() const { return platform::net::remainingMs(deadline); }
    int connectMs() const { return std::min(limits.connectMs, left()); }
    int sendMs() const { return std::min(limits.sendMs, left()); }
    int receiveMs() const { return std::min(limits.receiveMs, left()); }
};

} // namespace quillora::service::http
