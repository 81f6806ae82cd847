// The result documents the operations answer in string results. The client
// reads each record's fields by position, so the order here is the contract;
// the names are for people reading the XML.
#pragma once

#include "community_store.h"
#include "soap_response.h"

#include <optional>
#include <span>
#include <vector>

namespace varnel::documents {

// GetUserByUserName: the member signing in, PKID first, 18 fields.
EscapedDocument signIn(const Member &member);
// GetUserByUserID: the profile (none for an unknown member), 17 fields.
EscapedDocument profile(const std::optional<Member> &member);
// GetUserListOnline: a page of the members online, 7 fields.
EscapedDocument onlineMembers(std::span<const Member> members);
// GetExpertListOnline: the experts of a zone, 9 fields.
EscapedDocument zoneExperts(std::span<const Expert> experts);
// Experts of a question and its answer providers, 7 fields.
EscapedDocument questionPeople(std::span<const Expert> people);
// GetForumPostByID: the question (none for an unknown one), 13 fields.
EscapedDocument question(const std::optional<Question> &question);
// GetForumReplyListByPostID: the question's answers, oldest first, 8 fields.
EscapedDocument answers(std::span<const Answer> answers);
// The eight list operations: fields 0-6 as the client's list shows them,
// then the question's state.
EscapedDocument postList(std::span<const Question> questions);
// GetUserScoresByUserID: one row per zone, then one for all zones.
EscapedDocument scores(std::span<const ZoneScore> scores);
// SendThreadsByType: a zone's announcements, newest first, 6 fields.
EscapedDocument announcements(std::span<const Announcement> announcements);
// GetMessage: the messages a poll takes, with their senders, 9 fields.
EscapedDocument messages(std::span<const Message> messages);

} // namespace varnel::documents
