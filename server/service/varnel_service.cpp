#include "varnel_service.h"

#include "client_address.h"
#include "sign_in_guard.h"
#include "soap_request.h"
#include "soap_response.h"
#include "varnel_service_internal.h"

#include <array>
#include <chrono>
#include <exception>
#include <optional>

namespace varnel {

namespace {

using handlers::ClientFault;

// The parameter that names the member acting (or whose private data is
// read); -1 for operations that speak for nobody.
int actingMemberParameter(qs::Op op)
{
    using O = qs::Op;
    switch (op) {
    case O::Authenticate:
    case O::CreatForumPost:
    case O::EditUserInformation:
    case O::GetMessage:
    case O::SendMessage: // the sender
    case O::SetUserOnline:
    case O::SetUserOffline:
        return 0;
    case O::CreatForumReply:
        return 1;
    default:
        return -1;
    }
}

// The question lists: public, read often by every client, and changed only
// by writes (which move the store's list generation) and by the clock.
bool isQuestionList(qs::Op op)
{
    using O = qs::Op;
    switch (op) {
    case O::GetForumPostListByColumn:
    case O::GetForumPostsByPostUserID:
    case O::GetForumPostsByReplyUserID:
    case O::GetForumPostsByScoreUserID:
    case O::GetPostsByEndingUserID:
    case O::GetSearchForumPostByID:
    case O::GetSearchForumPostsByAuthor:
    case O::GetSearchForumPostsByTitle:
        return true;
    default:
        return false;
    }
}

// The operation and its values, each value marked with its type and a
// string with its length, so that no two different calls share a key.
std::string listKey(qs::Op op, const qs::SoapValues &in)
{
    std::string key(1, static_cast<char>(op));
    auto appendNumber = [&key](std::int64_t n) { key.append(reinterpret_cast<const char *>(&n), sizeof n); };
    for (const qs::SoapValue &v : in) {
        key.push_back(static_cast<char>(v.type));
        switch (v.type) {
        case qs::ParamType::Int:
            appendNumber(v.integer);
            break;
        case qs::ParamType::Boolean:
            key.push_back(v.boolean ? '1' : '0');
            break;
        case qs::ParamType::String: {
            if (v.string.isNull()) {
                appendNumber(-1);
                break;
            }
            const QByteArray utf8 = v.string.toUtf8();
            appendNumber(utf8.size());
            key.append(utf8.constData(), static_cast<size_t>(utf8.size()));
            break;
        }
        }
    }
    return key;
}

std::int64_t nowSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Every operation's handler, found by its Op; each area lists its own.
const std::array<handlers::Handler, qs::kOperationCount> &handlerTable()
{
    static const std::array<handlers::Handler, qs::kOperationCount> table = [] {
        std::array<handlers::Handler, qs::kOperationCount> t{};
        for (const auto area : {handlers::memberHandlers(), handlers::presenceHandlers(), handlers::questionHandlers(),
                                handlers::messageHandlers()}) {
            for (const handlers::HandlerEntry &entry : area)
                t[static_cast<size_t>(entry.op)] = entry.handler;
        }
        return t;
    }();
    return table;
}

} // namespace

VarnelService::VarnelService(CommunityStore &store, ServiceOptions options)
    : m_store(store), m_options(std::move(options)), m_namespace(qs::serviceNamespace(m_options.host)),
      m_reads(m_options.guard.readMsPerSecond)
{
}

ServiceAnswer VarnelService::handle(const QByteArray &requestBody, const std::string &callerAddress,
                                    std::chrono::steady_clock::time_point arrived) const
{
    ServiceAnswer answer;
    // Changes the client could no longer hear about are not made.
    const AnswerDeadline deadline(arrived + m_options.guard.answerDeadline);
    auto fault = [&answer](qs::FaultCode code, const QString &message) {
        answer.httpStatus = 500;
        answer.body = writeFault(code, message);
        answer.outcome =
            (code == qs::FaultCode::Server ? QStringLiteral("fault Server: ") : QStringLiteral("fault Client: ")) +
            message;
        return answer;
    };
    try {
        RequestReadResult read = readSoapRequest(requestBody, m_namespace);
        if (!read.request) {
            answer.operation = read.fault.operationName;
            return fault(read.fault.code, read.fault.message);
        }
        const SoapRequest &request = *read.request;
        const qs::OperationDescriptor &op = *request.operation;
        answer.operation = QString::fromUtf8(op.name.data(), static_cast<qsizetype>(op.name.size()));
        if (!request.credential)
            return fault(qs::FaultCode::Client, QStringLiteral("The CredentialSoapHeader is missing."));
        if (request.credential->username != m_options.account.username ||
            request.credential->password != m_options.account.password)
            return fault(qs::FaultCode::Client, QStringLiteral("The service account is not valid."));

        const int acting = actingMemberParameter(op.id);
        if (acting >= 0 && m_options.guard.bindMembers &&
            !m_store.isBoundTo(request.inValues[acting].integer, callerAddress, m_options.guard.bindingIdleSeconds))
            return fault(qs::FaultCode::Client, QStringLiteral("The member is not signed in from this address; "
                                                               "sign in again."));

        const handlers::Handler handler = handlerTable()[static_cast<size_t>(op.id)];
        if (!handler)
            return fault(qs::FaultCode::Server, QStringLiteral("%1 is not served here.").arg(answer.operation));
        const bool list = isQuestionList(op.id);
        std::string key;
        std::uint64_t generation = 0;
        if (list) {
            key = listKey(op.id, request.inValues);
            // Read before the rows: see ListAnswerCache::keep.
            generation = m_store.listGeneration();
            if (auto kept = m_lists.find(key, generation)) {
                answer.body = std::move(*kept);
                answer.outcome = QStringLiteral("ok");
                return answer;
            }
        }
        // What no rendered answer serves costs the caller's read budget.
        std::string group;
        std::optional<std::chrono::steady_clock::time_point> readStarted;
        if (list) {
            group = limitGroup(callerAddress);
            if (const auto wait = m_reads.admit(group))
                return fault(qs::FaultCode::Client,
                             QStringLiteral("Too many list pages and searches from this address; %1.")
                                 .arg(QString::fromStdString(tryAgainIn(*wait))));
            readStarted = std::chrono::steady_clock::now();
        }
        struct Spend {
            ReadBudget &budget;
            const std::string &group;
            const std::optional<std::chrono::steady_clock::time_point> &started;
            ~Spend()
            {
                if (started)
                    budget.spend(group, std::chrono::steady_clock::now() - *started);
            }
        } spend{m_reads, group, readStarted};
        const OutValues out = handler(handlers::Call{m_store, m_options, callerAddress}, request.inValues);
        answer.body = writeResponse(op, m_namespace, out);
        answer.outcome = QStringLiteral("ok");
        if (list)
            m_lists.keep(key, generation, answer.body);
        return answer;
    } catch (const ClientFault &f) {
        return fault(qs::FaultCode::Client, f.message);
    } catch (const StoreBusy &) {
        return fault(qs::FaultCode::Server,
                     QStringLiteral("The server is busy; nothing was changed. Please try again."));
    } catch (const StoreError &e) {
        // The caller learns only that storage failed; the detail, which may
        // name files, goes to the log alone.
        fault(qs::FaultCode::Server, QStringLiteral("Storage failure; please try again later."));
        answer.outcome += QStringLiteral(" (") + QString::fromUtf8(e.what()) + QLatin1Char(')');
        return answer;
    } catch (const std::exception &e) {
        fault(qs::FaultCode::Server, QStringLiteral("Internal error."));
        answer.outcome += QStringLiteral(" (") + QString::fromUtf8(e.what()) + QLatin1Char(')');
        return answer;
    } catch (...) {
        return fault(qs::FaultCode::Server, QStringLiteral("Internal error."));
    }
}

// ---- limits ------------------------------------------------------------------------------

namespace handlers {

// Refuses a text longer than the service takes.
void checkLength(const qs::SoapValue &value, int limit, const char *what)
{
    if (value.string.size() > limit)
        throw ClientFault{QStringLiteral("The %1 is longer than %2 characters.").arg(QLatin1String(what)).arg(limit)};
}

void Call::takeAllowance(const char *kind, const std::string &subject, int limit, const char *what) const
{
    if (limit <= 0)
        return;
    const std::int64_t window = options.guard.windowSeconds;
    const EventCount count = store.takeAllowance(kind, subject, limit, window);
    if (!count.taken) {
        throw ClientFault{QStringLiteral("Too many %1 (at most %2 in %3); %4.")
                              .arg(QLatin1String(what))
                              .arg(limit)
                              .arg(window == 3600 ? QStringLiteral("an hour")
                                                  : QString::fromStdString(std::to_string(window) + " seconds"))
                              .arg(QString::fromStdString(tryAgainIn(count.oldest + window - nowSeconds())))};
    }
}

} // namespace handlers

} // namespace varnel
