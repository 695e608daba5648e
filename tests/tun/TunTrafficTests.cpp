// Enhanced Mode's tunnel end to end: a core in TUN mode in a "host" namespace, an origin, a DNS
// server and a UDP echo in an "internet" namespace, clients that know nothing about proxies.

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <net/if.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "InternetNode.h"
#include "ServerProcess.h"
#include "TestResolved.h"
#include "TunTestbed.h"

namespace ferrow::test {
namespace {

std::string profile(const std::string& rules = "FINAL,DIRECT\n", const std::string& general = "")
{
    return std::string("[General]\ndns-server = ") + kInternetDns + "\n" + general + "[Rule]\n" + rules;
}

#define REQUIRE_ROOT()                                                                                       \
    if (!canMakeNamespaces()) {                                                                              \
        GTEST_SKIP() << "SKIPPED: needs root to make network namespaces and TUN links";                      \
    }

TEST(TunTraffic, PlainClientsReachTheOriginThroughTheTunnel)
{
    REQUIRE_ROOT();
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    NamespacedCore core(
        bed.host, profile("DOMAIN,blocked.test,REJECT\nFINAL,DIRECT\n", "fake-ip-filter = real.test\n"));
    ASSERT_TRUE(core.started()) << core.log();

    // 64 MiB by address: byte for byte what the origin sent.
    std::string digest;
    const auto big =
        tcpExchange(bed.host, kOriginAddress, 80, "GET /big HTTP/1.1\r\nHost: x\r\n\r\n", &digest);
    ASSERT_TRUE(big.has_value());
    EXPECT_EQ(big->size() - big->find("\r\n\r\n") - 4, std::size_t{64} << 20);
    EXPECT_EQ(digest, expectedBigDigest(std::size_t{64} << 20));

    // Names get fake addresses from any resolver address, over UDP and TCP; AAAA stays empty.
    const auto fake = resolveIn(bed.host, kAnyResolver, "origin.test");
    ASSERT_TRUE(fake.has_value());
    EXPECT_TRUE(fake->starts_with("198.18.") || fake->starts_with("198.19.")) << *fake;
    EXPECT_EQ(resolveIn(bed.host, kAnyResolver, "origin.test", true), fake);
    int answers = -1;
    EXPECT_EQ(resolveIn(bed.host, kAnyResolver, "origin.test", false, 28, &answers), std::string());
    EXPECT_EQ(answers, 0);
    // A filtered name gets the real answer from the profile's server.
    EXPECT_EQ(resolveIn(bed.host, kAnyResolver, "real.test"), std::string(kOriginAddress));

    // Through the fake address the rules see the name.
    const auto named = tcpExchange(bed.host, *fake, 80, "GET /named HTTP/1.1\r\nHost: origin.test\r\n\r\n");
    ASSERT_TRUE(named.has_value());
    EXPECT_NE(named->find("hello from /named"), std::string::npos);
    const auto blocked = resolveIn(bed.host, kAnyResolver, "blocked.test");
    ASSERT_TRUE(blocked.has_value() && !blocked->empty());
    const auto refused = tcpExchange(bed.host, *blocked, 80, "GET / HTTP/1.1\r\nHost: blocked.test\r\n\r\n");
    EXPECT_TRUE(!refused.has_value() || refused->empty());

    // Without a lookup through us the name comes from the stream: the rules see it, the
    // connection still goes to the address the client chose.
    const auto sniffed =
        tcpExchange(bed.host, kOriginAddress, 80, "GET /sniff HTTP/1.1\r\nHost: sniffed.test\r\n\r\n");
    ASSERT_TRUE(sniffed.has_value());
    EXPECT_NE(sniffed->find("hello from /sniff"), std::string::npos);
    const auto sniffedBlock =
        tcpExchange(bed.host, kOriginAddress, 80, "GET / HTTP/1.1\r\nHost: blocked.test\r\n\r\n");
    EXPECT_TRUE(!sniffedBlock.has_value() || sniffedBlock->empty());

    // Echo requests are answered by the tunnel itself, for any address beyond it.
    EXPECT_TRUE(pingIn(bed.host, "192.0.2.77"));

    // IPv6 is translated the same way.
    const auto six =
        tcpExchange(bed.host, kOriginAddress6, 80, "GET /six HTTP/1.1\r\nHost: six.test\r\n\r\n");
    ASSERT_TRUE(six.has_value());
    EXPECT_NE(six->find("hello from /six"), std::string::npos);

    // UDP is relayed per flow.
    EXPECT_EQ(udpExchange(bed.host, kOriginAddress, 7, "ping through the tunnel"), "ping through the tunnel");

    const auto connections = nlohmann::json::parse(core.get("/connections"), nullptr, false);
    ASSERT_TRUE(connections.is_array()) << core.get("/connections");
    bool sawName = false;
    bool sawReject = false;
    bool sawUdp = false;
    bool sawSniffed = false;
    bool sawSix = false;
    for (const auto& record : connections) {
        sawName = sawName || (record["host"] == "origin.test" && record["policy"] == "DIRECT" &&
                              record["srcip"] == "172.19.0.1");
        sawReject = sawReject || (record["host"] == "blocked.test" && record["policy"] == "REJECT");
        sawUdp = sawUdp || (record["network"] == "udp" && record["port"] == 7);
        sawSniffed = sawSniffed || (record["host"] == "sniffed.test" && record["policy"] == "DIRECT");
        sawSix = sawSix || (record["host"] == "six.test" && record["srcip"] == "fdfe:dcba:9876::1");
    }
    EXPECT_TRUE(sawName) << connections.dump();
    EXPECT_TRUE(sawReject) << connections.dump();
    EXPECT_TRUE(sawUdp) << connections.dump();
    EXPECT_TRUE(sawSniffed) << connections.dump();
    EXPECT_TRUE(sawSix) << connections.dump();
}

TEST(TunTraffic, AFerrowNodeCarriesTunnelledTraffic)
{
    REQUIRE_ROOT();
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    auto options = internetNode(bed);
    ServerProcess server(options);
    ASSERT_TRUE(server.started()) << server.stderrText();
    // The core's own connection to the server goes to an address the tunnel routes: only its
    // mark keeps it from looping back into the tunnel.
    NamespacedCore core(bed.host, "[General]\ndns-server = " + std::string(kInternetDns) +
                                      "\n[Proxy]\nNode = ferrow, " + kOriginAddress + ", " +
                                      std::to_string(server.port()) + ", psk=" + options.psk +
                                      ", tfo=off\n[Rule]\nFINAL,Node\n");
    ASSERT_TRUE(core.started()) << core.log();
    // By address: the server resolves names with its own system's resolver, which this test lacks.
    const auto reply =
        tcpExchange(bed.host, kOriginAddress, 80, "GET /via-node HTTP/1.1\r\nHost: origin.test\r\n\r\n");
    ASSERT_TRUE(reply.has_value()) << core.log() << server.stderrText();
    EXPECT_NE(reply->find("hello from /via-node"), std::string::npos)
        << *reply << core.log() << server.stderrText();
    const auto records = nlohmann::json::parse(core.get("/connections"), nullptr, false);
    bool throughNode = false;
    for (const auto& record : records.is_array() ? records : nlohmann::json::array()) {
        throughNode =
            throughNode || (record.value("port", 0) == 80 && record.dump().find("Node") != std::string::npos);
    }
    EXPECT_TRUE(throughNode) << records.dump();
}

TEST(TunTraffic, ARequestSplitAcrossSegmentsIsStillSniffed)
{
    REQUIRE_ROOT();
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    NamespacedCore core(bed.host, profile("DOMAIN,split.test,REJECT\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.log();
    const auto sendInTwo = [&](const std::string& host) {
        const int fd = connectIn(bed.host, kOriginAddress, 80);
        if (fd < 0) {
            return std::string("no connection");
        }
        // The first part is queued when the core looks; the name comes only later.
        const std::string head = "GET /split HTTP/1.1\r\n";
        const std::string rest = "Host: " + host + "\r\n\r\n";
        ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
        ::usleep(60'000);
        ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
        std::string reply;
        char buffer[4096];
        ssize_t got = 0;
        while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
            reply.append(buffer, static_cast<std::size_t>(got));
        }
        ::close(fd);
        return reply;
    };
    EXPECT_NE(sendInTwo("other.test").find("hello from /split"), std::string::npos);
    // Had the name been missed, the address would have gone through the final rule.
    EXPECT_EQ(sendInTwo("split.test"), std::string());
}

TEST(TunTraffic, ProcessNameOfATunnelledClient)
{
    REQUIRE_ROOT();
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    {
        // A PROCESS-NAME rule makes the core look the client up while the connection is open.
        NamespacedCore core(bed.host, profile("PROCESS-NAME,no-such-program,REJECT\nFINAL,DIRECT\n"));
        ASSERT_TRUE(core.started()) << core.log();
        const auto reply = tcpExchange(bed.host, kOriginAddress, 80, "GET /who HTTP/1.1\r\nHost: x\r\n\r\n");
        ASSERT_TRUE(reply.has_value());
        const auto connections = nlohmann::json::parse(core.get("/connections"), nullptr, false);
        ASSERT_TRUE(connections.is_array() && !connections.empty());
        EXPECT_EQ(connections.back()["process"], program_invocation_short_name) << connections.dump();
    }
    // Without such a rule, an open connection gets its program when the list is asked for.
    NamespacedCore core(bed.host, profile());
    ASSERT_TRUE(core.started()) << core.log();
    const int open = connectIn(bed.host, kOriginAddress, 80);
    ASSERT_GE(open, 0);
    bool named = false;
    for (int attempt = 0; attempt < 40 && !named; ++attempt) {
        const auto list = nlohmann::json::parse(core.get("/connections"), nullptr, false);
        for (const auto& record : list) {
            named = named ||
                    (!record["closed"].get<bool>() && record["process"] == program_invocation_short_name);
        }
        if (!named) {
            ::usleep(50'000); // the answer lands in the record after the request that asked
        }
    }
    ::close(open);
    EXPECT_TRUE(named);

    // A program out of reach (here: none holds the socket, which is in flight in a message) is
    // named by the socket's account.
    const int orphan = connectIn(bed.host, kOriginAddress, 80);
    ASSERT_GE(orphan, 0);
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, pair), 0);
    char control[CMSG_SPACE(sizeof(int))] = {};
    char byte = 'x';
    iovec data{&byte, 1};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &orphan, sizeof(int));
    ASSERT_EQ(::sendmsg(pair[0], &message, 0), 1);
    ::close(orphan);
    const std::string account =
        std::string(::getpwuid(::geteuid())->pw_name) + " (uid " + std::to_string(::geteuid()) + ")";
    bool byAccount = false;
    for (int attempt = 0; attempt < 40 && !byAccount; ++attempt) {
        const auto list = nlohmann::json::parse(core.get("/connections"), nullptr, false);
        for (const auto& record : list) {
            byAccount = byAccount || (!record["closed"].get<bool>() && record["process"] == account);
        }
        if (!byAccount) {
            ::usleep(50'000);
        }
    }
    ::close(pair[0]);
    ::close(pair[1]);
    EXPECT_TRUE(byAccount) << account;
}

TEST(TunRouting, RestoredAfterStopAndAfterKillFollowedByTheNextStart)
{
    REQUIRE_ROOT();
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    const auto before = bed.host.routingSnapshot();
    {
        NamespacedCore core(bed.host, profile());
        ASSERT_TRUE(core.started()) << core.log();
        EXPECT_NE(bed.host.routingSnapshot(), before);
        EXPECT_EQ(core.stop(SIGTERM), 0) << core.log();
    }
    EXPECT_EQ(bed.host.routingSnapshot(), before);
    {
        NamespacedCore crashed(bed.host, profile());
        ASSERT_TRUE(crashed.started()) << crashed.log();
        // A second core refuses the link of a running one and leaves its routing alone.
        const auto running = bed.host.routingSnapshot();
        NamespacedCore second(bed.host, profile());
        EXPECT_FALSE(second.started());
        EXPECT_NE(second.log().find("another tunnel is running"), std::string::npos) << second.log();
        EXPECT_EQ(bed.host.routingSnapshot(), running);
        crashed.stop(SIGKILL);
    }
    // Nothing cleaned up after the kill: the rules are still there...
    EXPECT_NE(bed.host.routingSnapshot(), before);
    {
        // ...and the next start removes them, works, and leaves nothing at its stop.
        NamespacedCore next(bed.host, profile());
        ASSERT_TRUE(next.started()) << next.log();
        const auto reply =
            tcpExchange(bed.host, kOriginAddress, 80, "GET /again HTTP/1.1\r\nHost: x\r\n\r\n");
        ASSERT_TRUE(reply.has_value());
        EXPECT_NE(reply->find("hello from /again"), std::string::npos);
        EXPECT_EQ(next.stop(SIGTERM), 0);
    }
    EXPECT_EQ(bed.host.routingSnapshot(), before);
}

/// A device on the host's LAN (10.88.0.2) whose default route is the host (10.88.0.1), with
/// forwarding on in the host's namespace, as the helper turns it on for gateway mode.
bool joinAsGateway(TunTestbed& bed, const NetworkNamespace& device)
{
    return connectNamespaces(bed.host, "frwl0", "10.88.0.1/24", device, "frwd0", "10.88.0.2/24") &&
           device.ip("route add default via 10.88.0.1") &&
           shell("ip netns exec " + bed.host.name() + " sysctl -qw net.ipv4.ip_forward=1").first == 0;
}

TEST(TunRouting, GatewayForwardsAnotherDevice)
{
    REQUIRE_ROOT();
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    NetworkNamespace device("lan");
    ASSERT_TRUE(joinAsGateway(bed, device));
    bed.serveEchoIn(bed.host, "10.88.0.1");
    bed.serveEchoIn(bed.host, "127.0.0.1");
    NamespacedCore core(bed.host, profile("SRC-IP-CIDR,10.88.0.2/32,DIRECT\nFINAL,REJECT\n"), {"-gateway"});
    ASSERT_TRUE(core.started()) << core.log();

    const auto fake = resolveIn(device, kAnyResolver, "origin.test");
    ASSERT_TRUE(fake.has_value() && fake->starts_with("198.1")) << fake.value_or("no answer");
    const auto reply = tcpExchange(device, *fake, 80, "GET /lan HTTP/1.1\r\nHost: origin.test\r\n\r\n");
    ASSERT_TRUE(reply.has_value()) << core.log();
    EXPECT_NE(reply->find("hello from /lan"), std::string::npos);
    // UDP from the device is relayed, but a name that resolves to this machine's loopback does
    // not take it to this machine's own services.
    const auto echo = resolveIn(device, kAnyResolver, "echo.test");
    ASSERT_TRUE(echo.has_value() && !echo->empty());
    EXPECT_EQ(udpExchange(device, *echo, 7, "from the lan"), "from the lan");
    const auto loopback = resolveIn(device, kAnyResolver, "loopback.test");
    ASSERT_TRUE(loopback.has_value() && !loopback->empty());
    EXPECT_EQ(udpExchange(device, *loopback, 7, "to your loopback", 1), "");
    // Nor does one whose only answer is loopback in IPv4-mapped form, over UDP or TCP (the
    // controller API listens on the host's loopback).
    const auto mapped = resolveIn(device, kAnyResolver, "mapped.test");
    ASSERT_TRUE(mapped.has_value() && mapped->starts_with("198.1")) << mapped.value_or("no answer");
    EXPECT_EQ(udpExchange(device, *mapped, 7, "to your mapped loopback", 1), "");
    const auto api = tcpExchange(device, *mapped, core.apiPort(), "GET /version HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(!api || api->find("HTTP/1.1") == std::string::npos) << *api;
    // The host's own LAN address keeps answering the device directly, not through the tunnel.
    EXPECT_EQ(udpExchange(device, "10.88.0.1", 7, "local"), "local");
    // A device that claims an address of the tunnel's range is not this machine: its packets are
    // dropped, not dialled to loopback as this machine's own would be.
    ASSERT_TRUE(device.ip("addr add 172.19.0.77/32 dev frwd0"));
    ASSERT_TRUE(device.ip("route add 198.18.0.0/15 via 10.88.0.1 src 172.19.0.77"));
    EXPECT_EQ(udpExchange(device, *loopback, 7, "as if from this machine", 1), "");
    const auto connections = nlohmann::json::parse(core.get("/connections"), nullptr, false);
    for (const auto& connection : connections) {
        EXPECT_NE(connection["srcip"], "172.19.0.77") << "a spoofed tunnel source was relayed";
    }
    ASSERT_TRUE(connections.is_array() && !connections.empty());
    const auto origin = std::find_if(connections.begin(), connections.end(), [](const auto& connection) {
        return connection["host"] == "origin.test";
    });
    ASSERT_NE(origin, connections.end());
    EXPECT_EQ((*origin)["srcip"], "10.88.0.2");
}

// Port 53 on the host's LAN address, bound as the helper binds it for a gateway-mode core.
int boundDnsSocket(const NetworkNamespace& ns, int type, const std::string& address)
{
    int fd = -1;
    ns.run([&] {
        fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
        sockaddr_in bound{};
        bound.sin_family = AF_INET;
        bound.sin_port = htons(53);
        ::inet_pton(AF_INET, address.c_str(), &bound.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&bound), sizeof bound) != 0 ||
            (type == SOCK_STREAM && ::listen(fd, 16) != 0)) {
            ::close(fd);
            fd = -1;
        }
    });
    return fd;
}

TEST(TunRouting, DevicesThatAskThisMachineForNamesGetTheTunnelsAnswers)
{
    REQUIRE_ROOT();
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    NetworkNamespace device("lan");
    ASSERT_TRUE(joinAsGateway(bed, device));
    const int udp = boundDnsSocket(bed.host, SOCK_DGRAM, "10.88.0.1");
    const int tcp = boundDnsSocket(bed.host, SOCK_STREAM, "10.88.0.1");
    ASSERT_TRUE(udp >= 0 && tcp >= 0);
    NamespacedCore core(bed.host, profile("SRC-IP-CIDR,10.88.0.2/32,DIRECT\nFINAL,REJECT\n"),
                        {"-gateway", "-dns-socket", "20", "-dns-socket", "21"}, {{udp, 20}, {tcp, 21}});
    ::close(udp);
    ::close(tcp);
    ASSERT_TRUE(core.started()) << core.log();

    // The device's resolver is this machine: it gets fake addresses over UDP and TCP, and they
    // lead through the tunnel by name.
    const auto fake = resolveIn(device, "10.88.0.1", "origin.test");
    ASSERT_TRUE(fake.has_value() && fake->starts_with("198.1")) << fake.value_or("no answer") << core.log();
    EXPECT_EQ(resolveIn(device, "10.88.0.1", "origin.test", true), fake);
    const auto reply = tcpExchange(device, *fake, 80, "GET /asked HTTP/1.1\r\nHost: origin.test\r\n\r\n");
    ASSERT_TRUE(reply.has_value()) << core.log();
    EXPECT_NE(reply->find("hello from /asked"), std::string::npos);

    // A question from outside the private ranges is not answered: no open resolver.
    ASSERT_TRUE(device.ip("addr add 203.0.113.7/32 dev frwd0"));
    ASSERT_TRUE(device.ip("route add 10.88.0.1/32 dev frwd0 src 203.0.113.7"));
    ASSERT_TRUE(bed.host.ip("route add 203.0.113.7/32 dev frwl0"));
    EXPECT_EQ(resolveIn(device, "10.88.0.1", "origin.test"), std::nullopt);
    EXPECT_EQ(resolveIn(device, "10.88.0.1", "origin.test", true), std::nullopt);
    ASSERT_TRUE(device.ip("route del 10.88.0.1/32 dev frwd0"));

    // The sockets end with the core: nothing answers afterwards.
    EXPECT_EQ(core.stop(SIGTERM), 0);
    EXPECT_EQ(resolveIn(device, "10.88.0.1", "origin.test"), std::nullopt);
}

TEST(TunResolved, TheTunnelLinkIsRegisteredAndRevertedAtStop)
{
    REQUIRE_ROOT();
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    const auto folder =
        std::filesystem::temp_directory_path() / ("ferrow-resolved-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    {
        TestResolved resolved(folder);
        NamespacedCore core(bed.host, profile(), {"-resolve-bus", resolved.busAddress()});
        ASSERT_TRUE(core.started()) << core.log();
        unsigned index = 0;
        bed.host.run([&] { index = ::if_nametoindex("utun9"); });
        ASSERT_GT(index, 0u);
        const auto link = std::to_string(index);
        EXPECT_EQ(resolved.calls(), (std::vector<std::string>{"SetLinkDNS " + link + " 172.19.0.2",
                                                              "SetLinkDomains " + link + " ~.:route",
                                                              "SetLinkDefaultRoute " + link + " yes"}));
        EXPECT_EQ(core.stop(SIGTERM), 0);
        ASSERT_EQ(resolved.calls().size(), 4u);
        EXPECT_EQ(resolved.calls().back(), "RevertLink " + link);
    }
    std::filesystem::remove_all(folder);
}

TEST(TunRouting, RulesRemovedBySomeoneElseComeBack)
{
    REQUIRE_ROOT();
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    NamespacedCore core(bed.host, profile());
    ASSERT_TRUE(core.started()) << core.log();
    const auto installed = bed.host.routingSnapshot();
    ASSERT_TRUE(bed.host.ip("rule del priority 9051"));
    ASSERT_TRUE(bed.host.ip("route flush table 27250"));
    ASSERT_NE(bed.host.routingSnapshot(), installed);
    // Bounded wait for the core's repair.
    for (int i = 0; i < 100 && bed.host.routingSnapshot() != installed; ++i) {
        ::usleep(50'000);
    }
    EXPECT_EQ(bed.host.routingSnapshot(), installed) << core.log();
    const auto reply = tcpExchange(bed.host, kOriginAddress, 80, "GET /back HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(reply.has_value());
    EXPECT_NE(reply->find("hello from /back"), std::string::npos);
}

TEST(TunRouting, DnsToAResolverOnTheLanIsAnsweredByTheTunnelWhileItRuns)
{
    REQUIRE_ROOT();
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    // The profile's own server is the LAN resolver too: the core's marked questions must still
    // reach it, or the filtered name below would get no answer.
    EXPECT_EQ(resolveIn(bed.host, kInternetDns, "origin.test"), std::string(kOriginAddress));
    {
        NamespacedCore core(
            bed.host, profile("DOMAIN,blocked.test,REJECT\nFINAL,DIRECT\n", "fake-ip-filter = real.test\n"));
        ASSERT_TRUE(core.started()) << core.log();
        for (const bool overTcp : {false, true}) {
            const auto fake = resolveIn(bed.host, kInternetDns, "origin.test", overTcp);
            ASSERT_TRUE(fake.has_value()) << "over TCP: " << overTcp;
            EXPECT_TRUE(fake->starts_with("198.18.") || fake->starts_with("198.19.")) << *fake;
        }
        EXPECT_EQ(resolveIn(bed.host, kInternetDns, "real.test"), std::string(kOriginAddress));
        const auto blocked = resolveIn(bed.host, kInternetDns, "blocked.test");
        ASSERT_TRUE(blocked.has_value() && blocked->starts_with("198.1")) << blocked.value_or("no answer");
        const auto refused =
            tcpExchange(bed.host, *blocked, 80, "GET / HTTP/1.1\r\nHost: blocked.test\r\n\r\n");
        EXPECT_TRUE(!refused.has_value() || refused->empty()) << "the DOMAIN rule applies";
        EXPECT_EQ(core.stop(SIGTERM), 0) << core.log();
    }
    EXPECT_EQ(resolveIn(bed.host, kInternetDns, "origin.test"), std::string(kOriginAddress));
}

} // namespace
} // namespace ferrow::test
