// The plain-HTTP port of a site served over HTTPS. A page asked for there is
// sent to the same address on the HTTPS site (301). Anything else (a SOAP
// call, a form) is refused with its body unread: it has already crossed the
// network in clear, and acting on it would teach a misconfigured client
// that this is fine.
#pragma once

#include <httplib.h>

#include <string>

namespace varnel::tls {

struct PlainHttpPort {
    std::string httpsBase;    // "https://host[:port]", where pages move to
    std::string servicePath;  // the SOAP endpoint, refused with `serviceFault`
    std::string serviceFault; // a SOAP fault envelope saying where the service is
};

// Answers one request on the plain port, always with "Connection: close" (a
// body the request carries is never read). True when it was refused rather
// than redirected.
bool answerPlainHttp(const httplib::Request &req, httplib::Response &res, const PlainHttpPort &port);

} // namespace varnel::tls
