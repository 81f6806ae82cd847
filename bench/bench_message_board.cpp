// The message board in its real widget (offscreen) against the real
// varnel-server on loopback: "Receive" until ten waiting messages are in the
// transcript, the cost of appending one message to a transcript that already
// holds 1, 100 or 2,000, and the resident memory with 2,000 messages shown.
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "presence/member_values.h"
#include "screens/message_dialog.h"
#include "service/varnel_services.h"
#include "session/head_images.h"
#include "varnel_server_process.h"

#include <QApplication>
#include <QFile>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <memory>

using namespace quillora;

namespace {

int argc = 1;
char arg0[] = "bench_message_board";
char *argv[] = {arg0, nullptr};

QApplication &app()
{
    static QApplication *a = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *a;
}

testpeers::VarnelServerProcess &server()
{
    static testpeers::VarnelServerProcess s({.demo = true});
    return s;
}

service::SiteAddress site()
{
    return {QStringLiteral("127.0.0.1"), static_cast<quint16>(server().port())};
}

int userIdOf(const QString &name)
{
    service::CVarnelServices proxy(site());
    proxy.useServiceAccount(service::Op::GetUserByUserName);
    QString document;
    proxy.GetUserByUserName(name, name + QStringLiteral("123"), &document);
    service::DocumentStatus status;
    return service::leadingInt(service::readFirstElementText(document, u"PKID", &status));
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

struct Board {
    Board()
    {
        member.userID = userIdOf(QStringLiteral("alice"));
        member.nickname = QStringLiteral("Alice");
        member.headImage = 3;
        dialog = std::make_unique<ui::MessageDialog>(site(), member, boxes, opener, faces, presence::ArrivalAlerts{});
        dialog->show();
    }
    presence::MemberValues member;
    platform::RecordingMessageBoxes boxes;
    platform::RecordingSystemOpener opener;
    session::CustomFaceDownloads faces{site(), session::customFaceDirectory()};
    std::unique_ptr<ui::MessageDialog> dialog;
};

void BM_ReceiveTenMessages(benchmark::State &state)
{
    app();
    Board board;
    const int from = userIdOf(QStringLiteral("bob"));
    board.dialog->rules().poll(presence::PollTrigger::Receive); // whatever waits already
    for (auto _ : state) {
        state.PauseTiming();
        {
            service::CVarnelServices proxy(site());
            proxy.useServiceAccount(service::Op::SendMessage);
            for (int i = 0; i < 10; ++i) {
                bool ok = false;
                proxy.SendMessage(from, board.member.userID, QStringLiteral("message number %1").arg(i), &ok);
            }
        }
        state.ResumeTiming();
        const int shown = board.dialog->rules().poll(presence::PollTrigger::Receive);
        QCoreApplication::processEvents(); // painted
        if (shown != 10) {
            state.SkipWithError("not ten messages");
            break;
        }
    }
}
BENCHMARK(BM_ReceiveTenMessages)->Unit(benchmark::kMillisecond)->Iterations(20);

// One received message (header and body) appended to a transcript of n.
void BM_AppendToTranscript(benchmark::State &state)
{
    app();
    Board board;
    ui::TranscriptView *t = board.dialog->transcript();
    const QString header = QStringLiteral("FROM [bob(Bob the Builder)](2026-12-08 10:00)\r\n\r\n");
    const QString body = QStringLiteral("A reply of ordinary length with a link http://example.com/page and some "
                                        "more words after it.\r\n\r\n");
    for (int i = 0; i < state.range(0); ++i) {
        t->appendPiece(header, presence::TranscriptPart::Header);
        t->appendPiece(body, presence::TranscriptPart::Body);
    }
    QCoreApplication::processEvents();
    for (auto _ : state) {
        t->appendPiece(header, presence::TranscriptPart::Header);
        t->appendPiece(body, presence::TranscriptPart::Body);
        QCoreApplication::processEvents();
    }
    if (state.range(0) == 2000)
        state.counters["rss_kib"] = double(residentKiB());
}
BENCHMARK(BM_AppendToTranscript)->Arg(1)->Arg(100)->Arg(2000)->Unit(benchmark::kMicrosecond)->Iterations(200);

} // namespace

BENCHMARK_MAIN();
