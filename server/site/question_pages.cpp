// The question pages: the question with its answers as anyone sees it
// (Show*Post.aspx), and the member's own questions (MyPost.aspx).
#include "site_internal.h"

#include "catalogue.h"
#include "community_rules.h"

namespace varnel::site {

namespace {

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

} // namespace

std::string zoneNameOf(int column)
{
    const ZoneInfo *zone = zoneOfColumn(column);
    return zone ? std::string(zone->name) : std::string();
}

std::string memberLabel(const std::string &nick, const std::string &userName)
{
    if (nick.empty() || nick == userName)
        return escapeHtml(userName);
    return escapeHtml(nick) + " <span class=\"meta\">(" + escapeHtml(userName) + ")</span>";
}

std::string renderQuestion(const Question &q, bool showAwards, bool withAnswers)
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

namespace {

// ShowSoftPost, ShowHardPost, ShowGamePost, ShowProgPost: the question as
// anyone sees it; its asker is offered the close page.
void showQuestion(const httplib::Request &req, httplib::Response &res, SiteContext &ctx)
{
    std::optional<Member> viewer;
    if (!signInFromQuery(req, ctx, false, viewer, res))
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

// MyPost.aspx: the member's own question (or all of them without PostID).
void myPost(const httplib::Request &req, httplib::Response &res, SiteContext &ctx)
{
    std::optional<Member> viewer;
    if (!signInFromQuery(req, ctx, true, viewer, res))
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

} // namespace

void registerQuestionPages(httplib::Server &server, const std::shared_ptr<SiteContext> &ctx)
{
    server.Get(R"(/Varnel/Web/Show(Soft|Hard|Game|Prog)Post\.aspx)", contextPage(ctx, showQuestion));
    server.Get(R"(/Varnel/Web/MyPost\.aspx)", contextPage(ctx, myPost));
}

} // namespace varnel::site
