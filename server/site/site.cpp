#include "site_internal.h"

#include "catalogue.h"
#include "community_rules.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace varnel::site {

// ---------------------------------------------------------------------------
// Shared helpers

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

std::string questionPageLink(int postID, int column, const std::optional<std::pair<int, std::string>> &member)
{
    const ZoneInfo *zone = zoneOfColumn(column);
    std::string link = "/Varnel/Web/";
    link += zone ? zone->page : std::string_view("ShowSoftPost.aspx");
    link += "?PostID=" + std::to_string(postID);
    if (member)
        link += "&USRID=" + std::to_string(member->first) + "&USRPSW=" + percentEncode(member->second);
    return link;
}

namespace {

std::string zoneNameOf(int column)
{
    const ZoneInfo *zone = zoneOfColumn(column);
    return zone ? std::string(zone->name) : std::string();
}

const char *stateClass(QuestionState s)
{
    switch (s) {
    case QuestionState::Open:
        return "state-open";
    case QuestionState::Closed:
        return "state-closed";
    case QuestionState::Overdue:
        return "state-overdue";
    }
    return "state-open";
}

std::string memberLabel(const std::string &nick, const std::string &userName)
{
    if (nick.empty() || nick == userName)
        return escapeHtml(userName);
    return escapeHtml(nick) + " <span class=\"meta\">(" + escapeHtml(userName) + ")</span>";
}

// Checks USRID/USRPSW. With `required`, missing credentials are refused too.
// Returns false when a refusal page was sent; `member` is set when they were
// given and correct.
bool authenticate(const httplib::Request &req, SiteContext &ctx, bool required, std::optional<Member> &member,
                  httplib::Response &res)
{
    const bool given = req.has_param("USRID") || req.has_param("USRPSW");
    if (!given) {
        if (!required)
            return true;
        sendNotice(res, 403, "Sign-in needed", "This page acts for a member: open it from Quillora while signed in.");
        return false;
    }
    // Pages that act for a member take his password: guessing it here counts
    // against the address and against the member as at the service's
    // sign-in, on a counter of its own, so that guesses here never make his
    // client wait to sign in; and his own client, from the address he signed
    // in from, is not made to wait at his pages for strangers' guesses.
    const auto id = parsePositive(req.get_param_value("USRID"));
    SignInGuard guard(ctx.store, ctx.options.signIn);
    const auto ownAddress = [&] {
        return id && ctx.options.bindMembers &&
               ctx.store.isBoundTo(*id, req.remote_addr, ctx.options.bindingIdleSeconds);
    };
    if (const auto refusal =
            guard.begin(req.remote_addr, SignInGuard::Account::memberPages(id.value_or(0)), ownAddress)) {
        res.set_header("Retry-After", std::to_string(refusal->seconds));
        sendNotice(res, 429, "Too many attempts",
                   "Too many wrong passwords were tried; " + tryAgainIn(refusal->seconds) + ".");
        return false;
    }
    if (id)
        member = ctx.store.checkMember(*id, req.get_param_value("USRPSW"));
    if (!member) {
        sendNotice(res, 403, "Access refused", "The user ID or password is not correct.");
        return false;
    }
    guard.succeeded();
    return true;
}

std::optional<std::pair<int, std::string>> credentialsOf(const std::optional<Member> &m)
{
    if (!m)
        return std::nullopt;
    return std::make_pair(m->id, m->password);
}

std::string memberQuery(const Member &m)
{
    return "USRID=" + std::to_string(m.id) + "&USRPSW=" + percentEncode(m.password);
}

// The question with its answers, as every question page shows it.
std::string renderQuestion(const Question &q, bool showAwards, bool withAnswers = true)
{
    std::string out;
    out += "<div class=\"crumbs\">" + escapeHtml(zoneNameOf(q.column)) + " &rsaquo; " +
           escapeHtml(std::string(categoryOfColumn(q.column))) + " &rsaquo; " +
           escapeHtml(varnel::columnName(q.column)) + "</div>\n";
    out += "<h1>" + escapeHtml(q.title) + "</h1>\n";
    out += "<div class=\"meta\"><span>Question " + std::to_string(q.id) + "</span><span>asked by " +
           memberLabel(q.askerNick, q.askerName) + "</span><span>" + std::to_string(q.points) + " points</span><span>" +
           escapeHtml(varnel::formatTime(q.posted)) + "</span><span><span class=\"state " + stateClass(q.state) +
           "\">" + questionStateText(q.state) + "</span></span>";
    if (q.state == QuestionState::Closed && q.closed)
        out += "<span>closed " + escapeHtml(varnel::formatTime(q.closed)) + "</span>";
    out += "</div>\n";
    out += "<div class=\"card question-text\">" + escapeMultiline(q.text) + "</div>\n";
    if (!withAnswers)
        return out;
    out += "<h2>Answers (" + std::to_string(q.answers.size()) + ")</h2>\n";
    if (q.answers.empty()) {
        out += "<p class=\"meta\">No answers yet.</p>\n";
        return out;
    }
    out += "<table>\n<thead><tr><th>Answer</th><th>By</th><th>Posted</th>";
    if (showAwards)
        out += "<th class=\"num\">Points</th>";
    out += "</tr></thead>\n<tbody>\n";
    for (const Answer &a : q.answers) {
        out += "<tr><td class=\"answer\">" + escapeMultiline(a.text) + "</td><td class=\"who\">" +
               memberLabel(a.answererNick, a.answererName) + "</td><td class=\"when\">" +
               escapeHtml(varnel::formatTime(a.posted)) + "</td>";
        if (showAwards)
            out += "<td class=\"num\">" + std::to_string(a.pointsAwarded) + "</td>";
        out += "</tr>\n";
    }
    out += "</tbody>\n</table>\n";
    return out;
}

std::optional<Question> questionFromQuery(const httplib::Request &req, SiteContext &ctx, httplib::Response &res)
{
    const auto postID = parsePositive(req.get_param_value("PostID"));
    std::optional<Question> q;
    if (postID)
        q = ctx.store.question(*postID);
    if (!q)
        sendNotice(res, 404, "Question not found", "There is no question with this number.");
    return q;
}

// ---------------------------------------------------------------------------
// Question pages: ShowSoftPost, ShowHardPost, ShowGamePost, ShowProgPost.

void showQuestion(const httplib::Request &req, httplib::Response &res, SiteContext &ctx)
{
    std::optional<Member> viewer;
    if (!authenticate(req, ctx, false, viewer, res))
        return;
    const auto q = questionFromQuery(req, ctx, res);
    if (!q)
        return;
    std::string body = renderQuestion(*q, q->state == QuestionState::Closed);
    if (viewer && viewer->id == q->askerId) {
        if (q->state != QuestionState::Closed)
            body += "<p class=\"notice info\">This is your question. When you are satisfied, <a href=\"/Varnel/Web/"
                    "EndPost.aspx?PostID=" +
                    std::to_string(q->id) + "&amp;" + escapeHtml(memberQuery(*viewer)) +
                    "\">close it and award its points</a>.</p>\n";
    } else if (q->state != QuestionState::Closed) {
        body += "<p class=\"meta\">Know the answer? Use &ldquo;Answer Question&rdquo; in Quillora to post your "
                "solution.</p>\n";
    }
    sendPage(res, 200, {q->title, zoneNameOf(q->column), body});
}

// ---------------------------------------------------------------------------
// MyPost.aspx: the member's own question (or all of them without PostID).

void myPost(const httplib::Request &req, httplib::Response &res, SiteContext &ctx)
{
    std::optional<Member> viewer;
    if (!authenticate(req, ctx, true, viewer, res))
        return;
    if (!req.has_param("PostID")) {
        std::string body = "<h1>My questions</h1>\n";
        const auto own = ctx.store.ownQuestions(viewer->id);
        if (own.empty()) {
            body += "<p class=\"meta\">You have not asked any question yet.</p>";
        } else {
            body += "<table>\n<thead><tr><th>Question</th><th class=\"num\">Points</th><th class=\"num\">Answers"
                    "</th><th>Asked</th><th>State</th></tr></thead>\n<tbody>\n";
            for (const Question &q : own) {
                body += "<tr><td><a href=\"/Varnel/Web/MyPost.aspx?PostID=" + std::to_string(q.id) + "&amp;" +
                        escapeHtml(memberQuery(*viewer)) + "\">" + escapeHtml(q.title) + "</a></td><td class=\"num\">" +
                        std::to_string(q.points) + "</td><td class=\"num\">" + std::to_string(q.answerCount) +
                        "</td><td class=\"when\">" + escapeHtml(varnel::formatTime(q.posted)) +
                        "</td><td><span class=\"state " + stateClass(q.state) + "\">" + questionStateText(q.state) +
                        "</span></td></tr>\n";
            }
            body += "</tbody>\n</table>\n";
        }
        sendPage(res, 200, {"My questions", {}, body});
        return;
    }
    const auto q = questionFromQuery(req, ctx, res);
    if (!q)
        return;
    if (q->askerId != viewer->id) {
        sendNotice(res, 403, "Not your question", "This question was asked by another member.", zoneNameOf(q->column));
        return;
    }
    std::string body = "<p class=\"crumbs\">My question</p>\n" + renderQuestion(*q, true);
    if (q->state != QuestionState::Closed) {
        body += "<p><a href=\"/Varnel/Web/EndPost.aspx?PostID=" + std::to_string(q->id) + "&amp;" +
                escapeHtml(memberQuery(*viewer)) + "\">Close this question and award its " + std::to_string(q->points) +
                " points</a></p>\n";
    }
    sendPage(res, 200, {q->title, zoneNameOf(q->column), body});
}

// ---------------------------------------------------------------------------
// EndPost.aspx: the asker shares the question's points among its answers.

std::string closeForm(const Question &q, const Member &viewer, const std::map<int, std::string> &entered)
{
    std::string out = "<form method=\"post\" action=\"/Varnel/Web/EndPost.aspx\" class=\"card\">\n"
                      "<input type=\"hidden\" name=\"PostID\" value=\"" +
                      std::to_string(q.id) + "\">\n<input type=\"hidden\" name=\"USRID\" value=\"" +
                      std::to_string(viewer.id) + "\">\n<input type=\"hidden\" name=\"USRPSW\" value=\"" +
                      escapeHtml(viewer.password) + "\">\n";
    out += "<p>Share the question's <strong>" + std::to_string(q.points) +
           "</strong> points among the answers that helped you. The points must add up to exactly " +
           std::to_string(q.points) + ".</p>\n";
    out += "<table>\n<thead><tr><th>Answer</th><th>By</th><th class=\"num\">Points</th></tr></thead>\n<tbody>\n";
    for (const Answer &a : q.answers) {
        const auto it = entered.find(a.id);
        const std::string value = it == entered.end() ? std::string("0") : it->second;
        out += "<tr><td class=\"answer\">" + escapeMultiline(a.text) + "</td><td class=\"who\">" +
               memberLabel(a.answererNick, a.answererName) +
               "</td><td class=\"num\"><input type=\"number\" min=\"0\" max=\"" + std::to_string(q.points) +
               "\" name=\"pts_" + std::to_string(a.id) + "\" value=\"" + escapeHtml(value) + "\"></td></tr>\n";
    }
    out += "</tbody>\n</table>\n<div class=\"row\"><button type=\"submit\">Close question and award points</button>"
           "</div>\n</form>\n";
    return out;
}

std::string closeResultMessage(CloseResult r, int points)
{
    switch (r) {
    case CloseResult::Ok:
        return "The question is closed and its points are paid.";
    case CloseResult::UnknownQuestion:
        return "There is no question with this number.";
    case CloseResult::NotAsker:
        return "Only the member who asked a question can close it.";
    case CloseResult::AlreadyClosed:
        return "This question is already closed.";
    case CloseResult::PointsMismatch:
        return "The points you award must add up to exactly " + std::to_string(points) + ".";
    case CloseResult::UnknownAnswer:
        return "One of the answers does not belong to this question.";
    }
    return "The question could not be closed.";
}

void endPostPage(httplib::Response &res, int status, const Question &q, const Member &viewer,
                 const std::map<int, std::string> &entered, const std::string &error)
{
    std::string body = "<p class=\"crumbs\">Close question</p>\n";
    if (!error.empty())
        body += "<div class=\"notice error\">" + escapeHtml(error) + "</div>\n";
    // While the form is shown, its table lists the answers.
    const bool formShown = q.state != QuestionState::Closed && !q.answers.empty();
    body += renderQuestion(q, q.state == QuestionState::Closed, !formShown);
    if (q.state == QuestionState::Closed) {
        body += "<div class=\"notice info\">This question is closed; the points above were awarded.</div>\n";
    } else if (q.answers.empty()) {
        body += "<h2>Close without answers</h2>\n<form method=\"post\" action=\"/Varnel/Web/EndPost.aspx\" "
                "class=\"card\">\n<input type=\"hidden\" name=\"PostID\" value=\"" +
                std::to_string(q.id) + "\">\n<input type=\"hidden\" name=\"USRID\" value=\"" +
                std::to_string(viewer.id) + "\">\n<input type=\"hidden\" name=\"USRPSW\" value=\"" +
                escapeHtml(viewer.password) + "\">\n<p>Nobody has answered this question. If you close it now, its " +
                std::to_string(q.points) +
                " points return to you.</p>\n<div class=\"row\"><button type=\"submit\">Close question</button>"
                "</div>\n</form>\n";
    } else {
        body += "<h2>Award the points</h2>\n" + closeForm(q, viewer, entered);
    }
    sendPage(res, status, {"Close: " + q.title, zoneNameOf(q.column), body});
}

void endPostGet(const httplib::Request &req, httplib::Response &res, SiteContext &ctx)
{
    std::optional<Member> viewer;
    if (!authenticate(req, ctx, true, viewer, res))
        return;
    const auto q = questionFromQuery(req, ctx, res);
    if (!q)
        return;
    if (q->askerId != viewer->id) {
        sendNotice(res, 403, "Not your question", "Only the member who asked a question can close it.",
                   zoneNameOf(q->column));
        return;
    }
    endPostPage(res, 200, *q, *viewer, {}, {});
}

void endPostPost(const httplib::Request &req, httplib::Response &res, SiteContext &ctx)
{
    std::optional<Member> viewer;
    if (!authenticate(req, ctx, true, viewer, res))
        return;
    auto q = questionFromQuery(req, ctx, res);
    if (!q)
        return;
    if (q->askerId != viewer->id) {
        sendNotice(res, 403, "Not your question", "Only the member who asked a question can close it.",
                   zoneNameOf(q->column));
        return;
    }
    // Read the points of every answer field, keeping what was typed for the form.
    std::map<int, std::string> entered;
    std::vector<std::pair<int, int>> award;
    std::string error;
    long long total = 0;
    for (const auto &[key, value] : req.params) {
        if (key.rfind("pts_", 0) != 0)
            continue;
        const auto answerID = parsePositive(key.substr(4));
        if (!answerID) {
            error = "One of the answers does not belong to this question.";
            continue;
        }
        entered[*answerID] = value;
        if (value.empty() || value == "0")
            continue;
        const auto points = parsePositive(value);
        if (!points || *points > q->points) {
            if (error.empty())
                error = "Points must be whole numbers from 0 to " + std::to_string(q->points) + ".";
            continue;
        }
        award.emplace_back(*answerID, *points);
        total += *points;
    }
    if (error.empty() && q->state == QuestionState::Closed)
        error = closeResultMessage(CloseResult::AlreadyClosed, q->points);
    // Without answers the points go back to the asker, so nothing may be awarded.
    const int expected = q->answers.empty() ? 0 : q->points;
    if (error.empty() && total != expected)
        error = "The points you award must add up to exactly " + std::to_string(expected) + " (you gave " +
                std::to_string(total) + ").";
    if (!error.empty()) {
        endPostPage(res, 400, *q, *viewer, entered, error);
        return;
    }
    const CloseResult result = ctx.store.closeQuestion(q->id, viewer->id, award);
    if (result != CloseResult::Ok) {
        if (auto fresh = ctx.store.question(q->id))
            q = fresh;
        endPostPage(res, result == CloseResult::NotAsker ? 403 : 400, *q, *viewer, entered,
                    closeResultMessage(result, q->points));
        return;
    }
    const auto closed = ctx.store.question(q->id);
    std::string body = "<p class=\"crumbs\">Close question</p>\n<div class=\"notice ok\">" +
                       escapeHtml(closeResultMessage(CloseResult::Ok, q->points)) + "</div>\n" +
                       renderQuestion(closed ? *closed : *q, true);
    sendPage(res, 200, {"Closed: " + q->title, zoneNameOf(q->column), body});
}

// ---------------------------------------------------------------------------
// Announce.aspx?PostID=<announcement ID>

const char *announcementKind(int kind)
{
    switch (kind) {
    case 0:
        return "Notice";
    case 1:
        return "News";
    case 2:
        return "Link";
    case 3:
        return "Featured question";
    }
    return "Announcement";
}

bool isWebAddress(const std::string &text)
{
    return text.rfind("http://", 0) == 0 || text.rfind("https://", 0) == 0;
}

void announcePage(const httplib::Request &req, httplib::Response &res, SiteContext &ctx)
{
    std::optional<Member> viewer;
    if (!authenticate(req, ctx, false, viewer, res))
        return;
    const auto id = parsePositive(req.get_param_value("PostID"));
    std::optional<Announcement> a;
    if (id)
        a = ctx.store.announcement(*id);
    if (!a) {
        sendNotice(res, 404, "Announcement not found", "There is no announcement with this number.");
        return;
    }
    const ZoneInfo *zone = zoneByNumber(a->zone);
    const std::string zoneName = zone ? std::string(zone->name) : std::string();
    std::string body = "<div class=\"crumbs\">" + escapeHtml(zoneName) + " &rsaquo; " + announcementKind(a->kind) +
                       "</div>\n<h1>" + markupToHtml(a->title) + "</h1>\n<div class=\"meta\"><span>" +
                       escapeHtml(varnel::formatTime(a->posted)) + "</span>";
    if (const auto author = ctx.store.memberById(a->authorId))
        body += "<span>posted by " + memberLabel(author->nickName, author->userName) + "</span>";
    body += "</div>\n";
    if (!a->body.empty())
        body += "<div class=\"card\">" + escapeMultiline(a->body) + "</div>\n";
    if (a->kind == 2) {
        if (isWebAddress(a->target))
            body += "<p><a href=\"" + escapeHtml(a->target) + "\" rel=\"noopener noreferrer\">" +
                    escapeHtml(a->target) + "</a></p>\n";
        else
            body += "<p class=\"meta\">" + escapeHtml(a->target) + "</p>\n";
    } else if (a->kind == 3) {
        if (const auto postID = parsePositive(a->target)) {
            if (const auto q = ctx.store.question(*postID))
                body += "<p>Featured question: <a href=\"" +
                        escapeHtml(questionPageLink(q->id, q->column, credentialsOf(viewer))) + "\">" +
                        escapeHtml(q->title) + "</a></p>\n";
        }
    }
    sendPage(res, 200, {markupToPlain(a->title), zoneName, body});
}

// ---------------------------------------------------------------------------
// Files: head images, version file, installer.

void headImage(const httplib::Request &req, httplib::Response &res, SiteContext &ctx)
{
    static const std::regex kName(R"(([0-9]{1,10})\.bmp)");
    const std::string name = req.matches[1];
    std::smatch m;
    if (!std::regex_match(name, m, kName) || !parsePositive(m[1])) {
        sendNotice(res, 404, "Not found", "There is no such head image.");
        return;
    }
    // Only plain files right in the head-image directory; links are not followed.
    std::error_code ec;
    const std::filesystem::path path = ctx.options.filesDir / name;
    const auto status = std::filesystem::symlink_status(path, ec);
    constexpr std::uintmax_t kMaxImage = 4 * 1024 * 1024;
    if (ec || !std::filesystem::is_regular_file(status) || std::filesystem::file_size(path, ec) > kMaxImage || ec) {
        sendNotice(res, 404, "Not found", "There is no such head image.");
        return;
    }
    // Opened without following a link, so a link put in place after the
    // check above is refused too.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uintmax_t>(st.st_size) > kMaxImage) {
        if (fd >= 0)
            ::close(fd);
        sendNotice(res, 404, "Not found", "There is no such head image.");
        return;
    }
    std::string data(static_cast<size_t>(st.st_size), '\0');
    size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got != data.size()) {
        sendNotice(res, 404, "Not found", "There is no such head image.");
        return;
    }
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_content(data, "image/bmp");
}

constexpr std::string_view kInstallerText =
    "Quillora for Linux\r\n"
    "==================\r\n"
    "\r\n"
    "This community does not offer a Windows installer. Quillora is a Linux\r\n"
    "desktop client built with Qt 6; this file only explains how to get it.\r\n"
    "\r\n"
    "1. Install the build dependencies (Debian 12):\r\n"
    "     apt-get install cmake ninja-build g++ qt6-base-dev qt6-webengine-dev \\\r\n"
    "       libcurl4-openssl-dev nettle-dev libcpp-httplib-dev libsqlite3-dev\r\n"
    "2. Get the Quillora source from your community's operators.\r\n"
    "3. Build it:\r\n"
    "     cmake -S quillora -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \\\r\n"
    "       -DQUILLORA_SITE_HOST=<this site's host name>\r\n"
    "     ninja -C build\r\n"
    "4. Run build/src/app/quillora and sign in with your member name.\r\n"
    "\r\n"
    "The same source builds varnel-server, the community server.\r\n";

} // namespace

void registerSite(httplib::Server &server, varnel::CommunityStore &store, const SiteOptions &options)
{
    auto ctx = std::make_shared<SiteContext>(store, options);

    server.Get(kStyleSheetPath, guarded([](const httplib::Request &, httplib::Response &res) {
                   res.set_header("Cache-Control", "max-age=3600");
                   res.set_content(std::string(styleSheet()), "text/css; charset=utf-8");
               }));
    server.Get(R"(/Varnel/Web/versioncheck\.txt)", guarded([ctx](const httplib::Request &, httplib::Response &res) {
                   res.set_header("Cache-Control", "no-cache");
                   res.set_content(ctx->options.latestVersion, "text/plain");
               }));
    server.Get(R"(/Varnel/Web/Show(Soft|Hard|Game|Prog)Post\.aspx)",
               guarded([ctx](const httplib::Request &req, httplib::Response &res) { showQuestion(req, res, *ctx); }));
    server.Get(R"(/Varnel/Web/MyPost\.aspx)",
               guarded([ctx](const httplib::Request &req, httplib::Response &res) { myPost(req, res, *ctx); }));
    server.Get(R"(/Varnel/Web/EndPost\.aspx)",
               guarded([ctx](const httplib::Request &req, httplib::Response &res) { endPostGet(req, res, *ctx); }));
    server.Post(R"(/Varnel/Web/EndPost\.aspx)",
                guarded([ctx](const httplib::Request &req, httplib::Response &res) { endPostPost(req, res, *ctx); }));
    server.Get(R"(/Varnel/Web/Announce\.aspx)",
               guarded([ctx](const httplib::Request &req, httplib::Response &res) { announcePage(req, res, *ctx); }));
    server.Get(R"(/Varnel/Web/images/CustomFace/(.*))",
               guarded([ctx](const httplib::Request &req, httplib::Response &res) { headImage(req, res, *ctx); }));
    server.Get(R"(/Quillora/download/Quillora\.exe)", guarded([](const httplib::Request &, httplib::Response &res) {
                   res.set_header("Content-Disposition", "attachment; filename=\"Quillora-for-Linux.txt\"");
                   res.set_content(std::string(kInstallerText), "application/octet-stream");
               }));
    registerAdminPages(server, ctx);
    registerStaticPages(server, ctx);
}

} // namespace varnel::site
