#include "FerrowHandshake.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace ferrow::proto {

namespace {

constexpr std::string_view kClientInfo = "ferrow v1 client";
constexpr std::string_view kServerInfo = "ferrow v1 server";

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

std::size_t popcount(std::string_view bytes)
{
    std::size_t bits = 0;
    for (const char c : bytes) {
        bits += std::popcount(static_cast<unsigned char>(c));
    }
    return bits;
}

/// One filler byte from two random bytes: at most two bits set (low side) or at most two clear
/// (high side).
unsigned char fillerByte(std::uint8_t draw, std::uint8_t positions, bool low)
{
    const int bits = draw < 26 ? 0 : (draw < 128 ? 1 : 2);
    unsigned char value = 0;
    if (bits >= 1) {
        value |= static_cast<unsigned char>(1u << (positions & 7));
    }
    if (bits == 2) {
        value |= static_cast<unsigned char>(1u << ((positions >> 3) & 7));
    }
    return low ? value : static_cast<unsigned char>(~value);
}

std::string filler(std::size_t count, bool low)
{
    // One draw from the generator for the whole filler: a call per byte costs more than the
    // rest of the handshake.
    const std::string draws = randomBytes(2 * count);
    std::string out(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = static_cast<char>(fillerByte(static_cast<std::uint8_t>(draws[2 * i]),
                                              static_cast<std::uint8_t>(draws[2 * i + 1]), low));
    }
    return out;
}

Key keyAt(std::string_view material, std::size_t offset)
{
    Key key{};
    std::memcpy(key.data(), material.data() + offset, key.size());
    return key;
}

} // namespace

std::string pskProblem(std::string_view psk)
{
    if (psk.empty()) {
        return "no psk";
    }
    if (psk.size() < kMinPskLength) {
        return "psk is too short (" + std::to_string(psk.size()) + " characters; at least " +
               std::to_string(kMinPskLength) + " needed)";
    }
    return {};
}

ClientDirection deriveClientKeys(std::string_view psk, std::string_view clientSalt)
{
    const std::string material = hkdfSha256(psk, clientSalt, kClientInfo, 2 * kKeySize + 1);
    ClientDirection out;
    out.keys.aead = keyAt(material, 0);
    out.keys.mask = keyAt(material, kKeySize);
    out.leadingFiller = static_cast<std::uint8_t>(material[2 * kKeySize]) % (kMaxLeadingFiller + 1);
    return out;
}

DirectionKeys deriveServerKeys(std::string_view psk, std::string_view clientSalt, std::string_view serverSalt)
{
    const std::string salts = std::string(clientSalt) + std::string(serverSalt);
    const std::string material = hkdfSha256(psk, salts, kServerInfo, 2 * kKeySize);
    return {keyAt(material, 0), keyAt(material, kKeySize)};
}

double bitDensity(std::string_view bytes)
{
    return bytes.empty() ? 0.0 : static_cast<double>(popcount(bytes)) / static_cast<double>(bytes.size());
}

ClientHandshake::ClientHandshake(std::string psk, std::uint64_t now) : m_psk(std::move(psk)), m_now(now)
{
}

std::string ClientHandshake::firstPacket(const std::optional<std::string>& connect)
{
    // Each attempt uses a fresh salt and so fresh keys: a discarded attempt never shares a nonce
    // with the packet that is sent.
    for (;;) {
        m_salt = randomBytes(kSaltSize);
        const auto client = deriveClientKeys(m_psk, m_salt);
        auto sealer = std::make_unique<FrameSealer>(client.keys);

        const bool low = randomBetween(0, 1) == 0;
        // Target density, away from the band's edges by a random margin.
        const double target =
            low ? 2.5 + randomBetween(0, 800) / 1000.0 : 4.7 + randomBetween(0, 800) / 1000.0;
        const double fillerDensity = low ? 1.45 : 6.55;
        const std::size_t innerPad = randomBetween(0, 32);
        const std::size_t connectSize = connect ? connect->size() + 1 + kFrameOverhead : 0;
        const std::size_t random = kSaltSize + kMinHelloPlain + innerPad + kFrameOverhead + connectSize;
        // Expected set bits of the random part plus six standard deviations.
        const double spread = 6.0 * std::sqrt(2.0 * static_cast<double>(random));
        const double randomBits = 4.0 * static_cast<double>(random) + (low ? spread : -spread);
        const auto leading = static_cast<double>(client.leadingFiller);
        double needed =
            (randomBits + fillerDensity * leading - target * (static_cast<double>(random) + leading)) /
            (target - fillerDensity);
        needed = std::max(0.0, needed);
        const std::size_t trailing =
            std::min(kMaxTrailingFiller, static_cast<std::size_t>(needed) + randomBetween(8, 96));

        std::string hello;
        hello.push_back(static_cast<char>(kVersion));
        putU64(hello, m_now);
        hello.push_back(static_cast<char>(trailing >> 8));
        hello.push_back(static_cast<char>(trailing & 0xff));
        hello.push_back(static_cast<char>(innerPad));
        hello.append(randomBytes(innerPad));

        std::string helloFrame;
        sealer->seal(FrameType::Hello, hello, helloFrame);
        std::string connectFrame;
        if (connect) {
            sealer->seal(FrameType::Connect, *connect, connectFrame);
        }
        std::string leadingFiller = filler(client.leadingFiller, low);
        std::string trailingFiller = filler(trailing, low);
        const std::size_t total = random + client.leadingFiller + trailing;
        const double limit = target * static_cast<double>(total);
        std::size_t bits = popcount(m_salt) + popcount(helloFrame) + popcount(connectFrame) +
                           popcount(leadingFiller) + popcount(trailingFiller);
        // Push filler bytes to the extreme until the packet's density is where it must be.
        auto fits = [&] {
            return low ? static_cast<double>(bits) <= limit : static_cast<double>(bits) >= limit;
        };
        for (std::string* part : {&trailingFiller, &leadingFiller}) {
            for (std::size_t i = 0; i < part->size() && !fits(); ++i) {
                auto& c = (*part)[i];
                bits -= std::popcount(static_cast<unsigned char>(c));
                c = low ? '\0' : '\xff';
                bits += low ? 0 : 8;
            }
        }
        if (!fits()) {
            continue;
        }
        m_sealer = std::move(sealer);
        std::string packet;
        packet.reserve(total);
        packet.append(m_salt)
            .append(leadingFiller)
            .append(helloFrame)
            .append(trailingFiller)
            .append(connectFrame);
        return packet;
    }
}

std::string ClientHandshake::connectFrame(const std::string& connect)
{
    std::string out;
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
        m_opener = std::make_unique<FrameOpener>(deriveServerKeys(m_psk, m_salt, input.substr(0, kSaltSize)));
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

bool ReplayWindow::admit(std::string_view salt, std::uint64_t helloTime, std::uint64_t now)
{
    const auto window = static_cast<std::uint64_t>(m_window.count());
    if (helloTime + window < now || helloTime > now + window) {
        return false;
    }
    while (!m_expiry.empty() && m_expiry.front().first < now) {
        m_seen.erase(m_expiry.front().second);
        m_expiry.pop_front();
    }
    std::string key(salt);
    if (m_seen.size() >= m_capacity || !m_seen.insert(key).second) {
        return false;
    }
    // A hello with time T is accepted until T + window; remembering the salt until then plus a
    // window more covers a server clock that moves either way in between.
    m_expiry.emplace_back(now + 2 * window, std::move(key));
    return true;
}

ServerHandshake::ServerHandshake(std::string psk) : m_psk(std::move(psk))
{
}

ServerHandshake::Status ServerHandshake::feed(std::string_view input, std::size_t& consumed)
{
    consumed = 0;
    for (;;) {
        switch (m_stage) {
        case Stage::Done:
            return Status::Done;
        case Stage::Bad:
            return Status::Bad;
        case Stage::Salt: {
            const std::size_t take = std::min(kSaltSize - m_salt.size(), input.size());
            m_salt.append(input.substr(0, take));
            input.remove_prefix(take);
            consumed += take;
            if (m_salt.size() < kSaltSize) {
                return Status::NeedMore;
            }
            const auto client = deriveClientKeys(m_psk, m_salt);
            m_opener = std::make_unique<FrameOpener>(client.keys);
            m_skip = client.leadingFiller;
            m_stage = Stage::Leading;
            break;
        }
        case Stage::Leading:
        case Stage::Trailing: {
            const std::size_t take = std::min(m_skip, input.size());
            m_skip -= take;
            input.remove_prefix(take);
            consumed += take;
            if (m_skip > 0) {
                return Status::NeedMore;
            }
            m_stage = m_stage == Stage::Leading ? Stage::Hello : Stage::Done;
            break;
        }
        case Stage::Hello: {
            std::size_t used = 0;
            Frame frame;
            const auto status = m_opener->next(input, used, frame);
            input.remove_prefix(used);
            consumed += used;
            if (status == DecodeStatus::NeedMore) {
                if (m_opener->wanted() > kMaxHelloPlain + kTagSize) {
                    m_stage = Stage::Bad;
                    break;
                }
                return Status::NeedMore;
            }
            const auto& body = frame.body;
            if (status == DecodeStatus::Bad || frame.type != FrameType::Hello ||
                body.size() + 1 < kMinHelloPlain || static_cast<std::uint8_t>(body[0]) != kVersion) {
                m_stage = Stage::Bad;
                break;
            }
            m_helloTime = getU64(std::string_view(body).substr(1, 8));
            m_skip = (static_cast<std::uint8_t>(body[9]) << 8) | static_cast<std::uint8_t>(body[10]);
            const std::size_t innerPad = static_cast<std::uint8_t>(body[11]);
            if (m_skip > kMaxTrailingFiller || body.size() != 12 + innerPad) {
                m_stage = Stage::Bad;
                break;
            }
            m_stage = Stage::Trailing;
            break;
        }
        }
    }
}

bool ServerHandshake::admit(ReplayWindow& window, std::uint64_t now) const
{
    return m_stage == Stage::Done && window.admit(m_salt, m_helloTime, now);
}

std::string ServerHandshake::acceptPacket()
{
    const std::string serverSalt = randomBytes(kSaltSize);
    m_sealer = std::make_unique<FrameSealer>(deriveServerKeys(m_psk, m_salt, serverSalt));
    std::string out = serverSalt;
    m_sealer->seal(FrameType::Accept, randomBytes(randomBetween(0, 64)), out);
    return out;
}

} // namespace ferrow::proto
