#include "head_images.h"

#include "custom_face_bitmap.h"

#include "service/curl_proxy.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <curl/curl.h>

#include <mutex>

namespace quillora::session {

int builtInPictureNumber(int headImageNumber)
{
    return headImageNumber >= 1 && headImageNumber <= kBuiltInHeadCount ? headImageNumber : kBuiltInHeadCount;
}

bool isCustomFaceBitmap(const QByteArray &bytes)
{
    // The same check as a picture chosen for upload: a whole 32x32 bitmap.
    return checkCustomFace(bytes) == CustomFaceCheck::Ok;
}

bool isPlainDecimal(const QString &text)
{
    if (text.isEmpty() || text.size() > 10)
        return false;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

QString customFaceFileName(const QString &userId)
{
    return isPlainDecimal(userId) ? userId + QStringLiteral(".bmp") : QString();
}

QString customFaceDirectory(const QString &programDirectory)
{
    const QString folder = QString::fromLatin1(kCustomFaceFolder);
    if (!programDirectory.isEmpty()) {
        const QFileInfo beside(QDir(programDirectory).filePath(folder));
        const QFileInfo program(programDirectory);
        if (beside.isDir() ? beside.isWritable() : (program.isDir() && program.isWritable()))
            return beside.absoluteFilePath();
    }
    return QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)).filePath(folder);
}

QString customFaceDirectory()
{
    return customFaceDirectory(QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString());
}

bool ensureCustomFaceDirectory(const QString &directory)
{
    return !directory.isEmpty() && QDir().mkpath(directory);
}

HeadImageChoice chooseHeadImage(const QString &userId, int headImageNumber, int customFlag, bool cached)
{
    HeadImageChoice choice;
    if (customFlag == 0) {
        choice.kind = HeadImageChoice::Kind::BuiltIn;
        choice.picture = builtInPictureNumber(headImageNumber);
        return choice;
    }
    choice.picture = 0;
    choice.fileName = customFaceFileName(userId);
    if (choice.fileName.isEmpty())
        choice.kind = HeadImageChoice::Kind::Refused;
    else
        choice.kind = cached ? HeadImageChoice::Kind::Cached : HeadImageChoice::Kind::Download;
    return choice;
}

CustomFaceCache::CustomFaceCache(service::SiteAddress site, QString directory)
    : m_site(std::move(site)), m_directory(std::move(directory))
{
}

QString CustomFaceCache::filePath(const QString &userId) const
{
    const QString name = customFaceFileName(userId);
    return name.isEmpty() ? QString() : QDir(m_directory).filePath(name);
}

bool CustomFaceCache::isCached(const QString &userId) const
{
    const QString path = filePath(userId);
    return !path.isEmpty() && QFileInfo(path).isFile();
}

QString CustomFaceCache::downloadUrl(const QString &userId) const
{
    const QString name = customFaceFileName(userId);
    return name.isEmpty() ? QString() : service::siteUrl(m_site, QString::fromLatin1(kCustomFaceSitePath) + name);
}

namespace {

struct Sink {
    QByteArray bytes;
    const std::atomic<bool> *cancel = nullptr;
};

size_t collect(char *data, size_t size, size_t count, void *user)
{
    auto *sink = static_cast<Sink *>(user);
    const size_t bytes = size * count;
    if (sink->bytes.size() + qint64(bytes) > kMaxCustomFaceBytes)
        return 0; // makes libcurl stop with a write error
    sink->bytes.append(data, qsizetype(bytes));
    return bytes;
}

int progress(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto *sink = static_cast<const Sink *>(user);
    return sink->cancel && sink->cancel->load() ? 1 : 0; // non-zero aborts the transfer
}

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

bool CustomFaceCache::download(const QString &userId, const std::atomic<bool> *cancel) const
{
    const QString path = filePath(userId);
    if (path.isEmpty())
        return false;

    initCurlOnce();
    CURL *curl = curl_easy_init();
    if (!curl)
        return false;

    Sink sink{QByteArray(), cancel};
    const QByteArray url = downloadUrl(userId).toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    // A TLS site's pictures never come over plain HTTP, redirected or not.
    const char *protocols = m_site.tls ? "https" : "http,https";
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, m_connectMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, m_totalMs);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    service::applyProxy(curl, m_proxy ? *m_proxy : service::activeProxySettings());
    service::applySiteTrust(curl, m_site.caFile);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &sink);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    const CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);

    // A cached file is never refreshed, so only a real picture may become
    // one: a proxy's error page answered with 200 would stay for ever.
    if (result != CURLE_OK || status != 200 || !isCustomFaceBitmap(sink.bytes))
        return false;
    if (!ensureCustomFaceDirectory(m_directory))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(sink.bytes) != sink.bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

CustomFaceCache::Resolved CustomFaceCache::resolve(const QString &userId, int headImageNumber, int customFlag) const
{
    const HeadImageChoice choice = chooseHeadImage(userId, headImageNumber, customFlag, isCached(userId));
    // Whatever happens to the custom picture, the record's own built-in
    // picture stands behind it: a row never keeps another member's picture.
    Resolved resolved;
    resolved.picture = builtInPictureNumber(headImageNumber);
    switch (choice.kind) {
    case HeadImageChoice::Kind::BuiltIn:
    case HeadImageChoice::Kind::Refused:
        break;
    case HeadImageChoice::Kind::Cached:
        resolved.path = filePath(userId);
        break;
    case HeadImageChoice::Kind::Download:
        if (download(userId))
            resolved.path = filePath(userId);
        break;
    }
    return resolved;
}

CustomFaceDownloads::CustomFaceDownloads(service::SiteAddress site, QString directory, QObject *parent)
    : QObject(parent), m_cache(std::move(site), std::move(directory)),
      m_cancel(std::make_shared<std::atomic<bool>>(false))
{
    m_pool.setMaxThreadCount(kMaxParallel);
    m_pool.setExpiryTimeout(5000);
}

CustomFaceDownloads::~CustomFaceDownloads()
{
    m_cancel->store(true);
    m_pool.clear();
    m_pool.waitForDone();
}

CustomFaceCache::Resolved CustomFaceDownloads::resolve(const QString &userId, int headImageNumber, int customFlag)
{
    const HeadImageChoice choice = chooseHeadImage(userId, headImageNumber, customFlag, m_cache.isCached(userId));
    CustomFaceCache::Resolved resolved;
    resolved.picture = builtInPictureNumber(headImageNumber);
    if (choice.kind == HeadImageChoice::Kind::Cached)
        resolved.path = m_cache.filePath(userId);
    else if (choice.kind == HeadImageChoice::Kind::Download)
        resolved.pending = fetch(userId);
    return resolved;
}

bool CustomFaceDownloads::fetch(const QString &userId)
{
    if (m_cache.filePath(userId).isEmpty())
        return false;
    if (m_pending.contains(userId))
        return true;
    m_pending.insert(userId);
    // The worker holds its own copy of the cache and the cancel flag; `this`
    // outlives it, since the destructor waits for every worker.
    const CustomFaceCache cache = m_cache;
    const std::shared_ptr<std::atomic<bool>> cancel = m_cancel;
    m_pool.start([this, cache, cancel, userId] {
        const bool ok = !cancel->load() && cache.download(userId, cancel.get());
        QMetaObject::invokeMethod(
            this, [this, userId, ok] { finished(userId, ok); }, Qt::QueuedConnection);
    });
    return true;
}

void CustomFaceDownloads::finished(const QString &userId, bool ok)
{
    m_pending.remove(userId);
    if (ok)
        Q_EMIT pictureReady(userId, m_cache.filePath(userId));
    else
        Q_EMIT pictureFailed(userId);
}

} // namespace quillora::session
