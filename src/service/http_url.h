// The addresses the HTTP transport posts to: http and https URLs, and the
// targets of the redirects it follows.
#pragma once

#include <string>
#include <string_view>

namespace quillora::service {

struct HttpUrl {
    std::string host;
    int port = 80;
    std::string path = "/"; // path and query as written
    bool tls = false;       // https: the connection is TLS, port 443 unless given

    // "http://host[:port][/path[?query]]" or the same with https. A host is
    // required; an empty path becomes "/"; a path or query over 2048
    // characters is refused.
    static bool parse(std::string_view url, HttpUrl &out);
};

namespace http {

// The target of a redirect: an absolute http or https URL, or an absolute
// path on the current host and port. False for anything else, and for an
// http URL after an https one: what was encrypted stays encrypted.
bool resolveLocation(const HttpUrl &current, std::string_view location, HttpUrl &out);

} // namespace http

} // namespace quillora::service
