#include "request_framing.h"

#include <iterator>

namespace varnel {

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

} // namespace varnel
