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

// A route's handler for a page of the form page(req, res, ctx), guarded.
template <typename Page> auto contextPage(const std::shared_ptr<SiteContext> &ctx, Page page)
{
    return guarded([ctx, page](const httplib::Request &req, httplib::Response &res) { page(req, res, *ctx); });
}

// Each room of the site registers its routes; registerSite() calls them.
void registerFiles(httplib::Server &server, const std::shared_ptr<SiteContext> &ctx);         // files.cpp
void registerQuestionPages(httplib::Server &server, const std::shared_ptr<SiteContext> &ctx); // question_pages.cpp
void registerClosePage(httplib::Server &server, const std::shared_ptr<SiteContext> &ctx);     // close_page.cpp
void registerAnnouncePage(httplib::Server &server, const std::shared_ptr<SiteContext> &ctx);  // announce_page.cpp
void registerAdminPages(httplib::Server &server, const std::shared_ptr<SiteContext> &ctx);    // admin.cpp
void registerStaticPages(httplib::Server &server, const std::shared_ptr<SiteContext> &ctx);   // static_pages.cpp

// ---- a member on the pages (member_sign_in.cpp)

// Checks USRID/USRPSW. With `required`, missing credentials are refused too.
// Returns false when a refusal page was sent; `member` is set when they were
// given and correct.
bool signInFromQuery(const httplib::Request &req, SiteContext &ctx, bool required, std::optional<Member> &member,
                     httplib::Response &res);
// The member's user ID and password, for links that act for him.
std::optional<std::pair<int, std::string>> credentialsOf(const std::optional<Member> &m);
// "USRID=...&USRPSW=..." with the password percent-encoded.
std::string memberQuery(const Member &m);
// "/Varnel/Web/ShowSoftPost.aspx?PostID=..." for a question, with the member's
// credentials percent-encoded when given.
std::string questionPageLink(int postID, int column, const std::optional<std::pair<int, std::string>> &member);

// ---- questions as the pages show them (question_pages.cpp)

// The name of the zone a column belongs to; empty for no column.
std::string zoneNameOf(int column);
// The nickname, with the user name after it when they differ (HTML).
std::string memberLabel(const std::string &nick, const std::string &userName);
// The question with its answers, as every question page shows it (HTML).
std::string renderQuestion(const Question &q, bool showAwards, bool withAnswers = true);
// The question the request's PostID names; a not-found page is sent when
// there is none.
std::optional<Question> questionFromQuery(const httplib::Request &req, SiteContext &ctx, httplib::Response &res);

} // namespace varnel::site
