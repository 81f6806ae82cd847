#include "single_instance.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace quillora::session {

QString SingleInstanceLock::runtimeDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString SingleInstanceLock::displaySessionKey()
{
    QString key = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (key.isEmpty())
        key = qEnvironmentVariable("DISPLAY");
    if (key.isEmpty())
        key = QStringLiteral("console");
    for (QChar &c : key) {
        const char16_t u = c.unicode();
        const bool fit = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
                         u == u'.' || u == u'-' || u == u'_';
        if (!fit)
            c = QLatin1Char('_');
    }
    return key;
}

SingleInstanceLock::SingleInstanceLock(const QString &directory, const QString &sessionKey)
{
    if (directory.isEmpty())
        return;
    m_path = QDir(directory).filePath(QStringLiteral("MyQuilloraApp-") + sessionKey + QStringLiteral(".lock"));
    const QByteArray native = QFile::encodeName(m_path);
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    m_fd = fd;
}

SingleInstanceLock::~SingleInstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing the only descriptor releases the lock
}

} // namespace quillora::session
