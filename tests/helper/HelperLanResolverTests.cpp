// Port 53 on the LAN addresses for a gateway-mode core, bound in a network namespace of the test's
// own so the machine's addresses are never touched.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "FRWLanResolverSockets.h"
#include "FRWSocketAddress.h"
#include "NetworkNamespace.h"

using namespace ferrow::test;

namespace {

std::string describe(int fd)
{
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    int type = 0;
    socklen_t typeLength = sizeof type;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength);
    const std::uint16_t port =
        ntohs(bound.ss_family == AF_INET ? reinterpret_cast<const sockaddr_in*>(&bound)->sin_port
                                         : reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port);
    return std::string(type == SOCK_STREAM ? "tcp " : "udp ") +
           socketAddressText(reinterpret_cast<const sockaddr*>(&bound)) + ":" + std::to_string(port);
}

} // namespace

TEST(LanResolverSockets, OnlyPrivateAddressesWhosePortIsFree)
{
    if (!canMakeNamespaces()) {
        GTEST_SKIP() << "SKIPPED: needs root to make a network namespace";
    }
    NetworkNamespace ns("dns53");
    ASSERT_TRUE(ns.ip("link add frwdum0 type veth peer name frwdum0p"));
    ASSERT_TRUE(ns.ip("link set frwdum0 up"));
    ASSERT_TRUE(ns.ip("link set frwdum0p up"));
    for (const char* address : {"192.168.77.1/24", "10.77.0.1/24", "203.0.113.9/24", "100.64.0.9/10"}) {
        ASSERT_TRUE(ns.ip(std::string("addr add ") + address + " dev frwdum0"));
    }
    ASSERT_TRUE(ns.ip("addr add fd00:77::1/64 dev frwdum0 nodad"));
    ASSERT_TRUE(ns.ip("addr add 2001:db8::9/64 dev frwdum0 nodad"));
    // A downed link's private address is no LAN address the devices reach.
    ASSERT_TRUE(ns.ip("link add frwdum1 type veth peer name frwdum1p"));
    ASSERT_TRUE(ns.ip("addr add 192.168.78.1/24 dev frwdum1"));

    std::set<std::string> bound;
    std::vector<std::string> log;
    ns.run([&] {
        // Someone else's resolver already answers on one of them.
        const int taken = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(53);
        ::inet_pton(AF_INET, "10.77.0.1", &address.sin_addr);
        ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        const auto sockets = bindLanResolverSockets([&](const std::string& line) { log.push_back(line); });
        for (const auto& socket : sockets) {
            bound.insert(describe(socket.get()));
        }
        ::close(taken);
    });
    EXPECT_EQ(bound, (std::set<std::string>{"udp 192.168.77.1:53", "tcp 192.168.77.1:53", "udp fd00:77::1:53",
                                            "tcp fd00:77::1:53"}));
    const bool reported = std::any_of(log.begin(), log.end(), [](const std::string& line) {
        return line.find("10.77.0.1") != std::string::npos && line.find("in use") != std::string::npos;
    });
    EXPECT_TRUE(reported) << "the taken address was not logged";
}
