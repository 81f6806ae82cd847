// CVarnelServices: the proxy of the VarnelServices web service. One typed
// method per operation (names and parameters as the service spells them),
// in-parameters by value, out-parameters through pointers that must not be
// null. Out-parameters are stored only when the call succeeds.
#pragma once

#include "http_transport.h"
#include "operations.h"
#include "site_config.h"
#include "soap_types.h"

#include <array>
#include <span>

namespace quillora::service {

enum class CallResult { Ok, Failed, InvalidPointer };

inline bool succeeded(CallResult r)
{
    return r == CallResult::Ok;
}

// What every screen says when a service call fails: "Failed to connect to
// server, please try again later."
QString connectFailedMessage();

// The stage at which the last call failed; 0 before a call and after success.
enum CallStatus : int {
    StatusSuccess = 0,
    StatusReaderFailed = 1,    // creating or attaching the XML reader
    StatusFrameFailed = 2,     // setting up the call frame
    StatusWriteFailed = 3,     // writing the request envelope
    StatusHttpFailed = 5,      // resolution, connection, send, receive, or an unaccepted status other than 500
    StatusHttpNotOk = 6,       // an accepted status other than 200 and 202
    StatusSoapFault = 7,       // 500 with a readable fault
    StatusFaultUnreadable = 8, // 500 whose body is not a readable fault
    StatusResponseUnreadable = 9,
    StatusParseFailed = 10,
};

// Pointer to one out-parameter of a generic call.
struct OutRef {
    ParamType type;
    void *target; // QString*, int* or bool* by type
    static OutRef of(QString *p) { return {ParamType::String, p}; }
    static OutRef of(int *p) { return {ParamType::Int, p}; }
    static OutRef of(bool *p) { return {ParamType::Boolean, p}; }
};

class CVarnelServices {
  public:
    explicit CVarnelServices(const SiteAddress &site = siteFromEnvironment(), const HttpLimits &limits = {});
    ~CVarnelServices();
    CVarnelServices(const CVarnelServices &) = delete;
    CVarnelServices &operator=(const CVarnelServices &) = delete;

    // Credential header value of one operation (both fields null until set).
    void setCredentialHeader(Op op, const CredentialHeader &header);
    const CredentialHeader &credentialHeader(Op op) const;
    // Fills the header of `op` with the compiled-in service account.
    void useServiceAccount(Op op);

    int callStatus() const { return m_status; }
    const FaultRecord &lastFault() const { return m_fault; }
    // The envelope written by the last call (empty before one is written).
    const QByteArray &lastRequestBody() const { return m_request; }

    HttpTransport &transport() { return m_transport; }
    const SiteAddress &site() const { return m_site; }
    QString endpointUrl() const { return m_endpoint; }
    // Points the proxy at another endpoint URL ("http[s]://host[:port]/path");
    // the service namespace follows its host. False when the URL is refused.
    bool setEndpoint(const QString &url);

    // Generic call: `in` holds one value per in-parameter, `out` one pointer per
    // out-parameter, both in wire order. The typed methods below use it.
    CallResult call(Op op, std::span<const SoapValue> in, std::span<const OutRef> out);

    // Sign-in operations
    CallResult IsUserExistsByName(const QString &userName, bool *IsUserExistsByNameResult);
    CallResult GetUserByUserName(const QString &userName, const QString &password, QString *GetUserByUserNameResult);
    CallResult SetUserOnline(int userID, const QString &ipAddress, bool *SetUserOnlineResult);
    CallResult SetUserOffline(int userID, bool *SetUserOfflineResult);

    // Members and profiles
    CallResult Authenticate(int userID);
    CallResult CreateNewUser(const QString &userName, const QString &password, const QString &nickName, int sex,
                             const QString &email, const QString &face, const QString &name, const QString &address,
                             const QString &phone, const QString &leader, const QString &userGuid,
                             bool *CreateNewUserResult);
    CallResult EditUserInformation(int userID, const QString &password, const QString &nickName, const QString &email,
                                   const QString &face, bool *EditUserInformationResult);
    CallResult GetUserByUserID(int userID, QString *GetUserByUserIDResult);
    CallResult GetUserListOnline(int pageSize, int pageIndex, QString *GetUserListOnlineResult, int *totalCount);
    CallResult GetUserScoresByUserID(int userID, QString *GetUserScoresByUserIDResult);
    CallResult IsUserExistsByEmail(const QString &userEmail, bool *IsUserExistsByEmailResult);

    // Questions and answers
    CallResult CreatForumPost(int userID, const QString &TitleText, int forumColumnID, int forumPostPoint,
                              const QString &contentText, bool *CreatForumPostResult, int *forumPostID);
    CallResult CreatForumReply(int forumPostID, int userID, int forumColumnID, const QString &contentText,
                               bool *CreatForumReplyResult, int *forumReplyID);
    CallResult GetForumPostByID(int postID, QString *GetForumPostByIDResult);
    CallResult GetForumPostListByColumn(int forumColumnID, int pageSize, int currentPageIndex,
                                        QString *GetForumPostListByColumnResult, int *totalCount);
    CallResult GetForumPostsByPostUserID(int userID, int pageSize, int pageIndex, int GroupID,
                                         QString *GetForumPostsByPostUserIDResult, int *totalCount);
    CallResult GetForumPostsByReplyUserID(int userID, int pageSize, int pageIndex, int GroupID,
                                          QString *GetForumPostsByReplyUserIDResult, int *totalCount);
    CallResult GetForumPostsByScoreUserID(int userID, int pageSize, int pageIndex, int GroupID,
                                          QString *GetForumPostsByScoreUserIDResult, int *totalCount);
    CallResult GetPostsByEndingUserID(int userID, int pageSize, int pageIndex, int GroupID,
                                      QString *GetPostsByEndingUserIDResult, int *totalCount);
    CallResult GetForumReplyListByPostID(int postID, QString *GetForumReplyListByPostIDResult);
    CallResult GetOverduePostsByUserID(int userID, int groupID, bool *GetOverduePostsByUserIDResult);
    CallResult GetSearchForumPostByID(int postID, QString *GetSearchForumPostByIDResult, int *totalCount);
    CallResult GetSearchForumPostsByAuthor(int forumID, const QString &keyword, int pageSize, int currentPageIndex,
                                           QString *GetSearchForumPostsByAuthorResult, int *totalCount);
    CallResult GetSearchForumPostsByTitle(int forumID, const QString &keyword, int pageSize, int currentPageIndex,
                                          QString *GetSearchForumPostsByTitleResult, int *totalCount);
    CallResult SendThreadsByType(int type, QString *SendThreadsByTypeResult);

    // Presence and messages
    CallResult GetExpertListOnline(int communityID, QString *GetExpertListOnlineResult);
    CallResult GetExpertListOnlineByPostID(int postID, QString *GetExpertListOnlineByPostIDResult);
    CallResult GetReplierListOnlineByPostID(int postID, QString *GetReplierListOnlineByPostIDResult);
    CallResult GetMessage(int userID, QString *GetMessageResult);
    CallResult SendMessage(int from, int to, const QString &msg, bool *SendMessageResult);

  private:
    CallResult fail(int status);

    SiteAddress m_site;
    QString m_namespace;
    QString m_endpoint;
    HttpTransport m_transport;
    std::array<CredentialHeader, kOperationCount> m_headers;
    int m_status = StatusSuccess;
    FaultRecord m_fault;
    QByteArray m_request;
};

} // namespace quillora::service
