#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Socks5Parser.h"

namespace ferrow::core::http {

inline constexpr std::size_t kMaxHeadSize = std::size_t{64} * 1024;
inline constexpr std::size_t kMaxHeaderCount = 100;

struct Header {
    std::string name;
    std::string value;
};

/// Request or response head. For a request, `method`, `target`; for a response, `status`, `reason`.
struct Head {
    ParseStatus status = ParseStatus::NeedMore;
    std::string error;
    std::string method;
    std::string target;
    int statusCode = 0;
    std::string reason;
    int minorVersion = 1; // HTTP/1.x
    std::vector<Header> headers;
    std::size_t length = 0; // bytes of the head, blank line included

    /// The value of the first header with that name (case-insensitive), or nullopt.
    std::optional<std::string_view> header(std::string_view name) const;
    /// Whether a comma-separated header holds the token (case-insensitive).
    bool headerHasToken(std::string_view name, std::string_view token) const;
};

/// A client's request gets room for the two headers its forwarded head may gain (Host,
/// Connection), so what goes upstream stays within the usual limit of kMaxHeaderCount.
Head parseRequestHead(std::string_view bytes, std::size_t maxHeaders = kMaxHeaderCount - 2);
Head parseResponseHead(std::string_view bytes);

struct Target {
    std::string host; // without brackets
    std::uint16_t port = 0;
    std::string originForm; // path and query, "/" at least
};

/// "host:port" of CONNECT.
std::optional<Target> parseAuthority(std::string_view text, std::uint16_t defaultPort);
/// "http://host[:port]/path?query" of a request to a proxy.
std::optional<Target> parseAbsoluteUrl(std::string_view text);

/// Tracks where a message body ends while its bytes pass through unchanged.
class BodyFramer {
public:
    enum class Mode { None, Length, Chunked, UntilClose };

    static BodyFramer none() { return {Mode::None, 0}; }
    static BodyFramer length(std::uint64_t bytes) { return {Mode::Length, bytes}; }
    static BodyFramer chunked() { return {Mode::Chunked, 0}; }
    static BodyFramer untilClose() { return {Mode::UntilClose, 0}; }

    /// How many of these bytes belong to the body; the rest belongs to the next message.
    std::size_t feed(std::string_view bytes);
    bool done() const;
    bool bad() const { return m_bad; }
    Mode mode() const { return m_mode; }

private:
    BodyFramer(Mode mode, std::uint64_t remaining) : m_mode(mode), m_remaining(remaining) {}

    enum class Chunk {
        Size,
        Extension,
        SizeLf,
        Data,
        DataCr,
        DataLf,
        TrailerStart,
        Trailer,
        TrailerLf,
        FinalLf,
        End
    };

    Mode m_mode;
    std::uint64_t m_remaining;
    Chunk m_chunk = Chunk::Size;
    int m_sizeDigits = 0;
    bool m_bad = false;
};

/// How the body of a request with this head is framed; nullopt when the framing is invalid or
/// ambiguous (conflicting lengths, Content-Length with Transfer-Encoding, several
/// Transfer-Encodings, any coding but a single "chunked").
std::optional<BodyFramer> requestBody(const Head& request);
/// Empty when the request's Host headers are acceptable: at most one, a valid authority.
std::string hostHeaderProblem(const Head& request);
/// How the body of a response is framed, given the request's method.
std::optional<BodyFramer> responseBody(const Head& response, std::string_view requestMethod);

/// Whether the connection stays open after this message.
bool keepsAlive(const Head& message);

/// The head forwarded upstream: origin-form target, hop-by-hop and Proxy-* headers removed.
std::string forwardedRequestHead(const Head& request, const Target& target);
/// The response head sent back to the client, hop-by-hop headers removed.
std::string forwardedResponseHead(const Head& response, bool keepAlive);

/// A complete small response with a text body, for errors the proxy itself answers.
std::string simpleResponse(int status, std::string_view reason, std::string_view body, bool keepAlive);

} // namespace ferrow::core::http
