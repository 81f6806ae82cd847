// The mail account both mail dialogs send through: the server, the account
// that logs in, the sender's mailbox and the webmaster's, compiled in.
// QUILLORA_SMTP=host[:port] points the client at another server (port 25
// unless it names another). The password goes over TLS only, unless the
// server is on a loopback address; QUILLORA_SMTP_TLS=require asks for TLS
// there too, "auto" upgrades only when the server offers STARTTLS, "off"
// never upgrades.
#pragma once

#include "smtp_connection.h"

#include <QString>

namespace quillora::mail {

struct MailSettings {
    QString host;
    quint16 port = 25;
    QString user;
    QString password;
    QString sender;    // the account's own mailbox, the envelope sender
    QString webmaster; // where feedback goes
    TlsPolicy tls = TlsPolicy::RequiredUnlessLoopback;
    QString trustFile;          // certificate authorities instead of the system store (tests)
    int replyTimeoutMs = 60000; // longest wait for a reply
    int connectTimeoutMs = 10000;
};

MailSettings compiledMailSettings();
// compiledMailSettings() with QUILLORA_SMTP and QUILLORA_SMTP_TLS applied
// when they are set and well-formed.
MailSettings mailSettingsFromEnvironment();

// A connection set up as `settings` say (time limits, TLS, trust).
void configureConnection(CSMTPConnection &connection, const MailSettings &settings);

} // namespace quillora::mail
