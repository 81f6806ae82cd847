// The fuzz input is what a server sends back: the first byte picks how many
// bytes each receive hands over (1 to 16, to move the read boundaries), the
// rest is the response stream. It goes through HttpTransport::post() over an
// in-memory connection, and straight into the head and chunk parsers.
#include "http_response.h"
#include "http_transport.h"
#include "http_url.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

using namespace quillora::service;

namespace {

struct Stream {
    const char *data;
    size_t size;
    size_t at = 0;
    size_t piece;
};

class FuzzConnection : public HttpConnection {
  public:
    explicit FuzzConnection(std::shared_ptr<Stream> s) : m_s(std::move(s)) {}
    bool sendAll(const char *, qsizetype, int) override { return true; }
    qsizetype receive(char *buffer, qsizetype max, int) override
    {
        const size_t n = std::min({size_t(max), m_s->piece, m_s->size - m_s->at});
        std::memcpy(buffer, m_s->data + m_s->at, n);
        m_s->at += n;
        return qsizetype(n);
    }

  private:
    std::shared_ptr<Stream> m_s;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string_view input(reinterpret_cast<const char *>(data) + 1, size - 1);

    // The pure parsers on their own.
    const auto eol = input.find("\r\n");
    int status = 0;
    http::parseStatusLine(input.substr(0, eol), status);
    HttpHeaders headers;
    std::vector<http::HeaderField> fields;
    http::parseHeaderBlock(eol == std::string_view::npos ? input : input.substr(eol + 2), headers, &fields);
    qint64 chunk = 0;
    http::parseChunkSizeLine(input.substr(0, eol), chunk);
    HttpUrl base;
    HttpUrl::parse("http://fuzz.test/svc", base);
    HttpUrl target;
    http::resolveLocation(base, input.substr(0, eol), target);

    // The whole exchange; redirects continue on the same stream.
    auto stream = std::make_shared<Stream>(Stream{input.data(), input.size(), 0, size_t(data[0] % 16) + 1});
    HttpLimits limits;
    limits.maxBodyBytes = 1 << 20;
    limits.maxHeadBytes = 1 << 16;
    HttpTransport transport(limits);
    transport.setEndpoint("http://fuzz.test/svc");
    transport.setConnectionFactory([stream](const HttpUrl &) { return std::make_unique<FuzzConnection>(stream); });
    const HttpExchange ex = transport.post("http://fuzz.test/Services/VarnelServices/Op", "<x/>");
    if (ex.status == -1 && (ex.accepted || !ex.body.isEmpty()))
        __builtin_trap(); // a failed exchange carries nothing
    if (ex.body.size() > limits.maxBodyBytes)
        __builtin_trap();
    return 0;
}
