#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "NetAddress.h"

namespace ferrow::tun {

inline constexpr std::uint8_t kProtocolTcp = 6;
inline constexpr std::uint8_t kProtocolUdp = 17;
inline constexpr std::uint8_t kProtocolIcmp = 1;
inline constexpr std::uint8_t kProtocolIcmp6 = 58;

inline constexpr std::uint8_t kTcpFin = 0x01;
inline constexpr std::uint8_t kTcpSyn = 0x02;
inline constexpr std::uint8_t kTcpRst = 0x04;
inline constexpr std::uint8_t kTcpAck = 0x10;

/// Where the parts of one IP packet read from the TUN lie. Only what the tunnel handles parses:
/// IPv4 without fragments, IPv6 whose first header is the transport, TCP/UDP/ICMP.
struct PacketView {
    bool v6 = false;
    std::uint8_t protocol = 0;
    core::IpAddr source;
    core::IpAddr destination;
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
    std::uint8_t tcpFlags = 0;
    std::uint32_t tcpSequence = 0;
    std::uint32_t tcpAcknowledged = 0;
    std::size_t transportOffset = 0;
    std::size_t payloadOffset = 0;
    std::size_t length = 0; // the IP packet's own length (the read may carry padding)
};

/// Parses a packet in place; nullopt for anything malformed or not handled.
std::optional<PacketView> parsePacket(const std::uint8_t* data, std::size_t size);

/// Rewrites addresses and ports of a parsed TCP or UDP packet, keeping every checksum valid by
/// incremental update. Both addresses must be of the packet's family. With `partialChecksum` the
/// transport checksum field holds only the pseudo-header sum that the kernel completes later
/// (checksum offload), so only the addresses are folded into it.
void rewritePacket(std::uint8_t* data, const PacketView& view, const core::IpAddr& source,
                   std::uint16_t sourcePort, const core::IpAddr& destination, std::uint16_t destinationPort,
                   bool partialChecksum = false);

/// A complete UDP datagram from `source` to `destination` carrying `payload`.
std::string buildUdpPacket(const core::IpAddr& source, std::uint16_t sourcePort,
                           const core::IpAddr& destination, std::uint16_t destinationPort,
                           std::string_view payload);

/// The echo reply to an ICMP/ICMPv6 echo request, or empty when it is none.
std::string echoReply(const std::uint8_t* data, const PacketView& view);

/// The reset that answers a TCP segment no flow knows (a connection from before a restart), so
/// its program learns at once instead of at its time-out; empty for a reset or anything not TCP.
std::string resetFor(const std::uint8_t* data, const PacketView& view);

/// The ones' complement sum used by every Internet checksum, unfolded.
std::uint32_t checksumAdd(std::uint32_t sum, const std::uint8_t* data, std::size_t size);
std::uint16_t checksumFinish(std::uint32_t sum);

} // namespace ferrow::tun
