#include "UdpRelay.h"

#include <deque>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/ip/udp.hpp>

#include "CoreService.h"
#include "SocketMark.h"
#include "TunService.h"

namespace ferrow::tun {

namespace asio = boost::asio;
using core::IpAddr;
using core::useTuple;
using udp = asio::ip::udp;

namespace {

constexpr auto kUdpIdle = std::chrono::seconds(60);
constexpr std::size_t kUdpQueued = 64;
constexpr std::size_t kMaxUdpFlows = 4096;

} // namespace

struct UdpRelay::Flow {
    explicit Flow(const asio::any_io_executor& executor) : socket(executor) {}
    FlowEndpoints key;
    udp::socket socket;
    std::shared_ptr<core::ConnectionRecord> record;
    std::optional<FakeIpPin> pinned; // the fake address keeps its name while the flow lives
    std::deque<std::string> pending; // payloads sent before the flow was open
    std::chrono::steady_clock::time_point lastActive;
    bool ready = false;
    bool refused = false;
    bool closed = false;
};

UdpRelay::UdpRelay(asio::io_context& io, core::CoreService& core, FakeIpPool& fakeIps,
                   std::function<void(const void*, std::size_t)> write)
    : m_io(io), m_core(core), m_fakeIps(fakeIps), m_write(std::move(write))
{
}

void UdpRelay::expire(std::chrono::steady_clock::time_point now)
{
    for (auto it = m_flows.begin(); it != m_flows.end();) {
        if (now - it->second->lastActive > kUdpIdle) {
            close(it->second);
            it = m_flows.erase(it);
        } else {
            ++it;
        }
    }
}

void UdpRelay::closeAll()
{
    for (auto& [key, flow] : m_flows) {
        close(flow);
    }
    m_flows.clear();
}

void UdpRelay::relay(const std::string& packet, const PacketView& view)
{
    const FlowEndpoints key{view.source, view.sourcePort, view.destination, view.destinationPort};
    if (isTunnelAddress(view.destination)) {
        return; // relayed from here it would come straight back
    }
    auto payload = packet.substr(view.payloadOffset, view.length - view.payloadOffset);
    auto found = m_flows.find(key);
    if (found == m_flows.end()) {
        if (m_flows.size() >= kMaxUdpFlows) {
            return;
        }
        auto flow = std::make_shared<Flow>(m_io.get_executor());
        flow->key = key;
        flow->lastActive = std::chrono::steady_clock::now();
        found = m_flows.emplace(key, flow).first;
        asio::co_spawn(m_io, open(flow), asio::detached);
    }
    auto& flow = *found->second;
    flow.lastActive = std::chrono::steady_clock::now();
    if (flow.refused) {
        return;
    }
    if (!flow.ready) {
        if (flow.pending.size() < kUdpQueued) {
            flow.pending.push_back(std::move(payload));
        }
        return;
    }
    boost::system::error_code ec;
    const auto sent = flow.socket.send(asio::buffer(payload), 0, ec);
    if (!ec && flow.record) {
        m_core.meterFor(*flow.record).up(sent);
    }
}

asio::awaitable<void> UdpRelay::open(std::shared_ptr<Flow> flow)
{
    const auto& key = flow->key;
    if (flow->closed) {
        co_return;
    }
    std::string host = key.destination.toString();
    if (FakeIpPool::isFake(key.destination)) {
        const auto name = m_fakeIps.use(key.destination, std::chrono::steady_clock::now());
        if (!name) {
            flow->refused = true;
            co_return;
        }
        host = *name;
        flow->pinned.emplace(m_fakeIps, key.destination);
    }
    flow->record = m_core.connections().open();
    auto& record = *flow->record;
    record.network = "udp";
    record.host = host;
    record.port = key.destinationPort;
    record.sourceIp = key.source.toString();
    record.sourcePort = key.sourcePort;
    record.localIp = key.destination.toString();
    record.localPort = key.destinationPort;
    core::RouteQuery query{host,
                           key.destinationPort,
                           key.source,
                           key.sourcePort,
                           key.destination,
                           key.destinationPort,
                           flow->record.get(),
                           std::nullopt};
    const auto route = co_await m_core.route(query);
    record.policy = route.policy;
    record.chain = route.chain;
    record.rule = route.rule;
    if (flow->closed) {
        co_return;
    }
    if (route.policy != "DIRECT") {
        if (route.policy != "REJECT") {
            m_core.log().warning("UDP to " + host + " through \"" + route.policy +
                                 "\": not available, dropped");
        }
        flow->refused = true;
        flow->pending.clear();
        co_return;
    }
    std::vector<IpAddr> addresses = route.addresses;
    if (addresses.empty()) {
        const auto resolved = co_await m_core.resolver().resolve(host);
        addresses = resolved.addresses;
    }
    // Devices using us as their gateway reach the network, never this machine's own services
    // (a name may well resolve to loopback); nothing goes back into the tunnel either.
    const bool fromDevice = !isThisMachine(key.source);
    std::erase_if(addresses, [this, fromDevice](const IpAddr& address) {
        return FakeIpPool::isFake(address) || isTunnelAddress(address) ||
               (fromDevice && m_localAddresses.isPrivateToThisMachine(address));
    });
    if (addresses.empty() || flow->closed) {
        flow->refused = true;
        co_return;
    }
    const udp::endpoint endpoint(core::toAsio(addresses.front()), key.destinationPort);
    boost::system::error_code ec;
    flow->socket.open(endpoint.protocol(), ec);
    if (!ec && !core::markOutbound(flow->socket.native_handle())) {
        ec = asio::error::access_denied;
    }
    if (!ec) {
        flow->socket.connect(endpoint, ec);
    }
    if (ec) {
        m_core.log().warning("UDP to " + host + ": " + ec.message());
        flow->refused = true;
        co_return;
    }
    flow->ready = true;
    auto meter = m_core.meterFor(record);
    for (const auto& payload : flow->pending) {
        const auto sent = flow->socket.send(asio::buffer(payload), 0, ec);
        if (!ec) {
            meter.up(sent);
        }
    }
    flow->pending.clear();
    co_await readReplies(flow);
}

asio::awaitable<void> UdpRelay::readReplies(std::shared_ptr<Flow> flow)
{
    std::string buffer(65535, '\0');
    while (!flow->closed) {
        auto [error, received] = co_await flow->socket.async_receive(asio::buffer(buffer), useTuple);
        if (error == asio::error::operation_aborted || flow->closed) {
            co_return;
        }
        if (error) {
            continue; // an ICMP error for one datagram; the flow lives until idle
        }
        flow->lastActive = std::chrono::steady_clock::now();
        const auto& key = flow->key;
        const auto packet = buildUdpPacket(key.destination, key.destinationPort, key.source, key.sourcePort,
                                           std::string_view(buffer.data(), received));
        m_write(packet.data(), packet.size());
        m_core.meterFor(*flow->record).down(received);
    }
}

void UdpRelay::close(const std::shared_ptr<Flow>& flow)
{
    flow->closed = true;
    flow->pinned.reset();
    boost::system::error_code ignored;
    flow->socket.close(ignored);
    if (flow->record) {
        m_core.connections().close(flow->record);
    }
}

} // namespace ferrow::tun
