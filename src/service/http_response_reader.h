// Reads the responses that come back on the transport's connection, one at
// a time: the head (past any 100 Continue), then the body as the head frames
// it (chunks and their trailer, a Content-Length, or everything up to the
// close). Every read keeps to the call's budget and every buffer to the
// limits. Not part of the transport's interface.
#pragma once

#include "http_internal.h"

#include <QByteArray>

#include <string>
#include <vector>

namespace quillora::service::http {

// How a body ended.
enum class BodyEnd {
    Failed, // an error, a time-out or a limit: the exchange fails
    Framed, // where its head said: the connection may carry the next response
    Closed, // with the stream, which carries nothing more
};

class ResponseReader {
  public:
    ResponseReader(HttpConnection &conn, const HttpTransport::TraceHook &trace, const Budget &budget)
        : m_conn(conn), m_trace(trace), m_budget(budget)
    {
    }

    // Reads heads until one that is not 100 Continue; parses its status, and
    // its header lines into `headers`, appending each field to `fields` in
    // order. False on any failure.
    bool readHead(int &status, HttpHeaders &headers, std::vector<HeaderField> &fields);

    // The body of the response whose head was read: none after 204 and 304,
    // then by chunks, by Content-Length, or up to the close. The fields of a
    // trailer are added to `headers` and appended to `trailer`.
    BodyEnd readBody(int status, HttpHeaders &headers, QByteArray &body, std::vector<HeaderField> &trailer);

    // Bytes received beyond the response read: more than was asked for.
    qsizetype pending() const { return available(); }

  private:
    bool readChunked(HttpHeaders &headers, QByteArray &body, std::vector<HeaderField> &trailer);
    bool readContentLength(const std::string &text, QByteArray &body);
    bool readToClose(QByteArray &body);

    // Received bytes of the connection, read on demand. Bytes that came with
    // the head stay here for the body.
    qsizetype available() const { return m_buf.size() - m_pos; }
    const char *data() const { return m_buf.constData() + m_pos; }
    void consume(qsizetype n);
    qsizetype fill(qsizetype max);
    qsizetype findFrom(const char *needle, qsizetype from) const;
    bool readLine(qsizetype maxLength, std::string &line);

    HttpConnection &m_conn;
    const HttpTransport::TraceHook &m_trace;
    const Budget &m_budget;
    bool m_expired = false; // a read failed because the whole call ran out of time
    QByteArray m_buf;
    qsizetype m_pos = 0;
};

} // namespace quillora::service::http
