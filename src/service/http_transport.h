// A small HTTP/1.1 client that carries one SOAP request at a time as a POST
// over a TCP connection (TLS for an https endpoint), on POSIX sockets with
// non-blocking connect and poll() for every time limit. One object owns one
// connection, kept open between exchanges until the server closes it or an
// exchange fails.
//
// Its parts: the URLs it posts to and the redirects it follows
// (http_url.h), the text of a response taken apart (http_response.h) and,
// inside the library, the reading of a response off the connection
// (http_response_reader.h) and the tunnels through a proxy (proxy_tunnels.h).
#pragma once

#include "http_response.h"
#include "http_url.h"
#include "proxy_settings.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillora::service {

struct HttpLimits {
    int connectMs = 10000; // connecting, and the TLS handshake
    int sendMs = 10000;
    int receiveMs = 10000;
    // The whole call, redirects included: a peer that keeps each step within
    // its limit (a byte every few seconds) still cannot hold the caller longer.
    int callMs = 60000;
    qint64 maxBodyBytes = 64LL * 1024 * 1024; // larger bodies fail the exchange
    int maxRedirects = 5;
    qint64 maxHeadBytes = 1024 * 1024; // a response head (or trailer block) larger than this fails
};

struct HttpExchange {
    bool accepted = false; // 200-206, 304, 305
    int status = -1;       // -1 when no status line was read
    QByteArray body;
};

// The byte stream under the transport. The socket implementation is the real
// one; tests and fuzz targets substitute their own.
class HttpConnection {
  public:
    virtual ~HttpConnection() = default;
    // Sends all of data within the time limit; false on error or time-out.
    virtual bool sendAll(const char *data, qsizetype size, int timeoutMs) = 0;
    // Reads up to `max` bytes: returns the count (0 when the peer closed), or -1
    // on error or time-out.
    virtual qsizetype receive(char *buffer, qsizetype max, int timeoutMs) = 0;
    // Checked without blocking before a kept-open connection is used again:
    // false when the peer has closed it (or sent bytes nobody asked for), so
    // the transport connects anew instead of sending into a dead connection.
    virtual bool isReusable() { return true; }
};

class HttpTransport {
  public:
    explicit HttpTransport(HttpLimits limits = {});
    ~HttpTransport();
    HttpTransport(const HttpTransport &) = delete;
    HttpTransport &operator=(const HttpTransport &) = delete;

    // Sets the endpoint; false (and nothing changes) when the URL is refused.
    bool setEndpoint(std::string_view url);

    // Posts body with the header line `SOAPAction: "<soapAction>"`.
    HttpExchange post(const std::string &soapAction, const QByteArray &body);

    bool isConnected() const;
    void close();
    // Headers of the last response.
    const HttpHeaders &responseHeaders() const;

    // Sees every byte sent (outgoing = true) and received, for --trace.
    using TraceHook = std::function<void(bool outgoing, const char *data, qsizetype size)>;
    void setTraceHook(TraceHook hook);

    // Connects through this factory instead of a socket (tests, fuzzing).
    // A null result is a failed connect.
    using ConnectionFactory = std::function<std::unique_ptr<HttpConnection>(const HttpUrl &)>;
    void setConnectionFactory(ConnectionFactory factory);

    // Offered every Set-Cookie value received. The client keeps no cookies,
    // so by default nothing is installed and the values are dropped.
    using CookieHook = std::function<void(const std::string &value)>;
    void setCookieHook(CookieHook hook);

    // The www-authenticate and proxy-authenticate values of the last response.
    // No authentication scheme is registered, so 401 and 407 end unaccepted.
    const std::vector<std::string> &authenticateChallenges() const;

    const HttpUrl &endpoint() const;

    // The certificate of an https endpoint is checked against the system's
    // trust store and, when given, the authorities in this PEM file, and for
    // the endpoint's host name. A certificate that fails fails the call.
    void setTrustedCaFile(std::string path);
    // Why the last TLS handshake failed (GnuTLS's words, the certificate's
    // problem included); empty when it did not fail.
    const std::string &tlsError() const;
    // True when the open connection resumed an earlier TLS session with the
    // same site instead of a full handshake.
    bool isResumedTls() const;

    // Connections made from now on take the route these settings give for
    // the destination: straight, through an HTTP proxy (requests then name
    // the absolute URL; an https endpoint is reached through a CONNECT
    // tunnel instead) or through a SOCKS 5 proxy's CONNECT. Desktop mode
    // until set. Not used with a connection factory.
    void setProxy(const ProxySettings &settings);

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace quillora::service
