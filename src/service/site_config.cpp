#include "site_config.h"

#include "build_config.h"
#include "http_url.h"

#include <QFileInfo>
#include <QtGlobal>

namespace quillora::service {

SiteAddress compiledSite()
{
    // CMake has checked the form; the fallback only keeps a hand-edited
    // header from crashing anything.
    const QString text = QStringLiteral(QUILLORA_CFG_SITE);
    return parseSite(text, 80).value_or(SiteAddress{text, 80});
}

std::optional<SiteAddress> parseSite(const QString &text, quint16 defaultPort)
{
    QString t = text.trimmed();
    bool tls = false;
    if (t.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        tls = true;
        defaultPort = 443;
        t.remove(0, 8);
    } else if (t.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)) {
        defaultPort = 80;
        t.remove(0, 7);
    }
    if (t.endsWith(QLatin1Char('/')))
        t.chop(1);
    QString host;
    QString portText;
    if (t.startsWith(QLatin1Char('['))) {
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        host = t.mid(1, close - 1);
        const QString rest = t.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return std::nullopt;
            portText = rest.mid(1);
            if (portText.isEmpty())
                return std::nullopt;
        }
    } else {
        const qsizetype colon = t.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0) {
            host = t.left(colon);
            portText = t.mid(colon + 1);
            if (portText.isEmpty())
                return std::nullopt;
        } else {
            host = t;
        }
    }
    if (host.isEmpty() || host.contains(QLatin1Char(' ')) || host.contains(QLatin1Char('/')))
        return std::nullopt;
    quint16 port = defaultPort;
    if (!portText.isEmpty()) {
        for (QChar c : portText)
            if (!c.isDigit() || c.unicode() > 0x7f)
                return std::nullopt;
        bool ok = false;
        const uint p = portText.toUInt(&ok);
        if (!ok || p == 0 || p > 65535)
            return std::nullopt;
        port = static_cast<quint16>(p);
    }
    return SiteAddress{host, port, tls, QString()};
}

SiteAddress siteFromEnvironment()
{
    const QString env = qEnvironmentVariable("QUILLORA_SITE");
    SiteAddress site = env.isEmpty() ? compiledSite() : parseSite(env, 80).value_or(compiledSite());
    site.caFile = qEnvironmentVariable("QUILLORA_CA_FILE");
    return site;
}

QString siteProblem(const SiteAddress &site)
{
    HttpUrl parsed;
    if (HttpUrl::parse(siteUrl(site, QString::fromLatin1(kServicePath)).toStdString(), parsed))
        return QString();
    return QStringLiteral("The host name \"%1\" cannot be used in a web address: a host name holds only letters, "
                          "digits, hyphens, dots and underscores (or an IPv6 address in brackets).")
        .arg(site.host);
}

QString siteEnvironmentProblem()
{
    const QString caFile = qEnvironmentVariable("QUILLORA_CA_FILE");
    // Every TLS call would fail on it, with nothing to say why.
    if (!caFile.isEmpty() && !QFileInfo(caFile).isReadable())
        return QStringLiteral("QUILLORA_CA_FILE=\"%1\" cannot be read: name a PEM file of certificate authorities.")
            .arg(caFile);
    const QString env = qEnvironmentVariable("QUILLORA_SITE");
    if (env.isEmpty())
        return siteProblem(compiledSite());
    const std::optional<SiteAddress> site = parseSite(env, 80);
    if (!site)
        return QStringLiteral("QUILLORA_SITE=\"%1\" is not a site: write host or host:port, or https://host[:port] "
                              "for TLS, the port a number from 1 to 65535.")
            .arg(env);
    const QString problem = siteProblem(*site);
    return problem.isEmpty() ? QString() : QStringLiteral("QUILLORA_SITE=\"%1\": ").arg(env) + problem;
}

QString serviceNamespace(const QString &host)
{
    // A name, not an address to fetch: the same whether the site is TLS or not.
    return QStringLiteral("http://") + host + QStringLiteral("/Services/VarnelServices");
}

QString siteUrl(const SiteAddress &site, const QString &path)
{
    QString host = site.host.contains(QLatin1Char(':')) ? QLatin1Char('[') + site.host + QLatin1Char(']') : site.host;
    QString url = (site.tls ? QStringLiteral("https://") : QStringLiteral("http://")) + host;
    if (site.port != (site.tls ? 443 : 80))
        url += QLatin1Char(':') + QString::number(site.port);
    return url + path;
}

ServiceAccount compiledServiceAccount()
{
    return {QStringLiteral(QUILLORA_CFG_SERVICE_USER), QStringLiteral(QUILLORA_CFG_SERVICE_PASSWORD)};
}

QString programVersion()
{
    return QStringLiteral(QUILLORA_CFG_VERSION);
}

} // namespace quillora::service
