#include "ftp_upload.h"

#include "service/curl_proxy.h"
#include "service/proxy_settings.h"
#include "service/site_config.h"
#include "session_config.h"

#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace quillora::session {

FtpConnection compiledFtpConnection()
{
    FtpConnection c;
    c.host = QStringLiteral(QUILLORA_CFG_FTP_HOST);
    c.port = quint16(QUILLORA_CFG_FTP_PORT);
    c.user = QStringLiteral(QUILLORA_CFG_FTP_USER);
    c.password = QStringLiteral(QUILLORA_CFG_FTP_PASSWORD);
    c.tls = service::compiledSite().tls;
    return c;
}

FtpConnection ftpFromEnvironment()
{
    FtpConnection c = compiledFtpConnection();
    const service::SiteAddress site = service::siteFromEnvironment();
    c.tls = site.tls;
    c.caFile = site.caFile;
    const QString text = qEnvironmentVariable("QUILLORA_FTP");
    if (!text.isEmpty()) {
        if (const std::optional<service::SiteAddress> address = service::parseSite(text, 21)) {
            c.host = address->host;
            c.port = address->port;
        }
    }
    return c;
}

QString ftpUrl(const FtpConnection &connection, const QString &remotePath)
{
    QString host = connection.host;
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('[')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    QString url = QStringLiteral("ftp://") + host;
    if (connection.port != 21)
        url += QLatin1Char(':') + QString::number(connection.port);
    return url + QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(remotePath, "/"));
}

namespace {

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Source {
    const QByteArray *data = nullptr;
    qsizetype offset = 0;
};

size_t readFromBuffer(char *buffer, size_t size, size_t count, void *user)
{
    auto *source = static_cast<Source *>(user);
    const size_t left = size_t(source->data->size() - source->offset);
    const size_t n = std::min(left, size * count);
    std::memcpy(buffer, source->data->constData() + source->offset, n);
    source->offset += qsizetype(n);
    return n;
}

// Strings handed to libcurl must live until the transfer ends.
struct HandleStrings {
    QByteArray url, user, password, agent;
};

// Every option of an upload handle. Connection-wide settings belong here.
void setUpFtpHandle(CURL *curl, const FtpConnection &connection, HandleStrings &strings)
{
    curl_easy_setopt(curl, CURLOPT_URL, strings.url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl, CURLOPT_USERNAME, strings.user.constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, strings.password.constData());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, strings.agent.constData());
    // Active mode: the server opens the data connection to the address of
    // our control connection.
    curl_easy_setopt(curl, CURLOPT_FTPPORT, "-");
    curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 0L); // TYPE I
    curl_easy_setopt(curl, CURLOPT_FTP_CREATE_MISSING_DIRS, long(CURLFTP_CREATE_DIR_NONE));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(connection.connectTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_ACCEPTTIMEOUT_MS, long(connection.connectTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(connection.transferTimeoutMs));
    // The connection settings in force: through a proxy the data connection
    // turns passive, since no proxy relays a connection back to us.
    service::applyFtpProxy(curl, service::activeProxySettings(), connection.host.toStdString());
    if (connection.tls) {
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        curl_easy_setopt(curl, CURLOPT_FTPSSLAUTH, long(CURLFTPAUTH_TLS)); // AUTH TLS, not the older AUTH SSL
        service::applySiteTrust(curl, connection.caFile);
        // Passive under TLS: libcurl 7.87 to 7.88 (Debian 12's) leaves an
        // active data connection without TLS, so the picture would go out
        // in clear, and TLS hides the PORT command from the firewalls that
        // would have let the server's connection back in.
        curl_easy_setopt(curl, CURLOPT_FTPPORT, nullptr);
        curl_easy_setopt(curl, CURLOPT_FTP_USE_EPSV, 1L);
    }
}

} // namespace

FtpUploadResult ftpUpload(const FtpConnection &connection, const QString &remotePath, const QByteArray &data)
{
    FtpUploadResult result;
    if (connection.host.isEmpty() || remotePath.isEmpty() || remotePath.endsWith(QLatin1Char('/'))) {
        result.error = QStringLiteral("no server or file name");
        return result;
    }
    initCurlOnce();
    CURL *curl = curl_easy_init();
    if (!curl) {
        result.error = QStringLiteral("libcurl could not start");
        return result;
    }
    HandleStrings strings{ftpUrl(connection, remotePath).toUtf8(), connection.user.toUtf8(),
                          connection.password.toUtf8(), connection.agent.toUtf8()};
    setUpFtpHandle(curl, connection, strings);

    Source source{&data};
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readFromBuffer);
    curl_easy_setopt(curl, CURLOPT_READDATA, &source);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(data.size()));

    const CURLcode code = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (code != CURLE_OK) {
        result.error = QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(code));
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace quillora::session
