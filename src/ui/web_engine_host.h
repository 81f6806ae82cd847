// The embedded browser's engine, started when the first page is shown and
// not before: a program that spends its day in the tray pays for the engine
// only once the member reads a page. The host owns the off-the-record
// profile the zone views share (no history, cache or cookies on disk), sends
// the browser's traffic along the connection settings' route to the site, and
// decides the certificate errors of its pages.
//
// Connection settings. The engine takes its proxy from its command line when
// it starts, so the first page follows the settings in force at that moment.
// A change after that cannot reach an engine that runs; the next page is made
// in a fresh profile that follows the new route (Qt's application proxy), and
// so does every page after it. The engine then leaves loopback and plain
// host names out of the proxy, as it does by itself.
//
// Certificates. A chain the engine can place in the system's trust store is
// the engine's business. A chain it cannot place is accepted only when our own
// check finds it ends in the site's CA (its caFile, QUILLORA_CA_FILE), is
// valid now and is issued for the page's host; every other certificate error
// fails the page.
#pragma once

#include "service/proxy_settings.h"
#include "service/site_config.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QWebEngineCertificateError>

class QWebEnginePage;
class QWebEngineProfile;

namespace quillora::ui {

// Whether a certificate error may be overridden: an unknown authority only,
// an error the engine lets us override, and a chain that our own check
// finds ending in the CA of `caFile`, valid now and issued for `host`.
bool acceptableCertificate(QWebEngineCertificateError::Type type, bool overridable, const QList<QSslCertificate> &chain,
                           const QString &host, const QString &caFile);

class WebEngineHost : public QObject {
    Q_OBJECT
  public:
    explicit WebEngineHost(const service::SiteAddress &site, QObject *parent = nullptr);
    ~WebEngineHost() override;

    // The profile new pages are made in; null until the first page.
    QWebEngineProfile *profile() const { return m_profile; }
    // True once the engine runs in this process (whoever started it).
    static bool engineStarted();

    // The page a view is to show its next address in: `current` when it is
    // still right, else a new page owned by `owner` (the view). The first
    // call starts the engine; a call after the connection settings changed
    // makes a fresh profile that follows them.
    QWebEnginePage *pageFor(QWebEnginePage *current, QObject *owner);

  private:
    service::ProxyRoute currentRoute() const;
    void makeProfile(const service::ProxyRoute &route);
    void pageGone(QWebEngineProfile *profile);

    service::SiteAddress m_site;
    QWebEngineProfile *m_profile = nullptr;
    service::ProxyRoute m_profileRoute;
    // Pages per profile; a profile replaced by a newer one goes with its last page.
    QHash<QWebEngineProfile *, int> m_pages;
    QList<QWebEngineProfile *> m_retired;
};

} // namespace quillora::ui
