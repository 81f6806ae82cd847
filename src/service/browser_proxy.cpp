#include "browser_proxy.h"

#include <algorithm>

namespace quillora::service {

namespace {

bool isNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
}

bool isAddressCharacter(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
}

bool isIpv6(const std::string &host)
{
    return host.find(':') != std::string::npos;
}

} // namespace

bool isPlainProxyHost(const std::string &host)
{
    if (host.empty() || host.size() > 253 || host.front() == '-' || host.front() == '.')
        return false;
    if (isIpv6(host))
        return std::all_of(host.begin(), host.end(), isAddressCharacter);
    return std::all_of(host.begin(), host.end(), isNameCharacter);
}

QStringList browserProxySwitches(const ProxyRoute &route)
{
    if (route.kind == ProxyRoute::Kind::None)
        return {QStringLiteral("--no-proxy-server")};
    const bool usable = (route.kind == ProxyRoute::Kind::Http || route.kind == ProxyRoute::Kind::Socks5) &&
                        route.port >= 1 && route.port <= 65535 && isPlainProxyHost(route.host);
    if (!usable)
        return {QStringLiteral("--proxy-server=http://%1:%2")
                    .arg(QLatin1String(kUnreachableProxyHost))
                    .arg(kUnreachableProxyPort)};
    QString host = QString::fromStdString(route.host);
    if (isIpv6(route.host))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    const QString scheme = route.kind == ProxyRoute::Kind::Socks5 ? QStringLiteral("socks5") : QStringLiteral("http");
    return {QStringLiteral("--proxy-server=%1://%2:%3").arg(scheme, host).arg(route.port)};
}

QByteArray withBrowserSwitches(const QByteArray &flags, const QStringList &switches)
{
    static const char *const replaced[] = {"--proxy-server", "--no-proxy-server", "--proxy-pac-url",
                                           "--proxy-auto-detect"};
    QByteArrayList words;
    for (const QByteArray &word : flags.split(' ')) {
        if (word.isEmpty())
            continue;
        const qsizetype equals = word.indexOf('=');
        const QByteArray name = equals < 0 ? word : word.first(equals);
        if (std::none_of(std::begin(replaced), std::end(replaced), [&](const char *r) { return name == r; }))
            words.append(word);
    }
    for (const QString &s : switches)
        words.append(s.toUtf8());
    return words.join(' ');
}

} // namespace quillora::service
