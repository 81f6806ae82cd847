// The VarnelServices SOAP endpoint: reads a request, checks the service
// account, runs the operation's handler against the community store and
// writes the response or a fault. One handler per entry of the operation
// table, found by its Op; the handlers live by area in varnel_service_*.cpp.
#pragma once

#include "community_store.h"
#include "list_answer_cache.h"
#include "operations.h"
#include "read_budget.h"
#include "shared_limits.h"
#include "site_config.h"
#include "soap_response.h"
#include "soap_types.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace varnel {

namespace qs = quillora::service;

// What protects members from callers elsewhere, and the community from a
// flood. Counts are per hour unless said otherwise; 0 turns a limit off.
struct GuardSettings {
    // A member's own operations are served only to the address he signed in
    // from; off for a trusted network.
    bool bindMembers = true;
    std::int64_t bindingIdleSeconds = 2 * 3600;
    int registrationsPerAddress = 5;
    int failedSignInsPerAddress = 20;
    int freeFailuresPerAccount = 3; // then a growing delay before the next try
    int questionsPerMember = 10;
    int answersPerMember = 25;
    int messagesPerMember = 60;
    // The window of the hourly limits (shorter in tests).
    std::int64_t windowSeconds = 3600;
    // A call's changes are made only within this long of its arrival: the
    // client gives up after 10 s, and its answer must still reach it.
    std::chrono::milliseconds answerDeadline{8000};
    // Milliseconds of list and search work (question lists not already
    // rendered) done per second for one address, with a burst of
    // ReadBudget::kBurstSeconds times as much.
    int readMsPerSecond = 100;
};

// Longest texts the service takes, in characters. The question's title and
// text are the client's limits too.
struct TextLimits {
    static constexpr int kTitle = qs::kMaxTitleLength;
    static constexpr int kText = qs::kMaxPostTextLength;
    static constexpr int kUserName = 32;
    static constexpr int kPassword = 64;
    static constexpr int kNickName = 32;
    static constexpr int kRealName = 32;
    static constexpr int kEmail = 254;
    static constexpr int kAddress = 200;
    static constexpr int kPhone = 40;
    static constexpr int kMachine = 128;
    static constexpr int kIpAddress = 64;
    static constexpr int kMessage = 2000;
    static constexpr int kSearchText = 100;
    static constexpr int kSearchWords = 8;
};

struct ServiceOptions {
    QString host;                   // names the service namespace
    qs::ServiceAccount account;     // what the credential header must carry
    std::filesystem::path filesDir; // head images: <userID>.bmp
    GuardSettings guard;
};

struct ServiceAnswer {
    int httpStatus = 200;
    QByteArray body;   // text/xml; charset=utf-8
    QString operation; // the wrapper's name when it was read
    QString outcome;   // "ok", or the fault code and text, for the request log
};

class VarnelService {
  public:
    VarnelService(CommunityStore &store, ServiceOptions options);

    // Safe to call from many threads at once; never throws. `callerAddress`
    // is the peer address of the connection the request came on; `arrived`
    // when the request reached the server (its answer deadline runs from then).
    ServiceAnswer handle(const QByteArray &requestBody, const std::string &callerAddress = {},
                         std::chrono::steady_clock::time_point arrived = std::chrono::steady_clock::now()) const;

    const QString &serviceNamespace() const { return m_namespace; }

  private:
    CommunityStore &m_store;
    ServiceOptions m_options;
    QString m_namespace;
    // Rendered answers of the question lists (they name nobody acting, so
    // every caller may be given the same bytes).
    mutable ListAnswerCache m_lists;
    // What each address may still have the question lists and searches cost.
    mutable ReadBudget m_reads;
};

} // namespace varnel
