// The program for bench_footprint: the real application object, driven
// in-process as a member drives it, so that it weighs what the program weighs
// (the same libraries, the same start-up) while the benchmark measures it
// from outside. It signs in as dave (the site in QUILLORA_SITE), then reads
// commands from standard input: "question" opens the first question of the
// Software zone's first column, "receive" takes messages from the board until
// 2,000 are in, "quit" closes the main window. It answers on standard output
// ("login-shown MS CPU-MS", "main-window MS CPU-MS", "signed-in",
// "question-shown", "board-full N"): wall-clock time from the start of the
// process (or from the click on "Sign-In") and the CPU time the process spent
// in it.
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "quillora_app.h"
#include "screens/login_dialog.h"
#include "screens/main_frame_window.h"
#include "screens/message_dialog.h"
#include "screens/quillora_view.h"
#include "screens/update_dialog.h"
#include "screens/zone_view_widget.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>

#include <unistd.h>

using namespace quillora;

namespace {

// When the benchmark started this process (CLOCK_MONOTONIC, nanoseconds).
constexpr char kStartVariable[] = "QUILLORA_BENCH_START_NS";
constexpr int kBoardMessages = 2000;
constexpr int kSettleMs = 3000;

qint64 clockNs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

qint64 monotonicNs()
{
    return clockNs(CLOCK_MONOTONIC);
}

// CPU time of the whole process, every thread of it.
qint64 cpuNs()
{
    return clockNs(CLOCK_PROCESS_CPUTIME_ID);
}

void say(const char *format, ...) __attribute__((format(printf, 1, 2)));
void say(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

// Runs the event loop for `ms`, or until `done` holds.
bool spin(int ms, const std::function<bool()> &done = {})
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (done && done())
            return true;
        QTest::qWait(50);
    }
    return done ? done() : true;
}

class Member : public QObject {
  public:
    explicit Member(app::CQuilloraApp &app) : m_app(app) { app.installEventFilter(this); }

    // Opens the first question of the Software zone's first column and
    // waits until its page shows the question's title.
    bool openQuestion()
    {
        ui::ZoneViewWidget *zone = m_app.mainView() ? m_app.mainView()->zoneView(0) : nullptr;
        if (!zone)
            return false;
        zone->rules().openTreeItem(1);
        if (zone->rules().postRows().isEmpty())
            return false;
        const QString title = zone->rules().postRows().at(0).value(1);
        zone->rules().openRow(0);
        bool shown = false;
        bool asking = false;
        return spin(60000, [&] {
            if (shown)
                return true;
            QWebEngineView *browser = zone->browser();
            if (browser && !asking) {
                asking = true;
                QPointer<QWebEngineView> guard(browser);
                browser->page()->toPlainText([&shown, &asking, title](const QString &text) {
                    shown = text.contains(title);
                    asking = false;
                });
            }
            return false;
        });
    }

    // "Receive" on the message board until `count` messages are in.
    int receive(int count)
    {
        auto *board = m_app.mainFrame() ? m_app.mainFrame()->findChild<ui::MessageDialog *>() : nullptr;
        if (!board)
            return -1;
        int received = 0;
        for (int idle = 0; received < count && idle < 50;) {
            const int n = board->rules().poll(presence::PollTrigger::Receive);
            QCoreApplication::processEvents();
            if (n > 0) {
                received += n;
                idle = 0;
            } else {
                ++idle;
                QTest::qWait(100);
            }
        }
        return received;
    }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        if (auto *login = qobject_cast<ui::LoginDialog *>(watched); login && login != m_login) {
            m_login = login;
            const qint64 start = qEnvironmentVariable(kStartVariable).toLongLong();
            say("login-shown %.1f %.1f\n", double(monotonicNs() - start) / 1e6, double(cpuNs()) / 1e6);
            QTimer::singleShot(0, login, [this, login] { signIn(login); });
        } else if (qobject_cast<ui::MainFrameWindow *>(watched) && m_clickedAt > 0) {
            say("main-window %.1f %.1f\n", double(monotonicNs() - m_clickedAt) / 1e6,
                double(cpuNs() - m_clickedCpu) / 1e6);
            m_clickedAt = 0;
        } else if (auto *update = qobject_cast<ui::CUpdateDlg *>(watched)) {
            QTimer::singleShot(0, update, [update] { update->noButton()->click(); });
        }
        return false;
    }

  private:
    void signIn(ui::LoginDialog *login)
    {
        QTest::keyClicks(login->userNameEdit(), QStringLiteral("dave"));
        QTest::keyClicks(login->passwordEdit(), QStringLiteral("dave123"));
        m_clickedAt = monotonicNs();
        m_clickedCpu = cpuNs();
        QTest::mouseClick(login->signInButton(), Qt::LeftButton);
    }

    app::CQuilloraApp &m_app;
    QPointer<ui::LoginDialog> m_login;
    qint64 m_clickedAt = 0;
    qint64 m_clickedCpu = 0;
};

} // namespace

int main(int argc, char **argv)
{
    app::CQuilloraApp::prepareProcess();
    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    app::CQuilloraApp app(argc, argv, {&messages, &opener});
    Member member(app);
    if (!app.initInstance()) {
        say("error sign-in failed: %s\n", qPrintable(messages.lastText()));
        return 1;
    }
    spin(kSettleMs);
    say("signed-in\n");

    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&commands, &QSocketNotifier::activated, &app, [&] {
        char line[64] = {};
        const ssize_t n = ::read(STDIN_FILENO, line, sizeof line - 1);
        if (n <= 0 || std::strncmp(line, "quit", 4) == 0) {
            commands.setEnabled(false);
            app.mainFrame()->close();
            return;
        }
        if (std::strncmp(line, "question", 8) == 0) {
            const bool shown = member.openQuestion();
            spin(kSettleMs);
            say(shown ? "question-shown\n" : "error the question page did not show\n");
        } else if (std::strncmp(line, "receive", 7) == 0) {
            const int received = member.receive(kBoardMessages);
            spin(kSettleMs);
            say("board-full %d\n", received);
        }
    });
    return app.exec();
}
