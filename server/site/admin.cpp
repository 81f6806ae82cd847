// The moderators' entry: sign-in with a session cookie, and the form that
// posts announcements to a zone.
#include "site_internal.h"

#include "catalogue.h"
#include "community_rules.h"

#include <algorithm>
#include <chrono>

namespace varnel::site {
namespace {

constexpr char kCookie[] = "VarnelModerator";
constexpr std::int64_t kSessionSeconds = 8 * 3600;
constexpr size_t kMaxSessions = 1000;
constexpr size_t kMaxTitle = 200;
constexpr size_t kMaxTarget = 500;
constexpr size_t kMaxBody = 8000;

std::int64_t nowSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string cookieValue(const httplib::Request &req, const std::string &name)
{
    const std::string header = req.get_header_value("Cookie");
    size_t pos = 0;
    while (pos < header.size()) {
        size_t end = header.find(';', pos);
        if (end == std::string::npos)
            end = header.size();
        std::string item = header.substr(pos, end - pos);
        const size_t first = item.find_first_not_of(' ');
        item = first == std::string::npos ? std::string() : item.substr(first);
        if (item.rfind(name + "=", 0) == 0)
            return item.substr(name.size() + 1);
        pos = end + 1;
    }
    return {};
}

std::optional<ModeratorSessions::Session> currentSession(const httplib::Request &req, SiteContext &ctx)
{
    const std::string token = cookieValue(req, kCookie);
    if (token.empty())
        return std::nullopt;
    auto session = ctx.moderators.find(token);
    if (!session)
        return std::nullopt;
    // The member's role is read again on every request: a moderator who was
    // demoted or removed loses the pages at once.
    const auto member = ctx.store.memberById(session->memberId);
    if (!member || member->role >= RoleExpert) {
        ctx.moderators.close(token);
        return std::nullopt;
    }
    return session;
}

std::string loginForm(const std::string &error, const std::string &userName)
{
    std::string out = "<h1>Moderators&rsquo; entry</h1>\n";
    if (!error.empty())
        out += "<div class=\"notice error\">" + escapeHtml(error) + "</div>\n";
    out += "<form method=\"post\" action=\"/Varnel/Web/Admin/login.aspx\" class=\"card\">\n"
           "<div class=\"row\"><label for=\"u\">User name</label><input type=\"text\" id=\"u\" name=\"UserName\" "
           "value=\"" +
           escapeHtml(userName) +
           "\" autocomplete=\"username\" required></div>\n"
           "<div class=\"row\"><label for=\"p\">Password</label><input type=\"password\" id=\"p\" name=\"Password\" "
           "autocomplete=\"current-password\" required></div>\n"
           "<div class=\"row\"><button type=\"submit\">Sign in</button></div>\n</form>\n"
           "<p class=\"meta\">Only administrators and moderators can sign in here.</p>\n";
    return out;
}

struct AnnouncementDraft {
    int zone = 1;
    int kind = 0;
    std::string title, target, body;
};

std::string option(int value, int selected, std::string_view label)
{
    return "<option value=\"" + std::to_string(value) + "\"" + (value == selected ? " selected" : "") + ">" +
           escapeHtml(label) + "</option>";
}

std::string dashboard(SiteContext &ctx, const ModeratorSessions::Session &session, const AnnouncementDraft &draft,
                      const std::string &error, const std::string &success)
{
    std::string out = "<h1>Announcements</h1>\n<form method=\"post\" action=\"/Varnel/Web/Admin/logout.aspx\">"
                      "<input type=\"hidden\" name=\"token\" value=\"" +
                      escapeHtml(session.formToken) + "\"><p class=\"meta\">Signed in as " +
                      escapeHtml(session.userName) +
                      " &middot; <button type=\"submit\" class=\"quiet\">Sign out</button></p></form>\n";
    if (!error.empty())
        out += "<div class=\"notice error\">" + escapeHtml(error) + "</div>\n";
    if (!success.empty())
        out += "<div class=\"notice ok\">" + success + "</div>\n";
    out += "<form method=\"post\" action=\"/Varnel/Web/Admin/announce.aspx\" class=\"card\">\n"
           "<input type=\"hidden\" name=\"token\" value=\"" +
           escapeHtml(session.formToken) +
           "\">\n<div class=\"row\"><label for=\"z\">Zone</label><select id=\"z\" "
           "name=\"zone\">";
    for (int z = 1; z <= 4; ++z)
        out += option(z, draft.zone, zoneByNumber(z)->name);
    out += "</select><label for=\"k\">Kind</label><select id=\"k\" name=\"kind\">" +
           option(0, draft.kind, "0 Notice (opens the announcement page)") +
           option(1, draft.kind, "1 News (opens the announcement page)") +
           option(2, draft.kind, "2 Link (opens the address in the browser)") +
           option(3, draft.kind, "3 Featured question (opens the question)") + "</select></div>\n";
    out += "<div class=\"row\"><label for=\"t\">Title</label><input type=\"text\" class=\"wide\" id=\"t\" "
           "name=\"title\" maxlength=\"200\" value=\"" +
           escapeHtml(draft.title) +
           "\" required></div>\n<p class=\"meta\">Title tags: {b}bold{/b}, {i}italic{/i}, {u}underline{/u}, "
           "{sup}, {sub}, {font color=#RRGGBB}colour{/font}.</p>\n"
           "<div class=\"row\"><label for=\"g\">Target</label><input type=\"text\" class=\"wide\" id=\"g\" "
           "name=\"target\" value=\"" +
           escapeHtml(draft.target) +
           "\" placeholder=\"kind 2: http(s) address; kind 3: question number\"></div>\n"
           "<div class=\"row\"><label for=\"b\">Text</label></div><textarea id=\"b\" name=\"body\" "
           "placeholder=\"the announcement page's text (kinds 0 and 1)\">" +
           escapeHtml(draft.body) +
           "</textarea>\n<div class=\"row\"><button type=\"submit\">Post announcement</button></div>\n</form>\n";
    for (int z = 1; z <= 4; ++z) {
        const auto list = ctx.store.announcements(z);
        out += "<h2>" + escapeHtml(std::string(zoneByNumber(z)->name)) + "</h2>\n";
        if (list.empty()) {
            out += "<p class=\"meta\">No announcements.</p>\n";
            continue;
        }
        out += "<div class=\"card\"><ul class=\"plain\">\n";
        for (const Announcement &a : list) {
            out += "<li><a href=\"/Varnel/Web/Announce.aspx?PostID=" + std::to_string(a.id) + "\">" +
                   markupToHtml(a.title, true) + "</a> <span class=\"meta\">kind " + std::to_string(a.kind) + ", " +
                   escapeHtml(varnel::formatTime(a.posted)) + "</span></li>\n";
        }
        out += "</ul></div>\n";
    }
    return out;
}

// The first rule the draft breaks, or empty.
std::string validateDraft(SiteContext &ctx, AnnouncementDraft &d, const httplib::Request &req)
{
    const auto zone = parsePositive(req.get_param_value("zone"));
    const std::string kindText = req.get_param_value("kind");
    d.title = req.get_param_value("title");
    d.target = req.get_param_value("target");
    d.body = req.get_param_value("body");
    if (!zone || *zone > 4)
        return "Choose one of the four zones.";
    d.zone = *zone;
    if (kindText.size() != 1 || kindText[0] < '0' || kindText[0] > '3')
        return "The kind must be 0, 1, 2 or 3.";
    d.kind = kindText[0] - '0';
    const auto trim = [](std::string &s) {
        const size_t b = s.find_first_not_of(" \t\r\n");
        const size_t e = s.find_last_not_of(" \t\r\n");
        s = b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
    };
    trim(d.title);
    trim(d.target);
    if (d.title.empty() || markupToPlain(d.title).empty())
        return "The title is empty.";
    if (std::any_of(d.title.begin(), d.title.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
        return "The title may not hold control characters such as line breaks; use {br} for a new line.";
    if (d.title.size() > kMaxTitle)
        return "The title is longer than " + std::to_string(kMaxTitle) + " characters.";
    if (d.target.size() > kMaxTarget)
        return "The target is longer than " + std::to_string(kMaxTarget) + " characters.";
    if (d.body.size() > kMaxBody)
        return "The text is longer than " + std::to_string(kMaxBody) + " characters.";
    if (d.kind == 2 && !(d.target.rfind("http://", 0) == 0 || d.target.rfind("https://", 0) == 0))
        return "A link needs a target address starting with http:// or https://.";
    if (d.kind == 3) {
        const auto postID = parsePositive(d.target);
        if (!postID || !ctx.store.question(*postID))
            return "A featured question needs the number of an existing question as its target.";
    }
    return {};
}

void loginPage(const httplib::Request &req, httplib::Response &res, SiteContext &ctx)
{
    const auto session = currentSession(req, ctx);
    if (!session) {
        sendPage(res, 200, {"Moderators' entry", "Moderators", loginForm({}, {})});
        return;
    }
    sendPage(res, 200, {"Announcements", "Moderators", dashboard(ctx, *session, {}, {}, {})});
}

void signIn(const httplib::Request &req, httplib::Response &res, SiteContext &ctx)
{
    const std::string userName = req.get_param_value("UserName");
    SignInGuard guard(ctx.store, ctx.options.signIn);
    if (const auto refusal = guard.begin(req.remote_addr, SignInGuard::Account::byUserName(userName))) {
        res.set_header("Retry-After", std::to_string(refusal->seconds));
        sendPage(res, 429,
                 {"Moderators' entry", "Moderators",
                  loginForm(std::string(refusal->byAddress ? "Too many failed sign-ins from this address; "
                                                           : "Too many failed sign-ins for this member; ") +
                                tryAgainIn(refusal->seconds) + ".",
                            userName.substr(0, 64))});
        return;
    }
    const auto moderator = ctx.store.checkModerator(userName, req.get_param_value("Password"));
    if (!moderator) {
        sendPage(res, 403,
                 {"Moderators' entry", "Moderators",
                  loginForm("The user name or password is not correct, or the member is not a moderator.",
                            userName.substr(0, 64))});
        return;
    }
    guard.succeeded();
    const std::string token = ctx.moderators.open(moderator->id, moderator->userName);
    res.set_header("Set-Cookie", std::string(kCookie) + "=" + token +
                                     "; Path=/Varnel/Web/Admin; HttpOnly; SameSite=Strict; Max-Age=" +
                                     std::to_string(kSessionSeconds));
    res.set_redirect("/Varnel/Web/Admin/login.aspx", 303);
}

void postAnnouncement(const httplib::Request &req, httplib::Response &res, SiteContext &ctx)
{
    const auto session = currentSession(req, ctx);
    if (!session || req.get_param_value("token") != session->formToken) {
        sendPage(res, 403, {"Moderators' entry", "Moderators", loginForm("Please sign in as a moderator first.", {})});
        return;
    }
    AnnouncementDraft draft;
    std::string error = validateDraft(ctx, draft, req);
    if (error.empty()) {
        // Kinds 0 and 1 open the announcement's own page; the store fills in their target.
        const auto id =
            ctx.store.addAnnouncement(draft.zone, draft.kind, draft.title,
                                      draft.kind <= 1 ? std::string() : draft.target, session->memberId, draft.body);
        if (id) {
            const std::string done = "Announcement <a href=\"/Varnel/Web/Announce.aspx?PostID=" + std::to_string(*id) +
                                     "\">" + markupToHtml(draft.title, true) + "</a> posted.";
            sendPage(res, 200, {"Announcements", "Moderators", dashboard(ctx, *session, {}, {}, done)});
            return;
        }
        error = "The announcement could not be stored.";
    }
    sendPage(res, 400, {"Announcements", "Moderators", dashboard(ctx, *session, draft, error, {})});
}

void signOut(const httplib::Request &req, httplib::Response &res, SiteContext &ctx)
{
    const std::string token = cookieValue(req, kCookie);
    const auto session = ctx.moderators.find(token);
    if (session && req.get_param_value("token") == session->formToken)
        ctx.moderators.close(token);
    res.set_header("Set-Cookie",
                   std::string(kCookie) + "=; Path=/Varnel/Web/Admin; HttpOnly; SameSite=Strict; Max-Age=0");
    res.set_redirect("/Varnel/Web/Admin/login.aspx", 303);
}

} // namespace

std::string ModeratorSessions::open(int memberId, const std::string &userName)
{
    const std::int64_t now = nowSeconds();
    std::lock_guard lock(mutex_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        it = it->second.expires <= now ? sessions_.erase(it) : std::next(it);
    }
    if (sessions_.size() >= kMaxSessions) {
        auto oldest = sessions_.begin();
        for (auto it = sessions_.begin(); it != sessions_.end(); ++it) {
            if (it->second.expires < oldest->second.expires)
                oldest = it;
        }
        sessions_.erase(oldest);
    }
    std::string token = randomToken();
    sessions_[token] = Session{memberId, userName, randomToken(), now + kSessionSeconds};
    return token;
}

std::optional<ModeratorSessions::Session> ModeratorSessions::find(const std::string &token)
{
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(token);
    if (it == sessions_.end())
        return std::nullopt;
    if (it->second.expires <= nowSeconds()) {
        sessions_.erase(it);
        return std::nullopt;
    }
    return it->second;
}

void ModeratorSessions::close(const std::string &token)
{
    std::lock_guard lock(mutex_);
    sessions_.erase(token);
}

void registerAdminPages(httplib::Server &server, const std::shared_ptr<SiteContext> &ctx)
{
    server.Get(R"(/Varnel/Web/Admin/login\.aspx)",
               guarded([ctx](const httplib::Request &req, httplib::Response &res) { loginPage(req, res, *ctx); }));
    server.Post(R"(/Varnel/Web/Admin/login\.aspx)",
                guarded([ctx](const httplib::Request &req, httplib::Response &res) { signIn(req, res, *ctx); }));
    server.Post(
        R"(/Varnel/Web/Admin/announce\.aspx)",
        guarded([ctx](const httplib::Request &req, httplib::Response &res) { postAnnouncement(req, res, *ctx); }));
    server.Post(R"(/Varnel/Web/Admin/logout\.aspx)",
                guarded([ctx](const httplib::Request &req, httplib::Response &res) { signOut(req, res, *ctx); }));
}

} // namespace varnel::site
