#include <gtest/gtest.h>

#include "CoreOptions.h"
#include "NetAddress.h"

using namespace ferrow::core;

TEST(CoreOptions, EveryFlagOfEveryCommandLineIsRead)
{
    const auto parsed = parseCommandLine({"-config",
                                          "/p/profile.conf",
                                          "-no-tun",
                                          "-socks",
                                          "127.0.0.1:7891",
                                          "-api",
                                          "127.0.0.1:0",
                                          "-api-info",
                                          "/p/api.json",
                                          "-api-info-uid",
                                          "501",
                                          "-api-info-gid",
                                          "20",
                                          "-stats",
                                          "/p/s.json",
                                          "-rule-set-dir",
                                          "/r",
                                          "-tun-name",
                                          "utun9",
                                          "-node-down-after",
                                          "5",
                                          "-lanes",
                                          "3",
                                          "-gateway",
                                          "-dns-socket",
                                          "7",
                                          "-dns-socket",
                                          "8"});
    ASSERT_TRUE(std::holds_alternative<CoreOptions>(parsed));
    const auto& options = std::get<CoreOptions>(parsed);
    EXPECT_EQ(options.configPath, "/p/profile.conf");
    EXPECT_TRUE(options.noTun);
    EXPECT_EQ(options.socksListen, "127.0.0.1:7891");
    EXPECT_EQ(options.apiListen, "127.0.0.1:0");
    EXPECT_EQ(options.apiInfoPath, "/p/api.json");
    EXPECT_EQ(options.apiInfoUid, 501u);
    EXPECT_EQ(options.apiInfoGid, 20u);
    EXPECT_EQ(options.statsPath, "/p/s.json");
    EXPECT_EQ(options.ruleSetDir, "/r");
    EXPECT_EQ(options.tunName, "utun9");
    EXPECT_TRUE(options.gateway);
    EXPECT_EQ(options.dnsSockets, (std::vector<int>{7, 8}));
    EXPECT_EQ(options.nodeDownAfterSeconds, 5u);
    EXPECT_EQ(options.lanes, 3u);
}

TEST(CoreOptions, MistakesAreUsageErrors)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"-config"},
        {"-config", "x", "-socks"},
        {"-config", "x", "--config", "y"},
        {"-config", "x", "extra"},
        {"-config", "x", "-api-info-uid", "-1"},
        {"-config", "x", "-api-info-gid", "12a"},
        {"-config", "x", "-api", "localhost"},
        {"-config", "x", "-socks", "[::1]"},
        {"-no-tun", "-gateway"},
        {"-config", "x", "-node-down-after", "0"},
        {"-config", "x", "-node-down-after", "3601"},
        {"-config", "x", "-lanes", "0"},
        {"-config", "x", "-lanes", "65"},
        {"-config", "x", "-dns-socket", "2"},
        {"-config", "x", "-dns-socket", "-4"},
        {"-config", "x", "-dns-socket", "99999999999"},
    };
    for (const auto& arguments : bad) {
        EXPECT_TRUE(std::holds_alternative<UsageError>(parseCommandLine(arguments)))
            << (arguments.empty() ? "(none)" : arguments.back());
    }
    EXPECT_NE(usageLine().find("-api-info-uid"), std::string::npos);
}

TEST(NetAddress, RangesPortsAndHostPorts)
{
    const auto range = Cidr::parse("10.0.0.0/8");
    ASSERT_TRUE(range);
    EXPECT_TRUE(range->contains(*IpAddr::parse("10.255.1.2")));
    EXPECT_FALSE(range->contains(*IpAddr::parse("11.0.0.1")));
    EXPECT_TRUE(Cidr::parse("192.168.1.0/23")->contains(*IpAddr::parse("192.168.0.9")));
    EXPECT_FALSE(Cidr::parse("192.168.1.0/24")->contains(*IpAddr::parse("192.168.0.9")));
    EXPECT_TRUE(Cidr::parse("2001:db8::/32")->contains(*IpAddr::parse("2001:db8:1::5")));
    EXPECT_FALSE(Cidr::parse("2001:db8::/32")->contains(*IpAddr::parse("10.0.0.1")));
    EXPECT_TRUE(Cidr::parse("10.0.0.0/8")->contains(*IpAddr::parse("::ffff:10.1.1.1")))
        << "mapped addresses fold";
    EXPECT_TRUE(Cidr::parse("0.0.0.0/0")->contains(*IpAddr::parse("8.8.8.8")));
    for (const char* text :
         {"10.0.0.0/33", "10.0.0.0/", "::1/129", "nonsense/8", "10.0.0.0/8/8", "10.0.0.0/abc"}) {
        EXPECT_FALSE(Cidr::parse(text)) << text;
    }
    EXPECT_EQ(PortRange::parse("8000 - 8100")->last, 8100);
    EXPECT_FALSE(PortRange::parse("8100-8000"));
    EXPECT_FALSE(PortRange::parse("70000"));
    EXPECT_FALSE(PortRange::parse("80a"));
    EXPECT_FALSE(PortRange::parse("1-2-3"));
    EXPECT_EQ(HostPort::parse("[::1]:53")->host, "::1");
    EXPECT_EQ(HostPort::parse("example.com:80")->toString(), "example.com:80");
    EXPECT_EQ((HostPort{"::1", 7}.toString()), "[::1]:7");
    EXPECT_FALSE(HostPort::parse("::1:53"));
    EXPECT_FALSE(HostPort::parse("host:65536"));
    EXPECT_FALSE(HostPort::parse(":80"));
    EXPECT_TRUE(IpAddr::parse("127.0.0.5")->isLoopback());
    EXPECT_TRUE(IpAddr::parse("::1")->isLoopback());
    EXPECT_FALSE(IpAddr::parse("10.0.0.1")->isLoopback());
}
