#pragma once

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "AsioSupport.h"
#include "FakeDns.h"
#include "FlowTable.h"
#include "LanResolver.h"
#include "Packet.h"
#include "PolicyRouting.h"
#include "ResolvedLink.h"
#include "RouteWatcher.h"
#include "TunDevice.h"
#include "TunnelDns.h"
#include "UdpRelay.h"

namespace ferrow::core {
class CoreService;
struct ConnectionRecord;
struct TunnelledFlow;
} // namespace ferrow::core

namespace ferrow::tun {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using core::useTuple;

/// Whether `address` is in the tunnel's ranges (172.19.0.0/16, fdfe:dcba:9876::/48).
bool isTunnelAddress(const core::IpAddr& address);
/// Whether a tunnelled flow from `address` comes from this machine: exactly the tunnel link's own
/// addresses, never merely the range, which a device forwarding through us may claim.
bool isThisMachine(const core::IpAddr& address);

/// Enhanced Mode's tunnel: the TUN link and its policy routing, TCP flows translated onto the
/// core's own listeners, DNS answered with fake addresses, UDP relayed per flow. TCP packets are
/// translated on a thread of their own; everything else runs on the core's I/O thread.
class TunService {
public:
    TunService(asio::io_context& io, core::CoreService& core);
    ~TunService();
    TunService(const TunService&) = delete;
    TunService& operator=(const TunService&) = delete;

    /// Removes what an earlier core left, creates `name` and routes through it. False with the
    /// reason; nothing of the tunnel is left behind then.
    /// `resolveBus`: where systemd-resolved is told about the tunnel (empty: the system bus).
    bool start(const std::string& name, bool gateway, const std::string& resolveBus, std::string* error);
    /// Stops the packet thread and removes the link, the routes and the rules.
    void stop();
    /// Answers gateway devices' DNS on the helper's port-53 sockets (descriptors taken over).
    void serveLanResolver(const std::vector<int>& descriptors) { m_lanResolver.serve(descriptors); }

    /// Puts back rules and routes that someone else removed (a network manager, a script).
    void checkRouting();

    /// The name behind a fake address the tunnel's DNS handed out.
    std::optional<std::string> nameFor(const core::IpAddr& address) const
    {
        return m_fakeIps.nameFor(address);
    }

private:
    void packetLoop();
    /// Rewrites a TCP segment in place; true when it is to be written back.
    bool translateTcp(std::uint8_t* data, const PacketView& view, bool partialChecksum);
    void handlePacket(std::string packet);
    void writePacket(const void* data, std::size_t size);
    void openListeners(boost::system::error_code& error);
    /// The listener of `v6`'s family whose port is `port`, by its lane.
    std::optional<std::uint8_t> laneOf(bool v6, std::uint16_t port) const;
    asio::awaitable<void> acceptLoop(std::shared_ptr<tcp::acceptor> acceptor, std::uint8_t lane);
    asio::awaitable<void> serveAccepted(tcp::socket socket, std::uint8_t lane);
    /// Reads the first bytes for a TLS server name or an HTTP Host; they stay in `flow.initial`.
    asio::awaitable<void> sniff(tcp::socket& socket, core::TunnelledFlow& flow);
    asio::awaitable<void> answerDatagram(std::string packet, PacketView view);
    asio::awaitable<void> expireLoop();

    asio::io_context& m_io;
    core::CoreService& m_core;
    TunDevice m_device;
    bool m_gateway = false;
    bool m_running = false;
    FlowTable m_flows;
    FakeIpPool m_fakeIps; // before the parts that use it
    TunnelDns m_dns;
    LanResolver m_lanResolver;
    UdpRelay m_udp;
    // Translated flows are spread over several listeners per family: each one multiplies the
    // four-tuples the listener side can tell apart. Empty for a family the tunnel does not carry.
    std::vector<std::uint16_t> m_listenPorts4;
    std::vector<std::uint16_t> m_listenPorts6;
    std::vector<std::pair<std::shared_ptr<tcp::acceptor>, std::uint8_t>> m_acceptors; // with its lane
    asio::steady_timer m_expiry;
    int m_stopEvent = -1;
    std::thread m_packetThread;
    std::unique_ptr<ResolvedLink> m_resolved;
    std::unique_ptr<RouteWatcher> m_watcher;
    PolicyRouting::Count m_installed;
    int m_pendingQueries = 0; // UDP questions being answered
};

} // namespace ferrow::tun
