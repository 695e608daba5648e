#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ferrow::core {

struct IpAddr;

enum class ParseStatus { Good, Bad, NeedMore };

namespace socks5 {

inline constexpr std::uint8_t kVersion = 5;
inline constexpr std::uint8_t kCommandConnect = 1;
inline constexpr std::uint8_t kCommandBind = 2;
inline constexpr std::uint8_t kCommandUdpAssociate = 3;

enum Reply : std::uint8_t {
    Succeeded = 0,
    GeneralFailure = 1,
    NotAllowed = 2,
    NetworkUnreachable = 3,
    HostUnreachable = 4,
    ConnectionRefused = 5,
    TtlExpired = 6,
    CommandNotSupported = 7,
    AddressTypeNotSupported = 8,
};

struct Greeting {
    ParseStatus status = ParseStatus::NeedMore;
    bool offersNoAuthentication = false;
    std::size_t consumed = 0;
};

struct Request {
    ParseStatus status = ParseStatus::NeedMore;
    std::uint8_t command = 0;
    std::string host; // dotted/colon text for address types, the name for domains
    bool hostIsAddress = false;
    std::uint16_t port = 0;
    std::size_t consumed = 0;
    Reply failure = GeneralFailure; // what to answer when status is Bad
};

/// The header of a datagram the client sends to an association's relay; a datagram is whole, so
/// it is Good or Bad, never NeedMore.
struct UdpHeader {
    ParseStatus status = ParseStatus::Bad;
    std::uint8_t fragment = 0;
    std::string host;
    bool hostIsAddress = false;
    std::uint16_t port = 0;
    std::size_t payloadOffset = 0;
};

/// VER NMETHODS METHODS...
Greeting parseGreeting(std::string_view bytes);
/// VER CMD RSV ATYP DST.ADDR DST.PORT
Request parseRequest(std::string_view bytes);
/// A reply with the bound address 0.0.0.0:0.
std::string reply(Reply code);
/// A reply naming the bound address and port.
std::string reply(Reply code, const IpAddr& bound, std::uint16_t port);

/// RSV RSV FRAG ATYP DST.ADDR DST.PORT DATA
UdpHeader parseUdpHeader(std::string_view datagram);
/// The header for a datagram to the client from `host`:`port`, an address literal when
/// `isAddress`, else a name. Empty when it cannot be written.
std::string udpHeader(std::string_view host, bool isAddress, std::uint16_t port);

} // namespace socks5
} // namespace ferrow::core
