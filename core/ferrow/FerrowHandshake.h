#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "FerrowFrame.h"
#include "FerrowKeys.h"
#include "FerrowReplay.h"

namespace ferrow::proto {

inline constexpr std::uint8_t kVersion = 2;
/// Hello plaintext: type, version, time (8), four random bytes; sealed it fills the 32-byte
/// session id of the ClientHello exactly.
inline constexpr std::size_t kHelloPlain = 14;

/// Keys of both directions derived from the key text (through its master key) and the salts.
DirectionKeys deriveClientKeys(std::string_view psk, std::string_view clientSalt);
DirectionKeys deriveServerKeys(std::string_view psk, std::string_view clientSalt,
                               std::string_view serverSalt);

/// Average set bits per byte.
double bitDensity(std::string_view bytes);

/// Client end of one connection: builds the first packet and opens what the server sends.
class ClientHandshake {
public:
    /// `psk` must have passed pskProblem(); `now` is Unix time in seconds; `serverName` is the
    /// node's server when it is a name (empty for an address).
    ClientHandshake(std::string psk, std::uint64_t now, std::string serverName = {});

    /// The first packet, sent alone: a TLS ClientHello whose random is the salt and whose
    /// session id is the sealed hello.
    std::string firstPacket();
    /// The connect frame, sent right behind the first packet (or later by a pooled connection).
    std::string connectFrame(const std::string& connect);
    FrameSealer& sealer() { return *m_sealer; }

    /// Opens the server's bytes: its salt first, then frames (the first must be Accept).
    DecodeStatus next(std::string_view input, std::size_t& consumed, Frame& frame);
    bool accepted() const { return m_accepted; }

private:
    std::string_view salt() const { return {m_salt.data(), m_salt.size()}; }

    std::string m_psk;
    std::uint64_t m_now;
    std::string m_serverName;
    std::array<char, kSaltSize> m_salt{};
    std::optional<FrameSealer> m_sealer;
    std::optional<FrameOpener> m_opener;
    bool m_accepted = false;
};

/// Server end of one connection's handshake. Pure: feed it bytes, it says what it needs.
class ServerHandshake {
public:
    enum class Status { NeedMore, Done, Bad };

    explicit ServerHandshake(std::string psk);

    /// Consumes from the front of `input` (`consumed` bytes; drop them in every case).
    Status feed(std::string_view input, std::size_t& consumed);
    /// After Done: whether the replay window admits the hello.
    bool admit(ReplayWindow& window, std::uint64_t now) const;
    /// After Done: server salt and the Accept frame; makes the sealer for the server's frames.
    std::string acceptPacket();
    FrameOpener& opener() { return *m_opener; }
    FrameSealer& sealer() { return *m_sealer; }
    std::uint64_t helloTime() const { return m_helloTime; }
    std::string_view salt() const { return {m_salt.data(), m_salt.size()}; }

private:
    enum class Stage { Header, Body, Done, Bad };
    Status open(std::string_view body);

    std::string m_psk;
    Stage m_stage = Stage::Header;
    std::string m_record;
    std::size_t m_bodySize = 0;
    std::array<char, kSaltSize> m_salt{};
    std::optional<FrameOpener> m_opener;
    std::optional<FrameSealer> m_sealer;
    std::uint64_t m_helloTime = 0;
};

} // namespace ferrow::proto
