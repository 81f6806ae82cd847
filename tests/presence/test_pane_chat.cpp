// The "Contact" pane rules: the two folders and their row limits, the head
// slots and badges, a failing list, and the 100-point rule for writing to
// online experts, the last against the real varnel-server.
#include "board_test_support.h"
#include "pane_chat.h"
#include "platform/message_box.h"
#include "scripted_http_peer.h"
#include "soap_answers.h"

#include <gtest/gtest.h>

#include <map>

using namespace quillora;
using namespace quillora::presence;
using namespace quillora::presence::test;

namespace {

struct RecordingPaneView : PaneChatView {
    void selectFolder(int f) override { folder = f; }
    void clearFolder(int f) override { items[f].clear(); }
    void addItem(int f, int position, const QString &label, int slot, int badge) override
    {
        items[f].insert(items[f].begin() + position, Item{label, slot, badge});
    }
    void setHeadSlot(int slot, const HeadPictureRequest &r) override { slots[slot] = r; }
    QObject *messageOwner() override { return nullptr; }

    struct Item {
        QString label;
        int slot;
        int badge;
    };
    int folder = -1;
    std::map<int, std::vector<Item>> items;
    std::map<int, HeadPictureRequest> slots;
};

// n listed members: user ID 100+i, name "uI", nickname "Ni", face i % 24 + 1,
// rank i % 12 (0 and 11 have no badge), custom picture for every fifth.
QList<QStringList> members(int n)
{
    QList<QStringList> rows;
    for (int i = 0; i < n; ++i)
        rows << QStringList{QString::number(100 + i),
                            QStringLiteral("u%1").arg(i),
                            QStringLiteral("N%1").arg(i),
                            QString::number(i % 24 + 1),
                            QStringLiteral("50"),
                            QString::number(i % 12),
                            i % 5 == 4 ? QStringLiteral("1") : QStringLiteral("0")};
    return rows;
}

struct PaneFixture {
    PaneFixture(const service::SiteAddress &site, platform::MessageBoxes &boxes)
        : rules(
              site, boxes, view, [this] { return points; }, [this](const QStringList &r) { opened.push_back(r); })
    {
        rules.create();
    }
    RecordingPaneView view;
    int points = 0;
    std::vector<QStringList> opened;
    CPaneChat rules;
};

service::SiteAddress peerSite(const testpeers::ScriptedHttpPeer &peer)
{
    return {QStringLiteral("127.0.0.1"), static_cast<quint16>(peer.port())};
}

} // namespace

TEST(PaneChat, FoldersKeepTheirRowLimitsSlotsAndBadges)
{
    QList<QStringList> experts = members(25);
    experts[9][RecordUserId] = QStringLiteral("12a"); // custom picture, but no file name
    experts[9][RecordCustomFlag] = QStringLiteral("1");
    testpeers::ScriptedHttpPeer peer({
        testpeers::PeerScript().readRequest().send(
            soapAnswer("GetExpertListOnlineByPostID", recordsDocument(QStringLiteral("User"), experts))),
        testpeers::PeerScript().readRequest().send(
            soapAnswer("GetReplierListOnlineByPostID", recordsDocument(QStringLiteral("User"), members(70)))),
    });
    platform::RecordingMessageBoxes boxes;
    PaneFixture pane(peerSite(peer), boxes);
    EXPECT_EQ(pane.view.folder, AnswerProvidersFolder);

    pane.rules.load(7);
    EXPECT_TRUE(boxes.shown.empty()) << boxes.lastText().toStdString();
    ASSERT_EQ(pane.view.items[OnlineExpertsFolder].size(), 20u);
    ASSERT_EQ(pane.view.items[AnswerProvidersFolder].size(), 60u);
    EXPECT_EQ(pane.view.folder, AnswerProvidersFolder);
    EXPECT_EQ(pane.rules.folderShown(), AnswerProvidersFolder);

    const auto &first = pane.view.items[OnlineExpertsFolder][0];
    EXPECT_EQ(first.label, QStringLiteral("u0(N0)"));
    EXPECT_EQ(first.slot, 0);
    EXPECT_EQ(first.badge, -1); // rank 0
    EXPECT_EQ(pane.view.items[OnlineExpertsFolder][3].badge, 2);
    EXPECT_EQ(pane.view.items[OnlineExpertsFolder][11].badge, -1); // rank 11
    EXPECT_EQ(pane.view.items[AnswerProvidersFolder][0].slot, 20);
    EXPECT_EQ(pane.view.items[AnswerProvidersFolder][59].slot, 79);
    EXPECT_EQ(pane.view.items[AnswerProvidersFolder][59].label, QStringLiteral("u59(N59)"));

    // Built-in pictures by number, custom pictures by user ID (fetched when missing).
    EXPECT_EQ(pane.view.slots[0], builtInHead(1));
    EXPECT_EQ(pane.view.slots[4].customName, QStringLiteral("104"));
    EXPECT_TRUE(pane.view.slots[4].mayDownload);
    EXPECT_EQ(pane.view.slots[20 + 4].customName, QStringLiteral("104"));
    EXPECT_EQ(pane.view.slots.count(9), 0u); // "12a" names no file: the slot keeps its picture
    EXPECT_EQ(pane.view.slots.count(79), 1u);
    EXPECT_EQ(pane.view.slots.count(80), 0u);
}

TEST(PaneChat, AFailingListLeavesItsFolderEmptyAndTheOtherLoads)
{
    testpeers::ScriptedHttpPeer peer({
        testpeers::PeerScript().readRequest().close(),
        testpeers::PeerScript().readRequest().send(
            soapAnswer("GetReplierListOnlineByPostID", recordsDocument(QStringLiteral("User"), members(2)))),
        testpeers::PeerScript().readRequest().send(
            soapAnswer("GetExpertListOnlineByPostID", QStringLiteral("<Users><User>"))),
        testpeers::PeerScript().readRequest().close(),
    });
    platform::RecordingMessageBoxes boxes;
    PaneFixture pane(peerSite(peer), boxes);
    pane.rules.load(7);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Failed to get online experts list !"));
    EXPECT_TRUE(pane.view.items[OnlineExpertsFolder].empty());
    EXPECT_EQ(pane.view.items[AnswerProvidersFolder].size(), 2u);

    // A second load replaces both lists: the broken document, then the failing call.
    pane.rules.load(8);
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[1].text, QStringLiteral("Failed to load the XML stream into the DOM."));
    EXPECT_EQ(boxes.shown[2].text, QStringLiteral("Failed to get solution providers list !"));
    EXPECT_TRUE(pane.view.items[OnlineExpertsFolder].empty());
    EXPECT_TRUE(pane.view.items[AnswerProvidersFolder].empty());
    EXPECT_TRUE(pane.rules.answerProviders().empty());
}

TEST(PaneChatServer, OnlineExpertsNeedAHundredPointsAnswerProvidersNone)
{
    testpeers::VarnelServerProcess server({.demo = true});
    ASSERT_TRUE(server.started()) << server.error();
    const service::SiteAddress site = siteOf(server);
    const MemberValues asker = newMember(site, QStringLiteral("asker"), QStringLiteral("Asker"));
    const MemberValues helper = newMember(site, QStringLiteral("helper"), QStringLiteral("Helper"));

    service::CVarnelServices proxy(site);
    bool ok = false;
    int question = 0;
    proxy.useServiceAccount(service::Op::CreatForumPost);
    ASSERT_TRUE(service::succeeded(proxy.CreatForumPost(asker.userID, QStringLiteral("Boot loop after update"), 1, 100,
                                                        QStringLiteral("It restarts."), &ok, &question)));
    ASSERT_TRUE(ok);
    int reply = 0;
    proxy.useServiceAccount(service::Op::CreatForumReply);
    ASSERT_TRUE(service::succeeded(
        proxy.CreatForumReply(question, helper.userID, 1, QStringLiteral("Try safe mode."), &ok, &reply)));
    ASSERT_TRUE(ok);

    platform::RecordingMessageBoxes boxes;
    PaneFixture pane(site, boxes);
    pane.rules.load(question);
    ASSERT_FALSE(pane.rules.onlineExperts().empty()); // the software zone's star experts
    ASSERT_EQ(pane.rules.answerProviders().size(), 1u);
    EXPECT_EQ(pane.view.items[AnswerProvidersFolder][0].label, QStringLiteral("helper(Helper)"));

    // Answer providers can always be contacted; the record goes on as read.
    pane.points = 0;
    pane.rules.itemClicked(0);
    ASSERT_EQ(pane.opened.size(), 1u);
    EXPECT_EQ(pane.opened[0].value(RecordUserId), QString::number(helper.userID));
    EXPECT_EQ(pane.opened[0].size(), 7);

    pane.rules.folderChanged(OnlineExpertsFolder);
    pane.points = 99;
    pane.rules.itemClicked(0);
    EXPECT_EQ(pane.opened.size(), 1u);
    EXPECT_EQ(boxes.lastText(),
              QStringLiteral("Sorry,your question points is not enough to communicate with online expterts!"));
    pane.points = 100;
    pane.rules.itemClicked(0);
    ASSERT_EQ(pane.opened.size(), 2u);
    EXPECT_EQ(pane.opened[1], pane.rules.onlineExperts()[0]);
    EXPECT_EQ(boxes.shown.size(), 1u);
}
