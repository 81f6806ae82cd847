// How the client's own traffic reaches the network: the member's choice in
// "Connection Settings", and the one route it gives for a given destination.
//
// Desktop mode follows the desktop's proxy environment the way libcurl reads
// it (http_proxy, https_proxy, ftp_proxy, all_proxy, no_proxy); the explicit
// modes name one proxy for every destination, or none at all.
#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <string>

namespace quillora::service {

struct ProxySettings {
    enum class Mode {
        Desktop, // the desktop's proxy environment
        Direct,  // "Using proxy server" with "Not using proxy"
        Socks5,
        Http,
    };
    Mode mode = Mode::Desktop;
    QString host;
    quint16 port = 0;
    QString username;
    QString password;
    // Kept with the settings; neither Basic nor SOCKS 5 authentication has a
    // place for a domain, so nothing sends it.
    QString region;

    bool operator==(const ProxySettings &) const = default;
};

// One hop through a proxy (or none) for one destination.
struct ProxyRoute {
    enum class Kind {
        None,        // connect straight to the destination
        Http,        // HTTP proxy: absolute-form request targets
        Socks5,      // SOCKS 5 CONNECT, the proxy resolves the name
        Unsupported, // a proxy is asked for that the client cannot speak
    };
    Kind kind = Kind::None;
    std::string host;
    int port = 0;
    std::string username; // empty: no authentication
    std::string password;

    bool operator==(const ProxyRoute &) const = default;
};

// Reads one environment variable; empty when unset. Tests pass their own.
using EnvironmentLookup = std::function<std::string(const char *name)>;
EnvironmentLookup processEnvironment();

// "host", "host:port", "scheme://[user[:password]@]host[:port][/]" as the
// proxy variables hold them. Schemes: http (also when none is written),
// socks5 and socks5h; anything else gives Unsupported. User and password are
// percent-decoded. nullopt when the text names no host or a bad port.
std::optional<ProxyRoute> parseProxyUrl(const std::string &text);

// True when `host` is excluded by a no_proxy list: "*", or an entry equal to
// the host or a domain the host lies in (a leading dot on the entry does not
// matter), compared without regard to case. IPv6 literals compare as written.
bool matchesNoProxy(const std::string &noProxy, const std::string &host);

// The desktop's proxy for a URL of `scheme` ("http", "https", "ftp") to
// `host`, read as libcurl reads it: no_proxy / NO_PROXY first; then
// http_proxy (lower case only), HTTPS_PROXY / https_proxy or FTP_PROXY /
// ftp_proxy; then ALL_PROXY / all_proxy.
ProxyRoute environmentRoute(const std::string &scheme, const std::string &host,
                            const EnvironmentLookup &env = processEnvironment());

// The route the settings give for a URL of `scheme` to `host`.
ProxyRoute routeFor(const ProxySettings &settings, const std::string &scheme, const std::string &host,
                    const EnvironmentLookup &env = processEnvironment());

// The settings the running client uses. New service proxies, update checks and
// head-image downloads take them when they are made; "Connection Settings"
// replaces them when it ends accepted. Desktop mode until set.
ProxySettings activeProxySettings();
void setActiveProxySettings(const ProxySettings &settings);

} // namespace quillora::service
