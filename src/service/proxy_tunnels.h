// Reaching the destination through a proxy: the SOCKS 5 CONNECT, the HTTP
// CONNECT tunnel a TLS connection takes through an HTTP proxy, and what a
// plain request sent to an HTTP proxy carries. Not part of the transport's
// interface.
#pragma once

#include "http_internal.h"
#include "proxy_settings.h"

#include <QByteArray>

namespace quillora::service::http {

// The SOCKS 5 greeting, user name/password sub-negotiation when the proxy
// asks for it, and CONNECT to the destination. Names go to the proxy
// unresolved; IP literals as addresses.
bool socks5Connect(HttpConnection &conn, const HttpUrl &target, const ProxyRoute &route, const Budget &budget);

// A tunnel through an HTTP proxy to the destination (CONNECT), for TLS: the
// proxy relays bytes it cannot read. Any answer but 2xx fails it (a 407
// included: the credentials were sent with the CONNECT).
bool httpTunnel(HttpConnection &conn, const HttpUrl &target, const ProxyRoute &route, const Budget &budget,
                const HttpTransport::TraceHook &trace);

// "Proxy-Authorization: Basic ...\r\n" for a proxy route with a user name.
QByteArray basicProxyCredentials(const ProxyRoute &route);

// "http://host[:port]/path": the request target an HTTP proxy needs.
QByteArray absoluteTarget(const HttpUrl &url);

} // namespace quillora::service::http
