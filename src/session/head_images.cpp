#include "head_images.h"

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
    QSaveFile *file = nullptr;
    qint64 written = 0;
    bool failed = false;
};

size_t writeToFile(char *data, size_t size, size_t count, void *user)
{
    auto *sink = static_cast<Sink *>(user);
    const size_t bytes = size * count;
    if (sink->written + qint64(bytes) > kMaxCustomFaceBytes ||
        sink->file->write(data, qint64(bytes)) != qint64(bytes)) {
        sink->failed = true;
        return 0; // makes libcurl stop with a write error
    }
    sink->written += qint64(bytes);
    return bytes;
}

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

bool CustomFaceCache::download(const QString &userId) const
{
    const QString path = filePath(userId);
    if (path.isEmpty() || !ensureCustomFaceDirectory(m_directory))
        return false;

    initCurlOnce();
    CURL *curl = curl_easy_init();
    if (!curl)
        return false;

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        curl_easy_cleanup(curl);
        return false;
    }
    Sink sink{&file};
    const QByteArray url = downloadUrl(userId).toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 10000L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 30000L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    service::applyProxy(curl, m_proxy);
    const CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);

    if (result != CURLE_OK || status != 200 || sink.failed || sink.written == 0) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

CustomFaceCache::Resolved CustomFaceCache::resolve(const QString &userId, int headImageNumber, int customFlag) const
{
    const HeadImageChoice choice = chooseHeadImage(userId, headImageNumber, customFlag, isCached(userId));
    Resolved resolved;
    switch (choice.kind) {
    case HeadImageChoice::Kind::BuiltIn:
        resolved.picture = choice.picture;
        break;
    case HeadImageChoice::Kind::Cached:
        resolved.path = filePath(userId);
        break;
    case HeadImageChoice::Kind::Download:
        if (download(userId))
            resolved.path = filePath(userId);
        break;
    case HeadImageChoice::Kind::Refused:
        break;
    }
    return resolved;
}

} // namespace quillora::session
