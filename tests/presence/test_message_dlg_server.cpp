// The message board rules against the real varnel-server on loopback: two
// members writing both ways, the poll's rounds, the sender lookup, the
// arrival alerts, the checks of "Send" and the failures of the poll.
#include "board_test_support.h"
#include "frame_test_support.h"
#include "message_dlg.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "test_bitmaps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillora;
using namespace quillora::presence;
using namespace quillora::presence::test;

namespace {

struct Board {
    Board(const service::SiteAddress &site, const MemberValues &m, platform::MessageBoxes &boxes)
        : member(m), rules(site, member, boxes, opener, view, alerts.alerts())
    {
        rules.setClock([] { return QDateTime(QDate(2007, 5, 1), QTime(9, 30, 0)); });
    }
    MemberValues member;
    RecordingBoardView view;
    AlertLog alerts;
    platform::RecordingSystemOpener opener;
    CMessageDlg rules;
};

struct MessageBoardServer : ::testing::Test {
    static void SetUpTestSuite() { server = new testpeers::VarnelServerProcess(); }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(server->started()) << server->error(); }
    service::SiteAddress site() const { return siteOf(*server); }
    // A member name of its own for each test, so tests share no messages.
    QString unique(const char *stem) { return QLatin1String(stem) + QString::number(++counter); }

    static testpeers::VarnelServerProcess *server;
    static int counter;
    platform::RecordingMessageBoxes boxes;
};
testpeers::VarnelServerProcess *MessageBoardServer::server = nullptr;
int MessageBoardServer::counter = 0;

QStringList texts(const std::vector<TranscriptPiece> &pieces)
{
    QStringList out;
    for (const TranscriptPiece &p : pieces)
        out << p.text;
    return out;
}

} // namespace

TEST_F(MessageBoardServer, TwoMembersWriteBothWays)
{
    const MemberValues ann = newMember(site(), unique("ann"), QStringLiteral("Annie"));
    const MemberValues ben = newMember(site(), unique("ben"), QStringLiteral("Benny"));
    Board a(site(), ann, boxes), b(site(), ben, boxes);

    // Ann opens a chat with Ben from the pane and sends, blanks around the text.
    a.rules.openChat(contactRecord(ben));
    EXPECT_EQ(a.view.caption, QStringLiteral("Chatting with Benny"));
    a.view.typed = QStringLiteral("  hello, see www.example.org  ");
    ASSERT_TRUE(a.rules.send());
    EXPECT_TRUE(a.view.typed.isEmpty());
    EXPECT_EQ(texts(a.rules.transcript()),
              QStringList({QStringLiteral("TO [%1(Benny)](2007-05-01 09:30:00)\r\n\r\n").arg(ben.userName),
                           QStringLiteral("  hello, see www.example.org  \r\n\r\n")}));
    EXPECT_EQ(a.rules.transcript()[0].part, TranscriptPart::Header);
    EXPECT_EQ(a.rules.transcript()[1].part, TranscriptPart::Body);

    // Ben's poll shows it with the service's time, verbatim, and the text as sent (trimmed).
    EXPECT_EQ(b.rules.poll(PollTrigger::Receive), 1);
    ASSERT_EQ(b.rules.transcript().size(), 2u);
    const QString header = b.rules.transcript()[0].text;
    const QRegularExpression expected(
        QStringLiteral("^FROM \\[%1\\(Annie\\)\\]\\((\\d{4}-\\d\\d-\\d\\d [0-9:]+)\\)\r\n\r\n$").arg(ann.userName));
    EXPECT_TRUE(expected.match(header).hasMatch()) << header.toStdString();
    EXPECT_EQ(b.rules.transcript()[1].text, QStringLiteral("hello, see www.example.org\r\n\r\n"));
    EXPECT_EQ(b.view.names, QStringList{ann.userName});
    EXPECT_EQ(b.view.selected, 0);
    EXPECT_EQ(b.view.caption, QStringLiteral("Chatting with Annie"));
    EXPECT_EQ(b.view.peerNick, QStringLiteral("Annie"));
    EXPECT_EQ(b.view.ownNick, QStringLiteral("Benny"));
    ASSERT_FALSE(b.view.peerHeads.empty());
    EXPECT_EQ(b.view.peerHeads.back(), builtInHead(ann.headImage));

    // Ben answers the sender the poll selected; Ann receives it.
    b.view.typed = QStringLiteral("hi Ann");
    ASSERT_TRUE(b.rules.send());
    EXPECT_EQ(a.rules.poll(PollTrigger::Timer), 1);
    EXPECT_TRUE(a.rules.transcript()[2].text.startsWith(QStringLiteral("FROM [%1(Benny)](").arg(ben.userName)));
    EXPECT_EQ(a.rules.transcript()[3].text, QStringLiteral("hi Ann\r\n\r\n"));
    EXPECT_EQ(a.rules.contacts().size(), 1u); // the open chat's contact, not a second one
    EXPECT_TRUE(boxes.shown.empty()) << boxes.lastText().toStdString();
}

TEST_F(MessageBoardServer, TwelveWaitingMessagesAllShowAfterOneReceive)
{
    const MemberValues to = newMember(site(), unique("many"), QStringLiteral("Many"));
    const MemberValues from = newMember(site(), unique("talker"), QStringLiteral("Talker"));
    for (int i = 1; i <= 12; ++i)
        sendDirect(site(), from.userID, to.userID, QStringLiteral("message %1").arg(i));
    Board b(site(), to, boxes);
    b.view.shown = true;

    EXPECT_EQ(b.rules.poll(PollTrigger::Receive), 12);
    ASSERT_EQ(b.rules.transcript().size(), 24u);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(b.rules.transcript()[2 * i + 1].text, QStringLiteral("message %1\r\n\r\n").arg(i + 1));
    EXPECT_EQ(b.rules.contacts().size(), 1u); // one sender, one contact
    // Nothing is left waiting and nothing is shown twice.
    EXPECT_EQ(b.rules.poll(PollTrigger::Receive), 0);
    EXPECT_EQ(b.rules.transcript().size(), 24u);
}

TEST_F(MessageBoardServer, SenderIsFoundByExactNameNotByPrefix)
{
    const QString stem = unique("bo");
    const MemberValues me = newMember(site(), unique("me"), QStringLiteral("Me"));
    const MemberValues bobby = newMember(site(), stem + QStringLiteral("bby"), QStringLiteral("Bobby"));
    const MemberValues bob = newMember(site(), stem, QStringLiteral("Bob"));
    Board b(site(), me, boxes);
    b.view.shown = true;
    b.rules.openChat(contactRecord(bobby));

    sendDirect(site(), bob.userID, me.userID, QStringLiteral("from bob"));
    EXPECT_EQ(b.rules.poll(PollTrigger::Timer), 1);
    ASSERT_EQ(b.rules.contacts().size(), 2u);
    EXPECT_EQ(b.rules.contacts()[0].userName, bob.userName); // newest first
    EXPECT_EQ(b.rules.contacts()[1].userName, bobby.userName);
    ASSERT_NE(b.rules.selectedContact(), nullptr);
    EXPECT_EQ(b.rules.selectedContact()->userId, QString::number(bob.userID));

    // A later message from BOBBY, in other letter case, selects the existing contact.
    sendDirect(site(), bobby.userID, me.userID, QStringLiteral("from bobby"));
    EXPECT_EQ(b.rules.poll(PollTrigger::Timer), 1);
    EXPECT_EQ(b.rules.contacts().size(), 2u);
    EXPECT_EQ(b.rules.selectedIndex(), 1);
    EXPECT_EQ(b.view.names, QStringList({bob.userName, bobby.userName}));
}

// The row the member picks in "Chat with:" is the recipient; a chat opened
// again from the pane with someone already listed adds no contact, selects
// his row and names him in the header as "His(her) Profile" shows him.
TEST_F(MessageBoardServer, PickedRowAndReopenedChatNameTheRecipientAsShown)
{
    const MemberValues me = newMember(site(), unique("picker"), QStringLiteral("Picker"));
    const MemberValues ann = newMember(site(), unique("ann"), QStringLiteral("Annie"));
    const MemberValues ben = newMember(site(), unique("ben"), QStringLiteral("Benny"));
    Board b(site(), me, boxes);
    b.rules.openChat(contactRecord(ann));
    b.rules.openChat(contactRecord(ben));
    ASSERT_EQ(b.view.names, QStringList({ben.userName, ann.userName}));

    b.view.selected = 1; // the member picks Ann's row
    b.rules.selectionChanged(1);
    EXPECT_EQ(b.rules.selectedIndex(), 1);
    EXPECT_EQ(b.view.peerNick, QStringLiteral("Annie"));
    EXPECT_EQ(b.view.caption, QStringLiteral("Chatting with Annie"));
    b.view.typed = QStringLiteral("for Ann");
    ASSERT_TRUE(b.rules.send());
    EXPECT_EQ(b.rules.transcript()[0].text,
              QStringLiteral("TO [%1(Annie)](2007-05-01 09:30:00)\r\n\r\n").arg(ann.userName));
    Board a(site(), ann, boxes);
    EXPECT_EQ(a.rules.poll(PollTrigger::Receive), 1);
    EXPECT_EQ(a.rules.transcript()[1].text, QStringLiteral("for Ann\r\n\r\n"));

    QStringList again = contactRecord(ben);
    again[RecordNickname] = QStringLiteral("Benny B.");
    b.rules.openChat(again);
    EXPECT_EQ(b.rules.contacts().size(), 2u);
    EXPECT_EQ(b.rules.selectedIndex(), 0);
    EXPECT_EQ(b.view.peerNick, QStringLiteral("Benny B."));
    b.view.typed = QStringLiteral("hi Ben");
    ASSERT_TRUE(b.rules.send());
    EXPECT_EQ(b.rules.transcript()[2].text,
              QStringLiteral("TO [%1(Benny B.)](2007-05-01 09:30:00)\r\n\r\n").arg(ben.userName));
    EXPECT_TRUE(boxes.shown.empty()) << boxes.lastText().toStdString();
}

// A sender with a custom picture: the contact's face stands for it, and the
// profile group asks for the picture by the message's custom image name,
// fetched when the cache lacks it.
TEST_F(MessageBoardServer, SenderWithACustomPictureIsShownByIt)
{
    const MemberValues me = newMember(site(), unique("viewer"), QStringLiteral("Viewer"));
    const MemberValues star = newMember(site(), unique("star"), QStringLiteral("Star"), QStringLiteral("7"));
    {
        QFile picture(QString::fromStdString((server->filesDir() / (std::to_string(star.userID) + ".bmp")).string()));
        ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
        picture.write(testpeers::bitmapFile());
    }
    service::CVarnelServices proxy(site());
    proxy.useServiceAccount(service::Op::Authenticate);
    ASSERT_TRUE(service::succeeded(proxy.Authenticate(star.userID)));
    sendDirect(site(), star.userID, me.userID, QStringLiteral("look at my new picture"));

    Board b(site(), me, boxes);
    b.view.shown = true;
    EXPECT_EQ(b.rules.poll(PollTrigger::Timer), 1);
    ASSERT_EQ(b.rules.contacts().size(), 1u);
    EXPECT_EQ(b.rules.contacts()[0].face, QStringLiteral("24"));
    ASSERT_FALSE(b.view.peerHeads.empty());
    const HeadPictureRequest expected{7, QString::number(star.userID), true, false};
    EXPECT_EQ(b.view.peerHeads.back(), expected);
}

TEST_F(MessageBoardServer, ArrivalsAlertOnlyWhileTheBoardIsHidden)
{
    const MemberValues me = newMember(site(), unique("quiet"), QStringLiteral("Quiet"));
    const MemberValues peer = newMember(site(), unique("loud"), QStringLiteral("Loud"));
    Board b(site(), me, boxes);

    b.view.shown = true;
    sendDirect(site(), peer.userID, me.userID, QStringLiteral("one"));
    EXPECT_EQ(b.rules.poll(PollTrigger::Timer), 1);
    EXPECT_EQ(b.alerts.sounds, 0);
    EXPECT_EQ(b.alerts.animations, 0);
    EXPECT_TRUE(b.alerts.notices.isEmpty());

    b.view.shown = false;
    sendDirect(site(), peer.userID, me.userID, QStringLiteral("two"));
    sendDirect(site(), peer.userID, me.userID, QStringLiteral("three"));
    EXPECT_EQ(b.rules.poll(PollTrigger::Timer), 2);
    EXPECT_EQ(b.alerts.sounds, 1);
    EXPECT_EQ(b.alerts.animations, 1);
    EXPECT_EQ(b.alerts.notices, QStringList{QStringLiteral("2 new messages")});

    sendDirect(site(), peer.userID, me.userID, QStringLiteral("four"));
    b.rules.poll(PollTrigger::Timer);
    EXPECT_EQ(b.alerts.notices.last(), QStringLiteral("New message from Loud"));

    // A poll that brings nothing alerts nothing, and still shows "My Profile".
    b.view.ownNick.clear();
    EXPECT_EQ(b.rules.poll(PollTrigger::Timer), 0);
    EXPECT_EQ(b.alerts.sounds, 2);
    EXPECT_EQ(b.view.ownNick, QStringLiteral("Quiet"));
}

TEST_F(MessageBoardServer, TypedTextSurvivesAPoll)
{
    const MemberValues me = newMember(site(), unique("typist"), QStringLiteral("Typist"));
    const MemberValues peer = newMember(site(), unique("caller"), QStringLiteral("Caller"));
    Board b(site(), me, boxes);
    b.view.typed = QStringLiteral("half a sentence");
    sendDirect(site(), peer.userID, me.userID, QStringLiteral("interrupting"));
    EXPECT_EQ(b.rules.poll(PollTrigger::Timer), 1);
    EXPECT_EQ(b.view.typed, QStringLiteral("half a sentence"));
}

TEST_F(MessageBoardServer, SendChecksComeInOrderAndKeepTheText)
{
    const MemberValues me = newMember(site(), unique("sender"), QStringLiteral("Sender"));
    const MemberValues peer = newMember(site(), unique("target"), QStringLiteral("Target"));
    Board b(site(), me, boxes);

    b.view.typed = QStringLiteral("   ");
    EXPECT_FALSE(b.rules.send());
    EXPECT_EQ(boxes.lastText(), QStringLiteral("No recipients selected !"));
    EXPECT_EQ(b.view.focusCount, 1);

    b.rules.openChat(contactRecord(peer));
    EXPECT_FALSE(b.rules.send());
    EXPECT_EQ(boxes.lastText(), QStringLiteral("You must provide a message !"));
    EXPECT_EQ(b.view.focusCount, 2);
    EXPECT_EQ(b.view.typed, QStringLiteral("   "));
    EXPECT_TRUE(b.rules.isTranscriptEmpty());

    // "Chat with:" is editable: a name typed over it that is no contact, or a
    // cleared box, is no recipient, never the partner selected before.
    b.view.typed = QStringLiteral("for the right one only");
    for (const QString &typedName : {QStringLiteral("stranger"), QStringLiteral("  ")}) {
        b.view.typedChatWith = typedName;
        EXPECT_FALSE(b.rules.send()) << typedName.toStdString();
        EXPECT_EQ(boxes.lastText(), QStringLiteral("No recipients selected !"));
        EXPECT_EQ(b.view.typed, QStringLiteral("for the right one only"));
    }
    EXPECT_TRUE(b.rules.isTranscriptEmpty());
    // A contact's name typed in other letter case is that contact.
    b.view.typedChatWith = peer.userName.toUpper();
    ASSERT_TRUE(b.rules.send());
    EXPECT_TRUE(b.rules.transcript()[0].text.startsWith(QStringLiteral("TO [%1(").arg(peer.userName)));
    EXPECT_EQ(b.view.names.value(b.view.selected), peer.userName);

    // The service down: the text stays, nothing is appended.
    Board down({QStringLiteral("127.0.0.1"), closedLoopbackPort()}, me, boxes);
    down.rules.openChat(contactRecord(peer));
    down.view.typed = QStringLiteral("are you there?");
    EXPECT_FALSE(down.rules.send());
    EXPECT_EQ(boxes.lastText(), QStringLiteral("Failed to send message, please try again later !"));
    EXPECT_EQ(down.view.typed, QStringLiteral("are you there?"));
    EXPECT_TRUE(down.rules.isTranscriptEmpty());
    for (const auto &shown : boxes.shown)
        EXPECT_EQ(shown.caption, QStringLiteral("Quillora 2007"));
}

namespace {

// A message box that, while it is open, lets the timer tick: the board polls
// again from inside the box, as a nested event loop would make it.
struct TickingBoxes : platform::RecordingMessageBoxes {
    platform::MessageAnswer show(const platform::MessageRequest &request) override
    {
        const platform::MessageAnswer a = RecordingMessageBoxes::show(request);
        if (board && ticksWhileOpen-- > 0)
            board->poll(PollTrigger::Timer);
        return a;
    }
    CMessageDlg *board = nullptr;
    int ticksWhileOpen = 0;
};

} // namespace

TEST_F(MessageBoardServer, FailingTimerPollsDoNotStackBoxes)
{
    const MemberValues me = newMember(site(), unique("offline"), QStringLiteral("Offline"));
    TickingBoxes ticking;
    Board down({QStringLiteral("127.0.0.1"), closedLoopbackPort()}, me, ticking);
    ticking.board = &down.rules;
    ticking.ticksWhileOpen = 3;

    EXPECT_EQ(down.rules.poll(PollTrigger::Timer), 0);
    ASSERT_EQ(ticking.shown.size(), 1u);
    EXPECT_EQ(ticking.shown[0].text, QStringLiteral("Failed to get chat message!"));
    EXPECT_TRUE(down.rules.isTranscriptEmpty());
    EXPECT_TRUE(down.view.ownNick.isEmpty()); // a failed poll stops before "My Profile"

    // Once the box is closed, the next failing tick says it again.
    ticking.ticksWhileOpen = 0;
    down.rules.poll(PollTrigger::Timer);
    EXPECT_EQ(ticking.shown.size(), 2u);
}

TEST_F(MessageBoardServer, SavingAnEmptyBoardTouchesNoFile)
{
    const MemberValues me = newMember(site(), unique("saver"), QStringLiteral("Saver"));
    Board b(site(), me, boxes);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("2007-05-01.rtf"));
    EXPECT_FALSE(b.rules.saveTranscript(path));
    EXPECT_EQ(boxes.lastText(), QStringLiteral("Message board is empty !"));
    EXPECT_FALSE(QFileInfo::exists(path));
}
