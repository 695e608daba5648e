#include <gtest/gtest.h>

#include "FakeDns.h"
#include "Packet.h"
#include "Sniffer.h"
#include "SystemDns.h"

namespace ferrow::tun {
namespace {

using core::IpAddr;

IpAddr ip(const std::string& text)
{
    return *IpAddr::parse(text);
}

/// Whether every checksum of a TCP/UDP packet is right, computed from scratch.
bool checksumsValid(const std::string& packet)
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(packet.data());
    const auto view = parsePacket(data, packet.size());
    if (!view) {
        return false;
    }
    if (!view->v6 && checksumFinish(checksumAdd(0, data, view->transportOffset)) != 0) {
        return false;
    }
    const std::size_t length = view->length - view->transportOffset;
    const std::size_t addressSize = view->v6 ? 16 : 4;
    std::uint32_t sum = checksumAdd(0, view->source.bytes.data(), addressSize);
    sum = checksumAdd(sum, view->destination.bytes.data(), addressSize);
    sum += view->protocol + static_cast<std::uint32_t>(length);
    return checksumFinish(checksumAdd(sum, data + view->transportOffset, length)) == 0;
}

/// A TCP segment built as a UDP datagram with the protocol and header swapped in.
std::string tcpPacket(const IpAddr& source, std::uint16_t sourcePort, const IpAddr& destination,
                      std::uint16_t destinationPort, std::uint8_t flags, const std::string& payload,
                      std::uint32_t sequence = 0, std::uint32_t acknowledged = 0)
{
    std::string header(20, '\0');
    for (int i = 0; i < 4; ++i) {
        header[4 + i] = static_cast<char>(sequence >> (24 - 8 * i));
        header[8 + i] = static_cast<char>(acknowledged >> (24 - 8 * i));
    }
    header[12] = 0x50;
    header[13] = static_cast<char>(flags);
    auto packet = buildUdpPacket(source, sourcePort, destination, destinationPort, header + payload);
    const std::size_t ip = source.v6 ? 40 : 20;
    auto* data = reinterpret_cast<std::uint8_t*>(packet.data());
    // Turn it into TCP: protocol field, TCP header in place of UDP's, checksum from scratch.
    data[source.v6 ? 6 : 9] = kProtocolTcp;
    std::string tcp = packet.substr(ip + 8);
    tcp[0] = static_cast<char>(sourcePort >> 8);
    tcp[1] = static_cast<char>(sourcePort);
    tcp[2] = static_cast<char>(destinationPort >> 8);
    tcp[3] = static_cast<char>(destinationPort);
    packet = packet.substr(0, ip) + tcp;
    data = reinterpret_cast<std::uint8_t*>(packet.data());
    if (!source.v6) {
        data[2] = static_cast<std::uint8_t>(packet.size() >> 8);
        data[3] = static_cast<std::uint8_t>(packet.size());
        data[10] = data[11] = 0;
        const auto sum = checksumFinish(checksumAdd(0, data, 20));
        data[10] = static_cast<std::uint8_t>(sum >> 8);
        data[11] = static_cast<std::uint8_t>(sum);
    } else {
        data[4] = static_cast<std::uint8_t>(tcp.size() >> 8);
        data[5] = static_cast<std::uint8_t>(tcp.size());
    }
    const std::size_t addressSize = source.v6 ? 16 : 4;
    std::uint32_t sum = checksumAdd(0, source.bytes.data(), addressSize);
    sum = checksumAdd(sum, destination.bytes.data(), addressSize);
    sum += kProtocolTcp + static_cast<std::uint32_t>(tcp.size());
    const auto checksum = checksumFinish(checksumAdd(sum, data + ip, tcp.size()));
    data[ip + 16] = static_cast<std::uint8_t>(checksum >> 8);
    data[ip + 17] = static_cast<std::uint8_t>(checksum);
    return packet;
}

TEST(TunPacket, RewritesKeepEveryChecksumValid)
{
    for (const bool v6 : {false, true}) {
        const auto source = v6 ? ip("fdfe:dcba:9876::1") : ip("172.19.0.1");
        const auto destination = v6 ? ip("2001:db8::7") : ip("203.0.113.9");
        const auto peer = v6 ? ip("fdfe:dcba:9876::2") : ip("172.19.0.2");
        for (const std::string& payload : {std::string(), std::string("odd"), std::string(8999 - 60, 'x')}) {
            auto packet = tcpPacket(source, 40000, destination, 443, kTcpSyn, payload);
            ASSERT_TRUE(checksumsValid(packet));
            auto* data = reinterpret_cast<std::uint8_t*>(packet.data());
            auto view = *parsePacket(data, packet.size());
            EXPECT_EQ(view.tcpFlags, kTcpSyn);
            rewritePacket(data, view, peer, 10001, source, 12345);
            EXPECT_TRUE(checksumsValid(packet)) << "v6 " << v6 << " payload " << payload.size();
            view = *parsePacket(data, packet.size());
            EXPECT_EQ(view.source, peer);
            EXPECT_EQ(view.sourcePort, 10001);
            EXPECT_EQ(view.destinationPort, 12345);
            auto udp = buildUdpPacket(destination, 53, source, 5353, payload);
            EXPECT_TRUE(checksumsValid(udp));
        }
    }
}

TEST(TunPacket, AnUnknownSegmentIsAnsweredWithTheResetAClosedPortGives)
{
    const auto read32 = [](const std::string& packet, std::size_t at) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            value = (value << 8) | static_cast<std::uint8_t>(packet[at + i]);
        }
        return value;
    };
    for (const bool v6 : {false, true}) {
        const auto client = v6 ? ip("fdfe:dcba:9876::1") : ip("172.19.0.1");
        const auto server = v6 ? ip("2001:db8::7") : ip("203.0.113.9");
        const std::size_t tcp = v6 ? 40 : 20;
        auto data = tcpPacket(client, 40000, server, 443, kTcpAck, "12345", 1000, 0xfffffff0u);
        auto view = *parsePacket(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
        const auto reset = resetFor(reinterpret_cast<const std::uint8_t*>(data.data()), view);
        ASSERT_TRUE(checksumsValid(reset)) << "v6 " << v6;
        const auto answer = *parsePacket(reinterpret_cast<const std::uint8_t*>(reset.data()), reset.size());
        EXPECT_EQ(answer.source, server);
        EXPECT_EQ(answer.sourcePort, 443);
        EXPECT_EQ(answer.destination, client);
        EXPECT_EQ(answer.destinationPort, 40000);
        EXPECT_EQ(answer.tcpFlags, kTcpRst);
        EXPECT_EQ(read32(reset, tcp + 4), 0xfffffff0u) << "the sequence the segment acknowledged";

        // Acknowledging nothing (a FIN alone): the reset acknowledges all the segment carried.
        auto fin = tcpPacket(client, 40000, server, 443, kTcpFin, "abc", 0xfffffffeu);
        view = *parsePacket(reinterpret_cast<const std::uint8_t*>(fin.data()), fin.size());
        const auto finReset = resetFor(reinterpret_cast<const std::uint8_t*>(fin.data()), view);
        ASSERT_TRUE(checksumsValid(finReset));
        EXPECT_EQ(finReset[tcp + 13], static_cast<char>(kTcpRst | kTcpAck));
        EXPECT_EQ(read32(finReset, tcp + 8), 2u) << "3 bytes and the FIN, past the wrap";

        auto rst = tcpPacket(client, 40000, server, 443, kTcpRst, "");
        view = *parsePacket(reinterpret_cast<const std::uint8_t*>(rst.data()), rst.size());
        EXPECT_TRUE(resetFor(reinterpret_cast<const std::uint8_t*>(rst.data()), view).empty())
            << "a reset is never answered";
    }
}

TEST(TunPacket, PartialChecksumsStayCompletable)
{
    // With checksum offload the field holds the pseudo-header sum; the kernel adds the segment.
    for (const bool v6 : {false, true}) {
        const auto source = v6 ? ip("fdfe:dcba:9876::1") : ip("172.19.0.1");
        const auto destination = v6 ? ip("2001:db8::7") : ip("203.0.113.9");
        auto packet = tcpPacket(source, 40000, destination, 443, kTcpAck, "some payload");
        auto* data = reinterpret_cast<std::uint8_t*>(packet.data());
        auto view = *parsePacket(data, packet.size());
        std::uint8_t* field = data + view.transportOffset + 16;
        const auto pseudo = [&](const PacketView& v) {
            const std::size_t size = v.v6 ? 16 : 4;
            std::uint32_t sum = checksumAdd(0, v.source.bytes.data(), size);
            sum = checksumAdd(sum, v.destination.bytes.data(), size);
            sum += kProtocolTcp + static_cast<std::uint32_t>(v.length - v.transportOffset);
            return static_cast<std::uint16_t>(~checksumFinish(sum));
        };
        const auto setField = [&](std::uint16_t value) {
            field[0] = static_cast<std::uint8_t>(value >> 8);
            field[1] = static_cast<std::uint8_t>(value);
        };
        setField(pseudo(view));
        rewritePacket(data, view, v6 ? ip("fdfe:dcba:9876::2") : ip("172.19.0.2"), 10001, source, 5555, true);
        view = *parsePacket(data, packet.size());
        EXPECT_EQ((field[0] << 8) | field[1], pseudo(view));
        // Completing it as the kernel would gives a valid checksum.
        setField(
            checksumFinish(checksumAdd(0, data + view.transportOffset, view.length - view.transportOffset)));
        EXPECT_TRUE(checksumsValid(packet)) << "v6 " << v6;
    }
}

TEST(TunPacket, MalformedAndFragmentedPacketsAreRefused)
{
    auto packet = buildUdpPacket(ip("10.0.0.1"), 1, ip("10.0.0.2"), 2, "data");
    const auto* data = reinterpret_cast<const std::uint8_t*>(packet.data());
    EXPECT_TRUE(parsePacket(data, packet.size()));
    EXPECT_FALSE(parsePacket(data, 19));
    EXPECT_FALSE(parsePacket(data, packet.size() - 1)); // shorter than its own length
    auto fragment = packet;
    fragment[6] = 0x20; // more fragments
    EXPECT_FALSE(parsePacket(reinterpret_cast<const std::uint8_t*>(fragment.data()), fragment.size()));
    auto badUdpLength = packet;
    badUdpLength[24] = 0x7f;
    EXPECT_FALSE(
        parsePacket(reinterpret_cast<const std::uint8_t*>(badUdpLength.data()), badUdpLength.size()));
    const std::string garbage(40, '\xff');
    EXPECT_FALSE(parsePacket(reinterpret_cast<const std::uint8_t*>(garbage.data()), garbage.size()));
}

TEST(TunDns, QuestionsAnswersAndFakeAddresses)
{
    const std::string query("\xab\xcd\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00\x03WwW\x07"
                            "example\x03"
                            "com\x00\x00\x01\x00\x01",
                            33);
    const auto question = parseQuestion(query);
    ASSERT_TRUE(question);
    EXPECT_EQ(question->name, "www.example.com");
    EXPECT_EQ(question->type, 1);
    const auto answer = buildAnswer(query, *question, {ip("198.18.0.1")}, 10);
    EXPECT_EQ(answer.size(), query.size() + 16);
    EXPECT_EQ(static_cast<std::uint8_t>(answer[2]) & 0x80, 0x80);
    // Truncated names, pointers and responses are not questions.
    EXPECT_FALSE(parseQuestion(query.substr(0, 20)));
    auto pointer = query;
    pointer[12] = '\xc0';
    EXPECT_FALSE(parseQuestion(pointer));
    EXPECT_FALSE(parseQuestion(answer));

    FakeIpPool pool;
    const auto now = FakeIpPool::Clock::now();
    const auto first = pool.addressFor("a.test", ip("172.19.0.1"), now);
    ASSERT_TRUE(first);
    EXPECT_TRUE(FakeIpPool::isFake(*first));
    EXPECT_EQ(pool.addressFor("a.test", ip("172.19.0.1"), now), first);
    EXPECT_EQ(pool.nameFor(*first), "a.test");
    EXPECT_EQ(pool.nameFor(ip("::ffff:" + first->toString())), "a.test");
    EXPECT_NE(pool.addressFor("b.test", ip("172.19.0.1"), now), first);
    EXPECT_FALSE(pool.nameFor(ip("198.20.0.1")));
    EXPECT_FALSE(pool.nameFor(ip("198.19.255.200")));

    const std::vector<std::string> filter = {"exact.test", "*.wild.test", "+.plus.test"};
    EXPECT_TRUE(matchesFilter(filter, "exact.test"));
    EXPECT_FALSE(matchesFilter(filter, "a.exact.test"));
    EXPECT_TRUE(matchesFilter(filter, "a.wild.test"));
    EXPECT_FALSE(matchesFilter(filter, "wild.test"));
    EXPECT_FALSE(matchesFilter(filter, "nowild.test"));
    EXPECT_TRUE(matchesFilter(filter, "plus.test"));
    EXPECT_TRUE(matchesFilter(filter, "a.b.plus.test"));
}

// Another account of this machine, or devices on the LAN, ask for filler names until the pool
// comes round to an address a victim's programs still have cached.
TEST(TunDns, FakeAddressesDoNotChangeHandsWhileClientsMayStillUseThem)
{
    using namespace std::chrono_literals;
    FakeIpPool pool;
    auto now = FakeIpPool::Clock::time_point{} + 24h;
    const auto bank = pool.addressFor("bank.test", ip("172.19.0.1"), now);
    ASSERT_TRUE(bank);
    int given = 0;
    int refused = 0;
    for (int i = 0; i < (1 << 17) + 100; ++i) {
        now += 1ms;
        const auto device = ip("10.88." + std::to_string(i / 16384) + ".2");
        const auto filler = pool.addressFor("filler" + std::to_string(i) + ".test", device, now);
        ASSERT_FALSE(filler == bank) << "the victim's address went to filler " << i;
        (filler ? given : refused) += 1;
    }
    EXPECT_EQ(pool.nameFor(*bank), "bank.test");
    EXPECT_EQ(given, (1 << 17) - 3) << "every other address is given once";
    EXPECT_EQ(refused, 103);

    // One source gets its share, then nothing until the hold time has passed.
    FakeIpPool shared({15min, 4, 64});
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(shared.addressFor("n" + std::to_string(i) + ".test", ip("10.88.0.9"), now));
    }
    EXPECT_FALSE(shared.addressFor("n4.test", ip("10.88.0.9"), now));
    EXPECT_TRUE(shared.addressFor("n4.test", ip("10.88.0.10"), now));

    // Past the hold time the least recently used address is taken, never one with a live flow.
    FakeIpPool small({15min, 100, 3});
    const auto a = small.addressFor("a.test", ip("10.88.0.2"), now);
    const auto b = small.addressFor("b.test", ip("10.88.0.2"), now + 1s);
    const auto c = small.addressFor("c.test", ip("10.88.0.2"), now + 2s);
    small.pin(*a);
    EXPECT_EQ(small.use(*b, now + 10min), "b.test");
    EXPECT_FALSE(small.addressFor("d.test", ip("10.88.0.2"), now + 14min)) << "answered too recently";
    EXPECT_EQ(small.addressFor("d.test", ip("10.88.0.2"), now + 20min), c);
    EXPECT_EQ(small.addressFor("e.test", ip("10.88.0.2"), now + 26min), b) << "used too recently";
    // Hours later every other address changes hands; the one with a live flow keeps its name.
    EXPECT_TRUE(small.addressFor("f.test", ip("10.88.0.2"), now + 3h));
    EXPECT_TRUE(small.addressFor("g.test", ip("10.88.0.2"), now + 3h));
    EXPECT_FALSE(small.addressFor("h.test", ip("10.88.0.2"), now + 3h)) << "a pinned address was taken";
    EXPECT_EQ(small.nameFor(*a), "a.test");
    small.unpin(*a, now + 3h);
    EXPECT_TRUE(small.addressFor("h.test", ip("10.88.0.2"), now + 4h));
}

TEST(TunDns, SystemNameserversSkipLoopbackStubs)
{
    EXPECT_EQ(parseNameservers("# c\nnameserver 127.0.0.53\nnameserver 192.0.2.1\nnameserver fe80::1%eth0\n"
                               "nameserver ::1\nsearch lan\nnameserver bogus\n"),
              (std::vector<std::string>{"192.0.2.1", "fe80::1"}));
}

/// A minimal TLS ClientHello record carrying `name` as its server name.
std::string clientHello(const std::string& name)
{
    const auto be16 = [](std::size_t value) { return std::string{char(value >> 8), char(value & 0xff)}; };
    const std::string serverName = be16(name.size() + 3) + std::string(1, '\0') + be16(name.size()) + name;
    const std::string extensions = be16(0x0a0a) + be16(0) + be16(0) + be16(serverName.size()) + serverName;
    std::string body = be16(0x0303) + std::string(32, 'r') + std::string(1, '\0') + be16(2) + be16(0x1301) +
                       std::string("\x01\x00", 2) + be16(extensions.size()) + extensions;
    const std::string handshake = std::string("\x01\x00", 2) + be16(body.size()) + body;
    return std::string("\x16\x03\x01", 3) + be16(handshake.size()) + handshake;
}

TEST(TunSniffer, TlsServerNameAndHttpHost)
{
    const auto hello = clientHello("Video.Example.COM");
    const auto sniffed = sniffHost(hello);
    EXPECT_EQ(sniffed.status, Sniffed::Status::Found);
    EXPECT_EQ(sniffed.host, "video.example.com");
    EXPECT_EQ(sniffHost(hello.substr(0, 40)).status, Sniffed::Status::NeedMore);
    auto corrupt = hello;
    corrupt[corrupt.size() - 20] = '\x7f'; // the name's length now runs past the record
    EXPECT_NE(sniffHost(corrupt).status, Sniffed::Status::Found);

    EXPECT_EQ(sniffHost("GET / HTTP/1.1\r\nAccept: */*\r\nhOsT:  www.test:8080 \r\n\r\n").host, "www.test");
    EXPECT_EQ(sniffHost("GET / HTTP/1.1\r\nAccept: */*\r\n").status, Sniffed::Status::NeedMore);
    EXPECT_EQ(sniffHost("GET / HTTP/1.1\r\n\r\n").status, Sniffed::Status::None);
    EXPECT_EQ(sniffHost("SSH-2.0-OpenSSH_9.2\r\n").status, Sniffed::Status::None);
    EXPECT_EQ(sniffHost("GET / HTTP/1.1\r\nHost: bad host\r\n\r\n").status, Sniffed::Status::None);
}

} // namespace
} // namespace ferrow::tun
