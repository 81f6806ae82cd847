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
#include "server_options.h"
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
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

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

    // A connection refused before any request on it was read.
    void writeRefusal(const std::string &address, int status, const std::string &why)
    {
        const std::time_t seconds = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        std::tm tm{};
        gmtime_r(&seconds, &tm);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &tm);
        std::lock_guard lock(m_mutex);
        std::ostream &out = m_path.empty() ? static_cast<std::ostream &>(std::cerr) : m_file;
        out << stamp << ' ' << address << " - (connection) " << status << " refused: " << why << " 0.0ms\n";
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

// Every open connection is a file descriptor, and so is every refused one
// still draining: the soft limit (often 1024) is raised as far as the hard
// one allows, and the connection cap kept below what it leaves.
void fitConnectionsToDescriptors(varnel::ConnectionLimits &limits)
{
    constexpr rlim_t kSpare = 384; // draining refusals, the database, the log, files being served
    rlimit fds{};
    if (getrlimit(RLIMIT_NOFILE, &fds) != 0 || fds.rlim_cur == RLIM_INFINITY)
        return;
    const rlim_t wanted =
        limits.maxConnections > 0 ? static_cast<rlim_t>(limits.maxConnections) + kSpare : fds.rlim_max;
    if (fds.rlim_cur < wanted) {
        fds.rlim_cur = std::min(wanted, fds.rlim_max);
        setrlimit(RLIMIT_NOFILE, &fds);
        getrlimit(RLIMIT_NOFILE, &fds);
    }
    if (limits.maxConnections > 0 && fds.rlim_cur < wanted) {
        limits.maxConnections = static_cast<int>(fds.rlim_cur > 2 * kSpare ? fds.rlim_cur - kSpare : fds.rlim_cur / 2);
        std::cerr << "varnel-server: open files are limited to " << fds.rlim_cur << "; at most "
                  << limits.maxConnections << " connections at once\n";
    }
}

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
    varnel::config::ServerOptions options;
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
    if (!varnel::config::parseServerOptions(int(expanded.size()), expanded.data(), options, error)) {
        std::cerr << "varnel-server: " << error << '\n';
        varnel::config::printUsage(std::cerr);
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

    fitConnectionsToDescriptors(options.connections);
    varnel::GuardedServer server(options.connections);
    if (tls)
        server.serveTls(tls);
    server.set_payload_max_length(varnel::kMaxRequestBody);
    server.set_tcp_nodelay(true);
    server.setRefusalLog([&requestLog](const std::string &address, int status, const std::string &why) {
        requestLog.writeRefusal(address, status, why);
    });
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
        if (t_addressAdopted || options.connections.trustedProxies.empty() ||
            !options.connections.trustedProxies.contains(req.remote_addr))
            return;
        t_addressAdopted = true;
        std::string forwarded;
        const size_t count = req.get_header_value_count("X-Forwarded-For");
        for (size_t i = 0; i < count; ++i)
            forwarded += (i ? "," : "") + req.get_header_value("X-Forwarded-For", i);
        const_cast<httplib::Request &>(req).remote_addr =
            options.connections.trustedProxies.clientOf(req.remote_addr, forwarded);
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
        const varnel::ServiceAnswer answer = service.handle(QByteArray(req.body.data(), qsizetype(req.body.size())),
                                                            req.remote_addr, varnel::GuardedServer::requestArrival());
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
