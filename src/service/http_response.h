// The text of an HTTP response taken apart: the status line, header lines
// (and trailer lines, which have the same form) and chunk-size lines. Pure,
// so that they can be tested and fuzzed on their own.
#pragma once

#include <QtGlobal>

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quillora::service {

// Header names compared without regard to case.
struct CaseInsensitiveLess {
    bool operator()(const std::string &a, const std::string &b) const;
};
// A header received more than once holds its values joined by a comma.
using HttpHeaders = std::map<std::string, std::string, CaseInsensitiveLess>;

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

} // namespace http

} // namespace quillora::service
