// Who a request comes from when load balancers stand in front of the server.
#include "client_address.h"

#include <gtest/gtest.h>

using namespace varnel;

TEST(ClientAddress, AddressesAreWrittenOneWayAndAnythingElseIsRefused)
{
    EXPECT_EQ(canonicalAddress("10.0.0.5"), "10.0.0.5");
    EXPECT_EQ(canonicalAddress("2001:DB8:0:0::1"), "2001:db8::1");
    EXPECT_EQ(canonicalAddress("::ffff:192.0.2.7"), "192.0.2.7");
    for (const char *bad : {"", "unknown", "10.0.0.5:8080", "[2001:db8::1]", "10.0.0.256", " 10.0.0.5", "10.0.0.5\n"})
        EXPECT_FALSE(canonicalAddress(bad)) << bad;

    // Limits count an IPv6 subscriber's whole /64 as one caller.
    EXPECT_EQ(limitGroup("10.0.0.5"), "10.0.0.5");
    EXPECT_EQ(limitGroup("::ffff:192.0.2.7"), "192.0.2.7");
    EXPECT_EQ(limitGroup("2001:db8:1:2:aaaa::1"), "2001:db8:1:2::/64");
    EXPECT_EQ(limitGroup("2001:db8:1:2:bbbb:cccc:dddd:eeee"), "2001:db8:1:2::/64");
    EXPECT_NE(limitGroup("2001:db8:1:3::1"), limitGroup("2001:db8:1:2::1"));
    EXPECT_EQ(limitGroup(""), "");

    TrustedProxies proxies;
    std::string error;
    EXPECT_TRUE(proxies.add("127.0.0.1, ::FFFF:10.1.1.1", error)) << error;
    EXPECT_TRUE(proxies.contains("10.1.1.1"));
    EXPECT_FALSE(proxies.add("10.2.2.2,balancer", error));
    EXPECT_NE(error.find("\"balancer\""), std::string::npos) << error;
}

TEST(ClientAddress, OnlyTrustedHopsAreBelievedFromTheRight)
{
    TrustedProxies proxies;
    std::string error;
    ASSERT_TRUE(proxies.add("127.0.0.1,10.1.1.1", error));
    // Not from a trusted proxy: the header is the caller's own writing.
    EXPECT_EQ(proxies.clientOf("192.0.2.9", "10.0.0.5"), "192.0.2.9");
    EXPECT_EQ(proxies.clientOf("127.0.0.1", ""), "127.0.0.1");
    EXPECT_EQ(proxies.clientOf("127.0.0.1", "10.0.0.5"), "10.0.0.5");
    // A client may put anything to the left; only what trusted hops appended counts.
    EXPECT_EQ(proxies.clientOf("127.0.0.1", "6.6.6.6, 10.0.0.5"), "10.0.0.5");
    // Two balancers in a row, the inner one trusted too.
    EXPECT_EQ(proxies.clientOf("127.0.0.1", "10.0.0.5, 10.1.1.1"), "10.0.0.5");
    // Several header lines joined in order, spaces around entries.
    EXPECT_EQ(proxies.clientOf("127.0.0.1", "6.6.6.6 ,  2001:db8::7 "), "2001:db8::7");
    // Garbage at the hop to take stops the walk where it is.
    EXPECT_EQ(proxies.clientOf("127.0.0.1", "10.0.0.5, unknown"), "127.0.0.1");
    EXPECT_EQ(proxies.clientOf("127.0.0.1", "unknown, 10.1.1.1"), "10.1.1.1");
    EXPECT_EQ(proxies.clientOf("127.0.0.1", ","), "127.0.0.1");
    EXPECT_EQ(TrustedProxies().clientOf("127.0.0.1", "10.0.0.5"), "127.0.0.1");
}
