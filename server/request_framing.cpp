#include "request_framing.h"

#include <cstring>
#include <iterator>
#include <strings.h>

namespace varnel {

size_t HeadScanner::feed(const char *data, size_t size)
{
    size_t taken = 0;
    // The request line: its target runs from the first space to the next,
    // and may not pass its cap (the method before it and the version after
    // it are short).
    if (m_lines == 0 && m_state == State::Incomplete && size > 0) {
        const char *start = data;
        const size_t span = std::min(size, m_limits.bytes - m_bytes);
        const char *eol = static_cast<const char *>(std::memchr(start, '\n', span));
        const size_t length = eol ? static_cast<size_t>(eol - start) + 1 : span;
        for (const char *at = start; m_spaces < 2;) {
            at = static_cast<const char *>(std::memchr(at, ' ', length - static_cast<size_t>(at - start)));
            if (!at)
                break;
            ++at;
            (++m_spaces == 1 ? m_targetStart : m_targetEnd) = m_bytes + static_cast<size_t>(at - start);
        }
        m_bytes += length;
        taken = length;
        m_last = start[length - 1];
        const size_t target = m_spaces == 0   ? 0
                              : m_spaces == 1 ? m_bytes - m_targetStart
                                              : m_targetEnd - 1 - m_targetStart;
        if (target > m_limits.target) {
            m_state = State::TargetTooLong;
        } else if (eol) {
            m_lines = 1;
            m_lineStart = m_bytes;
        } else if (m_bytes >= m_limits.bytes) {
            m_state = State::TooLarge;
        }
    }
    while (m_state == State::Incomplete && taken < size) {
        const size_t room = m_limits.bytes - m_bytes;
        const size_t span = std::min(size - taken, room);
        const char *at = span ? static_cast<const char *>(std::memchr(data + taken, '\n', span)) : nullptr;
        if (!at) {
            m_bytes += span;
            taken += span;
            if (span > 0)
                m_last = data[taken - 1];
            if (m_bytes >= m_limits.bytes)
                m_state = State::TooLarge;
            break;
        }
        const size_t step = static_cast<size_t>(at - (data + taken)) + 1;
        const char before = step >= 2 ? data[taken + step - 2] : m_last;
        m_bytes += step;
        taken += step;
        m_last = '\n';
        const bool empty = m_bytes - m_lineStart == 2 && before == '\r';
        m_lineStart = m_bytes;
        if (m_lines > 0 && empty) {
            m_state = State::Complete;
        } else if (++m_lines > m_limits.lines + 1) {
            m_state = State::TooLarge;
        } else if (m_bytes >= m_limits.bytes) {
            m_state = State::TooLarge;
        }
    }
    return taken;
}

void HeadScanner::reset()
{
    m_state = State::Incomplete;
    m_bytes = 0;
    m_lineStart = 0;
    m_lines = 0;
    m_spaces = 0;
    m_targetStart = m_targetEnd = 0;
    m_last = 0;
}

std::optional<FramingRefusal> refuseFraming(const httplib::Request &req)
{
    if (req.has_header("Transfer-Encoding"))
        return FramingRefusal{411, "Transfer-Encoding is not accepted; send the body with a Content-Length."};
    if (req.has_header("Content-Encoding"))
        return FramingRefusal{415, "Content-Encoding is not accepted; send the body as it is."};
    const auto lengths = req.headers.equal_range("Content-Length");
    if (lengths.first != lengths.second) {
        if (std::next(lengths.first) != lengths.second)
            return FramingRefusal{400, "Content-Length is given more than once."};
        // The value as it came: the library's own reader stops at a NUL byte.
        const std::string &value = lengths.first->second;
        if (value.empty() || value.size() > 12 || value.find_first_not_of("0123456789") != std::string::npos)
            return FramingRefusal{400, "Content-Length is not a number."};
        if (std::stoull(value) > kMaxRequestBody)
            return FramingRefusal{413, "The request body is larger than 1 MiB."};
    } else if (req.method == "POST" || req.method == "PUT" || req.method == "PATCH") {
        return FramingRefusal{411, "A request body needs a Content-Length."};
    }
    return std::nullopt;
}

void disarmSeveralRanges(char *head, size_t size)
{
    // "Range: bytes=" and two 19-digit positions fit well within this.
    constexpr size_t kMaxRangeLine = 64;
    char *line = head;
    char *const end = head + size;
    while (line < end) {
        char *eol = static_cast<char *>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
        if (!eol)
            eol = end;
        const size_t length = static_cast<size_t>(eol - line);
        if (length > 6 && (line[0] == 'R' || line[0] == 'r') && strncasecmp(line, "range:", 6) == 0 &&
            (length > kMaxRangeLine || std::memchr(line + 6, ',', length - 6)))
            line[0] = 'X';
        line = eol + 1;
    }
}

void limitRanges(httplib::Request &req)
{
    if (req.ranges.size() > 1 || (req.method != "GET" && req.method != "HEAD"))
        req.ranges.clear();
}

} // namespace varnel
