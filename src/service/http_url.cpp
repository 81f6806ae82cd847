#include "http_url.h"

#include "http_internal.h"

#include <algorithm>

namespace quillora::service {

namespace {

using http::equalsNoCase;
using http::isDigit;
using http::lower;

constexpr qsizetype kMaxUrlPart = 2048;

// Characters that may stand in a request line: printable ASCII without space.
bool isPathText(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

bool isHostText(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c) || c == '-' || c == '.' || c == '_';
    });
}

// The path-and-query part of a URL: starts with '/' (a bare query gets one),
// drops a fragment, refuses control characters and spaces.
bool takePath(std::string_view rest, std::string &path)
{
    if (const auto hash = rest.find('#'); hash != std::string_view::npos)
        rest = rest.substr(0, hash);
    if (rest.empty()) {
        path = "/";
        return true;
    }
    if (!isPathText(rest))
        return false;
    const auto q = rest.find('?');
    const std::string_view p = rest.substr(0, q);
    if (qsizetype(p.size()) > kMaxUrlPart)
        return false;
    if (q != std::string_view::npos && qsizetype(rest.size() - q - 1) > kMaxUrlPart)
        return false;
    path = (rest.front() == '/') ? std::string(rest) : "/" + std::string(rest);
    return true;
}

} // namespace

bool HttpUrl::parse(std::string_view url, HttpUrl &out)
{
    constexpr std::string_view plain = "http://";
    constexpr std::string_view secure = "https://";
    HttpUrl result;
    if (url.size() >= plain.size() && equalsNoCase(url.substr(0, plain.size()), plain)) {
        url.remove_prefix(plain.size());
    } else if (url.size() >= secure.size() && equalsNoCase(url.substr(0, secure.size()), secure)) {
        url.remove_prefix(secure.size());
        result.tls = true;
        result.port = 443;
    } else {
        return false;
    }
    const auto end = url.find_first_of("/?#");
    const std::string_view authority = url.substr(0, end);
    const std::string_view rest = end == std::string_view::npos ? std::string_view() : url.substr(end);

    std::string_view hostPart = authority;
    std::string_view portPart;
    bool hasPort = false;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos)
            return false;
        hostPart = authority.substr(1, close - 1);
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return false;
            portPart = after.substr(1);
            hasPort = true;
        }
        if (hostPart.empty() || !std::all_of(hostPart.begin(), hostPart.end(), [](char c) {
                return isDigit(c) || (lower(c) >= 'a' && lower(c) <= 'f') || c == ':' || c == '.';
            }))
            return false;
    } else {
        if (const auto colon = authority.find(':'); colon != std::string_view::npos) {
            hostPart = authority.substr(0, colon);
            portPart = authority.substr(colon + 1);
            hasPort = true;
        }
        if (!isHostText(hostPart))
            return false;
    }
    if (hasPort) {
        if (portPart.empty() || portPart.size() > 5 || !std::all_of(portPart.begin(), portPart.end(), isDigit))
            return false;
        const int port = std::stoi(std::string(portPart));
        if (port < 1 || port > 65535)
            return false;
        result.port = port;
    }
    result.host = std::string(hostPart);
    if (!takePath(rest, result.path))
        return false;
    out = std::move(result);
    return true;
}

namespace http {

bool resolveLocation(const HttpUrl &current, std::string_view location, HttpUrl &out)
{
    location = trimmed(location);
    if (!location.empty() && location.front() == '/' && !(location.size() > 1 && location[1] == '/')) {
        HttpUrl next = current;
        if (!takePath(location, next.path))
            return false;
        out = std::move(next);
        return true;
    }
    HttpUrl next;
    if (!HttpUrl::parse(location, next) || (current.tls && !next.tls))
        return false;
    out = std::move(next);
    return true;
}

} // namespace http

} // namespace quillora::service
