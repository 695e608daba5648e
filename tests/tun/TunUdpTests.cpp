// UDP through Enhanced Mode's tunnel to a ferrow node: a core in TUN mode in a "host" namespace,
// a real ferrow-server, a DNS server and a UDP echo in an "internet" namespace.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "InternetNode.h"
#include "ServerProcess.h"
#include "TunTestbed.h"
#include "UdpEcho.h"

namespace ferrow::test {
namespace {

constexpr std::uint16_t kNodeDnsPort = 5353;

/// 1 MiB in 1 KiB datagrams from inside `ns` to the echo on `address` port 7.
EchoOutcome echoMebibyteIn(const NetworkNamespace& ns, const std::string& address)
{
    EchoOutcome outcome;
    ns.run([&] {
        sockaddr_in echo{};
        echo.sin_family = AF_INET;
        echo.sin_port = htons(7);
        ::inet_pton(AF_INET, address.c_str(), &echo.sin_addr);
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int buffer = 1 << 20;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&echo), sizeof echo) == 0) {
            outcome = echoWindowed(fd, std::size_t{1} << 20);
        }
        ::close(fd);
    });
    return outcome;
}

nlohmann::json udpRecord(const NamespacedCore& core, const std::string& host, std::uint16_t port)
{
    const auto records = nlohmann::json::parse(core.get("/connections"), nullptr, false);
    for (const auto& record : records.is_array() ? records : nlohmann::json::array()) {
        if (record["network"] == "udp" && record["host"] == host && record["port"] == port) {
            return record;
        }
    }
    return {};
}

} // namespace

TEST(TunUdp, DnsAndAMebibyteThroughANodeRejectAndDirect)
{
    if (!canMakeNamespaces()) {
        GTEST_SKIP() << "SKIPPED: needs root to make network namespaces and TUN links";
    }
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    ASSERT_TRUE(bed.serveDnsIn(bed.internet, kOriginAddress, kNodeDnsPort));
    auto options = internetNode(bed);
    options.hosts = std::string(kOriginAddress) + " origin.test\n";
    ServerProcess server(options);
    ASSERT_TRUE(server.started()) << server.stderrText();
    NamespacedCore core(bed.host, "[General]\ndns-server = " + std::string(kInternetDns) +
                                      "\n[Proxy]\nNode = ferrow, " + kOriginAddress + ", " +
                                      std::to_string(server.port()) + ", psk=" + options.psk +
                                      "\n[Rule]\nDOMAIN,blocked.test,REJECT\nDOMAIN,direct.test,DIRECT\n"
                                      "FINAL,Node\n");
    ASSERT_TRUE(core.started()) << core.log();

    // A DNS question to a resolver on another port is plain UDP: the node carries it.
    EXPECT_EQ(resolveIn(bed.host, kOriginAddress, "through-node.test", false, 1, nullptr, kNodeDnsPort),
              std::string(kOriginAddress))
        << core.log() << server.stderrText();
    EXPECT_EQ(udpRecord(core, kOriginAddress, kNodeDnsPort)["policy"], "Node");

    // By the name behind a fake address, which the node's server resolves itself.
    const auto fake = resolveIn(bed.host, kAnyResolver, "origin.test");
    ASSERT_TRUE(fake.has_value() && !fake->empty());
    const auto outcome = echoMebibyteIn(bed.host, *fake);
    EXPECT_TRUE(outcome.complete()) << outcome.echoed << " of " << outcome.sent << ", " << outcome.corrupt
                                    << " corrupt\n"
                                    << core.log() << server.stderrText();
    const auto record = udpRecord(core, "origin.test", 7);
    EXPECT_EQ(record["policy"], "Node") << record.dump();
    EXPECT_GE(record.value("up", 0ull), 1ull << 20);
    EXPECT_GE(record.value("down", 0ull), 1ull << 20);

    const auto direct = resolveIn(bed.host, kAnyResolver, "direct.test");
    ASSERT_TRUE(direct.has_value() && !direct->empty());
    EXPECT_EQ(udpExchange(bed.host, *direct, 7, "direct"), "direct");
    EXPECT_EQ(udpRecord(core, "direct.test", 7)["policy"], "DIRECT");

    const auto blocked = resolveIn(bed.host, kAnyResolver, "blocked.test");
    ASSERT_TRUE(blocked.has_value() && !blocked->empty());
    EXPECT_EQ(udpExchange(bed.host, *blocked, 7, "blocked", 1), "");
    EXPECT_EQ(udpRecord(core, "blocked.test", 7)["policy"], "REJECT");
}

} // namespace ferrow::test
