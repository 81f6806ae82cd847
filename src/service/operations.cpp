#include "operations.h"

#include <array>
#include <string>

namespace quillora::service {
namespace {

constexpr ParamDescriptor inS(std::string_view n) { return {n, ParamType::String, Direction::In}; }
constexpr ParamDescriptor inI(std::string_view n) { return {n, ParamType::Int, Direction::In}; }
constexpr ParamDescriptor outS(std::string_view n) { return {n, ParamType::String, Direction::Out}; }
constexpr ParamDescriptor outI(std::string_view n) { return {n, ParamType::Int, Direction::Out}; }
constexpr ParamDescriptor outB(std::string_view n) { return {n, ParamType::Boolean, Direction::Out}; }

// Parameter lists, in wire order. Names are the service's own, letter for letter.
constexpr ParamDescriptor pAuthenticate[] = {inI("userID")};
constexpr ParamDescriptor pCreateNewUser[] = {
    inS("userName"), inS("password"), inS("nickName"), inI("sex"),    inS("email"),  inS("face"),
    inS("name"),     inS("address"),  inS("phone"),    inS("leader"), inS("userGuid"), outB("CreateNewUserResult")};
constexpr ParamDescriptor pCreatForumPost[] = {inI("userID"),         inS("TitleText"),   inI("forumColumnID"),
                                               inI("forumPostPoint"), inS("contentText"), outB("CreatForumPostResult"),
                                               outI("forumPostID")};
constexpr ParamDescriptor pCreatForumReply[] = {inI("forumPostID"),   inI("userID"),
                                                inI("forumColumnID"), inS("contentText"),
                                                outB("CreatForumReplyResult"), outI("forumReplyID")};
constexpr ParamDescriptor pEditUserInformation[] = {inI("userID"), inS("password"), inS("nickName"),
                                                    inS("email"),  inS("face"),     outB("EditUserInformationResult")};
constexpr ParamDescriptor pGetExpertListOnline[] = {inI("communityID"), outS("GetExpertListOnlineResult")};
constexpr ParamDescriptor pGetExpertListOnlineByPostID[] = {inI("postID"), outS("GetExpertListOnlineByPostIDResult")};
constexpr ParamDescriptor pGetForumPostByID[] = {inI("postID"), outS("GetForumPostByIDResult")};
constexpr ParamDescriptor pGetForumPostListByColumn[] = {inI("forumColumnID"), inI("pageSize"), inI("currentPageIndex"),
                                                         outS("GetForumPostListByColumnResult"), outI("totalCount")};
constexpr ParamDescriptor pGetForumPostsByPostUserID[] = {inI("userID"), inI("pageSize"), inI("pageIndex"), inI("GroupID"),
                                                          outS("GetForumPostsByPostUserIDResult"), outI("totalCount")};
constexpr ParamDescriptor pGetForumPostsByReplyUserID[] = {inI("userID"), inI("pageSize"), inI("pageIndex"), inI("GroupID"),
                                                           outS("GetForumPostsByReplyUserIDResult"), outI("totalCount")};
constexpr ParamDescriptor pGetForumPostsByScoreUserID[] = {inI("userID"), inI("pageSize"), inI("pageIndex"), inI("GroupID"),
                                                           outS("GetForumPostsByScoreUserIDResult"), outI("totalCount")};
constexpr ParamDescriptor pGetForumReplyListByPostID[] = {inI("postID"), outS("GetForumReplyListByPostIDResult")};
constexpr ParamDescriptor pGetMessage[] = {inI("userID"), outS("GetMessageResult")};
constexpr ParamDescriptor pGetOverduePostsByUserID[] = {inI("userID"), inI("groupID"), outB("GetOverduePostsByUserIDResult")};
constexpr ParamDescriptor pGetPostsByEndingUserID[] = {inI("userID"), inI("pageSize"), inI("pageIndex"), inI("GroupID"),
                                                       outS("GetPostsByEndingUserIDResult"), outI("totalCount")};
constexpr ParamDescriptor pGetReplierListOnlineByPostID[] = {inI("postID"), outS("GetReplierListOnlineByPostIDResult")};
constexpr ParamDescriptor pGetSearchForumPostByID[] = {inI("postID"), outS("GetSearchForumPostByIDResult"), outI("totalCount")};
constexpr ParamDescriptor pGetSearchForumPostsByAuthor[] = {inI("forumID"), inS("keyword"), inI("pageSize"),
                                                            inI("currentPageIndex"), outS("GetSearchForumPostsByAuthorResult"),
                                                            outI("totalCount")};
constexpr ParamDescriptor pGetSearchForumPostsByTitle[] = {inI("forumID"), inS("keyword"), inI("pageSize"),
                                                           inI("currentPageIndex"), outS("GetSearchForumPostsByTitleResult"),
                                                           outI("totalCount")};
constexpr ParamDescriptor pGetUserByUserID[] = {inI("userID"), outS("GetUserByUserIDResult")};
constexpr ParamDescriptor pGetUserByUserName[] = {inS("userName"), inS("password"), outS("GetUserByUserNameResult")};
constexpr ParamDescriptor pGetUserListOnline[] = {inI("pageSize"), inI("pageIndex"), outS("GetUserListOnlineResult"),
                                                  outI("totalCount")};
constexpr ParamDescriptor pGetUserScoresByUserID[] = {inI("userID"), outS("GetUserScoresByUserIDResult")};
constexpr ParamDescriptor pIsUserExistsByEmail[] = {inS("userEmail"), outB("IsUserExistsByEmailResult")};
constexpr ParamDescriptor pIsUserExistsByName[] = {inS("userName"), outB("IsUserExistsByNameResult")};
constexpr ParamDescriptor pSendMessage[] = {inI("from"), inI("to"), inS("msg"), outB("SendMessageResult")};
constexpr ParamDescriptor pSendThreadsByType[] = {inI("type"), outS("SendThreadsByTypeResult")};
constexpr ParamDescriptor pSetUserOffline[] = {inI("userID"), outB("SetUserOfflineResult")};
constexpr ParamDescriptor pSetUserOnline[] = {inI("userID"), inS("ipAddress"), outB("SetUserOnlineResult")};

#define QUILLORA_OP(name) OperationDescriptor{Op::name, #name, p##name}

constexpr std::array<OperationDescriptor, kOperationCount> kOperations = {
    QUILLORA_OP(Authenticate),
    QUILLORA_OP(CreateNewUser),
    QUILLORA_OP(CreatForumPost),
    QUILLORA_OP(CreatForumReply),
    QUILLORA_OP(EditUserInformation),
    QUILLORA_OP(GetExpertListOnline),
    QUILLORA_OP(GetExpertListOnlineByPostID),
    QUILLORA_OP(GetForumPostByID),
    QUILLORA_OP(GetForumPostListByColumn),
    QUILLORA_OP(GetForumPostsByPostUserID),
    QUILLORA_OP(GetForumPostsByReplyUserID),
    QUILLORA_OP(GetForumPostsByScoreUserID),
    QUILLORA_OP(GetForumReplyListByPostID),
    QUILLORA_OP(GetMessage),
    QUILLORA_OP(GetOverduePostsByUserID),
    QUILLORA_OP(GetPostsByEndingUserID),
    QUILLORA_OP(GetReplierListOnlineByPostID),
    QUILLORA_OP(GetSearchForumPostByID),
    QUILLORA_OP(GetSearchForumPostsByAuthor),
    QUILLORA_OP(GetSearchForumPostsByTitle),
    QUILLORA_OP(GetUserByUserID),
    QUILLORA_OP(GetUserByUserName),
    QUILLORA_OP(GetUserListOnline),
    QUILLORA_OP(GetUserScoresByUserID),
    QUILLORA_OP(IsUserExistsByEmail),
    QUILLORA_OP(IsUserExistsByName),
    QUILLORA_OP(SendMessage),
    QUILLORA_OP(SendThreadsByType),
    QUILLORA_OP(SetUserOffline),
    QUILLORA_OP(SetUserOnline),
};

#undef QUILLORA_OP

// The table is indexed by Op: keep the enum and the rows in the same order.
constexpr bool tableMatchesEnum()
{
    for (int i = 0; i < kOperationCount; ++i)
        if (static_cast<int>(kOperations[i].id) != i)
            return false;
    return true;
}
static_assert(tableMatchesEnum(), "kOperations rows must follow the order of Op");

// In-parameters always precede out-parameters.
constexpr bool inBeforeOut()
{
    for (const auto &op : kOperations) {
        bool seenOut = false;
        for (const auto &p : op.params) {
            if (p.direction == Direction::Out)
                seenOut = true;
            else if (seenOut)
                return false;
        }
    }
    return true;
}
static_assert(inBeforeOut(), "in-parameters must come before out-parameters");

} // namespace

int OperationDescriptor::inCount() const
{
    int n = 0;
    for (const auto &p : params)
        n += p.direction == Direction::In ? 1 : 0;
    return n;
}

int OperationDescriptor::outCount() const { return static_cast<int>(params.size()) - inCount(); }

std::string OperationDescriptor::responseName() const { return std::string(name) + "Response"; }

std::span<const OperationDescriptor> operations() { return kOperations; }

const OperationDescriptor &operation(Op op) { return kOperations[static_cast<int>(op)]; }

const OperationDescriptor *findOperation(std::string_view name)
{
    for (const auto &op : kOperations)
        if (op.name == name)
            return &op;
    return nullptr;
}

} // namespace quillora::service
