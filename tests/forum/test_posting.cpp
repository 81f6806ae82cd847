// The posting rules: the checks of "Post Question" and "Post Solution" in
// their order, the dialogs' calls against the real varnel-server (demo data),
// and the "Ask Question" / "Answer Question" entries around them.
#include "add_post_dlg.h"
#include "add_reply_dlg.h"
#include "platform/message_box.h"
#include "result_document.h"
#include "varnel_server_process.h"
#include "varnel_services.h"
#include "zone_catalogue.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace quillora;
using namespace quillora::forum;
using service::CVarnelServices;
using service::Op;

namespace {

// A loopback port nobody listens on.
quint16 closedLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

enum class Focus { None, Title, Question, PointsSelected, Solution };

struct PostView : AddPostView {
    void setZoneLine(const QString &text) override { zone = text; }
    QString titleText() const override { return title; }
    void setTitleText(const QString &text) override { title = text; }
    QString pointsText() const override { return points; }
    void setPointsText(const QString &text) override { points = text; }
    QString questionText() const override { return question; }
    void setQuestionText(const QString &text) override { question = text; }
    void focusTitle() override { focus = Focus::Title; }
    void focusQuestion() override { focus = Focus::Question; }
    void selectPoints() override { focus = Focus::PointsSelected; }
    void endDialog(bool accepted) override { ended = accepted ? 1 : 0; }
    QObject *messageOwner() override { return &owner; }

    QString zone, title, points, question;
    Focus focus = Focus::None;
    int ended = -1; // -1 open, 0 cancelled, 1 accepted
    QObject owner;
};

struct ReplyView : AddReplyView {
    void setZoneText(const QString &text) override { zone = text; }
    void setQuestionTitle(const QString &text) override { questionTitle = text; }
    QString solutionText() const override { return solution; }
    void setSolutionText(const QString &text) override { solution = text; }
    void focusSolution() override { focus = Focus::Solution; }
    void endDialog(bool accepted) override { ended = accepted ? 1 : 0; }
    QObject *messageOwner() override { return &owner; }

    QString zone, questionTitle, solution;
    Focus focus = Focus::None;
    int ended = -1;
    QObject owner;
};

struct Member {
    int id = 0;
    int points = 0;
    int credit = 0;
};

} // namespace

// --- the checks, in order -------------------------------------------------

TEST(QuestionRules, FirstFailingRuleInOrder)
{
    const QString t = QStringLiteral("Title");
    const QString q = QStringLiteral("Question");
    struct Row {
        const char *name;
        QString title, question;
        std::optional<int> points;
        int memberPoints, credit;
        QuestionRule expected;
    } rows[] = {
        {"all fine", t, q, 90, 200, 100, QuestionRule::Ok},
        {"title of blanks", QStringLiteral(" \t "), q, 90, 200, 100, QuestionRule::EmptyTitle},
        {"empty title before points 10", QString(), q, 10, 200, 100, QuestionRule::EmptyTitle},
        {"empty title before low credit", QString(), q, 90, 200, 0, QuestionRule::EmptyTitle},
        {"empty question", t, QString(), 90, 200, 100, QuestionRule::EmptyQuestion},
        {"question of blanks counts as empty", t, QStringLiteral("  \n\t"), 90, 200, 100, QuestionRule::EmptyQuestion},
        {"question before points", t, QString(), 10, 200, 100, QuestionRule::EmptyQuestion},
        {"points not a number comes first", QString(), QString(), std::nullopt, 200, 100,
         QuestionRule::PointsNotInteger},
        {"39 points", t, q, 39, 200, 100, QuestionRule::TooFewPoints},
        {"40 points", t, q, 40, 200, 100, QuestionRule::Ok},
        {"200 points", t, q, 200, 200, 100, QuestionRule::Ok},
        {"201 points", t, q, 201, 500, 100, QuestionRule::TooManyPoints},
        {"201 points before the member's points", t, q, 201, 10, 100, QuestionRule::TooManyPoints},
        {"points equal to the member's", t, q, 75, 75, 100, QuestionRule::Ok},
        {"one point more than the member has", t, q, 76, 75, 100, QuestionRule::NotEnoughPoints},
        {"points before credit", t, q, 76, 75, 0, QuestionRule::NotEnoughPoints},
        {"credit 59", t, q, 90, 200, 59, QuestionRule::CreditTooLow},
        {"credit 60", t, q, 90, 200, 60, QuestionRule::Ok},
    };
    for (const Row &r : rows)
        EXPECT_EQ(checkQuestion(r.title, r.question, r.points, r.memberPoints, r.credit), r.expected) << r.name;
}

TEST(QuestionRules, PointsFieldReadsWholeNumbersOnly)
{
    EXPECT_EQ(parsePoints(QStringLiteral("90")), 90);
    EXPECT_EQ(parsePoints(QStringLiteral(" 040 ")), 40);
    EXPECT_EQ(parsePoints(QStringLiteral("0")), 0);
    EXPECT_EQ(parsePoints(QString()), std::nullopt);
    EXPECT_EQ(parsePoints(QStringLiteral("12a")), std::nullopt);
    EXPECT_EQ(parsePoints(QStringLiteral("-5")), std::nullopt);
    EXPECT_EQ(parsePoints(QStringLiteral("+5")), std::nullopt);
    EXPECT_EQ(parsePoints(QStringLiteral("99999999999")), std::nullopt) << "beyond int must not wrap";
}

TEST(SolutionRules, EmptyFirstThenCredit)
{
    EXPECT_EQ(checkSolution(QStringLiteral("Try this"), 50), SolutionRule::Ok);
    EXPECT_EQ(checkSolution(QStringLiteral("Try this"), 59), SolutionRule::Ok) << "59 blocks only a question";
    EXPECT_EQ(checkSolution(QStringLiteral("Try this"), 49), SolutionRule::CreditTooLow);
    EXPECT_EQ(checkSolution(QString(), 49), SolutionRule::EmptySolution);
    EXPECT_EQ(checkSolution(QStringLiteral(" \n "), 100), SolutionRule::EmptySolution);
}

TEST(SolutionRules, ZoneTextDropsItsPrefix)
{
    EXPECT_EQ(zoneTextOfColumn(20), zoneLine(20).mid(6));
    EXPECT_FALSE(zoneTextOfColumn(20).startsWith(QStringLiteral("Zone")));
    EXPECT_TRUE(zoneTextOfColumn(0).isEmpty());
    EXPECT_TRUE(zoneTextOfColumn(42).isEmpty());
    EXPECT_TRUE(zoneTextOfColumn(-1).isEmpty());
}

// --- the dialogs without a server: every rejection stays on this side -------

struct OfflineDialogs : ::testing::Test {
    service::SiteAddress nowhere{QStringLiteral("127.0.0.1"), closedLoopbackPort()};
    platform::RecordingMessageBoxes messages;
};

TEST_F(OfflineDialogs, PostQuestionOpensWithItsInitialValues)
{
    PostView view;
    CAddPostDlg dlg(nowhere, view, messages, PostingContext{.currentColumn = 12});
    dlg.onInitDialog();
    EXPECT_EQ(view.zone, zoneLine(12));
    EXPECT_TRUE(view.zone.startsWith(QStringLiteral("Zone: ")));
    EXPECT_EQ(view.points, QStringLiteral("90"));
    EXPECT_TRUE(view.title.isEmpty());
    EXPECT_EQ(view.focus, Focus::Title);

    PostView noColumn;
    CAddPostDlg other(nowhere, noColumn, messages, PostingContext{.currentColumn = 42});
    other.onInitDialog();
    EXPECT_TRUE(noColumn.zone.isEmpty());
}

TEST_F(OfflineDialogs, PostQuestionRejectionsShowOneMessageAndKeepTheDialog)
{
    struct Row {
        QString title, points, question;
        int credit;
        QString message;
        Focus focus;
    } rows[] = {
        {QStringLiteral("   "), QStringLiteral("10"), QStringLiteral("q"), 100,
         QStringLiteral("You must provide a title for your question!"), Focus::Title},
        {QStringLiteral("T"), QStringLiteral("90"), QString(), 100, QStringLiteral("You must provide a question!"),
         Focus::Question},
        {QStringLiteral("T"), QStringLiteral("39"), QStringLiteral("q"), 100,
         QStringLiteral("The minimum number of points for the question is 40!"), Focus::PointsSelected},
        {QStringLiteral("T"), QStringLiteral("201"), QStringLiteral("q"), 100,
         QStringLiteral("The maximum number of points for the question is 200!"), Focus::PointsSelected},
        {QStringLiteral("T"), QStringLiteral("151"), QStringLiteral("q"), 100,
         QStringLiteral("You don't have enough available points to ask this question, please click 'Buy Points' "
                        "button to buy more points!"),
         Focus::PointsSelected},
        {QStringLiteral("T"), QString(), QStringLiteral("q"), 100, QStringLiteral("Please enter an integer."),
         Focus::PointsSelected},
        {QStringLiteral("T"), QStringLiteral("90"), QStringLiteral("q"), 59,
         QStringLiteral("Your credit is too low to post a question!"), Focus::None},
    };
    for (const Row &r : rows) {
        messages.shown.clear();
        PostView view;
        CAddPostDlg dlg(nowhere, view, messages,
                        PostingContext{.userID = 5, .points = 150, .credit = r.credit, .currentColumn = 3});
        dlg.onInitDialog();
        view.focus = Focus::None;
        view.title = r.title;
        view.points = r.points;
        view.question = r.question;
        dlg.onSubmit();
        ASSERT_EQ(messages.shown.size(), 1u) << r.message.toStdString();
        EXPECT_EQ(messages.shown[0].text, r.message);
        EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Quillora 2007"));
        EXPECT_EQ(messages.shown[0].owner, &view.owner);
        EXPECT_EQ(view.focus, r.focus) << r.message.toStdString();
        EXPECT_EQ(view.ended, -1);
        EXPECT_EQ(view.question, r.question) << "the typed question stays as it was";
    }
}

TEST_F(OfflineDialogs, TitleIsTrimmedInTheFieldAndAFailedCallKeepsEverything)
{
    PostView view;
    CAddPostDlg dlg(nowhere, view, messages,
                    PostingContext{.userID = 5, .points = 150, .credit = 100, .currentColumn = 3});
    dlg.onInitDialog();
    view.title = QStringLiteral("  Driver crash  ");
    view.question = QStringLiteral("  Details  ");
    dlg.onSubmit();
    EXPECT_EQ(view.title, QStringLiteral("Driver crash"));
    EXPECT_EQ(view.question, QStringLiteral("  Details  "));
    EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to post question, please try it again."));
    EXPECT_EQ(view.ended, -1);

    ReplyView reply;
    CAddReplyDlg rdlg(nowhere, reply, messages,
                      PostingContext{.userID = 5, .credit = 100, .currentColumn = 3, .selectedQuestionId = 7});
    rdlg.onInitDialog();
    reply.solution = QStringLiteral("Reinstall it");
    rdlg.onSubmit();
    EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to post solution, please try it again."));
    EXPECT_EQ(reply.ended, -1);
    EXPECT_EQ(reply.solution, QStringLiteral("Reinstall it"));
}

TEST_F(OfflineDialogs, PostSolutionOpensAndRejects)
{
    ReplyView view;
    CAddReplyDlg dlg(nowhere, view, messages,
                     PostingContext{.credit = 49,
                                    .currentColumn = 25,
                                    .selectedQuestionId = 3,
                                    .selectedQuestionTitle = QStringLiteral("Lag & stutter")});
    dlg.onInitDialog();
    EXPECT_EQ(view.zone, zoneTextOfColumn(25));
    EXPECT_EQ(view.questionTitle, QStringLiteral("Lag & stutter"));
    EXPECT_EQ(view.focus, Focus::Solution);

    view.focus = Focus::None;
    view.solution = QStringLiteral("   ");
    dlg.onSubmit();
    EXPECT_EQ(messages.lastText(), QStringLiteral("You must provide a solution!"));
    EXPECT_EQ(view.focus, Focus::Solution);

    view.solution = QStringLiteral("Lower the detail");
    dlg.onSubmit();
    EXPECT_EQ(messages.lastText(), QStringLiteral("Your credit is too low to post a solution!"));
    EXPECT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(view.ended, -1);

    dlg.onCancel();
    EXPECT_EQ(view.ended, 0);
}

// --- against the real server ---------------------------------------------

struct ServerPosting : ::testing::Test {
    static void SetUpTestSuite() { server = new testpeers::VarnelServerProcess({.demo = true}); }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(server->started()) << server->error(); }

    service::SiteAddress site() const { return {QStringLiteral("127.0.0.1"), static_cast<quint16>(server->port())}; }

    Member member(const QString &name) const
    {
        QString document;
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::GetUserByUserName);
        EXPECT_TRUE(service::succeeded(proxy.GetUserByUserName(name, name + QStringLiteral("123"), &document)));
        const auto users = service::readRecords(document, service::kUserTag, 1, 18).records;
        Member m;
        if (!users.empty()) {
            service::takeField(users[0], 0, m.id);
            service::takeField(users[0], 5, m.points);
            service::takeField(users[0], 7, m.credit);
        }
        return m;
    }

    PostingContext contextOf(const Member &m, int column) const
    {
        return PostingContext{.userID = m.id, .points = m.points, .credit = m.credit, .currentColumn = column};
    }

    // The question record (ForumPost) of an ID.
    service::DocumentRecord question(int id) const
    {
        QString document;
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::GetForumPostByID);
        EXPECT_TRUE(service::succeeded(proxy.GetForumPostByID(id, &document)));
        const auto records = service::readRecords(document, service::kForumPostTag, 1, 13).records;
        return records.empty() ? service::DocumentRecord() : records[0];
    }

    // The rows of a column's first page (ForumPosts).
    std::vector<service::DocumentRecord> columnPage(int column) const
    {
        QString document;
        int total = 0;
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::GetForumPostListByColumn);
        EXPECT_TRUE(service::succeeded(proxy.GetForumPostListByColumn(column, 15, 1, &document, &total)));
        return service::readRecords(document, service::kForumPostsTag, 15, 8).records;
    }

    QStringList answersOf(int questionId) const
    {
        QString document;
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::GetForumReplyListByPostID);
        EXPECT_TRUE(service::succeeded(proxy.GetForumReplyListByPostID(questionId, &document)));
        QStringList texts;
        for (const auto &r : service::readRecords(document, u"ForumReply", 100, 8).records)
            texts << r.value(5);
        return texts;
    }

    static testpeers::VarnelServerProcess *server;
    platform::RecordingMessageBoxes messages;
};
testpeers::VarnelServerProcess *ServerPosting::server = nullptr;

TEST_F(ServerPosting, AQuestionIsStoredTrimmedAndItsPointsReserved)
{
    const Member dave = member(QStringLiteral("dave"));
    ASSERT_GE(dave.points, 40);
    PostView view;
    CAddPostDlg dlg(site(), view, messages, contextOf(dave, 5));
    dlg.onInitDialog();
    view.title = QStringLiteral("  Spooler stops after resume  ");
    view.points = QStringLiteral("40");
    view.question = QStringLiteral("\n  The print queue hangs & stays empty.  \n");
    dlg.onSubmit();
    EXPECT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    EXPECT_EQ(view.ended, 1);

    const auto rows = columnPage(5);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0].value(1), QStringLiteral("Spooler stops after resume")) << "newest first";
    EXPECT_EQ(rows[0].value(2), QStringLiteral("dave"));
    EXPECT_EQ(rows[0].value(3), QStringLiteral("40"));
    const auto stored = question(service::leadingInt(rows[0].value(0)));
    EXPECT_EQ(stored.value(10), QStringLiteral("The print queue hangs & stays empty."));
    EXPECT_EQ(member(QStringLiteral("dave")).points, dave.points - 40);
}

TEST_F(ServerPosting, AQuestionTheServiceRefusesKeepsTheDialogOpen)
{
    // A current column outside 1..41 is sent unchanged; the service refuses it.
    const Member erin = member(QStringLiteral("erin"));
    PostView view;
    CAddPostDlg dlg(site(), view, messages, contextOf(erin, 0));
    dlg.onInitDialog();
    EXPECT_TRUE(view.zone.isEmpty());
    view.title = QStringLiteral("Where does this go?");
    view.question = QStringLiteral("Nowhere.");
    dlg.onSubmit();
    EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to post question, please try it again."));
    EXPECT_EQ(view.ended, -1);
    EXPECT_EQ(view.title, QStringLiteral("Where does this go?"));
    EXPECT_EQ(member(QStringLiteral("erin")).points, erin.points) << "nothing reserved";
}

TEST_F(ServerPosting, StalePointsLetTheServiceRefuse)
{
    // A new member starts with 200 points and spends them all on a question.
    bool created = false;
    {
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::CreateNewUser);
        ASSERT_TRUE(service::succeeded(proxy.CreateNewUser(
            QStringLiteral("frank"), QStringLiteral("frank123"), QStringLiteral("Frank"), 1, QString(),
            QStringLiteral("3"), QString(), QString(), QString(), QString(), QStringLiteral("guid"), &created)));
    }
    ASSERT_TRUE(created);
    const Member frank = member(QStringLiteral("frank"));
    ASSERT_EQ(frank.points, 200);
    PostView first;
    CAddPostDlg all(site(), first, messages, contextOf(frank, 30));
    all.onInitDialog();
    first.title = QStringLiteral("Everything on one question");
    first.points = QStringLiteral("200");
    first.question = QStringLiteral("Which engine?");
    all.onSubmit();
    ASSERT_EQ(first.ended, 1) << messages.lastText().toStdString();

    // The dialog trusts the figures of the last status refresh (200 points);
    // the service knows there are none left.
    PostView second;
    CAddPostDlg stale(site(), second, messages, contextOf(frank, 30));
    stale.onInitDialog();
    second.title = QStringLiteral("One more");
    second.points = QStringLiteral("40");
    second.question = QStringLiteral("Anyone?");
    stale.onSubmit();
    EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to post question, please try it again."));
    EXPECT_EQ(second.ended, -1);
    EXPECT_EQ(member(QStringLiteral("frank")).points, 0);
}

TEST_F(ServerPosting, ASolutionIsStoredAndOwnOrClosedQuestionsAreRefused)
{
    const Member dave = member(QStringLiteral("dave"));
    int openId = 0, closedId = 0, ownId = 0;
    QString openTitle;
    for (const auto &row : columnPage(1)) {
        const int id = service::leadingInt(row.value(0));
        const bool mine = row.value(2) == QStringLiteral("dave");
        if (row.value(7) == QStringLiteral("Closed") && !closedId)
            closedId = id;
        else if (row.value(7) != QStringLiteral("Closed") && mine && !ownId)
            ownId = id;
        else if (row.value(7) != QStringLiteral("Closed") && !mine && !openId) {
            openId = id;
            openTitle = row.value(1);
        }
    }
    ASSERT_GT(openId, 0);
    ASSERT_GT(closedId, 0);

    PostingContext context = contextOf(dave, 1);
    context.selectedQuestionId = openId;
    context.selectedQuestionTitle = openTitle;
    ReplyView view;
    CAddReplyDlg dlg(site(), view, messages, context);
    dlg.onInitDialog();
    EXPECT_EQ(view.questionTitle, openTitle);
    view.solution = QStringLiteral("  Clear the cache, then restart.\n");
    dlg.onSubmit();
    EXPECT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    EXPECT_EQ(view.ended, 1);
    EXPECT_EQ(answersOf(openId).last(), QStringLiteral("Clear the cache, then restart."));

    for (int refused : {closedId, ownId}) {
        if (!refused)
            continue;
        messages.shown.clear();
        context.selectedQuestionId = refused;
        ReplyView again;
        CAddReplyDlg other(site(), again, messages, context);
        other.onInitDialog();
        again.solution = QStringLiteral("More ideas");
        other.onSubmit();
        EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to post solution, please try it again.")) << refused;
        EXPECT_EQ(again.ended, -1);
    }
}
