// Time from "Submit" to the registration's outcome on loopback against the
// real varnel-server: the name, e-mail and recommender checks, the machine
// identity from this machine's sysfs, CreateNewUser and remembering the new
// member. Every iteration registers a new member.
#include "platform/message_box.h"
#include "session/register_dlg.h"
#include "varnel_server_process.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace quillora;
using namespace quillora::session;

namespace {

struct FormView : RegisterView {
    RegisterForm typed;
    int ended = -1;
    QObject owner;
    RegisterForm form() const override { return typed; }
    void setText(RegisterField, const QString &) override {}
    void setPictureId(int) override {}
    void setMale(bool) override {}
    void focusField(RegisterField, bool) override {}
    void setSubmitEnabled(bool) override {}
    void setBusy(bool) override {}
    void showWaitWindow() override {}
    void closeWaitWindow() override {}
    void endDialog(bool accepted) override { ended = accepted ? 1 : 0; }
    QObject *messageOwner() override { return &owner; }
};

void BM_RegisterSubmit(benchmark::State &state)
{
    static testpeers::VarnelServerProcess server({.demo = true});
    if (!server.started()) {
        state.SkipWithError("varnel-server did not start");
        return;
    }
    const service::SiteAddress site{QStringLiteral("127.0.0.1"), quint16(server.port())};
    const SysfsMachineSources machine;
    static int serial = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const RememberedCredentials store{
            {dir.filePath(QStringLiteral("k.ini")), dir.filePath(QStringLiteral("w.dat"))}};
        FormView view;
        platform::RecordingMessageBoxes messages;
        CRegisterDlg dlg(site, view, messages, store, machine);
        const QString name = QStringLiteral("bench%1").arg(++serial, 6, 10, QLatin1Char('0'));
        view.typed.userName = name;
        view.typed.password = view.typed.confirmation = QStringLiteral("secret7");
        view.typed.nickName = QStringLiteral("Bench");
        view.typed.email = name + QStringLiteral("@example.org");
        view.typed.recommender = QStringLiteral("alice");
        state.ResumeTiming();

        dlg.onSubmit();

        state.PauseTiming();
        if (view.ended != 1)
            state.SkipWithError(qPrintable(QStringLiteral("not registered: ") + messages.lastText()));
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RegisterSubmit)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
