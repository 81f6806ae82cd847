// The File commands' rules: the selected-question check, the printing notice
// and footer, the proposed names and filters, replacing an existing file only
// when the member says so, and "Save Message" with the message board.
#include "board_test_support.h"
#include "message_dlg.h"
#include "platform/file_prompt.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "print_save.h"
#include "scripted_http_peer.h"
#include "soap_answers.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillora;
using namespace quillora::presence;
using namespace quillora::presence::test;

namespace {

// The page as the commands use it: what was asked of it, and a file for saves.
struct RecordingPage : QuestionPage {
    bool print(const QString &footer) override
    {
        calls << QStringLiteral("print ") + footer;
        return true;
    }
    void preview(const QString &footer) override { calls << QStringLiteral("preview ") + footer; }
    bool saveArchive(const QString &path) override
    {
        calls << QStringLiteral("save ") + QFileInfo(path).fileName();
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write("archive") == 7;
    }
    QStringList calls;
};

struct Commands : ::testing::Test {
    Commands() : commands(boxes, prompts)
    {
        commands.selectedQuestion = [this] { return question; };
        commands.page = [this] { return &page; };
        commands.setStatusPrompt = [this](const QString &t) { prompts_shown << t; };
        commands.today = [] { return QDate(2007, 5, 1); };
    }
    platform::RecordingMessageBoxes boxes;
    platform::RecordingFilePrompts prompts;
    RecordingPage page;
    QStringList prompts_shown;
    int question = -1;
    PrintSaveCommands commands;
    QTemporaryDir dir;
};

} // namespace

TEST_F(Commands, PageCommandsNeedAQuestionButZeroIsOne)
{
    commands.printQuestion();
    commands.printPreview();
    EXPECT_FALSE(commands.saveQuestion());
    ASSERT_EQ(boxes.shown.size(), 3u);
    for (const auto &shown : boxes.shown)
        EXPECT_EQ(shown.text, QStringLiteral("Error: No question selected!"));
    EXPECT_TRUE(page.calls.isEmpty());
    EXPECT_TRUE(prompts.requests.empty());

    question = 0;
    commands.printPreview();
    EXPECT_EQ(page.calls.size(), 1);
}

TEST_F(Commands, PrintingShowsItsNoticeAndPutsTheDateInTheFooter)
{
    question = 12;
    commands.printQuestion();
    const QString date = QLocale().toString(QDate(2007, 5, 1), QLocale::ShortFormat);
    EXPECT_EQ(page.calls, QStringList{QStringLiteral("print ") + date});
    ASSERT_EQ(prompts_shown.size(), 2);
    EXPECT_EQ(prompts_shown[0], QString::fromUtf16(u"Printing, please wait\u2026"));
    EXPECT_EQ(prompts_shown[1], QStringLiteral("Please select a zone"));

    EXPECT_EQ(expandFooter(QStringLiteral("&d"), QDate(2007, 5, 1)), date);
    EXPECT_EQ(expandFooter(QStringLiteral("A && B &u"), QDate(2007, 5, 1)), QStringLiteral("A & B &u"));
}

TEST_F(Commands, SaveQuestionProposesItsNameAndAsksBeforeReplacing)
{
    question = 1234;
    EXPECT_FALSE(commands.saveQuestion()); // cancelled
    ASSERT_EQ(prompts.requests.size(), 1u);
    EXPECT_EQ(prompts.requests[0].proposedName, QStringLiteral("1234.mhtml"));
    EXPECT_EQ(prompts.requests[0].filter, QString::fromUtf16(u"mhtml\u6587\u4ef6(*.mhtml)"));
    EXPECT_TRUE(page.calls.isEmpty());

    const QString path = dir.filePath(QStringLiteral("kept.mhtml"));
    {
        QFile existing(path);
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("old");
    }
    prompts.answers.push_back(path);
    boxes.setNextAnswer(platform::MessageAnswer::No);
    EXPECT_FALSE(commands.saveQuestion());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].buttons, platform::MessageButtons::YesNo);
    EXPECT_TRUE(boxes.shown[0].text.startsWith(QStringLiteral("kept.mhtml already exists.")));
    EXPECT_TRUE(page.calls.isEmpty());
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old"));

    prompts.answers.push_back(path);
    boxes.setNextAnswer(platform::MessageAnswer::Yes);
    EXPECT_TRUE(commands.saveQuestion());
    EXPECT_EQ(page.calls, QStringList{QStringLiteral("save kept.mhtml")});

    // A folder without a file name saves as "untitled".
    prompts.answers.push_back(dir.path() + QLatin1Char('/'));
    EXPECT_TRUE(commands.saveQuestion());
    EXPECT_EQ(page.calls.last(), QStringLiteral("save untitled"));
}

TEST_F(Commands, SaveMessageChecksTheBoardBeforeAnyFile)
{
    // One waiting message for the board's poll.
    const QString message = recordsDocument(
        QStringLiteral("Message"), {{QStringLiteral("7"), QStringLiteral("hello"), QStringLiteral("ann"),
                                     QStringLiteral("Annie"), QStringLiteral("3"), QStringLiteral("80"),
                                     QStringLiteral("2007-05-01 09:00"), QStringLiteral("7"), QStringLiteral("0")}});
    testpeers::ScriptedHttpPeer peer({testpeers::PeerScript().readRequest().send(soapAnswer("GetMessage", message))});
    MemberValues me;
    me.userID = 9;
    me.nickname = QStringLiteral("Me");
    RecordingBoardView view;
    platform::RecordingSystemOpener opener;
    CMessageDlg board({QStringLiteral("127.0.0.1"), static_cast<quint16>(peer.port())}, me, boxes, opener, view);
    commands.messageBoard = [&board] { return &board; };

    const QString path = dir.filePath(QStringLiteral("2007-05-01.rtf"));
    prompts.answers.push_back(path);
    EXPECT_FALSE(commands.saveMessage());
    EXPECT_EQ(boxes.lastText(), QStringLiteral("Message board is empty !"));
    EXPECT_TRUE(prompts.requests.empty()); // nothing asked
    EXPECT_FALSE(QFileInfo::exists(path));

    ASSERT_EQ(board.poll(PollTrigger::Receive), 1);
    EXPECT_TRUE(commands.saveMessage());
    ASSERT_EQ(prompts.requests.size(), 1u);
    EXPECT_EQ(prompts.requests[0].proposedName, QStringLiteral("2007-05-01.rtf"));
    EXPECT_EQ(prompts.requests[0].filter, QStringLiteral("rtf file(*.rtf)"));
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray rtf = saved.readAll();
    EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
    EXPECT_TRUE(rtf.contains("FROM [ann(Annie)](2007-05-01 09:00)"));
    EXPECT_TRUE(rtf.contains("hello"));
    EXPECT_EQ(prompts_shown.last(), QStringLiteral("Messages saved to 2007-05-01.rtf"));
}
