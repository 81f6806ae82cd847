#include "net_set_dlg.h"

namespace quillora::session {

ProxyFieldRule checkProxyFields(const ConnectionChoice &choice)
{
    if (!choice.useProxyServer || choice.proxyType == 0)
        return ProxyFieldRule::Ok;
    if (choice.host.trimmed().isEmpty())
        return ProxyFieldRule::NoHost;
    if (choice.port.trimmed().isEmpty())
        return ProxyFieldRule::NoPort;
    if (parseProxyPort(choice.port) == 0)
        return ProxyFieldRule::BadPort;
    if (choice.username.isEmpty())
        return ProxyFieldRule::NoUsername;
    if (choice.password.isEmpty())
        return ProxyFieldRule::NoPassword;
    if (choice.region.isEmpty())
        return ProxyFieldRule::NoRegion;
    return ProxyFieldRule::Ok;
}

NetSetField fieldOf(ProxyFieldRule rule)
{
    switch (rule) {
    case ProxyFieldRule::Ok:
    case ProxyFieldRule::NoHost:
        return NetSetField::Host;
    case ProxyFieldRule::NoPort:
    case ProxyFieldRule::BadPort:
        return NetSetField::Port;
    case ProxyFieldRule::NoUsername:
        return NetSetField::Username;
    case ProxyFieldRule::NoPassword:
        return NetSetField::Password;
    case ProxyFieldRule::NoRegion:
        return NetSetField::Region;
    }
    return NetSetField::Host;
}

QString CNetSetDlg::messageFor(ProxyFieldRule rule)
{
    switch (rule) {
    case ProxyFieldRule::Ok:
        return {};
    case ProxyFieldRule::NoHost:
        return QStringLiteral("You need to type in the proxy host!");
    case ProxyFieldRule::NoPort:
        return QStringLiteral("You need to type in the proxy port!");
    case ProxyFieldRule::BadPort:
        return QStringLiteral("The proxy port must be a number from 1 to 65535!");
    case ProxyFieldRule::NoUsername:
        return QStringLiteral("You need to type in the proxy username!");
    case ProxyFieldRule::NoPassword:
        return QStringLiteral("You need to type in the proxy password!");
    case ProxyFieldRule::NoRegion:
        return QStringLiteral("You need to type in the proxy region!");
    }
    return {};
}

CNetSetDlg::CNetSetDlg(QString settingsPath, NetSetView &view, platform::MessageBoxes &messages)
    : m_path(std::move(settingsPath)), m_view(view), m_messages(messages)
{
}

void CNetSetDlg::onInitDialog()
{
    ProfileFile file;
    file.load(m_path); // an unreadable file shows the defaults
    const ConnectionChoice choice = readConnectionChoice(file);
    m_view.setUseProxyServer(choice.useProxyServer);
    m_view.setProxyType(choice.proxyType);
    m_view.setFieldText(NetSetField::Host, choice.host);
    m_view.setFieldText(NetSetField::Port, choice.port);
    m_view.setFieldText(NetSetField::Username, choice.username);
    m_view.setFieldText(NetSetField::Password, choice.password);
    m_view.setFieldText(NetSetField::Region, choice.region);
    m_view.setProxyControlsEnabled(choice.useProxyServer);
}

void CNetSetDlg::onModeChanged()
{
    m_view.setProxyControlsEnabled(m_view.useProxyServer());
}

ConnectionChoice CNetSetDlg::choiceFromView() const
{
    ConnectionChoice choice;
    choice.useProxyServer = m_view.useProxyServer();
    choice.proxyType = m_view.proxyType();
    choice.host = m_view.fieldText(NetSetField::Host);
    choice.port = m_view.fieldText(NetSetField::Port);
    choice.username = m_view.fieldText(NetSetField::Username);
    choice.password = m_view.fieldText(NetSetField::Password);
    choice.region = m_view.fieldText(NetSetField::Region);
    return choice;
}

void CNetSetDlg::message(const QString &text)
{
    m_messages.ok(text, platform::programTitle(), platform::MessageIcon::Warning, m_view.messageOwner());
}

void CNetSetDlg::onOk()
{
    const ConnectionChoice choice = choiceFromView();
    // Every check comes before any write: a half-written file would leave a
    // proxy in force without its address.
    if (const ProxyFieldRule rule = checkProxyFields(choice); rule != ProxyFieldRule::Ok) {
        message(messageFor(rule));
        m_view.focusField(fieldOf(rule));
        return;
    }

    ProfileFile file;
    if (!file.load(m_path)) {
        message(saveFailedMessage());
        return;
    }
    const auto put = [&file](const char *section, const char *key, const QString &value) {
        file.setValue(QString::fromLatin1(section), QString::fromLatin1(key), value);
    };
    put(kSetupSection, kSetupTypeKey, choice.useProxyServer ? QStringLiteral("1") : QStringLiteral("0"));
    if (choice.useProxyServer) {
        put(kProxyTypeSection, kProxyTypeKey, QString::number(choice.proxyType));
        // "Not using proxy" keeps the proxy fields saved before.
        if (choice.proxyType > 0) {
            put(kProxyOptionSection, kProxyServerKey, choice.host);
            put(kProxyOptionSection, kProxyPortKey, choice.port);
            put(kProxyOptionSection, kProxyUsernameKey, choice.username);
            put(kProxyOptionSection, kProxyPasswordKey, choice.password);
            put(kProxyOptionSection, kProxyRegionKey, choice.region);
        }
    }
    if (!file.save(m_path)) {
        message(saveFailedMessage());
        return;
    }
    m_saved = proxySettingsOf(readConnectionChoice(file));
    service::setActiveProxySettings(m_saved);
    m_view.endDialog(true);
}

void CNetSetDlg::onCancel()
{
    m_view.endDialog(false);
}

} // namespace quillora::session
