#pragma once

#include "AsioSupport.h"
#include "ConnectionRegistry.h"

#include <atomic>
#include <cstdint>

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
};

/// Relays both directions until both have ended. An end of stream in one direction is passed
/// on as a half close, so the other direction keeps flowing. Bytes move through a kernel pipe
/// with splice(2) and never enter user space; a connection that sends nothing holds no pipe.
asio::awaitable<void> relay(tcp::socket& client, tcp::socket& upstream, TrafficMeter meter);

} // namespace ferrow::core
