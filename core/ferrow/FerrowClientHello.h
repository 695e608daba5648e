#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ferrow::proto {

/// TLS record header of a handshake record, as clients send their first one.
inline constexpr std::size_t kRecordHeaderSize = 5;
/// The largest ClientHello record the server reads (ours stay under 600 bytes).
inline constexpr std::size_t kMaxClientHelloRecord = 2048;

/// The first packet's cover: a TLS 1.3 ClientHello record laid out as a common client sends it
/// (OpenSSL 3's defaults with ALPN h2 and http/1.1, as curl does): the same cipher suites,
/// extensions and order. `random` and `sessionId` (32 bytes each) carry the protocol's salt and
/// sealed hello; `keyShare` (32 bytes) is an X25519 share. `serverName` goes into the SNI
/// extension, which is left out when it is empty, as a client dialling an address does.
std::string clientHelloRecord(std::string_view random, std::string_view sessionId, std::string_view keyShare,
                              std::string_view serverName);

/// The body length a record header announces, or nothing when the header is not that of a
/// handshake record of a size a ClientHello can have.
std::optional<std::size_t> clientHelloBodySize(std::string_view header);

struct ClientHelloFields {
    std::string_view random;
    std::string_view sessionId;
};
/// The random and session id of a record body holding one ClientHello with a 32-byte session id.
std::optional<ClientHelloFields> parseClientHello(std::string_view body);

} // namespace ferrow::proto
