#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "AsioSupport.h"
#include "ConnectionRegistry.h"

namespace ferrow::core {

/// Counts relayed bytes on the connection record and in the core's totals.
struct TrafficMeter {
    ConnectionRecord* record = nullptr;
    std::atomic<std::uint64_t>* totalUp = nullptr;
    std::atomic<std::uint64_t>* totalDown = nullptr;

    void up(std::uint64_t bytes)
    {
        record->up.fetch_add(bytes, std::memory_order_relaxed);
        totalUp->fetch_add(bytes, std::memory_order_relaxed);
    }
    void down(std::uint64_t bytes)
    {
        record->down.fetch_add(bytes, std::memory_order_relaxed);
        totalDown->fetch_add(bytes, std::memory_order_relaxed);
    }
    /// Bytes are counted before they are passed on, so a reader who saw them arrive also sees
    /// them counted; this takes back what then could not be passed on.
    void uncount(bool upward, std::uint64_t bytes)
    {
        (upward ? record->up : record->down).fetch_sub(bytes, std::memory_order_relaxed);
        (upward ? *totalUp : *totalDown).fetch_sub(bytes, std::memory_order_relaxed);
    }
    void count(bool upward, std::uint64_t bytes) { upward ? up(bytes) : down(bytes); }
};

/// Relays both directions until both have ended. An end of stream in one direction is passed
/// on as a half close, so the other direction keeps flowing. Bytes move through a kernel pipe
/// with splice(2) and never enter user space; a connection that sends nothing holds no pipe.
/// A failure on either side (a reset, a broken write) is passed on as a reset of the other, so
/// a cut transfer never looks complete. With `idleTimeout` > 0 a tunnel that carries nothing
/// either way for that long is cut the same way.
asio::awaitable<void> relay(tcp::socket& client, tcp::socket& upstream, TrafficMeter meter,
                            std::chrono::seconds idleTimeout = std::chrono::seconds(0));

/// Closes a socket with a reset (SO_LINGER 0) rather than an orderly end of stream.
void abortSocket(tcp::socket& socket);

} // namespace ferrow::core
