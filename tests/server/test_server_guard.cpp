// varnel-server against a hostile caller, over real HTTP against the real
// binary: a member signed in from 127.0.0.1 and an attacker on 127.0.0.2 (the
// attacker's socket is bound to that address), request framing that could
// slip past the body cap, heads without end, answers multiplied by ranges or
// made dear by compression, slow, idle and greedy connections, requests that
// waited too long, and the rate limits. Memory, CPU time and waits are held
// to wide margins only.
#include "server_test_support.h"
#include "site_config.h"
#include "soap_reader.h"

#include <httplib.h>

#include <QRegularExpression>

#include <sqlite3.h>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <thread>

using namespace servertest;
using quillora::testpeers::TlsClientOptions;
using quillora::testpeers::VarnelServerOptions;
using quillora::testpeers::VarnelServerProcess;

namespace {

constexpr char kLocal[] = "127.0.0.1";
constexpr char kAttacker[] = "127.0.0.2";
constexpr char kSecondAttacker[] = "127.0.0.3";
constexpr char kWsdl[] = "/Varnel/Web/Services/VarnelServices.asmx?wsdl";
constexpr char kVersionGet[] = "GET /Varnel/Web/versioncheck.txt HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

// The server's resident memory (VmRSS), in MB.
long residentMb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6)) / 1024;
    }
    return -1;
}

// The server's CPU time so far (user and system), in seconds.
double cpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15)
            ticks += std::stol(field);
    }
    return double(ticks) / double(::sysconf(_SC_CLK_TCK));
}

std::chrono::milliseconds since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
}
constexpr char kNotSignedIn[] = "not signed in from this address";

struct Reply {
    int status = 0;
    std::string body;
    std::string fault; // the fault string, when the answer is a fault
};

Reply parseReply(const std::string &raw)
{
    Reply r;
    std::smatch m;
    if (std::regex_search(raw, m, std::regex("^HTTP/1\\.1 (\\d{3})")))
        r.status = std::stoi(m[1]);
    const auto headEnd = raw.find("\r\n\r\n");
    r.body = headEnd == std::string::npos ? std::string() : raw.substr(headEnd + 4);
    qs::FaultRecord fault;
    if (r.status == 500 && qs::readFaultEnvelope(QByteArray::fromStdString(r.body), fault))
        r.fault = fault.faultString.toStdString();
    return r;
}

// One SOAP call from `source`, on a fresh connection.
Reply call(int port, const char *source, const std::string &operation, const std::string &params,
           const std::string &extraHeaders = {})
{
    Connection c(source, port);
    EXPECT_TRUE(c.ok());
    const std::string body = envelope(operation, params);
    c.send("POST /Varnel/Web/Services/VarnelServices.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders +
           "Content-Type: text/xml; charset=utf-8\r\nConnection: close\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body);
    return parseReply(c.readAll());
}

// The text of the first `name` element of a result document in a response.
std::string resultField(const Reply &r, const std::string &name)
{
    // The result string is escaped inside the envelope; unescape the two
    // entities that matter here.
    QString doc = QString::fromStdString(r.body);
    doc.replace(QStringLiteral("&lt;"), QStringLiteral("<")).replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    const QRegularExpression re(QStringLiteral("<%1>([^<]*)</%1>").arg(QString::fromStdString(name)));
    const auto match = re.match(doc);
    return match.hasMatch() ? match.captured(1).toStdString() : std::string("(absent)");
}

// A SOAP request (with its head) for a body written out in full.
std::string soapPost(const std::string &body)
{
    return "POST /Varnel/Web/Services/VarnelServices.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\n"
           "Content-Type: text/xml; charset=utf-8\r\nConnection: close\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

class GuardTest : public ::testing::Test {
  protected:
    void start(std::vector<std::string> args = {}, bool tls = false)
    {
        server = std::make_unique<VarnelServerProcess>(
            VarnelServerOptions{.demo = true, .extraArgs = std::move(args), .tls = tls});
        ASSERT_TRUE(server->started()) << server->error();
        proxy = proxyFor(*server);
    }
    // A connection from `source`, over TLS (checking the server's
    // certificate) when the server serves HTTPS.
    std::unique_ptr<Connection> open(const char *source) const
    {
        if (!server->tls())
            return std::make_unique<Connection>(source, server->port());
        return std::make_unique<Connection>(source, server->port(),
                                            TlsClientOptions{.caFile = server->caFile().string()});
    }
    int signIn(const QString &name, const QString &password)
    {
        QString doc;
        EXPECT_TRUE(qs::succeeded(proxy->GetUserByUserName(name, password, &doc))) << name.toStdString();
        qs::DocumentStatus status;
        return toInt(qs::readFirstElementText(doc, u"PKID", &status));
    }
    std::unique_ptr<VarnelServerProcess> server;
    std::unique_ptr<qs::CVarnelServices> proxy;
};

TEST_F(GuardTest, AttackerElsewhereNeitherReadsSecretsNorActsForASignedInMember)
{
    start();
    const int port = server->port();
    const int alice = signIn(QStringLiteral("alice"), QStringLiteral("alice123"));
    const int bob = signIn(QStringLiteral("bob"), QStringLiteral("bob123"));
    ASSERT_GT(alice, 0);
    bool ok = false;
    ASSERT_TRUE(qs::succeeded(proxy->SetUserOnline(alice, QStringLiteral("127.0.0.1"), &ok)));
    ASSERT_TRUE(ok);

    // The profile document read from elsewhere carries no secrets.
    const Reply profile = call(port, kAttacker, "GetUserByUserID", param("userID", alice));
    ASSERT_EQ(profile.status, 200) << profile.body;
    EXPECT_EQ(resultField(profile, "UserName"), "alice");
    EXPECT_EQ(resultField(profile, "Password"), "");
    EXPECT_EQ(resultField(profile, "Email"), "");
    EXPECT_EQ(resultField(profile, "Name"), "");
    EXPECT_EQ(resultField(profile, "Address"), "");
    EXPECT_EQ(resultField(profile, "Phone"), "");

    // Every operation in alice's name is refused from elsewhere.
    const std::vector<std::pair<std::string, std::string>> inHerName = {
        {"EditUserInformation", param("userID", alice) + param("password", "owned!") + param("nickName", "x") +
                                    param("email", "evil@example.org") + param("face", "1")},
        {"CreatForumPost", param("userID", alice) + param("TitleText", "spam") + param("forumColumnID", 1) +
                               param("forumPostPoint", 40) + param("contentText", "spam")},
        {"CreatForumReply",
         param("forumPostID", 1) + param("userID", alice) + param("forumColumnID", 1) + param("contentText", "spam")},
        {"SendMessage", param("from", alice) + param("to", bob) + param("msg", "send me your password")},
        {"GetMessage", param("userID", alice)},
        {"SetUserOnline", param("userID", alice) + param("ipAddress", "10.0.0.66")},
        {"SetUserOffline", param("userID", alice)},
        {"Authenticate", param("userID", alice)},
    };
    for (const auto &[operation, params] : inHerName) {
        const Reply r = call(port, kAttacker, operation, params);
        EXPECT_EQ(r.status, 500) << operation << ": " << r.body;
        EXPECT_NE(r.fault.find(kNotSignedIn), std::string::npos) << operation << ": " << r.fault;
    }
    // A guessed password neither signs in nor moves her binding.
    EXPECT_EQ(
        call(port, kAttacker, "GetUserByUserName", param("userName", "alice") + param("password", "guess")).status,
        500);

    // Alice's own client goes on as before: nothing above changed anything.
    QString doc;
    ASSERT_TRUE(qs::succeeded(proxy->GetUserByUserID(alice, &doc)));
    qs::DocumentStatus status;
    EXPECT_EQ(qs::readFirstElementText(doc, u"Password", &status), QStringLiteral("alice123"));
    EXPECT_EQ(qs::readFirstElementText(doc, u"Email", &status), QStringLiteral("alice@demo.example"));
    int total = 0;
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostListByColumn(1, 15, 1, &doc, &total)));
    EXPECT_GT(total, 40);
    int question = 0;
    ASSERT_TRUE(qs::succeeded(proxy->CreatForumPost(alice, QStringLiteral("How do I pin a window on top?"), 5, 50,
                                                    QStringLiteral("Details follow."), &ok, &question)));
    ASSERT_TRUE(ok);
    int answer = 0;
    ASSERT_TRUE(
        qs::succeeded(proxy->CreatForumReply(question, bob, 5, QStringLiteral("Use the window menu."), &ok, &answer)));
    ASSERT_TRUE(ok);
    ASSERT_TRUE(qs::succeeded(proxy->SendMessage(bob, alice, QStringLiteral("answered you"), &ok)));
    ASSERT_TRUE(ok);
    // Twelve demo messages wait before it; a poll takes ten.
    bool arrived = false;
    for (int poll = 0; poll < 3 && !arrived; ++poll) {
        ASSERT_TRUE(qs::succeeded(proxy->GetMessage(alice, &doc)));
        arrived = doc.contains(QStringLiteral("answered you"));
    }
    EXPECT_TRUE(arrived);
    ASSERT_TRUE(
        qs::succeeded(proxy->EditUserInformation(alice, QStringLiteral("alice456"), QStringLiteral("Alice"),
                                                 QStringLiteral("alice@demo.example"), QStringLiteral("4"), &ok)));
    EXPECT_TRUE(ok);

    // Closing happens on the site with her password.
    httplib::Client site(kLocal, port);
    const auto closed = site.Post("/Varnel/Web/EndPost.aspx?PostID=" + std::to_string(question) +
                                      "&USRID=" + std::to_string(alice) + "&USRPSW=alice456",
                                  "pts_" + std::to_string(answer) + "=50", "application/x-www-form-urlencoded");
    ASSERT_TRUE(closed);
    EXPECT_LT(closed->status, 400) << closed->body;
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostByID(question, &doc)));
    EXPECT_EQ(qs::readFirstElementText(doc, u"State", &status), QStringLiteral("Closed"));

    // Signing out ends the binding: her ID no longer acts even from her address.
    ASSERT_TRUE(qs::succeeded(proxy->SetUserOffline(alice, &ok)));
    EXPECT_TRUE(ok);
    EXPECT_FALSE(qs::succeeded(proxy->GetMessage(alice, &doc)));
    EXPECT_NE(call(port, kLocal, "GetMessage", param("userID", alice)).fault.find(kNotSignedIn), std::string::npos);
}

TEST_F(GuardTest, WithoutBindingForATrustedNetworkAnyAddressActs)
{
    start({"--no-address-binding"});
    const Reply r = call(server->port(), kAttacker, "GetMessage", param("userID", 1));
    EXPECT_EQ(r.status, 200) << r.body;
    const Reply profile = call(server->port(), kAttacker, "GetUserByUserID", param("userID", 1));
    EXPECT_EQ(resultField(profile, "Password"), "alice123");
}

TEST_F(GuardTest, BodiesWithoutADeclaredPlainLengthAreRefusedBeforeTheyAreRead)
{
    const std::string body = envelope("GetForumPostListByColumn",
                                      param("forumColumnID", 1) + param("pageSize", 15) + param("currentPageIndex", 1));
    const std::string head = "POST /Varnel/Web/Services/VarnelServices.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                             "Content-Type: text/xml; charset=utf-8\r\n";
    char size[16];
    std::snprintf(size, sizeof size, "%zx", body.size());
    struct Case {
        const char *what;
        std::string request;
        int status;
    } cases[] = {
        {"chunked", head + "Transfer-Encoding: chunked\r\n\r\n" + size + "\r\n" + body + "\r\n0\r\n\r\n", 411},
        {"gzip", head + "Content-Encoding: gzip\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body,
         415},
        {"no length", head + "\r\n" + body, 411},
        {"two lengths",
         head + "Content-Length: 5\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body, 400},
        {"huge length", head + "Content-Length: 99999999999\r\n\r\n", 413},
        // The library reads a length only up to a NUL byte; such a length is no number.
        {"NUL in length",
         head + "Content-Length: " + std::to_string(body.size()) + std::string(1, '\0') + "99\r\n\r\n" + body, 400},
    };
    // Over HTTPS the same rules act on the decrypted stream.
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "https" : "http");
        start({}, tls);
        for (const Case &c : cases) {
            const auto conn = open(kLocal);
            ASSERT_TRUE(conn->ok()) << conn->tlsError();
            conn->send(c.request);
            const std::string raw = conn->readAll(std::chrono::seconds(10));
            EXPECT_EQ(parseReply(raw).status, c.status) << c.what << ": " << raw;
            // The unread body is never taken for a next request.
            EXPECT_TRUE(conn->closedByPeer()) << c.what;
        }
        // The same body with its length is served.
        const auto plain = open(kLocal);
        plain->send(head + "Connection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
        EXPECT_EQ(parseReply(plain->readAll()).status, 200);
    }
}

TEST_F(GuardTest, SlowHeadIsCutOffWhileOthersAreServedAndConnectionsPerAddressAreCapped)
{
    start({"--head-timeout", "2", "--connections-per-address", "3"});
    const int port = server->port();
    const auto began = std::chrono::steady_clock::now();
    // A head trickled out a byte at a time, each well within the read timeout.
    std::thread slow([port, &began] {
        Connection c(kAttacker, port);
        ASSERT_TRUE(c.ok());
        const std::string head = "GET /Varnel/Web/versioncheck.txt HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
        for (size_t i = 0; i < 40; ++i) {
            if (!c.send(i < head.size() ? head.substr(i, 1) : std::string("a")))
                break;
            pollfd p{-1, 0, 0};
            ::poll(&p, 0, 250);
            if (std::chrono::steady_clock::now() - began > std::chrono::seconds(8))
                break;
        }
        c.readAll(std::chrono::seconds(1));
        const auto held = std::chrono::steady_clock::now() - began;
        EXPECT_LT(held, std::chrono::seconds(5)) << "the slow head was not cut off";
    });
    // Meanwhile others are served at once.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int i = 0; i < 5; ++i) {
        httplib::Client c(kLocal, port);
        const auto t0 = std::chrono::steady_clock::now();
        const auto res = c.Get("/Varnel/Web/versioncheck.txt");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
    }
    slow.join();

    // Three idle connections from one address are let in; the fourth gets a
    // refusal, and another address is still served.
    std::vector<std::unique_ptr<Connection>> idle;
    for (int i = 0; i < 3; ++i) {
        idle.push_back(std::make_unique<Connection>(kAttacker, port));
        idle.back()->send("G");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Connection fourth(kAttacker, port);
    fourth.send("GET /Varnel/Web/versioncheck.txt HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_EQ(parseReply(fourth.readAll(std::chrono::seconds(3))).status, 503);
    httplib::Client other(kLocal, port);
    const auto res = other.Get("/Varnel/Web/versioncheck.txt");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
}

// Over HTTPS the handshake runs under the head's deadline: a client that
// stalls in it or trickles it out is cut off like one that trickles its head
// once through, while others are served; the head's caps act on the
// decrypted stream; a connection over the cap per address is closed before
// any handshake.
TEST_F(GuardTest, OverTlsTheHandshakeSharesTheHeadDeadlineAndTheCapsHold)
{
    start({"--head-timeout", "2", "--connections-per-address", "3"}, true);
    const int port = server->port();
    const TlsClientOptions trusted{.caFile = server->caFile().string()};
    struct Stall {
        const char *what;
        bool tls;          // handshake first
        std::string bytes; // sent a byte every 250 ms
    };
    const std::vector<Stall> stalls = {
        {"silent after connecting", false, ""},
        // A handshake record whose 512 bytes never all arrive.
        {"trickled handshake", false,
         std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) + std::string(40, 'r')},
        {"trickled head", true,
         "GET /Varnel/Web/versioncheck.txt HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + std::string(30, 'a')},
    };
    std::vector<std::thread> stalling;
    for (const Stall &stall : stalls) {
        stalling.emplace_back([&stall, port, &trusted] {
            const auto began = std::chrono::steady_clock::now();
            const auto c = stall.tls ? std::make_unique<Connection>(kAttacker, port, trusted)
                                     : std::make_unique<Connection>(kAttacker, port);
            ASSERT_TRUE(c->ok()) << stall.what << ": " << c->tlsError();
            for (const char byte : stall.bytes) {
                if (!c->send(std::string(1, byte)) ||
                    std::chrono::steady_clock::now() - began > std::chrono::seconds(8))
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
            }
            c->readAll(std::chrono::seconds(stall.bytes.empty() ? 8 : 1));
            EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5))
                << stall.what << " was not cut off";
        });
    }
    // Meanwhile others are served.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    httplib::SSLClient other(kLocal, port);
    other.set_ca_cert_path(server->caFile().string());
    for (int i = 0; i < 3; ++i) {
        const auto res = other.Get("/Varnel/Web/versioncheck.txt");
        ASSERT_TRUE(res) << httplib::to_string(res.error());
        EXPECT_EQ(res->status, 200);
    }
    for (std::thread &t : stalling)
        t.join();

    // The library's caps on a head line and on the address, read decrypted.
    const struct {
        const char *what;
        std::string head;
        int status;
    } caps[] = {
        {"header line over 8 KiB",
         "GET /Varnel/Web/versioncheck.txt HTTP/1.1\r\nX-Big: " + std::string(9000, 'a') + "\r\n\r\n", 400},
        {"address over 8 KiB", "GET /Varnel/Web/versioncheck.txt?" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n", 414},
    };
    for (const auto &cap : caps) {
        Connection c(kLocal, port, trusted);
        ASSERT_TRUE(c.ok()) << c.tlsError();
        c.send(cap.head);
        EXPECT_EQ(parseReply(c.readResponse()).status, cap.status) << cap.what;
    }

    // Three connections from one address are let in; the fourth is closed
    // before its handshake, and another address is still served.
    std::vector<std::unique_ptr<Connection>> idle;
    for (int i = 0; i < 3; ++i) {
        idle.push_back(std::make_unique<Connection>(kAttacker, port, trusted));
        ASSERT_TRUE(idle.back()->ok()) << idle.back()->tlsError();
        idle.back()->send("G");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Connection fourth(kAttacker, port, trusted);
    EXPECT_FALSE(fourth.ok());
    const auto res = other.Get("/Varnel/Web/versioncheck.txt");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
}

// Waits until a refused call would be taken again: the window plus a margin.
void waitOutWindow()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(3300));
}

TEST_F(GuardTest, EachRateLimitIsReachedThenRecovers)
{
    start({"--limit-window-seconds", "3", "--max-registrations", "2", "--max-failed-signins", "3",
           "--free-signin-failures", "0", "--max-questions", "2", "--max-answers", "2", "--max-messages", "2",
           "--read-ms-per-second", "1"});
    const int port = server->port();
    auto registerFrom = [&](const char *source, const std::string &name) {
        return call(port, source, "CreateNewUser",
                    param("userName", name) + param("password", name + "pw") + param("nickName", name) +
                        param("sex", 0) + param("email", name + "@example.org") + param("face", "1") +
                        param("name", "") + param("address", "") + param("phone", "") + param("leader", "") +
                        param("userGuid", "g"));
    };
    EXPECT_EQ(registerFrom(kAttacker, "flood1").status, 200);
    EXPECT_EQ(registerFrom(kAttacker, "flood2").status, 200);
    Reply refused = registerFrom(kAttacker, "flood3");
    EXPECT_NE(refused.fault.find("Too many registrations"), std::string::npos) << refused.body;
    EXPECT_NE(refused.fault.find("try again in"), std::string::npos) << refused.fault;
    EXPECT_EQ(registerFrom(kLocal, "honest1").status, 200) << "another address is not held back";
    waitOutWindow();
    EXPECT_EQ(registerFrom(kAttacker, "flood3").status, 200);

    // Failed sign-ins per address: then even the right password waits.
    for (int i = 0; i < 3; ++i)
        call(port, kAttacker, "GetUserByUserName", param("userName", "bob") + param("password", "nope"));
    refused = call(port, kAttacker, "GetUserByUserName", param("userName", "carol") + param("password", "carol123"));
    EXPECT_NE(refused.fault.find("Too many failed sign-ins from this address"), std::string::npos) << refused.body;
    waitOutWindow();
    EXPECT_EQ(
        call(port, kAttacker, "GetUserByUserName", param("userName", "carol") + param("password", "carol123")).status,
        200);

    // Questions, answers and messages per member.
    const int dave = signIn(QStringLiteral("dave"), QStringLiteral("dave123"));
    const int erin = signIn(QStringLiteral("erin"), QStringLiteral("erin123"));
    bool ok = false;
    int id = 0;
    auto ask = [&] {
        return qs::succeeded(
            proxy->CreatForumPost(dave, QStringLiteral("Question"), 12, 40, QStringLiteral("text"), &ok, &id));
    };
    EXPECT_TRUE(ask());
    const int question = id;
    EXPECT_TRUE(ask());
    EXPECT_FALSE(ask());
    EXPECT_NE(proxy->lastFault().faultString.indexOf(QStringLiteral("Too many questions")), -1);
    auto answer = [&] {
        return qs::succeeded(proxy->CreatForumReply(question, erin, 12, QStringLiteral("an answer"), &ok, &id));
    };
    auto message = [&] { return qs::succeeded(proxy->SendMessage(erin, dave, QStringLiteral("hi"), &ok)); };
    EXPECT_TRUE(answer());
    EXPECT_TRUE(answer());
    EXPECT_FALSE(answer());
    EXPECT_TRUE(message());
    EXPECT_TRUE(message());
    EXPECT_FALSE(message());
    EXPECT_NE(proxy->lastFault().faultString.indexOf(QStringLiteral("Too many messages")), -1);
    waitOutWindow();
    EXPECT_TRUE(ask());
    EXPECT_TRUE(answer());
    EXPECT_TRUE(message());

    // Searches and list pages that no rendered answer serves spend the
    // address's read budget (here 1 ms of work a second, 30 ms at once).
    auto search = [&](const char *source, const std::string &keyword) {
        return call(port, source, "GetSearchForumPostsByTitle",
                    param("forumID", 0) + param("keyword", keyword) + param("pageSize", 15) +
                        param("currentPageIndex", 1));
    };
    Reply readRefused;
    for (int i = 0; i < 100 && readRefused.fault.empty(); ++i)
        readRefused = search(kAttacker, "word" + std::to_string(i));
    EXPECT_NE(readRefused.fault.find("Too many list pages and searches from this address; try again in"),
              std::string::npos)
        << readRefused.body;
    EXPECT_EQ(search(kLocal, "word").status, 200) << "another address is not held back";
}

TEST_F(GuardTest, FailuresOnOneAccountMakeItWaitLongerAndASuccessForgetsThem)
{
    start({"--free-signin-failures", "2"});
    const int port = server->port();
    auto bob = [&](const char *password) {
        return call(port, kAttacker, "GetUserByUserName", param("userName", "bob") + param("password", password));
    };
    EXPECT_TRUE(bob("x").fault.find("wrong password") != std::string::npos);
    EXPECT_TRUE(bob("y").fault.find("wrong password") != std::string::npos);
    // Two failures: the next try waits, whatever the password.
    EXPECT_NE(bob("bob123").fault.find("for this member"), std::string::npos);
    // The account's name in another case is the same account.
    EXPECT_NE(call(port, kLocal, "GetUserByUserName", param("userName", "BOB") + param("password", "bob123"))
                  .fault.find("for this member"),
              std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(2300));
    EXPECT_EQ(bob("bob123").status, 200);
    // Forgotten after the success: two more failures are free again.
    EXPECT_TRUE(bob("x").fault.find("wrong password") != std::string::npos);
    EXPECT_EQ(bob("bob123").status, 200);
}

TEST_F(GuardTest, TextsBeyondTheClientsLimitsAreRefusedWithAClearFault)
{
    start();
    const int alice = signIn(QStringLiteral("alice"), QStringLiteral("alice123"));
    bool ok = false;
    int id = 0;
    EXPECT_FALSE(qs::succeeded(
        proxy->CreatForumPost(alice, QString(201, QLatin1Char('t')), 1, 40, QStringLiteral("x"), &ok, &id)));
    EXPECT_EQ(proxy->lastFault().faultString, QStringLiteral("The title is longer than 200 characters."));
    EXPECT_TRUE(qs::succeeded(proxy->CreatForumPost(alice, QString(200, QLatin1Char('t')), 1, 40,
                                                    QString(8000, QLatin1Char('x')), &ok, &id)));
    EXPECT_TRUE(ok);
    EXPECT_FALSE(qs::succeeded(
        proxy->CreatForumPost(alice, QStringLiteral("t"), 1, 40, QString(8001, QLatin1Char('x')), &ok, &id)));
    EXPECT_FALSE(qs::succeeded(proxy->SendMessage(alice, 2, QString(2001, QLatin1Char('m')), &ok)));
    EXPECT_NE(proxy->lastFault().faultString.indexOf(QStringLiteral("message is longer")), -1);
    QString doc;
    int total = 0;
    EXPECT_FALSE(
        qs::succeeded(proxy->GetSearchForumPostsByTitle(0, QStringLiteral("a b c d e f g h i"), 15, 1, &doc, &total)));
    EXPECT_NE(proxy->lastFault().faultString.indexOf(QStringLiteral("at most 8 words")), -1);
    EXPECT_TRUE(
        qs::succeeded(proxy->GetSearchForumPostsByTitle(0, QStringLiteral("a b c d e f g h"), 15, 1, &doc, &total)));
    // A fault repeats at most 64 characters of a request value.
    const Reply r = call(server->port(), kLocal, std::string(300, 'Q'), "");
    EXPECT_EQ(r.status, 500);
    EXPECT_LT(r.fault.size(), 120u) << r.fault;
}

TEST_F(GuardTest, ConnectionsStayOpenForThousandsOfCallsAndBurstsOfNewOnesAreQueued)
{
    start();
    // One kept-alive connection carries many more calls than a hundred, and
    // each answer's Keep-Alive header says how many it may.
    Connection kept(kLocal, server->port());
    ASSERT_TRUE(kept.ok());
    const std::string body = envelope("GetForumPostListByColumn",
                                      param("forumColumnID", 1) + param("pageSize", 15) + param("currentPageIndex", 1));
    const std::string request = "POST /Varnel/Web/Services/VarnelServices.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                "Content-Type: text/xml; charset=utf-8\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body;
    for (int i = 0; i < 250; ++i) {
        ASSERT_TRUE(kept.send(request)) << "call " << i;
        const std::string raw = kept.readResponse();
        ASSERT_EQ(parseReply(raw).status, 200) << "call " << i << ": " << raw.substr(0, 300);
        EXPECT_EQ(raw.find("Connection: close"), std::string::npos) << "call " << i;
        if (i == 0) {
            EXPECT_NE(raw.find("max=10000"), std::string::npos) << raw.substr(0, 300);
        }
    }

    // While the server takes no connection at all (stopped), the kernel still
    // completes the handshakes of a burst of 200 clients and queues them;
    // once it runs again, every one of them is answered (here without the
    // per-address cap, as they all come from one address).
    start({"--connections-per-address", "0"});
    const pid_t pid = server->pid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    std::vector<int> burst;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(server->port()));
    inet_pton(AF_INET, kLocal, &to.sin_addr);
    for (int i = 0; i < 200; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ASSERT_GE(fd, 0);
        ::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to);
        burst.push_back(fd);
    }
    int established = 0;
    for (int fd : burst) {
        pollfd p{fd, POLLOUT, 0};
        int error = -1;
        socklen_t length = sizeof error;
        if (::poll(&p, 1, 1000) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
            ++established;
    }
    ASSERT_EQ(::kill(pid, SIGCONT), 0);
    EXPECT_EQ(established, 200) << "the listen queue dropped connection attempts";
    const std::string get = "GET /Varnel/Web/versioncheck.txt HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    std::vector<bool> sent;
    for (int fd : burst)
        sent.push_back(::send(fd, get.data(), get.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(get.size()));
    int answered = 0;
    for (size_t i = 0; i < burst.size(); ++i) {
        const int fd = burst[i];
        if (sent[i]) {
            std::string raw;
            char buffer[4096];
            pollfd p{fd, POLLIN, 0};
            while (::poll(&p, 1, 10000) == 1) {
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                raw.append(buffer, static_cast<size_t>(n));
            }
            if (parseReply(raw).status == 200)
                ++answered;
        }
        ::close(fd);
    }
    EXPECT_EQ(answered, 200);
}

// Header lines without end, as fast as the server takes them, until it
// answers and closes (or `limit` bytes went out): what it answered.
std::string floodHeaderLines(int port, const char *source, size_t limit)
{
    Connection c(source, port);
    if (!c.ok() || !c.send("GET /Varnel/Web/versioncheck.txt HTTP/1.1\r\nHost: 127.0.0.1\r\n"))
        return {};
    const int fd = c.fd();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::string lines;
    for (int i = 0; i < 13000; ++i)
        lines += "a:b\r\n";
    std::string answer;
    size_t sent = 0;
    const auto t0 = std::chrono::steady_clock::now();
    while (since(t0) < std::chrono::seconds(30)) {
        pollfd p{fd, static_cast<short>(POLLIN | (sent < limit ? POLLOUT : 0)), 0};
        if (::poll(&p, 1, 1000) <= 0)
            continue;
        if (p.revents & POLLIN) {
            char buffer[4096];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            answer.append(buffer, static_cast<size_t>(n));
        } else if (p.revents & (POLLHUP | POLLERR)) {
            break;
        } else if (p.revents & POLLOUT) {
            const ssize_t n = ::send(fd, lines.data(), lines.size(), MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN)
                break;
            sent += n > 0 ? static_cast<size_t>(n) : 0;
        }
    }
    return answer;
}

TEST_F(GuardTest, HeadsBeyondTheirCapsAreRefusedAndEndlessOnesCostNothing)
{
    start();
    const int port = server->port();
    const long before = residentMb(server->pid());
    // Three floods at once, each cut off within seconds (not at the head's
    // 10 s deadline) while a member is served; and 64 paths of 8 KB at once,
    // which the library's router would match character by character on as
    // many workers' stacks.
    std::atomic<int> refusedInTime{0};
    std::atomic<int> longPathsRefused{0};
    std::vector<std::thread> floods;
    for (int i = 0; i < 3; ++i) {
        floods.emplace_back([&] {
            const auto t0 = std::chrono::steady_clock::now();
            const Reply r = parseReply(floodHeaderLines(port, kAttacker, size_t(256) << 20));
            if (r.status == 431 && since(t0) < std::chrono::seconds(5))
                ++refusedInTime;
        });
    }
    for (int i = 0; i < 64; ++i) {
        floods.emplace_back([&, i] {
            // From two addresses: one may hold 48 connections.
            Connection c(i % 2 ? kSecondAttacker : "127.0.0.4", port);
            c.send("GET /Varnel/Web/images/CustomFace/" + std::string(8000, 'a') +
                   " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
            longPathsRefused += parseReply(c.readAll(std::chrono::seconds(10))).status == 414;
        });
    }
    httplib::Client member(kLocal, port);
    const auto res = member.Get("/Varnel/Web/versioncheck.txt");
    EXPECT_TRUE(res && res->status == 200);
    for (std::thread &t : floods)
        t.join();
    EXPECT_EQ(refusedInTime, 3);
    EXPECT_EQ(longPathsRefused, 64);
    EXPECT_LT(residentMb(server->pid()) - before, 50) << "MB grown by three floods and 64 long paths";

    // Each cap reached exactly.
    start({"--max-head-bytes", "4096", "--max-header-lines", "20", "--max-url-bytes", "2048"});
    const std::string requestLine = "GET /Varnel/Web/versioncheck.txt HTTP/1.1\r\n";
    const auto withLines = [&](int lines) {
        std::string head = requestLine + "Host: 127.0.0.1\r\nConnection: close\r\n";
        for (int i = 2; i < lines; ++i)
            head += "X-Line: " + std::to_string(i) + "\r\n";
        return head + "\r\n";
    };
    const auto withQuery = [](size_t bytes) {
        const std::string path = "/Varnel/Web/versioncheck.txt?q=";
        return path + std::string(bytes - path.size(), 'q');
    };
    const auto ofSize = [&](size_t bytes) {
        const std::string head = requestLine + "Host: 127.0.0.1\r\nConnection: close\r\nX-Pad: ";
        return head + std::string(bytes - head.size() - 4, 'p') + "\r\n\r\n";
    };
    struct Case {
        const char *what;
        std::string head;
        int status;
    } cases[] = {
        {"20 header lines", withLines(20), 200},
        {"21 header lines", withLines(21), 431},
        {"a head of 4096 bytes", ofSize(4096), 200},
        {"a head of 4097 bytes", ofSize(4097), 431},
        {"a path and query of 2048 bytes", "GET " + withQuery(2048) + " HTTP/1.1\r\nConnection: close\r\n\r\n", 200},
        {"a path and query of 2049 bytes", "GET " + withQuery(2049) + " HTTP/1.1\r\nConnection: close\r\n\r\n", 414},
    };
    for (const Case &c : cases) {
        Connection conn(kAttacker, server->port());
        ASSERT_TRUE(conn.ok());
        conn.send(c.head);
        const std::string raw = conn.readAll(std::chrono::seconds(5));
        EXPECT_EQ(parseReply(raw).status, c.status) << c.what << ": " << raw.substr(0, 200);
        EXPECT_TRUE(conn.closedByPeer()) << c.what;
    }
}

// Thousands of ranges of one answer would each repeat it: one range of a GET
// is honoured, anything more is answered whole, once.
TEST_F(GuardTest, RangesAreHonouredOneAtATime)
{
    start();
    const long before = residentMb(server->pid());
    httplib::Client c(kLocal, server->port());
    const auto plain = c.Get(kWsdl);
    ASSERT_TRUE(plain);
    ASSERT_EQ(plain->status, 200);
    std::string many = "bytes=-";
    for (int i = 1; i < 4085; ++i)
        many += ",-";
    struct Case {
        const char *what;
        std::string range;
        int status;
        size_t size;
    } cases[] = {
        {"4,085 ranges of the whole answer", many, 200, plain->body.size()},
        {"two ranges", "bytes=0-9,20-29", 200, plain->body.size()},
        {"one range written with 8 KB of zeros", "bytes=" + std::string(8000, '0') + "-", 200, plain->body.size()},
        {"one range", "bytes=0-99", 206, 100},
    };
    for (const Case &k : cases) {
        const auto res = c.Get(kWsdl, {{"Range", k.range}, {"Accept-Encoding", "identity"}});
        ASSERT_TRUE(res) << k.what;
        EXPECT_EQ(res->status, k.status) << k.what;
        EXPECT_EQ(res->body.size(), k.size) << k.what;
    }
    // A SOAP answer is never cut: ranges are for GET.
    const std::string body = envelope("GetForumPostListByColumn",
                                      param("forumColumnID", 1) + param("pageSize", 15) + param("currentPageIndex", 1));
    const auto soap =
        c.Post("/Varnel/Web/Services/VarnelServices.asmx", {{"Range", many}}, body, "text/xml; charset=utf-8");
    ASSERT_TRUE(soap);
    EXPECT_EQ(soap->status, 200);
    EXPECT_NE(soap->body.find("</soap:Envelope>"), std::string::npos);
    // Many such requests at once, on as many workers: none of them keeps
    // memory for it afterwards.
    std::vector<std::thread> burst;
    std::atomic<int> whole{0};
    for (int i = 0; i < 32; ++i) {
        burst.emplace_back([&] {
            Connection conn(kAttacker, server->port());
            conn.send(std::string("GET ") + kWsdl + " HTTP/1.1\r\nHost: 127.0.0.1\r\nRange: " + many +
                      "\r\nConnection: close\r\n\r\n");
            const Reply r = parseReply(conn.readAll());
            whole += r.status == 200 && r.body.size() == plain->body.size();
        });
    }
    for (std::thread &t : burst)
        t.join();
    EXPECT_EQ(whole, 32);
    EXPECT_LT(residentMb(server->pid()) - before, 50) << "MB grown";
}

TEST_F(GuardTest, AnswersAreCompressedAtAQuickLevelAndOnlyWhereItPays)
{
    start();
    httplib::Client c(kLocal, server->port());
    const auto plain = c.Get(kWsdl, {{"Accept-Encoding", "identity"}});
    ASSERT_TRUE(plain);
    ASSERT_EQ(plain->status, 200);
    struct Case {
        const char *accept;
        const char *path;
        const char *coding;
    } cases[] = {
        {"br", kWsdl, "br"},
        {"gzip, deflate", kWsdl, "gzip"},
        {"gzip;q=1, br;q=0", kWsdl, "gzip"},
        {"*", kWsdl, "br"},
        {"identity", kWsdl, ""},
        {"br", "/Varnel/Web/versioncheck.txt", ""}, // too small to gain
    };
    for (const Case &k : cases) {
        const auto res = c.Get(k.path, {{"Accept-Encoding", k.accept}});
        ASSERT_TRUE(res) << k.accept;
        EXPECT_EQ(res->get_header_value("Content-Encoding"), k.coding) << k.accept;
        if (std::string(k.path) == kWsdl) {
            EXPECT_EQ(res->body, plain->body) << k.accept; // as the client unpacked it
            EXPECT_EQ(res->get_header_value("Vary"), "Accept-Encoding") << k.accept;
        }
    }
    // Its price: about what the answer itself costs, far from the slowest
    // level's 77 ms of CPU for each of these.
    const double cpu = cpuSeconds(server->pid());
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(c.Get(kWsdl, {{"Accept-Encoding", "br"}}));
    EXPECT_LT(cpuSeconds(server->pid()) - cpu, 2.0) << "CPU seconds for 40 compressed WSDL answers";
}

// Kept-alive connections that ask for a little now and then hold no worker
// between their requests: two addresses with twice as many of them as there
// are workers keep nobody waiting. The cap per address holds the moment a
// connection is accepted, whether or not a worker is free.
TEST_F(GuardTest, KeptAliveConnectionsHoldNoWorkerBetweenRequestsAndTheCapHoldsAtAccept)
{
    start({"--threads", "4", "--connections-per-address", "4"});
    const int port = server->port();
    std::vector<std::unique_ptr<Connection>> held;
    for (const char *source : {kAttacker, kSecondAttacker}) {
        for (int i = 0; i < 4; ++i) {
            held.push_back(std::make_unique<Connection>(source, port));
            ASSERT_TRUE(held.back()->ok());
        }
    }
    std::atomic<bool> done{false};
    std::atomic<int> answered{0};
    std::thread attacker([&] {
        while (!done) {
            for (auto &c : held)
                c->send(kVersionGet);
            for (auto &c : held)
                answered += parseReply(c->readResponse(std::chrono::milliseconds(300))).status == 200;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    });
    std::this_thread::sleep_for(std::chrono::seconds(1));
    for (int i = 0; i < 5; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        httplib::Client member(kLocal, port);
        member.set_read_timeout(std::chrono::seconds(5));
        const auto res = member.Get("/Varnel/Web/versioncheck.txt");
        EXPECT_TRUE(res && res->status == 200) << "call " << i;
        EXPECT_LT(since(t0), std::chrono::seconds(2)) << "call " << i;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    const auto t0 = std::chrono::steady_clock::now();
    Connection fifth(kAttacker, port);
    fifth.send(kVersionGet);
    EXPECT_EQ(parseReply(fifth.readAll(std::chrono::seconds(5))).status, 503);
    EXPECT_LT(since(t0), std::chrono::seconds(2));
    done = true;
    attacker.join();
    EXPECT_GE(answered, 8) << "the kept-alive connections were served too";
}

// With the only worker busy, requests queue for it: no more than the queue
// holds (the next is refused at once), and none that waited longer than the
// queue timeout is served when its turn comes (its client may have given up).
TEST_F(GuardTest, RequestsThatWaitedTooLongAreRefusedUnservedAndTheQueueIsBounded)
{
    start({"--threads", "1", "--max-queued", "2", "--queue-timeout", "1"});
    const int port = server->port();
    std::thread slow([port] {
        // A body that trickles in for three seconds holds the worker.
        Connection c(kAttacker, port);
        const std::string body =
            envelope("GetForumPostListByColumn",
                     param("forumColumnID", 1) + param("pageSize", 15) + param("currentPageIndex", 1));
        c.send("POST /Varnel/Web/Services/VarnelServices.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\n"
               "Content-Type: text/xml; charset=utf-8\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n\r\n" + body.substr(0, body.size() - 30));
        for (size_t i = body.size() - 30; i < body.size(); ++i) {
            c.send(body.substr(i, 1));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_EQ(parseReply(c.readResponse()).status, 200);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::string registration =
        envelope("CreateNewUser", param("userName", "latecomer") + param("password", "late123") +
                                      param("nickName", "late") + param("sex", 0) + param("email", "l@example.org") +
                                      param("face", "1") + param("name", "") + param("address", "") +
                                      param("phone", "") + param("leader", "") + param("userGuid", "g"));
    Connection late(kLocal, port);
    late.send("POST /Varnel/Web/Services/VarnelServices.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\n"
              "Content-Type: text/xml; charset=utf-8\r\nContent-Length: " +
              std::to_string(registration.size()) + "\r\n\r\n" + registration);
    Connection page(kLocal, port);
    page.send(kVersionGet);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto t0 = std::chrono::steady_clock::now();
    Connection third(kLocal, port);
    third.send(kVersionGet);
    EXPECT_EQ(parseReply(third.readAll(std::chrono::seconds(5))).status, 503) << "beyond the queue";
    EXPECT_LT(since(t0), std::chrono::seconds(2));
    EXPECT_EQ(parseReply(late.readAll()).status, 503);
    EXPECT_EQ(parseReply(page.readAll()).status, 503);
    slow.join();
    bool exists = true;
    ASSERT_TRUE(qs::succeeded(proxy->IsUserExistsByName(QStringLiteral("latecomer"), &exists)));
    EXPECT_FALSE(exists) << "a refused request did its work";
}

// Envelopes built to make the request reader compare every name with every
// other: one start tag with 140,000 attributes, and a prefix looked up
// 200,000 times under 4,000 nested bindings. Each is answered within seconds
// for a little CPU (the reader works linearly and refuses a tag with more
// attributes than any envelope carries).
TEST_F(GuardTest, EnvelopesBuiltToMakeTheReaderQuadraticCostLittle)
{
    start();
    const std::string head = "<?xml version=\"1.0\"?><soap:Envelope "
                             "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Header>";
    const std::string tail = "</soap:Header><soap:Body/></soap:Envelope>";
    std::string attributes = "<x:Tx xmlns:x=\"urn:tx\"";
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int i = 0; i < 140000; ++i)
        attributes += std::string(" ") + letters[i % 52] + letters[i / 52 % 52] + letters[i / 2704] + "=\"\"";
    attributes += "/>";
    std::string bindings;
    for (int i = 0; i < 4000; ++i)
        bindings += "<e xmlns:p" + std::to_string(i) + "=\"u\">";
    for (int i = 0; i < 200000; ++i)
        bindings += "<b/>";
    for (int i = 0; i < 4000; ++i)
        bindings += "</e>";
    const struct {
        const char *what;
        std::string body;
        const char *fault;
    } cases[] = {
        {"140,000 attributes", head + attributes + tail, "more than 256 attributes"},
        {"200,000 look-ups under 4,000 bindings", head + bindings + tail, "The Body holds no operation."},
    };
    for (const auto &c : cases) {
        ASSERT_LT(c.body.size(), 1024u * 1024u) << c.what;
        const double cpuBefore = cpuSeconds(server->pid());
        Connection conn(kAttacker, server->port());
        ASSERT_TRUE(conn.ok());
        conn.send(soapPost(c.body));
        const Reply r = parseReply(conn.readAll(std::chrono::seconds(30)));
        EXPECT_EQ(r.status, 500) << c.what;
        EXPECT_NE(r.fault.find(c.fault), std::string::npos) << c.what << ": " << r.fault;
        EXPECT_LT(cpuSeconds(server->pid()) - cpuBefore, 3.0) << c.what;
    }
}

// Many wrong passwords sent at the same moment: no more of them are checked
// than the limits allow, per address and per account.
TEST_F(GuardTest, SimultaneousWrongSignInsAreCheckedNoMoreOftenThanTheLimitsAllow)
{
    start(); // 20 failures per address an hour; 3 free failures per account
    const struct {
        const char *what;
        bool oneAddress; // else one account from many addresses
        int checked;
    } cases[] = {{"one address, many accounts", true, 20}, {"one account, many addresses", false, 3}};
    for (const auto &c : cases) {
        constexpr int kTries = 45;
        std::vector<std::unique_ptr<Connection>> connections;
        for (int i = 0; i < kTries; ++i) {
            const std::string from = c.oneAddress ? std::string(kAttacker) : "127.0.0." + std::to_string(10 + i);
            connections.push_back(std::make_unique<Connection>(from.c_str(), server->port()));
            ASSERT_TRUE(connections.back()->ok()) << from;
        }
        std::atomic<bool> go{false};
        std::atomic<int> checked{0}, refused{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < kTries; ++i) {
            threads.emplace_back([&, i] {
                // Members' names, three tries each (all free), so that every
                // try let through checks a password; the one account tried from
                // many addresses is none of them.
                static const char *const members[] = {"alice",      "bob",       "carol",      "dave",      "erin",
                                                      "winguru",    "appmaster", "chipwizard", "gadgetfan", "questlord",
                                                      "fragmaster", "codesmith", "pixelpro",   "moderator", "admin"};
                const std::string user = c.oneAddress ? members[i % 15] : std::string("stranger");
                const std::string request =
                    soapPost(envelope("GetUserByUserName", param("userName", user) + param("password", "guess")));
                while (!go)
                    std::this_thread::yield();
                connections[i]->send(request);
                const Reply r = parseReply(connections[i]->readAll());
                if (r.fault.find("wrong password") != std::string::npos)
                    checked++;
                else if (r.fault.find("Too many failed sign-ins") != std::string::npos)
                    refused++;
            });
        }
        go = true;
        for (std::thread &t : threads)
            t.join();
        EXPECT_EQ(checked.load(), c.checked) << c.what;
        EXPECT_EQ(checked.load() + refused.load(), kTries) << c.what;
    }
}

// Wrong passwords at the pages that take a user ID count against the member:
// after the free ones a stranger waits; the member's own client, signed in
// from its address, neither waits at his pages nor to sign in.
TEST_F(GuardTest, WrongPasswordsAtMemberPagesMakeStrangersWait)
{
    start();
    const int bob = signIn(QStringLiteral("bob"), QStringLiteral("bob123"));
    ASSERT_GT(bob, 0);
    auto page = [&](const char *from, const std::string &password) {
        Connection c(from, server->port());
        c.send("GET /Varnel/Web/ShowSoftPost.aspx?PostID=1&USRID=" + std::to_string(bob) + "&USRPSW=" + password +
               " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        return parseReply(c.readAll()).status;
    };
    for (const char *guess : {"a", "b", "c"})
        EXPECT_EQ(page(kAttacker, guess), 403) << guess;
    EXPECT_EQ(page(kAttacker, "bob123"), 429) << "the fourth try waits, right or wrong";
    EXPECT_EQ(page("127.0.0.3", "d"), 429) << "from any other address too";
    EXPECT_EQ(page(kLocal, "bob123"), 200) << "bob's own client is not held";
    EXPECT_EQ(signIn(QStringLiteral("bob"), QStringLiteral("bob123")), bob) << "nor is his sign-in";
}

// A call whose client has given up (here after 2.5 s, the server's deadline
// for answers being 2 s) changes nothing, however long it waited for the
// database: the poll's messages stay waiting for the next poll, and the
// question is neither asked nor charged until it is sent again.
TEST_F(GuardTest, CallsAnsweredTooLateForTheirClientChangeNothing)
{
    start({"--answer-deadline", "2"});
    const int dave = signIn(QStringLiteral("dave"), QStringLiteral("dave123"));
    const int erin = signIn(QStringLiteral("erin"), QStringLiteral("erin123"));
    bool ok = false;
    ASSERT_TRUE(qs::succeeded(proxy->SendMessage(erin, dave, QStringLiteral("still there?"), &ok)));
    ASSERT_TRUE(ok);
    QString doc;
    qs::DocumentStatus status;
    ASSERT_TRUE(qs::succeeded(proxy->GetUserByUserName(QStringLiteral("dave"), QStringLiteral("dave123"), &doc)));
    const int pointsBefore = toInt(qs::readFirstElementText(doc, u"Points", &status));
    int asked = -1;
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostsByPostUserID(dave, 15, 1, 2, &doc, &asked)));

    // Another process holds the database's write lock for 3 s.
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(server->dbPath().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const std::vector<std::string> calls = {
        envelope("GetMessage", param("userID", dave)),
        envelope("CreatForumPost", param("userID", dave) + param("TitleText", "Fan noise at night") +
                                       param("forumColumnID", 12) + param("forumPostPoint", 50) +
                                       param("contentText", "It hums.")),
    };
    std::vector<std::thread> clients;
    for (const std::string &body : calls) {
        clients.emplace_back([this, body] {
            Connection c(kLocal, server->port());
            c.send(soapPost(body));
            c.readAll(std::chrono::milliseconds(2500)); // and gives up
        });
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    for (std::thread &t : clients)
        t.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    ASSERT_TRUE(qs::succeeded(proxy->GetMessage(dave, &doc)));
    EXPECT_NE(doc.indexOf(QStringLiteral("still there?")), -1) << "the message was lost";
    int total = -1;
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostsByPostUserID(dave, 15, 1, 2, &doc, &total)));
    EXPECT_EQ(total, asked) << "asked behind the client's back";
    int question = 0;
    ASSERT_TRUE(qs::succeeded(proxy->CreatForumPost(dave, QStringLiteral("Fan noise at night"), 12, 50,
                                                    QStringLiteral("It hums."), &ok, &question)));
    ASSERT_TRUE(qs::succeeded(proxy->GetForumPostsByPostUserID(dave, 15, 1, 2, &doc, &total)));
    EXPECT_EQ(total, asked + 1);
    ASSERT_TRUE(qs::succeeded(proxy->GetUserByUserName(QStringLiteral("dave"), QStringLiteral("dave123"), &doc)));
    EXPECT_EQ(toInt(qs::readFirstElementText(doc, u"Points", &status)), pointsBefore - 50);
}

} // namespace

// Behind a load balancer on a trusted address, the member is the address the
// balancer forwarded: bindings follow it, a header from anyone else is not
// believed, and the balancer's own connections are not capped per address.
TEST_F(GuardTest, ATrustedBalancerForwardsItsClientsAddresses)
{
    start({"--trusted-proxy", "127.0.0.1", "--connections-per-address", "2"});
    const int port = server->port();
    const auto from = [](const std::string &chain) { return "X-Forwarded-For: " + chain + "\r\n"; };
    const Reply signedIn = call(port, kLocal, "GetUserByUserName",
                                param("userName", "alice") + param("password", "alice123"), from("10.0.0.5"));
    ASSERT_EQ(signedIn.status, 200) << signedIn.body;
    const int alice = std::stoi(resultField(signedIn, "PKID"));

    EXPECT_EQ(call(port, kLocal, "GetMessage", param("userID", alice), from("10.0.0.5")).status, 200);
    // A chain: the balancer appended the rightmost address.
    EXPECT_EQ(call(port, kLocal, "GetMessage", param("userID", alice), from("192.0.2.1, 10.0.0.5")).status, 200);
    // Another client behind the same balancer is not her.
    EXPECT_NE(call(port, kLocal, "GetMessage", param("userID", alice), from("10.0.0.6")).fault.find(kNotSignedIn),
              std::string::npos);
    // The balancer itself is not her either: no header, no member.
    EXPECT_NE(call(port, kLocal, "GetMessage", param("userID", alice)).fault.find(kNotSignedIn), std::string::npos);
    // Anyone else may write the header; it is not believed.
    EXPECT_NE(call(port, kAttacker, "GetMessage", param("userID", alice), from("10.0.0.5")).fault.find(kNotSignedIn),
              std::string::npos);
    // An entry that is not an address stops the walk at the balancer.
    EXPECT_NE(
        call(port, kLocal, "GetMessage", param("userID", alice), from("10.0.0.5, unknown")).fault.find(kNotSignedIn),
        std::string::npos);

    // Idle connections beyond the cap from the balancer still get in; from
    // elsewhere the cap holds.
    std::vector<std::unique_ptr<Connection>> idle;
    for (const char *source : {kLocal, kLocal, kLocal, kAttacker, kAttacker}) {
        idle.push_back(std::make_unique<Connection>(source, port));
        idle.back()->send("G");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(call(port, kLocal, "GetMessage", param("userID", alice), from("10.0.0.5")).status, 200);
    Connection third(kAttacker, port);
    third.send("GET /Varnel/Web/versioncheck.txt HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_EQ(parseReply(third.readAll(std::chrono::seconds(3))).status, 503);
}
