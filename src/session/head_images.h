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
// (src/ui/head_image_pictures.h).
#pragma once

#include "service/proxy_settings.h"
#include "service/site_config.h"

#include <QString>

namespace quillora::session {

inline constexpr int kBuiltInHeadCount = 24;
inline constexpr char kCustomFaceFolder[] = "CustomFace";
inline constexpr char kCustomFaceSitePath[] = "/Varnel/Web/images/CustomFace/";
// A custom picture is 32x32 pixels; anything this large is not one.
inline constexpr qint64 kMaxCustomFaceBytes = 1024 * 1024;

// Built-in picture (1..24) shown for a head image number: n for 1..24, and
// 24 for 0 and for numbers outside 0..24 (the picture of a member who never
// chose one).
int builtInPictureNumber(int headImageNumber);

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
    // Downloads go by these connection settings; by those the client runs
    // with when the cache was made, unless set.
    void setProxy(const service::ProxySettings &proxy) { m_proxy = proxy; }
    // Full path of the user's cached picture, or empty when the user ID is
    // not plain decimal.
    QString filePath(const QString &userId) const;
    bool isCached(const QString &userId) const;

    // "http://host[:port]/Varnel/Web/images/CustomFace/<userID>.bmp"; empty
    // when the user ID is not plain decimal.
    QString downloadUrl(const QString &userId) const;
    // Downloads the user's picture into the cache. Only a complete answer with
    // status 200 becomes the file (written beside it and renamed into place);
    // a failed, empty or oversized download leaves no file. Creates the folder
    // when missing. Timeouts: 10 s to connect, 30 s in all.
    bool download(const QString &userId) const;

    // The picture to show for a listed member: the built-in picture number, or
    // the path of the custom picture (downloaded when missing). `picture` is 0
    // and `path` empty when nothing new is to be shown.
    struct Resolved {
        int picture = 0;
        QString path;
    };
    Resolved resolve(const QString &userId, int headImageNumber, int customFlag) const;

  private:
    service::SiteAddress m_site;
    QString m_directory;
    service::ProxySettings m_proxy = service::activeProxySettings();
};

} // namespace quillora::session
