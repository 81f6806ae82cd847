// The message board, the "Contact" pane and the File commands as widgets,
// offscreen: the transcript's look, links and context menu, closing that only
// hides, the board and pane in the real main window against the real
// varnel-server, and a real question page printed to PDF (read back with
// pdftotext) and saved as a web archive that loads again.
#include "browsing_values.h"
#include "frame_test_support.h"
#include "head_image_pictures.h"
#include "main_frame.h"
#include "plain_tool_tip.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "screens/main_frame_window.h"
#include "screens/message_dialog.h"
#include "screens/pane_chat_widget.h"
#include "screens/print_save_entry.h"
#include "screens/quillora_view.h"
#include "scripted_http_peer.h"
#include "session/head_images.h"
#include "test_bitmaps.h"
#include "varnel_server_process.h"
#include "varnel_services.h"
#include "zone_view.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolBox>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <functional>

using namespace quillora;

namespace {

QApplication &app()
{
    static int argc = 1;
    static char arg0[] = "test_chat_screens";
    static char *argv[] = {arg0, nullptr};
    static QTemporaryDir *home = [] {
        auto *dir = new QTemporaryDir;
        qputenv("XDG_CONFIG_HOME", (dir->path() + QStringLiteral("/config")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", (dir->path() + QStringLiteral("/cache")).toLocal8Bit());
        return dir;
    }();
    (void)home;
    static QApplication *instance = [] {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        auto *a = new QApplication(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("QuilloraChatTest"));
        return a;
    }();
    return *instance;
}

// The character format in the middle of the first occurrence of `text`.
QTextCharFormat formatAt(QTextDocument *doc, const QString &text)
{
    const QTextCursor found = doc->find(text);
    QTextCursor c(doc);
    c.setPosition(found.selectionStart() + 1);
    return c.charFormat();
}

// A rendered PDF page as it looks on white paper (the renderer leaves
// blank areas transparent).
QImage onPaper(const QImage &page)
{
    QImage paper(page.size(), QImage::Format_RGB32);
    paper.fill(Qt::white);
    QPainter(&paper).drawImage(0, 0, page);
    return paper;
}

// What a tooltip shows: Qt draws one that looks like markup as rich text.
QString renderedTip(const QString &tip)
{
    if (!Qt::mightBeRichText(tip))
        return tip;
    QTextDocument doc;
    doc.setHtml(tip);
    return doc.toPlainText();
}

// What a screen reader reads of a label.
QString readOut(QWidget *label)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(label);
    return iface ? iface->text(QAccessible::Name) : QString();
}

bool waitUntil(const std::function<bool()> &done, int ms = 5000)
{
    for (int waited = 0; !done() && waited < ms; waited += 20)
        QTest::qWait(20);
    return done();
}

} // namespace

TEST(MessageDialogWidget, TranscriptLooksLinksMenuAndClosing)
{
    app();
    presence::MemberValues me;
    me.userID = 5;
    me.nickname = QStringLiteral("Me");
    platform::RecordingMessageBoxes boxes;
    platform::RecordingSystemOpener opener;
    const service::SiteAddress nowhere{QStringLiteral("127.0.0.1"), presence::test::closedLoopbackPort()};
    QTemporaryDir faceDir;
    session::CustomFaceDownloads faces(nowhere, faceDir.path());
    ui::MessageDialog dialog(nowhere, me, boxes, opener, faces, {});
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Communication"));

    // Nicknames and credit come from other members: text, never markup.
    dialog.setPeer(QStringLiteral("<img src=\"x\"><b>Bobby</b>"), QStringLiteral("<i>9</i>"));
    dialog.setOwn(QStringLiteral("<u>Me</u>"), presence::builtInHead(1));
    EXPECT_EQ(readOut(dialog.peerNickname()), QStringLiteral("<img src=\"x\"><b>Bobby</b>"));
    EXPECT_EQ(readOut(dialog.peerCredit()), QStringLiteral("<i>9</i>"));
    EXPECT_EQ(readOut(dialog.ownNickname()), QStringLiteral("<u>Me</u>"));

    dialog.appendTranscript(QStringLiteral("FROM [bob(Bobby)](2007-05-01 09:30)\r\n\r\n"),
                            presence::TranscriptPart::Header);
    dialog.appendTranscript(QStringLiteral("look at http://example.com/x and file:///etc/passwd\r\n\r\n"),
                            presence::TranscriptPart::Body);
    QTextDocument *doc = dialog.transcript()->document();
    EXPECT_EQ(doc->toPlainText(), QStringLiteral("FROM [bob(Bobby)](2007-05-01 09:30)\n\nlook at http://example.com/x "
                                                 "and file:///etc/passwd\n\n"));
    const QTextCharFormat header = formatAt(doc, QStringLiteral("FROM"));
    EXPECT_EQ(header.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(header.font().family(), QStringLiteral("Arial"));
    EXPECT_DOUBLE_EQ(header.font().pointSizeF(), 9.5);
    EXPECT_FALSE(header.font().bold());
    const QTextCharFormat body = formatAt(doc, QStringLiteral("look"));
    EXPECT_EQ(body.foreground().color(), QColor(0, 0, 0));
    EXPECT_FALSE(body.isAnchor());
    const QTextCharFormat link = formatAt(doc, QStringLiteral("example.com"));
    EXPECT_TRUE(link.isAnchor());
    EXPECT_EQ(link.anchorHref(), QStringLiteral("http://example.com/x"));

    // Links open through the rules: web addresses only.
    Q_EMIT dialog.transcript()->anchorClicked(QUrl(QStringLiteral("http://example.com/x")));
    Q_EMIT dialog.transcript()->anchorClicked(QUrl(QStringLiteral("file:///etc/passwd")));
    EXPECT_EQ(opener.opened, QStringList{QStringLiteral("http://example.com/x")});

    // The context menu: its labels in order, and what a read-only transcript allows.
    std::unique_ptr<QMenu> menu(dialog.transcript()->buildContextMenu());
    QStringList labels;
    for (QAction *a : menu->actions())
        labels << (a->isSeparator() ? QStringLiteral("|") : a->text());
    EXPECT_EQ(labels, QStringList({QString::fromUtf16(u"&\u64a4\u9500"), QStringLiteral("|"),
                                   QString::fromUtf16(u"&\u526a\u5207"), QString::fromUtf16(u"&\u590d\u5236"),
                                   QString::fromUtf16(u"&\u7c98\u8d34"), QString::fromUtf16(u"&\u6e05\u9664"),
                                   QStringLiteral("|"), QString::fromUtf16(u"\u5168\u9009")}));
    // Cut, Copy and Clear with a selection, Paste with something to paste,
    // Select All always. The transcript is the record of the conversation:
    // Cut copies and Clear leaves it, and Paste goes to the message box.
    QApplication::clipboard()->clear();
    const QList<QAction *> actions = menu->actions();
    for (int i : {2, 3, 4, 5})
        EXPECT_FALSE(actions[i]->isEnabled()) << i;
    EXPECT_TRUE(actions[7]->isEnabled());
    actions[7]->trigger();
    menu.reset(dialog.transcript()->buildContextMenu());
    for (int i : {2, 3, 5})
        EXPECT_TRUE(menu->actions()[i]->isEnabled()) << i;
    const QString shown = doc->toPlainText();
    menu->actions()[2]->trigger();
    EXPECT_TRUE(QApplication::clipboard()->text().startsWith(QStringLiteral("FROM [bob(Bobby)]")));
    menu->actions()[5]->trigger();
    EXPECT_EQ(doc->toPlainText(), shown);
    menu.reset(dialog.transcript()->buildContextMenu());
    ASSERT_TRUE(menu->actions()[4]->isEnabled());
    menu->actions()[4]->trigger();
    EXPECT_TRUE(dialog.messageBox()->toPlainText().startsWith(QStringLiteral("FROM [bob(Bobby)]")));
    EXPECT_EQ(doc->toPlainText(), shown);
    dialog.messageBox()->clear();

    // Enter in the message box is a line break, not "Send".
    dialog.show();
    QTest::keyClicks(dialog.messageBox(), QStringLiteral("one"));
    QTest::keyClick(dialog.messageBox(), Qt::Key_Return);
    QTest::keyClicks(dialog.messageBox(), QStringLiteral("two"));
    EXPECT_EQ(dialog.messageBox()->toPlainText(), QStringLiteral("one\ntwo"));
    EXPECT_TRUE(boxes.shown.empty());

    // Closing only hides: the transcript and the typed text stay.
    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.isShown());
    EXPECT_FALSE(doc->isEmpty());
    EXPECT_EQ(dialog.messageBox()->toPlainText(), QStringLiteral("one\ntwo"));

    // Picking a row of "Chat with:" makes that member the recipient.
    dialog.rules().openChat({QStringLiteral("2"), QStringLiteral("bob"), QStringLiteral("Bobby"), QStringLiteral("4"),
                             QStringLiteral("10"), QStringLiteral("3"), QStringLiteral("0")});
    dialog.rules().openChat({QStringLiteral("3"), QStringLiteral("carol"), QStringLiteral("Caro"), QStringLiteral("5"),
                             QStringLiteral("11"), QStringLiteral("3"), QStringLiteral("0")});
    ASSERT_EQ(dialog.chatWith()->count(), 2);
    dialog.chatWith()->setCurrentIndex(1);
    EXPECT_EQ(dialog.rules().selectedIndex(), 1);
    EXPECT_EQ(dialog.peerNickname()->text(), QStringLiteral("Bobby"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Chatting with Bobby"));
}

TEST(ChatScreensInFrame, PollAnimatesTheTrayUntilClickedAndPanesOpenTheBoard)
{
    app();
    testpeers::VarnelServerProcess server({.demo = true});
    ASSERT_TRUE(server.started()) << server.error();
    const service::SiteAddress site{QStringLiteral("127.0.0.1"), static_cast<quint16>(server.port())};
    const presence::test::SignedIn alice =
        presence::test::signInMember(site, QStringLiteral("alice"), QStringLiteral("alice123"), true);
    const presence::test::SignedIn bob =
        presence::test::signInMember(site, QStringLiteral("bob"), QStringLiteral("bob123"), true);

    platform::RecordingMessageBoxes boxes;
    platform::RecordingSystemOpener opener;
    ui::MainFrameWindow frame({site, alice.document, &boxes, &opener});
    ASSERT_TRUE(frame.isCreated());
    frame.setQuitHandler([] {});
    ui::MessageDialog *board = ui::installMessageBoard(frame, boxes, opener);
    ASSERT_NE(board, nullptr);
    EXPECT_FALSE(board->isVisible()); // created hidden
    forum::BrowsingValues browsing;
    ui::PaneChatWidget *pane = ui::installContactPane(frame, browsing, boxes, board);
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(frame.findChild<QDockWidget *>(QStringLiteral("pane1446"))->widget(), pane);
    EXPECT_EQ(pane->folderBar()->currentIndex(), 1);

    // The File commands on the main view and the board: with no question
    // selected and nothing on the board, each says so.
    auto *view = new ui::CQuilloraView(frame, browsing, boxes, opener, &frame);
    ui::installPrintAndSave(frame, *view, board, boxes);
    for (presence::FrameCommand c : {presence::FrameCommand::SaveMessage, presence::FrameCommand::SaveQuestion,
                                     presence::FrameCommand::PrintQuestion, presence::FrameCommand::PrintPreview}) {
        ASSERT_TRUE(frame.commandAction(c)->isEnabled()) << int(c);
        frame.commandAction(c)->trigger();
        EXPECT_EQ(boxes.lastText(), c == presence::FrameCommand::SaveMessage
                                        ? QStringLiteral("Message board is empty !")
                                        : QStringLiteral("Error: No question selected!"))
            << int(c);
    }
    // With a question selected "Save Question" asks where to save its page.
    browsing.selectedQuestionId = 77;
    QString asked;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, &closer, [&asked] {
        if (auto *prompt = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            asked = prompt->windowTitle();
            prompt->reject();
        }
    });
    closer.start(20);
    frame.commandAction(presence::FrameCommand::SaveQuestion)->trigger();
    closer.stop();
    EXPECT_EQ(asked, QStringLiteral("Save As"));
    browsing.selectedQuestionId = -1;
    boxes.shown.clear();

    {
        service::CVarnelServices proxy(site);
        proxy.useServiceAccount(service::Op::SendMessage);
        bool ok = false;
        ASSERT_TRUE(service::succeeded(proxy.SendMessage(bob.id, alice.id, QStringLiteral("ping"), &ok)));
    }
    Q_EMIT frame.pollTick(); // timer 1
    EXPECT_TRUE(frame.isTrayAnimating());
    EXPECT_EQ(board->chatWith()->currentText(), QStringLiteral("bob"));
    EXPECT_EQ(board->windowTitle(), QStringLiteral("Chatting with Bob the Builder"));
    EXPECT_FALSE(board->peerHead()->pixmap().isNull());
    EXPECT_FALSE(board->ownHead()->pixmap().isNull());

    // The tray click shows the board and stops the animation.
    auto *tray = frame.findChild<QSystemTrayIcon *>();
    ASSERT_NE(tray, nullptr);
    Q_EMIT tray->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(board->isVisible());
    EXPECT_FALSE(frame.isTrayAnimating());

    // With the board shown, arrivals do not animate.
    {
        service::CVarnelServices proxy(site);
        proxy.useServiceAccount(service::Op::SendMessage);
        bool ok = false;
        ASSERT_TRUE(service::succeeded(proxy.SendMessage(bob.id, alice.id, QStringLiteral("again"), &ok)));
    }
    Q_EMIT frame.pollTick();
    EXPECT_FALSE(frame.isTrayAnimating());
    EXPECT_TRUE(board->transcript()->toPlainText().contains(QStringLiteral("again")));

    // The frame's own-question operation loads the pane, which stays collapsed.
    board->hide();
    frame.frame().openExpertsOfOwnQuestion(1);
    EXPECT_TRUE(frame.findChild<QDockWidget *>(QStringLiteral("pane1446"))->isHidden());
    EXPECT_TRUE(boxes.shown.empty()) << boxes.lastText().toStdString();

    // A click on the tray icon's balloon opens the board as well.
    Q_EMIT tray->messageClicked();
    EXPECT_TRUE(board->isVisible());
}

// One list answer of the scripted site: `method`'s result holding `users`.
QByteArray memberListAnswer(const QByteArray &method, const QString &users)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
           "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><" +
           method + "Response xmlns=\"http://127.0.0.1/Services/VarnelServices\"><" + method + "Result>" +
           QString(QStringLiteral("<Users>") + users + QStringLiteral("</Users>")).toHtmlEscaped().toUtf8() + "</" +
           method + "Result></" + method + "Response></soap:Body></soap:Envelope>";
}

QString listedUser(int id, const QString &name, int face, int custom)
{
    return QStringLiteral("<User><PKID>%1</PKID><UserName>%2</UserName><NickName>%2 N</NickName><Face>%3</Face>"
                          "<Credit>5</Credit><ZoneRank>2</ZoneRank><CustomHead>%4</CustomHead></User>")
        .arg(id)
        .arg(name)
        .arg(face)
        .arg(custom);
}

QImage itemHead(QListWidget *list, int row)
{
    // The item picture is 64x48 with the 32x32 head centred at the top.
    return list->item(row)->icon().pixmap(QSize(64, 48)).toImage().copy(16, 0, 32, 32);
}

// A slow picture host does not hold up the "Contact" pane or the message
// board that share the program's downloads: the pane fills at once with
// built-in pictures, the window takes keyboard input while the host stays
// silent for 5 s, and the one download then puts the custom picture into the
// pane's row and the board's profile group that show that member.
TEST(ChatScreenPictures, SlowPictureHostLeavesThePaneAnswering)
{
    app();
    using testpeers::PeerScript;
    const QByteArray experts = memberListAnswer("GetExpertListOnlineByPostID", QString());
    const QByteArray providers =
        memberListAnswer("GetReplierListOnlineByPostID",
                         listedUser(61, QStringLiteral("slow"), 3, 1) + listedUser(62, QStringLiteral("plain"), 5, 0));
    const QByteArray picture = testpeers::bitmapFile(32, 32, 24, '\x10');
    testpeers::ScriptedHttpPeer peer(
        {PeerScript().readRequest().send(testpeers::httpResponse(200, {{"Content-Type", "text/xml"}}, experts)),
         PeerScript().readRequest().send(testpeers::httpResponse(200, {{"Content-Type", "text/xml"}}, providers)),
         PeerScript().readRequest().wait(5000).send(testpeers::httpResponse(200, {}, picture))});
    const service::SiteAddress site{QStringLiteral("127.0.0.1"), quint16(peer.port())};

    QTemporaryDir faceDir;
    session::CustomFaceDownloads faces(site, faceDir.path());
    platform::RecordingMessageBoxes boxes;
    platform::RecordingSystemOpener opener;
    presence::MemberValues member;
    member.userID = 7;
    member.nickname = QStringLiteral("Me");
    ui::MessageDialog board(site, member, boxes, opener, faces, {});
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *field = new QLineEdit;
    layout->addWidget(field);
    auto *pane = new ui::PaneChatWidget(
        site, boxes, faces, [] { return 0; }, [](const QStringList &) {});
    layout->addWidget(pane, 1);
    window.resize(300, 500);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QElapsedTimer clock;
    clock.start();
    pane->rules().load(1);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(boxes.shown.empty()) << qPrintable(boxes.lastText());
    QListWidget *list = pane->folder(presence::AnswerProvidersFolder);
    ASSERT_EQ(list->count(), 2);
    const QImage builtIn = ui::builtInHeadPixmap(3).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    auto shown = [&] { return itemHead(list, 0).convertToFormat(QImage::Format_ARGB32_Premultiplied); };
    EXPECT_EQ(shown(), builtIn);
    EXPECT_TRUE(faces.isPending(QStringLiteral("61")));

    // The board asks for the same member's picture: the built-in one at
    // once, and no second download.
    presence::HeadPictureRequest head;
    head.builtIn = 3;
    head.customName = QStringLiteral("61");
    head.mayDownload = true;
    board.showPeerHead(head);
    EXPECT_EQ(board.peerHead()->pixmap().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied), builtIn);

    // Keys typed a second into the wait reach the field at once.
    qint64 typedAt = -1;
    QTimer::singleShot(1000, field, [&] {
        field->setFocus();
        QTest::keyClicks(field, QStringLiteral("42"));
        typedAt = clock.elapsed();
    });
    QTest::qWait(1500);
    EXPECT_EQ(field->text(), QStringLiteral("42"));
    EXPECT_GE(typedAt, 0);
    EXPECT_LT(typedAt, 2500);

    // After the host's 5 s the custom picture replaces the built-in one in
    // the member's row and in the board; the other row keeps its own.
    ASSERT_TRUE(waitUntil([&] { return shown() != builtIn; }, 15000));
    EXPECT_GE(clock.elapsed(), 4500);
    EXPECT_EQ(itemHead(list, 0).pixelColor(16, 16), QColor(0x10, 0x10, 0x10));
    EXPECT_EQ(itemHead(list, 1).convertToFormat(QImage::Format_ARGB32_Premultiplied),
              ui::builtInHeadPixmap(5).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied));
    ASSERT_TRUE(
        waitUntil([&] { return board.peerHead()->pixmap().toImage().pixelColor(16, 16) == QColor(0x10, 0x10, 0x10); }));
    EXPECT_EQ(peer.connectionCount(), 3);
}

// A picture arriving for a member the board no longer shows stays out of it.
TEST(ChatScreenPictures, LateArrivalSkipsAProfileGroupShowingSomeoneElse)
{
    app();
    using testpeers::PeerScript;
    const QByteArray picture = testpeers::bitmapFile(32, 32, 24, '\x10');
    testpeers::ScriptedHttpPeer peer(
        {PeerScript().readRequest().wait(500).send(testpeers::httpResponse(200, {}, picture))});
    const service::SiteAddress site{QStringLiteral("127.0.0.1"), quint16(peer.port())};
    QTemporaryDir faceDir;
    session::CustomFaceDownloads faces(site, faceDir.path());
    platform::RecordingMessageBoxes boxes;
    platform::RecordingSystemOpener opener;
    presence::MemberValues member;
    ui::MessageDialog board(site, member, boxes, opener, faces, {});

    presence::HeadPictureRequest head;
    head.builtIn = 3;
    head.customName = QStringLiteral("61");
    head.mayDownload = true;
    board.showPeerHead(head);
    board.showPeerHead(presence::builtInHead(9)); // the member switched to another contact
    QSignalSpy ready(&faces, &session::CustomFaceDownloads::pictureReady);
    ASSERT_TRUE(ready.wait(10000));
    QTest::qWait(50);
    EXPECT_EQ(board.peerHead()->pixmap().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
              ui::builtInHeadPixmap(9).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

// The folders of the "Contact" pane open from the keyboard: Tab reaches the
// folder buttons and Space opens one.
TEST(ContactPane, FoldersOpenFromTheKeyboard)
{
    app();
    const service::SiteAddress nowhere{QStringLiteral("127.0.0.1"), presence::test::closedLoopbackPort()};
    QTemporaryDir faceDir;
    session::CustomFaceDownloads faces(nowhere, faceDir.path());
    platform::RecordingMessageBoxes boxes;
    ui::PaneChatWidget pane(
        nowhere, boxes, faces, [] { return 0; }, [](const QStringList &) {});
    pane.resize(200, 500);
    pane.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    ASSERT_EQ(pane.rules().folderShown(), presence::AnswerProvidersFolder);

    QList<QAbstractButton *> buttons = pane.findChildren<QAbstractButton *>();
    buttons.removeIf([](QAbstractButton *b) { return b->text() != presence::folderCaption(0); });
    ASSERT_EQ(buttons.size(), 1);
    pane.folder(presence::AnswerProvidersFolder)->setFocus();
    QWidget *reached = nullptr;
    for (int i = 0; i < 4 && reached != buttons[0]; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached = QApplication::focusWidget();
    }
    ASSERT_EQ(reached, buttons[0]);
    QTest::keyClick(buttons[0], Qt::Key_Space);
    EXPECT_EQ(pane.rules().folderShown(), presence::OnlineExpertsFolder);
    EXPECT_EQ(pane.folderBar()->currentIndex(), 0);

    // A member's label is text in its tooltip too: markup in a nickname is
    // shown as written, not drawn.
    const QString label = QStringLiteral("eve(<img src=\"x\"><b>Eve</b>)");
    pane.addItem(presence::AnswerProvidersFolder, 0, label, 20, 1);
    EXPECT_EQ(renderedTip(pane.folder(presence::AnswerProvidersFolder)->item(0)->toolTip()), label);
}

TEST(PlainToolTip, NetworkTextShowsAsWritten)
{
    for (const char *text : {"<b>bold</b>", "a < b > c", "<a href=\"http://x\">link</a>", "two  spaces", "R&D"})
        EXPECT_EQ(renderedTip(ui::plainToolTip(QString::fromLatin1(text))), QString::fromLatin1(text)) << text;
    EXPECT_TRUE(ui::plainToolTip(QString()).isEmpty());
}

TEST(QuestionPageFiles, PrintsEveryPageWithTheDateFooterAndSavesAnArchiveThatLoads)
{
    app();
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    testpeers::VarnelServerProcess server({.demo = true});
    ASSERT_TRUE(server.started()) << server.error();
    const service::SiteAddress site{QStringLiteral("127.0.0.1"), static_cast<quint16>(server.port())};
    const presence::test::SignedIn alice =
        presence::test::signInMember(site, QStringLiteral("alice"), QStringLiteral("alice123"), true);
    int question = 0;
    {
        // Long enough for more than one printed page.
        QString text;
        for (int i = 1; i <= 60; ++i)
            text += QStringLiteral("Step %1: the printer was there this morning and is gone now.\n").arg(i);
        service::CVarnelServices proxy(site);
        proxy.useServiceAccount(service::Op::CreatForumPost);
        bool ok = false;
        ASSERT_TRUE(service::succeeded(
            proxy.CreatForumPost(alice.id, QStringLiteral("Printer driver vanished"), 1, 50, text, &ok, &question)));
        ASSERT_TRUE(ok);
    }

    QWebEngineView view;
    view.resize(1000, 800);
    view.show();
    QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
    view.load(QUrl(forum::questionPageUrl(site, 0, 1, QString::number(question), alice.id, QStringLiteral("alice123"),
                                          QStringLiteral("0"))));
    ASSERT_TRUE(loaded.wait(30000));
    ASSERT_TRUE(loaded.first().first().toBool());

    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("question.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    ASSERT_TRUE(ui::printPageTo(&view, &printer, QStringLiteral("Printed 2007-05-01")));
    QPdfDocument printed(nullptr);
    ASSERT_EQ(printed.load(pdf), QPdfDocument::Error::None);
    const int pages = printed.pageCount();
    EXPECT_GE(pages, 2);
    QProcess reader;
    reader.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(reader.waitForFinished(20000));
    const QString text = QString::fromUtf8(reader.readAllStandardOutput());
    // Our footer on every page, and nothing of the browser's own: never the page address.
    EXPECT_EQ(text.count(QStringLiteral("Printed 2007-05-01")), pages) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("USRPSW"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("127.0.0.1"))) << text.toStdString();
    // The page itself is there, above the footer: its first page is not blank.
    const QImage first = onPaper(printed.render(0, QSize(600, 848)));
    int dark = 0;
    for (int y = 0; y < first.height() * 3 / 4; ++y) {
        for (int x = 0; x < first.width(); ++x)
            dark += qGray(first.pixel(x, y)) < 128 ? 1 : 0;
    }
    EXPECT_GT(dark, 500);

    const QString archive = dir.filePath(QStringLiteral("%1.mhtml").arg(question));
    ASSERT_TRUE(ui::savePageArchive(&view, archive));
    QFile file(archive);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("multipart/related"));

    QWebEngineView again;
    again.resize(800, 600);
    again.show();
    QSignalSpy reloaded(&again, &QWebEngineView::loadFinished);
    again.load(QUrl::fromLocalFile(archive));
    ASSERT_TRUE(reloaded.wait(30000));
    EXPECT_TRUE(reloaded.first().first().toBool());
    QString body;
    bool answered = false;
    again.page()->toPlainText([&](const QString &t) {
        body = t;
        answered = true;
    });
    ASSERT_TRUE(waitUntil([&] { return answered; }));
    EXPECT_TRUE(body.contains(QStringLiteral("Printer driver vanished"))) << body.toStdString();
}

// The printout's pictures of pages stay within their bounds whatever the
// printer, and a document that is not a PDF prints nothing.
TEST(QuestionPageFiles, PagePicturesAreBoundedAndOnlyAPdfPrints)
{
    app();
    struct Row {
        const char *name;
        QSizeF area;
        int dpi;
        QSize expected;
    };
    const Row rows[] = {
        {"A4 at 300 dpi as it is", QSizeF(2480, 3508), 300, QSize(2480, 3508)},
        {"A4 at 1200 dpi drawn from 300", QSizeF(9920, 14032), 1200, QSize(2480, 3508)},
        {"a screen-like 96 dpi as it is", QSizeF(794, 1123), 96, QSize(794, 1123)},
        {"two metres of paper at 300 dpi: 16 Mi pixels at most", QSizeF(23622, 23622), 300, QSize(4096, 4096)},
        {"a sliver keeps a pixel", QSizeF(0.2, 100), 300, QSize(1, 100)},
    };
    for (const Row &r : rows) {
        const QSize size = ui::pagePictureSize(r.area, r.dpi);
        EXPECT_EQ(size, r.expected) << r.name;
        EXPECT_LE(qint64(size.width()) * size.height(), ui::kMaxPagePixels) << r.name;
    }

    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("out.pdf")));
    EXPECT_FALSE(ui::printPdfPages(QByteArray("%PDF-1.4 this is not a document"), &printer, QStringLiteral("x")));
    EXPECT_FALSE(ui::printPdfPages(QByteArray(), &printer, QStringLiteral("x")));

    // Pages come out in the order the printer asks for, each with its footer.
    QByteArray source;
    {
        QBuffer buffer(&source);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        QPainter painter(&writer);
        // Two inches square: page 1 at the top left, page 2 at the top right.
        painter.fillRect(QRect(0, 0, 2400, 2400), Qt::black);
        writer.newPage();
        painter.fillRect(QRect(writer.width() - 2400, 0, 2400, 2400), Qt::black);
    }
    printer.setPageOrder(QPrinter::LastPageFirst);
    ASSERT_TRUE(ui::printPdfPages(source, &printer, QStringLiteral("footer")));
    QPdfDocument out(nullptr);
    ASSERT_EQ(out.load(printer.outputFileName()), QPdfDocument::Error::None);
    ASSERT_EQ(out.pageCount(), 2);
    const QImage firstOut = onPaper(out.render(0, QSize(200, 283)));
    EXPECT_LT(qGray(firstOut.pixel(170, 35)), 128); // the second page's square comes first
    EXPECT_GT(qGray(firstOut.pixel(30, 35)), 128);
}
