// Pieces shared by the files of VarnelService: what a handler is given, the
// refusal it may throw and reading its values. Not part of the service's
// interface.
#pragma once

#include "varnel_service.h"

#include <span>
#include <string>

namespace varnel::handlers {

// A refusal that the caller should see as a soap:Client fault.
struct ClientFault {
    QString message;
};

// What a handler works with, for one call.
struct Call {
    CommunityStore &store;
    const ServiceOptions &options;
    const std::string &callerAddress; // the peer address of the connection

    // Refuses the call (a soap:Client fault) when `limit` such events by
    // `subject` fall within the limits' window.
    void takeAllowance(const char *kind, const std::string &subject, int limit, const char *what) const;
};

// Reads the call's in-values (already checked against the operation table)
// and answers its out-values.
using Handler = OutValues (*)(const Call &call, const qs::SoapValues &in);

struct HandlerEntry {
    qs::Op op;
    Handler handler;
};

// The handlers of each area, as the store groups them.
std::span<const HandlerEntry> memberHandlers();
std::span<const HandlerEntry> presenceHandlers();
std::span<const HandlerEntry> questionHandlers();
std::span<const HandlerEntry> messageHandlers();

// Refuses a text longer than the service takes.
void checkLength(const qs::SoapValue &value, int limit, const char *what);

inline std::string utf8(const qs::SoapValue &value)
{
    return value.string.toStdString(); // a null string reads as empty
}

// Names, titles and addresses are kept without the blanks around them.
inline std::string trimmedUtf8(const qs::SoapValue &value)
{
    return value.string.trimmed().toStdString();
}

inline Page pageOf(const qs::SoapValue &size, const qs::SoapValue &index)
{
    return Page{size.integer, index.integer};
}

} // namespace varnel::handlers
