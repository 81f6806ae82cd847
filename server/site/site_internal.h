// Pieces shared by the site's page handlers.
#pragma once

#include "html.h"
#include "site.h"

#include <httplib.h>

#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace varnel::site {

// Signed-in moderators of the admin pages, by session token.
class ModeratorSessions {
  public:
    struct Session {
        int memberId = 0;
        std::string userName;
        std::string formToken; // must come back with every form the session posts
        std::int64_t expires = 0;
    };

    // A new session; returns its token.
    std::string open(int memberId, const std::string &userName);
    std::optional<Session> find(const std::string &token);
    void close(const std::string &token);

  private:
    std::mutex mutex_;
    std::unordered_map<std::string, Session> sessions_;
};

struct SiteContext {
    SiteContext(CommunityStore &s, SiteOptions o) : store(s), options(std::move(o)) {}
    CommunityStore &store;
    SiteOptions options;
    ModeratorSessions moderators;
};

// A random hexadecimal token of 32 characters.
std::string randomToken();

// A positive decimal number with nothing around it; nothing otherwise.
std::optional<int> parsePositive(const std::string &text);

// Sends a whole page (text/html; charset=utf-8) with the given status.
void sendPage(httplib::Response &res, int status, const PageFrame &frame);
// A short page with a heading and one notice: 403 refusals, 404s, 400s.
void sendNotice(httplib::Response &res, int status, const std::string &title, const std::string &message,
                const std::string &zoneName = {});

// Wraps a page handler: when the storage fails (it throws), the visitor gets a
// plain 500 page instead of cpp-httplib's default, which would put the
// error's text in a response header.
template <typename Handler> auto guarded(Handler handler)
{
    return [handler](const httplib::Request &req, httplib::Response &res) {
        try {
            handler(req, res);
        } catch (const std::exception &) {
            res.headers.clear();
            sendNotice(res, 500, "Temporarily unavailable",
                       "The community cannot show this page right now. Please try again in a moment.");
        }
    };
}

// Routes of the moderators' pages (admin.cpp) and of the fixed pages (static_pages.cpp).
void registerAdminPages(httplib::Server &server, const std::shared_ptr<SiteContext> &ctx);
void registerStaticPages(httplib::Server &server, const std::shared_ptr<SiteContext> &ctx);

// "/Varnel/Web/ShowSoftPost.aspx?PostID=..." for a question, with the member's
// credentials percent-encoded when given.
std::string questionPageLink(int postID, int column, const std::optional<std::pair<int, std::string>> &member);

} // namespace varnel::site
