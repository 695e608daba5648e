#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace ferrow::test {

/// How a windowed exchange with a UDP echo went.
struct EchoOutcome {
    std::size_t sent = 0;    // datagrams
    std::size_t echoed = 0;  // distinct datagrams that came back intact
    std::size_t corrupt = 0; // came back changed, twice, or never sent
    bool complete() const { return sent > 0 && echoed == sent && corrupt == 0; }
};

/// Sends `total` bytes to an echo as numbered datagrams of `size` bytes (the number, then pattern
/// bytes from its offset), never more than `window` unanswered, so a loopback path has no reason
/// to lose one and nothing is ever sent twice. `send` puts out one datagram; `receive` waits at
/// most the time given for one (empty: none came). Ends when all came back, or when nothing came
/// back for `stall`.
EchoOutcome echoWindowed(const std::function<bool(std::string_view)>& send,
                         const std::function<std::string(std::chrono::milliseconds)>& receive,
                         std::size_t total, std::size_t size = 1024, std::size_t window = 16,
                         std::chrono::milliseconds stall = std::chrono::seconds(5));

/// echoWindowed over a connected UDP socket.
EchoOutcome echoWindowed(int fd, std::size_t total, std::size_t size = 1024, std::size_t window = 16);

} // namespace ferrow::test
