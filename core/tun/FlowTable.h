#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>
#include <vector>

#include "NetAddress.h"

namespace ferrow::tun {

/// One tunnelled TCP flow as the client sent it.
struct FlowEndpoints {
    core::IpAddr source;
    std::uint16_t sourcePort = 0;
    core::IpAddr destination;
    std::uint16_t destinationPort = 0;
    auto tie() const
    {
        return std::tie(source.v6, source.bytes, sourcePort, destination.bytes, destinationPort);
    }
    bool operator<(const FlowEndpoints& other) const { return tie() < other.tie(); }
};

/// The translation of tunnelled TCP flows onto the core's listener: each flow gets a port of the
/// tunnel's peer address, so the listener's replies name the flow they belong to. Used by the
/// packet thread and by the thread that accepts, hence the lock.
class FlowTable {
public:
    using Clock = std::chrono::steady_clock;

    /// `first`..`last`: the ports handed out to flows.
    FlowTable(std::uint16_t first = 10000, std::uint16_t last = 65000);

    /// The port of an existing flow; a new one only for a connection's first packet (`opening`).
    /// Nothing when every port is taken or the flow is unknown and not opening.
    std::optional<std::uint16_t> outbound(const FlowEndpoints& flow, bool opening, bool closing,
                                          Clock::time_point now);
    /// The flow a reply to `port` belongs to; marks it closing when the reply ends it.
    std::optional<FlowEndpoints> inbound(bool v6, std::uint16_t port, bool closing, Clock::time_point now);
    /// The original flow behind an accepted connection from `port`.
    std::optional<FlowEndpoints> original(bool v6, std::uint16_t port) const;
    /// Drops flows idle longer than their time-out: `idle` for open ones, `closed` once either
    /// side sent FIN or RST, `opening` for those that never saw a reply.
    void expire(Clock::time_point now, Clock::duration idle, Clock::duration closed, Clock::duration opening);
    std::size_t size() const;

private:
    struct Entry {
        FlowEndpoints flow;
        Clock::time_point lastSeen;
        bool answered = false;
        bool closing = false;
    };
    using Slot = std::pair<bool, std::uint16_t>; // family, port

    std::optional<std::uint16_t> allocate(bool v6);

    mutable std::mutex m_lock;
    std::uint16_t m_first;
    std::uint16_t m_last;
    std::uint16_t m_next;
    std::map<FlowEndpoints, std::uint16_t> m_byFlow;
    std::map<Slot, Entry> m_byPort;
};

} // namespace ferrow::tun
