// varnel-server: the community server. Serves the VarnelServices SOAP
// endpoint and the community's web site from one process, on one SQLite file.
//
// The first line on standard output is always
//     varnel-server listening on http://ADDR:PORT
// (flushed), so scripts and tests learn the port even with --port 0. With
// --demo the demo accounts follow; "varnel-server ready" ends the start-up.
#include "community_rules.h"
#include "config_file.h"
#include "demo_community.h"
#include "site_config.h"
#include "sqlite_community_store.h"
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

constexpr size_t kMaxRequestBody = 1024 * 1024;

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
    // Each connection holds a worker while it is kept alive, so there are
    // many more workers than cores.
    int threads = 64;
    varnel::CommunitySettings settings;
};

void usage(std::ostream &out)
{
    out << "usage: varnel-server [--config FILE] [--listen ADDR] [--port N] [--host NAME] [--db FILE] [--files DIR] "
           "[--log FILE]\n"
           "                     [--account NAME:SECRET] [--latest-version TEXT] [--demo]\n"
           "                     [--idle-minutes N] [--idle-seconds N] [--overdue-days N]\n"
           "                     [--start-points N] [--start-credit N] [--threads N]\n"
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

// false (with a message) on a bad command line.
bool parseOptions(int argc, char **argv, Options &o, std::string &error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--demo") {
            o.demo = true;
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
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (o.host.empty())
        o.host = o.listen;
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
    static std::string oneLine(std::string text)
    {
        for (char &c : text) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                c = ' ';
        }
        return text;
    }

    explicit RequestLog(std::ostream &out) : m_out(out) {}
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
        m_out << stamp << ' ' << req.remote_addr << ' ' << oneLine(req.method) << ' ' << oneLine(what) << ' '
              << res.status << ' ' << oneLine(outcome) << ' ' << duration << '\n';
        m_out.flush();
    }

  private:
    std::ostream &m_out;
    std::mutex m_mutex;
};

// What the SOAP handler tells the logger about the request it served; the
// logger runs on the same worker thread right after the handler.
thread_local std::string t_operation;
thread_local std::string t_outcome;
thread_local std::chrono::steady_clock::time_point t_started;
thread_local bool t_timed = false;

std::string urlHost(const std::string &address)
{
    return address.find(':') != std::string::npos ? "[" + address + "]" : address;
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

    std::ofstream logFile;
    if (!options.log.empty()) {
        logFile.open(options.log, std::ios::app);
        if (!logFile) {
            std::cerr << "varnel-server: cannot open log file " << options.log << '\n';
            return 1;
        }
    }
    RequestLog requestLog(options.log.empty() ? std::cerr : logFile);

    quillora::service::ServiceAccount account = quillora::service::compiledServiceAccount();
    if (!options.account.empty()) {
        const auto colon = options.account.find(':');
        account.username = QString::fromStdString(options.account.substr(0, colon));
        account.password = QString::fromStdString(options.account.substr(colon + 1));
    }

    httplib::Server server;
    server.set_payload_max_length(kMaxRequestBody);
    // Responses go out as head and body writes; without this, Nagle's
    // algorithm and the peer's delayed ACK hold each answer back ~40 ms.
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
    std::cout << "varnel-server listening on http://" << urlHost(options.listen) << ':' << port << std::endl;
    // Links stored in the demo data name the site host, which members reach
    // (the listen address may be 0.0.0.0).
    const std::string siteUrl =
        "http://" + urlHost(options.host) + (port == 80 ? std::string() : ":" + std::to_string(port));

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
        auto seedStore = varnel::SqliteCommunityStore::open(options.db, seeding, error);
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

    auto store = varnel::SqliteCommunityStore::open(options.db, options.settings, error);
    if (!store) {
        std::cerr << "varnel-server: " << error << '\n';
        return 1;
    }

    varnel::VarnelService service(*store, {QString::fromStdString(options.host), account, fs::path(options.files)});

    server.set_pre_routing_handler([](const httplib::Request &, httplib::Response &) {
        t_started = std::chrono::steady_clock::now();
        t_timed = true;
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_logger([&requestLog](const httplib::Request &req, const httplib::Response &res) {
        const double ms =
            t_timed ? std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t_started).count()
                    : 0.0;
        std::string outcome = t_outcome.empty() ? (res.status < 400 ? "ok" : "refused") : t_outcome;
        requestLog.write(req, res, t_operation.empty() ? req.path : t_operation, outcome, ms);
        t_operation.clear();
        t_outcome.clear();
        t_timed = false;
    });

    server.Post(quillora::service::kServicePath, [&service](const httplib::Request &req, httplib::Response &res) {
        // Dispatch is by the body's wrapper element; a SOAPAction header, when
        // present, is accepted as it comes.
        const varnel::ServiceAnswer answer = service.handle(QByteArray(req.body.data(), qsizetype(req.body.size())));
        res.status = answer.httpStatus;
        res.set_content(answer.body.constData(), static_cast<size_t>(answer.body.size()), "text/xml; charset=utf-8");
        t_operation = answer.operation.isEmpty() ? std::string("(SOAP)") : answer.operation.toStdString();
        // The outcome of a fault carries its text, which never holds request values.
        t_outcome = answer.outcome.toStdString();
    });

#ifdef VARNEL_HAVE_SITE
    server.Get(quillora::service::kServicePath, [&options, port](const httplib::Request &req, httplib::Response &res) {
        if (!req.has_param("wsdl") && !req.has_param("WSDL")) {
            res.status = 404;
            return;
        }
        res.set_content(varnel::site::wsdlDocument(options.host, port), "text/xml; charset=utf-8");
    });
    varnel::site::registerSite(server, *store, {options.host, fs::path(options.files), options.latestVersion, port});
#endif

    std::thread signalWaiter([&server, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    });

    std::cout << "varnel-server ready" << std::endl;
    const bool served = server.listen_after_bind();

    // Wake the signal thread if the server stopped on its own.
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    return served ? 0 : 1;
}
