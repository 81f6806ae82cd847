// Manual preview (not run by ctest): draws the "Communication" dialog with a
// conversation, the "Contact" pane with each folder open, and the print
// preview of a real question page, into PNG files in the folder given as the
// first argument.
#include "frame_test_support.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "print_save.h"
#include "screens/message_dialog.h"
#include "screens/pane_chat_widget.h"
#include "screens/print_save_entry.h"
#include "session/head_images.h"
#include "ui/ui_resources.h"
#include "varnel_server_process.h"
#include "varnel_services.h"
#include "zone_view.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QTimer>
#include <QToolBox>
#include <QWebEngineView>

using namespace quillora;

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ui::initResources();
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    platform::RecordingMessageBoxes boxes;
    platform::RecordingSystemOpener opener;
    const service::SiteAddress nowhere{QStringLiteral("127.0.0.1"), presence::test::closedLoopbackPort()};

    presence::MemberValues me;
    me.userID = 1;
    me.nickname = QStringLiteral("Alice");
    me.headImage = 3;
    session::CustomFaceDownloads faces(nowhere, QDir::tempPath());
    ui::MessageDialog dialog(nowhere, me, boxes, opener, faces, {});
    dialog.setContactNames({QStringLiteral("bob"), QStringLiteral("winguru")}, 0);
    dialog.setCaption(presence::chattingTitle(QStringLiteral("Bob the Builder")));
    dialog.setPeer(QStringLiteral("Bob the Builder"), QStringLiteral("104"));
    dialog.showPeerHead(presence::builtInHead(7));
    dialog.setOwn(QStringLiteral("Alice"), presence::builtInHead(3));
    using P = presence::TranscriptPart;
    dialog.appendTranscript(presence::receivedHeader(QStringLiteral("bob"), QStringLiteral("Bob the Builder"),
                                                     QStringLiteral("2026-12-08 09:58")),
                            P::Header);
    dialog.appendTranscript(QStringLiteral("Hi Alice, I saw your question about the boot loop. Did you try the "
                                           "recovery console?\r\n\r\n"),
                            P::Body);
    dialog.appendTranscript(presence::sentHeader(QStringLiteral("bob"), QStringLiteral("Bob the Builder"),
                                                 QDateTime(QDate(2026, 12, 8), QTime(10, 1, 12))),
                            P::Header);
    dialog.appendTranscript(QStringLiteral("Not yet. Is it the one described at http://example.com/recovery ?\r\n\r\n"),
                            P::Body);
    dialog.appendTranscript(presence::receivedHeader(QStringLiteral("bob"), QStringLiteral("Bob the Builder"),
                                                     QStringLiteral("2026-12-08 10:02")),
                            P::Header);
    dialog.appendTranscript(QStringLiteral("Yes, that one. Start it with F8 and choose \"Repair\".\r\n\r\n"), P::Body);
    dialog.messageBox()->setPlainText(QStringLiteral("Thanks, trying it now"));
    dialog.show();
    app.processEvents();
    dialog.grab().save(out + QStringLiteral("/message-dialog.png"));

    ui::PaneChatWidget pane(
        nowhere, boxes, faces, [] { return 120; }, [](const QStringList &) {});
    pane.resize(180, 560);
    const char *names[][2] = {{"winguru", "Windows Guru"}, {"appmaster", "App Master"}, {"codesmith", "Code Smith"}};
    for (int i = 0; i < 3; ++i) {
        pane.setHeadSlot(i, presence::builtInHead(2 + 3 * i));
        pane.addItem(0, i, presence::listedMemberLabel(QLatin1String(names[i][0]), QLatin1String(names[i][1])), i,
                     5 + i);
    }
    pane.setHeadSlot(20, presence::builtInHead(7));
    pane.addItem(1, 0, presence::listedMemberLabel(QStringLiteral("bob"), QStringLiteral("Bob the Builder")), 20, 1);
    pane.setHeadSlot(21, presence::builtInHead(12));
    pane.addItem(1, 1, presence::listedMemberLabel(QStringLiteral("carol"), QStringLiteral("Carol")), 21, 0);
    pane.show();
    pane.selectFolder(0);
    app.processEvents();
    pane.grab().save(out + QStringLiteral("/contact-experts.png"));
    pane.selectFolder(1);
    app.processEvents();
    pane.grab().save(out + QStringLiteral("/contact-providers.png"));

    // The print preview of a real question page.
    testpeers::VarnelServerProcess server({.demo = true});
    if (!server.started())
        return 1;
    const service::SiteAddress site{QStringLiteral("127.0.0.1"), static_cast<quint16>(server.port())};
    QString document;
    service::CVarnelServices proxy(site);
    proxy.useServiceAccount(service::Op::GetUserByUserName);
    proxy.GetUserByUserName(QStringLiteral("alice"), QStringLiteral("alice123"), &document);
    service::DocumentStatus status;
    const int alice = service::leadingInt(service::readFirstElementText(document, u"PKID", &status));
    bool ok = false;
    int question = 0;
    proxy.useServiceAccount(service::Op::CreatForumPost);
    proxy.CreatForumPost(alice, QStringLiteral("Boot loop after the latest update"), 1, 120,
                         QStringLiteral("Since last night the machine restarts before the desktop appears."), &ok,
                         &question);
    QWebEngineView view;
    view.resize(1000, 800);
    view.show();
    QEventLoop wait;
    QObject::connect(&view, &QWebEngineView::loadFinished, &wait, &QEventLoop::quit);
    view.load(QUrl(forum::questionPageUrl(site, 0, 1, QString::number(question), alice, QStringLiteral("alice123"),
                                          QStringLiteral("0"))));
    wait.exec();
    QTimer::singleShot(15000, &app, [&] {
        if (auto *preview = app.findChild<QPrintPreviewDialog *>()) {
            preview->grab().save(out + QStringLiteral("/print-preview.png"));
            preview->reject();
        }
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *preview = qobject_cast<QPrintPreviewDialog *>(w)) {
                preview->grab().save(out + QStringLiteral("/print-preview.png"));
                preview->reject();
            }
        }
    });
    ui::WebQuestionPage page(&view, nullptr);
    page.preview(presence::expandFooter(QStringLiteral("&d"), QDate::currentDate()));
    return 0;
}
