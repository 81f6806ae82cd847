// The connection settings file, UserData.ini: the member's choice between the
// desktop's proxy environment and an explicit proxy, in the sections-and-keys
// text form of profile files. It lives in the user's configuration folder,
// readable by its owner only (it holds the proxy password in plain text), and
// is read back at start-up so that the choice takes effect.
#pragma once

#include "service/proxy_settings.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace quillora::session {

// Sections and keys of the file.
inline constexpr char kSetupSection[] = "SETUP_OPTION";
inline constexpr char kSetupTypeKey[] = "SETUP_TYPE";
inline constexpr char kProxyTypeSection[] = "PROXY_TYPE";
inline constexpr char kProxyTypeKey[] = "PROXY_TYPE";
inline constexpr char kProxyOptionSection[] = "PROXY_OPTION";
inline constexpr char kProxyServerKey[] = "PROXY_SERVER";
inline constexpr char kProxyPortKey[] = "PROXY_PORT";
inline constexpr char kProxyUsernameKey[] = "PROXY_USERNAME";
inline constexpr char kProxyPasswordKey[] = "PROXY_PASSWORD";
inline constexpr char kProxyRegionKey[] = "PROXY_REGION";

// A profile file held as its lines: "[SECTION]" headers and "KEY=value"
// entries. Section and key names compare without regard to case; values are
// text, blanks around them dropped when read. Lines the class does not
// understand (comments, blank lines) are kept as they are.
class ProfileFile {
  public:
    // A missing file reads as an empty one; false only when it exists and
    // cannot be read.
    bool load(const QString &path);
    // Written beside the target and renamed into place, owner-only (0600),
    // its folder created owner-only (0700) when missing.
    bool save(const QString &path) const;

    std::optional<QString> value(const QString &section, const QString &key) const;
    // Replaces the key's value in place, or adds the key at the end of its
    // section (the section at the end of the file when missing). Line breaks
    // in the value are dropped: a value is one line.
    void setValue(const QString &section, const QString &key, const QString &value);

    QString text() const;
    void setText(const QString &text);

  private:
    QStringList m_lines;
};

// What "Connection Settings" shows and saves, as typed.
struct ConnectionChoice {
    bool useProxyServer = false; // SETUP_TYPE 1
    int proxyType = 0;           // 0 not using proxy, 1 Socks 5, 2 Http
    QString host;
    QString port;
    QString username;
    QString password;
    QString region;

    bool operator==(const ConnectionChoice &) const = default;
};

// The choice the file holds; the defaults for keys it lacks (and for a
// proxy type outside 0..2).
ConnectionChoice readConnectionChoice(const ProfileFile &file);

// The settings a choice gives. A port that is not a number from 1 to 65535
// gives port 0, which reaches no proxy.
service::ProxySettings proxySettingsOf(const ConnectionChoice &choice);

// Port text as a number from 1 to 65535 (blanks around it allowed); 0 otherwise.
quint16 parseProxyPort(const QString &text);

// $XDG_CONFIG_HOME/quillora/UserData.ini
QString connectionSettingsPath();

// The settings saved in the file at `path`; Desktop mode when it is missing
// or unreadable.
service::ProxySettings loadProxySettings(const QString &path = connectionSettingsPath());

} // namespace quillora::session
