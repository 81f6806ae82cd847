// The catalogue of the VarnelServices operations: one constant table that
// drives the request writer, the response reader, the proxy, the server and
// varnel-call alike.
#pragma once

#include <span>
#include <string_view>

namespace quillora::service {

enum class ParamType { String, Int, Boolean };
enum class Direction { In, Out };

struct ParamDescriptor {
    std::string_view name;  // element name, case-sensitive
    ParamType type;
    Direction direction;
    // Strings may be null on the wire (xsi:nil); ints and booleans may not,
    // and every int or boolean result is required in a response.
    constexpr bool nullable() const { return type == ParamType::String; }
};

// Identifies an operation; the numeric value indexes operations().
enum class Op : int {
    Authenticate,
    CreateNewUser,
    CreatForumPost,
    CreatForumReply,
    EditUserInformation,
    GetExpertListOnline,
    GetExpertListOnlineByPostID,
    GetForumPostByID,
    GetForumPostListByColumn,
    GetForumPostsByPostUserID,
    GetForumPostsByReplyUserID,
    GetForumPostsByScoreUserID,
    GetForumReplyListByPostID,
    GetMessage,
    GetOverduePostsByUserID,
    GetPostsByEndingUserID,
    GetReplierListOnlineByPostID,
    GetSearchForumPostByID,
    GetSearchForumPostsByAuthor,
    GetSearchForumPostsByTitle,
    GetUserByUserID,
    GetUserByUserName,
    GetUserListOnline,
    GetUserScoresByUserID,
    IsUserExistsByEmail,
    IsUserExistsByName,
    SendMessage,
    SendThreadsByType,
    SetUserOffline,
    SetUserOnline,
};

inline constexpr int kOperationCount = 30;

struct OperationDescriptor {
    Op id;
    std::string_view name;                  // request wrapper element and SOAPAction suffix
    std::span<const ParamDescriptor> params;  // wire order: in-parameters, then out-parameters

    int inCount() const;
    int outCount() const;
    // The response wrapper's name: the operation name followed by "Response".
    std::string responseName() const;
};

// All operations, indexed by Op.
std::span<const OperationDescriptor> operations();
const OperationDescriptor &operation(Op op);
// nullptr when no operation has that exact (case-sensitive) name.
const OperationDescriptor *findOperation(std::string_view name);

} // namespace quillora::service
