// Request heads (and the body after them) from the network, into
// varnel-server's framing rules: whatever they let through carries exactly
// one plain, declared length within the body cap and no transfer or content
// coding; a body let through goes on into the endpoint with a caller address.
#include "request_framing.h"
#include "sqlite_community_store.h"
#include "varnel_service.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <strings.h>

namespace {

varnel::VarnelService &service()
{
    static std::unique_ptr<varnel::SqliteCommunityStore> store = [] {
        std::string dir = (std::filesystem::temp_directory_path() / "fuzz-head-XXXXXX").string();
        if (!mkdtemp(dir.data()))
            std::abort();
        varnel::CommunitySettings settings;
        settings.durable = false;
        std::string error;
        auto s = varnel::SqliteCommunityStore::open(dir + "/fuzz.db", settings, error);
        if (!s)
            std::abort();
        return s;
    }();
    static varnel::VarnelService svc(
        *store, {QStringLiteral("127.0.0.1"), quillora::service::compiledServiceAccount(), "/nonexistent"});
    return svc;
}

// The whole name, ignoring ASCII case, as the library's header map compares
// (a name with a NUL byte inside is another name).
bool caseEqual(const std::string &a, const char *b)
{
    return a.size() == std::strlen(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    const size_t headEnd = input.find("\r\n\r\n");
    const std::string head = input.substr(0, headEnd);
    const std::string body = headEnd == std::string::npos ? std::string() : input.substr(headEnd + 4);

    // Request line, then "Name: value" lines, as the HTTP library reads them.
    httplib::Request req;
    size_t pos = 0;
    bool first = true;
    while (pos <= head.size()) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string::npos)
            end = head.size();
        const std::string line = head.substr(pos, end - pos);
        pos = end + 2;
        if (first) {
            req.method = line.substr(0, line.find(' '));
            first = false;
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            continue;
        const size_t valueStart = line.find_first_not_of(" \t", colon + 1);
        req.headers.emplace(line.substr(0, colon),
                            valueStart == std::string::npos ? std::string() : line.substr(valueStart));
    }

    const auto refusal = varnel::refuseFraming(req);
    if (refusal) {
        if (refusal->status < 400 || refusal->status > 499 || refusal->text.empty())
            std::abort();
        return 0;
    }
    int lengths = 0;
    for (const auto &[name, value] : req.headers) {
        if (caseEqual(name, "Transfer-Encoding") || caseEqual(name, "Content-Encoding"))
            std::abort();
        if (caseEqual(name, "Content-Length")) {
            ++lengths;
            if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos ||
                std::stoull(value) > varnel::kMaxRequestBody)
                std::abort();
        }
    }
    if (lengths > 1 || (req.method == "POST" && lengths != 1))
        std::abort();
    if (req.method == "POST") {
        const size_t declared = std::stoull(req.get_header_value("Content-Length"));
        const std::string taken = body.substr(0, declared);
        const varnel::ServiceAnswer answer =
            service().handle(QByteArray(taken.data(), static_cast<qsizetype>(taken.size())), "127.0.0.2");
        if (answer.httpStatus != 200 && answer.httpStatus != 500)
            std::abort();
    }
    return 0;
}
