// Runs scripts/smtp_server.py (aiosmtpd) for a test: on 127.0.0.1 (or
// another local address), a free port, AUTH LOGIN for one account, a
// temporary Maildir, optionally STARTTLS with a certificate made for the test. The constructor returns once the
// server listens (or failed); the destructor stops it and removes its files.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class QProcess;

namespace quillora::testpeers {

struct SmtpServerOptions {
    QString user = QStringLiteral("quillora");
    QString password = QStringLiteral("qm2007");
    QString host = QStringLiteral("127.0.0.1"); // the address to listen on
    bool startTls = false;                      // offer STARTTLS with a fresh self-signed certificate
    // The names the certificate is valid for (its subjectAltName).
    QString certificateNames = QStringLiteral("IP:127.0.0.1,DNS:localhost");
    QString refuseRecipientDomain; // RCPT TO an address of this domain gets 550 ...
    QString refuseRecipientReply;  // ... or this reply ("\n" between the lines of a multi-line one)
    QString refuseSender;          // MAIL FROM this address gets 553
};

class SmtpServerProcess {
  public:
    explicit SmtpServerProcess(SmtpServerOptions options = {});
    ~SmtpServerProcess();
    SmtpServerProcess(const SmtpServerProcess &) = delete;
    SmtpServerProcess &operator=(const SmtpServerProcess &) = delete;

    bool started() const { return m_port > 0; }
    const QString &error() const { return m_error; }
    int port() const { return m_port; }
    QString host() const { return m_options.host; }
    // The certificate the server presents (PEM); trusting it verifies the server.
    QString certificateFile() const;
    QString maildir() const;

    // Mails received so far, each as the server's decoded record: mail_from,
    // rcpt_tos, raw, headers, parts, encrypted, authenticated.
    int mailCount() const;
    // The n-th mail (1-based), waiting up to 5 s for it to be written.
    QJsonObject mail(int n) const;

    // Creates a self-signed certificate for `names` (subjectAltName form).
    static bool makeCertificate(const QString &certFile, const QString &keyFile, QString *error,
                                const QString &names = QStringLiteral("IP:127.0.0.1,DNS:localhost"));

  private:
    SmtpServerOptions m_options;
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
    QString m_error;
};

} // namespace quillora::testpeers
