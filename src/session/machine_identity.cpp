#include "machine_identity.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <climits>
#include <vector>

namespace quillora::session {
namespace {

constexpr unsigned kIffLoopback = 0x8; // IFF_LOOPBACK in an adapter's flags
constexpr int kArphrdLoopback = 772;   // ARPHRD_LOOPBACK, an adapter's type
constexpr qint64 kMaxAttributeBytes = 4096;

// One sysfs attribute or data file as text; empty when it cannot be read.
QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.read(kMaxAttributeBytes));
}

bool readInt(const QString &path, int base, long long *value)
{
    bool ok = false;
    const long long v = readText(path).trimmed().toLongLong(&ok, base);
    if (ok)
        *value = v;
    return ok;
}

// The value of one property line ("E:NAME=value") of a udev data file.
QString udevProperty(const QString &data, const QString &name)
{
    const QString prefix = QStringLiteral("E:") + name + QLatin1Char('=');
    for (const QStringView line : QStringView(data).split(QLatin1Char('\n'))) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).toString();
    }
    return QString();
}

} // namespace

SysfsMachineSources::SysfsMachineSources(QString root) : m_root(std::move(root)) {}

QString SysfsMachineSources::path(const QString &relative) const
{
    return QDir(m_root).filePath(relative);
}

AdapterQuery SysfsMachineSources::firstAdapter() const
{
    AdapterQuery query;
    const QDir net(path(QStringLiteral("sys/class/net")));
    if (!net.exists() || !net.isReadable())
        return query; // Unsupported

    struct Adapter {
        long long index;
        QString name;
        QByteArray address;
    };
    std::vector<Adapter> adapters;
    const QStringList names = net.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString &name : names) {
        const QString dir = net.filePath(name);
        long long flags = 0;
        long long type = 0;
        if (readInt(dir + QStringLiteral("/flags"), 16, &flags) && (flags & kIffLoopback))
            continue;
        if (readInt(dir + QStringLiteral("/type"), 10, &type) && type == kArphrdLoopback)
            continue;
        const QByteArray address = parseHardwareAddress(readText(dir + QStringLiteral("/address")));
        if (address.isEmpty() || address.count('\0') == address.size())
            continue; // no hardware address (tunnels and the like)
        long long index = LLONG_MAX;
        readInt(dir + QStringLiteral("/ifindex"), 10, &index);
        adapters.push_back({index, name, address});
    }
    if (adapters.empty()) {
        query.status = AdapterQuery::Status::NoAdapters;
        return query;
    }
    // The system lists adapters by interface index; the name breaks ties.
    const auto first = std::min_element(adapters.begin(), adapters.end(), [](const Adapter &a, const Adapter &b) {
        return a.index != b.index ? a.index < b.index : a.name < b.name;
    });
    query.status = AdapterQuery::Status::Ok;
    query.hardwareAddress = first->address;
    return query;
}

QString SysfsMachineSources::diskSerial() const
{
    const QDir block(path(QStringLiteral("sys/block")));
    QString serial;
    const QStringList names = block.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString &name : names) {
        const QString dir = block.filePath(name);
        // Fixed disks only: a USB stick or card reader that happens to be
        // plugged in must not change the machine's identity.
        if (readText(dir + QStringLiteral("/removable")).trimmed() != QLatin1String("0"))
            continue;
        QString found = readText(dir + QStringLiteral("/device/serial")).trimmed();
        if (found.isEmpty())
            found = readText(dir + QStringLiteral("/serial")).trimmed();
        if (found.isEmpty()) {
            const QString device = readText(dir + QStringLiteral("/dev")).trimmed();
            if (!device.isEmpty() && !device.contains(QLatin1Char('/')))
                found = udevProperty(readText(path(QStringLiteral("run/udev/data/b") + device)),
                                     QStringLiteral("ID_SERIAL_SHORT"))
                            .trimmed();
        }
        if (!found.isEmpty())
            serial = found; // the last disk that reports one wins
    }
    return serial;
}

QString SysfsMachineSources::biosSerial() const
{
    const QString product = readText(path(QStringLiteral("sys/class/dmi/id/product_serial"))).trimmed();
    if (!product.isEmpty())
        return product;
    return readText(path(QStringLiteral("sys/class/dmi/id/board_serial"))).trimmed();
}

QString hardwareAddressText(const QByteArray &address)
{
    return QString::fromLatin1(address.left(6).toHex().toUpper());
}

QByteArray parseHardwareAddress(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {};
    QByteArray bytes;
    for (const QStringView part : QStringView(trimmed).split(QLatin1Char(':'))) {
        if (part.size() != 2)
            return {};
        bool ok = false;
        const uint value = part.toUInt(&ok, 16);
        if (!ok)
            return {};
        bytes.append(char(value));
    }
    return bytes;
}

MachineIdentity machineIdentity(const MachineSources &sources)
{
    MachineIdentity identity;
    const AdapterQuery adapter = sources.firstAdapter();
    identity.adapter = adapter.status;
    if (adapter.status == AdapterQuery::Status::Ok)
        identity.text = hardwareAddressText(adapter.hardwareAddress);

    QString disk = sources.diskSerial();
    disk.remove(QLatin1Char(' '));
    if (disk.size() > 4) {
        identity.text += disk;
    } else {
        QString bios = sources.biosSerial();
        bios.remove(QLatin1Char('-'));
        identity.text += bios;
    }
    return identity;
}

} // namespace quillora::session
