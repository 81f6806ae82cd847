#include "machine_address.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

using namespace quillora::session;

TEST(MachineAddress, FirstIPv4AddressOfANameInDottedForm)
{
    EXPECT_EQ(firstIPv4Address("localhost"), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(firstIPv4Address("192.0.2.33"), QStringLiteral("192.0.2.33"));
    EXPECT_TRUE(firstIPv4Address("::1").isEmpty()); // an IPv6-only name has no IPv4 address
    EXPECT_TRUE(firstIPv4Address(QByteArray()).isEmpty());
}

TEST(MachineAddress, MachineAddressIsAlwaysAnIPv4Address)
{
    const QString address = machineIPv4Address();
    in_addr parsed{};
    EXPECT_EQ(inet_pton(AF_INET, address.toLatin1().constData(), &parsed), 1) << qPrintable(address);
}
