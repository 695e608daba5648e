#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <boost/asio/io_context.hpp>

#include "AsioSupport.h"
#include "FakeDns.h"
#include "FlowTable.h"
#include "LocalAddresses.h"
#include "Packet.h"

namespace ferrow::core {
class CoreService;
}

namespace ferrow::tun {

/// Relays the tunnel's UDP per flow (source and destination address and port): each flow is
/// routed once, then carried by a socket of its own with the core's mark until it idles out.
class UdpRelay {
public:
    /// `write` puts a built packet into the tunnel.
    UdpRelay(boost::asio::io_context& io, core::CoreService& core, FakeIpPool& fakeIps,
             std::function<void(const void*, std::size_t)> write);

    void relay(const std::string& packet, const PacketView& view);
    /// Closes flows idle longer than their time-out.
    void expire(std::chrono::steady_clock::time_point now);
    void closeAll();

private:
    struct Flow;

    boost::asio::awaitable<void> open(std::shared_ptr<Flow> flow);
    boost::asio::awaitable<void> readReplies(std::shared_ptr<Flow> flow);
    void close(const std::shared_ptr<Flow>& flow);

    boost::asio::io_context& m_io;
    core::CoreService& m_core;
    FakeIpPool& m_fakeIps;
    std::function<void(const void*, std::size_t)> m_write;
    core::LocalAddresses m_localAddresses;
    std::map<FlowEndpoints, std::shared_ptr<Flow>> m_flows;
};

} // namespace ferrow::tun
