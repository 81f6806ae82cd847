// The configuration file reader, and the server started with --config.
#include "config_file.h"
#include "varnel_server_process.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include <sys/wait.h>

using varnel::config::expandConfigFiles;
using varnel::config::readConfigArguments;

namespace {

std::vector<std::string> read(const std::string &text, std::string *error = nullptr)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    std::string message;
    const bool ok = readConfigArguments(in, words, message);
    if (error)
        *error = message;
    if (!ok)
        return {"<error>"};
    return words;
}

} // namespace

TEST(ConfigFile, LinesBecomeOptionsInOrder)
{
    const std::string text = "# comment\n"
                             "; another\n"
                             "\n"
                             "  listen =  0.0.0.0  \r\n"
                             "port=8081\n"
                             "db = /var/lib/varnel server/community.db\n"
                             "account = agent:se=cr#et\n"
                             "demo = Yes\n"
                             "threads = 8";
    const std::vector<std::string> expected{
        "--listen",  "0.0.0.0",        "--port", "8081",      "--db", "/var/lib/varnel server/community.db",
        "--account", "agent:se=cr#et", "--demo", "--threads", "8"};
    EXPECT_EQ(read(text), expected);
    // A switch set to no is left out altogether.
    EXPECT_EQ(read("demo = off\ndemo = false\ndemo = no\n"), std::vector<std::string>{});
}

TEST(ConfigFile, BadLinesAreRefusedWithTheirNumber)
{
    struct Case {
        const char *name;
        const char *text;
        const char *message;
    };
    const Case cases[] = {
        {"no equals sign", "port = 1\nport 8080\n", "line 2: expected key = value"},
        {"empty value", "db =\n", "line 1: no value for db"},
        {"leading dashes", "--port = 1\n", "line 1: bad key \"--port\""},
        {"empty key", " = 1\n", "line 1: bad key \"\""},
        {"upper case", "Port = 1\n", "line 1: bad key \"Port\""},
        {"nested file", "\n\nconfig = /etc/other.conf\n", "line 3: a configuration file cannot name another"},
    };
    for (const Case &c : cases) {
        std::string error;
        EXPECT_EQ(read(c.text, &error), std::vector<std::string>{"<error>"}) << c.name;
        EXPECT_EQ(error, c.message) << c.name;
    }
}

TEST(ConfigFile, ConfigOptionIsReplacedInPlace)
{
    char dir[] = "/tmp/varnel-config-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/server.conf";
    std::ofstream(path) << "port = 9000\nlatest-version = 4.0.0.0\n";

    const char *argv[] = {"varnel-server", "--port", "1", "--config", path.c_str(), "--port", "2"};
    std::vector<std::string> words;
    std::string error;
    ASSERT_TRUE(expandConfigFiles(7, argv, words, error)) << error;
    const std::vector<std::string> expected{"--port",           "1",       "--port", "9000",
                                            "--latest-version", "4.0.0.0", "--port", "2"};
    EXPECT_EQ(words, expected);

    words.clear();
    const std::string missing = std::string(dir) + "/absent.conf";
    const char *argvMissing[] = {"varnel-server", "--config", missing.c_str()};
    EXPECT_FALSE(expandConfigFiles(3, argvMissing, words, error));
    EXPECT_EQ(error, "cannot read configuration file " + missing);

    const char *argvDangling[] = {"varnel-server", "--config"};
    EXPECT_FALSE(expandConfigFiles(2, argvDangling, words, error));
    EXPECT_EQ(error, "missing value after --config");

    std::remove(path.c_str());
    rmdir(dir);
}

// The real server takes its options from the file; options given after the
// file still win.
TEST(ConfigFile, ServerReadsItsFile)
{
    char dir[] = "/tmp/varnel-config-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/server.conf";
    std::ofstream(path) << "# the site offers a newer client\nlatest-version = 7.1.0.3\nthreads = 4\n";

    {
        quillora::testpeers::VarnelServerProcess server({.extraArgs = {"--config", path}});
        ASSERT_TRUE(server.started()) << server.error();
        httplib::Client http(server.host(), server.port());
        const auto res = http.Get("/Varnel/Web/versioncheck.txt");
        ASSERT_TRUE(res);
        EXPECT_NE(res->body.find("7.1.0.3"), std::string::npos) << res->body;
    }
    {
        quillora::testpeers::VarnelServerProcess server(
            {.extraArgs = {"--config", path, "--latest-version", "7.2.0.0"}});
        ASSERT_TRUE(server.started()) << server.error();
        httplib::Client http(server.host(), server.port());
        const auto res = http.Get("/Varnel/Web/versioncheck.txt");
        ASSERT_TRUE(res);
        EXPECT_NE(res->body.find("7.2.0.0"), std::string::npos) << res->body;
    }

    // A bad file stops the server before it listens, with the line named.
    std::ofstream(path) << "port 80\n";
    const std::string command = quillora::testpeers::VarnelServerProcess::binaryPath() + " --config " + path + " 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[256] = {};
    const size_t got = fread(buffer, 1, sizeof buffer - 1, pipe);
    const int status = pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_EQ(std::string(buffer, got), "varnel-server: " + path + ": line 1: expected key = value\n");

    std::remove(path.c_str());
    rmdir(dir);
}
