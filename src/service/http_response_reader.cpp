#include "http_response_reader.h"

#include <algorithm>

namespace quillora::service::http {

namespace {

constexpr qsizetype kHeadReadSize = 2048;
constexpr qsizetype kBodyReadSize = 4096;
constexpr int kMaxEmptyHeadReads = 5;
// A chunk-size line is hex digits only; anything this long is not one.
constexpr qsizetype kMaxChunkLine = 64;

} // namespace

bool ResponseReader::readHead(int &status, HttpHeaders &headers, std::vector<HeaderField> &fields)
{
    const HttpLimits &limits = m_budget.limits;
    for (;;) {
        int empties = 0;
        qsizetype end;
        qsizetype searched = 0;
        while ((end = findFrom("\r\n\r\n", std::max<qsizetype>(searched - 3, 0))) < 0) {
            searched = available();
            if (searched > limits.maxHeadBytes)
                return false;
            const qsizetype n = fill(kHeadReadSize);
            if (n < 0)
                return false;
            if (n == 0) {
                if (++empties == kMaxEmptyHeadReads)
                    return false;
            } else {
                empties = 0;
            }
        }
        if (end + 4 > limits.maxHeadBytes)
            return false;
        const std::string_view head(data(), size_t(end + 2)); // header lines keep their CR LF
        const auto eol = head.find("\r\n");
        if (!parseStatusLine(head.substr(0, eol), status))
            return false;
        if (status == 100) {
            consume(end + 4);
            continue;
        }
        const bool ok = parseHeaderBlock(head.substr(eol + 2), headers, &fields);
        consume(end + 4);
        return ok;
    }
}

BodyEnd ResponseReader::readBody(int status, HttpHeaders &headers, QByteArray &body, std::vector<HeaderField> &trailer)
{
    if (status == 204 || status == 304) {
        // These never carry a body; reading one would wait for the close of a
        // connection the server keeps open.
        return BodyEnd::Framed;
    }
    if (const auto te = headers.find("Transfer-Encoding"); te != headers.end() && te->second == "chunked")
        return readChunked(headers, body, trailer) ? BodyEnd::Framed : BodyEnd::Failed;
    if (const auto cl = headers.find("Content-Length"); cl != headers.end())
        return readContentLength(cl->second, body) ? BodyEnd::Framed : BodyEnd::Failed;
    // A read cut off by the end of the call's time is no end of the body.
    if (!readToClose(body) || m_expired)
        return BodyEnd::Failed;
    return BodyEnd::Closed;
}

bool ResponseReader::readChunked(HttpHeaders &headers, QByteArray &body, std::vector<HeaderField> &trailer)
{
    const HttpLimits &limits = m_budget.limits;
    std::string line;
    for (;;) {
        qint64 size = 0;
        if (!readLine(kMaxChunkLine, line) || !parseChunkSizeLine(line, size))
            return false;
        if (size == 0)
            break;
        if (size > limits.maxBodyBytes - body.size())
            return false;
        while (size > 0) {
            if (available() == 0 && fill(kBodyReadSize) <= 0)
                return false;
            const qsizetype take = qsizetype(std::min<qint64>(size, available()));
            body.append(data(), take);
            consume(take);
            size -= take;
        }
        if (!readLine(0, line) || !line.empty())
            return false;
    }
    if (headers.count("Trailer")) {
        std::string block;
        for (;;) {
            if (!readLine(limits.maxHeadBytes, line))
                return false;
            if (line.empty())
                break;
            block += line;
            block += "\r\n";
            if (qint64(block.size()) > limits.maxHeadBytes)
                return false;
        }
        return parseHeaderBlock(block, headers, &trailer);
    }
    return readLine(0, line) && line.empty();
}

bool ResponseReader::readContentLength(const std::string &text, QByteArray &body)
{
    const std::string_view value = trimmed(text);
    if (value.empty() || value.size() > 18 || !std::all_of(value.begin(), value.end(), isDigit))
        return false;
    const qint64 length = std::stoll(std::string(value));
    if (length > m_budget.limits.maxBodyBytes)
        return false;
    body.reserve(qsizetype(std::min<qint64>(length, 1024 * 1024)));
    while (body.size() < length) {
        if (available() == 0 && fill(std::min<qint64>(kBodyReadSize, length - body.size())) <= 0)
            return false; // closed or failed before the announced length arrived
        const qsizetype take = qsizetype(std::min<qint64>(length - body.size(), available()));
        body.append(data(), take);
        consume(take);
    }
    return true;
}

bool ResponseReader::readToClose(QByteArray &body)
{
    for (;;) {
        if (available() > 0) {
            if (available() > m_budget.limits.maxBodyBytes - body.size())
                return false;
            body.append(data(), available());
            consume(available());
        }
        // A receive error or time-out ends the body just as a close does.
        if (fill(kBodyReadSize) <= 0)
            return true;
    }
}

void ResponseReader::consume(qsizetype n)
{
    m_pos += n;
    if (m_pos == m_buf.size()) {
        m_buf.clear();
        m_pos = 0;
    } else if (m_pos > 64 * 1024) {
        m_buf.remove(0, m_pos);
        m_pos = 0;
    }
}

// Appends up to `max` bytes: the count, 0 when the peer closed, -1 on error
// or time-out (of this read, or of the whole call).
qsizetype ResponseReader::fill(qsizetype max)
{
    if (m_budget.left() <= 0) {
        m_expired = true;
        return -1;
    }
    const qsizetype old = m_buf.size();
    m_buf.resize(old + max);
    const qsizetype n = m_conn.receive(m_buf.data() + old, max, m_budget.receiveMs());
    m_buf.resize(old + std::max<qsizetype>(n, 0));
    if (n < 0 && m_budget.left() <= 0)
        m_expired = true;
    if (n > 0 && m_trace)
        m_trace(false, m_buf.constData() + old, n);
    return n;
}

// Finds `needle` at or after `from` bytes past the read position; -1 when absent.
qsizetype ResponseReader::findFrom(const char *needle, qsizetype from) const
{
    const qsizetype i = m_buf.indexOf(needle, m_pos + from);
    return i < 0 ? -1 : i - m_pos;
}

// One CR LF terminated line (returned without it), reading more as needed.
bool ResponseReader::readLine(qsizetype maxLength, std::string &line)
{
    qsizetype searched = 0;
    for (;;) {
        const qsizetype eol = findFrom("\r\n", std::max<qsizetype>(searched - 1, 0));
        if (eol >= 0) {
            line.assign(data(), size_t(eol));
            consume(eol + 2);
            return true;
        }
        searched = available();
        if (searched > maxLength + 1)
            return false;
        if (fill(kBodyReadSize) <= 0)
            return false;
    }
}

} // namespace quillora::service::http
