#include "scripted_http_peer.h"
#include "session/head_images.h"
#include "test_bitmaps.h"
#include "test_certificates.h"
#include "varnel_server_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

using namespace quillora::session;
using quillora::testpeers::bitmapFile;
using Kind = HeadImageChoice::Kind;

// Only a 32x32 bitmap whose pixels are all there may become a cached
// picture; the widget layer would fail to load anything else.
TEST(HeadImages, OnlyWholeThirtyTwoPixelBitmapsArePictures)
{
    for (int bits : {1, 4, 8, 16, 24, 32})
        EXPECT_TRUE(isCustomFaceBitmap(bitmapFile(32, 32, bits))) << bits << " bits";
    EXPECT_TRUE(isCustomFaceBitmap(bitmapFile(32, -32))) << "rows from the top";

    const QByteArray good = bitmapFile();
    QByteArray planes = good;
    planes[26] = 2;
    QByteArray depth = good;
    depth[28] = 7;
    QByteArray offsetPastEnd = good;
    qToLittleEndian<qint32>(qint32(good.size()), offsetPastEnd.data() + 10);
    QByteArray hugeInfo = good;
    qToLittleEndian<qint32>(0x7fffffff, hugeInfo.data() + 14);
    const struct {
        const char *name;
        QByteArray bytes;
    } refused[] = {
        {"empty", QByteArray()},
        {"html error page", QByteArray("<html><body>Proxy error</body></html>")},
        {"just the magic", QByteArray("BM")},
        {"16x16", bitmapFile(16, 16)},
        {"32x33", bitmapFile(32, 33)},
        {"33 wide", bitmapFile(33, 32)},
        {"cut off", good.left(good.size() - 1)},
        {"two planes", planes},
        {"seven bits", depth},
        {"pixels beyond the end", offsetPastEnd},
        {"info header past the end", hugeInfo},
    };
    for (const auto &r : refused)
        EXPECT_FALSE(isCustomFaceBitmap(r.bytes)) << r.name;
}

TEST(HeadImages, BuiltInPictureNumbers)
{
    EXPECT_EQ(builtInPictureNumber(0), 24);
    EXPECT_EQ(builtInPictureNumber(1), 1);
    EXPECT_EQ(builtInPictureNumber(24), 24);
    EXPECT_EQ(builtInPictureNumber(25), 24);
    EXPECT_EQ(builtInPictureNumber(-3), 24);
}

TEST(HeadImages, ChoiceRule)
{
    const QString id = QStringLiteral("1042");
    // A zero flag always gives the built-in picture, whatever the user ID.
    EXPECT_EQ(chooseHeadImage(id, 7, 0, true), (HeadImageChoice{Kind::BuiltIn, 7, {}}));
    EXPECT_EQ(chooseHeadImage(id, 0, 0, false), (HeadImageChoice{Kind::BuiltIn, 24, {}}));
    EXPECT_EQ(chooseHeadImage(QStringLiteral("../x"), 3, 0, false).kind, Kind::BuiltIn);
    // Any non-zero flag means a custom picture.
    EXPECT_EQ(chooseHeadImage(id, 7, 1, true), (HeadImageChoice{Kind::Cached, 0, QStringLiteral("1042.bmp")}));
    EXPECT_EQ(chooseHeadImage(id, 7, 5, false), (HeadImageChoice{Kind::Download, 0, QStringLiteral("1042.bmp")}));
    EXPECT_EQ(chooseHeadImage(id, 7, -1, false).kind, Kind::Download);
    EXPECT_EQ(chooseHeadImage(QStringLiteral("../1042"), 7, 1, true).kind, Kind::Refused);
}

TEST(HeadImages, OnlyPlainDecimalUserIdsNameFiles)
{
    for (const char *good : {"0", "7", "1042", "0012", "4294967295"})
        EXPECT_TRUE(isPlainDecimal(QString::fromUtf8(good))) << good;
    for (const char *bad : {"", " 12", "12 ", "-1", "+1", "1.5", "1e3", "../1", "1/2", "..", "12345678901", "0x1F",
                            "\xd9\xa1\xd9\xa2", "1\n", "12.bmp"}) {
        EXPECT_FALSE(isPlainDecimal(QString::fromUtf8(bad))) << bad;
        EXPECT_TRUE(customFaceFileName(QString::fromUtf8(bad)).isEmpty()) << bad;
    }
    EXPECT_EQ(customFaceFileName(QStringLiteral("77")), QStringLiteral("77.bmp"));
    const CustomFaceCache cache({QStringLiteral("127.0.0.1"), 8080}, QStringLiteral("/tmp/faces"));
    EXPECT_EQ(cache.filePath(QStringLiteral("77")), QStringLiteral("/tmp/faces/77.bmp"));
    EXPECT_EQ(cache.downloadUrl(QStringLiteral("77")),
              QStringLiteral("http://127.0.0.1:8080/Varnel/Web/images/CustomFace/77.bmp"));
    EXPECT_TRUE(cache.filePath(QStringLiteral("../../etc/passwd")).isEmpty());
    EXPECT_TRUE(cache.downloadUrl(QStringLiteral("1?x=2")).isEmpty());
    EXPECT_FALSE(cache.download(QStringLiteral("../77")));
}

TEST(HeadImages, CacheFolderBesideTheProgramOrInTheUserCache)
{
    QTemporaryDir program;
    QTemporaryDir cacheHome;
    ASSERT_TRUE(program.isValid() && cacheHome.isValid());
    qputenv("XDG_CACHE_HOME", cacheHome.path().toUtf8());

    EXPECT_EQ(customFaceDirectory(program.path()), program.filePath(QStringLiteral("CustomFace")));
    const QString fallback = customFaceDirectory(program.filePath(QStringLiteral("no-such-folder")));
    EXPECT_TRUE(fallback.startsWith(cacheHome.path() + u'/')) << fallback.toStdString();
    EXPECT_TRUE(fallback.endsWith(QStringLiteral("/CustomFace")));
    EXPECT_EQ(customFaceDirectory(QString()), fallback);

    // A CustomFace that is a file, not a folder, beside the program is not used.
    QFile blocker(program.filePath(QStringLiteral("CustomFace")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_TRUE(ensureCustomFaceDirectory(fallback));
    EXPECT_TRUE(QFileInfo(fallback).isDir());
    EXPECT_FALSE(ensureCustomFaceDirectory(program.filePath(QStringLiteral("CustomFace"))));
}

namespace {

// A small site serving custom pictures on loopback, counting requests.
class FaceSite {
  public:
    FaceSite()
    {
        m_server.Get(
            R"(/Varnel/Web/images/CustomFace/(.*))", [this](const httplib::Request &req, httplib::Response &res) {
                ++m_hits;
                const std::string name = req.matches[1];
                std::lock_guard lock(m_mutex);
                if (name == "500.bmp") { // promises more than it sends, then drops the connection
                    res.set_content_provider(4096, "image/bmp", [](size_t offset, size_t, httplib::DataSink &sink) {
                        if (offset > 0)
                            return false;
                        const std::string half(1000, 'B');
                        sink.write(half.data(), half.size());
                        return true;
                    });
                    return;
                }
                const auto it = m_files.find(name);
                if (it == m_files.end()) {
                    res.status = 404;
                    res.set_content("There is no such head image.", "text/plain");
                    return;
                }
                res.set_content(it->second, "image/bmp");
            });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~FaceSite()
    {
        m_server.stop();
        m_thread.join();
    }
    void put(const std::string &name, std::string data)
    {
        std::lock_guard lock(m_mutex);
        m_files[name] = std::move(data);
    }
    quillora::service::SiteAddress site() const { return {QStringLiteral("127.0.0.1"), quint16(m_port)}; }
    int hits() const { return m_hits; }

  private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<int> m_hits{0};
    std::mutex m_mutex;
    std::map<std::string, std::string> m_files;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

TEST(HeadImages, DownloadsOnceAndNeverRefreshes)
{
    FaceSite site;
    QTemporaryDir root;
    const QString dir = root.filePath(QStringLiteral("CustomFace")); // created by the first download
    const QByteArray picture = bitmapFile(32, 32, 24, '\x11');
    site.put("1042.bmp", picture.toStdString());
    const CustomFaceCache cache(site.site(), dir);

    const auto first = cache.resolve(QStringLiteral("1042"), 3, 1);
    EXPECT_EQ(first.path, dir + QStringLiteral("/1042.bmp"));
    EXPECT_EQ(first.picture, 3); // shown should the file not load
    EXPECT_EQ(readAll(first.path), picture);
    EXPECT_EQ(site.hits(), 1);

    site.put("1042.bmp", bitmapFile(32, 32, 24, '\x22').toStdString());
    const auto second = cache.resolve(QStringLiteral("1042"), 3, 1);
    EXPECT_EQ(second.path, first.path);
    EXPECT_EQ(readAll(second.path), picture);
    EXPECT_EQ(site.hits(), 1);

    // A zero flag never touches the cache or the site.
    const auto builtIn = cache.resolve(QStringLiteral("1042"), 0, 0);
    EXPECT_EQ(builtIn.picture, 24);
    EXPECT_TRUE(builtIn.path.isEmpty());
    EXPECT_EQ(site.hits(), 1);
    EXPECT_EQ(entries(dir), QStringList{QStringLiteral("1042.bmp")});
}

TEST(HeadImages, FailedDownloadsLeaveNoFile)
{
    FaceSite site;
    QTemporaryDir dir;
    site.put("7.bmp", std::string());                              // empty answer
    site.put("8.bmp", std::string(kMaxCustomFaceBytes + 10, 'x')); // no 32x32 picture is this large
    // Answered with 200 but no picture: a proxy's error page, another size,
    // a transfer cut short.
    site.put("9.bmp", "<html><body>The proxy could not reach the host.</body></html>");
    site.put("10.bmp", bitmapFile(64, 64).toStdString());
    site.put("11.bmp", bitmapFile().left(1000).toStdString());
    const CustomFaceCache cache(site.site(), dir.path());

    // Each falls back to the record's own built-in picture, never to nothing.
    const char *ids[] = {"6", "7", "8", "9", "10", "11", "500"};
    for (const char *id : ids) {
        const auto resolved = cache.resolve(QString::fromUtf8(id), 2, 1);
        EXPECT_TRUE(resolved.path.isEmpty()) << id;
        EXPECT_EQ(resolved.picture, 2) << id;
    }
    EXPECT_EQ(site.hits(), 7);
    EXPECT_TRUE(entries(dir.path()).isEmpty()) << entries(dir.path()).join(u',').toStdString();

    // A user ID that is no plain number is never asked for nor written.
    EXPECT_TRUE(cache.resolve(QStringLiteral("../../x"), 2, 1).path.isEmpty());
    EXPECT_EQ(cache.resolve(QStringLiteral("../../x"), 2, 1).picture, 2);
    EXPECT_EQ(site.hits(), 7);

    // Nobody listening: fails quickly, nothing written.
    const CustomFaceCache closed({QStringLiteral("127.0.0.1"), 1}, dir.path());
    EXPECT_FALSE(closed.download(QStringLiteral("9")));
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}

// A host that answers a byte at a time is cut off at the transfer's limit.
TEST(HeadImages, DrippingHostIsCutOffAtTheOverallLimit)
{
    using namespace quillora::testpeers;
    const QByteArray picture = bitmapFile();
    ScriptedHttpPeer peer({PeerScript()
                               .readRequest()
                               .send(httpResponse(200, {{"Content-Length", QByteArray::number(picture.size())}}))
                               .sendInPieces(picture, 1, 100)});
    QTemporaryDir dir;
    CustomFaceCache cache({QStringLiteral("127.0.0.1"), quint16(peer.port())}, dir.path());
    cache.setTimeouts(1000, 1500);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(cache.download(QStringLiteral("12")));
    EXPECT_LT(timer.elapsed(), 10000); // the whole picture would take minutes
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}

// A TLS site's pictures come over TLS or not at all: a redirect to plain
// HTTP is not followed.
TEST(HeadImages, HttpsSiteIsNotRedirectedToClear)
{
    using namespace quillora::testpeers;
    const TestCertificates certs;
    ASSERT_TRUE(certs.ok()) << certs.error();
    ScriptedHttpPeer plain({PeerScript().readRequest().send(httpResponse(200, {}, bitmapFile()))});
    ScriptedHttpPeer site(
        {PeerScript().readRequest().send(httpResponse(
            302, {{"Location", QByteArray::fromStdString(plain.url("/Varnel/Web/images/CustomFace/5.bmp"))}}))},
        certs.peer(TestCertificates::Server::Good));
    QTemporaryDir dir;
    const CustomFaceCache cache(
        {QStringLiteral("127.0.0.1"), quint16(site.port()), true, QString::fromStdString(certs.caFile())}, dir.path());
    EXPECT_EQ(cache.downloadUrl(QStringLiteral("5")),
              QStringLiteral("https://127.0.0.1:%1/Varnel/Web/images/CustomFace/5.bmp").arg(site.port()));
    EXPECT_FALSE(cache.download(QStringLiteral("5")));
    EXPECT_EQ(site.allRequests().size(), 1u);
    EXPECT_EQ(plain.connectionCount(), 0);
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}

TEST(HeadImages, FromTheCommunityServer)
{
    quillora::testpeers::VarnelServerProcess server;
    ASSERT_TRUE(server.started()) << server.error();
    const QByteArray picture = bitmapFile();
    {
        QFile file(QString::fromStdString((server.filesDir() / "31.bmp").string()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(picture);
    }
    QTemporaryDir dir;
    const CustomFaceCache cache({QStringLiteral("127.0.0.1"), quint16(server.port())}, dir.path());
    EXPECT_EQ(cache.resolve(QStringLiteral("31"), 4, 1).path, dir.filePath(QStringLiteral("31.bmp")));
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("31.bmp"))), picture);
    // A member whose picture the site does not have: nothing is cached.
    EXPECT_TRUE(cache.resolve(QStringLiteral("32"), 4, 1).path.isEmpty());
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("31.bmp")});
}

namespace {

QCoreApplication &eventLoopApp()
{
    static int argc = 1;
    static char arg0[] = "test_head_images";
    static char *argv[] = {arg0, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    return app ? *app : *QCoreApplication::instance();
}

} // namespace

// A slow picture host holds up nothing: resolve answers at once with the
// built-in picture, the event loop keeps running while the host takes 5 s,
// and the picture arrives afterwards. The same member asked for twice is one
// download.
TEST(HeadImageDownloads, SlowHostDoesNotHoldUpTheCaller)
{
    eventLoopApp();
    using quillora::testpeers::PeerScript;
    const QByteArray picture = bitmapFile();
    quillora::testpeers::ScriptedHttpPeer peer(
        {PeerScript().readRequest().wait(5000).send(quillora::testpeers::httpResponse(200, {}, picture))});
    QTemporaryDir dir;
    CustomFaceDownloads faces({QStringLiteral("127.0.0.1"), quint16(peer.port())}, dir.path());
    QSignalSpy ready(&faces, &CustomFaceDownloads::pictureReady);

    QElapsedTimer clock;
    clock.start();
    const auto first = faces.resolve(QStringLiteral("77"), 5, 1);
    const auto again = faces.resolve(QStringLiteral("77"), 5, 1);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(first.picture, 5);
    EXPECT_TRUE(first.path.isEmpty());
    EXPECT_TRUE(first.pending);
    EXPECT_TRUE(again.pending);

    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &tick, [&ticks] { ++ticks; });
    tick.start(100);
    ASSERT_TRUE(ready.wait(15000));
    EXPECT_GE(clock.elapsed(), 4500);
    EXPECT_GE(ticks, 30); // the loop went on turning while the host was silent
    ASSERT_EQ(ready.count(), 1);
    EXPECT_EQ(ready.at(0).at(0).toString(), QStringLiteral("77"));
    EXPECT_EQ(ready.at(0).at(1).toString(), dir.filePath(QStringLiteral("77.bmp")));
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("77.bmp"))), picture);
    EXPECT_EQ(peer.connectionCount(), 1);
    EXPECT_FALSE(faces.isPending(QStringLiteral("77")));
    // Now cached: no download, no pending.
    const auto cached = faces.resolve(QStringLiteral("77"), 5, 1);
    EXPECT_EQ(cached.path, dir.filePath(QStringLiteral("77.bmp")));
    EXPECT_FALSE(cached.pending);
}

// Failures are reported too, and closing the list while a host is silent
// does not wait for the host.
TEST(HeadImageDownloads, FailuresAreReportedAndClosingCutsTransfersShort)
{
    eventLoopApp();
    using quillora::testpeers::PeerScript;
    quillora::testpeers::ScriptedHttpPeer peer(
        {PeerScript().readRequest().send(quillora::testpeers::httpResponse(200, {}, "<html>no</html>")),
         PeerScript().readRequest().wait(20000)});
    QTemporaryDir dir;
    const quillora::service::SiteAddress site{QStringLiteral("127.0.0.1"), quint16(peer.port())};
    {
        CustomFaceDownloads faces(site, dir.path());
        QSignalSpy failed(&faces, &CustomFaceDownloads::pictureFailed);
        EXPECT_TRUE(faces.resolve(QStringLiteral("5"), 1, 1).pending);
        ASSERT_TRUE(failed.wait(10000));
        EXPECT_EQ(failed.at(0).at(0).toString(), QStringLiteral("5"));
        EXPECT_FALSE(faces.resolve(QStringLiteral("x"), 1, 1).pending);
    }
    QElapsedTimer clock;
    {
        CustomFaceDownloads faces(site, dir.path());
        faces.fetch(QStringLiteral("6"));
        ASSERT_TRUE(peer.waitForFinishedConnections(1, 5000));
        QThread::msleep(300); // the request is on its way
        clock.start();
    }
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}
