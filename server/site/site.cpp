// The site: the helpers every page shares, and the routes of its rooms.
#include "site_internal.h"

#include <random>

namespace varnel::site {

std::string randomToken()
{
    std::random_device device; // the kernel's random source
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < 4; ++i) {
        std::uint64_t v = (static_cast<std::uint64_t>(device()) << 32) ^ device();
        for (int k = 0; k < 8; ++k) {
            out += kHex[v & 0xF];
            v >>= 4;
        }
    }
    return out;
}

std::optional<int> parsePositive(const std::string &text)
{
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    long long v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > 2147483647LL)
        return std::nullopt;
    return static_cast<int>(v);
}

void sendPage(httplib::Response &res, int status, const PageFrame &frame)
{
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_content(renderPage(frame), "text/html; charset=utf-8");
}

void sendNotice(httplib::Response &res, int status, const std::string &title, const std::string &message,
                const std::string &zoneName)
{
    const char *kind = status >= 400 ? "error" : "info";
    std::string body = "<h1>" + escapeHtml(title) + "</h1>\n<div class=\"notice " + kind + "\">" + escapeHtml(message) +
                       "</div>\n<p><a href=\"/\">Community home</a></p>";
    sendPage(res, status, {title, zoneName, body});
}

void registerSite(httplib::Server &server, varnel::CommunityStore &store, const SiteOptions &options)
{
    auto ctx = std::make_shared<SiteContext>(store, options);
    registerFiles(server, ctx);
    registerQuestionPages(server, ctx);
    registerClosePage(server, ctx);
    registerAnnouncePage(server, ctx);
    registerAdminPages(server, ctx);
    registerStaticPages(server, ctx);
}

} // namespace varnel::site
