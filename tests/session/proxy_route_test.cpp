// The connection settings in effect: service calls, the update check and
// head-image downloads go through real proxies started on loopback (tinyproxy
// for HTTP, microsocks for SOCKS 5), and the proxies' logs show it.
#include "ftp_server_process.h"
#include "proxy_process.h"
#include "test_bitmaps.h"
#include "varnel_server_process.h"

#include "browser_proxy.h"
#include "curl_proxy.h"
#include "session/head_images.h"
#include "update_check.h"
#include "varnel_services.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <ostream>

using namespace quillora;
using service::ProxyRoute;
using service::ProxySettings;
using testpeers::ProxyProcess;
using testpeers::VarnelServerProcess;

namespace quillora::service {
void PrintTo(const ProxyRoute &r, std::ostream *os)
{
    *os << "{kind " << int(r.kind) << ", " << r.host << ":" << r.port << ", user '" << r.username << "'}";
}
} // namespace quillora::service

namespace {

service::EnvironmentLookup fakeEnvironment(std::map<std::string, std::string> values)
{
    return [values](const char *name) {
        const auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    };
}

ProxyRoute route(ProxyRoute::Kind kind, const char *host, int port, const char *user = "", const char *password = "")
{
    return {kind, host, port, user, password};
}

} // namespace

TEST(ProxyEnvironment, ReadAsLibcurlReadsIt)
{
    using K = ProxyRoute::Kind;
    struct Row {
        const char *name;
        std::map<std::string, std::string> env;
        const char *scheme;
        const char *host;
        ProxyRoute expected;
    };
    const Row rows[] = {
        {"nothing set", {}, "http", "site", {}},
        {"http_proxy", {{"http_proxy", "http://p:3128"}}, "http", "site", route(K::Http, "p", 3128)},
        {"upper-case HTTP_PROXY is ignored", {{"HTTP_PROXY", "http://p:3128"}}, "http", "site", {}},
        {"bare host:port is http", {{"http_proxy", "p:8"}}, "http", "site", route(K::Http, "p", 8)},
        {"no port: 1080", {{"http_proxy", "p"}}, "http", "site", route(K::Http, "p", 1080)},
        {"https uses HTTPS_PROXY",
         {{"HTTPS_PROXY", "p:9"}, {"http_proxy", "q:1"}},
         "https",
         "site",
         route(K::Http, "p", 9)},
        {"all_proxy when the scheme has none",
         {{"ALL_PROXY", "socks5h://s:1081"}},
         "http",
         "site",
         route(K::Socks5, "s", 1081)},
        {"scheme variable before all_proxy",
         {{"http_proxy", "p:1"}, {"all_proxy", "socks5://s:2"}},
         "http",
         "site",
         route(K::Http, "p", 1)},
        {"user and password decoded",
         {{"http_proxy", "http://a%40b:p%3Aw@p:3/"}},
         "http",
         "site",
         route(K::Http, "p", 3, "a@b", "p:w")},
        {"no_proxy exact", {{"http_proxy", "p:1"}, {"no_proxy", "site"}}, "http", "site", {}},
        {"no_proxy domain", {{"http_proxy", "p:1"}, {"NO_PROXY", "x, .example.org"}}, "http", "www.EXAMPLE.org", {}},
        {"no_proxy is not a substring match",
         {{"http_proxy", "p:1"}, {"no_proxy", "ample.org"}},
         "http",
         "example.org",
         route(K::Http, "p", 1)},
        {"no_proxy star", {{"all_proxy", "p:1"}, {"no_proxy", "*"}}, "ftp", "any", {}},
        {"socks4 cannot be spoken", {{"http_proxy", "socks4://p:1"}}, "http", "site", route(K::Unsupported, "p", 1)},
        {"bad port", {{"http_proxy", "p:99999"}}, "http", "site", {K::Unsupported, "", 0, "", ""}},
    };
    for (const Row &r : rows)
        EXPECT_EQ(service::environmentRoute(r.scheme, r.host, fakeEnvironment(r.env)), r.expected) << r.name;

    // Explicit settings ignore the environment; "Not using proxy" goes straight.
    const auto env = fakeEnvironment({{"http_proxy", "p:1"}});
    ProxySettings direct;
    direct.mode = ProxySettings::Mode::Direct;
    EXPECT_EQ(service::routeFor(direct, "http", "site", env), ProxyRoute{});
    ProxySettings socks{ProxySettings::Mode::Socks5, QStringLiteral("s"),  1080,
                        QStringLiteral("u"),         QStringLiteral("pw"), QStringLiteral("R")};
    EXPECT_EQ(service::routeFor(socks, "http", "site", env), route(K::Socks5, "s", 1080, "u", "pw"));
    socks.port = 0; // a proxy without a port reaches nothing, and nothing goes around it
    EXPECT_EQ(service::routeFor(socks, "http", "site", env).kind, K::Unsupported);
}

// The embedded browser's engine takes the same route from its command line.
TEST(ProxyEnvironment, BrowserSwitchesTakeTheRouteAndNothingElse)
{
    using K = ProxyRoute::Kind;
    const QString unreachable = QStringLiteral("--proxy-server=http://unreachable.invalid:9");
    struct Row {
        const char *name;
        ProxyRoute route;
        QString expected;
    };
    const Row rows[] = {
        {"direct", {}, QStringLiteral("--no-proxy-server")},
        {"http proxy", route(K::Http, "proxy.example", 3128, "u", "pw"),
         QStringLiteral("--proxy-server=http://proxy.example:3128")},
        {"socks 5", route(K::Socks5, "10.0.0.1", 1080), QStringLiteral("--proxy-server=socks5://10.0.0.1:1080")},
        {"IPv6 in brackets", route(K::Http, "::1", 8080), QStringLiteral("--proxy-server=http://[::1]:8080")},
        {"a proxy the client cannot speak fails closed", route(K::Unsupported, "p", 1), unreachable},
        {"no port fails closed", route(K::Http, "p", 0), unreachable},
        {"a host with a blank cannot add switches", route(K::Http, "p --no-sandbox", 1), unreachable},
        {"a host with an equals sign", route(K::Http, "p=q", 1), unreachable},
        {"a host that starts like a switch", route(K::Http, "-p", 1), unreachable},
        {"an empty host", route(K::Socks5, "", 1), unreachable},
    };
    for (const Row &r : rows)
        EXPECT_EQ(service::browserProxySwitches(r.route), QStringList{r.expected}) << r.name;

    struct Merge {
        const char *name;
        QByteArray flags;
        QByteArray expected;
    };
    const QStringList ours{QStringLiteral("--proxy-server=http://p:1")};
    const Merge merges[] = {
        {"nothing before", "", "--proxy-server=http://p:1"},
        {"other switches and the bypass list stay", "--enable-logging  --proxy-bypass-list=<-loopback>",
         "--enable-logging --proxy-bypass-list=<-loopback> --proxy-server=http://p:1"},
        {"an earlier choice of proxy goes",
         "--proxy-server=socks5://x:2 --no-proxy-server --proxy-pac-url=http://w/p.pac --proxy-auto-detect --x",
         "--x --proxy-server=http://p:1"},
        {"a switch that only starts alike stays", "--proxy-server-extra=1",
         "--proxy-server-extra=1 --proxy-server=http://p:1"},
    };
    for (const Merge &m : merges)
        EXPECT_EQ(service::withBrowserSwitches(m.flags, ours), m.expected) << m.name;
}

class ThroughProxies : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        // The same community in clear and over HTTPS (with the CA the server made).
        server = new VarnelServerProcess({.demo = true, .extraArgs = {"--latest-version", "9.9"}});
        secure = new VarnelServerProcess({.demo = true, .extraArgs = {"--latest-version", "9.9"}, .tls = true});
        for (const VarnelServerProcess *s : {server, secure}) {
            QFile picture(QString::fromStdString((s->filesDir() / "41.bmp").string()));
            ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
            picture.write(quillora::testpeers::bitmapFile()); // only a real 32x32 bitmap is cached
        }
    }
    static void TearDownTestSuite()
    {
        delete server;
        delete secure;
        server = secure = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(server->started()) << server->error();
        ASSERT_TRUE(secure->started()) << secure->error();
        ASSERT_TRUE(faces.isValid());
        unsetenv("http_proxy");
        unsetenv("all_proxy");
        unsetenv("no_proxy");
        // Made before the settings each test chooses, as the program's
        // downloads object is made at start-up: every download must take
        // the settings in force when it runs.
        cache.emplace(site(), faces.path());
        secureCache.emplace(site(true), faces.path());
    }
    void TearDown() override
    {
        service::setActiveProxySettings({});
        unsetenv("http_proxy");
    }

    static service::SiteAddress site(bool tls = false)
    {
        if (tls)
            return {QStringLiteral("127.0.0.1"), quint16(secure->port()), true,
                    QString::fromStdString(secure->caFile().string())};
        return {QStringLiteral("127.0.0.1"), quint16(server->port())};
    }
    std::string serviceTarget() const
    {
        return "POST http://127.0.0.1:" + std::to_string(server->port()) + "/Varnel/Web/Services/VarnelServices.asmx";
    }

    // One service call through a fresh proxy, as every screen makes them.
    bool serviceCallWorks(bool tls = false) const
    {
        service::CVarnelServices proxy(site(tls));
        proxy.useServiceAccount(service::Op::IsUserExistsByName);
        bool exists = false;
        return proxy.IsUserExistsByName(QStringLiteral("nobody-here"), &exists) == service::CallResult::Ok;
    }
    bool updateCheckWorks(bool tls = false) const
    {
        mail::CUpdateChecker checker(QStringLiteral("3.5.0.1"));
        checker.setTrustedCaFile(site(tls).caFile);
        return checker.check(service::siteUrl(site(tls), QStringLiteral("/Varnel/Web/"))) &&
               checker.latestVersion() == QStringLiteral("9.9");
    }
    bool headImageWorks(bool tls = false)
    {
        QFile::remove(faces.filePath(QStringLiteral("41.bmp")));
        return !(tls ? secureCache : cache)->resolve(QStringLiteral("41"), 1, 1).path.isEmpty();
    }

    static VarnelServerProcess *server;
    static VarnelServerProcess *secure;
    QTemporaryDir faces;
    std::optional<session::CustomFaceCache> cache;
    std::optional<session::CustomFaceCache> secureCache;
};

VarnelServerProcess *ThroughProxies::server = nullptr;
VarnelServerProcess *ThroughProxies::secure = nullptr;

TEST_F(ThroughProxies, HttpProxyWithBasicAuthentication)
{
    ProxyProcess proxy(ProxyProcess::Kind::Http, "alice", "s3cret");
    ASSERT_TRUE(proxy.started()) << proxy.error();
    const std::string site = "http://127.0.0.1:" + std::to_string(server->port());

    service::setActiveProxySettings({ProxySettings::Mode::Http, QStringLiteral("127.0.0.1"), quint16(proxy.port()),
                                     QStringLiteral("alice"), QStringLiteral("s3cret"), QStringLiteral("R")});
    EXPECT_TRUE(serviceCallWorks());
    EXPECT_TRUE(updateCheckWorks());
    EXPECT_TRUE(headImageWorks());
    EXPECT_EQ(proxy.logCount(serviceTarget()), 1) << proxy.log();
    EXPECT_EQ(proxy.logCount("GET " + site + "/Varnel/Web/versioncheck.txt"), 1) << proxy.log();
    EXPECT_EQ(proxy.logCount("GET " + site + "/Varnel/Web/images/CustomFace/41.bmp"), 1) << proxy.log();

    // A wrong password is turned away by the proxy (407), and nothing goes
    // around it.
    service::setActiveProxySettings({ProxySettings::Mode::Http, QStringLiteral("127.0.0.1"), quint16(proxy.port()),
                                     QStringLiteral("alice"), QStringLiteral("wrong"), QStringLiteral("R")});
    EXPECT_FALSE(serviceCallWorks());
    EXPECT_FALSE(updateCheckWorks());
    EXPECT_FALSE(headImageWorks());
}

TEST_F(ThroughProxies, Socks5WithUserNameAndPassword)
{
    ProxyProcess proxy(ProxyProcess::Kind::Socks5, "bob", "pw9");
    ASSERT_TRUE(proxy.started()) << proxy.error();
    const std::string connected = "connected to 127.0.0.1:" + std::to_string(server->port());

    service::setActiveProxySettings({ProxySettings::Mode::Socks5, QStringLiteral("127.0.0.1"), quint16(proxy.port()),
                                     QStringLiteral("bob"), QStringLiteral("pw9"), QStringLiteral("R")});
    EXPECT_TRUE(serviceCallWorks());
    EXPECT_TRUE(updateCheckWorks());
    EXPECT_TRUE(headImageWorks());
    EXPECT_EQ(proxy.logCount(connected), 3) << proxy.log();

    service::setActiveProxySettings({ProxySettings::Mode::Socks5, QStringLiteral("127.0.0.1"), quint16(proxy.port()),
                                     QStringLiteral("bob"), QStringLiteral("nope"), QStringLiteral("R")});
    EXPECT_FALSE(serviceCallWorks());
    EXPECT_FALSE(updateCheckWorks());
    EXPECT_FALSE(headImageWorks());
    EXPECT_EQ(proxy.logCount(connected), 3) << proxy.log();
}

TEST_F(ThroughProxies, DesktopEnvironmentAndDirect)
{
    ProxyProcess proxy(ProxyProcess::Kind::Http);
    ASSERT_TRUE(proxy.started()) << proxy.error();
    const std::string site = "http://127.0.0.1:" + std::to_string(server->port());
    setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.port())).c_str(), 1);

    // "Using your IE setting": the environment's proxy carries everything.
    service::setActiveProxySettings({});
    EXPECT_TRUE(serviceCallWorks());
    EXPECT_TRUE(updateCheckWorks());
    EXPECT_TRUE(headImageWorks());
    EXPECT_EQ(proxy.logCount(serviceTarget()), 1) << proxy.log();
    EXPECT_EQ(proxy.logCount("GET " + site + "/Varnel/Web/versioncheck.txt"), 1) << proxy.log();
    EXPECT_EQ(proxy.logCount("GET " + site + "/Varnel/Web/images/CustomFace/41.bmp"), 1) << proxy.log();

    // no_proxy sends the site around it.
    setenv("no_proxy", "localhost,127.0.0.1", 1);
    EXPECT_TRUE(serviceCallWorks());
    EXPECT_TRUE(updateCheckWorks());
    unsetenv("no_proxy");

    // "Not using proxy" goes straight to the site whatever the environment says.
    ProxySettings direct;
    direct.mode = ProxySettings::Mode::Direct;
    service::setActiveProxySettings(direct);
    EXPECT_TRUE(serviceCallWorks());
    EXPECT_TRUE(updateCheckWorks());
    EXPECT_TRUE(headImageWorks());
    EXPECT_EQ(proxy.logCount("Request (file descriptor"), 3) << proxy.log();
}

// An https site through either proxy: the HTTP proxy opens a CONNECT tunnel
// per connection and reads no request, SOCKS 5 relays TLS like any stream;
// the service call, the version file and the head image each arrive.
TEST_F(ThroughProxies, HttpsSiteThroughTheTunnels)
{
    ProxyProcess http(ProxyProcess::Kind::Http, "alice", "s3cret");
    ProxyProcess socks(ProxyProcess::Kind::Socks5, "bob", "pw9");
    ASSERT_TRUE(http.started()) << http.error();
    ASSERT_TRUE(socks.started()) << socks.error();
    const std::string destination = "127.0.0.1:" + std::to_string(secure->port());

    service::setActiveProxySettings({ProxySettings::Mode::Http, QStringLiteral("127.0.0.1"), quint16(http.port()),
                                     QStringLiteral("alice"), QStringLiteral("s3cret"), QStringLiteral("R")});
    EXPECT_TRUE(serviceCallWorks(true));
    EXPECT_TRUE(updateCheckWorks(true));
    EXPECT_TRUE(headImageWorks(true));
    EXPECT_EQ(http.logCount("CONNECT " + destination), 3) << http.log();
    EXPECT_EQ(http.logCount("POST "), 0) << http.log();

    service::setActiveProxySettings({ProxySettings::Mode::Socks5, QStringLiteral("127.0.0.1"), quint16(socks.port()),
                                     QStringLiteral("bob"), QStringLiteral("pw9"), QStringLiteral("R")});
    EXPECT_TRUE(serviceCallWorks(true));
    EXPECT_TRUE(updateCheckWorks(true));
    EXPECT_TRUE(headImageWorks(true));
    EXPECT_EQ(socks.logCount("connected to " + destination), 3) << socks.log();
}

namespace {

struct Upload {
    QByteArray data;
    qsizetype at = 0;
};

size_t readUpload(char *buffer, size_t size, size_t count, void *user)
{
    auto *upload = static_cast<Upload *>(user);
    const size_t n = std::min(size * count, size_t(upload->data.size() - upload->at));
    memcpy(buffer, upload->data.constData() + upload->at, n);
    upload->at += qsizetype(n);
    return n;
}

} // namespace

// The head-image upload's road: an FTP upload in active mode, set up with
// applyFtpProxy, reaches a real FTP server through each kind of proxy.
TEST(FtpThroughProxies, UploadArrivesThroughSocks5AndHttpTunnel)
{
    testpeers::FtpServerProcess ftp(QStringLiteral("up"), QStringLiteral("pw"));
    ASSERT_TRUE(ftp.started()) << ftp.error();
    const int ftpPort = ftp.port();
    const QDir root(ftp.root());

    ProxyProcess socks(ProxyProcess::Kind::Socks5, "bob", "pw9");
    ProxyProcess http(ProxyProcess::Kind::Http, "alice", "s3cret");
    ASSERT_TRUE(socks.started()) << socks.error();
    ASSERT_TRUE(http.started()) << http.error();

    const auto upload = [&](const ProxySettings &settings, const QString &name) {
        CURL *curl = curl_easy_init();
        Upload data{QByteArray("BM picture ") + name.toUtf8()};
        const QByteArray url = "ftp://127.0.0.1:" + QByteArray::number(ftpPort) + "/" + name.toUtf8();
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(curl, CURLOPT_USERPWD, "up:pw");
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 0L);
        curl_easy_setopt(curl, CURLOPT_FTPPORT, "-"); // active unless a proxy carries it
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, readUpload);
        curl_easy_setopt(curl, CURLOPT_READDATA, &data);
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(data.data.size()));
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 20000L);
        const bool proxied = service::applyFtpProxy(curl, settings, "127.0.0.1");
        const CURLcode rc = curl_easy_perform(curl);
        curl_easy_cleanup(curl);
        QFile stored(root.filePath(name));
        return proxied && rc == CURLE_OK && stored.open(QIODevice::ReadOnly) && stored.readAll() == data.data;
    };

    EXPECT_TRUE(upload({ProxySettings::Mode::Socks5, QStringLiteral("127.0.0.1"), quint16(socks.port()),
                        QStringLiteral("bob"), QStringLiteral("pw9"), QStringLiteral("R")},
                       QStringLiteral("1.bmp")));
    EXPECT_GE(socks.logCount("connected to 127.0.0.1:" + std::to_string(ftpPort)), 1) << socks.log();

    EXPECT_TRUE(upload({ProxySettings::Mode::Http, QStringLiteral("127.0.0.1"), quint16(http.port()),
                        QStringLiteral("alice"), QStringLiteral("s3cret"), QStringLiteral("R")},
                       QStringLiteral("2.bmp")));
    EXPECT_GE(http.logCount("CONNECT 127.0.0.1:" + std::to_string(ftpPort)), 1) << http.log();
}
