#include "postgres_server_process.h"

#include "proxy_process.h" // freeLoopbackPort

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace fs = std::filesystem;

namespace quillora::testpeers {

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(90);

bool executable(const fs::path &path)
{
    return ::access(path.c_str(), X_OK) == 0;
}

bool hasServerTools(const fs::path &dir)
{
    for (const char *name : {"initdb", "postgres", "pg_isready", "psql"}) {
        if (!executable(dir / name))
            return false;
    }
    return true;
}

// "15" < "16" < "100": versions compare as numbers.
long versionOf(const fs::path &versionDir)
{
    const std::string name = versionDir.filename().string();
    char *end = nullptr;
    const long v = std::strtol(name.c_str(), &end, 10);
    return end == name.c_str() ? -1 : v;
}

// Every folder on the way to `path` can be entered by any account, so a
// server running as another account reaches a folder made inside it.
bool othersCanEnter(const fs::path &path)
{
    fs::path walked;
    for (const auto &part : fs::absolute(path)) {
        walked /= part;
        struct stat st {};
        if (::stat(walked.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0)
            return false;
    }
    return true;
}

std::string tail(const std::string &text, size_t max = 1500)
{
    return text.size() <= max ? text : "..." + text.substr(text.size() - max);
}

bool writeRandomKey(const fs::path &path)
{
    unsigned char key[32];
    std::ifstream random("/dev/urandom", std::ios::binary);
    if (!random.read(reinterpret_cast<char *>(key), sizeof key))
        return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, key, sizeof key) == static_cast<ssize_t>(sizeof key);
    ::close(fd);
    return written;
}

} // namespace

fs::path PostgresServerProcess::binaryDir()
{
    // Debian keeps each major version's server apart, off PATH.
    fs::path best;
    long bestVersion = -1;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        const long v = versionOf(entry.path());
        if (v > bestVersion && hasServerTools(entry.path() / "bin")) {
            best = entry.path() / "bin";
            bestVersion = v;
        }
    }
    if (!best.empty())
        return best;
    // Elsewhere the server's tools are usually on PATH.
    if (const char *path = std::getenv("PATH")) {
        std::stringstream dirs(path);
        std::string dir;
        while (std::getline(dirs, dir, ':')) {
            if (!dir.empty() && hasServerTools(dir))
                return dir;
        }
    }
    return {};
}

std::string PostgresServerProcess::skipReason()
{
    return "PostgreSQL server binaries (initdb, postgres, pg_isready, psql) not found under /usr/lib/postgresql "
           "or on PATH; install the postgresql package";
}

PostgresServerProcess::PostgresServerProcess()
{
    m_bin = binaryDir();
    if (m_bin.empty()) {
        m_error = skipReason();
        return;
    }
    if (!setUp())
        return;
    // A port found free can be taken by someone else before the server binds
    // it; a few tries make that harmless.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (startServer())
            return;
    }
}

PostgresServerProcess::~PostgresServerProcess()
{
    stop();
    if (!m_dir.empty()) {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
}

std::string PostgresServerProcess::tool(const char *name) const
{
    return (m_bin / name).string();
}

std::string PostgresServerProcess::connectionString(const std::string &database) const
{
    return "postgresql://" + m_user + "@127.0.0.1:" + std::to_string(m_port) + "/" + database + "?sslmode=disable";
}

std::string PostgresServerProcess::log() const
{
    std::ifstream in(m_logPath);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool PostgresServerProcess::setUp()
{
    // What the children see: this process's environment without anything
    // that would point the PostgreSQL tools at another server, in the C locale.
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("PG", 0) == 0 || entry.rfind("LC_", 0) == 0 || entry.rfind("LANG=", 0) == 0)
            continue;
        m_environment.push_back(entry);
    }
    m_environment.push_back("LC_ALL=C");

    fs::path base = fs::temp_directory_path();
    if (::geteuid() == 0) {
        // PostgreSQL will not run as root: the cluster belongs to the account
        // Debian's package made for it, or to nobody.
        const passwd *account = ::getpwnam("postgres");
        if (!account)
            account = ::getpwnam("nobody");
        if (!account) {
            m_error = "running as root, and neither a postgres nor a nobody account exists to run PostgreSQL as";
            return false;
        }
        m_account = account->pw_name;
        m_uid = account->pw_uid;
        m_gid = account->pw_gid;
        m_dropPrivileges = true;
        if (!othersCanEnter(base))
            base = "/tmp";
    }

    std::string pattern = (base / "varnel-pg-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        m_error = "cannot create a temporary directory in " + base.string();
        return false;
    }
    m_dir = pattern;
    m_dataDir = m_dir / "data";
    m_logPath = m_dir / "postgres.log";
    m_keyFile = m_dir / "community.key";
    if (!writeRandomKey(m_keyFile)) {
        m_error = "cannot write the key file " + m_keyFile.string();
        return false;
    }
    if (m_dropPrivileges && ::chown(m_dir.c_str(), m_uid, m_gid) != 0) {
        m_error = "cannot hand " + m_dir.string() + " to " + m_account + ": " + std::strerror(errno);
        return false;
    }

    std::string errors;
    const int rc = run({tool("initdb"), "-D", m_dataDir.string(), "-U", m_user, "--auth=trust", "--no-sync",
                        "--no-instructions", "-E", "UTF8", "--locale=C"},
                       true, nullptr, &errors);
    if (rc != 0) {
        m_error = "initdb failed (" + std::to_string(rc) + "): " + tail(errors);
        return false;
    }
    return true;
}

bool PostgresServerProcess::startServer()
{
    m_port = freeLoopbackPort();
    if (m_port <= 0) {
        m_error = "no free port on 127.0.0.1";
        return false;
    }
    const int logFd = ::open(m_logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFd < 0) {
        m_error = "cannot open " + m_logPath.string();
        return false;
    }
    if (m_dropPrivileges && ::fchown(logFd, m_uid, m_gid) != 0) {
        ::close(logFd);
        m_error = "cannot hand the log to " + m_account;
        return false;
    }
    // Two or three varnel-server instances with their pools, and the tests'
    // own psql calls, fit well inside 300 connections.
    m_pid = spawn({tool("postgres"),
                   "-D",
                   m_dataDir.string(),
                   "-p",
                   std::to_string(m_port),
                   "-c",
                   "listen_addresses=127.0.0.1",
                   "-c",
                   "unix_socket_directories=" + m_dir.string(),
                   "-c",
                   "fsync=off",
                   "-c",
                   "synchronous_commit=off",
                   "-c",
                   "full_page_writes=off",
                   "-c",
                   "max_connections=300",
                   "-c",
                   "shared_buffers=32MB",
                   "-c",
                   "logging_collector=off"},
                  true, logFd, logFd, true);
    ::close(logFd);
    if (m_pid <= 0) {
        m_error = "cannot start postgres";
        m_port = 0;
        return false;
    }

    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_port = 0;
            m_error = "postgres stopped during start-up: " + tail(log());
            return false;
        }
        if (run({tool("pg_isready"), "-q", "-h", "127.0.0.1", "-p", std::to_string(m_port), "-t", "5"}, false, nullptr,
                nullptr, 30) == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    m_error = "postgres did not accept connections in time: " + tail(log());
    stop();
    return false;
}

void PostgresServerProcess::stop()
{
    if (m_pid > 0) {
        // Immediate shutdown: nothing here needs to survive.
        ::kill(m_pid, SIGQUIT);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid || (done < 0 && errno != EINTR))
                break;
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        m_pid = -1;
    }
    m_port = 0;
}

std::string PostgresServerProcess::newDatabase()
{
    std::string name;
    {
        std::lock_guard lock(m_mutex);
        name = "community_" + std::to_string(++m_databases);
    }
    if (!query(connectionString("postgres"), "CREATE DATABASE " + name))
        return {};
    return connectionString(name);
}

std::optional<std::string> PostgresServerProcess::query(const std::string &connection, const std::string &sql)
{
    std::string output;
    std::string errors;
    const int rc = run({tool("psql"), "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-d", connection, "-c", sql},
                       false, &output, &errors);
    if (rc != 0) {
        std::lock_guard lock(m_mutex);
        m_error = "psql failed (" + std::to_string(rc) + ") on \"" + sql + "\": " + tail(errors);
        return std::nullopt;
    }
    if (!output.empty() && output.back() == '\n')
        output.pop_back();
    return output;
}

pid_t PostgresServerProcess::spawn(const std::vector<std::string> &argv, bool asServerAccount, int stdoutFd,
                                   int stderrFd, bool stopWithParent)
{
    // Everything the child needs is made before fork: between fork and exec
    // only system calls are safe in a process with threads.
    std::vector<std::string> args = argv;
    std::vector<char *> argp;
    for (auto &a : args)
        argp.push_back(a.data());
    argp.push_back(nullptr);
    std::vector<std::string> env = m_environment;
    std::vector<char *> envp;
    for (auto &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const bool drop = asServerAccount && m_dropPrivileges;
    const uid_t uid = m_uid;
    const gid_t gid = m_gid;
    const std::string workDir = m_dir.string();
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;

    // The child.
    const int devNull = ::open("/dev/null", O_RDWR);
    ::dup2(devNull, STDIN_FILENO);
    ::dup2(stdoutFd >= 0 ? stdoutFd : devNull, STDOUT_FILENO);
    ::dup2(stderrFd >= 0 ? stderrFd : devNull, STDERR_FILENO);
    ::syscall(SYS_close_range, 3U, ~0U, 0U);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dflt {};
    dflt.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &dflt, nullptr);
    if (drop && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0))
        ::_exit(126);
    // After the change of account: it clears the parent-death signal.
    if (stopWithParent) {
        ::prctl(PR_SET_PDEATHSIG, SIGQUIT);
        if (::getppid() != parent)
            ::_exit(125);
    }
    if (::chdir(workDir.c_str()) != 0)
        ::_exit(124);
    ::execve(argp[0], argp.data(), envp.data());
    ::_exit(127);
}

int PostgresServerProcess::run(const std::vector<std::string> &argv, bool asServerAccount, std::string *output,
                               std::string *errors, int timeoutSeconds)
{
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return -1;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return -1;
    }
    const pid_t pid = spawn(argv, asServerAccount, outPipe[1], errPipe[1], false);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (pid < 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return -1;
    }

    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string *sinks[2] = {output, errors};
    int open = 2;
    bool timedOut = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (open > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        const int ready = ::poll(fds, 2, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                if (sinks[i])
                    sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto &p : fds) {
        if (p.fd >= 0)
            ::close(p.fd);
    }
    if (timedOut)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace quillora::testpeers
