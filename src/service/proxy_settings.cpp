#include "proxy_settings.h"

#include <QByteArray>

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace quillora::service {
namespace {

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string lowered(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), lower);
    return s;
}

std::string trimmed(const std::string &s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

std::string percentDecoded(const std::string &s)
{
    return QByteArray::fromPercentEncoding(QByteArray::fromStdString(s)).toStdString();
}

// The first of the variables that is set and not empty.
std::string firstSet(const EnvironmentLookup &env, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        std::string value = env(name);
        if (!value.empty())
            return value;
    }
    return {};
}

std::mutex &activeLock()
{
    static std::mutex lock;
    return lock;
}

ProxySettings &activeValue()
{
    static ProxySettings value;
    return value;
}

} // namespace

EnvironmentLookup processEnvironment()
{
    return [](const char *name) {
        const char *value = std::getenv(name);
        return value ? std::string(value) : std::string();
    };
}

std::optional<ProxyRoute> parseProxyUrl(const std::string &text)
{
    std::string rest = trimmed(text);
    ProxyRoute route;
    route.kind = ProxyRoute::Kind::Http;
    // libcurl's default proxy port, whatever the scheme.
    constexpr int defaultPort = 1080;
    if (const auto sep = rest.find("://"); sep != std::string::npos) {
        const std::string scheme = lowered(rest.substr(0, sep));
        rest = rest.substr(sep + 3);
        if (scheme == "http") {
            route.kind = ProxyRoute::Kind::Http;
        } else if (scheme == "socks5" || scheme == "socks5h") {
            route.kind = ProxyRoute::Kind::Socks5;
        } else {
            route.kind = ProxyRoute::Kind::Unsupported;
        }
    }
    // Everything after the authority (a path, even a lone "/") is ignored.
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = rest.rfind('@'); at != std::string::npos) {
        const std::string userInfo = rest.substr(0, at);
        rest = rest.substr(at + 1);
        const auto colon = userInfo.find(':');
        route.username = percentDecoded(userInfo.substr(0, colon));
        if (colon != std::string::npos)
            route.password = percentDecoded(userInfo.substr(colon + 1));
    }

    std::string host = rest;
    std::string portText;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string::npos)
            return std::nullopt;
        host = rest.substr(1, close - 1);
        const std::string after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return std::nullopt;
            portText = after.substr(1);
        }
    } else if (const auto colon = rest.find(':'); colon != std::string::npos) {
        host = rest.substr(0, colon);
        portText = rest.substr(colon + 1);
    }
    if (host.empty())
        return std::nullopt;
    route.host = host;
    route.port = defaultPort;
    if (!portText.empty()) {
        if (portText.size() > 5 ||
            !std::all_of(portText.begin(), portText.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        const int port = std::stoi(portText);
        if (port < 1 || port > 65535)
            return std::nullopt;
        route.port = port;
    }
    return route;
}

bool matchesNoProxy(const std::string &noProxy, const std::string &host)
{
    std::string name = lowered(host);
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    while (!name.empty() && name.back() == '.')
        name.pop_back();
    size_t start = 0;
    while (start <= noProxy.size()) {
        size_t end = noProxy.find_first_of(", ", start);
        if (end == std::string::npos)
            end = noProxy.size();
        std::string entry = lowered(noProxy.substr(start, end - start));
        start = end + 1;
        if (entry.empty())
            continue;
        if (entry == "*")
            return true;
        if (entry.size() > 2 && entry.front() == '[' && entry.back() == ']')
            entry = entry.substr(1, entry.size() - 2);
        while (!entry.empty() && entry.front() == '.')
            entry.erase(0, 1);
        while (!entry.empty() && entry.back() == '.')
            entry.pop_back();
        if (entry.empty())
            continue;
        if (name == entry)
            return true;
        if (name.size() > entry.size() && name.compare(name.size() - entry.size(), entry.size(), entry) == 0 &&
            name[name.size() - entry.size() - 1] == '.')
            return true;
    }
    return false;
}

ProxyRoute environmentRoute(const std::string &scheme, const std::string &host, const EnvironmentLookup &env)
{
    const std::string noProxy = firstSet(env, {"no_proxy", "NO_PROXY"});
    if (!noProxy.empty() && matchesNoProxy(noProxy, host))
        return {};

    std::string proxy;
    const std::string s = lowered(scheme);
    if (s == "http") {
        // Upper-case HTTP_PROXY is left alone, as libcurl does: a CGI program
        // gets it from the request's "Proxy:" header.
        proxy = env("http_proxy");
    } else if (s == "https") {
        proxy = firstSet(env, {"https_proxy", "HTTPS_PROXY"});
    } else if (s == "ftp") {
        proxy = firstSet(env, {"ftp_proxy", "FTP_PROXY"});
    }
    if (proxy.empty())
        proxy = firstSet(env, {"all_proxy", "ALL_PROXY"});
    if (proxy.empty())
        return {};
    if (auto route = parseProxyUrl(proxy))
        return *route;
    ProxyRoute unusable;
    unusable.kind = ProxyRoute::Kind::Unsupported;
    return unusable;
}

ProxyRoute routeFor(const ProxySettings &settings, const std::string &scheme, const std::string &host,
                    const EnvironmentLookup &env)
{
    ProxyRoute route;
    switch (settings.mode) {
    case ProxySettings::Mode::Desktop:
        return environmentRoute(scheme, host, env);
    case ProxySettings::Mode::Direct:
        return route;
    case ProxySettings::Mode::Socks5:
        route.kind = ProxyRoute::Kind::Socks5;
        break;
    case ProxySettings::Mode::Http:
        route.kind = ProxyRoute::Kind::Http;
        break;
    }
    route.host = settings.host.trimmed().toStdString();
    route.port = settings.port;
    route.username = settings.username.toStdString();
    route.password = settings.password.toStdString();
    if (route.host.empty() || route.port == 0)
        route.kind = ProxyRoute::Kind::Unsupported; // a proxy without an address reaches nothing
    return route;
}

ProxySettings activeProxySettings()
{
    std::lock_guard lock(activeLock());
    return activeValue();
}

void setActiveProxySettings(const ProxySettings &settings)
{
    std::lock_guard lock(activeLock());
    activeValue() = settings;
}

} // namespace quillora::service
