// A small HTTP/1.1 client that carries one SOAP request at a time as a POST
// over a plain TCP connection, on POSIX sockets with non-blocking connect and
// poll() for every time limit. One object owns one connection, kept open
// between exchanges until the server closes it or an exchange fails.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace quillora::service {

struct HttpUrl {
    std::string host;
    int port = 80;
    std::string path = "/"; // path and query as written

    // "http://host[:port][/path[?query]]". Only http; a host is required; an
    // empty path becomes "/"; a path or query over 2048 characters is refused.
    static bool parse(std::string_view url, HttpUrl &out);
};

// Header names compared without regard to case.
struct CaseInsensitiveLess {
    bool operator()(const std::string &a, const std::string &b) const;
};
// A header received more than once holds its values joined by a comma.
using HttpHeaders = std::map<std::string, std::string, CaseInsensitiveLess>;

struct HttpLimits {
    int connectMs = 10000;
    int sendMs = 10000;
    int receiveMs = 10000;
    qint64 maxBodyBytes = 64LL * 1024 * 1024; // larger bodies fail the exchange
    int maxRedirects = 5;
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
    using ConnectionFactory = std::function<std::unique_ptr<HttpConnection>(const HttpUrl &)>;
    void setConnectionFactory(ConnectionFactory factory);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace quillora::service
