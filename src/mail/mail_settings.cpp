#include "mail_settings.h"

#include "mail_config.h"
#include "site_config.h"

#include <QtGlobal>

namespace quillora::mail {

MailSettings compiledMailSettings()
{
    MailSettings s;
    s.host = QStringLiteral(QUILLORA_CFG_SMTP_HOST);
    s.user = QStringLiteral(QUILLORA_CFG_SMTP_USER);
    s.password = QStringLiteral(QUILLORA_CFG_SMTP_PASSWORD);
    s.sender = QStringLiteral(QUILLORA_CFG_SMTP_SENDER);
    s.webmaster = QStringLiteral(QUILLORA_CFG_WEBMASTER_ADDRESS);
    s.tls = QUILLORA_CFG_SMTP_REQUIRE_TLS ? TlsPolicy::Required : TlsPolicy::RequiredUnlessLoopback;
    return s;
}

MailSettings mailSettingsFromEnvironment()
{
    MailSettings s = compiledMailSettings();
    const QString server = qEnvironmentVariable("QUILLORA_SMTP");
    if (!server.isEmpty()) {
        if (const auto parsed = service::parseSite(server, 25)) {
            s.host = parsed->host;
            s.port = parsed->port;
        }
    }
    const QString tls = qEnvironmentVariable("QUILLORA_SMTP_TLS").toLower();
    if (tls == QLatin1String("require"))
        s.tls = TlsPolicy::Required;
    else if (tls == QLatin1String("off"))
        s.tls = TlsPolicy::Off;
    else if (tls == QLatin1String("auto"))
        s.tls = TlsPolicy::Opportunistic;
    return s;
}

void configureConnection(CSMTPConnection &connection, const MailSettings &settings)
{
    connection.setReplyTimeout(settings.replyTimeoutMs);
    connection.setConnectTimeout(settings.connectTimeoutMs);
    connection.setTlsPolicy(settings.tls);
    connection.setTrustFile(settings.trustFile);
}

} // namespace quillora::mail
