// The community's fixed pages: home, help, password, download and points.
#include "site_internal.h"

#include "catalogue.h"
#include "community_rules.h"

namespace varnel::site {
namespace {

std::string helpBody()
{
    return "<h1>Using Quillora</h1>\n"
           "<div class=\"card\">\n<h2>Signing in</h2>\n"
           "<p>Start Quillora and sign in with your user name and password. New members register from the sign-in "
           "window; a new account starts with " +
           std::to_string(CommunitySettings{}.startPoints) + " points and a credit of " +
           std::to_string(CommunitySettings{}.startCredit) +
           " (the community's operators may choose other values).</p>\n</div>\n"
           "<div class=\"card\">\n<h2>Zones and columns</h2>\n"
           "<p>The community has four zones &mdash; Software, Hardware, Games and Programming &mdash; each with two "
           "categories and, below them, columns. Double-click a column in the tree on the left to list its "
           "questions fifteen to a page, and double-click a question to read it with every answer.</p>\n</div>\n"
           "<div class=\"card\">\n<h2>Asking and answering</h2>\n<ul>\n"
           "<li>Select a column, then use <em>Ask Question</em>. A question offers a reward of " +
           std::to_string(kMinQuestionPoints) + " to " + std::to_string(kMaxQuestionPoints) +
           " points, which are reserved from your points when you ask. Asking needs a credit of at least " +
           std::to_string(kCreditToAsk) +
           ".</li>\n<li>Open a question and use <em>Answer Question</em> to post a solution. Answering needs a "
           "credit of at least " +
           std::to_string(kCreditToAnswer) +
           ".</li>\n<li>When you are satisfied, use <em>Close Questions</em>, open the question and share its points "
           "among the answers that helped you. The points must add up to the reward.</li>\n"
           "<li>A question left open too long becomes overdue. Close your overdue questions before you ask a new "
           "one in the same zone; closing on time earns credit, closing late costs some.</li>\n</ul>\n</div>\n"
           "<div class=\"card\">\n<h2>Scores, ranks and levels</h2>\n"
           "<p>Points awarded to your answers raise your score in the zone of the question. Your zone score gives "
           "your rank (1 to 10) in that zone, and the sum of your zone scores gives your level. Members with a "
           "high rank show up as experts of the zone while they are online.</p>\n</div>\n"
           "<div class=\"card\">\n<h2>Messages</h2>\n"
           "<p>The <em>Communication</em> window exchanges short messages with other members. Messages to a member "
           "who is away wait for him and are delivered when he next signs in.</p>\n</div>\n"
           "<p><a href=\"/Quillora/Password.htm\">Forgot your password?</a> &middot; "
           "<a href=\"/Quillora/GetPoints.htm\">Getting more points</a> &middot; "
           "<a href=\"/Quillora/Download.htm\">Download Quillora</a></p>\n";
}

std::string passwordBody()
{
    return "<h1>Forgot your password?</h1>\n<div class=\"card\">\n"
           "<p>Passwords are kept by this community's server, and only its operators can set a new one. "
           "Send a message to a moderator of your zone, or write to the community's operators from the "
           "address you registered with, giving your user name; they will set a new password for you.</p>\n"
           "<p>Once you can sign in again, choose a password of your own in Quillora's <em>Edit Profile</em> "
           "window.</p>\n</div>\n";
}

std::string downloadBody()
{
    return "<h1>Download Quillora</h1>\n<div class=\"card\">\n"
           "<p>Quillora is the desktop client of this community, for Linux (Qt 6). It is built from its source; "
           "there is no Windows installer.</p>\n"
           "<h2>Build it on Debian 12</h2>\n"
           "<pre>apt-get install cmake ninja-build g++ qt6-base-dev qt6-webengine-dev \\\n"
           "    libcurl4-openssl-dev nettle-dev libcpp-httplib-dev libsqlite3-dev\n"
           "cmake -S quillora -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \\\n"
           "    -DQUILLORA_SITE_HOST=&lt;this site's host name&gt;\n"
           "ninja -C build</pre>\n"
           "<p>The source comes from your community's operators. The same source builds <code>varnel-server</code>, "
           "the server of the community, so that an organisation can run its own.</p>\n"
           "<p><a href=\"/Quillora/download/Quillora.exe\">These instructions as a file</a></p>\n</div>\n";
}

std::string getPointsBody()
{
    return "<h1>Getting more points</h1>\n<div class=\"card\">\n"
           "<p>Points are not for sale in this community: they are earned.</p>\n<ul>\n"
           "<li>Answer questions. When an asker closes a question, the points of its reward go to the answers "
           "that helped, and raise your score in that zone.</li>\n"
           "<li>Every new member starts with " +
           std::to_string(CommunitySettings{}.startPoints) +
           " points (or what the community's operators chose), enough to ask at once.</li>\n"
           "<li>Close your own questions on time: it keeps your credit up, and credit decides whether you may "
           "ask and answer.</li>\n</ul>\n</div>\n";
}

std::string homeBody(SiteContext &ctx)
{
    std::string out = "<h1>Welcome to the Quillora community</h1>\n"
                      "<p>Experts and members helping each other with software, hardware, games and programming. "
                      "Ask a question with a reward of points, answer others, and earn your rank in every zone.</p>\n";
    int online = 0;
    ctx.store.onlineMembers(Page{1, 1}, online);
    out += "<p class=\"meta\">" + std::to_string(online) + (online == 1 ? " member" : " members") +
           " online now.</p>\n<div class=\"zones\">\n";
    for (int z = 1; z <= 4; ++z) {
        const ZoneInfo *zone = zoneByNumber(z);
        out += "<div class=\"card\"><strong>" + escapeHtml(std::string(zone->name)) + "</strong>\n<ul>";
        std::string_view lastCategory;
        for (int c = zone->firstColumn; c <= zone->lastColumn; ++c) {
            if (categoryOfColumn(c) != lastCategory) {
                lastCategory = categoryOfColumn(c);
                out += "<li>" + escapeHtml(std::string(lastCategory)) + "</li>";
            }
        }
        out += "</ul></div>\n";
    }
    out += "</div>\n<h2>Announcements</h2>\n";
    bool any = false;
    std::string list = "<div class=\"card\"><ul class=\"plain\">\n";
    for (int z = 1; z <= 4; ++z) {
        const auto items = ctx.store.announcements(z);
        for (size_t i = 0; i < items.size() && i < 3; ++i) {
            const Announcement &a = items[i];
            any = true;
            list += "<li><span class=\"meta\">" + escapeHtml(std::string(zoneByNumber(z)->name)) + "</span> &nbsp;";
            if (a.kind == 2 && (a.target.rfind("http://", 0) == 0 || a.target.rfind("https://", 0) == 0))
                list += "<a href=\"" + escapeHtml(a.target) + "\" rel=\"noopener noreferrer\">";
            else
                list += "<a href=\"/Varnel/Web/Announce.aspx?PostID=" + std::to_string(a.id) + "\">";
            list += markupToHtml(a.title, true) + "</a></li>\n";
        }
    }
    list += "</ul></div>\n";
    out += any ? list : std::string("<p class=\"meta\">No announcements yet.</p>\n");
    out += "<h2>Get started</h2>\n<p><a href=\"/Quillora/Download.htm\">Download Quillora</a> &middot; "
           "<a href=\"/Quillora/Help.htm\">How it works</a> &middot; "
           "<a href=\"/Varnel/Web/Admin/login.aspx\">Moderators&rsquo; entry</a></p>\n";
    return out;
}

void fixedPage(httplib::Server &server, const std::string &pattern, std::string title, std::string body)
{
    // Rendered once: these pages never change while the server runs.
    auto page = std::make_shared<const std::string>(renderPage({std::move(title), {}, std::move(body)}));
    server.Get(pattern, guarded([page](const httplib::Request &, httplib::Response &res) {
                   res.set_header("Cache-Control", "max-age=300");
                   res.set_content(*page, "text/html; charset=utf-8");
               }));
}

} // namespace

void registerStaticPages(httplib::Server &server, const std::shared_ptr<SiteContext> &ctx)
{
    server.Get("/", guarded([ctx](const httplib::Request &, httplib::Response &res) {
                   sendPage(res, 200, {"Home", {}, homeBody(*ctx)});
               }));
    fixedPage(server, R"(/Quillora/Help\.htm)", "Help", helpBody());
    fixedPage(server, R"(/Quillora/Password\.htm)", "Forgot your password?", passwordBody());
    // The client opens "download.htm" after the update check and "Download.htm" from its Help menu.
    fixedPage(server, R"(/Quillora/[Dd]ownload\.htm)", "Download", downloadBody());
    fixedPage(server, R"(/Quillora/GetPoints\.htm)", "Getting more points", getPointsBody());
}

} // namespace varnel::site
