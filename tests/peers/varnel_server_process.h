// Runs the real varnel-server binary for a test: on 127.0.0.1, an ephemeral
// port, a temporary database and head-image directory, optionally with demo
// data. The constructor returns once the server said it is ready (or failed);
// the destructor stops it and removes the temporary files. The server dies
// with the thread that started it (see peer_lifetime.h).
//
//   quillora::testpeers::VarnelServerProcess server({.demo = true});
//   ASSERT_TRUE(server.started()) << server.error();
//   qputenv("QUILLORA_SITE", server.siteAddress().c_str());
//
// With {.tls = true} it serves HTTPS with a certificate for 127.0.0.1 and
// localhost from a CA made for it: siteAddress() and url() say https://, and
// caFile() is the CA clients must trust (QUILLORA_CA_FILE).
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace quillora::testpeers {

struct VarnelServerOptions {
    bool demo = false;
    std::vector<std::string> extraArgs; // e.g. {"--idle-seconds", "2"}
    // The database to serve instead of a temporary file: another file, or a
    // connection string several instances share.
    std::string db;
    // --key-file; instances sharing a database must share the key too.
    std::string keyFile;
    // HTTPS, with the fixture's own CA and certificate unless a test gives
    // its own pair (another name, expired, another CA: see test_tls.h).
    bool tls = false;
    std::filesystem::path tlsCert;
    std::filesystem::path tlsKey;
};

class VarnelServerProcess {
  public:
    explicit VarnelServerProcess(VarnelServerOptions options = {});
    ~VarnelServerProcess();
    VarnelServerProcess(const VarnelServerProcess &) = delete;
    VarnelServerProcess &operator=(const VarnelServerProcess &) = delete;

    bool started() const { return m_pid > 0 && m_port > 0; }
    const std::string &error() const { return m_error; }

    int port() const { return m_port; }
    // The server's process ID, for tests that stop or signal it.
    pid_t pid() const { return m_pid; }
    std::string host() const { return "127.0.0.1"; }
    bool tls() const { return m_options.tls; }
    // "127.0.0.1:PORT", or "https://127.0.0.1:PORT" over TLS: the form
    // QUILLORA_SITE takes.
    std::string siteAddress() const;
    // "http://127.0.0.1:PORT" + path, or https://
    std::string url(const std::string &path = "/") const;
    // The CA that issued the server's certificate (PEM); empty without TLS
    // or when the test gave its own certificate.
    const std::filesystem::path &caFile() const { return m_caFile; }

    // The temporary database file (unused when the options name a database).
    const std::filesystem::path &dbPath() const { return m_dbPath; }
    const std::filesystem::path &filesDir() const { return m_filesDir; }
    const std::filesystem::path &logPath() const { return m_logPath; }
    // Every line the server printed on standard output so far.
    std::vector<std::string> stdoutLines() const;

    // SIGKILL, at once: nothing gets a chance to flush. Reaps the process.
    void kill();
    // Starts the server again on the same database and files (after kill()
    // or a clean stop); a new port is chosen.
    bool restart();

    // The binary under test, compiled in from the build.
    static std::string binaryPath();

  private:
    bool start();
    void stop();
    void readOutput(int fd);

    VarnelServerOptions m_options;
    std::filesystem::path m_dir; // temporary: database, files, log
    std::filesystem::path m_dbPath;
    std::filesystem::path m_filesDir;
    std::filesystem::path m_logPath;
    std::filesystem::path m_caFile;
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_error;
    std::thread m_reader;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    bool m_ready = false;
    bool m_outputClosed = false;
};

} // namespace quillora::testpeers
