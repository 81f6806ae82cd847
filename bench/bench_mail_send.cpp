// The time from "Submit" to the end of the feedback dialog on loopback: one
// SMTP connection (greeting, EHLO, AUTH LOGIN), the mail, QUIT; once over a
// plain connection and once upgraded with STARTTLS (certificate checked).
#include "mail/mail_dialogs.h"
#include "platform/message_box.h"
#include "smtp_server_process.h"

#include <benchmark/benchmark.h>

using namespace quillora;
using namespace quillora::mail;

namespace {

struct NullFeedbackView : FeedbackView {
    QString fieldText(FeedbackField f) const override
    {
        return f == FeedbackField::Email ? QStringLiteral("alice@home.test")
                                         : QStringLiteral("The search pane forgets the zone.\nOtherwise fine.");
    }
    void focusField(FeedbackField) override {}
    void setBusy(bool) override {}
    void endDialog(bool a) override { accepted = a; }
    QObject *messageOwner() override { return nullptr; }
    bool accepted = false;
};

testpeers::SmtpServerProcess &server(bool tls)
{
    static testpeers::SmtpServerProcess plain;
    static testpeers::SmtpServerProcess secure({.startTls = true});
    return tls ? secure : plain;
}

void BM_FeedbackSubmit(benchmark::State &state)
{
    const bool tls = state.range(0) != 0;
    testpeers::SmtpServerProcess &smtp = server(tls);
    if (!smtp.started()) {
        state.SkipWithError(smtp.error().toStdString().c_str());
        return;
    }
    MailSettings settings = compiledMailSettings();
    settings.host = smtp.host();
    settings.port = quint16(smtp.port());
    settings.user = QStringLiteral("quillora");
    settings.password = QStringLiteral("qm2007");
    settings.tls = tls ? TlsPolicy::Required : TlsPolicy::Off;
    settings.trustFile = tls ? smtp.certificateFile() : QString();
    platform::RecordingMessageBoxes boxes;
    for (auto _ : state) {
        NullFeedbackView view;
        CFeedbackDlg dlg(settings, view, boxes, QStringLiteral("alice"));
        dlg.onSubmit();
        if (!view.accepted) {
            state.SkipWithError(boxes.lastText().toStdString().c_str());
            return;
        }
    }
}
BENCHMARK(BM_FeedbackSubmit)->ArgName("starttls")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
