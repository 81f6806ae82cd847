// Where the community lives and which service account the client uses.
// Values are compiled in; QUILLORA_SITE=[https://]host[:port] overrides the
// site for development and tests, QUILLORA_CA_FILE names an authority its
// certificate may come from besides the system's trust store.
#pragma once

#include <QString>
#include <optional>

namespace quillora::service {

struct SiteAddress {
    QString host;      // host name alone; it names the service namespace and the Host header
    quint16 port = 80; // only decides where to connect
    // https: every connection to the site is TLS (the service, pages, the
    // version file, head images, and the picture upload's FTP).
    bool tls = false;
    // A PEM file of authorities trusted for the site's certificate besides
    // the system's store; empty for none.
    QString caFile;

    bool operator==(const SiteAddress &) const = default;
};

struct ServiceAccount {
    QString username;
    QString password;
};

// Path of the service endpoint on the site host.
inline constexpr char kServicePath[] = "/Varnel/Web/Services/VarnelServices.asmx";

// The site compiled into this build.
SiteAddress compiledSite();
// "host", "host:port", "[v6addr]" or "[v6addr]:port", each optionally after
// "http://" or "https://" (then TLS, port 443 unless given) and before a
// final "/"; nullopt when malformed (empty host, port not a number from 1 to
// 65535). The default port is for a site written without a scheme.
std::optional<SiteAddress> parseSite(const QString &text, quint16 defaultPort);
// compiledSite(), overridden by QUILLORA_SITE when it is set and well-formed,
// with QUILLORA_CA_FILE as its extra authority. Everything that connects to
// the site, or shows its pages, takes its address and trust from here.
SiteAddress siteFromEnvironment();
// Why the site of this run cannot be used, for the member to read at
// start-up; empty when it can. Covers a QUILLORA_SITE that is not
// [https://]host[:port] (it would otherwise be passed over for the
// compiled-in site), a host that the transport refuses in a URL, which would
// fail every call, and a QUILLORA_CA_FILE that cannot be read.
QString siteEnvironmentProblem();
// The same check for one site: empty when its service endpoint is a URL the
// transport takes.
QString siteProblem(const SiteAddress &site);

// "http://" + host + "/Services/VarnelServices"
QString serviceNamespace(const QString &host);
// "http://host[:port]" + path, or https for a TLS site; the port is written
// only when it is not the scheme's own (80, 443).
QString siteUrl(const SiteAddress &site, const QString &path);

// The service account compiled into this build (13 and 17 characters by default).
ServiceAccount compiledServiceAccount();

// The program's own version, "3.5.0.1".
QString programVersion();

} // namespace quillora::service
