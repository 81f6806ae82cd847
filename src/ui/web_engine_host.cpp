#include "web_engine_host.h"

#include "platform/certificate_chain.h"
#include "service/browser_proxy.h"
#include "shared_graphics_context.h"

#include <QAuthenticator>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include <optional>

namespace quillora::ui {

namespace {

// The route the engine was started with; unset until it starts.
std::optional<service::ProxyRoute> &engineStartRoute()
{
    static std::optional<service::ProxyRoute> route;
    return route;
}

// Set once a change of the settings moved the engine to Qt's application
// proxy: from then on every new profile follows it.
bool &applicationProxyInUse()
{
    static bool inUse = false;
    return inUse;
}

QNetworkProxy networkProxyOf(const service::ProxyRoute &route)
{
    using Kind = service::ProxyRoute::Kind;
    const bool usable = (route.kind == Kind::Http || route.kind == Kind::Socks5) && route.port >= 1 &&
                        route.port <= 65535 && !route.host.empty();
    if (route.kind == Kind::None)
        return QNetworkProxy(QNetworkProxy::NoProxy);
    if (!usable)
        return QNetworkProxy(QNetworkProxy::HttpProxy, QLatin1String(service::kUnreachableProxyHost),
                             quint16(service::kUnreachableProxyPort));
    return QNetworkProxy(route.kind == Kind::Socks5 ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy,
                         QString::fromStdString(route.host), quint16(route.port));
}

// The page's answer to the proxy's request for a user name and password:
// the settings' account, once per load (a second request means the proxy
// refused it, and asking again would only repeat the refusal).
constexpr char kProxyAnsweredProperty[] = "quilloraProxyAnswered";

} // namespace

bool acceptableCertificate(QWebEngineCertificateError::Type type, bool overridable, const QList<QSslCertificate> &chain,
                           const QString &host, const QString &caFile)
{
    if (type != QWebEngineCertificateError::CertificateAuthorityInvalid || !overridable || caFile.isEmpty() ||
        host.isEmpty())
        return false;
    std::vector<std::string> ders;
    for (const QSslCertificate &certificate : chain)
        ders.push_back(certificate.toDer().toStdString());
    return platform::net::verifyChainWithCa(ders, caFile.toStdString(), host.toStdString()) ==
           platform::net::ChainVerdict::Trusted;
}

WebEngineHost::WebEngineHost(const service::SiteAddress &site, QObject *parent) : QObject(parent), m_site(site)
{
    setObjectName(QStringLiteral("webEngineHost"));
}

// The profiles are children of the host; the zone views delete their pages first.
WebEngineHost::~WebEngineHost() = default;

bool WebEngineHost::engineStarted()
{
    return engineStartRoute().has_value();
}

service::ProxyRoute WebEngineHost::currentRoute() const
{
    // Every page the browser shows is a page of the site.
    return service::routeFor(service::activeProxySettings(), m_site.tls ? "https" : "http", m_site.host.toStdString());
}

void WebEngineHost::makeProfile(const service::ProxyRoute &route)
{
    if (!engineStartRoute()) {
        realizeSharedGraphicsContext();
        // The command line's proxy stands above the desktop's, and the engine
        // reads both when it starts, with the first profile.
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", service::withBrowserSwitches(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"),
                                                                           service::browserProxySwitches(route)));
        engineStartRoute() = route;
    } else if (applicationProxyInUse() || route != *engineStartRoute()) {
        // The engine runs with the switches of another route: Qt's
        // application proxy carries the new one, read by each new profile.
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        QNetworkProxy::setApplicationProxy(networkProxyOf(route));
        applicationProxyInUse() = true;
    }
    if (m_profile)
        m_retired.append(m_profile);
    // A profile without a storage name is off the record: pages, cache and
    // cookies stay in memory and end with the program.
    m_profile = new QWebEngineProfile(this);
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    m_profile->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    m_profileRoute = route;
}

QWebEnginePage *WebEngineHost::pageFor(QWebEnginePage *current, QObject *owner)
{
    const service::ProxyRoute route = currentRoute();
    if (!m_profile || route != m_profileRoute)
        makeProfile(route);
    if (current && current->profile() == m_profile)
        return current;

    auto *page = new QWebEnginePage(m_profile, owner);
    QWebEngineProfile *profile = m_profile;
    ++m_pages[profile];
    connect(page, &QObject::destroyed, this, [this, profile] { pageGone(profile); });
    const QString caFile = m_site.caFile;
    connect(page, &QWebEnginePage::certificateError, page, [caFile](const QWebEngineCertificateError &error) {
        QWebEngineCertificateError decision = error;
        if (acceptableCertificate(error.type(), error.isOverridable(), error.certificateChain(), error.url().host(),
                                  caFile))
            decision.acceptCertificate();
        else
            decision.rejectCertificate();
    });
    connect(page, &QWebEnginePage::loadStarted, page, [page] { page->setProperty(kProxyAnsweredProperty, false); });
    connect(page, &QWebEnginePage::proxyAuthenticationRequired, page,
            [this, page](const QUrl &, QAuthenticator *authenticator, const QString &proxyHost) {
                const service::ProxyRoute route = currentRoute();
                if (page->property(kProxyAnsweredProperty).toBool() || route.username.empty() ||
                    QString::fromStdString(route.host).compare(proxyHost, Qt::CaseInsensitive) != 0)
                    return; // left unanswered, the engine cancels the request
                page->setProperty(kProxyAnsweredProperty, true);
                authenticator->setUser(QString::fromStdString(route.username));
                authenticator->setPassword(QString::fromStdString(route.password));
            });
    return page;
}

void WebEngineHost::pageGone(QWebEngineProfile *profile)
{
    if (--m_pages[profile] > 0 || !m_retired.contains(profile))
        return;
    m_pages.remove(profile);
    m_retired.removeOne(profile);
    // Not from inside the page's own destruction.
    profile->deleteLater();
}

} // namespace quillora::ui
