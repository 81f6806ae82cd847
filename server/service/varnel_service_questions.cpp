// Questions and answers: asking, answering, the question with its answers,
// the eight question lists and searches, and the member's scores.
#include "community_rules.h"
#include "result_documents.h"
#include "varnel_service_internal.h"

#include <QRegularExpression>

namespace varnel::handlers {

namespace {

using O = qs::Op;

OutValues creatForumPost(const Call &call, const qs::SoapValues &in)
{
    checkLength(in[1], TextLimits::kTitle, "title");
    checkLength(in[4], TextLimits::kText, "question text");
    call.takeAllowance("question", std::to_string(in[0].integer), call.options.guard.questionsPerMember, "questions");
    const PostResult r =
        call.store.createQuestion(in[0].integer, trimmedUtf8(in[1]), in[2].integer, in[3].integer, trimmedUtf8(in[4]));
    return {qs::SoapValue::ofBool(r.status == PostResult::Ok), qs::SoapValue::ofInt(r.id)};
}

OutValues creatForumReply(const Call &call, const qs::SoapValues &in)
{
    checkLength(in[3], TextLimits::kText, "solution text");
    call.takeAllowance("answer", std::to_string(in[1].integer), call.options.guard.answersPerMember, "solutions");
    const ReplyResult r = call.store.createAnswer(in[0].integer, in[1].integer, in[2].integer, utf8(in[3]));
    if (r.status == ReplyResult::TooManyAnswers)
        throw ClientFault{
            QStringLiteral("You have answered this question %1 times already.").arg(kMaxAnswersPerQuestion)};
    return {qs::SoapValue::ofBool(r.status == ReplyResult::Ok), qs::SoapValue::ofInt(r.id)};
}

// The question document: one `ForumPost` record whose field 11 is the title.
OutValues getForumPostByID(const Call &call, const qs::SoapValues &in)
{
    return {documents::question(call.store.question(in[0].integer))};
}

// Every answer of a question, oldest first.
OutValues getForumReplyListByPostID(const Call &call, const qs::SoapValues &in)
{
    const auto q = call.store.question(in[0].integer);
    return {documents::answers(q ? std::span<const Answer>(q->answers) : std::span<const Answer>())};
}

OutValues getOverduePostsByUserID(const Call &call, const qs::SoapValues &in)
{
    return {qs::SoapValue::ofBool(call.store.hasOverdueQuestions(in[0].integer, in[1].integer))};
}

// The answer of the eight list operations: the page and the size of the whole list.
OutValues postList(const QuestionPage &page)
{
    return {documents::postList(page.rows), qs::SoapValue::ofInt(page.totalCount)};
}

OutValues getForumPostListByColumn(const Call &call, const qs::SoapValues &in)
{
    return postList(call.store.questionsInColumn(in[0].integer, pageOf(in[1], in[2])));
}

// The member's questions of one kind in a zone: (userID, pageSize,
// pageIndex, groupID), answered from the store's list `questions`.
template <QuestionPage (CommunityStore::*questions)(int userID, int zone, Page page)>
OutValues memberQuestions(const Call &call, const qs::SoapValues &in)
{
    return postList((call.store.*questions)(in[0].integer, in[3].integer, pageOf(in[1], in[2])));
}

OutValues getSearchForumPostByID(const Call &call, const qs::SoapValues &in)
{
    return postList(call.store.searchById(in[0].integer));
}

OutValues getSearchForumPostsByTitle(const Call &call, const qs::SoapValues &in)
{
    checkLength(in[1], TextLimits::kSearchText, "search text");
    if (in[1].string.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts).size() >
        TextLimits::kSearchWords)
        throw ClientFault{QStringLiteral("Search for at most %1 words at once.").arg(TextLimits::kSearchWords)};
    return postList(call.store.searchByTitle(in[0].integer, utf8(in[1]), pageOf(in[2], in[3])));
}

// `forumID` is not a filter here: the client always sends 1 and means every zone.
OutValues getSearchForumPostsByAuthor(const Call &call, const qs::SoapValues &in)
{
    checkLength(in[1], TextLimits::kUserName, "user name");
    return postList(call.store.searchByAsker(utf8(in[1]), pageOf(in[2], in[3])));
}

OutValues getUserScoresByUserID(const Call &call, const qs::SoapValues &in)
{
    return {documents::scores(call.store.scores(in[0].integer))};
}

const HandlerEntry kHandlers[] = {
    {O::CreatForumPost, creatForumPost},
    {O::CreatForumReply, creatForumReply},
    {O::GetForumPostByID, getForumPostByID},
    {O::GetForumReplyListByPostID, getForumReplyListByPostID},
    {O::GetOverduePostsByUserID, getOverduePostsByUserID},
    {O::GetForumPostListByColumn, getForumPostListByColumn},
    {O::GetForumPostsByPostUserID, memberQuestions<&CommunityStore::questionsAskedBy>},
    {O::GetPostsByEndingUserID, memberQuestions<&CommunityStore::questionsToClose>},
    {O::GetForumPostsByReplyUserID, memberQuestions<&CommunityStore::questionsAnsweredBy>},
    {O::GetForumPostsByScoreUserID, memberQuestions<&CommunityStore::questionsScoredBy>},
    {O::GetSearchForumPostByID, getSearchForumPostByID},
    {O::GetSearchForumPostsByTitle, getSearchForumPostsByTitle},
    {O::GetSearchForumPostsByAuthor, getSearchForumPostsByAuthor},
    {O::GetUserScoresByUserID, getUserScoresByUserID},
};

} // namespace

std::span<const HandlerEntry> questionHandlers()
{
    return kHandlers;
}

} // namespace varnel::handlers
