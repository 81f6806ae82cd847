// Request heads (and the body after them) from the network, into
// varnel-server's framing rules. The head scanner finds the same end and the
// same verdict whether the bytes come at once or a few at a time, ends a head
// at its first empty line and never past its caps, and the several-ranges
// rename touches only the first letter of a Range line. Whatever the rules
// let through carries exactly one plain, declared length within the body cap
// and no transfer or content coding; a body let through goes on into the
// endpoint with a caller address.
#include "request_framing.h"
#include "sqlite_community_store.h"
#include "varnel_service.h"

#include <algorithm>
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

// The scanner over `input` with small caps (so that inputs reach them), fed
// whole and a few bytes at a time: both agree, and what they found holds.
void checkScanner(const std::string &input)
{
    const varnel::HeadLimits limits{256, 8, 32};
    varnel::HeadScanner whole(limits);
    const size_t takenWhole = whole.feed(input.data(), input.size());
    varnel::HeadScanner pieces(limits);
    size_t takenPieces = 0;
    for (size_t at = 0, step = 1; at < input.size(); at += step, step = step % 7 + 1)
        takenPieces += pieces.feed(input.data() + at, std::min(step, input.size() - at));
    // (A head refused early may be refused a few bytes sooner in pieces.)
    const bool refused = whole.state() == varnel::HeadScanner::State::TooLarge ||
                         whole.state() == varnel::HeadScanner::State::TargetTooLong;
    if (whole.state() != pieces.state() || (!refused && whole.bytes() != pieces.bytes()) ||
        takenWhole != whole.bytes() || takenPieces != pieces.bytes() || whole.bytes() > limits.bytes)
        std::abort();
    const size_t end = input.find("\n\r\n");
    switch (whole.state()) {
    case varnel::HeadScanner::State::Complete: {
        if (end != whole.bytes() - 3)
            std::abort();
        std::string head = input.substr(0, whole.bytes());
        varnel::disarmSeveralRanges(head.data(), head.size());
        size_t line = 0;
        for (size_t i = 0; i < head.size(); ++i) {
            if (head[i] != input[i] && !(i == line && head[i] == 'X' && (input[i] == 'R' || input[i] == 'r')))
                std::abort();
            if (head[i] == '\n' || i + 1 == head.size()) {
                const std::string text = head.substr(line, i + 1 - line);
                if (text.size() > 6 && strncasecmp(text.data(), "range:", 6) == 0 &&
                    (text.size() > 65 || text.find(',') != std::string::npos))
                    std::abort();
                line = i + 1;
            }
        }
        break;
    }
    case varnel::HeadScanner::State::Incomplete:
        // (A head may reach its cap exactly and still wait: one byte more refuses it.)
        if (whole.bytes() != input.size() || input.size() > limits.bytes || end != std::string::npos)
            std::abort();
        break;
    case varnel::HeadScanner::State::TooLarge:
    case varnel::HeadScanner::State::TargetTooLong:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    checkScanner(input);
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
