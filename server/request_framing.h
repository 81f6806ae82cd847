// What the server takes as a request body: only one sent as it is, with one
// declared length of at most the body cap. The library enforces the cap only
// on a declared length, and a body the server had to unpack could grow past
// any cap, so anything else is refused before the body is read.
#pragma once

#include <httplib.h>

#include <cstddef>
#include <optional>
#include <string>

namespace varnel {

inline constexpr size_t kMaxRequestBody = 1024 * 1024;

struct FramingRefusal {
    int status = 400;
    std::string text;
};

std::optional<FramingRefusal> refuseFraming(const httplib::Request &req);

} // namespace varnel
