#include "https_redirect.h"

#include <algorithm>

namespace varnel::tls {

namespace {

// The request's path and query as sent, when they can be repeated in a
// Location header as they are: an origin-form target of visible ASCII.
// Anything else (an absolute-form target, control or non-ASCII bytes) goes
// to the site's root.
std::string samePlace(const std::string &target)
{
    constexpr size_t kMaxTarget = 8192;
    const bool repeatable = !target.empty() && target.front() == '/' && target.size() <= kMaxTarget &&
                            std::all_of(target.begin(), target.end(), [](char c) { return c > 0x20 && c < 0x7f; });
    return repeatable ? target : std::string("/");
}

} // namespace

bool answerPlainHttp(const httplib::Request &req, httplib::Response &res, const PlainHttpPort &port)
{
    // Browsers come here once and go on at the HTTPS site.
    res.set_header("Connection", "close");
    if (req.method == "GET" || req.method == "HEAD") {
        const std::string location = port.httpsBase + samePlace(req.target);
        res.set_redirect(location, 301);
        res.set_content("This site is served over HTTPS: " + location + "\n", "text/plain; charset=utf-8");
        return false;
    }
    if (req.path == port.servicePath) {
        res.status = 500;
        res.set_content(port.serviceFault, "text/xml; charset=utf-8");
    } else {
        res.status = 403;
        res.set_content("This site takes requests over HTTPS only: " + port.httpsBase + samePlace(req.path) + "\n",
                        "text/plain; charset=utf-8");
    }
    return true;
}

} // namespace varnel::tls
