// The machine's IPv4 address as start-up sends it with SetUserOnline: the
// local host name resolved to its first IPv4 address, in dotted decimal.
#pragma once

#include <QByteArray>
#include <QString>

namespace quillora::session {

// The first IPv4 address `hostName` resolves to; empty when it has none.
QString firstIPv4Address(const QByteArray &hostName);

// firstIPv4Address of the local host name. When the host name cannot be read
// or has no IPv4 address, the member is still signed in and the loopback
// address "127.0.0.1" is sent: the service only records the address.
QString machineIPv4Address();

} // namespace quillora::session
