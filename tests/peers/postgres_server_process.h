// Runs a throw-away PostgreSQL server for a test: Debian's server binaries
// (the newest version under /usr/lib/postgresql), a cluster made with initdb
// in a temporary folder, listening on 127.0.0.1 on a free port with its socket
// in that folder. PostgreSQL refuses to run as root, so when the tests do (as
// in CI) the folder is handed to an unprivileged account and the server runs
// as that account. Durability is switched off (fsync, full-page writes):
// the tests kill the servers that use the database, never the database itself.
//
// Start one per test suite and take a fresh database per test:
//
//   static std::unique_ptr<PostgresServerProcess> pg;   // SetUpTestSuite
//   if (!PostgresServerProcess::available())
//       GTEST_SKIP() << PostgresServerProcess::skipReason();
//   ASSERT_TRUE(pg->started()) << pg->error();
//   const std::string db = pg->newDatabase();            // a connection string
//   ASSERT_FALSE(db.empty()) << pg->error();
//
// The destructor stops the server at once and removes the folder. Should the
// test process die first, the server is told to stop too (it gets SIGQUIT
// when the thread that started it ends), so no cluster outlives a test.
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace quillora::testpeers {

class PostgresServerProcess {
  public:
    PostgresServerProcess();
    ~PostgresServerProcess();
    PostgresServerProcess(const PostgresServerProcess &) = delete;
    PostgresServerProcess &operator=(const PostgresServerProcess &) = delete;

    // The folder holding initdb, postgres, pg_isready and psql; empty when
    // PostgreSQL's server is not installed.
    static std::filesystem::path binaryDir();
    static bool available() { return !binaryDir().empty(); }
    // Why the PostgreSQL tests are skipped on this machine.
    static std::string skipReason();

    bool started() const { return m_pid > 0 && m_port > 0; }
    const std::string &error() const { return m_error; }

    int port() const { return m_port; }
    // The role the tests connect as (the cluster's superuser, no password).
    const std::string &user() const { return m_user; }
    // The account the server runs as; empty when it runs as the test itself.
    const std::string &serverAccount() const { return m_account; }
    // "postgresql://USER@127.0.0.1:PORT/DATABASE?sslmode=disable"
    std::string connectionString(const std::string &database) const;

    // Creates an empty database nobody used before in this cluster and
    // returns its connection string; empty (with error() set) on failure.
    // Safe to call from several threads.
    std::string newDatabase();

    // Runs SQL through psql on `connection` and returns what it printed
    // (unaligned, rows only, a trailing line break removed); nothing when
    // psql failed, with error() set to what it said.
    std::optional<std::string> query(const std::string &connection, const std::string &sql);

    // A key file (32 random bytes, owner-only) for varnel-server instances
    // that share one of this cluster's databases.
    const std::filesystem::path &keyFile() const { return m_keyFile; }

    // The temporary folder (data, socket, log) and the server's log so far.
    const std::filesystem::path &dir() const { return m_dir; }
    std::string log() const;

  private:
    bool setUp();
    bool startServer();
    void stop();
    // Runs a command to its end; its exit code, or -1 when it could not be
    // run or was killed after `timeoutSeconds`. Standard output goes to
    // `output`, standard error to `errors`.
    int run(const std::vector<std::string> &argv, bool asServerAccount, std::string *output, std::string *errors,
            int timeoutSeconds = 120);
    pid_t spawn(const std::vector<std::string> &argv, bool asServerAccount, int stdoutFd, int stderrFd,
                bool stopWithParent);
    std::string tool(const char *name) const;

    std::filesystem::path m_bin;
    std::filesystem::path m_dir;
    std::filesystem::path m_dataDir;
    std::filesystem::path m_logPath;
    std::filesystem::path m_keyFile;
    std::string m_user = "varnel";
    std::string m_account;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    bool m_dropPrivileges = false;
    std::vector<std::string> m_environment;
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_error;
    std::mutex m_mutex; // newDatabase and query from several threads
    int m_databases = 0;
};

} // namespace quillora::testpeers
