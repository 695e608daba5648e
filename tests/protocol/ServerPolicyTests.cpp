#include <gtest/gtest.h>

#include "PendingConnections.h"
#include "TargetPolicy.h"

using ferrow::server::isPublicAddress;

TEST(ServerTargetPolicy, PrivateLoopbackAndEmbeddedPrivateAddressesAreRefused)
{
    for (const char* text : {"127.0.0.1",
                             "0.0.0.0",
                             "10.1.2.3",
                             "172.16.0.1",
                             "172.31.255.255",
                             "192.168.1.1",
                             "169.254.169.254",
                             "100.64.0.1",
                             "224.0.0.1",
                             "255.255.255.255",
                             "198.18.0.1",
                             "198.19.255.255",
                             "::1",
                             "::",
                             "fe80::1",
                             "fd00::1",
                             "fc00::1",
                             "ff02::1",
                             "::ffff:127.0.0.1",
                             "::ffff:10.0.0.1",
                             "::127.0.0.1",
                             "64:ff9b::a00:1",
                             "2002:a00:1::1"}) {
        EXPECT_FALSE(isPublicAddress(boost::asio::ip::make_address(text))) << text;
    }
    for (const char* text : {"1.1.1.1", "8.8.8.8", "172.32.0.1", "100.128.0.1", "198.17.255.255",
                             "198.20.0.0", "2001:4860:4860::8888", "::ffff:8.8.8.8", "2002:808:808::1"}) {
        EXPECT_TRUE(isPublicAddress(boost::asio::ip::make_address(text))) << text;
    }
}

TEST(ServerPendingConnections, SourcesAreKeyedByAddressIPv4MappedAsIPv4AndIPv6ByItsSlash64)
{
    using ferrow::server::PendingConnections;
    const auto key = [](const char* text) {
        return PendingConnections::sourceKey(boost::asio::ip::make_address(text));
    };
    EXPECT_EQ(key("::ffff:192.0.2.7"), key("192.0.2.7"));
    EXPECT_NE(key("192.0.2.7"), key("192.0.2.8"));
    EXPECT_EQ(key("2001:db8:1:2::1"), key("2001:db8:1:2:ffff::9"));
    EXPECT_NE(key("2001:db8:1:2::1"), key("2001:db8:1:3::1"));
    // The four bytes of an IPv4 address never meet the eight of an IPv6 prefix.
    EXPECT_NE(key("0.0.0.0"), key("::"));
}
