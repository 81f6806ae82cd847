// The VarnelServices SOAP endpoint: reads a request, checks the service
// account, runs the operation's handler against the community store and
// writes the response or a fault. One handler per entry of the operation
// table, found by its Op.
#pragma once

#include "community_store.h"
#include "operations.h"
#include "site_config.h"
#include "soap_types.h"

#include <QByteArray>
#include <QString>
#include <array>
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
};

// Longest texts the service takes, in characters.
struct TextLimits {
    static constexpr int kTitle = 200;
    static constexpr int kText = 8000;
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

// The most messages one GetMessage answer carries (the client reads 10).
inline constexpr int kMessagesPerPoll = 10;

class VarnelService {
  public:
    VarnelService(CommunityStore &store, ServiceOptions options);

    // Safe to call from many threads at once; never throws. `callerAddress`
    // is the peer address of the connection the request came on.
    ServiceAnswer handle(const QByteArray &requestBody, const std::string &callerAddress = {}) const;

    const QString &serviceNamespace() const { return m_namespace; }

  private:
    using Handler = qs::SoapValues (VarnelService::*)(const qs::SoapValues &in) const;
    static const std::array<Handler, qs::kOperationCount> &handlers();

    qs::SoapValues authenticate(const qs::SoapValues &in) const;
    qs::SoapValues createNewUser(const qs::SoapValues &in) const;
    qs::SoapValues creatForumPost(const qs::SoapValues &in) const;
    qs::SoapValues creatForumReply(const qs::SoapValues &in) const;
    qs::SoapValues editUserInformation(const qs::SoapValues &in) const;
    qs::SoapValues getExpertListOnline(const qs::SoapValues &in) const;
    qs::SoapValues getExpertListOnlineByPostID(const qs::SoapValues &in) const;
    qs::SoapValues getForumPostByID(const qs::SoapValues &in) const;
    qs::SoapValues getForumPostListByColumn(const qs::SoapValues &in) const;
    qs::SoapValues getForumPostsByPostUserID(const qs::SoapValues &in) const;
    qs::SoapValues getForumPostsByReplyUserID(const qs::SoapValues &in) const;
    qs::SoapValues getForumPostsByScoreUserID(const qs::SoapValues &in) const;
    qs::SoapValues getForumReplyListByPostID(const qs::SoapValues &in) const;
    qs::SoapValues getMessage(const qs::SoapValues &in) const;
    qs::SoapValues getOverduePostsByUserID(const qs::SoapValues &in) const;
    qs::SoapValues getPostsByEndingUserID(const qs::SoapValues &in) const;
    qs::SoapValues getReplierListOnlineByPostID(const qs::SoapValues &in) const;
    qs::SoapValues getSearchForumPostByID(const qs::SoapValues &in) const;
    qs::SoapValues getSearchForumPostsByAuthor(const qs::SoapValues &in) const;
    qs::SoapValues getSearchForumPostsByTitle(const qs::SoapValues &in) const;
    qs::SoapValues getUserByUserID(const qs::SoapValues &in) const;
    qs::SoapValues getUserByUserName(const qs::SoapValues &in) const;
    qs::SoapValues getUserListOnline(const qs::SoapValues &in) const;
    qs::SoapValues getUserScoresByUserID(const qs::SoapValues &in) const;
    qs::SoapValues isUserExistsByEmail(const qs::SoapValues &in) const;
    qs::SoapValues isUserExistsByName(const qs::SoapValues &in) const;
    qs::SoapValues sendMessage(const qs::SoapValues &in) const;
    qs::SoapValues sendThreadsByType(const qs::SoapValues &in) const;
    qs::SoapValues setUserOffline(const qs::SoapValues &in) const;
    qs::SoapValues setUserOnline(const qs::SoapValues &in) const;

    // Refuses the call (a soap:Client fault) when `limit` such events by
    // `subject` fall within the past hour.
    void takeAllowance(const char *kind, const std::string &subject, int limit, const char *what) const;

    CommunityStore &m_store;
    ServiceOptions m_options;
    QString m_namespace;
};

} // namespace varnel
