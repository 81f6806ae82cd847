// The question lists are served from rendered answers kept between writes:
// every write through the service or the site shows at the next list call,
// also while other clients keep the same page hot, and a question the clock
// made overdue is shown so.
#include "list_answer_cache.h"
#include "read_budget.h"
#include "server_test_support.h"

#include <httplib.h>

#include <atomic>
#include <thread>

using namespace servertest;
using quillora::testpeers::VarnelServerOptions;
using quillora::testpeers::VarnelServerProcess;

namespace {

class ListAnswers : public ::testing::Test {
  protected:
    void startServer(std::vector<std::string> args = {})
    {
        for (const char *limit : {"--max-registrations", "--max-questions", "--max-answers"})
            args.insert(args.end(), {limit, "0"});
        server = std::make_unique<VarnelServerProcess>(VarnelServerOptions{false, std::move(args)});
        ASSERT_TRUE(server->started()) << server->error();
        proxy = proxyFor(*server);
    }

    int ask(int userID, int column, int points = 40)
    {
        bool ok = false;
        int id = 0;
        EXPECT_TRUE(qs::succeeded(
            proxy->CreatForumPost(userID, QStringLiteral("Question"), column, points, QStringLiteral("x"), &ok, &id)));
        EXPECT_TRUE(ok);
        return id;
    }
    int answer(qs::CVarnelServices &p, int question, int userID, int column)
    {
        bool ok = false;
        int id = 0;
        EXPECT_TRUE(qs::succeeded(p.CreatForumReply(question, userID, column, QStringLiteral("Answer"), &ok, &id)));
        EXPECT_TRUE(ok);
        return id;
    }
    // The rows of a column's first page: each PKID, Replies and State.
    std::vector<qs::DocumentRecord> column(qs::CVarnelServices &p, int column, int *total = nullptr)
    {
        QString doc;
        int count = -1;
        EXPECT_TRUE(qs::succeeded(p.GetForumPostListByColumn(column, 15, 1, &doc, &count)));
        if (total)
            *total = count;
        return records(doc, qs::kForumPostsTag);
    }

    std::unique_ptr<VarnelServerProcess> server;
    std::unique_ptr<qs::CVarnelServices> proxy;
};

TEST_F(ListAnswers, EveryWriteShowsAtTheNextListCall)
{
    startServer();
    const int asker = registerMember(*proxy, QStringLiteral("asker"));
    const int helper = registerMember(*proxy, QStringLiteral("helper"));
    int total = -1;
    EXPECT_TRUE(column(*proxy, 12, &total).empty());
    EXPECT_EQ(total, 0);
    column(*proxy, 12); // the empty page is now kept

    // A question.
    const int question = ask(asker, 12, 80);
    auto rows = column(*proxy, 12, &total);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(total, 1);
    EXPECT_EQ(toInt(rows[0][0]), question);
    EXPECT_EQ(toInt(rows[0][4]), 0);
    // The same page kept, and other pages of other lists beside it.
    EXPECT_EQ(column(*proxy, 12).size(), 1u);
    QString doc;
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostsByReplyUserID(helper, 15, 1, 2, &doc, &total)));
    EXPECT_EQ(total, 0);

    // An answer: the count in the column, and the answerer's own list.
    const int reply = answer(*proxy, question, helper, 12);
    rows = column(*proxy, 12);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(toInt(rows[0][4]), 1);
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostsByReplyUserID(helper, 15, 1, 2, &doc, &total)));
    EXPECT_EQ(total, 1);

    // Closed on the web site, which writes through the store directly.
    httplib::Client web(server->host(), server->port());
    const httplib::Params close{{"PostID", std::to_string(question)},
                                {"USRID", std::to_string(asker)},
                                {"USRPSW", "askerpw"},
                                {"pts_" + std::to_string(reply), "80"}};
    const auto res = web.Post("/Varnel/Web/EndPost.aspx", close);
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200) << res->body;
    rows = column(*proxy, 12);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at(7), QStringLiteral("Closed"));

    // A second question by a member who signed up since.
    const int late = registerMember(*proxy, QStringLiteral("late"));
    ask(late, 12);
    rows = column(*proxy, 12, &total);
    EXPECT_EQ(total, 2);
    EXPECT_EQ(rows.size(), 2u);
}

TEST_F(ListAnswers, AnAcknowledgedAnswerIsNeverHiddenWhileOthersKeepThePageHot)
{
    startServer();
    const int asker = registerMember(*proxy, QStringLiteral("asker"));
    std::vector<int> helpers;
    for (int i = 0; i < 3; ++i)
        helpers.push_back(registerMember(*proxy, QStringLiteral("helper%1").arg(i)));
    const int question = ask(asker, 8);

    std::atomic<bool> stop{false};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            auto own = proxyFor(*server);
            while (!stop)
                column(*own, 8);
        });
    }
    for (int i = 1; i <= 15; ++i) {
        answer(*proxy, question, helpers[static_cast<size_t>(i - 1) / 5], 8);
        const auto rows = column(*proxy, 8);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(toInt(rows[0][4]), i) << "after answer " << i;
    }
    stop = true;
    for (auto &r : readers)
        r.join();
}

TEST_F(ListAnswers, AQuestionTheClockMadeOverdueIsShownSo)
{
    // Overdue after zero days: as soon as the second it was asked in is over.
    startServer({"--overdue-days", "0"});
    const int asker = registerMember(*proxy, QStringLiteral("slow"));
    const int question = ask(asker, 9);
    const auto asked = std::chrono::steady_clock::now();
    column(*proxy, 9);
    column(*proxy, 9); // kept, whatever it showed
    std::this_thread::sleep_until(asked + std::chrono::milliseconds(2200));
    const auto rows = column(*proxy, 9);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(toInt(rows[0][0]), question);
    EXPECT_EQ(rows[0].at(7), QStringLiteral("Overdue"));
}

TEST(ListAnswerCache, KeepsOnlyCurrentAnswersAndStaysWithinItsBounds)
{
    using namespace std::chrono_literals;
    varnel::ListAnswerCache cache(3, 200ms, 100);
    cache.keep("a", 5, "answer a");
    EXPECT_EQ(cache.find("a", 5).value_or("none"), "answer a");
    // Another generation: gone, also for the generation it was made at.
    EXPECT_FALSE(cache.find("a", 6));
    EXPECT_FALSE(cache.find("a", 5));
    // An answer rendered at an older generation does not replace a newer one.
    cache.keep("b", 7, "new");
    cache.keep("b", 6, "old");
    EXPECT_EQ(cache.find("b", 7).value_or("none"), "new");
    // Too large to keep.
    cache.keep("big", 7, QByteArray(101, 'x'));
    EXPECT_FALSE(cache.find("big", 7));
    // Never more than the capacity, whatever is kept.
    for (int i = 0; i < 20; ++i) {
        cache.keep("k" + std::to_string(i), 7, "x");
        EXPECT_LE(cache.size(), 3u);
    }
    EXPECT_TRUE(cache.find("k19", 7));
    // Past the lifetime.
    std::this_thread::sleep_for(250ms);
    EXPECT_FALSE(cache.find("k19", 7));
}

// An address's read budget fills at its rate up to 30 s of it, every read
// spends what it took (at least 1 ms, at most a burst of debt), and an
// address in debt waits until it is above nothing again. Past the number of
// addresses followed, new ones share one budget until the full are forgotten.
TEST(ReadBudget, SpendsWhatReadsTookAndFollowsBoundedAddresses)
{
    using namespace std::chrono_literals;
    using Clock = varnel::ReadBudget::Clock;
    varnel::ReadBudget budget(10); // 10 ms a second, 300 ms at once
    const Clock::time_point t0 = Clock::now();
    EXPECT_FALSE(budget.admit("a", t0));
    budget.spend("a", 250ms, t0);
    EXPECT_FALSE(budget.admit("a", t0));
    budget.spend("a", 100ms, t0);
    EXPECT_EQ(budget.admit("a", t0).value_or(0), 5);
    EXPECT_TRUE(budget.admit("a", t0 + 5s)) << "at nothing left it still waits";
    EXPECT_FALSE(budget.admit("a", t0 + 6s));
    EXPECT_FALSE(budget.admit("b", t0)) << "another address has its own";
    for (int i = 0; i < 300; ++i)
        budget.spend("b", 0ms, t0); // each costs at least a millisecond
    EXPECT_TRUE(budget.admit("b", t0));
    budget.spend("c", 1h, t0);
    EXPECT_EQ(budget.admit("c", t0).value_or(0), 30) << "no more debt than a burst";
    EXPECT_FALSE(varnel::ReadBudget(0).admit("d", t0)) << "0: no limit";

    varnel::ReadBudget crowd(10);
    for (size_t i = 0; i < varnel::ReadBudget::kMaxAddresses; ++i)
        crowd.spend("10." + std::to_string(i), 1h, t0);
    EXPECT_EQ(crowd.addresses(), varnel::ReadBudget::kMaxAddresses);
    crowd.spend("new1", 1h, t0);
    EXPECT_TRUE(crowd.admit("new2", t0)) << "beyond the followed addresses one budget is shared";
    EXPECT_LE(crowd.addresses(), varnel::ReadBudget::kMaxAddresses + 1);
    // Once they have filled up, the crowd is forgotten and new ones are followed again.
    EXPECT_FALSE(crowd.admit("new3", t0 + 61s));
    EXPECT_LE(crowd.addresses(), 2u);
}

} // namespace
