// The community's storage, behind one narrow, engine-neutral interface.
//
// Every method is one transaction: it either happens whole or not at all, and
// the community rules that span several rows (reserving a question's points,
// paying them out on closing, delivering messages) are applied inside it.
// Texts are UTF-8; times are seconds since the Unix epoch (UTC).
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace varnel {

using Timestamp = std::int64_t;

enum class QuestionState { Open, Closed, Overdue };

// "Open", "Closed" or "Overdue": how documents and pages name a state.
inline const char *questionStateText(QuestionState state)
{
    switch (state) {
    case QuestionState::Open:
        return "Open";
    case QuestionState::Closed:
        return "Closed";
    case QuestionState::Overdue:
        return "Overdue";
    }
    return "Open";
}

// Roles: lower is more powerful. Below 4 may post announcements.
enum Role : int { RoleAdministrator = 1, RoleModerator = 2, RoleZoneModerator = 3, RoleExpert = 4, RoleMember = 5 };

struct Member {
    int id = 0;
    std::string userName;
    std::string password;
    std::string nickName;
    int sex = 0;
    std::string email;
    int face = 1; // built-in head image number, 1 to 24
    std::string realName;
    std::string address;
    std::string phone;
    std::string leader;   // recommender's user name, may be empty
    std::string userGuid; // machine identity given at registration
    int points = 0;
    int credit = 0;
    int role = RoleMember;
    bool customHead = false;
    bool alwaysOnline = false; // demo star experts
    Timestamp registered = 0;
    // Derived when read:
    int totalScore = 0; // sum of the zone scores
    int level = 1;      // 1 to 10, from totalScore
    int grade = 1;      // 1 to 10, from credit
    int questionsAsked = 0;
    int questionsClosed = 0;
    int answersGiven = 0;
    int answersScored = 0;
    bool online = false;
};

struct NewMember {
    std::string userName;
    std::string password;
    std::string nickName;
    int sex = 0;
    std::string email;
    int face = 1;
    std::string realName;
    std::string address;
    std::string phone;
    std::string leader;
    std::string userGuid;
};

struct ProfileEdit {
    std::string password;
    std::string nickName;
    std::string email;
    int face = 1;
};

struct Answer {
    int id = 0;
    int questionId = 0;
    int answererId = 0;
    std::string answererName;
    std::string answererNick;
    std::string text;
    Timestamp posted = 0;
    int pointsAwarded = 0;
};

struct Question {
    int id = 0;
    int askerId = 0;
    std::string askerName;
    std::string askerNick;
    int column = 0; // 1 to 41
    int zone = 0;   // 1 to 4
    std::string title;
    std::string text;
    int points = 0;
    Timestamp posted = 0;
    Timestamp closed = 0; // 0 while open
    QuestionState state = QuestionState::Open;
    int answerCount = 0;
    std::vector<Answer> answers; // filled by question(); empty in list pages
};

struct Page {
    int size = 15; // rows per page, 1 to 100 (clamped)
    int index = 1; // from 1 (clamped)
};

struct QuestionPage {
    std::vector<Question> rows;
    int totalCount = 0; // over all pages
};

struct Expert {
    Member member;
    int zone = 0;
    int zoneScore = 0;
    int zoneRank = 1;     // 1 to 10
    int expertColumn = 0; // column of the zone where the member scored most
};

struct ZoneScore {
    int zone = 0; // 1 to 4; 0 for the row of all zones
    std::string area;
    int score = 0;
    int rank = 1; // 1 to 10
};

struct Announcement {
    int id = 0;
    int zone = 0;
    int kind = 0;       // 0 notice, 1 news (both open the announcement page), 2 link, 3 featured question
    std::string title;  // markup text
    std::string target; // kind 0/1: the announcement's own ID; 2: an address; 3: a question ID
    std::string body;   // text of the announcement page (kinds 0 and 1)
    int authorId = 0;
    Timestamp posted = 0;
};

struct Message {
    int id = 0;
    int fromId = 0;
    int toId = 0;
    std::string text;
    Timestamp sent = 0;
    Member sender;
};

struct PostResult {
    enum Status { Ok, UnknownMember, BadColumn, BadPoints, NotEnoughPoints, LowCredit, HasOverdue, EmptyText };
    Status status = Ok;
    int id = 0;
};

struct ReplyResult {
    enum Status { Ok, UnknownMember, UnknownQuestion, NotOpen, OwnQuestion, LowCredit, EmptyText, TooManyAnswers };
    Status status = Ok;
    int id = 0;
};

enum class CloseResult { Ok, UnknownQuestion, NotAsker, AlreadyClosed, PointsMismatch, UnknownAnswer };

// Thrown by a store when the storage itself fails (disk full, damaged file,
// database locked past the busy timeout); the transaction is rolled back.
class StoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A writer that waited longer than a client waits for its answer gives up
// before its transaction begins: the client has already reported a failure
// and may send the call again, which must not take effect twice.
class StoreBusy : public StoreError {
  public:
    StoreBusy() : StoreError("the server is too busy to take the change; nothing was changed") {}
};

// The moment by which the call this thread serves must be answered: its
// client gives up then. While one is set, a community write that cannot
// begin and commit before it is not made (StoreBusy), so a call the client
// has given up on never takes effect behind its back: a poll does not mark
// messages delivered that nobody will read, a question is not charged for an
// answer that never arrives.
class AnswerDeadline {
  public:
    using Clock = std::chrono::steady_clock;
    explicit AnswerDeadline(Clock::time_point at) : m_previous(current()) { slot() = at; }
    ~AnswerDeadline() { slot() = m_previous; }
    AnswerDeadline(const AnswerDeadline &) = delete;
    AnswerDeadline &operator=(const AnswerDeadline &) = delete;

    // The deadline in force on this thread, if any.
    static std::optional<Clock::time_point> current() { return slot(); }
    // `patience` cut to what is left before the deadline (never below 0).
    static std::chrono::milliseconds within(std::chrono::milliseconds patience)
    {
        const auto at = current();
        if (!at)
            return patience;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*at - Clock::now());
        return std::max(std::chrono::milliseconds(0), std::min(patience, left));
    }
    static bool passed()
    {
        const auto at = current();
        return at && Clock::now() >= *at;
    }

  private:
    static std::optional<Clock::time_point> &slot()
    {
        thread_local std::optional<Clock::time_point> deadline;
        return deadline;
    }
    std::optional<Clock::time_point> m_previous;
};

// Events of one kind for one subject within a window (rate limits).
struct EventCount {
    int count = 0;
    Timestamp oldest = 0; // 0 when there is none
    Timestamp newest = 0;
    bool taken = false; // takeAllowance() or takeEventIf() recorded one (at `now`)
    Timestamp now = 0;  // the store's clock when they were counted
};

class CommunityStore {
  public:
    virtual ~CommunityStore() = default;

    // Members
    virtual std::optional<Member> memberById(int userID) = 0;
    virtual std::optional<Member> memberByName(const std::string &userName) = 0;
    virtual std::optional<Member> checkMember(int userID, const std::string &password) = 0;
    virtual std::optional<Member> checkMember(const std::string &userName, const std::string &password) = 0;
    // A member whose role is below RoleExpert (administrators and moderators).
    virtual std::optional<Member> checkModerator(const std::string &userName, const std::string &password) = 0;
    virtual bool emailTaken(const std::string &email) = 0;
    // The new member's ID, or nothing when the user name or e-mail is taken.
    virtual std::optional<int> createMember(const NewMember &member) = 0;
    virtual bool editProfile(int userID, const ProfileEdit &edit) = 0;
    virtual bool setCustomHead(int userID, bool custom) = 0;
    virtual bool setRole(int userID, int role) = 0;
    // Demo star experts stay online without signing in.
    virtual bool setAlwaysOnline(int userID, bool alwaysOnline) = 0;
    virtual int memberCount() = 0;
    // Points bought or granted by an administrator (negative to take back);
    // false for an unknown member or when the balance would fall below 0.
    virtual bool adjustPoints(int userID, int delta) = 0;

    // Presence. Online = signed in and seen within the idle time.
    virtual bool setOnline(int userID, const std::string &ipAddress) = 0;
    virtual bool setOffline(int userID) = 0;
    // Activity of a signed-in member (message polls, status refresh) keeps him online.
    virtual void touch(int userID) = 0;
    // checkMember() by user name for a sign-in or a status refresh: in the
    // same transaction, a sign of life of a signed-in member.
    virtual std::optional<Member> signInCheck(const std::string &userName, const std::string &password) = 0;
    virtual std::vector<Member> onlineMembers(Page page, int &totalCount) = 0;
    virtual std::vector<Expert> onlineExperts(int zone) = 0;
    virtual std::vector<Expert> onlineExpertsForQuestion(int postID) = 0;
    virtual std::vector<Expert> onlineAnswerers(int postID) = 0;

    // Questions and answers
    virtual PostResult createQuestion(int userID, const std::string &title, int column, int points,
                                      const std::string &text) = 0;
    virtual ReplyResult createAnswer(int postID, int userID, int column, const std::string &text) = 0;
    virtual std::optional<Question> question(int postID) = 0; // with every answer
    virtual CloseResult closeQuestion(int postID, int askerUserID,
                                      const std::vector<std::pair<int, int>> &answerPoints) = 0;
    virtual bool hasOverdueQuestions(int userID, int zone) = 0;
    virtual std::vector<Question> ownQuestions(int userID) = 0;

    // The eight paged lists. A zone outside 1 to 4 means every zone.
    virtual QuestionPage questionsInColumn(int column, Page page) = 0;
    virtual QuestionPage questionsAskedBy(int userID, int zone, Page page) = 0;
    virtual QuestionPage questionsToClose(int userID, int zone, Page page) = 0; // open or overdue, own
    virtual QuestionPage questionsAnsweredBy(int userID, int zone, Page page) = 0;
    virtual QuestionPage questionsScoredBy(int userID, int zone, Page page) = 0;
    virtual QuestionPage searchById(int postID) = 0;
    virtual QuestionPage searchByTitle(int column, const std::string &keywords, Page page) = 0;
    virtual QuestionPage searchByAsker(const std::string &userName, Page page) = 0;

    // Announcements
    virtual std::optional<int> addAnnouncement(int zone, int kind, const std::string &markupTitle,
                                               const std::string &target, int authorUserID,
                                               const std::string &body = {}) = 0;
    virtual std::optional<Announcement> announcement(int id) = 0;
    virtual std::vector<Announcement> announcements(int zone) = 0; // newest first

    // Messages
    virtual bool sendMessage(int fromUserID, int toUserID, const std::string &text) = 0;
    // The oldest undelivered messages, at most `limit`; only those are marked delivered.
    // The poll is also a sign of life of a signed-in member (see touch()).
    virtual std::vector<Message> takeMessages(int userID, int limit) = 0;

    // Scores per zone, then one row for all zones.
    virtual std::vector<ZoneScore> scores(int userID) = 0;

    // Sign-in bindings: the address a member signed in from. Kept with the
    // community so that several servers on one store agree.
    virtual void bindMember(int userID, const std::string &address) = 0;
    virtual void unbindMember(int userID) = 0;
    // true when the member is bound to `address` and the binding was renewed
    // within `idleSeconds`; renews it then.
    virtual bool isBoundTo(int userID, const std::string &address, Timestamp idleSeconds) = 0;

    // Rate counters: events of a kind (a registration, a failed sign-in) per
    // subject (an address, an account).
    // Events after `since` (one exactly a window old has left the window).
    virtual EventCount countEvents(const std::string &kind, const std::string &subject, Timestamp since) = 0;
    // Records one event unless `limit` of them fall within the window; the
    // count includes the new one when it was taken.
    virtual EventCount takeAllowance(const std::string &kind, const std::string &subject, int limit,
                                     Timestamp windowSeconds) = 0;
    // The same for any rule: counts the events within the window and records one
    // when `admit` (given the count and the store's clock) says so, as one
    // step that every server on the store takes one at a time per kind and
    // subject. `admit` may be asked more than once.
    using Admission = std::function<bool(const EventCount &counted, Timestamp now)>;
    virtual EventCount takeEventIf(const std::string &kind, const std::string &subject, Timestamp windowSeconds,
                                   const Admission &admit) = 0;
    virtual void recordEvent(const std::string &kind, const std::string &subject) = 0;
    // Gives back one event recorded at `at` (an allowance taken for an
    // attempt that turned out not to count).
    virtual void dropEvent(const std::string &kind, const std::string &subject, Timestamp at) = 0;
    virtual void clearEvents(const std::string &kind, const std::string &subject) = 0;

    // A number that changes after every write that may change what the
    // question lists show (questions, answers, members). An answer rendered
    // from the lists stays true while this number stays the same and the
    // clock has not moved a question into "Overdue".
    virtual std::uint64_t listGeneration() = 0;
};

} // namespace varnel
