// The 30 operations of the VarnelServices web service as its published
// interface lists them, written out by hand: names, parameter names, types and
// wire order. It shares nothing with the operation table of src/service, so
// a wrong name or a swapped parameter there cannot also be wrong here.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace quillora::servicetest {

enum class Kind { Int, String, Boolean, Document };

struct PublishedParam {
    std::string name;
    Kind kind;
};

struct PublishedOperation {
    std::string name;
    std::vector<PublishedParam> in;  // wire order
    std::vector<PublishedParam> out; // the result first, then the extra out-parameters
};

inline const std::vector<PublishedOperation> &publishedOperations()
{
    using K = Kind;
    static const std::vector<PublishedOperation> ops = {
        // Sign-in and sign-out
        {"IsUserExistsByName", {{"userName", K::String}}, {{"IsUserExistsByNameResult", K::Boolean}}},
        {"GetUserByUserName",
         {{"userName", K::String}, {"password", K::String}},
         {{"GetUserByUserNameResult", K::Document}}},
        {"SetUserOnline", {{"userID", K::Int}, {"ipAddress", K::String}}, {{"SetUserOnlineResult", K::Boolean}}},
        {"SetUserOffline", {{"userID", K::Int}}, {{"SetUserOfflineResult", K::Boolean}}},
        // The other 26
        {"Authenticate", {{"userID", K::Int}}, {}},
        {"CreateNewUser",
         {{"userName", K::String},
          {"password", K::String},
          {"nickName", K::String},
          {"sex", K::Int},
          {"email", K::String},
          {"face", K::String},
          {"name", K::String},
          {"address", K::String},
          {"phone", K::String},
          {"leader", K::String},
          {"userGuid", K::String}},
         {{"CreateNewUserResult", K::Boolean}}},
        {"CreatForumPost",
         {{"userID", K::Int},
          {"TitleText", K::String},
          {"forumColumnID", K::Int},
          {"forumPostPoint", K::Int},
          {"contentText", K::String}},
         {{"CreatForumPostResult", K::Boolean}, {"forumPostID", K::Int}}},
        {"CreatForumReply",
         {{"forumPostID", K::Int}, {"userID", K::Int}, {"forumColumnID", K::Int}, {"contentText", K::String}},
         {{"CreatForumReplyResult", K::Boolean}, {"forumReplyID", K::Int}}},
        {"EditUserInformation",
         {{"userID", K::Int},
          {"password", K::String},
          {"nickName", K::String},
          {"email", K::String},
          {"face", K::String}},
         {{"EditUserInformationResult", K::Boolean}}},
        {"GetExpertListOnline", {{"communityID", K::Int}}, {{"GetExpertListOnlineResult", K::Document}}},
        {"GetExpertListOnlineByPostID", {{"postID", K::Int}}, {{"GetExpertListOnlineByPostIDResult", K::Document}}},
        {"GetForumPostByID", {{"postID", K::Int}}, {{"GetForumPostByIDResult", K::Document}}},
        {"GetForumPostListByColumn",
         {{"forumColumnID", K::Int}, {"pageSize", K::Int}, {"currentPageIndex", K::Int}},
         {{"GetForumPostListByColumnResult", K::Document}, {"totalCount", K::Int}}},
        {"GetForumPostsByPostUserID",
         {{"userID", K::Int}, {"pageSize", K::Int}, {"pageIndex", K::Int}, {"GroupID", K::Int}},
         {{"GetForumPostsByPostUserIDResult", K::Document}, {"totalCount", K::Int}}},
        {"GetForumPostsByReplyUserID",
         {{"userID", K::Int}, {"pageSize", K::Int}, {"pageIndex", K::Int}, {"GroupID", K::Int}},
         {{"GetForumPostsByReplyUserIDResult", K::Document}, {"totalCount", K::Int}}},
        {"GetForumPostsByScoreUserID",
         {{"userID", K::Int}, {"pageSize", K::Int}, {"pageIndex", K::Int}, {"GroupID", K::Int}},
         {{"GetForumPostsByScoreUserIDResult", K::Document}, {"totalCount", K::Int}}},
        {"GetForumReplyListByPostID", {{"postID", K::Int}}, {{"GetForumReplyListByPostIDResult", K::Document}}},
        {"GetMessage", {{"userID", K::Int}}, {{"GetMessageResult", K::Document}}},
        {"GetOverduePostsByUserID",
         {{"userID", K::Int}, {"groupID", K::Int}},
         {{"GetOverduePostsByUserIDResult", K::Boolean}}},
        {"GetPostsByEndingUserID",
         {{"userID", K::Int}, {"pageSize", K::Int}, {"pageIndex", K::Int}, {"GroupID", K::Int}},
         {{"GetPostsByEndingUserIDResult", K::Document}, {"totalCount", K::Int}}},
        {"GetReplierListOnlineByPostID", {{"postID", K::Int}}, {{"GetReplierListOnlineByPostIDResult", K::Document}}},
        {"GetSearchForumPostByID",
         {{"postID", K::Int}},
         {{"GetSearchForumPostByIDResult", K::Document}, {"totalCount", K::Int}}},
        {"GetSearchForumPostsByAuthor",
         {{"forumID", K::Int}, {"keyword", K::String}, {"pageSize", K::Int}, {"currentPageIndex", K::Int}},
         {{"GetSearchForumPostsByAuthorResult", K::Document}, {"totalCount", K::Int}}},
        {"GetSearchForumPostsByTitle",
         {{"forumID", K::Int}, {"keyword", K::String}, {"pageSize", K::Int}, {"currentPageIndex", K::Int}},
         {{"GetSearchForumPostsByTitleResult", K::Document}, {"totalCount", K::Int}}},
        {"GetUserByUserID", {{"userID", K::Int}}, {{"GetUserByUserIDResult", K::Document}}},
        {"GetUserListOnline",
         {{"pageSize", K::Int}, {"pageIndex", K::Int}},
         {{"GetUserListOnlineResult", K::Document}, {"totalCount", K::Int}}},
        {"GetUserScoresByUserID", {{"userID", K::Int}}, {{"GetUserScoresByUserIDResult", K::Document}}},
        {"IsUserExistsByEmail", {{"userEmail", K::String}}, {{"IsUserExistsByEmailResult", K::Boolean}}},
        {"SendMessage", {{"from", K::Int}, {"to", K::Int}, {"msg", K::String}}, {{"SendMessageResult", K::Boolean}}},
        {"SendThreadsByType", {{"type", K::Int}}, {{"SendThreadsByTypeResult", K::Document}}},
    };
    return ops;
}

} // namespace quillora::servicetest
