// varnel-server: the community server. Serves the VarnelServices SOAP
// endpoint and the community's web site from one process, on one SQLite file.
//
// The first line on standard output is always
//     varnel-server listening on http://ADDR:PORT
// (https:// with --tls-cert and --tls-key), flushed, so scripts and tests
// learn the port even with --port 0. A plain port that redirects to HTTPS is
// the next line; with --demo the demo accounts follow; "varnel-server ready"
// ends the start-up. SIGUSR1 prints the requests served and TLS handshakes
// made so far (and so does a clean stop).
#include "client_address.h"
#include "community_rules.h"
#include "config_file.h"
#include "demo_community.h"
#include "guarded_server.h"
#include "https_redirect.h"
#include "request_framing.h"
#include "site_config.h"
#include "soap_response.h"
#include "sql_community_store.h"
#include "tls_context.h"
#include "varnel_service.h"

#ifdef VARNEL_HAVE_SITE
#include "site.h"
#endif

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Options {
    std::string listen = "127.0.0.1";
    int port = 8080;
    std::string host; // default: the listen address
    std::string db;
    std::string files;
    std::string log;
    std::string account; // NAME:SECRET
    std::string latestVersion = "3.5.0.1";
    bool demo = false;
    bool remoteDemo = false; // --demo on an address others can reach
    std::string keyFile;
    varnel::GuardSettings guard;
    varnel::ConnectionLimits connections;
    varnel::TrustedProxies proxies;
    std::string tlsCert;
    std::string tlsKey;
    int redirectPort = -1; // none
    // Each connection holds a worker while it is kept alive, so there are
    // many more workers than cores.
    int threads = 64;
    varnel::CommunitySettings settings;
};

void usage(std::ostream &out)
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
           "                     [--trusted-proxy ADDR[,ADDR...]] [--answer-deadline S] [--read-ms-per-second N]\n"
           "                     [--tls-cert FILE --tls-key FILE [--tls-redirect-port N]]\n"
           "       varnel-server --help | --version\n";
}

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

// false (with a message) on a bad command line.
bool parseOptions(int argc, char **argv, Options &o, std::string &error)
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
            usage(std::cout);
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
            o.threads = static_cast<int>(*n);
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
            if (!o.proxies.add(value, error)) {
                error = "bad value for --trusted-proxy: " + error;
                return false;
            }
            o.connections.uncappedAddresses = o.proxies.addresses();
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

// A directory made for this run and removed when the server stops.
class TempDir {
  public:
    bool create()
    {
        std::string pattern = (fs::temp_directory_path() / "varnel-server-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            return false;
        m_path = pattern;
        return true;
    }
    ~TempDir()
    {
        if (!m_path.empty()) {
            std::error_code ignored;
            fs::remove_all(m_path, ignored);
        }
    }
    const fs::path &path() const { return m_path; }

  private:
    fs::path m_path;
};

// One line per request: time, remote address, operation or path, outcome,
// milliseconds. Query strings are never written (they carry passwords).
class RequestLog {
  public:
    // Texts from a request (an operation name, a namespace in a fault text)
    // cannot start a line of their own.
    // A request value in the log: at most 64 characters of it.
    static std::string clipped(std::string text)
    {
        constexpr size_t kMaxEcho = 64;
        if (text.size() <= kMaxEcho)
            return text;
        size_t cut = kMaxEcho;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut; // not inside a UTF-8 sequence
        return text.substr(0, cut) + "...";
    }

    static std::string oneLine(std::string text)
    {
        for (char &c : text) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                c = ' ';
        }
        return text;
    }

    // An empty path writes to standard error.
    explicit RequestLog(std::string path) : m_path(std::move(path)) {}

    bool open()
    {
        std::lock_guard lock(m_mutex);
        return openLocked();
    }
    // After the file was moved away (log rotation, on SIGHUP): a fresh one.
    bool reopen()
    {
        std::lock_guard lock(m_mutex);
        if (m_path.empty())
            return true;
        m_file.close();
        return openLocked();
    }
    void write(const httplib::Request &req, const httplib::Response &res, const std::string &what,
               const std::string &outcome, double ms)
    {
        const auto now = std::chrono::system_clock::now();
        const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        std::tm tm{};
        gmtime_r(&seconds, &tm);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &tm);
        char duration[32];
        std::snprintf(duration, sizeof duration, "%.1fms", ms);
        std::lock_guard lock(m_mutex);
        std::ostream &out = m_path.empty() ? static_cast<std::ostream &>(std::cerr) : m_file;
        out << stamp << ' ' << req.remote_addr << ' ' << clipped(oneLine(req.method)) << ' ' << clipped(oneLine(what))
            << ' ' << res.status << ' ' << oneLine(outcome) << ' ' << duration << '\n';
        out.flush();
    }

  private:
    bool openLocked()
    {
        if (m_path.empty())
            return true;
        m_file.clear();
        m_file.open(m_path, std::ios::app);
        return static_cast<bool>(m_file);
    }

    std::string m_path;
    std::ofstream m_file;
    std::mutex m_mutex;
};

// What the SOAP handler tells the logger about the request it served; the
// logger runs on the same worker thread right after the handler.
thread_local std::string t_operation;
thread_local std::string t_outcome;
thread_local std::chrono::steady_clock::time_point t_started;
thread_local bool t_timed = false;
// The request's address was already taken from its trusted proxy's header.
thread_local bool t_addressAdopted = false;

std::string urlHost(const std::string &address)
{
    return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

// "http://host[:port]" or "https://host[:port]", the port left out where it
// is the scheme's own.
std::string siteBase(bool https, const std::string &host, int port)
{
    const bool usual = port == (https ? 443 : 80);
    return (https ? "https://" : "http://") + urlHost(host) + (usual ? std::string() : ":" + std::to_string(port));
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    std::string error;
    // "--config FILE" stands for the file's options, in its place.
    std::vector<std::string> words{argc > 0 ? argv[0] : "varnel-server"};
    if (!varnel::config::expandConfigFiles(argc, argv, words, error)) {
        std::cerr << "varnel-server: " << error << '\n';
        return 2;
    }
    std::vector<char *> expanded;
    for (std::string &w : words)
        expanded.push_back(w.data());
    if (!parseOptions(int(expanded.size()), expanded.data(), options, error)) {
        std::cerr << "varnel-server: " << error << '\n';
        usage(std::cerr);
        return 2;
    }

    // Stop cleanly on SIGINT/SIGTERM: the signals are taken by one thread
    // with sigwait, so no work happens inside a signal handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigaddset(&stopSignals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    TempDir tempDb;
    TempDir tempFiles;
    if (options.db.empty()) {
        if (!tempDb.create()) {
            std::cerr << "varnel-server: cannot create a temporary directory\n";
            return 1;
        }
        options.db = (tempDb.path() / "community.db").string();
    }
    if (options.files.empty()) {
        if (!tempFiles.create()) {
            std::cerr << "varnel-server: cannot create a temporary directory\n";
            return 1;
        }
        options.files = tempFiles.path().string();
    } else {
        std::error_code ec;
        fs::create_directories(options.files, ec);
    }

    RequestLog requestLog(options.log);
    if (!requestLog.open()) {
        std::cerr << "varnel-server: cannot open log file " << options.log << '\n';
        return 1;
    }

    quillora::service::ServiceAccount account = quillora::service::compiledServiceAccount();
    if (!options.account.empty()) {
        const auto colon = options.account.find(':');
        account.username = QString::fromStdString(options.account.substr(0, colon));
        account.password = QString::fromStdString(options.account.substr(colon + 1));
    }

    // The certificate and key are checked before anything listens: a key
    // others may read stops the start.
    std::shared_ptr<varnel::tls::TlsContext> tls;
    if (!options.tlsCert.empty()) {
        tls = varnel::tls::TlsContext::load(options.tlsCert, options.tlsKey, error);
        if (!tls) {
            std::cerr << "varnel-server: " << error << '\n';
            return 1;
        }
    }

    varnel::GuardedServer server(options.connections);
    if (tls)
        server.serveTls(tls);
    server.set_payload_max_length(varnel::kMaxRequestBody);
    server.set_tcp_nodelay(true);
    server.new_task_queue = [threads = options.threads] {
        return new httplib::ThreadPool(static_cast<size_t>(threads));
    };
    int port = options.port;
    if (port == 0) {
        port = server.bind_to_any_port(options.listen);
        if (port < 0)
            port = 0;
    } else if (!server.bind_to_port(options.listen, port)) {
        port = 0;
    }
    if (port <= 0) {
        std::cerr << "varnel-server: cannot listen on " << options.listen << ':' << options.port << '\n';
        return 1;
    }
    if (!server.widenListenQueue())
        std::cerr << "varnel-server: cannot lengthen the listen queue; connections may be dropped in bursts\n";
    // Pages asked for in clear on the redirect port move to the HTTPS site.
    std::unique_ptr<varnel::GuardedServer> plainPort;
    int redirectPort = 0;
    if (options.redirectPort >= 0) {
        plainPort = std::make_unique<varnel::GuardedServer>(options.connections);
        plainPort->set_tcp_nodelay(true);
        // As many workers as the HTTPS port, so that the cap per address
        // leaves others the same share here.
        plainPort->new_task_queue = [threads = options.threads] {
            return new httplib::ThreadPool(static_cast<size_t>(threads));
        };
        redirectPort = options.redirectPort;
        if (redirectPort == 0) {
            redirectPort = std::max(0, plainPort->bind_to_any_port(options.listen));
        } else if (!plainPort->bind_to_port(options.listen, redirectPort)) {
            redirectPort = 0;
        }
        if (redirectPort <= 0) {
            std::cerr << "varnel-server: cannot listen on " << options.listen << ':' << options.redirectPort << '\n';
            return 1;
        }
        plainPort->widenListenQueue();
    }
    std::cout << "varnel-server listening on " << (tls ? "https://" : "http://") << urlHost(options.listen) << ':'
              << port << std::endl;
    // Links stored in the demo data name the site host, which members reach
    // (the listen address may be 0.0.0.0), in the scheme clients use.
    const std::string siteUrl = siteBase(tls != nullptr, options.host, port);
    if (plainPort)
        std::cout << "varnel-server redirects http://" << urlHost(options.listen) << ':' << redirectPort << " to "
                  << siteUrl << std::endl;

    // A fresh database asked for demo data is seeded quickly (no fsync per
    // commit, a clock that walks through the past two months) and then
    // reopened with durable commits.
    if (options.demo) {
        std::atomic<varnel::Timestamp> demoNow{options.settings.clock()};
        const varnel::Timestamp realNow = demoNow.load();
        varnel::CommunitySettings seeding = options.settings;
        seeding.durable = false;
        // Demo members are established members, whatever a newcomer starts with.
        seeding.startPoints = varnel::CommunitySettings{}.startPoints;
        seeding.startCredit = varnel::CommunitySettings{}.startCredit;
        seeding.clock = [&demoNow] { return demoNow.load(); };
        seeding.keyFile = options.keyFile;
        auto seedStore = varnel::openCommunityStore(options.db, seeding, error);
        if (!seedStore) {
            std::cerr << "varnel-server: " << error << '\n';
            return 1;
        }
        if (seedStore->memberCount() == 0) {
            const auto accounts = varnel::demo::seedDemoCommunity(
                *seedStore, [&demoNow](varnel::Timestamp t) { demoNow = t; }, realNow, siteUrl);
            for (const auto &a : accounts)
                std::cout << "demo account " << a.userName << " / " << a.password << " (" << a.description << ")\n";
        } else {
            std::cout << "demo data not added: the database already has members\n";
        }
    }

    options.settings.keyFile = options.keyFile;
    auto store = varnel::openCommunityStore(options.db, options.settings, error);
    if (!store) {
        std::cerr << "varnel-server: " << error << '\n';
        return 1;
    }

    varnel::VarnelService service(
        *store, {QString::fromStdString(options.host), account, fs::path(options.files), options.guard});

    // Behind a trusted load balancer, the client is the address it forwarded.
    // The request is the library's own object, handed to handlers as const;
    // its address is set here, once, before any handler or the log reads it.
    const auto adoptClientAddress = [&options](const httplib::Request &req) {
        if (t_addressAdopted || options.proxies.empty() || !options.proxies.contains(req.remote_addr))
            return;
        t_addressAdopted = true;
        std::string forwarded;
        const size_t count = req.get_header_value_count("X-Forwarded-For");
        for (size_t i = 0; i < count; ++i)
            forwarded += (i ? "," : "") + req.get_header_value("X-Forwarded-For", i);
        const_cast<httplib::Request &>(req).remote_addr = options.proxies.clientOf(req.remote_addr, forwarded);
    };
    server.set_pre_routing_handler([adoptClientAddress](const httplib::Request &req, httplib::Response &res) {
        adoptClientAddress(req);
        t_started = std::chrono::steady_clock::now();
        t_timed = true;
        varnel::GuardedServer::headReceived();
        if (const auto refusal = varnel::refuseFraming(req)) {
            // The body is not read, so the connection cannot carry another request.
            res.status = refusal->status;
            res.set_header("Connection", "close");
            res.set_content(refusal->text, "text/plain; charset=utf-8");
            t_outcome = "refused: " + refusal->text;
            varnel::GuardedServer::closeAfterResponse();
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // A client that waits for "100 Continue" before its body hears the
    // refusal instead, and sends nothing more.
    server.set_expect_100_continue_handler([adoptClientAddress](const httplib::Request &req, httplib::Response &res) {
        adoptClientAddress(req);
        t_started = std::chrono::steady_clock::now();
        t_timed = true;
        varnel::GuardedServer::headReceived();
        const auto refusal = varnel::refuseFraming(req);
        if (!refusal)
            return 100;
        res.status = refusal->status;
        res.set_header("Connection", "close");
        res.set_content(refusal->text, "text/plain; charset=utf-8");
        t_outcome = "refused: " + refusal->text;
        varnel::GuardedServer::closeAfterResponse();
        return refusal->status;
    });
    const auto logRequest = [&requestLog](const httplib::Request &req, const httplib::Response &res) {
        const double ms =
            t_timed ? std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t_started).count()
                    : 0.0;
        std::string outcome = t_outcome.empty() ? (res.status < 400 ? "ok" : "refused") : t_outcome;
        requestLog.write(req, res, t_operation.empty() ? req.path : t_operation, outcome, ms);
        t_operation.clear();
        t_outcome.clear();
        t_timed = false;
        t_addressAdopted = false;
    };
    std::atomic<std::uint64_t> requestsServed{0};
    server.set_logger([&logRequest, &requestsServed](const httplib::Request &req, const httplib::Response &res) {
        requestsServed.fetch_add(1, std::memory_order_relaxed);
        logRequest(req, res);
    });
    // What the server did so far, for an operator or a benchmark: requests
    // answered and, over TLS, the handshakes they cost.
    const auto reportCounts = [&requestsServed, &tls] {
        std::string line = "varnel-server served " + std::to_string(requestsServed.load()) + " requests";
        if (tls) {
            const varnel::tls::HandshakeCounts c = tls->counts();
            line += "; TLS handshakes: " + std::to_string(c.full) + " full, " + std::to_string(c.resumed) +
                    " resumed, " + std::to_string(c.failed) + " failed";
        }
        std::cout << line << std::endl;
    };

    if (plainPort) {
        const varnel::tls::PlainHttpPort plain{
            siteUrl, quillora::service::kServicePath,
            varnel::writeFault(
                quillora::service::FaultCode::Client,
                QStringLiteral("This service takes calls over HTTPS only: %1%2")
                    .arg(QString::fromStdString(siteUrl), QLatin1String(quillora::service::kServicePath)))
                .toStdString()};
        plainPort->set_pre_routing_handler(
            [plain, adoptClientAddress](const httplib::Request &req, httplib::Response &res) {
                adoptClientAddress(req);
                t_started = std::chrono::steady_clock::now();
                t_timed = true;
                varnel::GuardedServer::headReceived();
                t_outcome = varnel::tls::answerPlainHttp(req, res, plain) ? "refused: plain HTTP" : "moved to HTTPS";
                // A body is never read here: the connection ends with the answer.
                varnel::GuardedServer::closeAfterResponse();
                return httplib::Server::HandlerResponse::Handled;
            });
        plainPort->set_logger(logRequest);
    }

    server.Post(quillora::service::kServicePath, [&service](const httplib::Request &req, httplib::Response &res) {
        // Dispatch is by the body's wrapper element; a SOAPAction header, when
        // present, is accepted as it comes.
        const varnel::ServiceAnswer answer =
            service.handle(QByteArray(req.body.data(), qsizetype(req.body.size())), req.remote_addr, t_started);
        res.status = answer.httpStatus;
        res.set_content(answer.body.constData(), static_cast<size_t>(answer.body.size()), "text/xml; charset=utf-8");
        t_operation = answer.operation.isEmpty() ? std::string("(SOAP)") : answer.operation.toStdString();
        // The outcome of a fault carries its text, which never holds request values.
        t_outcome = answer.outcome.toStdString();
    });

#ifdef VARNEL_HAVE_SITE
    server.Get(quillora::service::kServicePath,
               [&options, port, https = tls != nullptr](const httplib::Request &req, httplib::Response &res) {
                   if (!req.has_param("wsdl") && !req.has_param("WSDL")) {
                       res.status = 404;
                       return;
                   }
                   res.set_content(varnel::site::wsdlDocument(options.host, port, https), "text/xml; charset=utf-8");
               });
    varnel::site::registerSite(
        server, *store,
        {options.host,
         fs::path(options.files),
         options.latestVersion,
         port,
         {options.guard.failedSignInsPerAddress, options.guard.freeFailuresPerAccount, options.guard.windowSeconds},
         options.guard.bindMembers,
         options.guard.bindingIdleSeconds});
#endif

    std::thread signalWaiter([&server, &plainPort, &requestLog, &options, &reportCounts, stopSignals] {
        for (;;) {
            int signal = 0;
            if (sigwait(&stopSignals, &signal) != 0)
                continue;
            if (signal == SIGHUP) {
                if (!requestLog.reopen())
                    std::cerr << "varnel-server: cannot reopen log file " << options.log << '\n';
                continue;
            }
            if (signal == SIGUSR1) {
                reportCounts();
                continue;
            }
            server.stop();
            if (plainPort)
                plainPort->stop();
            return;
        }
    });

    std::thread plainListener;
    if (plainPort)
        plainListener = std::thread([&plainPort] { plainPort->listen_after_bind(); });
    std::cout << "varnel-server ready" << std::endl;
    const bool served = server.listen_after_bind();

    // Wake the signal thread if the server stopped on its own.
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    if (plainListener.joinable())
        plainListener.join();
    reportCounts();
    return served ? 0 : 1;
}
