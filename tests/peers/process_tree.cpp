#include "process_tree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <map>

namespace quillora::testpeers {

namespace {

// The parent of `pid` from /proc/PID/stat: "pid (comm) state ppid ...",
// where comm may itself hold blanks and parentheses.
pid_t parentOf(const QString &pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    return fields.size() > 1 ? pid_t(fields.at(1).toInt()) : -1;
}

} // namespace

std::vector<pid_t> descendantsOf(pid_t pid)
{
    std::multimap<pid_t, pid_t> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool number = false;
        const pid_t child = pid_t(entry.toInt(&number));
        if (number)
            children.emplace(parentOf(entry), child);
    }
    std::vector<pid_t> found;
    std::vector<pid_t> parents{pid};
    for (size_t next = 0; next < parents.size(); ++next) {
        const auto [first, last] = children.equal_range(parents[next]);
        for (auto it = first; it != last; ++it) {
            found.push_back(it->second);
            parents.push_back(it->second);
        }
    }
    return found;
}

QString executableName(pid_t pid)
{
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid))).fileName();
}

std::vector<pid_t> webEngineHelpersOf(pid_t pid)
{
    std::vector<pid_t> helpers;
    for (pid_t child : descendantsOf(pid)) {
        if (executableName(child) == QStringLiteral("QtWebEngineProcess"))
            helpers.push_back(child);
    }
    return helpers;
}

MemoryUse memoryUseOf(pid_t pid)
{
    MemoryUse use;
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly))
        return use;
    for (const QByteArray &line : rollup.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 2)
            continue;
        if (f.at(0) == "Pss:")
            use.pssKiB = f.at(1).toLongLong();
        else if (f.at(0) == "Rss:")
            use.rssKiB = f.at(1).toLongLong();
    }
    return use;
}

} // namespace quillora::testpeers
