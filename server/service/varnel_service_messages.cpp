// Messages between members (each taken by exactly one poll) and the zones'
// announcements.
#include "result_documents.h"
#include "varnel_service_internal.h"

namespace varnel::handlers {

namespace {

using O = qs::Op;

OutValues sendThreadsByType(const Call &call, const qs::SoapValues &in)
{
    return {documents::announcements(call.store.announcements(in[0].integer))};
}

OutValues sendMessage(const Call &call, const qs::SoapValues &in)
{
    checkLength(in[2], TextLimits::kMessage, "message");
    call.takeAllowance("message", std::to_string(in[0].integer), call.options.guard.messagesPerMember, "messages");
    return {qs::SoapValue::ofBool(call.store.sendMessage(in[0].integer, in[1].integer, utf8(in[2])))};
}

// The oldest waiting messages, as many as the client reads; only these are
// marked delivered. A poll is also a sign of life for presence.
OutValues getMessage(const Call &call, const qs::SoapValues &in)
{
    return {documents::messages(call.store.takeMessages(in[0].integer, qs::kMessagesMax))};
}

const HandlerEntry kHandlers[] = {
    {O::SendThreadsByType, sendThreadsByType},
    {O::SendMessage, sendMessage},
    {O::GetMessage, getMessage},
};

} // namespace

std::span<const HandlerEntry> messageHandlers()
{
    return kHandlers;
}

} // namespace varnel::handlers
