// The community's fixed pages: home, help, password, download and points.
#include "site_internal.h"

#include "catalogue.h"
#include "community_rules.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <vector>

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
           std::to_string(kMinCreditToAsk) +
           ".</li>\n<li>Open a question and use <em>Answer Question</em> to post a solution. Answering needs a "
           "credit of at least " +
           std::to_string(kMinCreditToAnswer) +
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

// The client packages the operators put into <files>/download: plain files
// (links are not followed) with a package's name, newest name last.
struct OfferedPackage {
    std::string name;
    std::uintmax_t size = 0;
};

bool packageName(const std::string &name)
{
    static const std::regex kName(R"([A-Za-z0-9][A-Za-z0-9.+_~-]{0,127}\.deb)");
    return std::regex_match(name, kName);
}

std::vector<OfferedPackage> offeredPackages(const std::filesystem::path &filesDir)
{
    std::vector<OfferedPackage> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(filesDir / "download", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code statEc;
        if (!packageName(name) || !it->is_regular_file(statEc) || it->is_symlink(statEc))
            continue;
        const std::uintmax_t size = it->file_size(statEc);
        if (!statEc)
            found.push_back({name, size});
    }
    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) { return a.name < b.name; });
    return found;
}

std::string sizeText(std::uintmax_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / (1024.0 * 1024.0));
    return text;
}

std::string buildInstructions()
{
    return "<h2>Build it on Debian 12</h2>\n"
           "<pre>apt-get install cmake ninja-build g++ qt6-base-dev qt6-webengine-dev \\\n"
           "    libcurl4-openssl-dev nettle-dev libcpp-httplib-dev libsqlite3-dev\n"
           "cmake -S quillora -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \\\n"
           "    -DQUILLORA_SITE_HOST=&lt;this site's host name&gt;\n"
           "ninja -C build</pre>\n"
           "<p>The source comes from your community's operators. The same source builds <code>varnel-server</code>, "
           "the server of the community, so that an organisation can run its own.</p>\n";
}

std::string downloadBody(const std::filesystem::path &filesDir)
{
    std::string out = "<h1>Download Quillora</h1>\n<div class=\"card\">\n"
                      "<p>Quillora is the desktop client of this community, for Linux (Qt 6). "
                      "There is no Windows installer.</p>\n";
    const auto packages = offeredPackages(filesDir);
    if (!packages.empty()) {
        const OfferedPackage &latest = packages.back();
        const std::string name = escapeHtml(latest.name);
        out += "<h2>Install it on Debian 12</h2>\n"
               "<p><a class=\"button\" href=\"/Quillora/download/" +
               name + "\">Download " + name + "</a> <span class=\"meta\">(" + sizeText(latest.size) +
               ")</span></p>\n"
               "<p>Then install it with your package manager, which fetches what it needs:</p>\n"
               "<pre>sudo apt install ./" +
               name +
               "</pre>\n"
               "<p>Quillora then appears in your applications menu. Installing a newer package over it keeps "
               "your remembered sign-in.</p>\n";
        if (packages.size() > 1) {
            out += "<p class=\"meta\">Other packages:";
            for (size_t i = 0; i + 1 < packages.size(); ++i) {
                const std::string other = escapeHtml(packages[i].name);
                out += " <a href=\"/Quillora/download/" + other + "\">" + other + "</a>";
            }
            out += "</p>\n";
        }
        out += "</div>\n<div class=\"card\">\n";
    }
    out += buildInstructions();
    out += "<p><a href=\"/Quillora/download/Quillora.exe\">These instructions as a file</a></p>\n</div>\n";
    return out;
}

// Streams one offered package; a name that is not offered is not found.
void sendPackage(const httplib::Request &req, httplib::Response &res, const std::filesystem::path &filesDir)
{
    const std::string name = req.matches[1];
    std::error_code ec;
    const std::filesystem::path path = filesDir / "download" / name;
    const auto status = std::filesystem::symlink_status(path, ec);
    if (!packageName(name) || ec || !std::filesystem::is_regular_file(status)) {
        sendNotice(res, 404, "Not found", "There is no such package.");
        return;
    }
    auto file = std::make_shared<std::ifstream>(path, std::ios::binary);
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || !*file) {
        sendNotice(res, 404, "Not found", "There is no such package.");
        return;
    }
    res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
    res.set_content_provider(size_t(size), "application/vnd.debian.binary-package",
                             [file](size_t offset, size_t length, httplib::DataSink &sink) {
                                 char buffer[64 * 1024];
                                 file->seekg(std::streamoff(offset));
                                 file->read(buffer, std::streamsize(std::min(length, sizeof buffer)));
                                 const std::streamsize got = file->gcount();
                                 if (got <= 0)
                                     return false;
                                 return sink.write(buffer, size_t(got));
                             });
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
    // The client opens "download.htm" after the update check and "Download.htm" from its Help menu. The
    // page lists the packages on disk now, so operators can add a new one without a restart.
    server.Get(R"(/Quillora/[Dd]ownload\.htm)", guarded([ctx](const httplib::Request &, httplib::Response &res) {
                   sendPage(res, 200, {"Download", {}, downloadBody(ctx->options.filesDir)});
               }));
    server.Get(R"(/Quillora/download/([^/]+\.deb))",
               guarded([ctx](const httplib::Request &req, httplib::Response &res) {
                   sendPackage(req, res, ctx->options.filesDir);
               }));
    fixedPage(server, R"(/Quillora/GetPoints\.htm)", "Getting more points", getPointsBody());
}

} // namespace varnel::site
