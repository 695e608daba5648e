#include "UdpFlow.h"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>

#include "CoreService.h"
#include "SocketMark.h"
#include "ferrow/FerrowClient.h"
#include "tun/FakeDns.h"
#include "tun/TunService.h"

namespace ferrow::core {

namespace {

using udp = asio::ip::udp;

/// Datagrams kept while the flow is routed and its carrier opened.
constexpr std::size_t kQueuedWhileOpening = 64;
/// Bytes waiting for a datagram stream that cannot keep up; beyond it datagrams are dropped, as a
/// full socket buffer drops them.
constexpr std::size_t kMaxQueuedBytes = std::size_t{256} * 1024;

} // namespace

std::shared_ptr<UdpFlow> UdpFlow::start(asio::any_io_executor executor, CoreService& core, UdpFlowSetup setup,
                                        Deliver deliver)
{
    auto flow = std::make_shared<UdpFlow>(std::move(executor), core, std::move(setup), std::move(deliver));
    asio::co_spawn(flow->m_socket.get_executor(), flow->open(flow), asio::detached);
    return flow;
}

UdpFlow::UdpFlow(asio::any_io_executor executor, CoreService& core, UdpFlowSetup setup, Deliver deliver)
    : m_core(core)
    , m_setup(std::move(setup))
    , m_deliver(std::move(deliver))
    , m_record(core.connections().open())
    , m_socket(executor)
    , m_wake(executor)
    , m_lastActive(std::chrono::steady_clock::now())
{
    auto& record = *m_record;
    record.network = "udp";
    record.host = m_setup.host;
    record.port = m_setup.port;
    record.source = m_setup.source;
    record.sourcePort = m_setup.sourcePort;
    record.local = m_setup.local;
    record.localPort = m_setup.localPort;
}

UdpFlow::~UdpFlow() = default;

void UdpFlow::send(std::string payload)
{
    m_lastActive = std::chrono::steady_clock::now();
    switch (m_state) {
    case State::Opening:
        if (m_queue.size() < kQueuedWhileOpening) {
            m_queue.push_back(std::move(payload));
        }
        break;
    case State::Direct:
        sendDirect(payload);
        break;
    case State::Stream:
        if (m_queuedBytes + payload.size() <= kMaxQueuedBytes) {
            m_queuedBytes += payload.size();
            m_queue.push_back(std::move(payload));
            m_wake.cancel();
        }
        break;
    default:
        break;
    }
}

void UdpFlow::close()
{
    if (m_state == State::Closed) {
        return;
    }
    m_state = State::Closed;
    m_deliver = nullptr;
    m_queue.clear();
    m_wake.cancel();
    boost::system::error_code ignored;
    m_socket.close(ignored);
    // Its reader may still be waiting inside it: the stream itself goes with the flow.
    if (m_stream) {
        m_stream->close();
    }
    m_core.connections().close(m_record);
}

void UdpFlow::drop()
{
    if (m_state != State::Closed) {
        m_state = State::Dropped;
        m_queue.clear();
        m_queuedBytes = 0;
        m_wake.cancel();
    }
}

void UdpFlow::end()
{
    if (m_state != State::Closed) {
        m_state = State::Ended;
        m_queue.clear();
        m_queuedBytes = 0;
        m_wake.cancel();
    }
}

asio::awaitable<void> UdpFlow::open(std::shared_ptr<UdpFlow> self)
{
    auto& record = *m_record;
    const auto target = HostPort{m_setup.host, m_setup.port}.toString();
    RouteQuery query{m_setup.host,  m_setup.port,      m_setup.source, m_setup.sourcePort,
                     m_setup.local, m_setup.localPort, &record,        std::nullopt,
                     "udp"};
    const auto route = co_await m_core.route(query);
    record.policy = route.policy;
    record.chain = route.chain;
    record.rule = route.rule;
    if (m_state == State::Closed) {
        co_return;
    }
    if (route.policy == "REJECT") {
        m_core.log().info("REJECT UDP " + target + " (" + route.rule + ")");
        drop();
        co_return;
    }
    if (route.policy != "DIRECT") {
        std::string error;
        bool carriesUdp = true;
        auto stream = co_await m_core.openDatagrams(route.policy, error, carriesUdp);
        if (m_state == State::Closed) {
            co_return;
        }
        const auto peer = proto::Target::fromHost(m_setup.host, m_setup.port);
        if (stream && peer) {
            m_stream = std::move(stream);
            m_target = std::make_unique<proto::Target>(*peer);
            m_state = State::Stream;
            for (const auto& payload : m_queue) {
                m_queuedBytes += payload.size();
            }
            asio::co_spawn(m_socket.get_executor(), writeStream(self), asio::detached);
            co_await readStream();
            co_return;
        }
        if (carriesUdp || m_core.general().udpPolicy != "direct") {
            m_core.log().warning("UDP to " + target + " through \"" + route.policy +
                                 "\" dropped: " + (error.empty() ? "cannot carry the destination" : error));
            drop();
            co_return;
        }
        // udp-policy-not-supported-behaviour = direct: what the node cannot carry goes DIRECT.
        record.policy = "DIRECT";
    }
    std::vector<IpAddr> addresses = route.addresses;
    if (addresses.empty()) {
        const auto resolved = co_await m_core.resolver().resolve(m_setup.host);
        addresses = resolved.addresses;
    }
    auto openDirectly = openDirect(std::move(addresses));
    co_await std::move(openDirectly);
}

asio::awaitable<void> UdpFlow::openDirect(std::vector<IpAddr> addresses)
{
    const auto target = HostPort{m_setup.host, m_setup.port}.toString();
    // A fake address or the tunnel's own range would come straight back into the tunnel.
    std::erase_if(addresses, [](const IpAddr& address) {
        return tun::FakeIpPool::isFake(address) || tun::isTunnelAddress(address);
    });
    const auto client = m_setup.fromOtherMachine ? m_setup.source : *IpAddr::parse("127.0.0.1");
    const auto refusal = m_core.refusedDestination(addresses, m_setup.port, client);
    if (m_state == State::Closed) {
        co_return;
    }
    if (!refusal.empty() || addresses.empty()) {
        m_core.log().warning("DIRECT UDP " + target + ": " +
                             (refusal.empty() ? std::string("no address to send to") : refusal));
        drop();
        co_return;
    }
    const udp::endpoint endpoint(toAsio(addresses.front()), m_setup.port);
    boost::system::error_code error;
    m_socket.open(endpoint.protocol(), error);
    if (!error && !markOutbound(m_socket.native_handle())) {
        error = asio::error::access_denied;
    }
    if (!error) {
        m_socket.non_blocking(true, error);
    }
    if (!error) {
        m_socket.connect(endpoint, error);
    }
    if (error) {
        m_core.log().warning("DIRECT UDP " + target + ": " + error.message());
        drop();
        co_return;
    }
    m_state = State::Direct;
    for (const auto& payload : m_queue) {
        sendDirect(payload);
    }
    m_queue.clear();
    co_await readDirect();
}

void UdpFlow::sendDirect(const std::string& payload)
{
    boost::system::error_code error;
    // Non-blocking: a full socket buffer loses the datagram, as a full link would.
    const auto sent = m_socket.send(asio::buffer(payload), 0, error);
    if (!error) {
        m_core.meterFor(*m_record).up(sent);
    }
}

asio::awaitable<void> UdpFlow::readDirect()
{
    std::string buffer(65535, '\0');
    while (m_state == State::Direct) {
        auto [error, received] = co_await m_socket.async_receive(asio::buffer(buffer), useTuple);
        if (m_state != State::Direct || error == asio::error::operation_aborted) {
            co_return;
        }
        if (error) {
            continue; // an ICMP error for one datagram; the flow lives until idle
        }
        m_lastActive = std::chrono::steady_clock::now();
        m_core.meterFor(*m_record).down(received);
        if (m_deliver) {
            m_deliver(std::string_view(buffer.data(), received));
        }
    }
}

bool UdpFlow::fromDestination(const proto::Target& peer) const
{
    if (peer.port != m_setup.port) {
        return false;
    }
    // A name's answers come from whichever of its addresses the node's server chose.
    const auto destination = IpAddr::parse(m_setup.host);
    if (!destination) {
        return true;
    }
    const auto source = IpAddr::parse(peer.host());
    return source && source->folded() == destination->folded();
}

asio::awaitable<void> UdpFlow::readStream()
{
    while (m_state == State::Stream) {
        auto received = co_await m_stream->receive();
        if (m_state != State::Stream) {
            co_return;
        }
        if (!received) {
            end(); // the server ended the relay: the next datagram opens a new flow
            co_return;
        }
        if (!fromDestination(received->peer)) {
            continue;
        }
        m_lastActive = std::chrono::steady_clock::now();
        m_core.meterFor(*m_record).down(received->payload.size());
        if (m_deliver) {
            m_deliver(received->payload);
        }
    }
}

asio::awaitable<void> UdpFlow::writeStream([[maybe_unused]] std::shared_ptr<UdpFlow> self)
{
    while (m_state == State::Stream) {
        if (m_queue.empty()) {
            m_wake.expires_at(asio::steady_timer::time_point::max());
            co_await m_wake.async_wait(useTuple);
            continue;
        }
        const std::string payload = std::move(m_queue.front());
        m_queue.pop_front();
        m_queuedBytes -= payload.size();
        if (payload.size() > proto::kMaxDatagramPayload) {
            continue; // no frame holds it; a link with a smaller MTU would drop it too
        }
        const bool sent = co_await m_stream->send(*m_target, payload);
        if (m_state != State::Stream) {
            co_return;
        }
        if (!sent) {
            end();
            m_stream->close();
            co_return;
        }
        m_core.meterFor(*m_record).up(payload.size());
    }
}

} // namespace ferrow::core
