// Every service operation called through the client's CVarnelServices proxy
// against the real varnel-server on loopback, with a fresh database.
#include "server_test_support.h"

#include <QFile>
#include <QRegularExpression>
#include <atomic>
#include <thread>

using namespace servertest;
using quillora::testpeers::VarnelServerOptions;
using quillora::testpeers::VarnelServerProcess;

namespace {

class ServiceTest : public ::testing::Test {
  protected:
    void startServer(VarnelServerOptions options = {})
    {
        // These cases are about the community's rules; the rate limits that
        // would stop their many registrations and posts have their own tests.
        for (const char *limit : {"--max-registrations", "--max-questions", "--max-answers", "--max-messages"})
            options.extraArgs.insert(options.extraArgs.end(), {limit, "0"});
        server = std::make_unique<VarnelServerProcess>(std::move(options));
        ASSERT_TRUE(server->started()) << server->error();
        proxy = proxyFor(*server);
    }
    void SetUp() override { startServer(); }

    int ask(int userID, int column, int points, const QString &title = QStringLiteral("A question"))
    {
        bool ok = false;
        int id = 0;
        EXPECT_TRUE(
            qs::succeeded(proxy->CreatForumPost(userID, title, column, points, QStringLiteral("Details"), &ok, &id)));
        EXPECT_TRUE(ok);
        return id;
    }
    std::vector<qs::DocumentRecord> signIn(const QString &name, const QString &password)
    {
        QString doc;
        EXPECT_TRUE(qs::succeeded(proxy->GetUserByUserName(name, password, &doc)));
        return records(doc, qs::kUserTag, qs::kSignInUserFields);
    }

    std::unique_ptr<VarnelServerProcess> server;
    std::unique_ptr<qs::CVarnelServices> proxy;
};

TEST_F(ServiceTest, RegistrationSignInAndProfile)
{
    bool result = true;
    ASSERT_TRUE(qs::succeeded(proxy->IsUserExistsByName(QStringLiteral("zoe"), &result)));
    EXPECT_FALSE(result);
    const int zoe = registerMember(*proxy, QStringLiteral("zoe"), QStringLiteral("pa<ss>&'word"));
    EXPECT_GT(zoe, 0);
    ASSERT_TRUE(qs::succeeded(proxy->IsUserExistsByName(QStringLiteral(" ZOE "), &result)));
    EXPECT_TRUE(result);
    ASSERT_TRUE(qs::succeeded(proxy->IsUserExistsByEmail(QStringLiteral("Zoe@Example.org"), &result)));
    EXPECT_TRUE(result);

    // A taken user name or e-mail is refused with false.
    bool created = true;
    ASSERT_TRUE(qs::succeeded(proxy->CreateNewUser(QStringLiteral("zoe"), QStringLiteral("x"), QStringLiteral("n"), 1,
                                                   QStringLiteral("other@example.org"), QStringLiteral("1"), {}, {}, {},
                                                   {}, {}, &created)));
    EXPECT_FALSE(created);
    ASSERT_TRUE(qs::succeeded(proxy->CreateNewUser(QStringLiteral("zed"), QStringLiteral("x"), QStringLiteral("n"), 1,
                                                   QStringLiteral("zoe@example.org"), QStringLiteral("1"), {}, {}, {},
                                                   {}, {}, &created)));
    EXPECT_FALSE(created);

    // The sign-in document: PKID first, the member's figures in the client's positions.
    QString doc;
    ASSERT_TRUE(qs::succeeded(proxy->GetUserByUserName(QStringLiteral("zoe"), QStringLiteral("pa<ss>&'word"), &doc)));
    qs::DocumentStatus status;
    EXPECT_EQ(toInt(qs::readFirstElementText(doc, u"PKID", &status)), zoe);
    const auto user = records(doc, qs::kUserTag, qs::kSignInUserFields);
    ASSERT_EQ(user.size(), 1u);
    ASSERT_EQ(user[0].size(), qs::kSignInUserFields);
    EXPECT_EQ(toInt(user[0][0]), zoe);
    EXPECT_EQ(user[0][1], QStringLiteral("zoe"));
    EXPECT_EQ(user[0][2], QStringLiteral("pa<ss>&'word"));
    EXPECT_EQ(user[0][3], QStringLiteral("zoe N"));
    EXPECT_EQ(toInt(user[0][4]), 3);
    EXPECT_EQ(toInt(user[0][5]), 200); // start points
    EXPECT_EQ(toInt(user[0][7]), 100); // start credit
    EXPECT_EQ(user[0][13], QStringLiteral("0 asked, 0 closed"));
    EXPECT_EQ(user[0][14], QStringLiteral("0 answered, 0 scored"));
    EXPECT_EQ(toInt(user[0][15]), 5); // member
    EXPECT_EQ(toInt(user[0][17]), 1); // level

    // A wrong password or an unknown member fails the call with a Client fault.
    EXPECT_FALSE(qs::succeeded(proxy->GetUserByUserName(QStringLiteral("zoe"), QStringLiteral("wrong"), &doc)));
    EXPECT_EQ(proxy->callStatus(), qs::StatusSoapFault);
    EXPECT_EQ(proxy->lastFault().code, qs::FaultCode::Client);
    EXPECT_FALSE(qs::succeeded(proxy->GetUserByUserName(QStringLiteral("nobody"), QStringLiteral("x"), &doc)));
    EXPECT_FALSE(qs::succeeded(proxy->GetUserByUserName(QString(), QString(), &doc)));

    // Editing the profile; the profile document reads it back by position.
    bool edited = false;
    ASSERT_TRUE(
        qs::succeeded(proxy->EditUserInformation(zoe, QStringLiteral("newpw"), QStringLiteral("Zo\u00eb"),
                                                 QStringLiteral("zoe2@example.org"), QStringLiteral("21"), &edited)));
    EXPECT_TRUE(edited);
    ASSERT_TRUE(qs::succeeded(proxy->GetUserByUserID(zoe, &doc)));
    const auto profile = records(doc, qs::kUserTag, qs::kProfileUserFields);
    ASSERT_EQ(profile.size(), 1u);
    EXPECT_EQ(profile[0][1], QStringLiteral("zoe"));
    EXPECT_EQ(profile[0][2], QStringLiteral("newpw"));
    EXPECT_EQ(profile[0][3], QStringLiteral("Zo\u00eb"));
    EXPECT_EQ(profile[0][4], QStringLiteral("zoe2@example.org"));
    EXPECT_EQ(toInt(profile[0][5]), 21);
    EXPECT_EQ(toInt(profile[0][9]), 5); // grade at credit 100: no custom image yet
    EXPECT_EQ(signIn(QStringLiteral("zoe"), QStringLiteral("newpw")).size(), 1u);

    // Another member's e-mail cannot be taken over.
    const int yan = registerMember(*proxy, QStringLiteral("yan"));
    ASSERT_TRUE(
        qs::succeeded(proxy->EditUserInformation(yan, QStringLiteral("p"), QStringLiteral("Yan"),
                                                 QStringLiteral("ZOE2@example.org"), QStringLiteral("1"), &edited)));
    EXPECT_FALSE(edited);
    // An unknown user ID gives a document without records.
    ASSERT_TRUE(qs::succeeded(proxy->GetUserByUserID(9999, &doc)));
    EXPECT_TRUE(records(doc, qs::kUserTag).empty());
}

TEST_F(ServiceTest, AuthenticateMarksTheCustomHeadImageOnceThePictureIsThere)
{
    const int id = registerMember(*proxy, QStringLiteral("painter"));
    auto customFlag = [&] {
        QString doc;
        EXPECT_TRUE(qs::succeeded(proxy->GetUserByUserID(id, &doc)));
        return toInt(records(doc, qs::kUserTag).at(0).at(14));
    };
    ASSERT_TRUE(qs::succeeded(proxy->Authenticate(id)));
    EXPECT_EQ(customFlag(), 0);
    QFile picture(QString::fromStdString((server->filesDir() / (std::to_string(id) + ".bmp")).string()));
    ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
    picture.write("BM");
    picture.close();
    ASSERT_TRUE(qs::succeeded(proxy->Authenticate(id)));
    EXPECT_EQ(customFlag(), 1);
    EXPECT_FALSE(qs::succeeded(proxy->Authenticate(9999)));
}

TEST_F(ServiceTest, AskingReservesPointsAndAnsweringFollowsTheRules)
{
    const int asker = registerMember(*proxy, QStringLiteral("asker"));
    const int helper = registerMember(*proxy, QStringLiteral("helper"));
    bool ok = true;
    int id = -1;
    for (int points : {39, 201}) {
        ASSERT_TRUE(
            qs::succeeded(proxy->CreatForumPost(asker, QStringLiteral("t"), 5, points, QStringLiteral("x"), &ok, &id)));
        EXPECT_FALSE(ok) << points;
        EXPECT_EQ(id, 0);
    }
    ASSERT_TRUE(
        qs::succeeded(proxy->CreatForumPost(asker, QStringLiteral("t"), 42, 50, QStringLiteral("x"), &ok, &id)));
    EXPECT_FALSE(ok);
    // Only blanks in the question text is allowed: the title carries it.
    ASSERT_TRUE(qs::succeeded(proxy->CreatForumPost(asker, QStringLiteral("  Line\nbreak \u4e2d\U0001F600  "), 5, 150,
                                                    QStringLiteral("   "), &ok, &id)));
    ASSERT_TRUE(ok);
    EXPECT_EQ(toInt(signIn(QStringLiteral("asker"), QStringLiteral("askerpw"))[0][5]), 50);
    // 50 points left: a 60-point question is refused.
    ASSERT_TRUE(
        qs::succeeded(proxy->CreatForumPost(asker, QStringLiteral("t2"), 5, 60, QStringLiteral("x"), &ok, &id)));
    EXPECT_FALSE(ok);

    const int question = ask(helper, 6, 40, QStringLiteral("Helper asks"));
    bool replied = false;
    int replyId = 0;
    ASSERT_TRUE(qs::succeeded(proxy->CreatForumReply(question, helper, 6, QStringLiteral("self"), &replied, &replyId)));
    EXPECT_FALSE(replied); // not one's own question
    ASSERT_TRUE(qs::succeeded(proxy->CreatForumReply(question, asker, 6, QStringLiteral(" \r\n"), &replied, &replyId)));
    EXPECT_FALSE(replied);
    ASSERT_TRUE(
        qs::succeeded(proxy->CreatForumReply(question + 100, asker, 6, QStringLiteral("x"), &replied, &replyId)));
    EXPECT_FALSE(replied);
    ASSERT_TRUE(qs::succeeded(
        proxy->CreatForumReply(question, asker, 6, QStringLiteral("Try <this> & that"), &replied, &replyId)));
    EXPECT_TRUE(replied);
    EXPECT_GT(replyId, 0);

    // The question document: field 11 is the title.
    QString doc;
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostByID(question, &doc)));
    const auto post = records(doc, qs::kForumPostTag);
    ASSERT_EQ(post.size(), 1u);
    EXPECT_EQ(post[0][11], QStringLiteral("Helper asks"));
    EXPECT_EQ(toInt(post[0][0]), question);
    ASSERT_TRUE(qs::succeeded(proxy->GetForumReplyListByPostID(question, &doc)));
    const auto replies = records(doc, u"ForumReply");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(toInt(replies[0][0]), replyId);
    EXPECT_EQ(toInt(replies[0][2]), asker);
    EXPECT_EQ(replies[0][5], QStringLiteral("Try <this> & that"));

    // The list row: seven cells in the client's order.
    int total = 0;
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostListByColumn(6, 15, 1, &doc, &total)));
    EXPECT_EQ(total, 1);
    const auto rows = records(doc, qs::kForumPostsTag, qs::kPostListFields);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(toInt(rows[0][0]), question);
    EXPECT_EQ(rows[0][1], QStringLiteral("Helper asks"));
    EXPECT_EQ(rows[0][2], QStringLiteral("helper"));
    EXPECT_EQ(toInt(rows[0][3]), 40);
    EXPECT_EQ(toInt(rows[0][4]), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d$")).match(rows[0][5]).hasMatch())
        << rows[0][5].toStdString();
    EXPECT_EQ(toInt(rows[0][6]), 6);
    // Non-ASCII titles survive the round trip.
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostListByColumn(5, 15, 1, &doc, &total)));
    EXPECT_EQ(records(doc, qs::kForumPostsTag).at(0).at(1), QStringLiteral("Line\nbreak \u4e2d\U0001F600"));
}

TEST_F(ServiceTest, CreditLimitsComeFromTheStartCreditOption)
{
    // Asking needs credit 60 and answering 50; demo members keep their own figures.
    auto openDemoQuestion = [&] {
        QString doc;
        int total = 0;
        EXPECT_TRUE(qs::succeeded(proxy->GetForumPostListByColumn(3, 15, 1, &doc, &total)));
        const auto rows = records(doc, qs::kForumPostsTag);
        EXPECT_FALSE(rows.empty());
        EXPECT_EQ(rows.at(0).at(7), QStringLiteral("Open"));
        return toInt(rows.at(0).at(0));
    };
    bool ok = true;
    int id = 0;
    startServer({.demo = true, .extraArgs = {"--start-credit", "55", "--start-points", "300"}});
    const int fair = registerMember(*proxy, QStringLiteral("fair"));
    EXPECT_EQ(toInt(signIn(QStringLiteral("fair"), QStringLiteral("fairpw"))[0][5]), 300);
    ASSERT_TRUE(qs::succeeded(proxy->CreatForumPost(fair, QStringLiteral("t"), 1, 40, QStringLiteral("x"), &ok, &id)));
    EXPECT_FALSE(ok);
    ASSERT_TRUE(qs::succeeded(proxy->CreatForumReply(openDemoQuestion(), fair, 3, QStringLiteral("x"), &ok, &id)));
    EXPECT_TRUE(ok);

    startServer({.demo = true, .extraArgs = {"--start-credit", "45"}});
    const int poor = registerMember(*proxy, QStringLiteral("poor"));
    ASSERT_TRUE(qs::succeeded(proxy->CreatForumReply(openDemoQuestion(), poor, 3, QStringLiteral("x"), &ok, &id)));
    EXPECT_FALSE(ok);
}

TEST_F(ServiceTest, PagedListsReportTheirTotalCount)
{
    const int asker = registerMember(*proxy, QStringLiteral("asker"));
    const int helper = registerMember(*proxy, QStringLiteral("helper"));
    // 41 questions of 40 points: asked in turns by ten members of 200 points.
    ask(asker, 20, 40, QStringLiteral("A game question"));
    std::vector<int> askers{asker};
    for (int i = 0; i < 9; ++i)
        askers.push_back(registerMember(*proxy, QStringLiteral("m%1").arg(i)));
    std::vector<int> ids;
    for (int i = 0; i < 40; ++i)
        ids.push_back(
            ask(askers[static_cast<size_t>(i % 10)], 12, 40, QStringLiteral("Video card question %1").arg(i)));

    QString doc;
    int total = 0;
    std::vector<int> seen;
    for (int page = 1; page <= 3; ++page) {
        ASSERT_TRUE(qs::succeeded(proxy->GetForumPostListByColumn(12, 15, page, &doc, &total)));
        EXPECT_EQ(total, 40);
        const auto rows = records(doc, qs::kForumPostsTag);
        EXPECT_EQ(rows.size(), page < 3 ? 15u : 10u);
        for (const auto &r : rows)
            seen.push_back(toInt(r[0]));
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, ids); // every question once, none twice
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostListByColumn(12, 15, 4, &doc, &total)));
    EXPECT_EQ(total, 40);
    EXPECT_TRUE(records(doc, qs::kForumPostsTag).empty());

    // The member's own questions, per zone (GroupID) and page.
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostsByPostUserID(asker, 3, 1, 2, &doc, &total)));
    EXPECT_EQ(total, 4);
    EXPECT_EQ(records(doc, qs::kForumPostsTag).size(), 3u);
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostsByPostUserID(asker, 15, 1, 3, &doc, &total)));
    EXPECT_EQ(total, 1);
    ASSERT_TRUE(qs::succeeded(proxy->GetPostsByEndingUserID(asker, 15, 1, 2, &doc, &total)));
    EXPECT_EQ(total, 4); // all still open

    // Answers, then "My Solutions"; nothing is scored before a question closes.
    bool ok = false;
    int reply = 0;
    for (int i = 0; i < 17; ++i)
        ASSERT_TRUE(qs::succeeded(
            proxy->CreatForumReply(ids[static_cast<size_t>(i)], helper, 12, QStringLiteral("Answer"), &ok, &reply)));
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostsByReplyUserID(helper, 15, 2, 2, &doc, &total)));
    EXPECT_EQ(total, 17);
    EXPECT_EQ(records(doc, qs::kForumPostsTag).size(), 2u);
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostsByReplyUserID(helper, 15, 1, 1, &doc, &total)));
    EXPECT_EQ(total, 0);
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostsByScoreUserID(helper, 15, 1, 2, &doc, &total)));
    EXPECT_EQ(total, 0);

    // Searches: by ID (with a totalCount), by title words in a column, by asker.
    ASSERT_TRUE(qs::succeeded(proxy->GetSearchForumPostByID(ids[7], &doc, &total)));
    EXPECT_EQ(total, 1);
    EXPECT_EQ(toInt(records(doc, qs::kForumPostsTag).at(0).at(0)), ids[7]);
    ASSERT_TRUE(qs::succeeded(proxy->GetSearchForumPostByID(99999, &doc, &total)));
    EXPECT_EQ(total, 0);
    ASSERT_TRUE(
        qs::succeeded(proxy->GetSearchForumPostsByTitle(12, QStringLiteral("CARD question 17"), 15, 1, &doc, &total)));
    EXPECT_EQ(total, 1);
    ASSERT_TRUE(
        qs::succeeded(proxy->GetSearchForumPostsByTitle(12, QStringLiteral("question 3"), 15, 1, &doc, &total)));
    EXPECT_EQ(total, 13); // every word is matched inside the title: 3, 13, 23 and 30 to 39
    ASSERT_TRUE(qs::succeeded(proxy->GetSearchForumPostsByTitle(12, QStringLiteral("game"), 15, 1, &doc, &total)));
    EXPECT_EQ(total, 0);
    ASSERT_TRUE(qs::succeeded(proxy->GetSearchForumPostsByTitle(20, QStringLiteral("game"), 15, 1, &doc, &total)));
    EXPECT_EQ(total, 1);
    ASSERT_TRUE(qs::succeeded(proxy->GetSearchForumPostsByAuthor(1, QStringLiteral("asker"), 2, 3, &doc, &total)));
    EXPECT_EQ(total, 5);
    EXPECT_EQ(records(doc, qs::kForumPostsTag).size(), 1u);
}

TEST_F(ServiceTest, OverdueQuestionsBlockAskingInTheirZone)
{
    startServer({.extraArgs = {"--overdue-days", "0"}});
    const int asker = registerMember(*proxy, QStringLiteral("slow"));
    const int question = ask(asker, 31, 40);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100)); // older than zero days
    bool overdue = false;
    ASSERT_TRUE(qs::succeeded(proxy->GetOverduePostsByUserID(asker, 4, &overdue)));
    EXPECT_TRUE(overdue);
    ASSERT_TRUE(qs::succeeded(proxy->GetOverduePostsByUserID(asker, 1, &overdue)));
    EXPECT_FALSE(overdue);
    bool ok = true;
    int id = 0;
    ASSERT_TRUE(
        qs::succeeded(proxy->CreatForumPost(asker, QStringLiteral("t"), 40, 40, QStringLiteral("x"), &ok, &id)));
    EXPECT_FALSE(ok);
    QString doc;
    int total = 0;
    ASSERT_TRUE(qs::succeeded(proxy->GetPostsByEndingUserID(asker, 15, 1, 4, &doc, &total)));
    ASSERT_EQ(total, 1);
    EXPECT_EQ(toInt(records(doc, qs::kForumPostsTag).at(0).at(0)), question);
}

TEST_F(ServiceTest, MessagesAreDeliveredOnceOldestFirstAtMostTenAPoll)
{
    const int from = registerMember(*proxy, QStringLiteral("sender"));
    const int to = registerMember(*proxy, QStringLiteral("reader"));
    bool sent = false;
    for (int i = 1; i <= 12; ++i) {
        ASSERT_TRUE(qs::succeeded(proxy->SendMessage(from, to, QStringLiteral("note %1 \u00e9").arg(i), &sent)));
        ASSERT_TRUE(sent);
    }
    ASSERT_TRUE(qs::succeeded(proxy->SendMessage(from, 9999, QStringLiteral("lost"), &sent)));
    EXPECT_FALSE(sent);
    ASSERT_TRUE(qs::succeeded(proxy->SendMessage(from, to, QString(), &sent)));
    EXPECT_FALSE(sent);

    QString doc;
    ASSERT_TRUE(qs::succeeded(proxy->GetMessage(to, &doc)));
    auto messages = records(doc, qs::kMessageTag, qs::kMessageFields);
    ASSERT_EQ(messages.size(), 10u);
    EXPECT_EQ(toInt(messages[0][0]), from);
    EXPECT_EQ(messages[0][1], QStringLiteral("note 1 \u00e9"));
    EXPECT_EQ(messages[9][1], QStringLiteral("note 10 \u00e9"));
    EXPECT_EQ(messages[0][2], QStringLiteral("sender"));
    EXPECT_EQ(messages[0][3], QStringLiteral("sender N"));
    EXPECT_EQ(toInt(messages[0][4]), 3);
    EXPECT_EQ(toInt(messages[0][5]), 100);
    EXPECT_EQ(messages[0][7], QString::number(from));
    EXPECT_EQ(toInt(messages[0][8]), 0);
    ASSERT_TRUE(qs::succeeded(proxy->GetMessage(to, &doc)));
    messages = records(doc, qs::kMessageTag);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1][1], QStringLiteral("note 12 \u00e9"));
    ASSERT_TRUE(qs::succeeded(proxy->GetMessage(to, &doc)));
    EXPECT_TRUE(records(doc, qs::kMessageTag).empty());
}

TEST_F(ServiceTest, PresenceFollowsSignInSignOutAndIdleExpiry)
{
    startServer({.extraArgs = {"--idle-seconds", "2"}});
    const int a = registerMember(*proxy, QStringLiteral("a"));
    const int b = registerMember(*proxy, QStringLiteral("b"));
    bool result = false;
    ASSERT_TRUE(qs::succeeded(proxy->SetUserOnline(a, QStringLiteral("192.168.1.10"), &result)));
    EXPECT_TRUE(result);
    ASSERT_TRUE(qs::succeeded(proxy->SetUserOnline(b, QStringLiteral("192.168.1.11"), &result)));
    // Nobody signed in as an unknown member, so nobody marks him online.
    EXPECT_FALSE(qs::succeeded(proxy->SetUserOnline(9999, QStringLiteral("1.2.3.4"), &result)));
    QString doc;
    int total = 0;
    ASSERT_TRUE(qs::succeeded(proxy->GetUserListOnline(20, 1, &doc, &total)));
    EXPECT_EQ(total, 2);
    EXPECT_EQ(records(doc, qs::kUserTag).size(), 2u);

    // a keeps polling for messages; b's client went silent.
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        ASSERT_TRUE(qs::succeeded(proxy->GetMessage(a, &doc)));
    }
    ASSERT_TRUE(qs::succeeded(proxy->GetUserListOnline(20, 1, &doc, &total)));
    EXPECT_EQ(total, 1);
    EXPECT_EQ(toInt(records(doc, qs::kUserTag).at(0).at(0)), a);

    ASSERT_TRUE(qs::succeeded(proxy->SetUserOffline(a, &result)));
    EXPECT_TRUE(result);
    ASSERT_TRUE(qs::succeeded(proxy->GetUserListOnline(20, 1, &doc, &total)));
    EXPECT_EQ(total, 0);
}

TEST_F(ServiceTest, ConcurrentAnswersAreAllStoredAndConcurrentAsksNeverOverspend)
{
    const int asker = registerMember(*proxy, QStringLiteral("asker"));
    const int poser = registerMember(*proxy, QStringLiteral("poser"));
    // One member answers one question at most five times: the answers go to four questions.
    const std::vector<int> questions = {ask(asker, 33, 40), ask(poser, 33, 40, QStringLiteral("Second")),
                                        ask(poser, 33, 40, QStringLiteral("Third")),
                                        ask(poser, 33, 40, QStringLiteral("Fourth"))};
    constexpr int kThreads = 8;
    constexpr int kEach = 20;
    std::vector<int> helpers;
    for (int t = 0; t < kThreads; ++t)
        helpers.push_back(registerMember(*proxy, QStringLiteral("h%1").arg(t)));

    std::atomic<int> stored{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            auto own = proxyFor(*server);
            for (int i = 0; i < kEach; ++i) {
                bool ok = false;
                int id = 0;
                if (qs::succeeded(own->CreatForumReply(questions[static_cast<size_t>(i) % questions.size()],
                                                       helpers[static_cast<size_t>(t)], 33,
                                                       QStringLiteral("answer %1/%2").arg(t).arg(i), &ok, &id)) &&
                    ok)
                    ++stored;
            }
        });
    }
    for (auto &th : threads)
        th.join();
    EXPECT_EQ(stored.load(), kThreads * kEach);
    QString doc;
    size_t listed = 0;
    for (int question : questions) {
        ASSERT_TRUE(qs::succeeded(proxy->GetForumReplyListByPostID(question, &doc)));
        listed += records(doc, u"ForumReply").size();
    }
    EXPECT_EQ(listed, static_cast<size_t>(kThreads * kEach));

    // 160 points left; ten different 40-point questions at once: exactly four
    // succeed (the same question sent again would be one question).
    std::atomic<int> accepted{0};
    threads.clear();
    for (int t = 0; t < 10; ++t) {
        threads.emplace_back([&, t] {
            auto own = proxyFor(*server);
            bool ok = false;
            int id = 0;
            if (qs::succeeded(own->CreatForumPost(asker, QStringLiteral("race %1").arg(t), 34, 40, QStringLiteral("x"),
                                                  &ok, &id)) &&
                ok)
                ++accepted;
        });
    }
    for (auto &th : threads)
        th.join();
    EXPECT_EQ(accepted.load(), 4);
    EXPECT_EQ(toInt(signIn(QStringLiteral("asker"), QStringLiteral("askerpw"))[0][5]), 0);
}

TEST_F(ServiceTest, CommittedWriteSurvivesKill9)
{
    registerMember(*proxy, QStringLiteral("durable"));
    bool sent = false;
    const int other = registerMember(*proxy, QStringLiteral("other"));
    ASSERT_TRUE(qs::succeeded(proxy->SendMessage(other, 1, QStringLiteral("kept"), &sent)));
    ASSERT_TRUE(sent);
    server->kill();
    ASSERT_TRUE(server->restart()) << server->error();
    proxy = proxyFor(*server);
    EXPECT_EQ(signIn(QStringLiteral("durable"), QStringLiteral("durablepw")).size(), 1u);
    QString doc;
    ASSERT_TRUE(qs::succeeded(proxy->GetMessage(1, &doc)));
    const auto messages = records(doc, qs::kMessageTag);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0][1], QStringLiteral("kept"));
}

} // namespace
