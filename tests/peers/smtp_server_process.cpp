#include "smtp_server_process.h"

#include "peer_lifetime.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QThread>

namespace quillora::testpeers {

bool SmtpServerProcess::makeCertificate(const QString &certFile, const QString &keyFile, QString *error,
                                        const QString &names)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                   QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-keyout"), keyFile, QStringLiteral("-out"), certFile, QStringLiteral("-days"),
                   QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=quillora test"),
                   QStringLiteral("-addext"), QStringLiteral("subjectAltName=") + names});
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("openssl failed: ") + QString::fromLocal8Bit(openssl.readAllStandardError());
        return false;
    }
    return true;
}

SmtpServerProcess::SmtpServerProcess(SmtpServerOptions options) : m_options(std::move(options))
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return;
    }
    QStringList args{QStringLiteral(QUILLORA_SMTP_SERVER_SCRIPT),
                     QStringLiteral("--host"),
                     m_options.host,
                     QStringLiteral("--maildir"),
                     maildir(),
                     QStringLiteral("--user"),
                     m_options.user};
    if (m_options.startTls) {
        const QString key = m_dir.filePath(QStringLiteral("key.pem"));
        if (!makeCertificate(certificateFile(), key, &m_error, m_options.certificateNames))
            return;
        args << QStringLiteral("--tls-cert") << certificateFile() << QStringLiteral("--tls-key") << key;
    }
    if (!m_options.refuseRecipientDomain.isEmpty())
        args << QStringLiteral("--refuse-rcpt-domain") << m_options.refuseRecipientDomain;
    if (!m_options.refuseRecipientReply.isEmpty())
        args << QStringLiteral("--refuse-rcpt-reply") << m_options.refuseRecipientReply;
    if (!m_options.refuseSender.isEmpty())
        args << QStringLiteral("--refuse-sender") << m_options.refuseSender;

    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    dieWithTest(*m_process);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SMTP_SERVER_PASSWORD"), m_options.password);
    m_process->setProcessEnvironment(environment);
    m_process->start(QStringLiteral(QUILLORA_SYSTEM_PYTHON3), args);
    if (!m_process->waitForStarted(10000)) {
        m_error = QStringLiteral("python3 did not start");
        return;
    }
    // Python and aiosmtpd take a moment to load on a busy machine.
    QDeadlineTimer deadline(60000);
    QByteArray line;
    while (!deadline.hasExpired()) {
        if (m_process->canReadLine()) {
            line = m_process->readLine().trimmed();
            break;
        }
        if (!m_process->waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime()))))
            break;
    }
    const QByteArray prefix = "smtp-server listening on " + m_options.host.toLatin1() + ':';
    if (!line.startsWith(prefix)) {
        m_error = QStringLiteral("the SMTP server did not start: ") + QString::fromUtf8(line);
        return;
    }
    m_port = line.mid(prefix.size()).toInt();
}

SmtpServerProcess::~SmtpServerProcess()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(10000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
}

QString SmtpServerProcess::certificateFile() const
{
    return m_dir.filePath(QStringLiteral("cert.pem"));
}

QString SmtpServerProcess::maildir() const
{
    return m_dir.filePath(QStringLiteral("Maildir"));
}

int SmtpServerProcess::mailCount() const
{
    return int(QDir(maildir() + QStringLiteral("/decoded")).entryList({QStringLiteral("*.json")}, QDir::Files).size());
}

QJsonObject SmtpServerProcess::mail(int n) const
{
    const QString path = QStringLiteral("%1/decoded/%2.json").arg(maildir()).arg(n);
    QDeadlineTimer deadline(5000);
    while (!QFile::exists(path) && !deadline.hasExpired())
        QThread::msleep(20);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace quillora::testpeers
