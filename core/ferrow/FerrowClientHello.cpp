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

/// Writes a record front to back into one buffer; a length is reserved where it stands and
/// filled in once what it covers is written, so the record is built without temporaries.
class Writer {
public:
    explicit Writer(std::string& out) : m_out(out) {}

    void u8(std::size_t value) { m_out.push_back(static_cast<char>(value & 0xff)); }
    void u16(std::size_t value)
    {
        u8(value >> 8);
        u8(value);
    }
    void bytes(std::string_view data) { m_out.append(data); }
    template <std::size_t N>
    void list16(const std::array<std::uint16_t, N>& values)
    {
        for (const auto value : values) {
            u16(value);
        }
    }
    /// Reserves a length of `width` bytes; close() fills it with the size of what follows.
    std::size_t open(int width)
    {
        const std::size_t at = m_out.size();
        m_out.append(static_cast<std::size_t>(width), '\0');
        return at;
    }
    void close(std::size_t at, int width)
    {
        std::size_t length = m_out.size() - at - static_cast<std::size_t>(width);
        for (int i = width - 1; i >= 0; --i) {
            m_out[at + static_cast<std::size_t>(i)] = static_cast<char>(length & 0xff);
            length >>= 8;
        }
    }
    /// `data` behind a length of `width` bytes.
    void prefixed(std::string_view data, int width)
    {
        const auto at = open(width);
        bytes(data);
        close(at, width);
    }

private:
    std::string& m_out;
};

/// An extension: its type, then a two-byte length around what `body` writes.
template <typename Body>
void extension(Writer& out, std::uint16_t type, Body body)
{
    out.u16(type);
    const auto at = out.open(2);
    body();
    out.close(at, 2);
}

void noBody()
{
}

void extensions(Writer& out, std::string_view keyShare, std::string_view serverName)
{
    if (!serverName.empty()) {
        extension(out, 0x0000, [&] {
            const auto list = out.open(2);
            out.u8(0); // host_name
            out.prefixed(serverName, 2);
            out.close(list, 2);
        });
    }
    extension(out, 0x000b, [&] { out.prefixed(std::string_view("\x00\x01\x02", 3), 1); }); // point formats
    extension(out, 0x000a, [&] {
        const auto at = out.open(2);
        out.list16(kGroups);
        out.close(at, 2);
    });
    extension(out, 0x0023, noBody); // session ticket
    extension(out, 0x0010, [&] {
        const auto at = out.open(2);
        out.prefixed("h2", 1);
        out.prefixed("http/1.1", 1);
        out.close(at, 2);
    });
    extension(out, 0x0016, noBody); // encrypt then MAC
    extension(out, 0x0017, noBody); // extended master secret
    extension(out, 0x000d, [&] {
        const auto at = out.open(2);
        out.list16(kSignatureSchemes);
        out.close(at, 2);
    });
    extension(out, 0x002b, [&] {
        const auto at = out.open(1);
        out.list16(kVersions);
        out.close(at, 1);
    });
    extension(out, 0x002d, [&] { out.prefixed(std::string_view("\x01", 1), 1); }); // PSK with (EC)DHE
    extension(out, 0x0033, [&] {
        const auto shares = out.open(2);
        out.u16(kX25519);
        out.prefixed(keyShare, 2);
        out.close(shares, 2);
    });
}

} // namespace

std::string clientHelloRecord(std::string_view random, std::string_view sessionId, std::string_view keyShare,
                              std::string_view serverName)
{
    std::string record;
    record.reserve(320 + serverName.size());
    Writer out(record);
    out.bytes(std::string_view("\x16\x03\x01", 3));
    const auto recordLength = out.open(2);
    out.u8(0x01); // ClientHello
    const auto helloLength = out.open(3);
    out.bytes(std::string_view("\x03\x03", 2));
    out.bytes(random);
    out.prefixed(sessionId, 1);
    const auto suites = out.open(2);
    out.list16(kCipherSuites);
    out.close(suites, 2);
    out.bytes(std::string_view("\x01\x00", 2)); // no compression
    const auto extensionsLength = out.open(2);
    extensions(out, keyShare, serverName);
    out.close(extensionsLength, 2);
    out.close(helloLength, 3);
    out.close(recordLength, 2);
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
