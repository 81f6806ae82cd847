// The community site served by the real varnel-server: question pages, the
// own-question and close-question pages, announcements, the moderators'
// entry, fixed pages, the version file and head images. Members, questions
// and answers are made through the SOAP service, as the client makes them.
#include "result_document.h"
#include "varnel_services.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <QString>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <poll.h>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace quillora::service;

namespace {

constexpr char kLatestVersion[] = "3.6.12.7";
// Every character that breaks an unencoded query: the client percent-encodes it.
constexpr char kAskerPassword[] = "a&b #+c";

// varnel-server --port 0 --demo on a temporary database and files directory.
class ServerProcess {
  public:
    bool start()
    {
        char pattern[] = "/tmp/site-test-XXXXXX";
        if (!mkdtemp(pattern))
            return false;
        dir = pattern;
        filesDir = dir / "files";
        fs::create_directories(filesDir);
        int out[2];
        if (pipe(out) != 0)
            return false;
        pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            const std::string db = (dir / "community.db").string(), files = filesDir.string(),
                              log = (dir / "requests.log").string();
            execl(VARNEL_SERVER_PATH, VARNEL_SERVER_PATH, "--port", "0", "--demo", "--db", db.c_str(), "--files",
                  files.c_str(), "--log", log.c_str(), "--latest-version", kLatestVersion, nullptr);
            _exit(127);
        }
        close(out[1]);
        outFd = out[0];
        // Read start-up lines until the server says it is ready.
        std::string pending;
        while (true) {
            pollfd p{outFd, POLLIN, 0};
            if (poll(&p, 1, 30000) <= 0)
                return false;
            char buf[4096];
            const ssize_t n = read(outFd, buf, sizeof buf);
            if (n <= 0)
                return false;
            pending.append(buf, static_cast<size_t>(n));
            size_t nl;
            while ((nl = pending.find('\n')) != std::string::npos) {
                lines.push_back(pending.substr(0, nl));
                pending.erase(0, nl + 1);
                if (lines.back() == "varnel-server ready")
                    return parsePort();
            }
        }
    }

    ~ServerProcess()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status = 0;
            waitpid(pid, &status, 0);
        }
        if (outFd >= 0)
            close(outFd);
        if (!dir.empty()) {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    }

    // "demo account NAME / PASSWORD (DESCRIPTION)" of the first account whose description contains `what`.
    std::pair<std::string, std::string> demoAccount(const std::string &what) const
    {
        static const std::regex kLine(R"(demo account (\S+) / (\S+) \((.*)\))");
        for (const auto &line : lines) {
            std::smatch m;
            if (std::regex_match(line, m, kLine) && m[3].str().find(what) != std::string::npos)
                return {m[1], m[2]};
        }
        return {};
    }

    int port = 0;
    fs::path dir, filesDir;
    std::vector<std::string> lines;

  private:
    bool parsePort()
    {
        static const std::regex kFirst(R"(varnel-server listening on http://127\.0\.0\.1:(\d+))");
        std::smatch m;
        if (lines.empty() || !std::regex_match(lines.front(), m, kFirst))
            return false;
        port = std::stoi(m[1]);
        return true;
    }

    pid_t pid = -1;
    int outFd = -1;
};

struct Member {
    int id = 0;
    std::string userName, password;
};

class SitePages : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        server = new ServerProcess;
        ASSERT_TRUE(server->start()) << "varnel-server did not start";
        asker = createMember("site_asker", kAskerPassword);
        answerer = createMember("site_answerer", "answer pw");
        ASSERT_GT(asker.id, 0);
        ASSERT_GT(answerer.id, 0);
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }

    static std::unique_ptr<CVarnelServices> service(Op op)
    {
        auto svc = std::make_unique<CVarnelServices>(
            SiteAddress{QStringLiteral("127.0.0.1"), static_cast<quint16>(server->port)});
        svc->useServiceAccount(op);
        return svc;
    }

    static Member createMember(const std::string &name, const std::string &password)
    {
        const QString n = QString::fromStdString(name), p = QString::fromStdString(password);
        bool created = false;
        {
            CVarnelServices svc(SiteAddress{QStringLiteral("127.0.0.1"), static_cast<quint16>(server->port)});
            svc.useServiceAccount(Op::CreateNewUser);
            EXPECT_TRUE(
                succeeded(svc.CreateNewUser(n, p, n, 1, n + QStringLiteral("@example.org"), QStringLiteral("3"), n,
                                            QString(), QString(), QString(), QStringLiteral("guid-") + n, &created)));
        }
        EXPECT_TRUE(created);
        return {userIdAndPoints(name, password).first, name, password};
    }

    // PKID and available points (field 5) of the sign-in document.
    static std::pair<int, int> userIdAndPoints(const std::string &name, const std::string &password)
    {
        CVarnelServices svc(SiteAddress{QStringLiteral("127.0.0.1"), static_cast<quint16>(server->port)});
        svc.useServiceAccount(Op::GetUserByUserName);
        QString doc;
        if (!succeeded(svc.GetUserByUserName(QString::fromStdString(name), QString::fromStdString(password), &doc)))
            return {0, 0};
        const auto records = readRecords(doc, kUserTag, 1, kSignInUserFields);
        if (records.records.empty())
            return {0, 0};
        int id = 0, points = 0;
        takeField(records.records.front(), 0, id);
        takeField(records.records.front(), 5, points);
        return {id, points};
    }

    // A question of `asker` in column 31 (Programming) with one answer; returns {postID, replyID}.
    static std::pair<int, int> askAndAnswer(const std::string &title, int points)
    {
        bool ok = false;
        int postID = 0, replyID = 0;
        {
            CVarnelServices svc(SiteAddress{QStringLiteral("127.0.0.1"), static_cast<quint16>(server->port)});
            svc.useServiceAccount(Op::CreatForumPost);
            EXPECT_TRUE(succeeded(svc.CreatForumPost(asker.id, QString::fromStdString(title), 31, points,
                                                     QStringLiteral("Line one\nline <two> & three"), &ok, &postID)));
            EXPECT_TRUE(ok);
        }
        {
            CVarnelServices svc(SiteAddress{QStringLiteral("127.0.0.1"), static_cast<quint16>(server->port)});
            svc.useServiceAccount(Op::CreatForumReply);
            EXPECT_TRUE(succeeded(svc.CreatForumReply(
                postID, answerer.id, 31, QStringLiteral("Try <img src=x onerror=alert(1)> first"), &ok, &replyID)));
            EXPECT_TRUE(ok);
        }
        return {postID, replyID};
    }

    static httplib::Client client()
    {
        httplib::Client c("127.0.0.1", server->port);
        c.set_url_encode(false); // paths are sent exactly as written here
        return c;
    }

    static std::string memberQuery(const Member &m)
    {
        return "USRID=" + std::to_string(m.id) + "&USRPSW=" + encode(m.password);
    }
    static std::string encode(const std::string &s)
    {
        std::string out;
        char buf[4];
        for (unsigned char c : s) {
            if (std::isalnum(c)) {
                out += static_cast<char>(c);
            } else {
                std::snprintf(buf, sizeof buf, "%%%02X", c);
                out += buf;
            }
        }
        return out;
    }

    static ServerProcess *server;
    static Member asker, answerer;
};

ServerProcess *SitePages::server = nullptr;
Member SitePages::asker, SitePages::answerer;

TEST_F(SitePages, VersionFileIsTheExactText)
{
    auto c = client();
    const auto res = c.Get("/Varnel/Web/versioncheck.txt");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, kLatestVersion);
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/plain");
}

TEST_F(SitePages, QuestionPageShowsEscapedQuestionAndAnswersForEveryZonePage)
{
    const auto [postID, replyID] = askAndAnswer("Why does <script>alert(1)</script> run?", 60);
    auto c = client();
    for (const char *page : {"ShowSoftPost", "ShowHardPost", "ShowGamePost", "ShowProgPost"}) {
        SCOPED_TRACE(page);
        const auto res = c.Get("/Varnel/Web/" + std::string(page) + ".aspx?PostID=" + std::to_string(postID) + "&" +
                               memberQuery(asker) + "&temp=1");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_NE(res->body.find("Why does &lt;script&gt;alert(1)&lt;/script&gt; run?"), std::string::npos);
        EXPECT_NE(res->body.find("line &lt;two&gt; &amp; three"), std::string::npos);
        EXPECT_NE(res->body.find("Try &lt;img src=x onerror=alert(1)&gt; first"), std::string::npos);
        EXPECT_EQ(res->body.find("<script>"), std::string::npos);
        EXPECT_EQ(res->body.find("<img"), std::string::npos);
        EXPECT_NE(res->body.find("site_answerer"), std::string::npos);
        EXPECT_NE(res->body.find("60 points"), std::string::npos);
        EXPECT_NE(res->body.find("Programming"), std::string::npos);
        // The address holds the password: the page must neither be cached nor sent on as a referrer.
        EXPECT_EQ(res->get_header_value("Referrer-Policy"), "no-referrer");
        EXPECT_EQ(res->get_header_value("Cache-Control"), "no-store");
    }
}

TEST_F(SitePages, MemberPagesRefuseWrongOrMissingPasswords)
{
    const auto [postID, replyID] = askAndAnswer("Refusals", 40);
    const std::string id = std::to_string(postID);
    auto c = client();
    // Left unencoded, the "&" of the password ends the value: the server sees "a" and refuses.
    const std::string wrong = "USRID=" + std::to_string(asker.id) + "&USRPSW=a&b" + encode(" #+c");
    for (const std::string &path :
         {"/Varnel/Web/ShowProgPost.aspx?PostID=" + id + "&" + wrong,
          "/Varnel/Web/MyPost.aspx?PostID=" + id + "&" + wrong, "/Varnel/Web/MyPost.aspx?PostID=" + id,
          "/Varnel/Web/EndPost.aspx?PostID=" + id + "&USRID=" + std::to_string(asker.id) +
              "&USRPSW=" + encode("a&b #+C"),
          "/Varnel/Web/EndPost.aspx?PostID=" + id}) {
        SCOPED_TRACE(path);
        const auto res = c.Get(path);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 403);
        EXPECT_EQ(res->body.find("Refusals"), std::string::npos);
    }
    // Another member's own-question and close pages are refused too.
    for (const char *page : {"MyPost", "EndPost"}) {
        const auto res = c.Get("/Varnel/Web/" + std::string(page) + ".aspx?PostID=" + id + "&" + memberQuery(answerer));
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 403) << page;
    }
    const auto own = c.Get("/Varnel/Web/MyPost.aspx?PostID=" + id + "&" + memberQuery(asker));
    ASSERT_TRUE(own);
    EXPECT_EQ(own->status, 200);
    EXPECT_NE(own->body.find("Refusals"), std::string::npos);
}

TEST_F(SitePages, UnknownQuestionIsNotFound)
{
    auto c = client();
    for (const std::string query : {"PostID=999999", "PostID=abc", "PostID=-1", ""}) {
        const auto res = c.Get("/Varnel/Web/ShowSoftPost.aspx?" + query);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 404) << query;
    }
}

TEST_F(SitePages, EndPostValidatesThenClosesAndPaysTheAnswerer)
{
    const auto [postID, replyID] = askAndAnswer("Close me", 80);
    const std::string id = std::to_string(postID);
    auto c = client();
    const auto form = c.Get("/Varnel/Web/EndPost.aspx?PostID=" + id + "&" + memberQuery(asker));
    ASSERT_TRUE(form);
    EXPECT_EQ(form->status, 200);
    const std::string field = "pts_" + std::to_string(replyID);
    EXPECT_NE(form->body.find("name=\"" + field + "\""), std::string::npos);

    const int before = userIdAndPoints(answerer.userName, answerer.password).second;
    httplib::Params params{{"PostID", id}, {"USRID", std::to_string(asker.id)}, {"USRPSW", asker.password}};

    auto wrongSum = params;
    wrongSum.emplace(field, "50");
    auto res = c.Post("/Varnel/Web/EndPost.aspx", wrongSum);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);
    EXPECT_NE(res->body.find("must add up to exactly 80 (you gave 50)"), std::string::npos);

    auto notANumber = params;
    notANumber.emplace(field, "8O");
    res = c.Post("/Varnel/Web/EndPost.aspx", notANumber);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);
    EXPECT_NE(res->body.find("whole numbers from 0 to 80"), std::string::npos);

    auto otherMember = wrongSum;
    otherMember.erase("USRPSW");
    otherMember.emplace("USRPSW", "guess");
    res = c.Post("/Varnel/Web/EndPost.aspx", otherMember);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 403);
    EXPECT_EQ(userIdAndPoints(answerer.userName, answerer.password).second, before);

    auto good = params;
    good.emplace(field, "80");
    res = c.Post("/Varnel/Web/EndPost.aspx", good);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("The question is closed"), std::string::npos);
    EXPECT_EQ(userIdAndPoints(answerer.userName, answerer.password).second, before + 80);

    // Closed for good: the page says so, and a second submission pays nothing.
    res = c.Post("/Varnel/Web/EndPost.aspx", good);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);
    EXPECT_NE(res->body.find("already closed"), std::string::npos);
    EXPECT_EQ(userIdAndPoints(answerer.userName, answerer.password).second, before + 80);
    const auto page = c.Get("/Varnel/Web/ShowProgPost.aspx?PostID=" + id + "&" + memberQuery(answerer));
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find(">Closed<"), std::string::npos);
}

TEST_F(SitePages, AnnouncementPageShowsTheMarkupTitleSafely)
{
    // The demo's first announcement of the Software zone that opens the announcement page.
    QString doc;
    {
        ASSERT_TRUE(succeeded(service(Op::SendThreadsByType)->SendThreadsByType(1, &doc)));
    }
    const auto rows = readRecords(doc, kForumPostsTag, 50, kAnnouncementFields);
    std::string target;
    for (const auto &row : rows.records) {
        if (row.size() == 3 && (row[0] == QLatin1String("0") || row[0] == QLatin1String("1"))) {
            target = row[2].toStdString();
            break;
        }
    }
    ASSERT_FALSE(target.empty()) << "no notice in the demo's Software zone";
    auto c = client();
    const auto res = c.Get("/Varnel/Web/Announce.aspx?PostID=" + target);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body.find("{b}"), std::string::npos) << "markup tags must be rendered, not shown";
    const auto missing = c.Get("/Varnel/Web/Announce.aspx?PostID=987654");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
}

TEST_F(SitePages, ModeratorSignsInAndPostsAnnouncement)
{
    const auto [modName, modPassword] = server->demoAccount("moderator");
    ASSERT_FALSE(modName.empty()) << "no moderator among the demo accounts";
    auto c = client();
    // A plain member is not let in.
    auto res = c.Post("/Varnel/Web/Admin/login.aspx",
                      httplib::Params{{"UserName", asker.userName}, {"Password", asker.password}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 403);
    EXPECT_TRUE(res->get_header_value("Set-Cookie").empty());

    res = c.Post("/Varnel/Web/Admin/login.aspx", httplib::Params{{"UserName", modName}, {"Password", modPassword}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 303);
    const std::string setCookie = res->get_header_value("Set-Cookie");
    const std::string cookie = setCookie.substr(0, setCookie.find(';'));
    ASSERT_EQ(cookie.rfind("VarnelModerator=", 0), 0u);

    const httplib::Headers headers{{"Cookie", cookie}};
    res = c.Get("/Varnel/Web/Admin/login.aspx", headers);
    ASSERT_TRUE(res);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(res->body, m, std::regex(R"re(name="token" value="([0-9a-f]+)")re")));
    const std::string token = m[1];

    const std::string title = "{b}Maintenance{/b} <script>x</script> tonight";
    httplib::Params post{{"token", token}, {"zone", "3"},  {"kind", "0"},
                         {"title", title}, {"target", ""}, {"body", "Down for an hour & back soon"}};
    res = c.Post("/Varnel/Web/Admin/announce.aspx", headers, post);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body.find("<script>x"), std::string::npos);

    // Without the form token, or without the session, nothing is posted.
    post.erase("token");
    post.emplace("token", "0000");
    res = c.Post("/Varnel/Web/Admin/announce.aspx", headers, post);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 403);

    // The client sees the new announcement in the Game zone, and its page renders safely.
    QString doc;
    {
        ASSERT_TRUE(succeeded(service(Op::SendThreadsByType)->SendThreadsByType(3, &doc)));
    }
    const auto rows = readRecords(doc, kForumPostsTag, 50, kAnnouncementFields);
    int found = 0;
    std::string target;
    for (const auto &row : rows.records) {
        if (row.size() == 3 && row[1].toStdString() == title) {
            ++found;
            target = row[2].toStdString();
        }
    }
    ASSERT_EQ(found, 1);
    res = c.Get("/Varnel/Web/Announce.aspx?PostID=" + target);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("<span class=\"mk-b\">Maintenance</span> &lt;script&gt;x&lt;/script&gt; tonight"),
              std::string::npos);
    EXPECT_NE(res->body.find("Down for an hour &amp; back soon"), std::string::npos);
}

TEST_F(SitePages, HeadImagesOnlyPlainDecimalNamesInsideTheDirectory)
{
    const std::string bytes("BM\x00\x01\x02\xFF image", 13);
    std::ofstream(server->filesDir / "4242.bmp", std::ios::binary) << bytes;
    std::ofstream(server->dir / "7777.bmp", std::ios::binary) << "outside";
    std::ofstream(server->filesDir / "abc.bmp", std::ios::binary) << "not a user";
    fs::create_symlink(server->dir / "7777.bmp", server->filesDir / "5555.bmp");

    auto c = client();
    auto res = c.Get("/Varnel/Web/images/CustomFace/4242.bmp");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, bytes);
    EXPECT_EQ(res->get_header_value("Content-Type"), "image/bmp");
    for (const std::string name : {"..%2F7777.bmp", "../7777.bmp", "%2E%2E%2F7777.bmp", "abc.bmp", "5555.bmp",
                                   "4242.bmp%00", "4242.BMP", "+4242.bmp", "0.bmp", "4242", "1.bmp"}) {
        res = c.Get("/Varnel/Web/images/CustomFace/" + name);
        ASSERT_TRUE(res) << name;
        EXPECT_EQ(res->status, 404) << name;
        EXPECT_EQ(res->body.find("outside"), std::string::npos) << name;
    }
}

TEST_F(SitePages, FixedPagesAndDownloadAreServed)
{
    auto c = client();
    for (const char *path : {"/", "/Quillora/Help.htm", "/Quillora/Password.htm", "/Quillora/download.htm",
                             "/Quillora/Download.htm", "/Quillora/GetPoints.htm", "/Varnel/Web/Admin/login.aspx"}) {
        const auto res = c.Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200) << path;
        EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8") << path;
        EXPECT_EQ(res->body.rfind("<!DOCTYPE html>", 0), 0u) << path;
        EXPECT_NE(res->body.find("/Varnel/Web/site.css"), std::string::npos) << path;
    }
    auto res = c.Get("/Varnel/Web/site.css");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/css; charset=utf-8");
    res = c.Get("/Quillora/download/Quillora.exe");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "application/octet-stream");
    EXPECT_NE(res->body.find("Linux"), std::string::npos);
}

// Packages the operators put into <files>/download are offered on the download
// page as they appear, newest name first in line, and served byte for byte;
// nothing else in or around that folder is.
TEST_F(SitePages, DownloadPageOffersTheClientPackage)
{
    auto c = client();
    const fs::path download = server->filesDir / "download";
    auto res = c.Get("/Quillora/download.htm");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body.find("apt install"), std::string::npos) << "no package yet";

    fs::create_directories(download);
    std::string package(200000, '\0');
    for (size_t i = 0; i < package.size(); ++i)
        package[i] = char(i * 7 + 3);
    std::ofstream(download / "quillora_3.5.0.1-1_amd64.deb", std::ios::binary) << package;
    std::ofstream(download / "quillora_3.4.0.0-1_amd64.deb", std::ios::binary) << "old";
    std::ofstream(download / "notes.txt") << "not a package";
    std::ofstream(server->filesDir / "secret.deb") << "outside the folder";
    fs::create_symlink(server->filesDir / "secret.deb", download / "linked.deb");

    res = c.Get("/Quillora/download.htm");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("href=\"/Quillora/download/quillora_3.5.0.1-1_amd64.deb\">Download "
                             "quillora_3.5.0.1-1_amd64.deb</a>"),
              std::string::npos)
        << res->body;
    EXPECT_NE(res->body.find("sudo apt install ./quillora_3.5.0.1-1_amd64.deb"), std::string::npos);
    EXPECT_NE(res->body.find("(0.2 MB)"), std::string::npos);
    EXPECT_NE(res->body.find("href=\"/Quillora/download/quillora_3.4.0.0-1_amd64.deb\""), std::string::npos);
    EXPECT_EQ(res->body.find("notes.txt"), std::string::npos);
    EXPECT_EQ(res->body.find("linked.deb"), std::string::npos);

    res = c.Get("/Quillora/download/quillora_3.5.0.1-1_amd64.deb");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "application/vnd.debian.binary-package");
    EXPECT_EQ(res->body, package);

    for (const char *path : {"/Quillora/download/linked.deb", "/Quillora/download/absent.deb",
                             "/Quillora/download/..%2Fsecret.deb", "/Quillora/download/.hidden.deb"}) {
        res = c.Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 404) << path;
        EXPECT_EQ(res->body.find("outside the folder"), std::string::npos) << path;
    }
    fs::remove_all(download);
    fs::remove(server->filesDir / "secret.deb");
}

} // namespace
