// Time from "Sign-In" to the main window, against the real varnel-server on
// loopback, in clear and over HTTPS: the sign-in dialog's checks, then
// start-up's own calls (IsUserExistsByName, GetUserByUserName, SetUserOnline)
// up to the moment the main frame is shown. Drawing the window is the same
// either way and is left out.
//
// Over HTTPS, "resumed" is every sign-in after the first of a run (the TLS
// sessions of earlier calls are resumed, the trusted authorities are
// loaded); "first" makes each iteration the first of its run: a CA file of a
// new name, so neither a session nor the loaded authorities are reused.
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "session/login_dlg.h"
#include "session/remembered_credentials.h"
#include "session/startup_sequence.h"
#include "varnel_server_process.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>

using namespace quillora;
using namespace quillora::session;

namespace {

using Clock = std::chrono::steady_clock;

struct TypedView : LoginView {
    QString name = QStringLiteral("alice");
    QString password = QStringLiteral("alice123");
    bool accepted = false;
    QObject owner;
    QString userNameText() const override { return name; }
    QString passwordText() const override { return password; }
    void setUserNameText(const QString &) override {}
    void setPasswordText(const QString &) override {}
    void focusUserName(bool) override {}
    void focusPassword(bool) override {}
    void setRegistrationEnabled(bool) override {}
    void setForgotPasswordEnabled(bool) override {}
    void endDialog(bool ok) override { accepted = ok; }
    QObject *messageOwner() override { return &owner; }
};

// The screens of start-up: the sign-in dialog is "clicked" at once, and the
// clock stops when the main frame is shown.
struct Screens : StartupScreens {
    service::SiteAddress site;
    const RememberedCredentials *store = nullptr;
    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    SignInQuota quota;
    Clock::time_point signIn;
    Clock::time_point shown;

    bool runSignIn(QString *userName, QString *password) override
    {
        TypedView view;
        CLoginDlg dlg(site, view, messages, opener, *store, quota);
        dlg.onInitDialog();
        signIn = Clock::now();
        dlg.onSignIn();
        *userName = dlg.userName();
        *password = dlg.password();
        return view.accepted;
    }
    void showConnecting() override {}
    void destroyConnecting() override {}
    bool createMainFrame(const QString &) override { return true; }
    void showMainFrameMaximized() override { shown = Clock::now(); }
    bool checkForUpdate(QString *, QString *) override { return false; }
    bool askToDownload(const QString &, const QString &) override { return false; }
};

enum Mode { Plain, TlsResumed, TlsFirst };

void BM_SignInToMainWindow(benchmark::State &state)
{
    const Mode mode = Mode(state.range(0));
    static testpeers::VarnelServerProcess plain({.demo = true});
    static testpeers::VarnelServerProcess secure({.demo = true, .tls = true});
    const testpeers::VarnelServerProcess &server = mode == Plain ? plain : secure;
    if (!server.started()) {
        state.SkipWithError("varnel-server did not start");
        return;
    }
    QTemporaryDir dir;
    int serial = 0;
    for (auto _ : state) {
        service::SiteAddress site{QStringLiteral("127.0.0.1"), quint16(server.port()), mode != Plain};
        if (mode != Plain) {
            site.caFile = QString::fromStdString(secure.caFile().string());
            if (mode == TlsFirst) {
                site.caFile = dir.filePath(QStringLiteral("ca%1.pem").arg(++serial));
                QFile::copy(QString::fromStdString(secure.caFile().string()), site.caFile);
            }
        }
        const RememberedCredentials store{
            {dir.filePath(QStringLiteral("k.ini")), dir.filePath(QStringLiteral("w.dat"))}};
        Screens screens;
        screens.site = site;
        screens.store = &store;
        StartupSequence sequence(site, screens, screens.messages, screens.opener);
        if (sequence.run() != StartupOutcome::Running) {
            state.SkipWithError(qPrintable(QStringLiteral("not signed in: ") + screens.messages.lastText()));
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(screens.shown - screens.signIn).count());
    }
}
BENCHMARK(BM_SignInToMainWindow)
    ->ArgName("plain0_tlsResumed1_tlsFirst2")
    ->Arg(Plain)
    ->Arg(TlsResumed)
    ->Arg(TlsFirst)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
