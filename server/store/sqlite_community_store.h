// CommunityStore on one SQLite file in WAL mode.
//
// Each worker thread borrows a connection from a small pool for the length of
// one operation; each operation is one transaction (BEGIN IMMEDIATE when it
// writes), so concurrent writers queue on SQLite's lock instead of
// interleaving. synchronous=FULL: a commit is on disk before the call returns.
// Presence, sign-in bindings and rate counters live in a companion file,
// `<db>-live`, written without waiting for the disk or for the writers.
// Passwords are sealed with the key in `<db>.key` (or settings.keyFile).
#pragma once

#include "community_rules.h"
#include "community_store.h"

#include <memory>
#include <string>

namespace varnel {

class SqliteCommunityStore final : public CommunityStore {
  public:
    // Opens or creates the database and brings its schema up to the current
    // version; nullptr with `error` set when that fails.
    static std::unique_ptr<SqliteCommunityStore> open(const std::string &path, CommunitySettings settings,
                                                      std::string &error);
    ~SqliteCommunityStore() override;

    static int schemaVersion();

    std::optional<Member> memberById(int userID) override;
    std::optional<Member> memberByName(const std::string &userName) override;
    std::optional<Member> checkMember(int userID, const std::string &password) override;
    std::optional<Member> checkMember(const std::string &userName, const std::string &password) override;
    std::optional<Member> checkModerator(const std::string &userName, const std::string &password) override;
    bool emailTaken(const std::string &email) override;
    std::optional<int> createMember(const NewMember &member) override;
    bool editProfile(int userID, const ProfileEdit &edit) override;
    bool setCustomHead(int userID, bool custom) override;
    bool setRole(int userID, int role) override;
    bool setAlwaysOnline(int userID, bool alwaysOnline) override;
    int memberCount() override;
    bool adjustPoints(int userID, int delta) override;

    bool setOnline(int userID, const std::string &ipAddress) override;
    bool setOffline(int userID) override;
    void touch(int userID) override;
    std::optional<Member> signInCheck(const std::string &userName, const std::string &password) override;
    std::vector<Member> onlineMembers(Page page, int &totalCount) override;
    std::vector<Expert> onlineExperts(int zone) override;
    std::vector<Expert> onlineExpertsForQuestion(int postID) override;
    std::vector<Expert> onlineAnswerers(int postID) override;

    PostResult createQuestion(int userID, const std::string &title, int column, int points,
                              const std::string &text) override;
    ReplyResult createAnswer(int postID, int userID, int column, const std::string &text) override;
    std::optional<Question> question(int postID) override;
    CloseResult closeQuestion(int postID, int askerUserID,
                              const std::vector<std::pair<int, int>> &answerPoints) override;
    bool hasOverdueQuestions(int userID, int zone) override;
    std::vector<Question> ownQuestions(int userID) override;

    QuestionPage questionsInColumn(int column, Page page) override;
    QuestionPage questionsAskedBy(int userID, int zone, Page page) override;
    QuestionPage questionsToClose(int userID, int zone, Page page) override;
    QuestionPage questionsAnsweredBy(int userID, int zone, Page page) override;
    QuestionPage questionsScoredBy(int userID, int zone, Page page) override;
    QuestionPage searchById(int postID) override;
    QuestionPage searchByTitle(int column, const std::string &keywords, Page page) override;
    QuestionPage searchByAsker(const std::string &userName, Page page) override;

    std::optional<int> addAnnouncement(int zone, int kind, const std::string &markupTitle, const std::string &target,
                                       int authorUserID, const std::string &body = {}) override;
    std::optional<Announcement> announcement(int id) override;
    std::vector<Announcement> announcements(int zone) override;

    bool sendMessage(int fromUserID, int toUserID, const std::string &text) override;
    std::vector<Message> takeMessages(int userID, int limit) override;

    std::vector<ZoneScore> scores(int userID) override;

    void bindMember(int userID, const std::string &address) override;
    void unbindMember(int userID) override;
    bool isBoundTo(int userID, const std::string &address, Timestamp idleSeconds) override;
    EventCount countEvents(const std::string &kind, const std::string &subject, Timestamp since) override;
    EventCount takeAllowance(const std::string &kind, const std::string &subject, int limit,
                             Timestamp windowSeconds) override;
    void recordEvent(const std::string &kind, const std::string &subject) override;
    void clearEvents(const std::string &kind, const std::string &subject) override;
    std::uint64_t listGeneration() override;

  private:
    struct Impl;
    explicit SqliteCommunityStore(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

} // namespace varnel
