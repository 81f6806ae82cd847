// A small HTTP/1.1 client that carries one SOAP request at a time as a POST
// over a TCP connection (TLS for an https endpoint), on POSIX sockets with
// non-blocking connect and poll() for every time limit. One object owns one
// connection, kept open between exchanges until the server closes it or an
// exchange fails.
#pragma once

#include "proxy_settings.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillora::service {

struct HttpUrl {
    std::string host;
    int port = 80;
    std::string path = "/"; // path and query as written
    bool tls = false;       // https: the connection is TLS, port 443 unless given

    // "http://host[:port][/path[?query]]" or the same with https. A host is
    // required; an empty path becomes "/"; a path or query over 2048
    // characters is refused.
    static bool parse(std::string_view url, HttpUrl &out);
};

// Header names compared without regard to case.
struct CaseInsensitiveLess {
    bool operator()(const std::string &a, const std::string &b) const;
};
// A header received more than once holds its values joined by a comma.
using HttpHeaders = std::map<std::string, std::string, CaseInsensitiveLess>;

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

// The pieces of the response parser, pure so that they can be tested and
// fuzzed on their own.
namespace http {

constexpr qsizetype maxHeaderNameLength = 1023;
constexpr qsizetype maxHeaderValueLength = 1023;

// One header line as received, in order (after unfolding).
struct HeaderField {
    std::string name;
    std::string value;
};

// "HTTP/1.1 200 OK" without its CR LF: skips the first token and the spaces
// after it, then reads the decimal status code. False when no digit follows
// or the number is absurdly long.
bool parseStatusLine(std::string_view line, int &status);

// Header lines separated by CR LF (a final CR LF is optional). A line that
// begins with a space or tab continues the one before it; lines without a
// colon are ignored. Each field is added to `headers` (repeated names joined
// by a comma) and, when `fields` is given, appended there in order. False when
// a name or value is longer than 1023 characters.
bool parseHeaderBlock(std::string_view block, HttpHeaders &headers, std::vector<HeaderField> *fields = nullptr);

// Adds one value, joining it with a comma to a value already held.
void addHeader(HttpHeaders &headers, const std::string &name, const std::string &value);

// A chunk-size line without its CR LF: hexadecimal digits only (no chunk
// extension, no white space). False when empty, malformed or too large.
bool parseChunkSizeLine(std::string_view line, qint64 &size);

// 200 to 206, 304 and 305.
bool isAcceptedStatus(int status);

// The target of a redirect: an absolute http or https URL, or an absolute
// path on the current host and port. False for anything else, and for an
// http URL after an https one: what was encrypted stays encrypted.
bool resolveLocation(const HttpUrl &current, std::string_view location, HttpUrl &out);

} // namespace http

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
