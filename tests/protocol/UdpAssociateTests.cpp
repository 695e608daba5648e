// SOCKS5 UDP ASSOCIATE end to end: a core on loopback, a real ferrow-server, UDP origins.

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "LoopbackSocket.h"
#include "ServerProcess.h"
#include "UdpEcho.h"

using namespace ferrow::test;
using nlohmann::json;

namespace {

constexpr std::size_t kHeader = 10; // an IPv4 destination's header

/// A UDP socket on 127.0.0.1 that talks to an association's relay.
class UdpClient {
public:
    UdpClient() { m_fd = udpLoopback(m_port); }
    ~UdpClient() { ::close(m_fd); }
    UdpClient(const UdpClient&) = delete;
    UdpClient& operator=(const UdpClient&) = delete;

    std::uint16_t port() const { return m_port; }
    /// Aims the socket at the relay, so ICMP errors (a closed relay) reach it.
    void connectTo(std::uint16_t relayPort)
    {
        sockaddr_in relay{};
        relay.sin_family = AF_INET;
        relay.sin_port = htons(relayPort);
        relay.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(m_fd, reinterpret_cast<sockaddr*>(&relay), sizeof relay);
    }
    bool send(std::string_view datagram) { return ::send(m_fd, datagram.data(), datagram.size(), 0) >= 0; }
    std::string receive(std::chrono::milliseconds wait = std::chrono::seconds(5))
    {
        std::string datagram(65536, '\0');
        const auto got = waitReadable(m_fd, wait) ? ::recv(m_fd, datagram.data(), datagram.size(), 0) : -1;
        datagram.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return datagram;
    }
    /// Whether the relay's port is closed: a datagram to it brings back "connection refused".
    bool relayClosed()
    {
        send(socks5Datagram("127.0.0.1", 9, "x"));
        return waitReadable(m_fd, std::chrono::milliseconds(200)) && ::recv(m_fd, nullptr, 0, 0) < 0 &&
               errno == ECONNREFUSED;
    }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

/// A control connection with its association, and a client socket connected to the relay.
struct Association {
    explicit Association(std::uint16_t socksPort) : control(socksPort)
    {
        relayPort = socks5Associate(control.fd(), udp.port());
        udp.connectTo(relayPort);
    }
    Socket control;
    UdpClient udp;
    std::uint16_t relayPort = 0;
};

std::string dnsQuery(const std::string& name)
{
    std::string query("\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 12);
    std::size_t start = 0;
    while (start <= name.size()) {
        const auto dot = std::min(name.find('.', start), name.size());
        query += static_cast<char>(dot - start);
        query += name.substr(start, dot - start);
        start = dot + 1;
    }
    return query + std::string("\x00\x00\x01\x00\x01", 5);
}

json recordFor(CoreProcess& core, std::uint16_t port)
{
    for (const auto& record : core.get("/connections")) {
        if (record["network"] == "udp" && record["port"] == port) {
            return record;
        }
    }
    return {};
}

CoreProcess::Options withProfile(const std::string& text)
{
    CoreProcess::Options options;
    options.profile = text;
    return options;
}

/// 1 MiB in 1 KiB datagrams through the association to the echo on `echoPort`.
EchoOutcome echoMebibyte(Association& association, std::uint16_t echoPort)
{
    const auto header = socks5Datagram("127.0.0.1", echoPort, "");
    return echoWindowed(
        [&](std::string_view payload) { return association.udp.send(header + std::string(payload)); },
        [&](std::chrono::milliseconds wait) {
            const auto datagram = association.udp.receive(wait);
            // An answer comes under the header of the destination it answers for.
            return datagram.compare(0, kHeader, header) == 0 ? datagram.substr(kHeader) : std::string("?");
        },
        std::size_t{1} << 20);
}

} // namespace

TEST(UdpAssociate, DnsAndAMebibyteThroughANode)
{
    ServerProcess::Options options;
    options.psk = newPsk();
    ServerProcess server(options);
    ASSERT_TRUE(server.started()) << server.stderrText();
    FakeDnsServer dns(std::map<std::string, std::string>{{"origin.test", "192.0.2.7"}});
    UdpEchoServer echo;
    CoreProcess core(withProfile("[Proxy]\nNode = ferrow, 127.0.0.1, " + std::to_string(server.port()) +
                                 ", psk=" + options.psk + "\n[Rule]\nPROTOCOL,UDP,Node\nFINAL,REJECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Association association(core.socksPort());
    ASSERT_NE(association.relayPort, 0);

    association.udp.send(socks5Datagram("127.0.0.1", dns.port(), dnsQuery("origin.test")));
    const auto answer = association.udp.receive();
    ASSERT_GT(answer.size(), kHeader + 12) << core.stderrText() << server.stderrText();
    EXPECT_EQ(answer.substr(0, kHeader), socks5Datagram("127.0.0.1", dns.port(), ""));
    EXPECT_EQ(answer.substr(answer.size() - 4), std::string("\xc0\x00\x02\x07", 4));

    const auto outcome = echoMebibyte(association, echo.port());
    EXPECT_TRUE(outcome.complete()) << outcome.echoed << " of " << outcome.sent << ", " << outcome.corrupt
                                    << " corrupt";
    const auto record = recordFor(core, echo.port());
    EXPECT_EQ(record["policy"], "Node") << record.dump();
    EXPECT_EQ(record["rule"], "PROTOCOL,UDP");
    EXPECT_EQ(record["srcport"], association.udp.port());
    EXPECT_GE(record["up"].get<std::uint64_t>(), std::uint64_t{1} << 20);
    EXPECT_GE(record["down"].get<std::uint64_t>(), std::uint64_t{1} << 20);
    EXPECT_EQ(recordFor(core, dns.port())["policy"], "Node");
}

TEST(UdpAssociate, RejectDropsAndDirectRelays)
{
    UdpEchoServer direct;
    UdpEchoServer rejected;
    // Were UDP flows routed as TCP, the PROTOCOL rule would reject the DIRECT one too.
    CoreProcess core(withProfile("[Rule]\nDST-PORT," + std::to_string(rejected.port()) +
                                 ",REJECT\nPROTOCOL,TCP,REJECT\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Association association(core.socksPort());
    ASSERT_NE(association.relayPort, 0);

    association.udp.send(socks5Datagram("127.0.0.1", rejected.port(), "dropped"));
    const auto outcome = echoMebibyte(association, direct.port());
    EXPECT_TRUE(outcome.complete()) << outcome.echoed << " of " << outcome.sent;
    EXPECT_EQ(recordFor(core, direct.port())["policy"], "DIRECT");
    // Once its flow is routed the datagram is gone: the origin never saw it.
    ASSERT_TRUE(waitUntil([&] { return recordFor(core, rejected.port())["policy"] == "REJECT"; }));
    EXPECT_EQ(rejected.received(), 0u);
}

TEST(UdpAssociate, MalformedForeignAndFragmentedDatagramsAreDropped)
{
    UdpEchoServer echo;
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    Association association(core.socksPort());
    ASSERT_NE(association.relayPort, 0);
    const auto good = socks5Datagram("127.0.0.1", echo.port(), "good");

    auto fragment = good;
    fragment[2] = '\x01';
    auto reserved = good;
    reserved[0] = '\x01';
    for (const auto& bad :
         {std::string(), std::string(1, '\0'), good.substr(0, 4), good.substr(0, 9), fragment, reserved,
          std::string("\0\0\0\x05\x7f\0\0\x01\0\x07", 10), std::string("\0\0\0\x03\x00\x00\x07", 7),
          std::string("\0\0\0\x03\x03"
                      "a b\0\x07",
                      10),
          std::string("\0\0\0\x03\x20"
                      "short",
                      10)}) {
        association.udp.send(bad);
    }
    // The same datagram from another port of the client's address is not the client's.
    UdpClient foreign;
    foreign.connectTo(association.relayPort);
    foreign.send(good);

    association.udp.send(good);
    EXPECT_EQ(association.udp.receive(), good) << core.stderrText();
    EXPECT_EQ(echo.received(), 1u);
    EXPECT_EQ(foreign.receive(std::chrono::milliseconds(200)), "");
}

TEST(UdpAssociate, EndsWithItsControlConnection)
{
    UdpEchoServer echo;
    CoreProcess core(withProfile("[Rule]\nFINAL,DIRECT\n"));
    ASSERT_TRUE(core.started()) << core.stderrText();
    auto association = std::make_unique<Association>(core.socksPort());
    ASSERT_NE(association->relayPort, 0);
    const auto good = socks5Datagram("127.0.0.1", echo.port(), "before");
    association->udp.send(good);
    ASSERT_EQ(association->udp.receive(), good);
    EXPECT_EQ(recordFor(core, echo.port())["closed"], false);

    UdpClient probe;
    probe.connectTo(association->relayPort);
    association.reset();
    EXPECT_TRUE(waitUntil([&] { return probe.relayClosed(); }));
    EXPECT_TRUE(waitUntil([&] { return recordFor(core, echo.port())["closed"] == true; }));
}
