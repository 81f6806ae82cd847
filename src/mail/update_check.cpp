#include "update_check.h"

#include "curl_proxy.h"

#include <QStringList>
#include <QUrl>

#include <curl/curl.h>

#include <array>
#include <mutex>

namespace quillora::mail {
namespace {

// Splits a version text into four numbers (as digit strings without leading
// zeros); false on no part, more than four parts or a part with a non-digit.
bool splitVersion(const QString &text, std::array<QString, 4> *parts)
{
    const QStringList pieces = text.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (pieces.isEmpty() || pieces.size() > 4)
        return false;
    parts->fill(QString());
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QString &piece = pieces.at(i);
        for (QChar c : piece)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        qsizetype first = 0;
        while (first < piece.size() - 1 && piece.at(first) == QLatin1Char('0'))
            ++first;
        (*parts)[size_t(i)] = piece.mid(first);
    }
    return true;
}

// Compares two digit strings without leading zeros by value.
int compareNumber(const QString &a, const QString &b)
{
    const QString x = a.isEmpty() ? QStringLiteral("0") : a;
    const QString y = b.isEmpty() ? QStringLiteral("0") : b;
    if (x.size() != y.size())
        return x.size() > y.size() ? 1 : -1;
    const int c = x.compare(y);
    return c > 0 ? 1 : (c < 0 ? -1 : 0);
}

struct Buffer {
    QByteArray bytes;
};

size_t takeAtMost16(char *data, size_t size, size_t count, void *user)
{
    auto *buffer = static_cast<Buffer *>(user);
    const size_t total = size * count;
    const size_t room = size_t(CUpdateChecker::kMaxVersionBytes) - size_t(buffer->bytes.size());
    const size_t take = total < room ? total : room;
    buffer->bytes.append(data, qsizetype(take));
    // Once the buffer is full, stop the transfer: the rest is never read.
    return buffer->bytes.size() >= CUpdateChecker::kMaxVersionBytes ? 0 : total;
}

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

int Compare(const QString &a, const QString &b)
{
    std::array<QString, 4> x;
    std::array<QString, 4> y;
    if (!splitVersion(a, &x))
        return -21;
    if (!splitVersion(b, &y))
        return -22;
    for (size_t i = 0; i < 4; ++i) {
        const int c = compareNumber(x[i], y[i]);
        if (c != 0)
            return c;
    }
    return 0;
}

QString versionTextFromFixed(quint32 ms, quint32 ls)
{
    if (ls != 0)
        return QStringLiteral("%1.%2.%3.%4").arg(ms >> 16).arg(ms & 0xffff).arg(ls >> 16).arg(ls & 0xffff);
    if (ms != 0)
        return QStringLiteral("%1.%2").arg(ms >> 16).arg(ms & 0xffff);
    return QString();
}

void fixedFromVersionText(const QString &version, quint32 *ms, quint32 *ls)
{
    const QStringList parts = version.split(QLatin1Char('.'));
    quint32 n[4] = {0, 0, 0, 0};
    for (qsizetype i = 0; i < parts.size() && i < 4; ++i)
        n[i] = parts.at(i).toUInt() & 0xffff;
    *ms = n[0] << 16 | n[1];
    *ls = n[2] << 16 | n[3];
}

CUpdateChecker::CUpdateChecker(const QString &programVersion)
{
    // As a version resource holds it: four 16-bit numbers, written back as text.
    quint32 ms = 0;
    quint32 ls = 0;
    fixedFromVersionText(programVersion, &ms, &ls);
    m_programVersion = versionTextFromFixed(ms, ls);
}

QByteArray CUpdateChecker::canonicalUrl(const QString &url)
{
    const QUrl parsed(url, QUrl::TolerantMode);
    if (!parsed.isValid())
        return QByteArray();
    const QString scheme = parsed.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return QByteArray();
    const QByteArray encoded = parsed.toEncoded(QUrl::FullyEncoded);
    if (encoded.size() > kMaxUrlLength)
        return QByteArray();
    return encoded;
}

bool CUpdateChecker::check(const QString &baseUrl)
{
    const QByteArray url = canonicalUrl(baseUrl + QStringLiteral("versioncheck.txt"));
    if (url.isEmpty())
        return false;

    initCurlOnce();
    CURL *curl = curl_easy_init();
    if (!curl)
        return false;
    Buffer buffer;
    curl_slist *headers = nullptr;
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "AutoUpdateAgent");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    // What starts encrypted is not redirected to plain HTTP.
    const char *protocols = url.left(6).toLower() == "https:" ? "https" : "http,https";
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, m_connectMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, m_totalMs);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, takeAtMost16);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &buffer);
    service::applyProxy(curl, m_proxy);
    service::applySiteTrust(curl, m_caFile);
    const CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);

    // Stopping after 16 bytes ends the transfer with a write error; what was
    // read still counts. The HTTP status is not looked at: an error page is
    // read like the file and fails the comparison.
    if (rc != CURLE_OK && rc != CURLE_WRITE_ERROR)
        return false;
    if (buffer.bytes.isEmpty())
        return false;

    m_current = m_programVersion;
    if (m_current.isEmpty())
        return false;
    // The bytes read, as text: up to a zero byte, at most 16 bytes.
    const qsizetype zero = buffer.bytes.indexOf('\0');
    m_latest = QString::fromLatin1(zero < 0 ? buffer.bytes : buffer.bytes.left(zero));
    return Compare(m_latest, m_current) == 1;
}

} // namespace quillora::mail
