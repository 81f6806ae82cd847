#include "tls_relay_process.h"

#include <QDeadlineTimer>

#include <algorithm>

namespace quillora::testpeers {

TestCertificates::TestCertificates()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory");
        return;
    }
    QProcess python;
    python.start(QStringLiteral(QUILLORA_SYSTEM_PYTHON3),
                 {QStringLiteral(QUILLORA_TLS_TEST_PEER_SCRIPT), QStringLiteral("certs"), m_dir.path()});
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        m_error = QStringLiteral("the certificates were not made (is python3-cryptography installed?): ") +
                  QString::fromLocal8Bit(python.readAllStandardError());
        return;
    }
    m_made = true;
}

TlsRelayProcess::TlsRelayProcess(const QString &certificate, const QString &key, int backendPort)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(QUILLORA_SYSTEM_PYTHON3),
                    {QStringLiteral(QUILLORA_TLS_TEST_PEER_SCRIPT), QStringLiteral("relay"), QStringLiteral("--cert"),
                     certificate, QStringLiteral("--key"), key, QStringLiteral("--backend"),
                     QString::number(backendPort)});
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("python3 did not start");
        return;
    }
    QDeadlineTimer deadline(60000);
    QByteArray line;
    while (!deadline.hasExpired()) {
        if (m_process.canReadLine()) {
            line = m_process.readLine().trimmed();
            break;
        }
        if (!m_process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime()))))
            break;
    }
    const QByteArray prefix = "tls relay listening on 127.0.0.1:";
    if (!line.startsWith(prefix)) {
        m_error = QStringLiteral("the TLS relay did not start: ") + QString::fromUtf8(line);
        return;
    }
    m_port = line.mid(prefix.size()).toInt();
}

TlsRelayProcess::~TlsRelayProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

} // namespace quillora::testpeers
