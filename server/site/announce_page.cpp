// The announcement page (Announce.aspx?PostID=<announcement ID>): notices and
// news in full, links and featured questions with their targets.
#include "site_internal.h"

#include "catalogue.h"
#include "community_rules.h"

namespace varnel::site {

namespace {

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
    if (!signInFromQuery(req, ctx, false, viewer, res))
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

} // namespace

void registerAnnouncePage(httplib::Server &server, const std::shared_ptr<SiteContext> &ctx)
{
    server.Get(R"(/Varnel/Web/Announce\.aspx)", contextPage(ctx, announcePage));
}

} // namespace varnel::site
