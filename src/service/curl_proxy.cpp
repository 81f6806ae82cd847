#include "curl_proxy.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <mutex>

namespace quillora::service {
namespace {

// The system's authorities followed by those of `caFile`, read once for as
// long as the file stays as it is: head images are fetched many at a time.
QByteArray trustBundle(CURL *curl, const QString &caFile)
{
    static std::mutex lock;
    static QString key;
    static QByteArray bundle;
    const QFileInfo info(caFile);
    const QString state = info.absoluteFilePath() + QLatin1Char('|') + QString::number(info.size()) + QLatin1Char('|') +
                          QString::number(info.lastModified().toMSecsSinceEpoch());
    const std::lock_guard guard(lock);
    if (state == key)
        return bundle;
    QFile extra(caFile);
    if (!extra.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes;
    char *systemFile = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CAINFO, &systemFile) == CURLE_OK && systemFile) {
        QFile system(QString::fromLocal8Bit(systemFile));
        if (system.open(QIODevice::ReadOnly))
            bytes = system.readAll() + '\n';
    }
    bytes += extra.readAll();
    key = state;
    bundle = bytes;
    return bundle;
}

std::string bracketed(const std::string &host)
{
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

void setExplicitProxy(CURL *curl, const ProxyRoute &route)
{
    const std::string host = bracketed(route.host);
    curl_easy_setopt(curl, CURLOPT_PROXY, host.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXYPORT, long(route.port));
    curl_easy_setopt(curl, CURLOPT_PROXYTYPE,
                     long(route.kind == ProxyRoute::Kind::Socks5 ? CURLPROXY_SOCKS5_HOSTNAME : CURLPROXY_HTTP));
    // The member named this proxy for everything: no_proxy does not apply.
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
    if (!route.username.empty()) {
        curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, route.username.c_str());
        curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, route.password.c_str());
        if (route.kind == ProxyRoute::Kind::Http)
            curl_easy_setopt(curl, CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC));
    }
}

} // namespace

void applyProxy(CURL *curl, const ProxySettings &settings)
{
    switch (settings.mode) {
    case ProxySettings::Mode::Desktop:
        return; // libcurl reads http_proxy, https_proxy, all_proxy and no_proxy itself
    case ProxySettings::Mode::Direct:
        curl_easy_setopt(curl, CURLOPT_PROXY, "");
        return;
    case ProxySettings::Mode::Socks5:
    case ProxySettings::Mode::Http:
        break;
    }
    // The host does not matter for an explicit proxy.
    const ProxyRoute route = routeFor(settings, "http", std::string());
    if (route.kind == ProxyRoute::Kind::Unsupported) {
        // No usable address: fail the transfer rather than go around the proxy.
        curl_easy_setopt(curl, CURLOPT_PROXY, "unset.invalid");
        curl_easy_setopt(curl, CURLOPT_PROXYPORT, 1L);
        return;
    }
    setExplicitProxy(curl, route);
}

bool applyFtpProxy(CURL *curl, const ProxySettings &settings, const std::string &ftpHost, const EnvironmentLookup &env)
{
    applyProxy(curl, settings);
    const ProxyRoute route = routeFor(settings, "ftp", ftpHost, env);
    if (route.kind == ProxyRoute::Kind::None)
        return false;
    if (route.kind == ProxyRoute::Kind::Http)
        curl_easy_setopt(curl, CURLOPT_HTTPPROXYTUNNEL, 1L);
    curl_easy_setopt(curl, CURLOPT_FTPPORT, nullptr);
    curl_easy_setopt(curl, CURLOPT_FTP_USE_EPSV, 1L);
    return true;
}

void applySiteTrust(CURL *curl, const QString &caFile)
{
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (caFile.isEmpty())
        return; // the system's store, libcurl's default
    const QByteArray bundle = trustBundle(curl, caFile);
    if (bundle.isEmpty()) {
        // Naming the file makes libcurl fail on it, rather than trust less.
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.toLocal8Bit().constData());
        return;
    }
    curl_blob blob{const_cast<char *>(bundle.constData()), size_t(bundle.size()), CURL_BLOB_COPY};
    curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blob);
}

} // namespace quillora::service
