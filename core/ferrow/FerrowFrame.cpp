#include "FerrowFrame.h"

#include <arpa/inet.h>
#include <cassert>

namespace ferrow::proto {

namespace {

std::string lengthBytes(std::size_t length)
{
    return {static_cast<char>(length >> 8), static_cast<char>(length & 0xff)};
}

} // namespace

FrameSealer::FrameSealer(const DirectionKeys& keys) : m_aead(keys.aead), m_mask(keys.mask)
{
}

void FrameSealer::seal(FrameType type, std::string_view body, std::string& out)
{
    assert(body.size() + 1 <= kMaxFramePlain);
    const std::size_t length = body.size() + 1;
    const std::uint16_t masked = static_cast<std::uint16_t>(length) ^ m_mask.next();
    out.push_back(static_cast<char>(masked >> 8));
    out.push_back(static_cast<char>(masked & 0xff));
    m_aead.seal(m_counter++, lengthBytes(length), static_cast<char>(type), body, out);
}

void FrameSealer::sealData(std::string_view bytes, std::string& out)
{
    while (!bytes.empty()) {
        const auto chunk = bytes.substr(0, kMaxDataChunk);
        seal(FrameType::Data, chunk, out);
        bytes.remove_prefix(chunk.size());
    }
}

FrameOpener::FrameOpener(const DirectionKeys& keys) : m_aead(keys.aead), m_mask(keys.mask)
{
}

DecodeStatus FrameOpener::next(std::string_view input, std::size_t& consumed, Frame& frame)
{
    consumed = 0;
    if (!m_pending) {
        if (input.size() < 2) {
            return DecodeStatus::NeedMore;
        }
        const auto masked = static_cast<std::uint16_t>((static_cast<std::uint8_t>(input[0]) << 8) |
                                                       static_cast<std::uint8_t>(input[1]));
        const std::size_t length = masked ^ m_mask.next();
        consumed = 2;
        if (length == 0 || length > kMaxFramePlain) {
            return DecodeStatus::Bad;
        }
        m_pending = length;
        input.remove_prefix(2);
    }
    const std::size_t sealedSize = *m_pending + kTagSize;
    if (input.size() < sealedSize) {
        return DecodeStatus::NeedMore;
    }
    if (!m_aead.open(m_counter, lengthBytes(*m_pending), input.substr(0, sealedSize), m_plain)) {
        return DecodeStatus::Bad;
    }
    ++m_counter;
    consumed += sealedSize;
    m_pending.reset();
    const auto type = static_cast<std::uint8_t>(m_plain[0]);
    if (type < static_cast<std::uint8_t>(FrameType::Hello) ||
        type > static_cast<std::uint8_t>(FrameType::Padding)) {
        return DecodeStatus::Bad;
    }
    frame.type = static_cast<FrameType>(type);
    // The body takes the plaintext's storage, so an opener keeps no buffer between frames.
    frame.body = std::move(m_plain);
    frame.body.erase(0, 1);
    m_plain = std::string();
    return DecodeStatus::Frame;
}

std::optional<Target> Target::fromHost(std::string_view host, std::uint16_t port)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (host.empty() || host.size() > 255) {
        return std::nullopt;
    }
    const std::string text(host);
    Target target;
    target.port = port;
    unsigned char raw[16];
    if (inet_pton(AF_INET, text.c_str(), raw) == 1) {
        target.kind = IPv4;
        target.address.assign(reinterpret_cast<char*>(raw), 4);
    } else if (inet_pton(AF_INET6, text.c_str(), raw) == 1) {
        target.kind = IPv6;
        target.address.assign(reinterpret_cast<char*>(raw), 16);
    } else {
        target.kind = Domain;
        target.address = text;
    }
    return target;
}

std::string Target::host() const
{
    if (kind == Domain) {
        return address;
    }
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(kind == IPv4 ? AF_INET : AF_INET6, address.data(), text, sizeof text);
    return text;
}

std::string Target::toString() const
{
    return (kind == IPv6 ? "[" + host() + "]" : host()) + ":" + std::to_string(port);
}

void encodeTarget(const Target& target, std::string& out)
{
    out.push_back(static_cast<char>(target.kind));
    if (target.kind == Target::Domain) {
        out.push_back(static_cast<char>(target.address.size()));
    }
    out.append(target.address);
    out.append(lengthBytes(target.port));
}

std::optional<Target> decodeTarget(std::string_view body, std::size_t& pos)
{
    if (pos >= body.size()) {
        return std::nullopt;
    }
    Target target;
    std::size_t length = 0;
    switch (static_cast<std::uint8_t>(body[pos++])) {
    case Target::IPv4:
        target.kind = Target::IPv4;
        length = 4;
        break;
    case Target::IPv6:
        target.kind = Target::IPv6;
        length = 16;
        break;
    case Target::Domain:
        target.kind = Target::Domain;
        if (pos >= body.size()) {
            return std::nullopt;
        }
        length = static_cast<std::uint8_t>(body[pos++]);
        if (length == 0) {
            return std::nullopt;
        }
        break;
    default:
        return std::nullopt;
    }
    if (body.size() - pos < length + 2) {
        return std::nullopt;
    }
    target.address.assign(body.substr(pos, length));
    pos += length;
    target.port = static_cast<std::uint16_t>((static_cast<std::uint8_t>(body[pos]) << 8) |
                                             static_cast<std::uint8_t>(body[pos + 1]));
    pos += 2;
    if (target.kind == Target::Domain) {
        // A name with a NUL or control byte would resolve as something else than it reads.
        for (const char c : target.address) {
            if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) {
                return std::nullopt;
            }
        }
    }
    return target;
}

std::string connectBody(Network network, const Target& target)
{
    std::string body(1, static_cast<char>(network));
    encodeTarget(target, body);
    return body;
}

std::optional<ConnectRequest> parseConnect(std::string_view body)
{
    if (body.empty()) {
        return std::nullopt;
    }
    const auto network = static_cast<std::uint8_t>(body[0]);
    if (network != static_cast<std::uint8_t>(Network::Tcp) &&
        network != static_cast<std::uint8_t>(Network::Udp)) {
        return std::nullopt;
    }
    std::size_t pos = 1;
    auto target = decodeTarget(body, pos);
    if (!target || pos != body.size()) {
        return std::nullopt;
    }
    return ConnectRequest{static_cast<Network>(network), std::move(*target)};
}

std::string datagramBody(const Target& peer, std::string_view payload)
{
    std::string body;
    encodeTarget(peer, body);
    body.append(payload);
    return body;
}

std::optional<Datagram> parseDatagram(std::string_view body)
{
    std::size_t pos = 0;
    auto peer = decodeTarget(body, pos);
    if (!peer) {
        return std::nullopt;
    }
    return Datagram{std::move(*peer), std::string(body.substr(pos))};
}

} // namespace ferrow::proto
