// Sign-in and presence: the sign-in that binds a member to his address,
// online and offline, and the lists of members online (experts of a zone or
// a question, answer providers).
#include "result_documents.h"
#include "sign_in_guard.h"
#include "varnel_service_internal.h"

namespace varnel::handlers {

namespace {

using O = qs::Op;

// Sign-in (and the client's status refresh). A wrong password or unknown
// user is a fault: the client takes any failed call here as a wrong password.
OutValues getUserByUserName(const Call &call, const qs::SoapValues &in)
{
    checkLength(in[0], TextLimits::kUserName, "user name");
    checkLength(in[1], TextLimits::kPassword, "password");
    const std::string userName = utf8(in[0]);
    const GuardSettings &settings = call.options.guard;
    SignInGuard guard(call.store,
                      {settings.failedSignInsPerAddress, settings.freeFailuresPerAccount, settings.windowSeconds});
    if (const auto refusal = guard.begin(call.callerAddress, SignInGuard::Account::byUserName(userName))) {
        throw ClientFault{(refusal->byAddress ? QStringLiteral("Too many failed sign-ins from this address; %1.")
                                              : QStringLiteral("Too many failed sign-ins for this member; %1."))
                              .arg(QString::fromStdString(tryAgainIn(refusal->seconds)))};
    }
    const auto member = call.store.signInCheck(userName, utf8(in[1]));
    if (!member)
        throw ClientFault{QStringLiteral("Unknown user name or wrong password.")};
    guard.succeeded();
    // The sign-in binds the member to this address (and renews the binding).
    if (settings.bindMembers)
        call.store.bindMember(member->id, call.callerAddress);
    return {documents::signIn(*member)};
}

OutValues setUserOnline(const Call &call, const qs::SoapValues &in)
{
    checkLength(in[1], TextLimits::kIpAddress, "IP address");
    return {qs::SoapValue::ofBool(call.store.setOnline(in[0].integer, utf8(in[1])))};
}

OutValues setUserOffline(const Call &call, const qs::SoapValues &in)
{
    return {qs::SoapValue::ofBool(call.store.setOffline(in[0].integer))};
}

OutValues getUserListOnline(const Call &call, const qs::SoapValues &in)
{
    int total = 0;
    const auto members = call.store.onlineMembers(pageOf(in[0], in[1]), total);
    return {documents::onlineMembers(members), qs::SoapValue::ofInt(total)};
}

OutValues getExpertListOnline(const Call &call, const qs::SoapValues &in)
{
    return {documents::zoneExperts(call.store.onlineExperts(in[0].integer))};
}

// Members beside a question: its experts, or its answer providers (`people`).
template <std::vector<Expert> (CommunityStore::*people)(int postID)>
OutValues questionPeople(const Call &call, const qs::SoapValues &in)
{
    return {documents::questionPeople((call.store.*people)(in[0].integer))};
}

const HandlerEntry kHandlers[] = {
    {O::GetUserByUserName, getUserByUserName},
    {O::SetUserOnline, setUserOnline},
    {O::SetUserOffline, setUserOffline},
    {O::GetUserListOnline, getUserListOnline},
    {O::GetExpertListOnline, getExpertListOnline},
    {O::GetExpertListOnlineByPostID, questionPeople<&CommunityStore::onlineExpertsForQuestion>},
    {O::GetReplierListOnlineByPostID, questionPeople<&CommunityStore::onlineAnswerers>},
};

} // namespace

std::span<const HandlerEntry> presenceHandlers()
{
    return kHandlers;
}

} // namespace varnel::handlers
