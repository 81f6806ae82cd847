#include "ftp_server_process.h"

#include "peer_lifetime.h"

#include <QDir>

namespace quillora::testpeers {

FtpServerProcess::FtpServerProcess(QString user, QString password, const PeerTls &tls)
    : m_user(std::move(user)), m_password(std::move(password))
{
    if (!m_root.isValid()) {
        m_error = "no temporary folder";
        return;
    }
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    dieWithTest(m_process);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("FACE_FTP_PASSWORD"), m_password);
    m_process.setProcessEnvironment(environment);
    QStringList arguments{QStringLiteral(FACE_FTP_SERVER_SCRIPT),
                          QStringLiteral("--root"),
                          m_root.path(),
                          QStringLiteral("--user"),
                          m_user,
                          QStringLiteral("--port"),
                          QStringLiteral("0")};
    if (!tls.certFile.empty())
        arguments << QStringLiteral("--tls-cert") << QString::fromStdString(tls.certFile) << QStringLiteral("--tls-key")
                  << QString::fromStdString(tls.keyFile);
    m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!m_process.waitForStarted(10000)) {
        m_error = "cannot start the FTP server: " + m_process.errorString().toStdString();
        return;
    }
    // The first line names the port; python starts slowly on a loaded machine.
    QByteArray line;
    while (!line.endsWith('\n')) {
        if (!m_process.waitForReadyRead(30000)) {
            m_error = "the FTP server did not start: " + m_process.readAllStandardError().toStdString();
            return;
        }
        line += m_process.readLine();
    }
    const QByteArray prefix = "ftp listening on ";
    const int colon = int(line.lastIndexOf(':'));
    if (!line.startsWith(prefix) || colon < 0) {
        m_error = "unexpected first line: " + line.toStdString();
        return;
    }
    m_port = line.mid(colon + 1).trimmed().toInt();
}

FtpServerProcess::~FtpServerProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

QString FtpServerProcess::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

std::string FtpServerProcess::customFaceDir() const
{
    return QDir(m_root.path()).filePath(QStringLiteral("Varnel/Web/images/CustomFace")).toStdString();
}

} // namespace quillora::testpeers
