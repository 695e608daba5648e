#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "FerrowCrypto.h"

namespace ferrow::proto {

/// The first byte of every frame's plaintext.
enum class FrameType : std::uint8_t {
    Hello = 1,    // client's first frame: version, time, filler length
    Accept = 2,   // server's first frame: padding only
    Connect = 3,  // network and target of the stream
    Data = 4,     // stream bytes
    Fin = 5,      // the sender will send no more stream bytes
    Datagram = 6, // one UDP datagram with its peer address
    Padding = 7,  // ignored
};

/// Largest plaintext of one frame (type byte included); lengths above it are refused unread.
inline constexpr std::size_t kMaxFramePlain = 16384 + 512;
/// Largest stream payload put into one data frame.
inline constexpr std::size_t kMaxDataChunk = 16384;
/// Bytes a frame adds to its plaintext: the masked length and the tag.
inline constexpr std::size_t kFrameOverhead = 2 + kTagSize;

/// The keys of one direction of one connection.
struct DirectionKeys {
    Key aead{};
    Key mask{};
};

struct Frame {
    FrameType type = FrameType::Padding;
    std::string body;
};

/// Seals frames of one direction: masked length, then the AEAD seal of type + body with the
/// plain length as associated data. Counters start at 0 and never repeat.
class FrameSealer {
public:
    explicit FrameSealer(const DirectionKeys& keys);

    /// Appends one frame; `body` must fit kMaxFramePlain - 1.
    void seal(FrameType type, std::string_view body, std::string& out);
    /// Appends `bytes` as as many data frames as needed.
    void sealData(std::string_view bytes, std::string& out);
    std::uint64_t counter() const { return m_counter; }

private:
    Aead m_aead;
    LengthMask m_mask;
    std::uint64_t m_counter = 0;
};

enum class DecodeStatus { NeedMore, Frame, Bad };

/// Opens frames of one direction from a byte stream. Feed it what arrived; it never reads past
/// one frame. `consumed` is set on every call and says how many input bytes to drop, also when
/// it needs more (the length field is taken as soon as it is complete).
class FrameOpener {
public:
    explicit FrameOpener(const DirectionKeys& keys);

    DecodeStatus next(std::string_view input, std::size_t& consumed, Frame& frame);
    /// How many more bytes complete the frame in progress (or its length field).
    std::size_t wanted() const { return m_pending ? *m_pending + kTagSize : 2; }

private:
    Aead m_aead;
    LengthMask m_mask;
    std::uint64_t m_counter = 0;
    std::optional<std::size_t> m_pending; // plain length of the frame whose length was read
    std::string m_plain;
};

/// The destination of a stream or datagram: an IPv4 or IPv6 address (raw bytes) or a domain.
struct Target {
    enum Kind : std::uint8_t { IPv4 = 1, Domain = 3, IPv6 = 4 };
    Kind kind = Domain;
    std::string address; // 4 or 16 bytes, or the domain name
    std::uint16_t port = 0;

    /// Classifies `host` (an IPv4/IPv6 literal or a name; brackets allowed around IPv6).
    static std::optional<Target> fromHost(std::string_view host, std::uint16_t port);
    /// The host as text (dotted quad, IPv6 without brackets, or the name).
    std::string host() const;
    std::string toString() const;
};

enum class Network : std::uint8_t { Tcp = 1, Udp = 2 };

void encodeTarget(const Target& target, std::string& out);
/// Reads a target at `pos`, advancing it; nullopt when malformed or truncated.
std::optional<Target> decodeTarget(std::string_view body, std::size_t& pos);

std::string connectBody(Network network, const Target& target);
struct ConnectRequest {
    Network network = Network::Tcp;
    Target target;
};
std::optional<ConnectRequest> parseConnect(std::string_view body);

std::string datagramBody(const Target& peer, std::string_view payload);
struct Datagram {
    Target peer;
    std::string payload;
};
std::optional<Datagram> parseDatagram(std::string_view body);

} // namespace ferrow::proto
