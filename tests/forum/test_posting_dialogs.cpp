// The "Post Question" and "Post Solution" widgets offscreen: what the boxes
// accept, where the focus goes, and a question and a solution posted to the
// real server through the buttons.
#include "main_frame.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "result_document.h"
#include "screens/add_post_dialog.h"
#include "screens/add_reply_dialog.h"
#include "screens/main_frame_window.h"
#include "screens/posting_entry.h"
#include "varnel_server_process.h"
#include "varnel_services.h"
#include "zone_catalogue.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <tuple>

#include <gtest/gtest.h>

using namespace quillora;

namespace {

int argc = 1;
char arg0[] = "test_posting_dialogs";
char *argv[] = {arg0, nullptr};

struct PostingDialogs : ::testing::Test {
    static void SetUpTestSuite()
    {
        if (!qApp) {
            // The main window keeps its bar layout in the per-user settings.
            static QTemporaryDir config;
            qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
            new QApplication(argc, argv);
        }
        server = new testpeers::VarnelServerProcess({.demo = true});
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(server->started()) << server->error(); }

    service::SiteAddress site() const { return {QStringLiteral("127.0.0.1"), static_cast<quint16>(server->port())}; }

    // The demo member's context in `column`.
    forum::PostingContext contextOf(const QString &name, int column) const
    {
        QString document;
        service::CVarnelServices proxy(site());
        proxy.useServiceAccount(service::Op::GetUserByUserName);
        EXPECT_TRUE(service::succeeded(proxy.GetUserByUserName(name, name + QStringLiteral("123"), &document)));
        forum::PostingContext c;
        const auto users = service::readRecords(document, service::kUserTag, 1, 18).records;
        if (!users.empty()) {
            service::takeField(users[0], 0, c.userID);
            service::takeField(users[0], 5, c.points);
            service::takeField(users[0], 7, c.credit);
        }
        c.currentColumn = column;
        return c;
    }

    // An open question of another member than `name` in `column`: ID and title.
    std::pair<int, QString> openQuestionOf(int column, const QString &name) const
    {
        QString document;
        int total = 0;
        service::CVarnelServices proxy(site());
        proxy.useServiceAccount(service::Op::GetForumPostListByColumn);
        EXPECT_TRUE(service::succeeded(proxy.GetForumPostListByColumn(column, 15, 1, &document, &total)));
        for (const auto &row : service::readRecords(document, service::kForumPostsTag, 15, 8).records) {
            if (row.value(7) != QStringLiteral("Closed") && row.value(2) != name)
                return {service::leadingInt(row.value(0)), row.value(1)};
        }
        return {-1, QString()};
    }

    QString userDocument(const QString &name) const
    {
        QString document;
        service::CVarnelServices proxy(site());
        proxy.useServiceAccount(service::Op::GetUserByUserName);
        EXPECT_TRUE(service::succeeded(proxy.GetUserByUserName(name, name + QStringLiteral("123"), &document)));
        return document;
    }

    static testpeers::VarnelServerProcess *server;
    platform::RecordingMessageBoxes messages;
};
testpeers::VarnelServerProcess *PostingDialogs::server = nullptr;

} // namespace

TEST_F(PostingDialogs, QuestionBoxesTakeWhatTheRulesExpect)
{
    ui::AddPostDialog dialog(site(), messages, forum::PostingContext{.currentColumn = 24});
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Post Question"));
    EXPECT_EQ(dialog.zoneLabel()->text(), forum::zoneLine(24));
    EXPECT_EQ(dialog.pointsEdit()->text(), QStringLiteral("90"));
    EXPECT_TRUE(dialog.submitButton()->isDefault());

    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.focusWidget(), dialog.titleEdit());

    dialog.pointsEdit()->clear();
    QTest::keyClicks(dialog.pointsEdit(), QStringLiteral("1x2-0"));
    EXPECT_EQ(dialog.pointsEdit()->text(), QStringLiteral("120")) << "digits only";

    dialog.titleEdit()->setText(QString(250, QLatin1Char('t')));
    EXPECT_EQ(dialog.titleEdit()->text().size(), 200);

    // Pasting past 8000 characters keeps the first part of the paste.
    dialog.questionEdit()->setPlainText(QString(7990, QLatin1Char('a')));
    QTextCursor cursor = dialog.questionEdit()->textCursor();
    cursor.setPosition(5);
    dialog.questionEdit()->setTextCursor(cursor);
    dialog.questionEdit()->insertPlainText(QString(20, QLatin1Char('b')));
    const QString text = dialog.questionEdit()->toPlainText();
    EXPECT_EQ(text.size(), 8000);
    EXPECT_EQ(text.mid(5, 10), QString(10, QLatin1Char('b')));
    EXPECT_EQ(text.mid(15, 1), QStringLiteral("a"));
    EXPECT_EQ(dialog.questionEdit()->textCursor().position(), 15);
    QTest::keyClick(dialog.questionEdit(), Qt::Key_X);
    EXPECT_EQ(dialog.questionEdit()->toPlainText(), text) << "a full box takes no more";
    dialog.questionEdit()->setPlainText(QString(8100, QLatin1Char('c')));
    EXPECT_EQ(dialog.questionEdit()->toPlainText().size(), 8000) << "text set from outside is cut too";

    // An empty points box: the integer message, the box selected.
    dialog.titleEdit()->setText(QStringLiteral("Title"));
    dialog.pointsEdit()->clear();
    dialog.titleEdit()->setFocus();
    QTest::mouseClick(dialog.submitButton(), Qt::LeftButton);
    EXPECT_EQ(messages.lastText(), QStringLiteral("Please enter an integer."));
    EXPECT_EQ(dialog.focusWidget(), dialog.pointsEdit());
    EXPECT_TRUE(dialog.isVisible());

    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(PostingDialogs, SubmitStoresAQuestionAndAcceptsTheDialog)
{
    ui::AddPostDialog dialog(site(), messages, contextOf(QStringLiteral("erin"), 33));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClicks(dialog.titleEdit(), QStringLiteral("  Linker cannot find libfoo  "));
    dialog.pointsEdit()->selectAll();
    QTest::keyClicks(dialog.pointsEdit(), QStringLiteral("40"));
    dialog.questionEdit()->setPlainText(QStringLiteral("ld says: cannot find -lfoo"));
    QTest::mouseClick(dialog.submitButton(), Qt::LeftButton);
    EXPECT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.titleEdit()->text(), QStringLiteral("Linker cannot find libfoo"));
}

TEST_F(PostingDialogs, SolutionDialogShowsTheQuestionAndPostsTheAnswer)
{
    forum::PostingContext context = contextOf(QStringLiteral("dave"), 20);
    std::tie(context.selectedQuestionId, context.selectedQuestionTitle) = openQuestionOf(20, QStringLiteral("dave"));
    ASSERT_GE(context.selectedQuestionId, 0);

    ui::AddReplyDialog dialog(site(), messages, context);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Post Solution"));
    EXPECT_EQ(dialog.zoneEdit()->text(), forum::zoneTextOfColumn(20));
    EXPECT_EQ(dialog.questionEdit()->text(), context.selectedQuestionTitle);
    EXPECT_TRUE(dialog.questionEdit()->isReadOnly());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.focusWidget(), dialog.solutionEdit());

    QTest::mouseClick(dialog.submitButton(), Qt::LeftButton);
    EXPECT_EQ(messages.lastText(), QStringLiteral("You must provide a solution!"));
    EXPECT_TRUE(dialog.isVisible());

    QTest::keyClicks(dialog.solutionEdit(), QStringLiteral("Update the launcher first."));
    QTest::mouseClick(dialog.submitButton(), Qt::LeftButton);
    EXPECT_EQ(messages.shown.size(), 1u) << messages.lastText().toStdString();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

namespace {

// The zone views as the main frame sees them, over the shared browsing values.
class BrowsingZoneViews : public presence::ZoneViews {
  public:
    explicit BrowsingZoneViews(const forum::BrowsingValues &values) : m_values(values) {}
    int currentZoneIndex() const override { return m_values.currentZoneIndex; }
    int currentColumn() const override { return m_values.currentColumn; }
    int selectedQuestionId() const override { return m_values.selectedQuestionId; }

  private:
    const forum::BrowsingValues &m_values;
};

// Runs `fill` on the modal dialog of type D once it is open.
template <typename D> void whenOpen(std::function<void(D &)> fill, bool *seen)
{
    QTimer::singleShot(0, [fill, seen] {
        auto *dialog = qobject_cast<D *>(QApplication::activeModalWidget());
        *seen = dialog != nullptr;
        if (dialog)
            fill(*dialog);
        else if (QWidget *other = QApplication::activeModalWidget())
            other->close();
    });
}

} // namespace

TEST_F(PostingDialogs, MenuCommandsOpenTheDialogsWithTheMembersFiguresAndRefresh)
{
    platform::RecordingSystemOpener opener;
    ui::MainFrameWindow window(ui::MainFrameContext{site(), userDocument(QStringLiteral("dave")), &messages, &opener});
    window.setQuitHandler([] {});
    ASSERT_TRUE(window.isCreated());
    forum::BrowsingValues browsing;
    BrowsingZoneViews zones(browsing);
    window.frame().setZoneViews(&zones);
    EXPECT_FALSE(window.frame().isAvailable(presence::FrameCommand::AskQuestion));
    ui::installPostingDialogs(window, browsing, messages);
    EXPECT_TRUE(window.frame().isAvailable(presence::FrameCommand::AskQuestion));
    EXPECT_TRUE(window.frame().isAvailable(presence::FrameCommand::AnswerQuestion));

    // Ask in a Hardware column, where dave has nothing overdue.
    browsing.currentZoneIndex = 1;
    browsing.currentColumn = 14;
    const int pointsBefore = window.frame().member().points;
    bool seen = false;
    QString zoneShown;
    whenOpen<ui::AddPostDialog>(
        [&](ui::AddPostDialog &d) {
            zoneShown = d.zoneLabel()->text();
            d.titleEdit()->setText(QStringLiteral("Fan spins at full speed after sleep"));
            d.pointsEdit()->setText(QStringLiteral("50"));
            d.questionEdit()->setPlainText(QStringLiteral("Only a restart calms it down."));
            d.submitButton()->click();
        },
        &seen);
    window.frame().run(presence::FrameCommand::AskQuestion);
    ASSERT_TRUE(seen);
    EXPECT_EQ(zoneShown, forum::zoneLine(14));
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown.front().text, QStringLiteral("The question has been successfully posted!"));
    EXPECT_EQ(window.frame().member().points, pointsBefore - 50) << "the status refresh brought the new figure";

    // Answer the selected question.
    std::tie(browsing.selectedQuestionId, browsing.selectedQuestionTitle) = openQuestionOf(14, QStringLiteral("dave"));
    ASSERT_GE(browsing.selectedQuestionId, 0);
    messages.shown.clear();
    seen = false;
    QString titleShown;
    whenOpen<ui::AddReplyDialog>(
        [&](ui::AddReplyDialog &d) {
            titleShown = d.questionEdit()->text();
            d.solutionEdit()->setPlainText(QStringLiteral("Reset the fan curve in the firmware settings."));
            d.submitButton()->click();
        },
        &seen);
    window.frame().run(presence::FrameCommand::AnswerQuestion);
    ASSERT_TRUE(seen);
    EXPECT_EQ(titleShown, browsing.selectedQuestionTitle);
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown.front().text, QStringLiteral("The solution has been successfully posted!"));
    window.frame().setZoneViews(nullptr);
}
