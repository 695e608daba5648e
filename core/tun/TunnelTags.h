#pragma once

#include <cstdint>

// What the core's tunnel adds to the system, and how it is recognised again: the helper's
// clean-up after a core that ended without removing its own (a crash, SIGKILL) and the next
// start rely on these values alone.
namespace ferrow::tun {

/// Routing table whose default route is the TUN device.
inline constexpr std::uint32_t kRouteTable = 27250;
/// Firewall mark of the core's own outbound sockets; marked traffic never enters the tunnel.
inline constexpr std::uint32_t kSocketMark = 27250;
/// Protocol field of every policy rule the core adds ("F"): rules are found by it.
inline constexpr std::uint8_t kRuleProtocol = 0x46;
/// Priorities of the rules. DNS comes first, to whatever resolver it is sent, so that a resolver on
/// the LAN cannot be asked past the tunnel: the core's own (marked) traffic to the main table, then
/// port 53 over UDP and TCP to our table. Then the main table without its default routes (loopback,
/// the LAN and the tunnel's own range stay out), then everything unmarked to our table.
inline constexpr std::uint32_t kPriorityOwnTraffic = 9047;
inline constexpr std::uint32_t kPriorityDnsUdp = 9048;
inline constexpr std::uint32_t kPriorityDnsTcp = 9049;
inline constexpr std::uint32_t kPriorityMainWithoutDefault = 9050;
inline constexpr std::uint32_t kPriorityTunnel = 9051;

inline constexpr char kTunAddress4[] = "172.19.0.1";
/// The far end of the translated flows, and the address the system's resolver is pointed at.
inline constexpr char kTunPeer4[] = "172.19.0.2";
inline constexpr int kTunPrefix4 = 30;
inline constexpr char kTunAddress6[] = "fdfe:dcba:9876::1";
inline constexpr char kTunPeer6[] = "fdfe:dcba:9876::2";
inline constexpr int kTunPrefix6 = 126;
inline constexpr int kTunMtu = 65000;

} // namespace ferrow::tun
