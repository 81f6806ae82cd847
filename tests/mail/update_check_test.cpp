#include "scripted_http_peer.h"
#include "test_certificates.h"
#include "update_check.h"
#include "varnel_server_process.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <cstdlib>

using namespace quillora::mail;
using quillora::testpeers::httpResponse;
using quillora::testpeers::PeerScript;
using quillora::testpeers::ScriptedHttpPeer;

TEST(VersionCompare, Table)
{
    struct Row {
        const char *name;
        const char *a;
        const char *b;
        int expected;
    };
    const Row rows[] = {
        {"newer last part", "3.5.0.2", "3.5.0.1", 1},
        {"equal", "3.5.0.1", "3.5.0.1", 0},
        {"older", "3.4.9.9", "3.5.0.1", -1},
        {"single part newer", "4", "3.5.0.1", 1},
        {"missing parts are zero", "3.5", "3.5.0.0", 0},
        {"empty part skipped", "3..6", "3.6", 0},
        {"leading and trailing dots", ".3.5.", "3.5", 0},
        {"numbers compare by value, not text", "3.10", "3.9", 1},
        {"leading zeros", "03.005", "3.5", 0},
        {"trailing line break is not a digit", "3.5.0.2\n", "3.5.0.1", -21},
        {"five parts", "3.5.0.1.1", "3.5.0.1", -21},
        {"no part", "...", "3.5", -21},
        {"empty", "", "3.5", -21},
        {"sign", "-3.5", "3.5", -21},
        {"blank", "3. 5", "3.5", -21},
        {"second malformed", "3.5", "3.x", -22},
        {"first checked first", "x", "y", -21},
        {"beyond 32 bits", "3.99999999999", "3.4294967296", 1},
        {"wide digits are not digits", "3.\xd9\xa5", "3.5", -21},
    };
    for (const Row &r : rows)
        EXPECT_EQ(Compare(QString::fromUtf8(r.a), QString::fromUtf8(r.b)), r.expected) << r.name;
}

TEST(VersionCompare, VersionTextFromTheFixedVersion)
{
    EXPECT_EQ(versionTextFromFixed(0x00030005, 0x00000001), QStringLiteral("3.5.0.1"));
    EXPECT_EQ(versionTextFromFixed(0x00030005, 0), QStringLiteral("3.5"));
    EXPECT_EQ(versionTextFromFixed(0, 0x00020003), QStringLiteral("0.0.2.3"));
    EXPECT_TRUE(versionTextFromFixed(0, 0).isEmpty());
    quint32 ms = 0, ls = 0;
    fixedFromVersionText(QStringLiteral("3.5.0.1"), &ms, &ls);
    EXPECT_EQ(ms, 0x00030005u);
    EXPECT_EQ(ls, 0x00000001u);
}

class UpdateCheckTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("no_proxy", "127.0.0.1,localhost", 1); }

    static QString base(const ScriptedHttpPeer &peer) { return QString::fromStdString(peer.url("/Varnel/Web/")); }
    static PeerScript serving(const QByteArray &body, int status = 200)
    {
        return PeerScript().readRequest().send(httpResponse(status, {{"Content-Type", "text/plain"}}, body));
    }
};

TEST_F(UpdateCheckTest, NewerVersionIsOfferedWithBothTexts)
{
    ScriptedHttpPeer peer({serving("3.5.0.2")});
    CUpdateChecker checker(QStringLiteral("3.5.0.1"));
    EXPECT_TRUE(checker.check(base(peer)));
    EXPECT_EQ(checker.currentVersion(), QStringLiteral("3.5.0.1"));
    EXPECT_EQ(checker.latestVersion(), QStringLiteral("3.5.0.2"));

    const auto requests = peer.allRequests();
    ASSERT_EQ(requests.size(), 1u);
    const QByteArray &request = requests[0];
    EXPECT_TRUE(request.startsWith("GET /Varnel/Web/versioncheck.txt HTTP/1.1\r\n")) << request.constData();
    EXPECT_TRUE(request.contains("\r\nUser-Agent: AutoUpdateAgent\r\n"));
    EXPECT_TRUE(request.contains("\r\nCache-Control: no-cache\r\n"));
    EXPECT_TRUE(request.contains("\r\nPragma: no-cache\r\n"));
}

TEST_F(UpdateCheckTest, SameOlderOrMalformedVersionsOfferNothing)
{
    for (const QByteArray &body : {QByteArray("3.5.0.1"), QByteArray("3.4.9.9"), QByteArray("3.5.0.2\n"),
                                   QByteArray("3.5.0.2.1"), QByteArray("")}) {
        SCOPED_TRACE(body.constData());
        ScriptedHttpPeer peer({serving(body)});
        CUpdateChecker checker(QStringLiteral("3.5.0.1"));
        EXPECT_FALSE(checker.check(base(peer)));
    }
}

TEST_F(UpdateCheckTest, OnlyTheFirstSixteenBytesAreRead)
{
    // The whole text would be 3.6 (newer); its first 16 bytes say 3.
    ScriptedHttpPeer peer({serving("000000000000003.6")});
    CUpdateChecker checker(QStringLiteral("3.5.0.1"));
    EXPECT_FALSE(checker.check(base(peer)));
    EXPECT_EQ(checker.latestVersion(), QStringLiteral("000000000000003."));

    ScriptedHttpPeer peer2({serving("0000000000004.0.0.0.0.0")});
    CUpdateChecker checker2(QStringLiteral("3.5.0.1"));
    EXPECT_TRUE(checker2.check(base(peer2)));
    EXPECT_EQ(checker2.latestVersion().size(), 16);
}

TEST_F(UpdateCheckTest, ErrorPageIsReadLikeTheFileAndFails)
{
    ScriptedHttpPeer peer({serving("<html>Not Found</html>", 404)});
    CUpdateChecker checker(QStringLiteral("3.5.0.1"));
    EXPECT_FALSE(checker.check(base(peer)));
}

TEST_F(UpdateCheckTest, ProgramVersionWithZeroLowHalfComparesAsTwoParts)
{
    ScriptedHttpPeer peer({serving("3.5.0.0")});
    CUpdateChecker checker(QStringLiteral("3.5.0.0"));
    EXPECT_FALSE(checker.check(base(peer)));
    EXPECT_EQ(checker.currentVersion(), QStringLiteral("3.5"));
}

TEST_F(UpdateCheckTest, NoProgramVersionOrNoSiteOffersNothing)
{
    ScriptedHttpPeer peer({serving("9.9")});
    CUpdateChecker noVersion{QString()};
    EXPECT_FALSE(noVersion.check(base(peer)));

    int port = 0;
    {
        ScriptedHttpPeer gone({});
        port = gone.port();
    }
    CUpdateChecker checker(QStringLiteral("3.5.0.1"));
    EXPECT_FALSE(checker.check(QStringLiteral("http://127.0.0.1:%1/Varnel/Web/").arg(port)));
}

// Silent, or answering a byte at a time: either way the read ends at its
// overall limit.
TEST_F(UpdateCheckTest, SiteThatNeverAnswersOrDripsIsGivenUp)
{
    const PeerScript scripts[] = {
        PeerScript().readRequest().wait(5000),
        PeerScript()
            .readRequest()
            .send("HTTP/1.1 200 OK\r\nContent-Length: 60\r\n\r\n")
            .sendInPieces(QByteArray(60, '9'), 1, 200),
    };
    for (const PeerScript &script : scripts) {
        ScriptedHttpPeer peer({script});
        CUpdateChecker checker(QStringLiteral("3.5.0.1"));
        checker.setTimeouts(500, 1000);
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(checker.check(base(peer)));
        EXPECT_LT(timer.elapsed(), 4500); // the peers would go on for 5 s and 12 s
    }
}

// An https site: the version file is read over TLS from a server whose
// certificate checks out, and from no other, with no second try in clear.
TEST_F(UpdateCheckTest, HttpsSiteCertificateIsChecked)
{
    using quillora::testpeers::TestCertificates;
    static const TestCertificates certs;
    ASSERT_TRUE(certs.ok()) << certs.error();
    struct Row {
        const char *name;
        TestCertificates::Server server;
        bool read;
    };
    const Row rows[] = {
        {"trusted", TestCertificates::Server::Good, true},
        {"another name", TestCertificates::Server::OtherName, false},
        {"expired", TestCertificates::Server::Expired, false},
        {"unknown authority", TestCertificates::Server::UnknownCa, false},
    };
    for (const Row &row : rows) {
        ScriptedHttpPeer peer({serving("3.5.0.2"), serving("3.5.0.2")}, certs.peer(row.server));
        CUpdateChecker checker(QStringLiteral("3.5.0.1"));
        checker.setTrustedCaFile(QString::fromStdString(certs.caFile()));
        EXPECT_EQ(checker.check(base(peer)), row.read) << row.name;
        ASSERT_TRUE(peer.waitForFinishedConnections(1, 5000)) << row.name;
        EXPECT_EQ(peer.connectionCount(), 1) << row.name;
        EXPECT_EQ(peer.allRequests().size(), row.read ? 1u : 0u) << row.name;
    }
}

TEST(UpdateCheckUrl, CanonicalUrlEncodesAndLimits)
{
    EXPECT_EQ(CUpdateChecker::canonicalUrl(QStringLiteral("http://example.test/a b/versioncheck.txt")),
              QByteArray("http://example.test/a%20b/versioncheck.txt"));
    const QString longPath = QStringLiteral("http://h/") + QString(1020, QLatin1Char('a'));
    EXPECT_TRUE(CUpdateChecker::canonicalUrl(longPath).isEmpty());
    EXPECT_TRUE(CUpdateChecker::canonicalUrl(QStringLiteral("file:///etc/passwd")).isEmpty());
}

TEST(UpdateCheckWithServer, ReadsTheSitesVersionFile)
{
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    using quillora::testpeers::VarnelServerOptions;
    using quillora::testpeers::VarnelServerProcess;
    {
        VarnelServerProcess same;
        ASSERT_TRUE(same.started()) << same.error();
        CUpdateChecker checker(QStringLiteral("3.5.0.1"));
        EXPECT_FALSE(checker.check(QString::fromStdString(same.url("/Varnel/Web/"))));
        EXPECT_EQ(checker.latestVersion(), QStringLiteral("3.5.0.1"));
    }
    VarnelServerProcess newer(VarnelServerOptions{.extraArgs = {"--latest-version", "3.5.0.2"}});
    ASSERT_TRUE(newer.started()) << newer.error();
    CUpdateChecker checker(QStringLiteral("3.5.0.1"));
    EXPECT_TRUE(checker.check(QString::fromStdString(newer.url("/Varnel/Web/"))));
    EXPECT_EQ(checker.latestVersion(), QStringLiteral("3.5.0.2"));
}
