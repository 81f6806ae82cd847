#include "varnel_services.h"

#include "soap_reader.h"
#include "soap_writer.h"

#include <new>

namespace quillora::service {
namespace {

bool storeOut(const OutRef &ref, const SoapValue &value)
{
    switch (ref.type) {
    case ParamType::String:
        *static_cast<QString *>(ref.target) = value.string;
        return true;
    case ParamType::Int:
        *static_cast<int *>(ref.target) = value.integer;
        return true;
    case ParamType::Boolean:
        *static_cast<bool *>(ref.target) = value.boolean;
        return true;
    }
    return false;
}

} // namespace

QString connectFailedMessage()
{
    return QStringLiteral("Failed to connect to server, please try again later.");
}

CVarnelServices::CVarnelServices(const SiteAddress &site, const HttpLimits &limits)
    : m_site(site), m_namespace(serviceNamespace(site.host)),
      m_endpoint(siteUrl(site, QString::fromLatin1(kServicePath))), m_transport(limits)
{
    m_transport.setEndpoint(m_endpoint.toStdString());
    m_transport.setProxy(activeProxySettings());
    m_transport.setTrustedCaFile(site.caFile.toStdString());
}

CVarnelServices::~CVarnelServices() = default;

bool CVarnelServices::setEndpoint(const QString &url)
{
    HttpUrl parsed;
    if (!HttpUrl::parse(url.toStdString(), parsed) || !m_transport.setEndpoint(url.toStdString()))
        return false;
    m_site = {QString::fromStdString(parsed.host), static_cast<quint16>(parsed.port), parsed.tls, m_site.caFile};
    m_namespace = serviceNamespace(m_site.host);
    m_endpoint = url;
    return true;
}

void CVarnelServices::setCredentialHeader(Op op, const CredentialHeader &header)
{
    m_headers[static_cast<size_t>(op)] = header;
}

const CredentialHeader &CVarnelServices::credentialHeader(Op op) const
{
    return m_headers[static_cast<size_t>(op)];
}

void CVarnelServices::useServiceAccount(Op op)
{
    const ServiceAccount account = compiledServiceAccount();
    setCredentialHeader(op, {account.username, account.password});
}

CallResult CVarnelServices::fail(int status)
{
    m_status = status;
    return CallResult::Failed;
}

CallResult CVarnelServices::call(Op op, std::span<const SoapValue> in, std::span<const OutRef> out)
{
    m_status = StatusSuccess;
    m_fault = FaultRecord{};
    m_request.clear();

    for (const OutRef &ref : out)
        if (ref.target == nullptr)
            return CallResult::InvalidPointer;

    // The call frame: arguments must match the operation's parameters.
    const OperationDescriptor &desc = operation(op);
    if (static_cast<int>(in.size()) != desc.inCount() || static_cast<int>(out.size()) != desc.outCount())
        return fail(StatusFrameFailed);
    size_t inIndex = 0, outIndex = 0;
    for (const ParamDescriptor &p : desc.params) {
        const ParamType given = p.direction == Direction::In ? in[inIndex++].type : out[outIndex++].type;
        if (given != p.type)
            return fail(StatusFrameFailed);
    }

    try {
        m_request = writeRequestEnvelope(desc, m_namespace, m_headers[static_cast<size_t>(op)], in);
    } catch (const std::bad_alloc &) {
        m_request.clear();
        return fail(StatusWriteFailed);
    }

    HttpExchange exchange;
    try {
        exchange = m_transport.post(m_namespace.toStdString() + '/' + std::string(desc.name), m_request);
    } catch (const std::bad_alloc &) {
        m_transport.close();
        return fail(StatusHttpFailed);
    }
    if (!exchange.accepted) {
        if (exchange.status == 500) {
            bool readable = false;
            try {
                readable = readFaultEnvelope(exchange.body, m_fault);
            } catch (const std::bad_alloc &) {
                m_fault = FaultRecord{};
            }
            return fail(readable ? StatusSoapFault : StatusFaultUnreadable);
        }
        return fail(StatusHttpFailed);
    }

    SoapValues values;
    if (exchange.status == 202) {
        // Accepted without a body: the results keep their cleared values.
        for (const ParamDescriptor &p : desc.params)
            if (p.direction == Direction::Out)
                values.push_back(SoapValue::cleared(p.type));
    } else if (exchange.status != 200) {
        return fail(StatusHttpNotOk);
    } else {
        if (exchange.body.isEmpty())
            return fail(StatusResponseUnreadable);
        try {
            if (!readResponseEnvelope(exchange.body, desc, values, m_fault))
                return fail(StatusParseFailed);
        } catch (const std::bad_alloc &) {
            return fail(StatusParseFailed);
        }
    }

    for (size_t i = 0; i < out.size(); ++i)
        storeOut(out[i], values[i]);
    return CallResult::Ok;
}

// Typed methods: each passes its arguments in wire order to call().

namespace {
SoapValue S(const QString &s)
{
    return SoapValue::ofString(s);
}
SoapValue I(int i)
{
    return SoapValue::ofInt(i);
}
template <typename T> OutRef O(T *p)
{
    return OutRef::of(p);
}
} // namespace

CallResult CVarnelServices::IsUserExistsByName(const QString &userName, bool *IsUserExistsByNameResult)
{
    const SoapValue in[] = {S(userName)};
    const OutRef out[] = {O(IsUserExistsByNameResult)};
    return call(Op::IsUserExistsByName, in, out);
}

CallResult CVarnelServices::GetUserByUserName(const QString &userName, const QString &password,
                                              QString *GetUserByUserNameResult)
{
    const SoapValue in[] = {S(userName), S(password)};
    const OutRef out[] = {O(GetUserByUserNameResult)};
    return call(Op::GetUserByUserName, in, out);
}

CallResult CVarnelServices::SetUserOnline(int userID, const QString &ipAddress, bool *SetUserOnlineResult)
{
    const SoapValue in[] = {I(userID), S(ipAddress)};
    const OutRef out[] = {O(SetUserOnlineResult)};
    return call(Op::SetUserOnline, in, out);
}

CallResult CVarnelServices::SetUserOffline(int userID, bool *SetUserOfflineResult)
{
    const SoapValue in[] = {I(userID)};
    const OutRef out[] = {O(SetUserOfflineResult)};
    return call(Op::SetUserOffline, in, out);
}

CallResult CVarnelServices::Authenticate(int userID)
{
    const SoapValue in[] = {I(userID)};
    return call(Op::Authenticate, in, {});
}

CallResult CVarnelServices::CreateNewUser(const QString &userName, const QString &password, const QString &nickName,
                                          int sex, const QString &email, const QString &face, const QString &name,
                                          const QString &address, const QString &phone, const QString &leader,
                                          const QString &userGuid, bool *CreateNewUserResult)
{
    const SoapValue in[] = {S(userName), S(password), S(nickName), I(sex),    S(email),   S(face),
                            S(name),     S(address),  S(phone),    S(leader), S(userGuid)};
    const OutRef out[] = {O(CreateNewUserResult)};
    return call(Op::CreateNewUser, in, out);
}

CallResult CVarnelServices::EditUserInformation(int userID, const QString &password, const QString &nickName,
                                                const QString &email, const QString &face,
                                                bool *EditUserInformationResult)
{
    const SoapValue in[] = {I(userID), S(password), S(nickName), S(email), S(face)};
    const OutRef out[] = {O(EditUserInformationResult)};
    return call(Op::EditUserInformation, in, out);
}

CallResult CVarnelServices::GetUserByUserID(int userID, QString *GetUserByUserIDResult)
{
    const SoapValue in[] = {I(userID)};
    const OutRef out[] = {O(GetUserByUserIDResult)};
    return call(Op::GetUserByUserID, in, out);
}

CallResult CVarnelServices::GetUserListOnline(int pageSize, int pageIndex, QString *GetUserListOnlineResult,
                                              int *totalCount)
{
    const SoapValue in[] = {I(pageSize), I(pageIndex)};
    const OutRef out[] = {O(GetUserListOnlineResult), O(totalCount)};
    return call(Op::GetUserListOnline, in, out);
}

CallResult CVarnelServices::GetUserScoresByUserID(int userID, QString *GetUserScoresByUserIDResult)
{
    const SoapValue in[] = {I(userID)};
    const OutRef out[] = {O(GetUserScoresByUserIDResult)};
    return call(Op::GetUserScoresByUserID, in, out);
}

CallResult CVarnelServices::IsUserExistsByEmail(const QString &userEmail, bool *IsUserExistsByEmailResult)
{
    const SoapValue in[] = {S(userEmail)};
    const OutRef out[] = {O(IsUserExistsByEmailResult)};
    return call(Op::IsUserExistsByEmail, in, out);
}

CallResult CVarnelServices::CreatForumPost(int userID, const QString &TitleText, int forumColumnID, int forumPostPoint,
                                           const QString &contentText, bool *CreatForumPostResult, int *forumPostID)
{
    const SoapValue in[] = {I(userID), S(TitleText), I(forumColumnID), I(forumPostPoint), S(contentText)};
    const OutRef out[] = {O(CreatForumPostResult), O(forumPostID)};
    return call(Op::CreatForumPost, in, out);
}

CallResult CVarnelServices::CreatForumReply(int forumPostID, int userID, int forumColumnID, const QString &contentText,
                                            bool *CreatForumReplyResult, int *forumReplyID)
{
    const SoapValue in[] = {I(forumPostID), I(userID), I(forumColumnID), S(contentText)};
    const OutRef out[] = {O(CreatForumReplyResult), O(forumReplyID)};
    return call(Op::CreatForumReply, in, out);
}

CallResult CVarnelServices::GetForumPostByID(int postID, QString *GetForumPostByIDResult)
{
    const SoapValue in[] = {I(postID)};
    const OutRef out[] = {O(GetForumPostByIDResult)};
    return call(Op::GetForumPostByID, in, out);
}

CallResult CVarnelServices::GetForumPostListByColumn(int forumColumnID, int pageSize, int currentPageIndex,
                                                     QString *GetForumPostListByColumnResult, int *totalCount)
{
    const SoapValue in[] = {I(forumColumnID), I(pageSize), I(currentPageIndex)};
    const OutRef out[] = {O(GetForumPostListByColumnResult), O(totalCount)};
    return call(Op::GetForumPostListByColumn, in, out);
}

CallResult CVarnelServices::GetForumPostsByPostUserID(int userID, int pageSize, int pageIndex, int GroupID,
                                                      QString *GetForumPostsByPostUserIDResult, int *totalCount)
{
    const SoapValue in[] = {I(userID), I(pageSize), I(pageIndex), I(GroupID)};
    const OutRef out[] = {O(GetForumPostsByPostUserIDResult), O(totalCount)};
    return call(Op::GetForumPostsByPostUserID, in, out);
}

CallResult CVarnelServices::GetForumPostsByReplyUserID(int userID, int pageSize, int pageIndex, int GroupID,
                                                       QString *GetForumPostsByReplyUserIDResult, int *totalCount)
{
    const SoapValue in[] = {I(userID), I(pageSize), I(pageIndex), I(GroupID)};
    const OutRef out[] = {O(GetForumPostsByReplyUserIDResult), O(totalCount)};
    return call(Op::GetForumPostsByReplyUserID, in, out);
}

CallResult CVarnelServices::GetForumPostsByScoreUserID(int userID, int pageSize, int pageIndex, int GroupID,
                                                       QString *GetForumPostsByScoreUserIDResult, int *totalCount)
{
    const SoapValue in[] = {I(userID), I(pageSize), I(pageIndex), I(GroupID)};
    const OutRef out[] = {O(GetForumPostsByScoreUserIDResult), O(totalCount)};
    return call(Op::GetForumPostsByScoreUserID, in, out);
}

CallResult CVarnelServices::GetPostsByEndingUserID(int userID, int pageSize, int pageIndex, int GroupID,
                                                   QString *GetPostsByEndingUserIDResult, int *totalCount)
{
    const SoapValue in[] = {I(userID), I(pageSize), I(pageIndex), I(GroupID)};
    const OutRef out[] = {O(GetPostsByEndingUserIDResult), O(totalCount)};
    return call(Op::GetPostsByEndingUserID, in, out);
}

CallResult CVarnelServices::GetForumReplyListByPostID(int postID, QString *GetForumReplyListByPostIDResult)
{
    const SoapValue in[] = {I(postID)};
    const OutRef out[] = {O(GetForumReplyListByPostIDResult)};
    return call(Op::GetForumReplyListByPostID, in, out);
}

CallResult CVarnelServices::GetOverduePostsByUserID(int userID, int groupID, bool *GetOverduePostsByUserIDResult)
{
    const SoapValue in[] = {I(userID), I(groupID)};
    const OutRef out[] = {O(GetOverduePostsByUserIDResult)};
    return call(Op::GetOverduePostsByUserID, in, out);
}

CallResult CVarnelServices::GetSearchForumPostByID(int postID, QString *GetSearchForumPostByIDResult, int *totalCount)
{
    const SoapValue in[] = {I(postID)};
    const OutRef out[] = {O(GetSearchForumPostByIDResult), O(totalCount)};
    return call(Op::GetSearchForumPostByID, in, out);
}

CallResult CVarnelServices::GetSearchForumPostsByAuthor(int forumID, const QString &keyword, int pageSize,
                                                        int currentPageIndex,
                                                        QString *GetSearchForumPostsByAuthorResult, int *totalCount)
{
    const SoapValue in[] = {I(forumID), S(keyword), I(pageSize), I(currentPageIndex)};
    const OutRef out[] = {O(GetSearchForumPostsByAuthorResult), O(totalCount)};
    return call(Op::GetSearchForumPostsByAuthor, in, out);
}

CallResult CVarnelServices::GetSearchForumPostsByTitle(int forumID, const QString &keyword, int pageSize,
                                                       int currentPageIndex, QString *GetSearchForumPostsByTitleResult,
                                                       int *totalCount)
{
    const SoapValue in[] = {I(forumID), S(keyword), I(pageSize), I(currentPageIndex)};
    const OutRef out[] = {O(GetSearchForumPostsByTitleResult), O(totalCount)};
    return call(Op::GetSearchForumPostsByTitle, in, out);
}

CallResult CVarnelServices::SendThreadsByType(int type, QString *SendThreadsByTypeResult)
{
    const SoapValue in[] = {I(type)};
    const OutRef out[] = {O(SendThreadsByTypeResult)};
    return call(Op::SendThreadsByType, in, out);
}

CallResult CVarnelServices::GetExpertListOnline(int communityID, QString *GetExpertListOnlineResult)
{
    const SoapValue in[] = {I(communityID)};
    const OutRef out[] = {O(GetExpertListOnlineResult)};
    return call(Op::GetExpertListOnline, in, out);
}

CallResult CVarnelServices::GetExpertListOnlineByPostID(int postID, QString *GetExpertListOnlineByPostIDResult)
{
    const SoapValue in[] = {I(postID)};
    const OutRef out[] = {O(GetExpertListOnlineByPostIDResult)};
    return call(Op::GetExpertListOnlineByPostID, in, out);
}

CallResult CVarnelServices::GetReplierListOnlineByPostID(int postID, QString *GetReplierListOnlineByPostIDResult)
{
    const SoapValue in[] = {I(postID)};
    const OutRef out[] = {O(GetReplierListOnlineByPostIDResult)};
    return call(Op::GetReplierListOnlineByPostID, in, out);
}

CallResult CVarnelServices::GetMessage(int userID, QString *GetMessageResult)
{
    const SoapValue in[] = {I(userID)};
    const OutRef out[] = {O(GetMessageResult)};
    return call(Op::GetMessage, in, out);
}

CallResult CVarnelServices::SendMessage(int from, int to, const QString &msg, bool *SendMessageResult)
{
    const SoapValue in[] = {I(from), I(to), S(msg)};
    const OutRef out[] = {O(SendMessageResult)};
    return call(Op::SendMessage, in, out);
}

} // namespace quillora::service
