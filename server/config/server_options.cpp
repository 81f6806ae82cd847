#include "server_options.h"

#include "site_config.h"

#include <cstdlib>
#include <iostream>
#include <optional>

namespace varnel::config {

void printUsage(std::ostream &out)
{
    out << "usage: varnel-server [--config FILE] [--listen ADDR] [--port N] [--host NAME] [--db FILE|URL] "
           "[--files DIR] [--log FILE]\n"
           "                     [--account NAME:SECRET] [--latest-version TEXT] [--demo]\n"
           "                     [--idle-minutes N] [--idle-seconds N] [--overdue-days N]\n"
           "                     [--start-points N] [--start-credit N] [--threads N]\n"
           "                     [--key-file FILE] [--no-address-binding] [--binding-idle-minutes N]\n"
           "                     [--max-registrations N] [--max-failed-signins N] [--free-signin-failures N]\n"
           "                     [--max-questions N] [--max-answers N] [--max-messages N] [--bonuses-per-day N]\n"
           "                     [--head-timeout S] [--read-timeout S] [--keep-alive-requests N] [--listen-backlog N]\n"
           "                     [--connections-per-address N] [--limit-window-seconds N] [--allow-remote-demo]\n"
           "                     [--trusted-proxy ADDR[,ADDR...]] [--max-head-bytes N] [--max-header-lines N] "
           "[--max-url-bytes N]\n"
           "                     [--max-connections N] [--max-queued N] [--queue-timeout S]\n"
           "                     [--answer-deadline S] [--read-ms-per-second N]\n"
           "                     [--tls-cert FILE --tls-key FILE [--tls-redirect-port N]]\n"
           "       varnel-server --help | --version\n";
}

namespace {

std::optional<long long> number(const std::string &text, long long min, long long max)
{
    try {
        size_t used = 0;
        const long long value = std::stoll(text, &used);
        if (used != text.size() || value < min || value > max)
            return std::nullopt;
        return value;
    } catch (...) {
        return std::nullopt;
    }
}

bool isLoopback(const std::string &address)
{
    return address == "localhost" || address.rfind("127.", 0) == 0 || address == "::1" || address == "[::1]";
}

} // namespace

bool parseServerOptions(int argc, char **argv, ServerOptions &o, std::string &error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--demo") {
            o.demo = true;
            continue;
        }
        if (arg == "--allow-remote-demo") {
            o.remoteDemo = true;
            continue;
        }
        if (arg == "--no-address-binding") {
            o.guard.bindMembers = false;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            printUsage(std::cout);
            std::exit(0);
        }
        if (arg == "--version") {
            std::cout << "varnel-server " << quillora::service::programVersion().toStdString() << '\n';
            std::exit(0);
        }
        if (i + 1 >= argc) {
            error = "missing value after " + arg;
            return false;
        }
        const std::string value = argv[++i];
        auto numeric = [&](long long min, long long max) -> std::optional<long long> {
            auto n = number(value, min, max);
            if (!n)
                error = "bad value for " + arg + ": " + value;
            return n;
        };
        if (arg == "--listen") {
            o.listen = value;
        } else if (arg == "--port") {
            auto n = numeric(0, 65535);
            if (!n)
                return false;
            o.port = static_cast<int>(*n);
        } else if (arg == "--host") {
            o.host = value;
        } else if (arg == "--db") {
            o.db = value;
        } else if (arg == "--files") {
            o.files = value;
        } else if (arg == "--log") {
            o.log = value;
        } else if (arg == "--account") {
            if (value.find(':') == std::string::npos) {
                error = "--account wants NAME:SECRET";
                return false;
            }
            o.account = value;
        } else if (arg == "--latest-version") {
            o.latestVersion = value;
        } else if (arg == "--idle-minutes" || arg == "--idle-seconds") {
            auto n = numeric(1, 10LL * 365 * 24 * 3600);
            if (!n)
                return false;
            o.settings.idleSeconds = arg == "--idle-minutes" ? *n * 60 : *n;
        } else if (arg == "--overdue-days") {
            auto n = numeric(0, 3650);
            if (!n)
                return false;
            o.settings.overdueDays = static_cast<int>(*n);
        } else if (arg == "--threads") {
            auto n = numeric(1, 1024);
            if (!n)
                return false;
            o.connections.workers = static_cast<int>(*n);
        } else if (arg == "--start-points") {
            auto n = numeric(0, 1000000);
            if (!n)
                return false;
            o.settings.startPoints = static_cast<int>(*n);
        } else if (arg == "--start-credit") {
            auto n = numeric(0, varnel::kMaxCredit);
            if (!n)
                return false;
            o.settings.startCredit = static_cast<int>(*n);
        } else if (arg == "--key-file") {
            o.keyFile = value;
        } else if (arg == "--binding-idle-minutes") {
            auto n = numeric(1, 365LL * 24 * 60);
            if (!n)
                return false;
            o.guard.bindingIdleSeconds = *n * 60;
        } else if (arg == "--max-registrations" || arg == "--max-failed-signins" || arg == "--free-signin-failures" ||
                   arg == "--max-questions" || arg == "--max-answers" || arg == "--max-messages") {
            // 0 turns the limit off.
            auto n = numeric(0, 1000000);
            if (!n)
                return false;
            const int v = static_cast<int>(*n);
            (arg == "--max-registrations"      ? o.guard.registrationsPerAddress
             : arg == "--max-failed-signins"   ? o.guard.failedSignInsPerAddress
             : arg == "--free-signin-failures" ? o.guard.freeFailuresPerAccount
             : arg == "--max-questions"        ? o.guard.questionsPerMember
             : arg == "--max-answers"          ? o.guard.answersPerMember
                                               : o.guard.messagesPerMember) = v;
        } else if (arg == "--limit-window-seconds") {
            auto n = numeric(1, 7 * 86400);
            if (!n)
                return false;
            o.guard.windowSeconds = *n;
        } else if (arg == "--answer-deadline") {
            auto n = numeric(1, 3600);
            if (!n)
                return false;
            o.guard.answerDeadline = std::chrono::seconds(*n);
        } else if (arg == "--read-ms-per-second") {
            auto n = numeric(0, 1000000);
            if (!n)
                return false;
            o.guard.readMsPerSecond = static_cast<int>(*n);
        } else if (arg == "--bonuses-per-day") {
            auto n = numeric(0, 1000000);
            if (!n)
                return false;
            o.settings.recommenderBonusesPerDay = static_cast<int>(*n);
        } else if (arg == "--head-timeout" || arg == "--read-timeout") {
            auto n = numeric(1, 3600);
            if (!n)
                return false;
            (arg == "--head-timeout" ? o.connections.head : o.connections.read) = std::chrono::seconds(*n);
        } else if (arg == "--keep-alive-requests") {
            auto n = numeric(1, 1000000);
            if (!n)
                return false;
            o.connections.requestsPerConnection = static_cast<int>(*n);
        } else if (arg == "--listen-backlog") {
            auto n = numeric(1, 65535);
            if (!n)
                return false;
            o.connections.listenBacklog = static_cast<int>(*n);
        } else if (arg == "--trusted-proxy") {
            if (!o.connections.trustedProxies.add(value, error)) {
                error = "bad value for --trusted-proxy: " + error;
                return false;
            }
        } else if (arg == "--max-head-bytes") {
            auto n = numeric(1024, 1024 * 1024);
            if (!n)
                return false;
            o.connections.headSize.bytes = static_cast<size_t>(*n);
        } else if (arg == "--max-url-bytes") {
            auto n = numeric(64, 8000);
            if (!n)
                return false;
            o.connections.headSize.target = static_cast<size_t>(*n);
        } else if (arg == "--max-header-lines") {
            auto n = numeric(1, 10000);
            if (!n)
                return false;
            o.connections.headSize.lines = static_cast<int>(*n);
        } else if (arg == "--max-connections" || arg == "--max-queued") {
            // 0 turns the limit off.
            auto n = numeric(0, 1000000);
            if (!n)
                return false;
            (arg == "--max-connections" ? o.connections.maxConnections : o.connections.maxQueued) =
                static_cast<int>(*n);
        } else if (arg == "--queue-timeout") {
            auto n = numeric(0, 3600);
            if (!n)
                return false;
            o.connections.queueWait = std::chrono::seconds(*n);
        } else if (arg == "--tls-cert") {
            o.tlsCert = value;
        } else if (arg == "--tls-key") {
            o.tlsKey = value;
        } else if (arg == "--tls-redirect-port") {
            auto n = numeric(0, 65535);
            if (!n)
                return false;
            o.redirectPort = static_cast<int>(*n);
        } else if (arg == "--connections-per-address") {
            auto n = numeric(0, 100000);
            if (!n)
                return false;
            o.connections.connectionsPerAddress = static_cast<int>(*n);
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (o.host.empty())
        o.host = o.listen;
    if (o.tlsCert.empty() != o.tlsKey.empty()) {
        error = "--tls-cert and --tls-key go together";
        return false;
    }
    if (o.redirectPort >= 0 && o.tlsCert.empty()) {
        error = "--tls-redirect-port needs --tls-cert and --tls-key";
        return false;
    }
    // The demo accounts' passwords are printed for all to read: others may
    // reach them only when asked for in so many words.
    if (o.demo && !o.remoteDemo && !isLoopback(o.listen)) {
        error = "--demo listens on a loopback address only (add --allow-remote-demo to serve it on " + o.listen + ")";
        return false;
    }
    return true;
}

} // namespace varnel::config
