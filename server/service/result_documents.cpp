#include "result_documents.h"

#include "community_rules.h"

#include <string>

namespace varnel::documents {

namespace {

// Under `root`, one `record` element for each row, whose fields
// `write(doc, row)` gives.
template <typename Row, typename Write>
EscapedDocument records(const char *root, const char *record, std::span<const Row> rows, Write write)
{
    DocumentWriter doc(root);
    for (const Row &row : rows) {
        doc.beginRecord(record);
        write(doc, row);
        doc.endRecord();
    }
    return doc.finish();
}

template <typename Row> std::span<const Row> atMostOne(const std::optional<Row> &row)
{
    return row ? std::span<const Row>(&*row, 1) : std::span<const Row>();
}

std::string questionHistory(const Member &m)
{
    return std::to_string(m.questionsAsked) + " asked, " + std::to_string(m.questionsClosed) + " closed";
}

std::string answerHistory(const Member &m)
{
    return std::to_string(m.answersGiven) + " answered, " + std::to_string(m.answersScored) + " scored";
}

} // namespace

EscapedDocument signIn(const Member &member)
{
    return records("Users", "User", std::span<const Member>(&member, 1), [](DocumentWriter &doc, const Member &m) {
        doc.field("PKID", m.id)
            .field("UserName", m.userName)
            .field("Password", m.password)
            .field("NickName", m.nickName)
            .field("Face", m.face)
            .field("Points", m.points)
            .field("Sex", m.sex)
            .field("Credit", m.credit)
            .field("Email", m.email)
            .field("Grade", m.grade)
            .field("TotalScore", m.totalScore)
            .field("Registered", formatTime(m.registered))
            .field("CustomHead", m.customHead ? 1 : 0)
            .field("QuestionHistory", questionHistory(m))
            .field("AnswerHistory", answerHistory(m))
            .field("Role", m.role)
            .field("Online", m.online ? 1 : 0)
            .field("Level", m.level);
    });
}

EscapedDocument profile(const std::optional<Member> &member)
{
    return records("Users", "User", atMostOne(member), [](DocumentWriter &doc, const Member &m) {
        doc.field("PKID", m.id)
            .field("UserName", m.userName)
            .field("Password", m.password)
            .field("NickName", m.nickName)
            .field("Email", m.email)
            .field("Face", m.face)
            .field("Points", m.points)
            .field("Credit", m.credit)
            .field("Sex", m.sex)
            .field("Grade", m.grade)
            .field("Level", m.level)
            .field("Role", m.role)
            .field("Name", m.realName)
            .field("Registered", formatTime(m.registered))
            .field("CustomHead", m.customHead ? 1 : 0)
            .field("Address", m.address)
            .field("Phone", m.phone);
    });
}

EscapedDocument onlineMembers(std::span<const Member> members)
{
    return records("Users", "User", members, [](DocumentWriter &doc, const Member &m) {
        doc.field("PKID", m.id)
            .field("UserName", m.userName)
            .field("NickName", m.nickName)
            .field("Face", m.face)
            .field("Credit", m.credit)
            .field("Level", m.level)
            .field("CustomHead", m.customHead ? 1 : 0);
    });
}

EscapedDocument zoneExperts(std::span<const Expert> experts)
{
    return records("Users", "User", experts, [](DocumentWriter &doc, const Expert &e) {
        doc.field("PKID", e.member.id)
            .field("UserName", e.member.userName)
            .field("NickName", e.member.nickName)
            .field("ZoneScore", e.zoneScore)
            .field("Face", e.member.face)
            .field("Credit", e.member.credit)
            .field("ZoneRank", e.zoneRank)
            .field("ExpertColumn", e.expertColumn)
            .field("CustomHead", e.member.customHead ? 1 : 0);
    });
}

EscapedDocument questionPeople(std::span<const Expert> people)
{
    return records("Users", "User", people, [](DocumentWriter &doc, const Expert &e) {
        doc.field("PKID", e.member.id)
            .field("UserName", e.member.userName)
            .field("NickName", e.member.nickName)
            .field("Face", e.member.face)
            .field("Credit", e.member.credit)
            .field("ZoneRank", e.zoneRank)
            .field("CustomHead", e.member.customHead ? 1 : 0);
    });
}

EscapedDocument question(const std::optional<Question> &question)
{
    return records("ForumPostDocument", "ForumPost", atMostOne(question), [](DocumentWriter &doc, const Question &q) {
        doc.field("PKID", q.id)
            .field("UserID", q.askerId)
            .field("UserName", q.askerName)
            .field("NickName", q.askerNick)
            .field("ColumnID", q.column)
            .field("GroupID", q.zone)
            .field("Points", q.points)
            .field("PostDate", formatTime(q.posted))
            .field("State", std::string(questionStateText(q.state)))
            .field("Replies", q.answerCount)
            .field("Content", q.text)
            .field("Title", q.title)
            .field("ClosedDate", q.closed ? formatTime(q.closed) : std::string());
    });
}

EscapedDocument answers(std::span<const Answer> answers)
{
    return records("ForumReplyList", "ForumReply", answers, [](DocumentWriter &doc, const Answer &a) {
        doc.field("PKID", a.id)
            .field("PostID", a.questionId)
            .field("UserID", a.answererId)
            .field("UserName", a.answererName)
            .field("NickName", a.answererNick)
            .field("Content", a.text)
            .field("ReplyDate", formatTime(a.posted))
            .field("Points", a.pointsAwarded);
    });
}

EscapedDocument postList(std::span<const Question> questions)
{
    return records("ForumPostList", "ForumPosts", questions, [](DocumentWriter &doc, const Question &q) {
        doc.field("PKID", q.id)
            .field("Title", q.title)
            .field("UserName", q.askerName)
            .field("Points", q.points)
            .field("Replies", q.answerCount)
            .field("PostDate", formatTime(q.posted))
            .field("ColumnID", q.column)
            .field("State", std::string(questionStateText(q.state)));
    });
}

EscapedDocument scores(std::span<const ZoneScore> scores)
{
    return records("Scores", "User", scores, [](DocumentWriter &doc, const ZoneScore &s) {
        doc.field("GroupID", s.zone)
            .field("Score", s.score)
            .field("Area", s.area)
            .field("Rank", s.rank)
            .field("NextRankScore", s.zone == 0 ? 0 : scoreForNextRank(s.score));
    });
}

EscapedDocument announcements(std::span<const Announcement> announcements)
{
    return records("Announcements", "ForumPosts", announcements, [](DocumentWriter &doc, const Announcement &a) {
        doc.field("Kind", a.kind)
            .field("Title", a.title)
            .field("Target", a.target)
            .field("PKID", a.id)
            .field("GroupID", a.zone)
            .field("PostDate", formatTime(a.posted));
    });
}

EscapedDocument messages(std::span<const Message> messages)
{
    return records("Messages", "Message", messages, [](DocumentWriter &doc, const Message &msg) {
        doc.field("FromID", msg.fromId)
            .field("Content", msg.text)
            .field("UserName", msg.sender.userName)
            .field("NickName", msg.sender.nickName)
            .field("Face", msg.sender.face)
            .field("Credit", msg.sender.credit)
            .field("SendTime", formatTime(msg.sent))
            .field("CustomFace", std::to_string(msg.sender.id))
            .field("CustomHead", msg.sender.customHead ? 1 : 0);
    });
}

} // namespace varnel::documents
