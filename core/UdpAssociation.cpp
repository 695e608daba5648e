#include "UdpAssociation.h"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/write.hpp>

#include "CoreService.h"
#include "UdpFlow.h"
#include "tun/FakeDns.h"

namespace ferrow::core {

namespace {

using udp = asio::ip::udp;

/// The same as the tunnel's UDP flows.
constexpr auto kPeerIdle = std::chrono::seconds(60);
constexpr auto kExpiryInterval = std::chrono::seconds(5);
/// Destinations one association may talk to at once; datagrams to more are dropped.
constexpr std::size_t kMaxPeers = 512;

} // namespace

UdpAssociation::UdpAssociation(asio::any_io_executor executor, CoreService& core, const IpAddr& client,
                               std::uint16_t statedPort)
    : m_core(core)
    , m_client(client.folded())
    , m_clientPort(statedPort)
    , m_socket(executor)
    , m_expiry(executor)
{
}

boost::system::error_code UdpAssociation::bind(const IpAddr& local)
{
    m_bound = local.folded();
    const udp::endpoint endpoint(toAsio(m_bound), 0);
    boost::system::error_code error;
    m_socket.open(endpoint.protocol(), error);
    if (!error) {
        m_socket.bind(endpoint, error);
    }
    if (!error) {
        // Answers to a client that does not read are dropped, never waited for.
        m_socket.non_blocking(true, error);
    }
    if (!error) {
        m_boundPort = m_socket.local_endpoint(error).port();
    }
    return error;
}

void UdpAssociation::start()
{
    asio::co_spawn(m_socket.get_executor(), receive(shared_from_this()), asio::detached);
    asio::co_spawn(m_socket.get_executor(), expire(shared_from_this()), asio::detached);
}

void UdpAssociation::close()
{
    if (m_closed) {
        return;
    }
    m_closed = true;
    boost::system::error_code ignored;
    m_socket.close(ignored);
    m_expiry.cancel();
    for (auto& [key, flow] : m_peers) {
        flow->close();
    }
    m_peers.clear();
}

asio::awaitable<void> UdpAssociation::receive([[maybe_unused]] std::shared_ptr<UdpAssociation> self)
{
    std::string buffer(65536, '\0');
    while (!m_closed) {
        udp::endpoint from;
        auto [error, received] = co_await m_socket.async_receive_from(asio::buffer(buffer), from, useTuple);
        if (m_closed || error == asio::error::operation_aborted) {
            co_return;
        }
        if (!error) {
            handle(std::string_view(buffer.data(), received), from);
        }
    }
}

asio::awaitable<void> UdpAssociation::expire([[maybe_unused]] std::shared_ptr<UdpAssociation> self)
{
    while (!m_closed) {
        m_expiry.expires_after(kExpiryInterval);
        co_await m_expiry.async_wait(useTuple);
        const auto now = std::chrono::steady_clock::now();
        for (auto it = m_peers.begin(); it != m_peers.end();) {
            if (now - it->second->lastActive() > kPeerIdle) {
                it->second->close();
                it = m_peers.erase(it);
            } else {
                ++it;
            }
        }
    }
}

void UdpAssociation::handle(std::string_view datagram, const udp::endpoint& from)
{
    // Only the client that asked for the association may use it.
    if (fromAsio(from.address()).folded() != m_client) {
        return;
    }
    if (m_clientPort == 0) {
        m_clientPort = from.port();
    } else if (from.port() != m_clientPort) {
        return;
    }
    const auto header = socks5::parseUdpHeader(datagram);
    // Reassembly is optional for a relay; fragments are dropped whole.
    if (header.status != ParseStatus::Good || header.fragment != 0) {
        return;
    }
    const std::string key =
        (header.hostIsAddress ? header.host : toLower(header.host)) + '|' + std::to_string(header.port);
    auto found = m_peers.find(key);
    if (found != m_peers.end() && found->second->ended()) {
        found->second->close();
        m_peers.erase(found);
        found = m_peers.end();
    }
    if (found == m_peers.end()) {
        if (m_peers.size() >= kMaxPeers) {
            return;
        }
        auto flow = open(header);
        if (!flow) {
            return;
        }
        found = m_peers.emplace(key, std::move(flow)).first;
    }
    found->second->send(std::string(datagram.substr(header.payloadOffset)));
}

std::shared_ptr<UdpFlow> UdpAssociation::open(const socks5::UdpHeader& header)
{
    UdpFlowSetup setup;
    setup.host = header.hostIsAddress ? header.host : toLower(header.host);
    while (!header.hostIsAddress && setup.host.ends_with('.')) {
        setup.host.pop_back();
    }
    if (const auto address = IpAddr::parse(header.host); address && tun::FakeIpPool::isFake(*address)) {
        // A name the tunnel answered with a fake address: the name is the destination.
        if (const auto name = m_core.fakeName(*address)) {
            setup.host = *name;
        }
    }
    if (setup.host.empty()) {
        return nullptr;
    }
    setup.port = header.port;
    setup.source = m_client;
    setup.sourcePort = m_clientPort;
    setup.local = m_bound;
    setup.localPort = m_boundPort;
    setup.fromOtherMachine = !m_client.isLoopback();
    // Answers carry the destination as the client wrote it, so it can match them to its request.
    auto answerHeader = socks5::udpHeader(header.host, header.hostIsAddress, header.port);
    auto deliver = [weak = weak_from_this(),
                    answerHeader = std::move(answerHeader)](std::string_view payload) {
        if (const auto self = weak.lock()) {
            self->answer(answerHeader, payload);
        }
    };
    return UdpFlow::start(m_socket.get_executor(), m_core, std::move(setup), std::move(deliver));
}

void UdpAssociation::answer(const std::string& header, std::string_view payload)
{
    if (m_closed || m_clientPort == 0) {
        return;
    }
    std::string datagram;
    datagram.reserve(header.size() + payload.size());
    datagram.append(header).append(payload);
    boost::system::error_code ignored;
    m_socket.send_to(asio::buffer(datagram), udp::endpoint(toAsio(m_client), m_clientPort), 0, ignored);
}

asio::awaitable<void> serveUdpAssociate(CoreService& core, tcp::socket& control,
                                        const socks5::Request& request)
{
    boost::system::error_code error;
    const auto peer = control.remote_endpoint(error);
    const auto local = error ? tcp::endpoint() : control.local_endpoint(error);
    if (error) {
        co_return;
    }
    auto association = std::make_shared<UdpAssociation>(control.get_executor(), core,
                                                        fromAsio(peer.address()), request.port);
    if (const auto bindError = association->bind(fromAsio(local.address())); bindError) {
        core.log().warning("SOCKS5 UDP ASSOCIATE: cannot open a relay: " + bindError.message());
        const auto refusal = socks5::reply(socks5::GeneralFailure);
        co_await asio::async_write(control, asio::buffer(refusal), useTuple);
        co_return;
    }
    const auto answer =
        socks5::reply(socks5::Succeeded, association->boundAddress(), association->boundPort());
    if (auto [writeError, n] = co_await asio::async_write(control, asio::buffer(answer), useTuple);
        writeError) {
        association->close();
        co_return;
    }
    association->start();
    // The control connection carries nothing more; its end, or any failure, ends the association.
    std::string sink(512, '\0');
    while (true) {
        auto [readError, n] = co_await control.async_read_some(asio::buffer(sink), useTuple);
        if (readError) {
            break;
        }
    }
    association->close();
}

} // namespace ferrow::core
