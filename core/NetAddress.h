#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ferrow::core {

/// An IPv4 or IPv6 address as plain bytes. IPv4 uses the first four bytes; IPv4-mapped IPv6
/// addresses are folded to IPv4 so that one rule matches both spellings.
struct IpAddr {
    bool v6 = false;
    std::array<std::uint8_t, 16> bytes{};

    static std::optional<IpAddr> parse(std::string_view text);
    static IpAddr fromV4(std::uint32_t hostOrder);
    /// The IPv4 address an IPv4-mapped IPv6 address (::ffff:a.b.c.d) stands for; any other
    /// address as it is. The kernel delivers the mapped form to the IPv4 address, so every test
    /// of where an address leads looks at this form.
    IpAddr folded() const;
    std::string toString() const;
    bool isLoopback() const;
    bool operator==(const IpAddr&) const = default;
};

/// An address range such as 10.0.0.0/8 or 2001:db8::/32.
struct Cidr {
    IpAddr base;
    int prefix = 0;

    /// Accepts "addr" (a single host) and "addr/len"; nullopt on anything else.
    static std::optional<Cidr> parse(std::string_view text);
    /// An IPv4-mapped address is in the IPv4 ranges it leads to.
    bool contains(const IpAddr& address) const;
};

/// An inclusive port range; one port is a range of one.
struct PortRange {
    std::uint16_t first = 0;
    std::uint16_t last = 0;

    /// Accepts "443" and "8000-8100" (spaces around the parts allowed).
    static std::optional<PortRange> parse(std::string_view text);
    bool contains(std::uint16_t port) const { return port >= first && port <= last; }
};

/// A host and port as written on the wire or on a command line: "host:port", "[v6]:port".
struct HostPort {
    std::string host;
    std::uint16_t port = 0;

    static std::optional<HostPort> parse(std::string_view text);
    std::string toString() const;
};

std::string toLower(std::string_view text);
std::string_view trim(std::string_view text);
/// Whether `text` is an RFC 3986 reg-name usable as a host name or IPv4 address: letters,
/// digits, "-._~", sub-delimiters and %XX escapes, 1 to 255 bytes. Brackets, spaces, control
/// bytes, "@", ":" and "/" are not.
bool isRegName(std::string_view text);

/// Text quoted in an error or a log line, cut to `limit` bytes with an ellipsis, so one huge
/// input line cannot flood answers and logs.
std::string clipped(std::string_view text, std::size_t limit = 200);

} // namespace ferrow::core
