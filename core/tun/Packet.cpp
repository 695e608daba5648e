#include "Packet.h"

#include <cstring>

namespace ferrow::tun {

namespace {

std::uint16_t read16(const std::uint8_t* at)
{
    return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
}

void write16(std::uint8_t* at, std::uint16_t value)
{
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value & 0xff);
}

std::uint32_t read32(const std::uint8_t* at)
{
    return (static_cast<std::uint32_t>(read16(at)) << 16) | read16(at + 2);
}

void write32(std::uint8_t* at, std::uint32_t value)
{
    write16(at, static_cast<std::uint16_t>(value >> 16));
    write16(at + 2, static_cast<std::uint16_t>(value & 0xffff));
}

core::IpAddr addressAt(const std::uint8_t* at, bool v6)
{
    core::IpAddr address;
    address.v6 = v6;
    std::memcpy(address.bytes.data(), at, v6 ? 16 : 4);
    return address;
}

/// RFC 1624: the checksum at `field` after the 16-bit words `before` became `after`.
void adjustChecksum(std::uint8_t* field, const std::uint8_t* before, const std::uint8_t* after,
                    std::size_t size)
{
    std::uint32_t sum = static_cast<std::uint16_t>(~read16(field));
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        sum += static_cast<std::uint16_t>(~read16(before + i));
        sum += read16(after + i);
    }
    while (sum >> 16) {
        sum = (sum & 0xffff) + (sum >> 16);
    }
    write16(field, static_cast<std::uint16_t>(~sum));
}

/// The same for a field that holds a sum rather than its complement (a partial checksum).
void adjustSum(std::uint8_t* field, const std::uint8_t* before, const std::uint8_t* after, std::size_t size)
{
    std::uint32_t sum = read16(field);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        sum += static_cast<std::uint16_t>(~read16(before + i));
        sum += read16(after + i);
    }
    while (sum >> 16) {
        sum = (sum & 0xffff) + (sum >> 16);
    }
    write16(field, static_cast<std::uint16_t>(sum));
}

std::uint32_t pseudoHeaderSum(const core::IpAddr& source, const core::IpAddr& destination,
                              std::uint8_t protocol, std::size_t length)
{
    const std::size_t size = source.v6 ? 16 : 4;
    std::uint32_t sum = checksumAdd(0, source.bytes.data(), size);
    sum = checksumAdd(sum, destination.bytes.data(), size);
    sum += protocol;
    sum += static_cast<std::uint32_t>(length & 0xffff) + static_cast<std::uint32_t>(length >> 16);
    return sum;
}

std::size_t writeIpHeader(std::string& packet, const core::IpAddr& source, const core::IpAddr& destination,
                          std::uint8_t protocol, std::size_t transportLength)
{
    auto* out = reinterpret_cast<std::uint8_t*>(packet.data());
    if (source.v6) {
        out[0] = 0x60;
        write16(out + 4, static_cast<std::uint16_t>(transportLength));
        out[6] = protocol;
        out[7] = 64;
        std::memcpy(out + 8, source.bytes.data(), 16);
        std::memcpy(out + 24, destination.bytes.data(), 16);
        return 40;
    }
    out[0] = 0x45;
    write16(out + 2, static_cast<std::uint16_t>(20 + transportLength));
    out[6] = 0x40; // don't fragment
    out[8] = 64;
    out[9] = protocol;
    std::memcpy(out + 12, source.bytes.data(), 4);
    std::memcpy(out + 16, destination.bytes.data(), 4);
    write16(out + 10, checksumFinish(checksumAdd(0, out, 20)));
    return 20;
}

} // namespace

std::uint32_t checksumAdd(std::uint32_t sum, const std::uint8_t* data, std::size_t size)
{
    std::size_t i = 0;
    for (; i + 1 < size; i += 2) {
        sum += read16(data + i);
    }
    if (i < size) {
        sum += static_cast<std::uint32_t>(data[i]) << 8;
    }
    return sum;
}

std::uint16_t checksumFinish(std::uint32_t sum)
{
    while (sum >> 16) {
        sum = (sum & 0xffff) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum);
}

std::optional<PacketView> parsePacket(const std::uint8_t* data, std::size_t size)
{
    if (size < 20) {
        return std::nullopt;
    }
    PacketView view;
    const int version = data[0] >> 4;
    if (version == 4) {
        const std::size_t headerLength = std::size_t{data[0] & 0x0fu} * 4;
        const std::size_t total = read16(data + 2);
        // Fragments carry no ports past the first; the tunnel's MTU makes them rare enough to drop.
        const bool fragment = (read16(data + 6) & 0x3fff) != 0;
        if (headerLength < 20 || total < headerLength || total > size || fragment) {
            return std::nullopt;
        }
        view.protocol = data[9];
        view.source = addressAt(data + 12, false);
        view.destination = addressAt(data + 16, false);
        view.transportOffset = headerLength;
        view.length = total;
    } else if (version == 6) {
        if (size < 40) {
            return std::nullopt;
        }
        const std::size_t total = 40 + std::size_t{read16(data + 4)};
        if (total > size) {
            return std::nullopt;
        }
        view.v6 = true;
        view.protocol = data[6];
        view.source = addressAt(data + 8, true);
        view.destination = addressAt(data + 24, true);
        view.transportOffset = 40;
        view.length = total;
    } else {
        return std::nullopt;
    }
    const std::uint8_t* transport = data + view.transportOffset;
    const std::size_t available = view.length - view.transportOffset;
    switch (view.protocol) {
    case kProtocolTcp: {
        if (available < 20) {
            return std::nullopt;
        }
        const std::size_t offset = std::size_t{transport[12]} / 16 * 4;
        if (offset < 20 || offset > available) {
            return std::nullopt;
        }
        view.sourcePort = read16(transport);
        view.destinationPort = read16(transport + 2);
        view.tcpFlags = transport[13];
        view.tcpSequence = read32(transport + 4);
        view.tcpAcknowledged = read32(transport + 8);
        view.payloadOffset = view.transportOffset + offset;
        return view;
    }
    case kProtocolUdp: {
        if (available < 8 || read16(transport + 4) < 8 || read16(transport + 4) > available) {
            return std::nullopt;
        }
        view.sourcePort = read16(transport);
        view.destinationPort = read16(transport + 2);
        view.payloadOffset = view.transportOffset + 8;
        view.length = view.transportOffset + read16(transport + 4);
        return view;
    }
    case kProtocolIcmp:
    case kProtocolIcmp6:
        if ((view.protocol == kProtocolIcmp) == view.v6 || available < 8) {
            return std::nullopt;
        }
        view.payloadOffset = view.transportOffset + 8;
        return view;
    default:
        return std::nullopt;
    }
}

void rewritePacket(std::uint8_t* data, const PacketView& view, const core::IpAddr& source,
                   std::uint16_t sourcePort, const core::IpAddr& destination, std::uint16_t destinationPort,
                   bool partialChecksum)
{
    const std::size_t addressSize = view.v6 ? 16 : 4;
    std::uint8_t* sourceField = data + (view.v6 ? 8 : 12);
    std::uint8_t* destinationField = data + (view.v6 ? 24 : 16);
    std::uint8_t* transport = data + view.transportOffset;
    std::uint8_t* checksum = transport + (view.protocol == kProtocolTcp ? 16 : 6);
    // A UDP checksum of zero over IPv4 means "none" and stays so.
    const bool transportChecksum = view.protocol == kProtocolTcp || view.v6 || read16(checksum) != 0;

    std::uint8_t before[36];
    std::uint8_t after[36];
    std::memcpy(before, sourceField, addressSize);
    std::memcpy(before + addressSize, destinationField, addressSize);
    std::memcpy(after, source.bytes.data(), addressSize);
    std::memcpy(after + addressSize, destination.bytes.data(), addressSize);
    std::memcpy(before + 2 * addressSize, transport, 4);
    write16(after + 2 * addressSize, sourcePort);
    write16(after + 2 * addressSize + 2, destinationPort);

    if (!view.v6) {
        adjustChecksum(data + 10, before, after, 8);
    }
    if (partialChecksum) {
        // Ports are summed with the data when the kernel completes the checksum.
        adjustSum(checksum, before, after, 2 * addressSize);
    } else if (transportChecksum) {
        adjustChecksum(checksum, before, after, 2 * addressSize + 4);
        if (view.protocol == kProtocolUdp && read16(checksum) == 0) {
            write16(checksum, 0xffff);
        }
    }
    std::memcpy(sourceField, after, addressSize);
    std::memcpy(destinationField, after + addressSize, addressSize);
    std::memcpy(transport, after + 2 * addressSize, 4);
}

std::string buildUdpPacket(const core::IpAddr& source, std::uint16_t sourcePort,
                           const core::IpAddr& destination, std::uint16_t destinationPort,
                           std::string_view payload)
{
    const std::size_t ipHeader = source.v6 ? 40 : 20;
    const std::size_t udpLength = 8 + payload.size();
    std::string packet(ipHeader + udpLength, '\0');
    writeIpHeader(packet, source, destination, kProtocolUdp, udpLength);
    auto* udp = reinterpret_cast<std::uint8_t*>(packet.data()) + ipHeader;
    write16(udp, sourcePort);
    write16(udp + 2, destinationPort);
    write16(udp + 4, static_cast<std::uint16_t>(udpLength));
    std::memcpy(udp + 8, payload.data(), payload.size());
    std::uint32_t sum = pseudoHeaderSum(source, destination, kProtocolUdp, udpLength);
    std::uint16_t checksum = checksumFinish(checksumAdd(sum, udp, udpLength));
    write16(udp + 6, checksum == 0 ? 0xffff : checksum);
    return packet;
}

std::string echoReply(const std::uint8_t* data, const PacketView& view)
{
    const std::uint8_t request = view.v6 ? 128 : 8;
    const std::uint8_t reply = view.v6 ? 129 : 0;
    const std::uint8_t* icmp = data + view.transportOffset;
    if ((view.protocol != kProtocolIcmp && view.protocol != kProtocolIcmp6) || icmp[0] != request ||
        icmp[1] != 0) {
        return {};
    }
    const std::size_t icmpLength = view.length - view.transportOffset;
    std::string packet(view.transportOffset + icmpLength, '\0');
    const std::size_t ipHeader =
        writeIpHeader(packet, view.destination, view.source, view.protocol, icmpLength);
    auto* out = reinterpret_cast<std::uint8_t*>(packet.data()) + ipHeader;
    packet.resize(ipHeader + icmpLength);
    std::memcpy(out, icmp, icmpLength);
    out[0] = reply;
    write16(out + 2, 0);
    std::uint32_t sum =
        view.v6 ? pseudoHeaderSum(view.destination, view.source, kProtocolIcmp6, icmpLength) : 0;
    write16(out + 2, checksumFinish(checksumAdd(sum, out, icmpLength)));
    return packet;
}

std::string resetFor(const std::uint8_t* data, const PacketView& view)
{
    if (view.protocol != kProtocolTcp || (view.tcpFlags & kTcpRst) != 0) {
        return {};
    }
    const std::uint8_t* in = data + view.transportOffset;
    const std::uint32_t sequence = read32(in + 4);
    const std::uint32_t acknowledged = read32(in + 8);
    const auto segmentLength = static_cast<std::uint32_t>(view.length - view.payloadOffset) +
                               ((view.tcpFlags & kTcpSyn) != 0 ? 1 : 0) +
                               ((view.tcpFlags & kTcpFin) != 0 ? 1 : 0);
    constexpr std::size_t kTcpHeader = 20;
    std::string packet(view.transportOffset + kTcpHeader, '\0');
    const std::size_t ipHeader =
        writeIpHeader(packet, view.destination, view.source, kProtocolTcp, kTcpHeader);
    packet.resize(ipHeader + kTcpHeader);
    auto* out = reinterpret_cast<std::uint8_t*>(packet.data()) + ipHeader;
    write16(out, view.destinationPort);
    write16(out + 2, view.sourcePort);
    // The answer a closed port gives: the sequence the segment acknowledged, or an acknowledgement
    // of everything the segment carried when it acknowledged nothing.
    if ((view.tcpFlags & kTcpAck) != 0) {
        write32(out + 4, acknowledged);
        out[13] = kTcpRst;
    } else {
        write32(out + 8, sequence + segmentLength);
        out[13] = kTcpRst | kTcpAck;
    }
    out[12] = static_cast<std::uint8_t>((kTcpHeader / 4) << 4);
    const std::uint32_t sum = pseudoHeaderSum(view.destination, view.source, kProtocolTcp, kTcpHeader);
    write16(out + 16, checksumFinish(checksumAdd(sum, out, kTcpHeader)));
    return packet;
}

} // namespace ferrow::tun
