#include <memory>
#include <vector>

#include <boost/asio/io_context.hpp>
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

TEST(ServerPendingConnections, TheOldestOfASourceOrOfAllIsClosedAndOneThatLeftIsNever)
{
    using ferrow::server::PendingConnections;
    namespace asio = boost::asio;
    asio::io_context io;
    std::vector<std::unique_ptr<asio::ip::tcp::socket>> sockets;
    std::vector<std::shared_ptr<PendingConnections::Entry>> entries;
    PendingConnections pending(4, 2);
    const auto admit = [&](const char* source) {
        sockets.push_back(std::make_unique<asio::ip::tcp::socket>(io, asio::ip::tcp::v4()));
        entries.push_back(pending.admit(*sockets.back(), asio::ip::make_address(source)));
    };
    const auto open = [&](std::size_t i) {
        io.poll(); // closes run on the sockets' own executor
        io.restart();
        return sockets[i]->is_open();
    };
    admit("192.0.2.1");
    admit("192.0.2.1");
    pending.leave(entries[0]); // authenticated: no longer counted, never closed
    admit("192.0.2.1");
    EXPECT_EQ(pending.size(), 2U);
    admit("192.0.2.1"); // the source's third pending: its oldest still counted goes
    EXPECT_TRUE(open(0));
    EXPECT_FALSE(open(1));
    EXPECT_TRUE(open(2));
    EXPECT_EQ(pending.size(), 2U);
    admit("198.51.100.1");
    admit("198.51.100.2");
    admit("198.51.100.3"); // the fifth in all: the oldest of all goes, whatever its source
    EXPECT_FALSE(open(2));
    EXPECT_TRUE(open(3));
    EXPECT_EQ(pending.size(), 4U);
    for (std::size_t i = 3; i < entries.size(); ++i) {
        pending.leave(entries[i]);
    }
    EXPECT_EQ(pending.size(), 0U);
    admit("192.0.2.1"); // the source's chain starts again from empty
    admit("192.0.2.1");
    EXPECT_EQ(pending.size(), 2U);
    EXPECT_TRUE(open(7) && open(8) && open(3));
}
