// varnel-server over HTTPS: calls, pages and large transfers with the
// certificate checked, the protocol versions it takes, sessions resumed on
// reconnecting, the files it refuses to start with, and the plain port that
// sends pages to the HTTPS site.
#include "request_framing.h"
#include "server_test_support.h"
#include "site_config.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

using namespace servertest;
using quillora::testpeers::TestCertificateAuthority;
using quillora::testpeers::TlsClientOptions;
using quillora::testpeers::VarnelServerProcess;

namespace {

constexpr char kLocal[] = "127.0.0.1";
const std::string kGet = "GET /Varnel/Web/versioncheck.txt HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

int parseStatus(const std::string &raw)
{
    std::smatch m;
    return std::regex_search(raw, m, std::regex("^HTTP/1\\.1 (\\d{3})")) ? std::stoi(m[1]) : 0;
}

// The first number in `name` elements of a result document inside an answer.
int firstNumber(const std::string &answer, const std::string &name)
{
    std::smatch m;
    return std::regex_search(answer, m, std::regex("&lt;" + name + "&gt;(\\d+)&lt;")) ? std::stoi(m[1]) : 0;
}

// An HTTPS client that trusts only the server's own CA.
std::unique_ptr<httplib::SSLClient> httpsClient(const VarnelServerProcess &server)
{
    auto client = std::make_unique<httplib::SSLClient>(server.host(), server.port());
    client->set_ca_cert_path(server.caFile().string());
    client->enable_server_certificate_verification(true);
    client->set_keep_alive(true);
    client->set_read_timeout(20, 0);
    return client;
}

httplib::Result soapCall(httplib::SSLClient &client, const std::string &operation, const std::string &params)
{
    return client.Post(quillora::service::kServicePath, envelope(operation, params), "text/xml; charset=utf-8");
}

// Sends `request` over TLS whose records reach the server in pieces, as over
// a real network where a 16 KiB record spans a dozen segments: the client's
// TLS runs on one end of a socket pair, and its bytes go on to the server
// 500 at a time with a pause between. Everything the server answers, until
// it closes.
std::string piecemealExchange(int port, const TlsClientOptions &options, const std::string &request)
{
    int pair[2];
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0 ||
        ::connect(server, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0)
        return "no connection";
    std::thread relay([relayEnd = pair[1], server] {
        char buffer[500];
        bool open = true;
        for (pollfd p[2] = {{relayEnd, POLLIN, 0}, {server, POLLIN, 0}}; open && ::poll(p, 2, 30000) > 0;) {
            for (int i = 0; open && i < 2; ++i) {
                const ssize_t n = p[i].revents ? ::recv(p[i].fd, buffer, sizeof buffer, 0) : 0;
                open = !p[i].revents || (n > 0 && ::send(p[1 - i].fd, buffer, size_t(n), MSG_NOSIGNAL) == n);
                if (i == 0 && n > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        ::shutdown(relayEnd, SHUT_RDWR); // the client reads the end of the answer
    });
    std::string answer, error;
    if (SSL *ssl = quillora::testpeers::startTls(pair[0], options, &error)) {
        SSL_write(ssl, request.data(), static_cast<int>(request.size()));
        char buffer[4096];
        for (int n; (n = SSL_read(ssl, buffer, sizeof buffer)) > 0;)
            answer.append(buffer, static_cast<size_t>(n));
        SSL_free(ssl);
    } else {
        answer = error;
    }
    ::shutdown(pair[0], SHUT_RDWR);
    relay.join();
    for (const int fd : {pair[0], pair[1], server})
        ::close(fd);
    return answer;
}

// A temporary folder for a test's own files.
struct ScratchDir {
    ScratchDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "varnel-tls-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path = pattern;
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

} // namespace

TEST(ServerTls, CallsPagesAndLargeTransfersGoOverHttpsWithTheCertificateChecked)
{
    VarnelServerProcess server({.demo = true, .tls = true});
    ASSERT_TRUE(server.started()) << server.error();
    const std::string site = "https://127.0.0.1:" + std::to_string(server.port());
    EXPECT_EQ(server.stdoutLines().front(), "varnel-server listening on " + site);
    EXPECT_EQ(server.siteAddress(), site);
    auto https = httpsClient(server);

    // Sign-in, a list and the question page that carries the password.
    const auto signedIn =
        soapCall(*https, "GetUserByUserName", param("userName", "alice") + param("password", "alice123"));
    ASSERT_TRUE(signedIn) << httplib::to_string(signedIn.error());
    ASSERT_EQ(signedIn->status, 200) << signedIn->body;
    const int alice = firstNumber(signedIn->body, "PKID");
    const auto list = soapCall(*https, "GetForumPostListByColumn",
                               param("forumColumnID", 1) + param("pageSize", 15) + param("currentPageIndex", 1));
    ASSERT_TRUE(list);
    const int question = firstNumber(list->body, "PKID");
    ASSERT_GT(question, 0) << list->body;
    const auto page = https->Get("/Varnel/Web/ShowSoftPost.aspx?PostID=" + std::to_string(question) +
                                 "&USRID=" + std::to_string(alice) + "&USRPSW=alice123");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200) << page->body;

    // The absolute addresses the server writes name the HTTPS site: the
    // WSDL's endpoint and the demo's link announcements.
    const auto wsdl = https->Get("/Varnel/Web/Services/VarnelServices.asmx?wsdl");
    ASSERT_TRUE(wsdl);
    EXPECT_NE(wsdl->body.find("location=\"" + site + "/Varnel/Web/Services/VarnelServices.asmx\""), std::string::npos);
    const auto announcements = soapCall(*https, "SendThreadsByType", param("type", 1));
    ASSERT_TRUE(announcements);
    EXPECT_NE(announcements->body.find(site + "/Quillora/Help.htm"), std::string::npos) << announcements->body;

    // A request body at the cap is read whole (the fault is about its text),
    // and a download of megabytes arrives whole to a client that is slow to
    // start reading it.
    const size_t room = varnel::kMaxRequestBody -
                        envelope("SendMessage", param("from", alice) + param("to", 2) + param("msg", "")).size();
    const auto big =
        soapCall(*https, "SendMessage", param("from", alice) + param("to", 2) + param("msg", std::string(room, 'm')));
    ASSERT_TRUE(big);
    EXPECT_NE(big->body.find("message is longer"), std::string::npos) << big->body.substr(0, 400);
    std::string package(6 * 1024 * 1024, '\0');
    std::mt19937 random(21);
    for (char &c : package)
        c = static_cast<char>(random());
    std::filesystem::create_directories(server.filesDir() / "download");
    std::ofstream(server.filesDir() / "download" / "quillora_3.5.0.1_amd64.deb", std::ios::binary) << package;
    std::string received;
    const auto download =
        https->Get("/Quillora/download/quillora_3.5.0.1_amd64.deb", [&received](const char *data, size_t length) {
            if (received.empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
            received.append(data, length);
            return true;
        });
    ASSERT_TRUE(download);
    EXPECT_EQ(download->status, 200);
    EXPECT_TRUE(received == package) << received.size() << " bytes arrived";

    // A call whose records arrive in pieces is read whole.
    const std::string search = envelope("GetSearchForumPostsByTitle",
                                        param("forumID", 0) + param("keyword", "x") + param("pageSize", 15) +
                                            param("currentPageIndex", 1) + "<!--" + std::string(40000, 'p') + "-->");
    const std::string answer = piecemealExchange(
        server.port(), {.caFile = server.caFile().string()},
        "POST /Varnel/Web/Services/VarnelServices.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
        "Content-Type: text/xml; charset=utf-8\r\nContent-Length: " +
            std::to_string(search.size()) + "\r\n\r\n" + search);
    EXPECT_EQ(parseStatus(answer), 200) << answer.substr(0, 400);

    // A client that does not trust the CA gets nothing; nor does plain HTTP
    // on the HTTPS port.
    httplib::SSLClient untrusting(server.host(), server.port());
    untrusting.enable_server_certificate_verification(true);
    EXPECT_FALSE(untrusting.Get("/Varnel/Web/versioncheck.txt"));
    Connection plain(kLocal, server.port());
    ASSERT_TRUE(plain.ok());
    plain.send(kGet);
    EXPECT_EQ(plain.readAll(std::chrono::seconds(10)).find("HTTP/1.1"), std::string::npos);
    EXPECT_TRUE(plain.closedByPeer());
}

// Handshakes run where connections wait between requests, not on a worker:
// callers that open connections and never finish their handshake, and
// members idle between calls, leave the server's two workers free, and a
// new member is answered at once.
TEST(ServerTls, StalledHandshakesAndIdleConnectionsHoldNoWorker)
{
    VarnelServerProcess server({.extraArgs = {"--threads", "2"}, .tls = true});
    ASSERT_TRUE(server.started()) << server.error();
    std::vector<std::unique_ptr<Connection>> held;
    for (int i = 0; i < 6; ++i) {
        held.push_back(std::make_unique<Connection>("127.0.0.2", server.port())); // says nothing
        auto idle = std::make_unique<Connection>("127.0.0.3", server.port(),
                                                 TlsClientOptions{.caFile = server.caFile().string()});
        ASSERT_TRUE(idle->ok()) << idle->tlsError();
        idle->send(kGet);
        EXPECT_EQ(parseStatus(idle->readResponse()), 200);
        held.push_back(std::move(idle));
    }
    // Half a handshake: the first bytes of a record that never ends.
    Connection halfway("127.0.0.2", server.port());
    halfway.send(std::string("\x16\x03\x01\x02\x00\x01", 6));
    const auto t0 = std::chrono::steady_clock::now();
    auto https = httpsClient(server);
    const auto answer = https->Get("/Varnel/Web/versioncheck.txt");
    ASSERT_TRUE(answer) << httplib::to_string(answer.error());
    EXPECT_EQ(answer->status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
    // The idle members' connections still serve them.
    for (size_t i = 1; i < held.size(); i += 2) {
        held[i]->send(kGet);
        EXPECT_EQ(parseStatus(held[i]->readResponse()), 200) << i;
    }
}

// TLS 1.0 and 1.1 are refused; a reconnecting client resumes its session,
// by ticket or from the session cache; a kept-alive connection pays one
// handshake for all its calls. SIGUSR1 makes the server count them.
TEST(ServerTls, OnlyTls12AndLaterAndReconnectsResumeTheirSession)
{
    VarnelServerProcess server({.tls = true});
    ASSERT_TRUE(server.started()) << server.error();
    const std::string ca = server.caFile().string();

    const struct {
        const char *name;
        int version;
        bool accepted;
    } versions[] = {
        {"TLS 1.0", TLS1_VERSION, false},
        {"TLS 1.1", TLS1_1_VERSION, false},
        {"TLS 1.2", TLS1_2_VERSION, true},
        {"TLS 1.3", TLS1_3_VERSION, true},
    };
    for (const auto &v : versions) {
        Connection c(kLocal, server.port(), {.caFile = ca, .maxVersion = v.version});
        EXPECT_EQ(c.ok(), v.accepted) << v.name << ": " << c.tlsError();
        if (c.ok())
            EXPECT_EQ(SSL_version(c.ssl()), v.version) << v.name;
        else
            EXPECT_NE(c.tlsError().find("protocol version"), std::string::npos) << v.name << ": " << c.tlsError();
    }

    const struct {
        const char *name;
        int version;
        bool tickets;
    } resumptions[] = {
        {"TLS 1.3 ticket", TLS1_3_VERSION, true},
        {"TLS 1.2 ticket", TLS1_2_VERSION, true},
        {"TLS 1.2 session cache", TLS1_2_VERSION, false},
    };
    for (const auto &r : resumptions) {
        SSL_SESSION *session = nullptr;
        {
            Connection first(kLocal, server.port(), {.caFile = ca, .maxVersion = r.version, .tickets = r.tickets});
            ASSERT_TRUE(first.ok()) << r.name << ": " << first.tlsError();
            first.send(kGet);
            // TLS 1.3 tickets arrive after the handshake, read with the answer.
            EXPECT_EQ(parseStatus(first.readResponse()), 200) << r.name;
            session = SSL_get1_session(first.ssl());
        }
        Connection again(kLocal, server.port(),
                         {.caFile = ca, .maxVersion = r.version, .resume = session, .tickets = r.tickets});
        SSL_SESSION_free(session);
        ASSERT_TRUE(again.ok()) << r.name << ": " << again.tlsError();
        EXPECT_EQ(SSL_session_reused(again.ssl()), 1) << r.name;
        again.send(kGet);
        EXPECT_EQ(parseStatus(again.readResponse()), 200) << r.name;
    }

    Connection kept(kLocal, server.port(), {.caFile = ca});
    ASSERT_TRUE(kept.ok()) << kept.tlsError();
    for (int i = 0; i < 3; ++i) {
        kept.send(kGet);
        EXPECT_EQ(parseStatus(kept.readResponse()), 200) << "call " << i;
    }

    ASSERT_EQ(::kill(server.pid(), SIGUSR1), 0);
    const std::string expected = "varnel-server served 9 requests; TLS handshakes: 6 full, 3 resumed, 2 failed";
    std::string last;
    for (int i = 0; i < 200 && last.rfind("varnel-server served", 0) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        last = server.stdoutLines().back();
    }
    EXPECT_EQ(last, expected);
}

// What the server refuses to start with: it says why and exits before it
// listens.
TEST(ServerTls, KeyAndCertificateProblemsStopTheStart)
{
    ScratchDir dir;
    ASSERT_FALSE(dir.path.empty());
    const TestCertificateAuthority ca(dir.path);
    ASSERT_TRUE(ca.ok()) << ca.error();
    const auto server = ca.issue("server");
    const auto other = ca.issue("other");
    ASSERT_FALSE(server.cert.empty());
    ASSERT_FALSE(other.cert.empty());
    const auto copy = [&](const std::filesystem::path &from, const std::string &name, mode_t mode) {
        const std::filesystem::path to = dir.path / name;
        std::filesystem::copy_file(from, to);
        ::chmod(to.c_str(), mode);
        return to.string();
    };
    const std::string cert = server.cert.string();
    const std::string everyone = copy(server.key, "everyone.key", 0644);
    const std::string group = copy(server.key, "group.key", 0640);
    const std::string certAsKey = copy(server.cert, "cert-as-key.pem", 0600);

    const struct {
        const char *what;
        std::string args;
        int exitCode;
        std::string message;
    } cases[] = {
        {"key readable by all", "--tls-cert " + cert + " --tls-key " + everyone, 1,
         "varnel-server: TLS key file " + everyone +
             " may be read by others (mode 0644); make it owner-only (chmod 600)"},
        {"key readable by the group", "--tls-cert " + cert + " --tls-key " + group, 1, "(mode 0640)"},
        {"key of another certificate", "--tls-cert " + cert + " --tls-key " + other.key.string(), 1,
         "varnel-server: TLS key file " + other.key.string() + " does not belong to the certificate in " + cert},
        {"no key in the key file", "--tls-cert " + cert + " --tls-key " + certAsKey, 1,
         "does not hold a PEM private key without a passphrase"},
        {"no certificate file",
         "--tls-cert " + (dir.path / "absent.pem").string() + " --tls-key " + server.key.string(), 1,
         "varnel-server: cannot read the certificate chain in " + (dir.path / "absent.pem").string()},
        {"certificate without key", "--tls-cert " + cert, 2, "varnel-server: --tls-cert and --tls-key go together"},
        {"redirect without TLS", "--tls-redirect-port 0", 2,
         "varnel-server: --tls-redirect-port needs --tls-cert and --tls-key"},
    };
    for (const auto &c : cases) {
        const std::string command =
            "timeout 60 " + VarnelServerProcess::binaryPath() + " --port 0 " + c.args + " 2>&1 </dev/null";
        FILE *pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        char buffer[512];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, got);
        const int status = pclose(pipe);
        EXPECT_EQ(WEXITSTATUS(status), c.exitCode) << c.what << ": " << output;
        EXPECT_NE(output.find(c.message), std::string::npos) << c.what << ": " << output;
        EXPECT_EQ(output.find("listening on"), std::string::npos) << c.what << ": " << output;
    }
}

// The plain port answers a page with a redirect to the same address on the
// HTTPS site and refuses anything else unread, closing every connection.
TEST(ServerTls, ThePlainPortSendsPagesToHttpsAndNeverServesACall)
{
    VarnelServerProcess server({.demo = true, .extraArgs = {"--tls-redirect-port", "0"}, .tls = true});
    ASSERT_TRUE(server.started()) << server.error();
    const std::string site = "https://127.0.0.1:" + std::to_string(server.port());
    const auto lines = server.stdoutLines();
    ASSERT_GE(lines.size(), 2u);
    std::smatch m;
    ASSERT_TRUE(
        std::regex_match(lines[1], m, std::regex("varnel-server redirects http://127\\.0\\.0\\.1:(\\d+) to (.*)")))
        << lines[1];
    const int plainPort = std::stoi(m[1]);
    EXPECT_EQ(m[2], site);

    const std::string registration =
        envelope("CreateNewUser", param("userName", "incleartext") + param("password", "secret1") +
                                      param("nickName", "x") + param("sex", 0) + param("email", "x@example.org") +
                                      param("face", "1") + param("name", "") + param("address", "") +
                                      param("phone", "") + param("leader", "") + param("userGuid", "g"));
    const std::string page = "/Varnel/Web/ShowSoftPost.aspx?PostID=3&USRID=1&USRPSW=alice123";
    const struct {
        const char *what;
        std::string request;
        int status;
        std::string expected; // in the answer
    } cases[] = {
        {"question page", "GET " + page + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 301,
         "\r\nLocation: " + site + page + "\r\n"},
        {"HEAD", "HEAD /Varnel/Web/versioncheck.txt HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 301,
         "\r\nLocation: " + site + "/Varnel/Web/versioncheck.txt\r\n"},
        {"absolute-form target", "GET http://elsewhere.example/x HTTP/1.1\r\nHost: elsewhere.example\r\n\r\n", 301,
         "\r\nLocation: " + site + "/\r\n"},
        {"SOAP call",
         "POST /Varnel/Web/Services/VarnelServices.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\n"
         "Content-Type: text/xml; charset=utf-8\r\nContent-Length: " +
             std::to_string(registration.size()) + "\r\n\r\n" + registration,
         500, "This service takes calls over HTTPS only: " + site + "/Varnel/Web/Services/VarnelServices.asmx"},
        {"form", "POST /Varnel/Web/EndPost.aspx HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 8\r\n\r\npts_1=40", 403,
         "This site takes requests over HTTPS only: " + site + "/Varnel/Web/EndPost.aspx"},
    };
    for (const auto &c : cases) {
        Connection conn(kLocal, plainPort);
        ASSERT_TRUE(conn.ok());
        conn.send(c.request);
        const std::string raw = conn.readAll(std::chrono::seconds(10));
        EXPECT_EQ(parseStatus(raw), c.status) << c.what << ": " << raw;
        EXPECT_NE(raw.find(c.expected), std::string::npos) << c.what << ": " << raw;
        EXPECT_TRUE(conn.closedByPeer()) << c.what;
    }

    // The registration sent in clear was not acted on.
    auto https = httpsClient(server);
    const auto exists = soapCall(*https, "IsUserExistsByName", param("userName", "incleartext"));
    ASSERT_TRUE(exists);
    EXPECT_NE(exists->body.find(">false<"), std::string::npos) << exists->body;
}
