#include "http_response.h"

#include "http_internal.h"

#include <algorithm>

namespace quillora::service {

bool CaseInsensitiveLess::operator()(const std::string &a, const std::string &b) const
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const char x = http::lower(a[i]);
        const char y = http::lower(b[i]);
        if (x != y)
            return (unsigned char)x < (unsigned char)y;
    }
    return a.size() < b.size();
}

namespace http {

bool parseStatusLine(std::string_view line, int &status)
{
    size_t i = 0;
    while (i < line.size() && !isSpace(line[i]))
        ++i;
    while (i < line.size() && isSpace(line[i]))
        ++i;
    if (i >= line.size() || !isDigit(line[i]))
        return false;
    int code = 0;
    for (int digits = 0; i < line.size() && isDigit(line[i]); ++i, ++digits) {
        if (digits == 9)
            return false;
        code = code * 10 + (line[i] - '0');
    }
    status = code;
    return true;
}

void addHeader(HttpHeaders &headers, const std::string &name, const std::string &value)
{
    auto [it, inserted] = headers.try_emplace(name, value);
    if (!inserted) {
        it->second += ',';
        it->second += value;
    }
}

namespace {

bool parseHeaderLine(std::string_view line, HttpHeaders &headers, std::vector<HeaderField> *fields)
{
    const auto colon = line.find(':');
    if (colon == std::string_view::npos)
        return true;
    const std::string_view name = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    // Blanks after the colon are skipped; the value is the rest of the line,
    // blanks at its end included ("chunked " is not "chunked").
    while (!value.empty() && isSpace(value.front()))
        value.remove_prefix(1);
    if (qsizetype(name.size()) > maxHeaderNameLength || qsizetype(value.size()) > maxHeaderValueLength)
        return false;
    if (name.empty())
        return true;
    std::string n(name);
    std::string v(value);
    addHeader(headers, n, v);
    if (fields)
        fields->push_back({std::move(n), std::move(v)});
    return true;
}

} // namespace

bool parseHeaderBlock(std::string_view block, HttpHeaders &headers, std::vector<HeaderField> *fields)
{
    std::string logical;
    bool pending = false;
    while (!block.empty()) {
        const auto eol = block.find("\r\n");
        const std::string_view line = block.substr(0, eol);
        block = eol == std::string_view::npos ? std::string_view() : block.substr(eol + 2);
        if (!line.empty() && isSpace(line.front())) {
            // A folded line continues the previous one, joined by one space.
            // One before any header belongs to nothing and is dropped.
            if (pending) {
                logical += ' ';
                logical += trimmed(line);
                // Any longer and the value is over its limit anyway.
                if (qsizetype(logical.size()) > maxHeaderNameLength + maxHeaderValueLength + 2)
                    return false;
            }
            continue;
        }
        if (pending && !parseHeaderLine(logical, headers, fields))
            return false;
        logical.assign(line);
        pending = !line.empty();
    }
    return !pending || parseHeaderLine(logical, headers, fields);
}

bool parseChunkSizeLine(std::string_view line, qint64 &size)
{
    if (line.empty())
        return false;
    qint64 value = 0;
    int significant = 0;
    for (const char c : line) {
        int digit;
        if (isDigit(c))
            digit = c - '0';
        else if (lower(c) >= 'a' && lower(c) <= 'f')
            digit = lower(c) - 'a' + 10;
        else
            return false;
        if (value != 0 || digit != 0) {
            if (++significant > 15)
                return false;
        }
        value = value * 16 + digit;
    }
    size = value;
    return true;
}

bool isAcceptedStatus(int status)
{
    return (status >= 200 && status <= 206) || status == 304 || status == 305;
}

} // namespace http

} // namespace quillora::service
