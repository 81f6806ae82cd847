// A member on the site's pages: the user ID and password the client puts in
// the links of the pages that act for him, checked against the sign-in limits.
#include "site_internal.h"

#include "catalogue.h"

namespace varnel::site {

bool signInFromQuery(const httplib::Request &req, SiteContext &ctx, bool required, std::optional<Member> &member,
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

} // namespace varnel::site
