#include "varnel_server_process.h"
#include "test_tls.h"

#include "peer_lifetime.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillora::testpeers {

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(120);
constexpr char kListeningPrefix[] = "varnel-server listening on ";
constexpr char kReadyLine[] = "varnel-server ready";

std::condition_variable g_output; // signalled when a line arrives

} // namespace

std::string VarnelServerProcess::binaryPath()
{
    return VARNEL_SERVER_BINARY;
}

VarnelServerProcess::VarnelServerProcess(VarnelServerOptions options) : m_options(std::move(options))
{
    std::string pattern = (std::filesystem::temp_directory_path() / "varnel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        m_error = "cannot create a temporary directory";
        return;
    }
    m_dir = pattern;
    m_dbPath = m_dir / "community.db";
    m_filesDir = m_dir / "files";
    m_logPath = m_dir / "requests.log";
    std::filesystem::create_directories(m_filesDir);
    if (m_options.tls && m_options.tlsCert.empty()) {
        const TestCertificateAuthority ca(m_dir);
        const CertificateFiles files = ca.issue("server");
        if (files.cert.empty()) {
            m_error = ca.ok() ? "cannot issue the server's certificate" : ca.error();
            return;
        }
        m_caFile = ca.caFile();
        m_options.tlsCert = files.cert;
        m_options.tlsKey = files.key;
    }
    start();
}

VarnelServerProcess::~VarnelServerProcess()
{
    stop();
    if (!m_dir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
}

std::string VarnelServerProcess::siteAddress() const
{
    return (m_options.tls ? "https://" : "") + host() + ":" + std::to_string(m_port);
}

std::string VarnelServerProcess::url(const std::string &path) const
{
    return (m_options.tls ? "https://" : "http://") + host() + ":" + std::to_string(m_port) + path;
}

std::vector<std::string> VarnelServerProcess::stdoutLines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

bool VarnelServerProcess::start()
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        m_error = "pipe failed";
        return false;
    }
    const std::string db = m_options.db.empty() ? m_dbPath.string() : m_options.db;
    std::vector<std::string> args = {binaryPath(), "--listen",          "127.0.0.1", "--port",          "0", "--db", db,
                                     "--files",    m_filesDir.string(), "--log",     m_logPath.string()};
    if (!m_options.keyFile.empty()) {
        args.push_back("--key-file");
        args.push_back(m_options.keyFile);
    }
    if (m_options.tls) {
        args.insert(args.end(), {"--tls-cert", m_options.tlsCert.string(), "--tls-key", m_options.tlsKey.string()});
    }
    if (m_options.demo)
        args.push_back("--demo");
    args.insert(args.end(), m_options.extraArgs.begin(), m_options.extraArgs.end());
    m_pid = spawnPeer(args, pipeFds[1], m_error);
    close(pipeFds[1]);
    if (m_pid < 0) {
        close(pipeFds[0]);
        return false;
    }

    {
        std::lock_guard lock(m_mutex);
        m_lines.clear();
        m_ready = false;
        m_outputClosed = false;
    }
    m_reader = std::thread([this, fd = pipeFds[0]] { readOutput(fd); });

    std::unique_lock lock(m_mutex);
    g_output.wait_for(lock, kStartTimeout, [this] { return m_ready || m_outputClosed; });
    if (!m_ready) {
        m_error = m_outputClosed ? "varnel-server exited during start-up" : "varnel-server did not become ready";
        if (!m_lines.empty())
            m_error += " (first line: " + m_lines.front() + ")";
        m_port = 0;
        return false;
    }
    return true;
}

void VarnelServerProcess::readOutput(int fd)
{
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<size_t>(n));
        size_t eol;
        while ((eol = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, eol);
            pending.erase(0, eol + 1);
            std::lock_guard lock(m_mutex);
            if (m_lines.empty() && line.rfind(kListeningPrefix, 0) == 0) {
                const auto colon = line.rfind(':');
                m_port = std::atoi(line.c_str() + colon + 1);
            }
            if (line == kReadyLine)
                m_ready = true;
            m_lines.push_back(std::move(line));
            g_output.notify_all();
        }
    }
    close(fd);
    std::lock_guard lock(m_mutex);
    m_outputClosed = true;
    g_output.notify_all();
}

void VarnelServerProcess::kill()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }
    if (m_reader.joinable())
        m_reader.join();
    m_port = 0;
}

void VarnelServerProcess::stop()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        // A clean stop is quick; a stuck server is killed after two seconds.
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            const pid_t done = waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid || (done < 0 && errno != EINTR)) {
                m_pid = -1;
                break;
            }
            usleep(10000);
        }
    }
    kill();
}

bool VarnelServerProcess::restart()
{
    stop();
    m_error.clear();
    return start();
}

} // namespace quillora::testpeers
