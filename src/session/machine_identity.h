// The machine identity sent with a registration (`userGuid`): the hardware
// address of the first network adapter, followed by the disk serial number
// when it has more than 4 characters without spaces, else the BIOS serial
// number without '-'.
//
// On Linux the three sources are files the kernel and udev publish:
//  - adapters: /sys/class/net/<name>, in interface index order (the order in
//    which the system lists them); loopback adapters and adapters without a
//    hardware address are skipped;
//  - disk serial: of the fixed block devices in /sys/block (by name; those
//    whose "removable" attribute reads 0), the last one that reports a
//    serial, from the device's own "serial" attribute or from udev's
//    ID_SERIAL_SHORT in /run/udev/data/b<major>:<minor>;
//  - BIOS serial: DMI data, /sys/class/dmi/id/product_serial, else
//    board_serial (both readable by root only on most systems; empty else).
// MachineSources is the interface the identity is worked out through; the
// sysfs implementation takes the file system root, so tests give it a tree.
#pragma once

#include <QByteArray>
#include <QString>

namespace quillora::session {

struct AdapterQuery {
    enum class Status {
        Ok,          // an adapter was found
        NoAdapters,  // the list was read, but holds no adapter with an address
        Unsupported, // the system offers no adapter list
    };
    Status status = Status::Unsupported;
    QByteArray hardwareAddress; // the first adapter's address bytes
};

class MachineSources {
  public:
    virtual ~MachineSources() = default;
    virtual AdapterQuery firstAdapter() const = 0;
    // Serial number of the last disk that reports one, trimmed; empty if none.
    virtual QString diskSerial() const = 0;
    // The BIOS (system) serial number, trimmed; empty if none.
    virtual QString biosSerial() const = 0;
};

class SysfsMachineSources : public MachineSources {
  public:
    // `root` stands for "/": sysfs under root/sys, udev data under root/run/udev.
    explicit SysfsMachineSources(QString root = QStringLiteral("/"));

    AdapterQuery firstAdapter() const override;
    QString diskSerial() const override;
    QString biosSerial() const override;

  private:
    QString path(const QString &relative) const;
    QString m_root;
};

struct MachineIdentity {
    QString text;                                            // the userGuid
    AdapterQuery::Status adapter = AdapterQuery::Status::Ok; // how the adapter query went
};

// Upper-case hexadecimal of the address's first 6 bytes (fewer when shorter).
QString hardwareAddressText(const QByteArray &address);
// "aa:bb:cc:dd:ee:ff" (any length) as bytes; empty when malformed.
QByteArray parseHardwareAddress(const QString &text);

MachineIdentity machineIdentity(const MachineSources &sources);

} // namespace quillora::session
