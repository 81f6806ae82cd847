// The embedded browser's share of the connection settings. Its engine reads
// a proxy from its command line when it starts; these are the switches that
// send the browser's traffic along the route the client's own calls to the
// site take, so question pages go where the service calls go.
#pragma once

#include "proxy_settings.h"

#include <QByteArray>
#include <QStringList>

namespace quillora::service {

// A proxy that never answers: "invalid" names nothing (RFC 6761).
inline constexpr char kUnreachableProxyHost[] = "unreachable.invalid";
inline constexpr int kUnreachableProxyPort = 9;

// True for a host the engine can be given as it is: a name of letters,
// digits, dots, hyphens and underscores, or an IPv6 address (hex digits,
// colons and dots), at most 253 characters.
bool isPlainProxyHost(const std::string &host);

// "--no-proxy-server" for a direct route; "--proxy-server=http://HOST:PORT"
// or "--proxy-server=socks5://HOST:PORT" ([HOST] for IPv6) for a proxy. A
// route the browser cannot take (a proxy the client cannot speak, no port, a
// host that is not plain) gives the unreachable proxy, so that pages fail
// rather than go around the member's proxy.
QStringList browserProxySwitches(const ProxyRoute &route);

// The engine's extra command line `flags` (blank-separated words) with its
// own choice of proxy (--proxy-server, --no-proxy-server, --proxy-pac-url,
// --proxy-auto-detect) replaced by `switches`; every other word, a
// --proxy-bypass-list among them, stays as it was.
QByteArray withBrowserSwitches(const QByteArray &flags, const QStringList &switches);

} // namespace quillora::service
