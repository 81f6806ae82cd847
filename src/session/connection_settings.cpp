#include "connection_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace quillora::session {
namespace {

constexpr QFileDevice::Permissions kOwnerFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOwnerDir = kOwnerFile | QFileDevice::ExeOwner;

// The section name of a "[NAME]" line (blanks around it allowed); nullopt
// for any other line.
std::optional<QString> sectionOf(const QString &line)
{
    const QString t = line.trimmed();
    if (t.size() < 2 || !t.startsWith(QLatin1Char('[')) || !t.endsWith(QLatin1Char(']')))
        return std::nullopt;
    return t.mid(1, t.size() - 2).trimmed();
}

// The key of a "KEY=value" line; nullopt for comments and lines without '='.
std::optional<QString> keyOf(const QString &line)
{
    const QString t = line.trimmed();
    if (t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#')))
        return std::nullopt;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return std::nullopt;
    return line.left(eq).trimmed();
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString oneLine(QString value)
{
    value.remove(QLatin1Char('\r'));
    value.remove(QLatin1Char('\n'));
    return value;
}

} // namespace

bool ProfileFile::load(const QString &path)
{
    m_lines.clear();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    setText(QString::fromUtf8(file.readAll()));
    return true;
}

bool ProfileFile::save(const QString &path) const
{
    const QString dir = QFileInfo(path).absolutePath();
    if (!QFileInfo(dir).isDir()) {
        if (!QDir().mkpath(dir))
            return false;
        QFile::setPermissions(dir, kOwnerDir);
    }
    QSaveFile file(path);
    // The temporary file is made owner-only before the password goes in.
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(kOwnerFile))
        return false;
    const QByteArray bytes = text().toUtf8();
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

std::optional<QString> ProfileFile::value(const QString &section, const QString &key) const
{
    bool inSection = false;
    for (const QString &line : m_lines) {
        if (const auto s = sectionOf(line)) {
            inSection = sameName(*s, section);
            continue;
        }
        if (!inSection)
            continue;
        if (const auto k = keyOf(line); k && sameName(*k, key))
            return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
    }
    return std::nullopt;
}

void ProfileFile::setValue(const QString &section, const QString &key, const QString &value)
{
    const QString entry = key + QLatin1Char('=') + oneLine(value);
    qsizetype sectionLine = -1;
    qsizetype lastEntry = -1; // the last line of the section that is not blank
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QString &line = m_lines.at(i);
        if (const auto s = sectionOf(line)) {
            if (sectionLine >= 0)
                break; // past the end of the section
            if (sameName(*s, section)) {
                sectionLine = i;
                lastEntry = i;
            }
            continue;
        }
        if (sectionLine < 0)
            continue;
        if (const auto k = keyOf(line); k && sameName(*k, key)) {
            m_lines[i] = entry;
            return;
        }
        if (!line.trimmed().isEmpty())
            lastEntry = i;
    }
    if (sectionLine >= 0) {
        m_lines.insert(lastEntry + 1, entry);
        return;
    }
    m_lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
    m_lines.append(entry);
}

QString ProfileFile::text() const
{
    QString out;
    for (const QString &line : m_lines)
        out += line + QLatin1Char('\n');
    return out;
}

void ProfileFile::setText(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_lines = t.split(QLatin1Char('\n'));
    if (!m_lines.isEmpty() && m_lines.constLast().isEmpty())
        m_lines.removeLast();
}

ConnectionChoice readConnectionChoice(const ProfileFile &file)
{
    const auto get = [&file](const char *section, const char *key) {
        return file.value(QString::fromLatin1(section), QString::fromLatin1(key)).value_or(QString());
    };
    ConnectionChoice choice;
    choice.useProxyServer = get(kSetupSection, kSetupTypeKey) == QLatin1String("1");
    bool ok = false;
    const int type = get(kProxyTypeSection, kProxyTypeKey).toInt(&ok);
    choice.proxyType = ok && type >= 0 && type <= 2 ? type : 0;
    choice.host = get(kProxyOptionSection, kProxyServerKey);
    choice.port = get(kProxyOptionSection, kProxyPortKey);
    choice.username = get(kProxyOptionSection, kProxyUsernameKey);
    choice.password = get(kProxyOptionSection, kProxyPasswordKey);
    choice.region = get(kProxyOptionSection, kProxyRegionKey);
    return choice;
}

quint16 parseProxyPort(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 5)
        return 0;
    for (QChar c : t) {
        if (c < u'0' || c > u'9')
            return 0;
    }
    const int port = t.toInt();
    return port >= 1 && port <= 65535 ? quint16(port) : 0;
}

service::ProxySettings proxySettingsOf(const ConnectionChoice &choice)
{
    using Mode = service::ProxySettings::Mode;
    service::ProxySettings settings;
    if (!choice.useProxyServer)
        return settings; // Desktop
    if (choice.proxyType == 0) {
        settings.mode = Mode::Direct;
        return settings;
    }
    settings.mode = choice.proxyType == 1 ? Mode::Socks5 : Mode::Http;
    settings.host = choice.host.trimmed();
    settings.port = parseProxyPort(choice.port);
    settings.username = choice.username;
    settings.password = choice.password;
    settings.region = choice.region;
    return settings;
}

QString connectionSettingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/quillora/UserData.ini");
}

service::ProxySettings loadProxySettings(const QString &path)
{
    ProfileFile file;
    if (!file.load(path))
        return {};
    return proxySettingsOf(readConnectionChoice(file));
}

} // namespace quillora::session
