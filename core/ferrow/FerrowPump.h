#pragma once

#include <chrono>
#include <functional>
#include <string>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "FerrowFrame.h"

namespace ferrow::proto {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

/// Opens the next frame from the front of the bytes read from the encrypted side.
using FrameReader = std::function<DecodeStatus(std::string_view, std::size_t&, Frame&)>;

/// Byte counts of one pumped stream, for logs and counters.
struct PumpTotals {
    std::uint64_t sent = 0;     // plain bytes sealed towards the encrypted side
    std::uint64_t received = 0; // plain bytes opened from it
    bool clean = false;         // both directions ended with an orderly end of stream
};

/// Carries one stream both ways between `plain` (unencrypted bytes) and `wire` (frames) until
/// both directions have ended. An end of stream on either side is passed on as a half close
/// (a Fin frame, or a shutdown of `plain`'s sending side). A failure anywhere — a reset, a frame
/// that does not open, a wire that ends without its Fin — resets `plain` and closes `wire`, so a
/// cut transfer never looks complete. `pending` holds wire bytes read before the pump started.
/// With `idleTimeout` > 0 a stream that carries nothing either way for that long is cut.
/// `initial` holds plain bytes that arrived before the pump started; they are sent first.
/// `count`, when set, hears of bytes before they are passed on (upward: plain to wire).
using ByteCounter = std::function<void(bool upward, std::size_t bytes)>;
asio::awaitable<PumpTotals> pumpStream(tcp::socket& plain, tcp::socket& wire, FrameSealer& sealer,
                                       FrameReader reader, std::string pending,
                                       std::chrono::seconds idleTimeout = std::chrono::seconds(0),
                                       std::string initial = {}, ByteCounter count = {});

/// Closes with a reset (SO_LINGER 0) rather than an orderly end of stream.
void resetSocket(tcp::socket& socket);

} // namespace ferrow::proto
