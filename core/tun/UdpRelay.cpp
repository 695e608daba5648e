#include "UdpRelay.h"

#include "CoreService.h"
#include "TunService.h"
#include "UdpFlow.h"

namespace ferrow::tun {

namespace {

constexpr auto kUdpIdle = std::chrono::seconds(60);
constexpr std::size_t kMaxUdpFlows = 4096;

} // namespace

UdpRelay::UdpRelay(boost::asio::io_context& io, core::CoreService& core, FakeIpPool& fakeIps,
                   std::function<void(const void*, std::size_t)> write)
    : m_io(io), m_core(core), m_fakeIps(fakeIps), m_write(std::move(write))
{
}

UdpRelay::~UdpRelay()
{
    closeAll();
}

void UdpRelay::expire(std::chrono::steady_clock::time_point now)
{
    for (auto it = m_flows.begin(); it != m_flows.end();) {
        if (now - it->second.flow->lastActive() > kUdpIdle) {
            it->second.flow->close();
            it = m_flows.erase(it);
        } else {
            ++it;
        }
    }
}

void UdpRelay::closeAll()
{
    for (auto& [key, entry] : m_flows) {
        entry.flow->close();
    }
    m_flows.clear();
}

void UdpRelay::relay(const std::string& packet, const PacketView& view)
{
    const FlowEndpoints key{view.source, view.sourcePort, view.destination, view.destinationPort};
    if (isTunnelAddress(view.destination)) {
        return; // relayed from here it would come straight back
    }
    auto found = m_flows.find(key);
    if (found != m_flows.end() && found->second.flow->ended()) {
        found->second.flow->close();
        m_flows.erase(found);
        found = m_flows.end();
    }
    if (found == m_flows.end()) {
        if (m_flows.size() >= kMaxUdpFlows) {
            return;
        }
        auto entry = open(key);
        if (!entry) {
            return;
        }
        found = m_flows.emplace(key, std::move(*entry)).first;
    }
    found->second.flow->send(packet.substr(view.payloadOffset, view.length - view.payloadOffset));
}

std::optional<UdpRelay::Entry> UdpRelay::open(const FlowEndpoints& key)
{
    Entry entry;
    core::UdpFlowSetup setup;
    setup.host = key.destination.toString();
    if (FakeIpPool::isFake(key.destination)) {
        // A fake address from before a restart or long forgotten leads nowhere known.
        const auto name = m_fakeIps.use(key.destination, std::chrono::steady_clock::now());
        if (!name) {
            return std::nullopt;
        }
        setup.host = *name;
        entry.pinned = std::make_unique<FakeIpPin>(m_fakeIps, key.destination);
    }
    setup.port = key.destinationPort;
    setup.source = key.source;
    setup.sourcePort = key.sourcePort;
    setup.local = key.destination;
    setup.localPort = key.destinationPort;
    // Devices using us as their gateway reach the network, never this machine's own services.
    setup.fromOtherMachine = !isThisMachine(key.source);
    // Answers go back as from the destination the client addressed, the fake address included.
    entry.flow = core::UdpFlow::start(
        m_io.get_executor(), m_core, std::move(setup), [write = m_write, key](std::string_view payload) {
            const auto packet =
                buildUdpPacket(key.destination, key.destinationPort, key.source, key.sourcePort, payload);
            write(packet.data(), packet.size());
        });
    return entry;
}

} // namespace ferrow::tun
