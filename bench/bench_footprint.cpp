// The client's footprint and start-up, measured on the program itself: a
// member signs in to the real varnel-server on loopback, opens a question
// page, and receives 2,000 messages on the message board
// (bench_footprint_member, the real application object driven as a member
// drives it). At each step the benchmark reads /proc/PID/smaps_rollup of the
// program and of every process it started (the web engine's helpers among
// them) and prints PSS and RSS; it also times program start to the sign-in
// window and "Sign-In" to the main window. The benchmark itself is a small
// program of its own, so it shares no library pages with the one it weighs.
//
//   bench_footprint [--runs N] [--offscreen]
//
// It uses the display named by DISPLAY when one is, else starts Xvfb on a
// free display when it is installed, else runs offscreen (--offscreen forces
// that).
#include "process_tree.h"
#include "result_document.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

using namespace quillora;

namespace {

constexpr char kStartVariable[] = "QUILLORA_BENCH_START_NS";
constexpr int kBoardMessages = 2000;

qint64 monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

struct Weight {
    double programPss = 0, programRss = 0, helpersPss = 0, helpersRss = 0;
    int helpers = 0;
    double pss() const { return programPss + helpersPss; }
};

Weight weigh(pid_t program)
{
    Weight w;
    const testpeers::MemoryUse own = testpeers::memoryUseOf(program);
    w.programPss = own.pssKiB / 1024.0;
    w.programRss = own.rssKiB / 1024.0;
    for (pid_t child : testpeers::descendantsOf(program)) {
        const testpeers::MemoryUse use = testpeers::memoryUseOf(child);
        w.helpersPss += use.pssKiB / 1024.0;
        w.helpersRss += use.rssKiB / 1024.0;
        ++w.helpers;
    }
    return w;
}

struct Run {
    double toSignInWindowMs = -1, toMainWindowMs = -1;
    double toSignInWindowCpuMs = -1, toMainWindowCpuMs = -1;
    Weight signedIn, questionShown, boardFull;
};

// The next line the member prints, with its first word checked.
QByteArray expectLine(QProcess &member, const QByteArray &word, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (member.canReadLine()) {
            const QByteArray line = member.readLine().trimmed();
            if (line.startsWith(word))
                return line;
            if (line.startsWith("error")) {
                std::fprintf(stderr, "member: %s\n", line.constData());
                return {};
            }
            continue;
        }
        if (member.state() != QProcess::Running)
            return {};
        member.waitForReadyRead(200);
    }
    return {};
}

// The n-th number after the line's first word.
double numberAfterWord(const QByteArray &line, int n = 0)
{
    return line.split(' ').value(n + 1).toDouble();
}

int userIdOf(const service::SiteAddress &site, const QString &name)
{
    service::CVarnelServices proxy(site);
    proxy.useServiceAccount(service::Op::GetUserByUserName);
    QString document;
    proxy.GetUserByUserName(name, name + QStringLiteral("123"), &document);
    return service::leadingInt(service::readFirstElementText(document, u"PKID", nullptr));
}

bool sendMessages(const service::SiteAddress &site, int count)
{
    const int from = userIdOf(site, QStringLiteral("erin"));
    const int to = userIdOf(site, QStringLiteral("dave"));
    service::CVarnelServices proxy(site);
    for (int i = 0; i < count; ++i) {
        proxy.useServiceAccount(service::Op::SendMessage);
        bool ok = false;
        const QString text = QStringLiteral("Message %1 of the footprint run: an ordinary line of text with a link "
                                            "http://example.com/page and a few more words after it.")
                                 .arg(i + 1);
        if (!service::succeeded(proxy.SendMessage(from, to, text, &ok)) || !ok)
            return false;
    }
    return true;
}

bool runOnce(const QString &program, const QProcessEnvironment &base, const service::SiteAddress &site, Run *run)
{
    QTemporaryDir home;
    for (const char *dir : {"config", "cache", "runtime"})
        QDir(home.path()).mkpath(QLatin1String(dir));
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = base;
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("QUILLORA_SITE"), QStringLiteral("%1:%2").arg(site.host).arg(site.port));

    QProcess member;
    member.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    env.insert(QLatin1String(kStartVariable), QString::number(monotonicNs()));
    member.setProcessEnvironment(env);
    member.start(program, {});
    if (!member.waitForStarted(10000))
        return false;
    const auto stop = qScopeGuard([&member] {
        if (member.state() != QProcess::NotRunning) {
            member.write("quit\n");
            if (!member.waitForFinished(15000)) {
                member.kill();
                member.waitForFinished(5000);
            }
        }
    });
    const QByteArray login = expectLine(member, "login-shown", 60000);
    const QByteArray main = expectLine(member, "main-window", 60000);
    if (login.isEmpty() || main.isEmpty() || expectLine(member, "signed-in", 60000).isEmpty())
        return false;
    run->toSignInWindowMs = numberAfterWord(login);
    run->toSignInWindowCpuMs = numberAfterWord(login, 1);
    run->toMainWindowMs = numberAfterWord(main);
    run->toMainWindowCpuMs = numberAfterWord(main, 1);
    run->signedIn = weigh(pid_t(member.processId()));

    member.write("question\n");
    if (expectLine(member, "question-shown", 90000).isEmpty())
        return false;
    run->questionShown = weigh(pid_t(member.processId()));

    if (!sendMessages(site, kBoardMessages)) {
        std::fprintf(stderr, "the server did not take the messages\n");
        return false;
    }
    member.write("receive\n");
    const QByteArray full = expectLine(member, "board-full", 300000);
    if (full.isEmpty() || int(numberAfterWord(full)) < kBoardMessages) {
        std::fprintf(stderr, "the board did not receive every message (%s)\n", full.constData());
        return false;
    }
    run->boardFull = weigh(pid_t(member.processId()));
    return true;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void printWeights(const char *label, const std::vector<Run> &runs, Weight Run::*step)
{
    std::vector<double> pss, ownPss, helpersPss, ownRss, helpersRss, helpers;
    for (const Run &r : runs) {
        const Weight &w = r.*step;
        pss.push_back(w.pss());
        ownPss.push_back(w.programPss);
        helpersPss.push_back(w.helpersPss);
        ownRss.push_back(w.programRss);
        helpersRss.push_back(w.helpersRss);
        helpers.push_back(w.helpers);
    }
    std::printf("%-36s %7.1f  %7.1f + %6.1f  %3.0f   %7.1f + %6.1f\n", label, median(pss), median(ownPss),
                median(helpersPss), median(helpers), median(ownRss), median(helpersRss));
}

int runBenchmark(int argc, char **argv)
{
    int runs = 3;
    bool offscreen = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--offscreen") == 0)
            offscreen = true;
    }
    QCoreApplication app(argc, argv);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"),
               env.value(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1")));

    // The display of DISPLAY, else one of our own when Xvfb is installed: the
    // figures are those of a real X session rather than of the offscreen
    // platform.
    QProcess xvfb;
    QString where = QStringLiteral("offscreen");
    const QString xvfbProgram = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (!offscreen && !env.value(QStringLiteral("DISPLAY")).isEmpty()) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        where = QStringLiteral("on display %1").arg(env.value(QStringLiteral("DISPLAY")));
    } else if (!offscreen && !xvfbProgram.isEmpty()) {
        xvfb.start(xvfbProgram,
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                    QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (xvfb.waitForStarted(10000) && xvfb.waitForReadyRead(20000)) {
            const QString display = QStringLiteral(":") + QString::fromLatin1(xvfb.readLine().trimmed());
            env.insert(QStringLiteral("DISPLAY"), display);
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            where = QStringLiteral("under Xvfb (display %1)").arg(display);
        } else {
            xvfb.kill();
            xvfb.waitForFinished(5000);
        }
    }
    if (where == QStringLiteral("offscreen"))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    // Messages are not limited per hour here: the board is to hold 2,000.
    testpeers::VarnelServerProcess server({.demo = true, .extraArgs = {"--max-messages", "0"}});
    if (!server.started()) {
        std::fprintf(stderr, "varnel-server: %s\n", server.error().c_str());
        return 1;
    }
    const service::SiteAddress site{QStringLiteral("127.0.0.1"), quint16(server.port())};

    std::vector<Run> done;
    for (int i = 0; i < runs; ++i) {
        Run run;
        if (!runOnce(QStringLiteral(QUILLORA_FOOTPRINT_MEMBER), env, site, &run)) {
            std::fprintf(stderr, "run %d failed\n", i + 1);
            return 1;
        }
        std::printf("run %d: start to the sign-in window %.0f ms (CPU %.0f ms), \"Sign-In\" to the main window "
                    "%.0f ms (CPU %.0f ms); PSS %.1f / %.1f / %.1f MiB\n",
                    i + 1, run.toSignInWindowMs, run.toSignInWindowCpuMs, run.toMainWindowMs, run.toMainWindowCpuMs,
                    run.signedIn.pss(), run.questionShown.pss(), run.boardFull.pss());
        std::fflush(stdout);
        done.push_back(run);
    }

    std::printf("\nquillora %s, medians of %d runs, MiB\n", qPrintable(where), runs);
    std::printf("%-36s %7s  %16s  %3s   %16s\n", "", "PSS", "program + helpers", "n", "RSS prog + helpers");
    printWeights("after sign-in", done, &Run::signedIn);
    printWeights("after the first question page", done, &Run::questionShown);
    printWeights("after 2,000 messages on the board", done, &Run::boardFull);
    std::vector<double> toSignIn, toMain, toSignInCpu, toMainCpu;
    for (const Run &r : done) {
        toSignIn.push_back(r.toSignInWindowMs);
        toMain.push_back(r.toMainWindowMs);
        toSignInCpu.push_back(r.toSignInWindowCpuMs);
        toMainCpu.push_back(r.toMainWindowCpuMs);
    }
    std::printf("\n%-36s %7s  %7s\n", "medians", "wall", "CPU");
    std::printf("%-36s %7.0f  %7.0f ms\n", "program start to the sign-in window", median(toSignIn),
                median(toSignInCpu));
    std::printf("%-36s %7.0f  %7.0f ms\n", "\"Sign-In\" to the main window", median(toMain), median(toMainCpu));

    if (xvfb.state() != QProcess::NotRunning) {
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    return runBenchmark(argc, argv);
}
