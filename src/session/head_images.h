// Head images: the 32x32 picture shown beside a member in every member list.
// A member has either a built-in picture (head image number 1..24; 0 shows
// picture 24) or a custom picture named after the user ID, cached in the
// folder CustomFace and fetched from the site's
// "/Varnel/Web/images/CustomFace/<userID>.bmp" when missing. Cached files are
// never refreshed or deleted.
//
// A user ID taken from a document becomes a file name only when it is a plain
// decimal number (1 to 10 ASCII digits), so no document can make the client
// read or write anything outside the cache folder.
//
// This file decides and fetches; loading the bitmap is the widget layer's job
// (src/ui/head_image_pictures.h). A list that must not wait for the network
// uses CustomFaceDownloads: the built-in picture at once, the custom one
// when its download arrives.
#pragma once

#include "service/proxy_settings.h"
#include "service/shared_limits.h"
#include "service/site_config.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <optional>

namespace quillora::session {

inline constexpr int kBuiltInHeadCount = service::kHeadPictureCount;
inline constexpr char kCustomFaceFolder[] = "CustomFace";
inline constexpr char kCustomFaceSitePath[] = "/Varnel/Web/images/CustomFace/";
// A custom picture is 32x32 pixels; anything this large is not one.
inline constexpr qint64 kMaxCustomFaceBytes = 1024 * 1024;

// Built-in picture (1..24) shown for a head image number: n for 1..24, and
// 24 for 0 and for numbers outside 0..24 (the picture of a member who never
// chose one).
int builtInPictureNumber(int headImageNumber);

// True when `bytes` are a Windows bitmap file of 32x32 pixels whose pixel
// data is all there (the only kind of file a custom picture may be): an
// error page, a cut-off transfer or a picture of another size is not one.
bool isCustomFaceBitmap(const QByteArray &bytes);

// True for 1 to 10 ASCII digits and nothing else.
bool isPlainDecimal(const QString &text);
// userID + ".bmp", or an empty string when the user ID is not plain decimal.
QString customFaceFileName(const QString &userId);

// The cache folder: CustomFace beside the program when the program's folder
// (or an existing CustomFace in it) is writable, else CustomFace in the user's
// cache directory (QStandardPaths::CacheLocation, under XDG_CACHE_HOME).
QString customFaceDirectory(const QString &programDirectory);
// The same for the running program (QCoreApplication::applicationDirPath()).
QString customFaceDirectory();
// Creates the folder when it is missing; false when that fails.
bool ensureCustomFaceDirectory(const QString &directory);

// What a member list shows for one member.
struct HeadImageChoice {
    enum class Kind {
        BuiltIn,  // picture number `picture`
        Cached,   // the custom picture already in the cache
        Download, // the custom picture must be fetched first
        Refused,  // custom picture with a user ID that is no file name: show nothing new
    };
    Kind kind = Kind::BuiltIn;
    int picture = kBuiltInHeadCount;
    QString fileName; // userID + ".bmp" for Cached and Download

    bool operator==(const HeadImageChoice &) const = default;
};

// The head image rule. A zero custom flag gives the built-in picture; a
// non-zero one the custom picture, cached or to download.
HeadImageChoice chooseHeadImage(const QString &userId, int headImageNumber, int customFlag, bool cached);

// The cache of custom pictures in one folder, filled from one site.
class CustomFaceCache {
  public:
    CustomFaceCache(service::SiteAddress site, QString directory);

    const QString &directory() const { return m_directory; }
    // Downloads go by these connection settings; unless set, each download
    // takes those the client runs with at that moment, so that a change in
    // "Connection Settings" reaches a cache made before it.
    void setProxy(const service::ProxySettings &proxy) { m_proxy = proxy; }
    // Time limits of one download: connecting, and the whole transfer.
    void setTimeouts(long connectMs, long totalMs)
    {
        m_connectMs = connectMs;
        m_totalMs = totalMs;
    }
    // Full path of the user's cached picture, or empty when the user ID is
    // not plain decimal.
    QString filePath(const QString &userId) const;
    bool isCached(const QString &userId) const;

    // "http://host[:port]/Varnel/Web/images/CustomFace/<userID>.bmp" (https
    // for a TLS site, whose certificate is checked as the service's is);
    // empty when the user ID is not plain decimal.
    QString downloadUrl(const QString &userId) const;
    // Downloads the user's picture into the cache. Only a complete answer with
    // status 200 that is a 32x32 bitmap (isCustomFaceBitmap) becomes the file
    // (written beside it and renamed into place); anything else leaves no
    // file. Creates the folder when missing. Timeouts: 10 s to connect, 30 s
    // in all unless set; a set `cancel` ends the transfer early (without a file).
    bool download(const QString &userId, const std::atomic<bool> *cancel = nullptr) const;

    // The picture to show for a listed member: `picture` is always the
    // built-in picture of the record (1..24), shown when `path` is empty or
    // does not load; `path` is the cached custom picture, downloaded here
    // first when missing (this blocks; see CustomFaceDownloads). `pending`
    // is only set by CustomFaceDownloads.
    struct Resolved {
        int picture = 0;
        QString path;
        bool pending = false;
    };
    Resolved resolve(const QString &userId, int headImageNumber, int customFlag) const;

  private:
    service::SiteAddress m_site;
    QString m_directory;
    std::optional<service::ProxySettings> m_proxy;
    long m_connectMs = 10000;
    long m_totalMs = 30000;
};

// Custom pictures fetched in the background, a few at a time, so that a slow
// picture host never holds up the window. Lives on the user-interface thread;
// its signals arrive there.
//
//   CustomFaceDownloads faces(site, customFaceDirectory());
//   QObject::connect(&faces, &CustomFaceDownloads::pictureReady, context,
//                    [](const QString &userId, const QString &path) { ...swap the picture in... });
//   const auto r = faces.resolve(userId, headImageNumber, customFlag);
//   show(r.path.isEmpty() ? builtIn(r.picture) : load(r.path));  // never blocks
class CustomFaceDownloads : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxParallel = 4;

    CustomFaceDownloads(service::SiteAddress site, QString directory, QObject *parent = nullptr);
    // Cuts short the transfers under way and waits for the workers.
    ~CustomFaceDownloads() override;

    const CustomFaceCache &cache() const { return m_cache; }

    // The head image rule without waiting: the built-in picture of the record
    // always, the path when the picture is cached. A custom picture not yet
    // cached is queued for download (once per user ID while one is under way)
    // and `pending` is set; pictureReady or pictureFailed follows.
    CustomFaceCache::Resolved resolve(const QString &userId, int headImageNumber, int customFlag);
    // Queues the download of one picture; false when the user ID names no file.
    bool fetch(const QString &userId);
    bool isPending(const QString &userId) const { return m_pending.contains(userId); }

  Q_SIGNALS:
    void pictureReady(const QString &userId, const QString &path);
    void pictureFailed(const QString &userId);

  private:
    void finished(const QString &userId, bool ok);

    CustomFaceCache m_cache;
    QSet<QString> m_pending;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    QThreadPool m_pool;
};

} // namespace quillora::session
