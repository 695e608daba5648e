#include "FerrowClientHello.h"

#include <array>
#include <cstdint>

namespace ferrow::proto {

namespace {

// TLS 1.3 suites first, then those of TLS 1.2, then the renegotiation signal.
constexpr std::array<std::uint16_t, 31> kCipherSuites = {
    0x1302, 0x1303, 0x1301, 0xc02c, 0xc030, 0x009f, 0xcca9, 0xcca8, 0xccaa, 0xc02b, 0xc02f,
    0x009e, 0xc024, 0xc028, 0x006b, 0xc023, 0xc027, 0x0067, 0xc00a, 0xc014, 0x0039, 0xc009,
    0xc013, 0x0033, 0x009d, 0x009c, 0x003d, 0x003c, 0x0035, 0x002f, 0x00ff};
constexpr std::array<std::uint16_t, 10> kGroups = {0x001d, 0x0017, 0x001e, 0x0019, 0x0018,
                                                   0x0100, 0x0101, 0x0102, 0x0103, 0x0104};
constexpr std::array<std::uint16_t, 20> kSignatureSchemes = {
    0x0403, 0x0503, 0x0603, 0x0807, 0x0808, 0x0809, 0x080a, 0x080b, 0x0804, 0x0805,
    0x0806, 0x0401, 0x0501, 0x0601, 0x0303, 0x0301, 0x0302, 0x0402, 0x0502, 0x0602};
constexpr std::array<std::uint16_t, 4> kVersions = {0x0304, 0x0303, 0x0302, 0x0301};
constexpr std::uint16_t kX25519 = 0x001d;

void put16(std::string& out, std::size_t value)
{
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value & 0xff));
}

void put24(std::string& out, std::size_t value)
{
    out.push_back(static_cast<char>(value >> 16));
    put16(out, value & 0xffff);
}

template <std::size_t N>
std::string list16(const std::array<std::uint16_t, N>& values)
{
    std::string out;
    for (const auto value : values) {
        put16(out, value);
    }
    return out;
}

void extension(std::string& out, std::uint16_t type, std::string_view body)
{
    put16(out, type);
    put16(out, body.size());
    out.append(body);
}

/// `body` behind a length of `width` bytes.
std::string prefixed(std::string_view body, int width)
{
    std::string out;
    if (width == 1) {
        out.push_back(static_cast<char>(body.size()));
    } else {
        put16(out, body.size());
    }
    out.append(body);
    return out;
}

std::string alpn()
{
    return prefixed(prefixed("h2", 1) + prefixed("http/1.1", 1), 2);
}

std::string extensions(std::string_view keyShare, std::string_view serverName)
{
    std::string out;
    if (!serverName.empty()) {
        std::string name(1, '\0'); // host_name
        name.append(prefixed(serverName, 2));
        extension(out, 0x0000, prefixed(name, 2));
    }
    extension(out, 0x000b, prefixed(std::string("\x00\x01\x02", 3), 1)); // point formats
    extension(out, 0x000a, prefixed(list16(kGroups), 2));
    extension(out, 0x0023, {}); // session ticket
    extension(out, 0x0010, alpn());
    extension(out, 0x0016, {}); // encrypt then MAC
    extension(out, 0x0017, {}); // extended master secret
    extension(out, 0x000d, prefixed(list16(kSignatureSchemes), 2));
    extension(out, 0x002b, prefixed(list16(kVersions), 1));
    extension(out, 0x002d, prefixed(std::string(1, '\x01'), 1)); // PSK with (EC)DHE
    std::string share;
    put16(share, kX25519);
    share.append(prefixed(keyShare, 2));
    extension(out, 0x0033, prefixed(share, 2));
    return out;
}

} // namespace

std::string clientHelloRecord(std::string_view random, std::string_view sessionId, std::string_view keyShare,
                              std::string_view serverName)
{
    std::string hello("\x03\x03", 2);
    hello.append(random);
    hello.append(prefixed(sessionId, 1));
    hello.append(prefixed(list16(kCipherSuites), 2));
    hello.append("\x01\x00", 2); // no compression
    hello.append(prefixed(extensions(keyShare, serverName), 2));

    std::string handshake(1, '\x01');
    put24(handshake, hello.size());
    handshake.append(hello);
    std::string record("\x16\x03\x01", 3);
    put16(record, handshake.size());
    record.append(handshake);
    return record;
}

std::optional<std::size_t> clientHelloBodySize(std::string_view header)
{
    if (header.size() < kRecordHeaderSize || header[0] != '\x16' || header[1] != '\x03' ||
        static_cast<std::uint8_t>(header[2]) > 0x03) {
        return std::nullopt;
    }
    const std::size_t size =
        (static_cast<std::uint8_t>(header[3]) << 8) | static_cast<std::uint8_t>(header[4]);
    // Type and length (4), version (2), random (32), session id (33), the smallest rest (5).
    if (size < 76 || size > kMaxClientHelloRecord - kRecordHeaderSize) {
        return std::nullopt;
    }
    return size;
}

std::optional<ClientHelloFields> parseClientHello(std::string_view body)
{
    if (body.size() < 76 || body[0] != '\x01') {
        return std::nullopt;
    }
    const std::size_t length = (static_cast<std::uint8_t>(body[1]) << 16) |
                               (static_cast<std::uint8_t>(body[2]) << 8) | static_cast<std::uint8_t>(body[3]);
    if (length + 4 != body.size() || body[4] != '\x03' || body[5] != '\x03' || body[38] != '\x20') {
        return std::nullopt;
    }
    return ClientHelloFields{body.substr(6, 32), body.substr(39, 32)};
}

} // namespace ferrow::proto
