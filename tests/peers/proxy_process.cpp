#include "proxy_process.h"

#include "peer_lifetime.h"

#include <QFile>
#include <QThread>

#include <chrono>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillora::testpeers {

// Bound to port 0, read back, released.
int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

namespace {

bool accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(quint16(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

} // namespace

bool waitUntilListening(int port, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!accepts(port)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QThread::msleep(50);
    }
    return true;
}

ProxyProcess::ProxyProcess(Kind kind, const std::string &username, const std::string &password)
{
    if (!m_dir.isValid()) {
        m_error = "no temporary folder";
        return;
    }
    m_port = freeLoopbackPort();
    m_logPath = m_dir.filePath(QStringLiteral("proxy.log"));
    QString program;
    QStringList args;
    if (kind == Kind::Http) {
        const QString config = m_dir.filePath(QStringLiteral("tinyproxy.conf"));
        QByteArray text = "Port " + QByteArray::number(m_port) +
                          "\n"
                          "Listen 127.0.0.1\n"
                          "Timeout 30\n"
                          "LogFile \"" +
                          m_logPath.toUtf8() +
                          "\"\n"
                          "LogLevel Connect\n"
                          "MaxClients 50\n"
                          "Allow 127.0.0.1\n"
                          "DisableViaHeader Yes\n";
        if (!username.empty())
            text +=
                "BasicAuth " + QByteArray::fromStdString(username) + " " + QByteArray::fromStdString(password) + "\n";
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
            m_error = "cannot write the tinyproxy configuration";
            return;
        }
        file.close();
        program = QStringLiteral("tinyproxy");
        args << QStringLiteral("-d") << QStringLiteral("-c") << config;
    } else {
        program = QStringLiteral("microsocks");
        args << QStringLiteral("-i") << QStringLiteral("127.0.0.1") << QStringLiteral("-p") << QString::number(m_port);
        if (!username.empty())
            args << QStringLiteral("-u") << QString::fromStdString(username) << QStringLiteral("-P")
                 << QString::fromStdString(password);
        m_process.setStandardOutputFile(m_logPath, QIODevice::Append);
        m_process.setStandardErrorFile(m_logPath, QIODevice::Append);
    }
    if (kind == Kind::Http)
        m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("stderr.txt")));
    dieWithTest(m_process);
    m_process.start(program, args);
    if (!m_process.waitForStarted(10000)) {
        m_error = "cannot start " + program.toStdString() + " (is it installed?)";
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (m_process.state() != QProcess::Running) {
            m_error = program.toStdString() + " ended at start";
            return;
        }
        if (accepts(m_port)) {
            m_started = true;
            return;
        }
        QThread::msleep(50);
    }
    m_error = program.toStdString() + " did not listen in time";
}

ProxyProcess::~ProxyProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

std::string ProxyProcess::log() const
{
    QFile file(m_logPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

int ProxyProcess::logCount(const std::string &text) const
{
    const QByteArray needle = QByteArray::fromStdString(text);
    int count = 0;
    for (const QByteArray &line : QByteArray::fromStdString(log()).split('\n'))
        count += line.contains(needle) ? 1 : 0;
    return count;
}

} // namespace quillora::testpeers
