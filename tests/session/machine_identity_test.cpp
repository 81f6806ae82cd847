// Machine identity from fixture trees standing for the root of the file
// system: adapter order, loopback and address-less adapters skipped, the disk
// serial from sysfs or udev, the BIOS fallback.
#include "machine_identity.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillora::session;
using Status = AdapterQuery::Status;

namespace {

class FixtureTree : public ::testing::Test {
  protected:
    QTemporaryDir root;

    void write(const QString &relative, const QByteArray &content)
    {
        const QString path = root.filePath(relative);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }

    // An adapter as sysfs shows it: ifindex, flags, type and address, each
    // value followed by a newline.
    void adapter(const QString &name, int index, const QByteArray &address, bool loopback = false)
    {
        const QString dir = QStringLiteral("sys/class/net/") + name + QLatin1Char('/');
        write(dir + QStringLiteral("ifindex"), QByteArray::number(index) + '\n');
        write(dir + QStringLiteral("flags"), loopback ? "0x9\n" : "0x1003\n");
        write(dir + QStringLiteral("type"), loopback ? "772\n" : "1\n");
        write(dir + QStringLiteral("address"), address + '\n');
    }

    // A block device: its number, and whether the kernel calls it removable.
    void disk(const QString &name, const QByteArray &device, bool removable = false)
    {
        write(QStringLiteral("sys/block/") + name + QStringLiteral("/dev"), device + '\n');
        write(QStringLiteral("sys/block/") + name + QStringLiteral("/removable"), removable ? "1\n" : "0\n");
    }

    SysfsMachineSources sources() const { return SysfsMachineSources(root.path()); }
};

} // namespace

TEST_F(FixtureTree, FirstAdapterByInterfaceIndexSkippingLoopbackAndAddresslessOnes)
{
    adapter(QStringLiteral("lo"), 1, "00:00:00:00:00:00", true);
    adapter(QStringLiteral("wlp3s0"), 3, "a4:5e:60:0b:1c:2d");
    adapter(QStringLiteral("enp0s31f6"), 2, "3c:7c:3f:aa:bb:0e");
    // A tunnel comes first by index but has no hardware address.
    write(QStringLiteral("sys/class/net/tun0/ifindex"), "0\n");
    write(QStringLiteral("sys/class/net/tun0/flags"), "0x1091\n");
    write(QStringLiteral("sys/class/net/tun0/address"), "\n");
    write(QStringLiteral("sys/class/net/bonding_masters"), "\n"); // a file beside the adapters

    const AdapterQuery q = sources().firstAdapter();
    EXPECT_EQ(q.status, Status::Ok);
    EXPECT_EQ(hardwareAddressText(q.hardwareAddress), QStringLiteral("3C7C3FAABB0E"));
}

TEST_F(FixtureTree, LoopbackOnlyMeansNoAdaptersAndNoListMeansUnsupported)
{
    EXPECT_EQ(sources().firstAdapter().status, Status::Unsupported);
    // A loopback adapter is recognised by its flags alone, or by its type alone.
    adapter(QStringLiteral("lo"), 1, "00:00:00:00:00:00", true);
    write(QStringLiteral("sys/class/net/lo2/flags"), "0x49\n");
    write(QStringLiteral("sys/class/net/lo2/address"), "02:00:00:00:00:01\n");
    write(QStringLiteral("sys/class/net/lo3/type"), "772\n");
    write(QStringLiteral("sys/class/net/lo3/address"), "02:00:00:00:00:02\n");
    EXPECT_EQ(sources().firstAdapter().status, Status::NoAdapters);
}

TEST_F(FixtureTree, HardwareAddressForms)
{
    EXPECT_EQ(parseHardwareAddress(QStringLiteral("00:1a:2B:3c:4d:5e\n")), QByteArray::fromHex("001a2b3c4d5e"));
    EXPECT_TRUE(parseHardwareAddress(QStringLiteral("00:1a:2b:3c:4d")).size() == 5);
    EXPECT_TRUE(parseHardwareAddress(QStringLiteral("0:1a:2b:3c:4d:5e")).isEmpty());
    EXPECT_TRUE(parseHardwareAddress(QStringLiteral("zz:1a:2b:3c:4d:5e")).isEmpty());
    EXPECT_TRUE(parseHardwareAddress(QString()).isEmpty());
    // Longer addresses (InfiniBand: 20 bytes) give their first 6 bytes.
    EXPECT_EQ(hardwareAddressText(QByteArray::fromHex("80000048fe800000000000000002c9030001f3d1")),
              QStringLiteral("80000048FE80"));
}

TEST_F(FixtureTree, DiskSerialOfTheLastDiskThatReportsOne)
{
    EXPECT_TRUE(sources().diskSerial().isEmpty());
    // sda: serial only in udev's data; nvme0n1: its own attribute, padded;
    // sr0 and loop0: nothing.
    disk(QStringLiteral("sda"), "8:0");
    write(QStringLiteral("run/udev/data/b8:0"),
          "S:disk/by-id/ata-X\nE:ID_SERIAL=Disk_WD-123\nE:ID_SERIAL_SHORT=WD-WX11A\n");
    disk(QStringLiteral("nvme0n1"), "259:0");
    write(QStringLiteral("sys/block/nvme0n1/device/serial"), "  S4EWNX0R 123     \n");
    disk(QStringLiteral("sr0"), "11:0", true);
    disk(QStringLiteral("loop0"), "7:0");
    EXPECT_EQ(sources().diskSerial(), QStringLiteral("WD-WX11A")); // "sda" sorts last of those with a serial

    // A USB stick sorts after the fixed disk; plugging it in changes nothing.
    disk(QStringLiteral("sdb"), "8:16", true);
    write(QStringLiteral("sys/block/sdb/device/serial"), "USB-STICK-99\n");
    EXPECT_EQ(sources().diskSerial(), QStringLiteral("WD-WX11A"));

    disk(QStringLiteral("vda"), "254:0");
    write(QStringLiteral("sys/block/vda/serial"), "virt-disk-7\n");
    EXPECT_EQ(sources().diskSerial(), QStringLiteral("virt-disk-7"));
}

TEST_F(FixtureTree, IdentityIsAddressThenDiskSerialElseBiosSerial)
{
    adapter(QStringLiteral("eth0"), 2, "00:16:3e:01:02:03");
    write(QStringLiteral("sys/class/dmi/id/product_serial"), "  VMW-42-1F-AC  \n");

    // No disk serial: the BIOS serial without '-'.
    EXPECT_EQ(machineIdentity(sources()).text, QStringLiteral("00163E010203VMW421FAC"));

    // A disk serial of 4 characters once its spaces are gone is not enough.
    disk(QStringLiteral("sda"), "8:0");
    write(QStringLiteral("sys/block/sda/device/serial"), "AB C D\n");
    EXPECT_EQ(machineIdentity(sources()).text, QStringLiteral("00163E010203VMW421FAC"));

    // Five characters are: the disk serial without spaces, '-' kept.
    write(QStringLiteral("sys/block/sda/device/serial"), "A-B C D\n");
    const MachineIdentity id = machineIdentity(sources());
    EXPECT_EQ(id.text, QStringLiteral("00163E010203A-BCD"));
    EXPECT_EQ(id.adapter, Status::Ok);
}

TEST_F(FixtureTree, ShortDiskSerialFallsBackToBiosEvenWhenThatIsEmpty)
{
    disk(QStringLiteral("sda"), "8:0");
    write(QStringLiteral("sys/block/sda/device/serial"), "1234\n");
    EXPECT_EQ(machineIdentity(sources()).text, QString());

    write(QStringLiteral("sys/class/dmi/id/board_serial"), "-BOARD-9-\n");
    const MachineIdentity id = machineIdentity(sources());
    EXPECT_EQ(id.text, QStringLiteral("BOARD9")); // no adapter list: nothing in front
    EXPECT_EQ(id.adapter, Status::Unsupported);
}
