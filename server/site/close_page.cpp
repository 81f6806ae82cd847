// The close page (EndPost.aspx): the asker shares the question's points
// among its answers, or closes a question nobody answered.
#include "site_internal.h"

#include <map>

namespace varnel::site {

namespace {

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

// The question the request names, when the member signed in on the page
// asked it; nothing when a refusal or not-found page was sent instead.
std::optional<Question> askersQuestion(const httplib::Request &req, httplib::Response &res, SiteContext &ctx,
                                       std::optional<Member> &viewer)
{
    if (!signInFromQuery(req, ctx, true, viewer, res))
        return std::nullopt;
    auto q = questionFromQuery(req, ctx, res);
    if (q && q->askerId != viewer->id) {
        sendNotice(res, 403, "Not your question", "Only the member who asked a question can close it.",
                   zoneNameOf(q->column));
        return std::nullopt;
    }
    return q;
}

void endPostGet(const httplib::Request &req, httplib::Response &res, SiteContext &ctx)
{
    std::optional<Member> viewer;
    const auto q = askersQuestion(req, res, ctx, viewer);
    if (!q)
        return;
    endPostPage(res, 200, *q, *viewer, {}, {});
}

void endPostPost(const httplib::Request &req, httplib::Response &res, SiteContext &ctx)
{
    std::optional<Member> viewer;
    auto q = askersQuestion(req, res, ctx, viewer);
    if (!q)
        return;
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

} // namespace

void registerClosePage(httplib::Server &server, const std::shared_ptr<SiteContext> &ctx)
{
    server.Get(R"(/Varnel/Web/EndPost\.aspx)", contextPage(ctx, endPostGet));
    server.Post(R"(/Varnel/Web/EndPost\.aspx)", contextPage(ctx, endPostPost));
}

} // namespace varnel::site
