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
#include <filesystem>

namespace varnel {

namespace qs = quillora::service;

struct ServiceOptions {
    QString host;                   // names the service namespace
    qs::ServiceAccount account;     // what the credential header must carry
    std::filesystem::path filesDir; // head images: <userID>.bmp
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

    // Safe to call from many threads at once; never throws.
    ServiceAnswer handle(const QByteArray &requestBody) const;

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

    CommunityStore &m_store;
    ServiceOptions m_options;
    QString m_namespace;
};

} // namespace varnel
