#include "request_framing.h"

namespace varnel {

std::optional<FramingRefusal> refuseFraming(const httplib::Request &req)
{
    if (req.has_header("Transfer-Encoding"))
        return FramingRefusal{411, "Transfer-Encoding is not accepted; send the body with a Content-Length."};
    if (req.has_header("Content-Encoding"))
        return FramingRefusal{415, "Content-Encoding is not accepted; send the body as it is."};
    if (req.has_header("Content-Length")) {
        if (req.get_header_value_count("Content-Length") != 1)
            return FramingRefusal{400, "Content-Length is given more than once."};
        const std::string value = req.get_header_value("Content-Length");
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
