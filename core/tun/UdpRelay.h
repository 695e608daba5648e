#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <boost/asio/io_context.hpp>

#include "AsioSupport.h"
#include "FakeDns.h"
#include "FlowTable.h"
#include "Packet.h"

namespace ferrow::core {
class CoreService;
class UdpFlow;
} // namespace ferrow::core

namespace ferrow::tun {

/// Relays the tunnel's UDP per flow (source and destination address and port): each flow is
/// routed once, then carried DIRECT or through a node until it idles out.
class UdpRelay {
public:
    /// `write` puts a built packet into the tunnel.
    UdpRelay(boost::asio::io_context& io, core::CoreService& core, FakeIpPool& fakeIps,
             std::function<void(const void*, std::size_t)> write);
    ~UdpRelay();
    UdpRelay(const UdpRelay&) = delete;
    UdpRelay& operator=(const UdpRelay&) = delete;

    void relay(const std::string& packet, const PacketView& view);
    /// Closes flows idle longer than their time-out.
    void expire(std::chrono::steady_clock::time_point now);
    void closeAll();

private:
    struct Entry {
        std::shared_ptr<core::UdpFlow> flow;
        std::unique_ptr<FakeIpPin> pinned; // the fake address keeps its name while the flow lives
    };

    /// A new flow for `key`, or null when its fake address has no name.
    std::optional<Entry> open(const FlowEndpoints& key);

    boost::asio::io_context& m_io;
    core::CoreService& m_core;
    FakeIpPool& m_fakeIps;
    std::function<void(const void*, std::size_t)> m_write;
    std::map<FlowEndpoints, Entry> m_flows;
};

} // namespace ferrow::tun
