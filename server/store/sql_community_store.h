// CommunityStore written once over the SQL engine layer: the community's
// rules (reserving and paying points, delivery, presence, limits) as
// transactions, whichever engine holds the data.
//
// The methods are spread over files by area: sql_store_members.cpp,
// sql_store_presence.cpp (presence, bindings, rate counters),
// sql_store_questions.cpp (questions, answers, the lists, scores) and
// sql_store_messages.cpp (messages, announcements).
#pragma once

#include "community_rules.h"
#include "community_store.h"
#include "password_cipher.h"
#include "sql/sql_engine.h"

#include <functional>
#include <memory>
#include <string>

namespace varnel {

class SqlCommunityStore : public CommunityStore {
  public:
    // Brings the schema up to the current version and checks that the key
    // opens the stored passwords; nullptr with `error` set when that fails.
    static std::unique_ptr<SqlCommunityStore> open(std::unique_ptr<sql::Engine> engine, CommunitySettings settings,
                                                   std::unique_ptr<PasswordCipher> cipher, std::string &error);
    ~SqlCommunityStore() override;

    static int schemaVersion();
    sql::Dialect dialect() const { return m_engine->dialect(); }

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
    EventCount takeEventIf(const std::string &kind, const std::string &subject, Timestamp windowSeconds,
                           const Admission &admit) override;
    void recordEvent(const std::string &kind, const std::string &subject) override;
    void dropEvent(const std::string &kind, const std::string &subject, Timestamp at) override;
    void clearEvents(const std::string &kind, const std::string &subject) override;
    std::uint64_t listGeneration() override;

  protected:
    SqlCommunityStore(std::unique_ptr<sql::Engine> engine, CommunitySettings settings,
                      std::unique_ptr<PasswordCipher> cipher);
    // Brings the schema up to date; false with `error` set when that fails.
    bool start(std::string &error);

  private:
    using Binder = std::function<void(sql::Query &)>;

    void migrate();
    void sealPasswords(sql::Connection &c);

    std::string seal(const std::string &password) const { return m_cipher->seal(password); }
    // A value this key cannot open matches no password.
    std::string unseal(const std::string &stored) const { return m_cipher->open(stored).value_or(std::string()); }

    Timestamp now() const { return m_settings.clock(); }
    Timestamp onlineSince() const { return now() - m_settings.idleSeconds; }
    Timestamp overdueBefore() const { return now() - static_cast<Timestamp>(m_settings.overdueDays) * 86400; }

    Member readMember(const sql::Query &s, int first = 0) const;
    Question readQuestion(const sql::Query &s) const;
    std::optional<Member> findMember(const std::string &where, const Binder &bind);
    QuestionPage listQuestions(const std::string &where, const std::string &order, const Binder &bind, Page page,
                               bool byAsker = false);
    std::vector<Expert> experts(sql::Connection &c, const std::string &where, const std::string &order, int zone,
                                const std::function<void(sql::Query &, int firstFree)> &bind, int limit);
    void payRecommender(sql::Connection &c, int memberID);

    std::unique_ptr<sql::Engine> m_engine;
    CommunitySettings m_settings;
    std::unique_ptr<PasswordCipher> m_cipher;
};

// Opens the store that `db` names: a postgresql:// or postgres:// address
// selects PostgreSQL (and needs settings.keyFile, shared by every server on
// the database), anything else is a SQLite file. nullptr with `error` set
// when that fails.
std::unique_ptr<SqlCommunityStore> openCommunityStore(const std::string &db, CommunitySettings settings,
                                                      std::string &error);

} // namespace varnel
