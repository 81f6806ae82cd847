#include "answer_compression.h"

#include <brotli/encode.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <strings.h>

namespace varnel {

namespace {

// Measured on the WSDL (41 KB), the style sheet and a 2.3 MB question page:
// brotli at quality 4 and gzip at level 4 cost about what writing the answer
// costs, and lose a few percent of size to their slowest levels.
constexpr int kBrotliQuality = 4;
constexpr int kBrotliWindow = 20;
constexpr int kGzipLevel = 4;

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// "q=0", "q=0.0", "q=0.000": the coding is refused.
bool refused(std::string_view params)
{
    while (!params.empty()) {
        const size_t semicolon = params.find(';');
        const std::string_view param = trimmed(params.substr(0, semicolon));
        params = semicolon == std::string_view::npos ? std::string_view() : params.substr(semicolon + 1);
        if (param.size() < 2 || (param[0] != 'q' && param[0] != 'Q') || param[1] != '=')
            continue;
        const std::string_view value = trimmed(param.substr(2));
        return !value.empty() && value[0] == '0' && value.find_first_not_of("0.", 1) == std::string_view::npos;
    }
    return false;
}

bool compressibleType(const std::string &type)
{
    return type.rfind("text/", 0) == 0 || type.rfind("application/xml", 0) == 0 ||
           type.rfind("application/json", 0) == 0 || type.rfind("application/javascript", 0) == 0 ||
           type.rfind("image/svg+xml", 0) == 0;
}

bool brotli(const std::string &in, std::string &out)
{
    size_t size = BrotliEncoderMaxCompressedSize(in.size());
    if (size == 0)
        return false;
    out.resize(size);
    if (!BrotliEncoderCompress(kBrotliQuality, kBrotliWindow, BROTLI_MODE_TEXT, in.size(),
                               reinterpret_cast<const uint8_t *>(in.data()), &size,
                               reinterpret_cast<uint8_t *>(out.data())))
        return false;
    out.resize(size);
    return true;
}

bool gzip(const std::string &in, std::string &out)
{
    z_stream stream{};
    // 16 + 15: a gzip wrapper around a 32 KB window.
    if (deflateInit2(&stream, kGzipLevel, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.resize(deflateBound(&stream, static_cast<uLong>(in.size())) + 32);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
    stream.avail_in = static_cast<uInt>(in.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return rc == Z_STREAM_END;
}

} // namespace

Coding preferredCoding(std::string_view acceptEncoding)
{
    bool brotliOk = false;
    bool gzipOk = false;
    bool brotliNamed = false;
    bool gzipNamed = false;
    std::optional<bool> any;
    while (!acceptEncoding.empty()) {
        const size_t comma = acceptEncoding.find(',');
        const std::string_view item = acceptEncoding.substr(0, comma);
        acceptEncoding = comma == std::string_view::npos ? std::string_view() : acceptEncoding.substr(comma + 1);
        const size_t semicolon = item.find(';');
        const std::string_view name = trimmed(item.substr(0, semicolon));
        const bool ok = semicolon == std::string_view::npos || !refused(item.substr(semicolon + 1));
        if (equalsIgnoringCase(name, "br")) {
            brotliNamed = true;
            brotliOk = ok;
        } else if (equalsIgnoringCase(name, "gzip") || equalsIgnoringCase(name, "x-gzip")) {
            gzipNamed = true;
            gzipOk = ok;
        } else if (name == "*") {
            any = ok;
        }
    }
    if (any) {
        brotliOk = brotliNamed ? brotliOk : *any;
        gzipOk = gzipNamed ? gzipOk : *any;
    }
    return brotliOk ? Coding::Brotli : gzipOk ? Coding::Gzip : Coding::Identity;
}

void compressAnswer(Coding coding, const httplib::Request &req, httplib::Response &res)
{
    if (res.status != 200 || res.body.size() < kMinCompressedAnswer || !req.ranges.empty())
        return;
    // Caches keep the forms of a page apart (answers to POST are not kept).
    const bool cacheable = req.method == "GET" || req.method == "HEAD";
    if (coding == Coding::Identity && !cacheable)
        return;
    // One pass over the answer's few headers, their lengths compared first.
    const std::string *type = nullptr;
    bool vary = false;
    for (const auto &[name, value] : res.headers) {
        if (name.size() == 12 && strcasecmp(name.c_str(), "Content-Type") == 0)
            type = &value;
        else if (name.size() == 16 && strcasecmp(name.c_str(), "Content-Encoding") == 0)
            return; // already in a coding of its handler's
        else if (name.size() == 4 && strcasecmp(name.c_str(), "Vary") == 0)
            vary = true;
    }
    if (!type || !compressibleType(*type))
        return;
    if (cacheable && !vary)
        res.set_header("Vary", "Accept-Encoding");
    if (coding == Coding::Identity)
        return;
    std::string packed;
    const bool done = coding == Coding::Brotli ? brotli(res.body, packed) : gzip(res.body, packed);
    if (!done || packed.size() >= res.body.size())
        return;
    res.body.swap(packed);
    res.set_header("Content-Encoding", coding == Coding::Brotli ? "br" : "gzip");
    res.headers.erase("Content-Length");
    res.set_header("Content-Length", std::to_string(res.body.size()));
}

} // namespace varnel
