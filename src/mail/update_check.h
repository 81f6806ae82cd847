// The update check: once per run, the site's version file is read and its
// version compared with the program's own. Reading goes through libcurl, as a
// browser would: user agent "AutoUpdateAgent", never from a cache, the
// connection settings honoured (by default the desktop's proxy environment).
#pragma once

#include "proxy_settings.h"

#include <QByteArray>
#include <QString>

namespace quillora::mail {

// The version comparison: 1 when a is newer than b, -1 when older, 0 when
// equal; -21 when a is malformed, -22 when b is. A version is one to four
// decimal numbers separated by dots (empty parts skipped, missing parts 0).
// Numbers of any length compare by value.
int Compare(const QString &a, const QString &b);

// The version text of a program file whose fixed version is (ms, ls):
// "a.b.c.d" when ls is not 0, "a.b" when only ms is, else empty.
QString versionTextFromFixed(quint32 ms, quint32 ls);
// The fixed version (ms, ls) of a version text such as "3.5.0.1".
void fixedFromVersionText(const QString &version, quint32 *ms, quint32 *ls);

class CUpdateChecker {
  public:
    static constexpr int kMaxVersionBytes = 16;
    static constexpr int kMaxUrlLength = 1024;

    // `programVersion` (such as "3.5.0.1") stands for the program file's version
    // resource; its text is rebuilt from the fixed version ("3.5.0.0" gives "3.5").
    explicit CUpdateChecker(const QString &programVersion);

    // Reads baseUrl + "versioncheck.txt"; true when it names a newer version.
    bool check(const QString &baseUrl);

    const QString &currentVersion() const { return m_current; }
    const QString &latestVersion() const { return m_latest; }

    // Time limits of the read; the defaults keep a dead site from holding start-up long.
    void setTimeouts(long connectMs, long totalMs)
    {
        m_connectMs = connectMs;
        m_totalMs = totalMs;
    }

    // The connection settings the read goes by; those the client runs with
    // unless set.
    void setProxy(const service::ProxySettings &proxy) { m_proxy = proxy; }
    // An https site's certificate is checked against the system's store and
    // the authorities of this PEM file (the site's, SiteAddress::caFile).
    void setTrustedCaFile(const QString &path) { m_caFile = path; }

    // The URL as it is requested: unsafe characters percent-encoded; empty when
    // the result is longer than kMaxUrlLength or not an http(s) URL.
    static QByteArray canonicalUrl(const QString &url);

  private:
    QString m_programVersion;
    QString m_current;
    QString m_latest;
    long m_connectMs = 10000;
    long m_totalMs = 20000;
    service::ProxySettings m_proxy = service::activeProxySettings();
    QString m_caFile;
};

} // namespace quillora::mail
