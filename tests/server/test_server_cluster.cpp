// Several varnel-server instances on one PostgreSQL database, over real HTTP
// against the real binary, as they run behind a load balancer: points are
// paid once however many instances are asked to close a question at once, a
// message is delivered to exactly one poll, a sign-in binding holds on every
// instance, and an instance killed under load loses nothing it acknowledged.
#include "community_rules.h"
#include "postgres_server_process.h"
#include "proxy_process.h"
#include "server_test_support.h"
#include "soap_reader.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

using namespace servertest;
using quillora::testpeers::PostgresServerProcess;
using quillora::testpeers::VarnelServerOptions;
using quillora::testpeers::VarnelServerProcess;

namespace {

// The throw-away cluster itself: CI runs as root, where PostgreSQL only
// starts as another account, and a cluster left running or a folder left
// behind would pile up over many test runs.
TEST(PostgresFixture, ServesSeparateDatabasesAndLeavesNothingBehind)
{
    if (!PostgresServerProcess::available())
        GTEST_SKIP() << PostgresServerProcess::skipReason();
    std::filesystem::path dir;
    int port = 0;
    {
        PostgresServerProcess pg;
        ASSERT_TRUE(pg.started()) << pg.error();
        dir = pg.dir();
        port = pg.port();
        const std::string first = pg.newDatabase();
        const std::string second = pg.newDatabase();
        ASSERT_FALSE(first.empty()) << pg.error();
        ASSERT_NE(first, second);
        ASSERT_TRUE(pg.query(first, "CREATE TABLE t (v int); INSERT INTO t VALUES (7)")) << pg.error();
        EXPECT_EQ(pg.query(first, "SELECT v FROM t").value_or("?"), "7");
        EXPECT_FALSE(pg.query(second, "SELECT v FROM t"));
        EXPECT_EQ(std::filesystem::status(pg.keyFile()).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        EXPECT_EQ(std::filesystem::file_size(pg.keyFile()), 32u);
    }
    EXPECT_FALSE(std::filesystem::exists(dir)) << dir;
    EXPECT_FALSE(quillora::testpeers::waitUntilListening(port, 100)) << "postgres still listens on " << port;
}

} // namespace
