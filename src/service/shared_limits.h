// The limits the client and varnel-server must hold alike: what the client
// lets a member type or offer is what the server takes, and how many records
// a list answer carries is how many the client reads of it. Both sides take
// these from here, so a change of one number reaches both. Limits that only
// one side keeps stay with that side.
#pragma once

namespace quillora::service {

// A question's title, in characters.
inline constexpr int kMaxTitleLength = 200;
// A question's or a solution's text, in characters.
inline constexpr int kMaxPostTextLength = 8000;

// The reward a question may offer, in points.
inline constexpr int kMinQuestionPoints = 40;
inline constexpr int kMaxQuestionPoints = 200;
// The credit a member needs to ask a question, and to post a solution.
inline constexpr int kMinCreditToAsk = 60;
inline constexpr int kMinCreditToAnswer = 50;

// Built-in head pictures, numbered 1 to this.
inline constexpr int kHeadPictureCount = 24;

// The most records one answer carries: the zone's online experts
// (GetExpertListOnline), a question's online experts
// (GetExpertListOnlineByPostID), the members online who answered it
// (GetReplierListOnlineByPostID), a zone's announcements (SendThreadsByType)
// and the messages one poll takes (GetMessage).
inline constexpr int kZoneExpertsMax = 48;
inline constexpr int kQuestionExpertsMax = 20;
inline constexpr int kAnswerProvidersMax = 60;
inline constexpr int kAnnouncementsMax = 15;
inline constexpr int kMessagesMax = 10;

} // namespace quillora::service
