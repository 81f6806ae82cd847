// The connection settings applied to a libcurl easy handle, so that every
// transfer the client makes with libcurl (update check, head-image downloads,
// the head-image upload) takes the same road as the service calls and trusts
// the same certificates.
#pragma once

#include "proxy_settings.h"

#include <QString>

#include <curl/curl.h>

#include <string>

namespace quillora::service {

// For HTTP(S) transfers. Desktop mode leaves the handle to read the proxy
// environment itself; Direct switches every proxy off (the environment
// included); Socks5 and Http name the proxy, with user name and password when
// given. A SOCKS 5 proxy resolves the destination's name.
void applyProxy(CURL *curl, const ProxySettings &settings);

// For an FTP transfer to `ftpHost`. As applyProxy, and when a proxy carries
// the transfer: through an HTTP proxy the control connection is tunnelled
// (CONNECT) instead of being turned into HTTP requests, and the data
// connection is passive, since no proxy relays a connection that the FTP
// server opens back to the client. Returns whether a proxy is used.
bool applyFtpProxy(CURL *curl, const ProxySettings &settings, const std::string &ftpHost,
                   const EnvironmentLookup &env = processEnvironment());

// TLS certificates of the transfer are checked, the host name included,
// against the system's trust store and, when `caFile` is named, the
// authorities in that PEM file as well (as the service transport checks
// them). A file that cannot be read fails every TLS transfer.
void applySiteTrust(CURL *curl, const QString &caFile);

} // namespace quillora::service
