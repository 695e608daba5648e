#pragma once

#include "FerrowFrame.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace ferrow::proto {

inline constexpr std::uint8_t kVersion = 1;
/// A key shorter than this (in characters of its text) is refused as too weak.
inline constexpr std::size_t kMinPskLength = 16;
/// Largest keyed filler before the hello and largest filler after it.
inline constexpr std::size_t kMaxLeadingFiller = 63;
inline constexpr std::size_t kMaxTrailingFiller = 1024;
/// Hello plaintext: type, version, time (8), trailing filler length (2), inner pad length (1), pad.
inline constexpr std::size_t kMinHelloPlain = 13;
inline constexpr std::size_t kMaxHelloPlain = kMinHelloPlain + 255;
/// How far a hello's time may be from the server's clock.
inline constexpr std::chrono::seconds kReplayWindow{120};

/// Why a key cannot be used, or empty when it can.
std::string pskProblem(std::string_view psk);

/// Keys of both directions derived from the key text and the salts.
struct ClientDirection {
    DirectionKeys keys;
    std::size_t leadingFiller = 0; // keyed length of the filler before the hello
};
ClientDirection deriveClientKeys(std::string_view psk, std::string_view clientSalt);
DirectionKeys deriveServerKeys(std::string_view psk, std::string_view clientSalt,
                               std::string_view serverSalt);

/// Average set bits per byte.
double bitDensity(std::string_view bytes);

/// Client end of one connection: builds the first packet and opens what the server sends.
class ClientHandshake {
public:
    /// `psk` must have passed pskProblem(); `now` is Unix time in seconds.
    ClientHandshake(std::string psk, std::uint64_t now);

    /// Salt, keyed filler, hello, filler, then the connect frame when `connect` is given (a pooled
    /// connection sends it later with connectFrame()). Its bit density is kept outside the band
    /// that passive classifiers of fully encrypted traffic look for.
    std::string firstPacket(const std::optional<std::string>& connect);
    /// The connect frame for a connection whose first packet went without one.
    std::string connectFrame(const std::string& connect);
    FrameSealer& sealer() { return *m_sealer; }

    /// Opens the server's bytes: its salt first, then frames (the first must be Accept).
    DecodeStatus next(std::string_view input, std::size_t& consumed, Frame& frame);
    bool accepted() const { return m_accepted; }

private:
    std::string m_psk;
    std::uint64_t m_now;
    std::string m_salt;
    std::unique_ptr<FrameSealer> m_sealer;
    std::unique_ptr<FrameOpener> m_opener;
    bool m_accepted = false;
};

/// Salts of accepted hellos, kept for twice the window so that a replay inside it is refused.
class ReplayWindow {
public:
    explicit ReplayWindow(std::chrono::seconds window = kReplayWindow, std::size_t capacity = 1'000'000)
        : m_window(window), m_capacity(capacity)
    {
    }
    /// True (and remembered) for a fresh salt with a time inside the window around `now`. When
    /// `capacity` salts are held, new hellos are refused until old ones expire: refusing is safe,
    /// forgetting a salt early would let its replay through.
    bool admit(std::string_view salt, std::uint64_t helloTime, std::uint64_t now);
    std::size_t size() const { return m_seen.size(); }

private:
    std::chrono::seconds m_window;
    std::size_t m_capacity;
    std::unordered_set<std::string> m_seen;
    std::deque<std::pair<std::uint64_t, std::string>> m_expiry; // oldest first
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

private:
    enum class Stage { Salt, Leading, Hello, Trailing, Done, Bad };
    std::string m_psk;
    Stage m_stage = Stage::Salt;
    std::string m_salt;
    std::size_t m_skip = 0;
    std::unique_ptr<FrameOpener> m_opener;
    std::unique_ptr<FrameSealer> m_sealer;
    std::uint64_t m_helloTime = 0;
};

} // namespace ferrow::proto
