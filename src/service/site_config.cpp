#include "site_config.h"

#include "build_config.h"
#include "http_transport.h"

#include <QtGlobal>

namespace quillora::service {

SiteAddress compiledSite()
{
    return {QStringLiteral(QUILLORA_CFG_SITE_HOST), static_cast<quint16>(QUILLORA_CFG_SITE_PORT)};
}

std::optional<SiteAddress> parseSite(const QString &text, quint16 defaultPort)
{
    const QString t = text.trimmed();
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
    return SiteAddress{host, port};
}

SiteAddress siteFromEnvironment()
{
    const SiteAddress compiled = compiledSite();
    const QString env = qEnvironmentVariable("QUILLORA_SITE");
    if (env.isEmpty())
        return compiled;
    return parseSite(env, 80).value_or(compiled);
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
    const QString env = qEnvironmentVariable("QUILLORA_SITE");
    if (env.isEmpty())
        return siteProblem(compiledSite());
    const std::optional<SiteAddress> site = parseSite(env, 80);
    if (!site)
        return QStringLiteral("QUILLORA_SITE=\"%1\" is not a site: write host or host:port, the port a number from "
                              "1 to 65535.")
            .arg(env);
    const QString problem = siteProblem(*site);
    return problem.isEmpty() ? QString() : QStringLiteral("QUILLORA_SITE=\"%1\": ").arg(env) + problem;
}

QString serviceNamespace(const QString &host)
{
    return QStringLiteral("http://") + host + QStringLiteral("/Services/VarnelServices");
}

QString siteUrl(const SiteAddress &site, const QString &path)
{
    QString host = site.host.contains(QLatin1Char(':')) ? QLatin1Char('[') + site.host + QLatin1Char(']') : site.host;
    QString url = QStringLiteral("http://") + host;
    if (site.port != 80)
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
