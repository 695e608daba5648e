// The tunnel and the proxy across a change of network and a wake from sleep: the core in a "host"
// namespace keeps working when its address, default route and resolver move under it.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include "InternetNode.h"
#include "PrivateBusService.h"
#include "ServerProcess.h"
#include "Socks5Client.h"
#include "TunTestbed.h"
#include "WaitUntil.h"

namespace ferrow::test {
namespace {

#define REQUIRE_ROOT()                                                                                       \
    if (!canMakeNamespaces()) {                                                                              \
        GTEST_SKIP() << "SKIPPED: needs root to make network namespaces and TUN links";                      \
    }

using Clock = std::chrono::steady_clock;

/// The resolv.conf `ip netns exec` shows processes of the namespace, written in place so the
/// bind mount it makes keeps seeing it.
class NamespaceResolvConf {
public:
    explicit NamespaceResolvConf(const NetworkNamespace& ns) : m_folder("/etc/netns/" + ns.name())
    {
        std::filesystem::create_directories(m_folder);
    }
    ~NamespaceResolvConf()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    void write(const std::string& server) const
    {
        std::fstream file(m_folder / "resolv.conf", std::ios::in | std::ios::out | std::ios::trunc);
        if (!file.is_open()) {
            std::ofstream(m_folder / "resolv.conf") << "nameserver " << server << "\n";
            return;
        }
        file << "nameserver " << server << "\n";
    }

private:
    std::filesystem::path m_folder;
};

/// The host's established TCP connections to the node, as "local-address:port" lines.
std::string connectionsToNode(const NetworkNamespace& host, std::uint16_t port)
{
    return shell("ip netns exec " + host.name() + " ss -Htn state established dst " + kOriginAddress + ":" +
                 std::to_string(port) + " | awk '{print $3}' | sort")
        .second;
}

std::string nodeProfile(std::uint16_t port, const std::string& psk)
{
    // No dns-server: real answers come from the system's resolver, which is what moves.
    return "[General]\nfake-ip-filter = real.test\n[Proxy]\nNode = ferrow, " + std::string(kOriginAddress) +
           ", " + std::to_string(port) + ", psk=" + psk + ", tfo=off\n[Rule]\nFINAL,Node\n";
}

bool fetchThroughTunnel(const NetworkNamespace& host, const std::string& path)
{
    const auto reply =
        tcpExchange(host, kOriginAddress, 80, "GET /" + path + " HTTP/1.1\r\nHost: origin.test\r\n\r\n");
    return reply && reply->find("hello from /" + path) != std::string::npos;
}

TEST(TunNetworkChange, AnotherAddressRouteAndResolverAreFollowedWithoutARestart)
{
    REQUIRE_ROOT();
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    // The network the host moves to: another subnet, with its own resolver.
    ASSERT_TRUE(bed.internet.ip("addr add 10.78.0.2/24 dev frwi0"));
    ASSERT_TRUE(bed.serveDnsIn(bed.internet, "10.78.0.2", 53));
    NamespaceResolvConf resolvConf(bed.host);
    resolvConf.write(kInternetDns);
    auto options = internetNode(bed);
    ServerProcess server(options);
    ASSERT_TRUE(server.started()) << server.stderrText();
    NamespacedCore core(bed.host, nodeProfile(server.port(), options.psk));
    ASSERT_TRUE(core.started()) << core.log();

    ASSERT_TRUE(fetchThroughTunnel(bed.host, "before")) << core.log();
    EXPECT_EQ(resolveIn(bed.host, kAnyResolver, "real.test"), kOriginAddress) << core.log();
    ASSERT_TRUE(waitUntil([&] { return !connectionsToNode(bed.host, server.port()).empty(); }));

    // A new lease on another network: new address and default route, the old ones and the old
    // resolver gone (the internet side leaves the old subnet too, so nothing from before works).
    const auto moved = Clock::now();
    ASSERT_TRUE(bed.host.ip("addr add 10.78.0.1/24 dev frwh0"));
    ASSERT_TRUE(bed.host.ip("route replace default via 10.78.0.2"));
    ASSERT_TRUE(bed.host.ip("addr del 10.77.0.1/24 dev frwh0"));
    ASSERT_TRUE(bed.internet.ip("addr del 10.77.0.2/24 dev frwi0"));
    resolvConf.write("10.78.0.2");

    ASSERT_TRUE(waitUntil([&] { return core.log().find("the network changed") != std::string::npos; },
                          std::chrono::seconds(3)))
        << core.log();
    EXPECT_EQ(resolveIn(bed.host, kAnyResolver, "real.test"), kOriginAddress) << core.log();
    EXPECT_TRUE(fetchThroughTunnel(bed.host, "after")) << core.log();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - moved);
    std::cout << "traffic and DNS after the move: " << took.count() << " ms\n";
    EXPECT_LT(took, std::chrono::seconds(3)) << core.log();
    // Nothing pooled on the old network is kept: every connection to the node is a new one.
    const auto now = connectionsToNode(bed.host, server.port());
    EXPECT_EQ(now.find("10.77.0.1:"), std::string::npos) << now;
    EXPECT_NE(core.log().find("the system's DNS servers are now 10.78.0.2"), std::string::npos) << core.log();
}

int acceptEveryCall(sd_bus_message*, void*, sd_bus_error*)
{
    return 0;
}

const sd_bus_vtable kLogindStandIn[] = {
    SD_BUS_VTABLE_START(0), SD_BUS_METHOD("Inhibit", "ssss", "h", acceptEveryCall, 0), SD_BUS_VTABLE_END};

TEST(TunNetworkChange, AWakeFromSleepDropsThePoolInSystemProxyMode)
{
    REQUIRE_ROOT();
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    const auto folder =
        std::filesystem::temp_directory_path() / ("ferrow-login-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    PrivateBusService logind(folder / "bus", {"org.freedesktop.login1", "/org/freedesktop/login1",
                                              "org.freedesktop.login1.Manager", kLogindStandIn, nullptr});
    auto options = internetNode(bed);
    ServerProcess server(options);
    ASSERT_TRUE(server.started()) << server.stderrText();
    const std::uint16_t socksPort = 17891;
    NamespacedCore core(
        bed.host, nodeProfile(server.port(), options.psk),
        {"-no-tun", "-socks", "127.0.0.1:" + std::to_string(socksPort), "-login-bus", logind.address()});
    ASSERT_TRUE(core.started()) << core.log();
    const auto fetch = [&](const std::string& path) {
        bool ok = false;
        {
            // The namespace's loopback: a client of the proxy on the same machine.
            const int fd = connectIn(bed.host, "127.0.0.1", socksPort);
            if (fd >= 0 && socks5Connect(fd, kOriginAddress, 80) == 0) {
                const std::string request =
                    "GET /" + path + " HTTP/1.1\r\nHost: origin.test\r\nConnection: close\r\n\r\n";
                ok = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                     static_cast<ssize_t>(request.size());
                std::string reply;
                char buffer[4096];
                for (ssize_t got = 0; ok && (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
                    reply.append(buffer, static_cast<std::size_t>(got));
                }
                ok = ok && reply.find("hello from /" + path) != std::string::npos;
            }
            if (fd >= 0) {
                ::close(fd);
            }
        }
        return ok;
    };
    ASSERT_TRUE(fetch("asleep")) << core.log();
    // The pool is topped up after the use; those are the connections a wake must drop.
    std::string before;
    ASSERT_TRUE(waitUntil([&] {
        before = connectionsToNode(bed.host, server.port());
        return !before.empty();
    }));

    ASSERT_TRUE(logind.runOnBus([](sd_bus* bus) {
        sd_bus_emit_signal(bus, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                           "PrepareForSleep", "b", 0);
    }));
    ASSERT_TRUE(waitUntil([&] { return core.log().find("woke from sleep") != std::string::npos; }))
        << core.log();
    EXPECT_TRUE(fetch("awake")) << core.log();
    const auto after = connectionsToNode(bed.host, server.port());
    std::istringstream lines(before);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_EQ(after.find(line), std::string::npos)
            << line << " was pooled before the sleep and is still open";
    }
    const auto status = core.get("/status");
    EXPECT_NE(status.find("\"networkChanges\":1"), std::string::npos) << status;
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace ferrow::test
