#include "FerrowHandshake.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include <openssl/crypto.h>

#include "FerrowClientHello.h"

namespace ferrow::proto {

namespace {

constexpr std::string_view kClientInfo = "ferrow v2 client";
constexpr std::string_view kServerInfo = "ferrow v2 server";

void putU64(std::string& out, std::uint64_t value)
{
    for (int i = 7; i >= 0; --i) {
        out.push_back(static_cast<char>(value >> (8 * i)));
    }
}

std::uint64_t getU64(std::string_view in)
{
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        value = (value << 8) | static_cast<std::uint8_t>(in[i]);
    }
    return value;
}

std::string_view keyText(const Key& key)
{
    return {reinterpret_cast<const char*>(key.data()), key.size()};
}

/// The two keys of a direction, from the key text's master key and HKDF over `salts`.
DirectionKeys directionKeys(std::string_view psk, std::string_view salts, std::string_view info)
{
    const Key master = masterKey(psk);
    std::array<std::uint8_t, 2 * kKeySize> material{};
    hkdfSha256(keyText(master), salts, info, material);
    DirectionKeys keys;
    std::copy_n(material.begin(), kKeySize, keys.aead.begin());
    std::copy_n(material.begin() + kKeySize, kKeySize, keys.mask.begin());
    OPENSSL_cleanse(material.data(), material.size());
    return keys;
}

} // namespace

DirectionKeys deriveClientKeys(std::string_view psk, std::string_view clientSalt)
{
    return directionKeys(psk, clientSalt, kClientInfo);
}

DirectionKeys deriveServerKeys(std::string_view psk, std::string_view clientSalt, std::string_view serverSalt)
{
    // Both salts are kSaltSize bytes on the wire; joined on the stack, they cost no allocation.
    std::array<char, 2 * kSaltSize> joined{};
    if (clientSalt.size() + serverSalt.size() > joined.size()) {
        return directionKeys(psk, std::string(clientSalt) + std::string(serverSalt), kServerInfo);
    }
    std::copy(clientSalt.begin(), clientSalt.end(), joined.begin());
    std::copy(serverSalt.begin(), serverSalt.end(),
              joined.begin() + static_cast<std::ptrdiff_t>(clientSalt.size()));
    return directionKeys(psk, std::string_view(joined.data(), clientSalt.size() + serverSalt.size()),
                         kServerInfo);
}

double bitDensity(std::string_view bytes)
{
    std::size_t bits = 0;
    for (const char c : bytes) {
        bits += std::popcount(static_cast<unsigned char>(c));
    }
    return bytes.empty() ? 0.0 : static_cast<double>(bits) / static_cast<double>(bytes.size());
}

ClientHandshake::ClientHandshake(std::string psk, std::uint64_t now, std::string serverName)
    : m_psk(std::move(psk)), m_now(now), m_serverName(std::move(serverName))
{
}

std::string ClientHandshake::firstPacket()
{
    // One draw for salt, hello filler and key share: each call to the generator costs a check
    // of the process id.
    constexpr std::size_t helloRandom = kHelloPlain - 1 - 1 - 8;
    std::array<char, kSaltSize + helloRandom + 32> draw{};
    randomBytes(draw.data(), draw.size());
    std::copy_n(draw.begin(), kSaltSize, m_salt.begin());
    m_sealer.emplace(deriveClientKeys(m_psk, salt()));
    std::string hello;
    hello.push_back(static_cast<char>(kVersion));
    putU64(hello, m_now);
    hello.append(draw.data() + kSaltSize, helloRandom);
    std::string sealed;
    sealed.reserve(kFrameOverhead + kHelloPlain);
    m_sealer->seal(FrameType::Hello, hello, sealed);
    // An X25519 public value: 32 bytes, the top bit of the last one clear.
    draw.back() = static_cast<char>(static_cast<unsigned char>(draw.back()) & 0x7f);
    const std::string_view share(draw.data() + kSaltSize + helloRandom, 32);
    return clientHelloRecord(salt(), sealed, share, m_serverName);
}

std::string ClientHandshake::connectFrame(const std::string& connect)
{
    std::string out;
    out.reserve(kFrameOverhead + 1 + connect.size());
    m_sealer->seal(FrameType::Connect, connect, out);
    return out;
}

DecodeStatus ClientHandshake::next(std::string_view input, std::size_t& consumed, Frame& frame)
{
    consumed = 0;
    if (!m_opener) {
        if (input.size() < kSaltSize) {
            return DecodeStatus::NeedMore;
        }
        m_opener.emplace(deriveServerKeys(m_psk, salt(), input.substr(0, kSaltSize)));
        consumed = kSaltSize;
        input.remove_prefix(kSaltSize);
    }
    std::size_t used = 0;
    const auto status = m_opener->next(input, used, frame);
    consumed += used;
    if (status == DecodeStatus::Frame) {
        if (!m_accepted && frame.type != FrameType::Accept) {
            return DecodeStatus::Bad;
        }
        if (frame.type == FrameType::Accept && m_accepted) {
            return DecodeStatus::Bad;
        }
        m_accepted = true;
    }
    return status;
}

ServerHandshake::ServerHandshake(std::string psk) : m_psk(std::move(psk))
{
}

ServerHandshake::Status ServerHandshake::feed(std::string_view input, std::size_t& consumed)
{
    consumed = 0;
    if (m_stage == Stage::Header) {
        const std::size_t take = std::min(kRecordHeaderSize - m_record.size(), input.size());
        m_record.append(input.substr(0, take));
        input.remove_prefix(take);
        consumed += take;
        if (m_record.size() < kRecordHeaderSize) {
            return Status::NeedMore;
        }
        const auto size = clientHelloBodySize(m_record);
        if (!size) {
            m_stage = Stage::Bad;
            return Status::Bad;
        }
        m_bodySize = *size;
        m_record.clear();
        m_stage = Stage::Body;
    }
    if (m_stage == Stage::Body) {
        const std::size_t take = std::min(m_bodySize - m_record.size(), input.size());
        m_record.append(input.substr(0, take));
        consumed += take;
        if (m_record.size() < m_bodySize) {
            return Status::NeedMore;
        }
        const auto status = open(m_record);
        m_record = std::string();
        m_stage = status == Status::Done ? Stage::Done : Stage::Bad;
        return status;
    }
    return m_stage == Stage::Done ? Status::Done : Status::Bad;
}

ServerHandshake::Status ServerHandshake::open(std::string_view body)
{
    const auto fields = parseClientHello(body);
    if (!fields) {
        return Status::Bad;
    }
    if (fields->random.size() != m_salt.size()) {
        return Status::Bad;
    }
    std::copy(fields->random.begin(), fields->random.end(), m_salt.begin());
    m_opener.emplace(deriveClientKeys(m_psk, salt()));
    Frame frame;
    std::size_t used = 0;
    if (m_opener->next(fields->sessionId, used, frame) != DecodeStatus::Frame ||
        used != fields->sessionId.size() || frame.type != FrameType::Hello ||
        frame.body.size() + 1 != kHelloPlain || static_cast<std::uint8_t>(frame.body[0]) != kVersion) {
        return Status::Bad;
    }
    m_helloTime = getU64(std::string_view(frame.body).substr(1, 8));
    return Status::Done;
}

bool ServerHandshake::admit(ReplayWindow& window, std::uint64_t now) const
{
    return m_stage == Stage::Done && window.admit(salt(), m_helloTime, now);
}

std::string ServerHandshake::acceptPacket()
{
    // One draw for the salt, the padding and its length: each call to the generator costs a
    // check of the process id.
    constexpr std::size_t kMaxPadding = 64;
    std::array<char, kSaltSize + kMaxPadding + 4> draw{};
    randomBytes(draw.data(), draw.size());
    std::uint32_t value = 0;
    std::memcpy(&value, draw.data() + kSaltSize + kMaxPadding, sizeof value);
    // Uniform in [0, kMaxPadding]: values past the last whole cycle are drawn again.
    constexpr std::uint64_t span = kMaxPadding + 1;
    constexpr std::uint64_t limit = (std::uint64_t{1} << 32) - ((std::uint64_t{1} << 32) % span);
    const std::size_t padding =
        value < limit ? static_cast<std::size_t>(value % span) : randomBetween(0, kMaxPadding);
    const std::string_view serverSalt(draw.data(), kSaltSize);
    m_sealer.emplace(deriveServerKeys(m_psk, salt(), serverSalt));
    std::string out;
    out.reserve(kSaltSize + kFrameOverhead + 1 + padding);
    out.append(serverSalt);
    m_sealer->seal(FrameType::Accept, std::string_view(draw.data() + kSaltSize, padding), out);
    return out;
}

} // namespace ferrow::proto
