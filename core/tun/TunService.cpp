#include "TunService.h"

#include "CoreService.h"
#include "DnsMessage.h"
#include "PolicyRouting.h"
#include "Sniffer.h"
#include "SocketMark.h"
#include "TunnelTags.h"
#include "TunnelledFlow.h"

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <cerrno>
#include <cstring>
#include <deque>
#include <net/if.h>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace ferrow::tun {

using core::IpAddr;
using udp = asio::ip::udp;

namespace {

constexpr std::uint32_t kFakeTtl = 10;
constexpr auto kUpstreamDnsTimeout = std::chrono::seconds(5);
constexpr auto kUdpIdle = std::chrono::seconds(60);
constexpr auto kTcpIdle = std::chrono::hours(2);
constexpr auto kTcpClosed = std::chrono::seconds(60);
constexpr auto kTcpOpening = std::chrono::seconds(30);
constexpr std::size_t kUdpQueued = 64;
constexpr std::size_t kMaxUdpFlows = 4096;
constexpr int kMaxPendingQueries = 512;
constexpr auto kDnsStreamIdle = std::chrono::seconds(30);
constexpr auto kSniffWait = std::chrono::milliseconds(300);
constexpr std::size_t kSniffLimit = std::size_t{16} * 1024;
const std::set<std::uint16_t> kSniffedPorts = {80, 443, 8080, 8443};

const IpAddr& tunAddress(bool v6)
{
    static const IpAddr v4 = *IpAddr::parse(kTunAddress4);
    static const IpAddr six = *IpAddr::parse(kTunAddress6);
    return v6 ? six : v4;
}

const IpAddr& tunPeer(bool v6)
{
    static const IpAddr v4 = *IpAddr::parse(kTunPeer4);
    static const IpAddr six = *IpAddr::parse(kTunPeer6);
    return v6 ? six : v4;
}

/// Whether SO_MARK can be set here: without it the core's own connections would loop back into
/// the tunnel, so the tunnel does not start.
bool markingWorks()
{
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const bool works = probe >= 0 && markOutbound(probe);
    if (probe >= 0) {
        ::close(probe);
    }
    return works;
}

} // namespace

bool isTunnelAddress(const IpAddr& address)
{
    static const core::Cidr ranges[] = {*core::Cidr::parse("172.19.0.0/16"),
                                        *core::Cidr::parse("fdfe:dcba:9876::/48")};
    return ranges[0].contains(address) || ranges[1].contains(address);
}

struct TunService::UdpFlow {
    explicit UdpFlow(const asio::any_io_executor& executor) : socket(executor) {}
    FlowEndpoints key;
    udp::socket socket;
    std::shared_ptr<core::ConnectionRecord> record;
    std::deque<std::string> pending; // payloads sent before the flow was open
    std::chrono::steady_clock::time_point lastActive;
    bool ready = false;
    bool refused = false;
    bool closed = false;
};

TunService::TunService(asio::io_context& io, core::CoreService& core) : m_io(io), m_core(core), m_expiry(io)
{
}

TunService::~TunService()
{
    stop();
}

bool TunService::start(const std::string& name, bool gateway, const std::string& resolveBus,
                       std::string* error)
{
    m_gateway = gateway;
    setOutboundMark(kSocketMark);
    if (!markingWorks()) {
        *error = std::string("cannot mark the core's own sockets (") + std::strerror(errno) +
                 "): the tunnel needs CAP_NET_ADMIN";
        setOutboundMark(0);
        return false;
    }
    // Our link lives only as long as the core holding it; one that exists belongs to a core
    // still running, whose routing must not be taken from under it.
    if (::if_nametoindex(name.c_str()) != 0) {
        *error = name + " already exists: another tunnel is running";
        setOutboundMark(0);
        return false;
    }
    // What a core that crashed left behind goes first, so the new rules are the only ones.
    std::string cleanupError;
    if (!PolicyRouting::removeTagged(name, &cleanupError)) {
        m_core.log().warning("could not remove what an earlier tunnel left: " + cleanupError);
    }
    const auto fail = [&](const std::string& reason) {
        *error = reason;
        std::string ignored;
        PolicyRouting::removeTagged(name, &ignored);
        m_device.close();
        setOutboundMark(0);
        return false;
    };
    if (!m_device.open(name, error)) {
        return fail(*error);
    }
    if (!PolicyRouting::install(m_device.index(), error)) {
        return fail(*error);
    }
    boost::system::error_code listenError;
    openListeners(listenError);
    if (listenError) {
        return fail("cannot listen on the tunnel address: " + listenError.message());
    }
    m_stopEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_stopEvent < 0) {
        return fail(std::string("cannot make an event descriptor: ") + std::strerror(errno));
    }
    m_running = true;
    m_packetThread = std::thread([this] { packetLoop(); });
    for (const auto& acceptor : m_acceptors) {
        asio::co_spawn(m_io, acceptLoop(acceptor), asio::detached);
    }
    asio::co_spawn(m_io, expireLoop(), asio::detached);
    m_installed = PolicyRouting::countTagged();
    m_watcher = std::make_unique<RouteWatcher>(m_io, [this] { checkRouting(); });
    if (!m_watcher->start()) {
        m_core.log().warning("tunnel: routing changes will not be watched");
    }
    m_resolved = std::make_unique<ResolvedLink>(resolveBus);
    std::string resolvedError;
    if (m_resolved->registerLink(m_device.index(), tunPeer(false), &resolvedError)) {
        m_core.log().info("systemd-resolved sends DNS questions through " + m_device.name());
    } else {
        // Systems without resolved read /etc/resolv.conf, whose servers are reached through us.
        m_core.log().info("systemd-resolved not used (" + resolvedError + ")");
    }
    m_core.log().info("tunnel " + m_device.name() + " up (" + kTunAddress4 + ", " + kTunAddress6 +
                      "), routing through policy rules" + (gateway ? "; forwarding for other devices" : ""));
    return true;
}

void TunService::openListeners(boost::system::error_code& error)
{
    for (const bool v6 : {false, true}) {
        auto acceptor = std::make_shared<tcp::acceptor>(m_io);
        const tcp::endpoint endpoint(core::toAsio(tunAddress(v6)), 0);
        boost::system::error_code ec;
        acceptor->open(endpoint.protocol(), ec);
        if (!ec) {
            acceptor->bind(endpoint, ec);
        }
        if (!ec) {
            acceptor->listen(4096, ec);
        }
        if (ec) {
            if (!v6) {
                error = ec;
                return;
            }
            continue; // without IPv6 the tunnel carries IPv4 alone
        }
        (v6 ? m_listenPort6 : m_listenPort4) = acceptor->local_endpoint().port();
        m_acceptors.push_back(acceptor);
    }
}

void TunService::stop()
{
    if (m_stopEvent >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_stopEvent, &one, sizeof one);
    }
    if (m_packetThread.joinable()) {
        m_packetThread.join();
    }
    if (m_stopEvent >= 0) {
        ::close(m_stopEvent);
        m_stopEvent = -1;
    }
    for (const auto& acceptor : m_acceptors) {
        boost::system::error_code ignored;
        acceptor->close(ignored);
    }
    m_acceptors.clear();
    m_expiry.cancel();
    for (auto& [key, flow] : m_udpFlows) {
        closeUdpFlow(flow);
    }
    m_udpFlows.clear();
    if (!m_running) {
        return;
    }
    m_running = false;
    if (m_watcher) {
        m_watcher->stop();
    }
    if (m_resolved) {
        m_resolved->revert();
    }
    const std::string name = m_device.name();
    std::string error;
    // Rules first and while the link still exists, so nothing is routed into a missing link.
    if (!PolicyRouting::removeTagged({}, &error)) {
        m_core.log().warning("tunnel clean-up incomplete: " + error);
    }
    m_device.close();
    if (!PolicyRouting::removeTagged(name, &error)) {
        m_core.log().warning("tunnel clean-up incomplete: " + error);
    }
    setOutboundMark(0);
    m_core.log().info("tunnel " + name + " removed");
}

void TunService::checkRouting()
{
    if (!m_running || PolicyRouting::countTagged() == m_installed) {
        return;
    }
    m_core.log().warning("tunnel: routing rules or routes were removed by someone else; putting them back");
    std::string error;
    PolicyRouting::removeTagged({}, &error);
    if (!PolicyRouting::install(m_device.index(), &error)) {
        m_core.log().error("tunnel: cannot restore the routing: " + error);
    }
}

void TunService::writePacket(const void* data, std::size_t size)
{
    // Packets built here carry complete checksums: an all-zero header says so.
    static const std::uint8_t header[TunDevice::kHeaderSize] = {};
    iovec parts[2] = {{const_cast<std::uint8_t*>(header), sizeof header}, {const_cast<void*>(data), size}};
    // A TUN write hands the packet to the stack at once; a failure is a lost packet, as on a wire.
    [[maybe_unused]] const auto written = ::writev(m_device.fd(), parts, 2);
}

void TunService::packetLoop()
{
    constexpr std::size_t kHeader = TunDevice::kHeaderSize;
    std::vector<std::uint8_t> buffer(kHeader + 65536);
    pollfd waits[2] = {{m_device.fd(), POLLIN, 0}, {m_stopEvent, POLLIN, 0}};
    while (true) {
        if (::poll(waits, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (waits[1].revents != 0) {
            return;
        }
        // Drain what is queued before waiting again.
        for (int burst = 0; burst < 256; ++burst) {
            const ssize_t got = ::read(m_device.fd(), buffer.data(), buffer.size());
            if (got <= static_cast<ssize_t>(kHeader)) {
                if (got < 0) {
                    break;
                }
                continue;
            }
            std::uint8_t* packetData = buffer.data() + kHeader;
            const auto view = parsePacket(packetData, static_cast<std::size_t>(got) - kHeader);
            if (!view) {
                continue;
            }
            if (view->protocol == kProtocolTcp) {
                // The header stays as the kernel wrote it: offsets and segment sizes do not change.
                const bool partial = (buffer[0] & TunDevice::kHeaderNeedsChecksum) != 0;
                if (translateTcp(packetData, *view, partial)) {
                    [[maybe_unused]] const auto written =
                        ::write(m_device.fd(), buffer.data(), kHeader + view->length);
                }
            } else {
                std::string packet(reinterpret_cast<const char*>(packetData), view->length);
                asio::post(m_io,
                           [this, packet = std::move(packet)]() mutable { handlePacket(std::move(packet)); });
            }
        }
    }
}

bool TunService::translateTcp(std::uint8_t* data, const PacketView& view, bool partialChecksum)
{
    const auto now = FlowTable::Clock::now();
    const bool closing = (view.tcpFlags & (kTcpFin | kTcpRst)) != 0;
    const std::uint16_t listenPort = view.v6 ? m_listenPort6 : m_listenPort4;
    if (listenPort == 0) {
        return false;
    }
    if (view.source == tunAddress(view.v6) && view.sourcePort == listenPort &&
        view.destination == tunPeer(view.v6)) {
        // The listener answering: back to the client, as if from the destination it asked for.
        const auto flow = m_flows.inbound(view.v6, view.destinationPort, closing, now);
        if (!flow) {
            return false;
        }
        rewritePacket(data, view, flow->destination, flow->destinationPort, flow->source, flow->sourcePort,
                      partialChecksum);
        return true;
    }
    const FlowEndpoints flow{view.source, view.sourcePort, view.destination, view.destinationPort};
    const bool opening = (view.tcpFlags & kTcpSyn) != 0 && (view.tcpFlags & kTcpAck) == 0;
    const auto port = m_flows.outbound(flow, opening, closing, now);
    if (!port) {
        return false;
    }
    rewritePacket(data, view, tunPeer(view.v6), *port, tunAddress(view.v6), listenPort, partialChecksum);
    return true;
}

void TunService::handlePacket(std::string packet)
{
    if (!m_running) {
        return;
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(packet.data());
    const auto view = parsePacket(data, packet.size());
    if (!view) {
        return;
    }
    if (view->protocol == kProtocolIcmp || view->protocol == kProtocolIcmp6) {
        if (const auto reply = echoReply(data, *view); !reply.empty()) {
            writePacket(reply.data(), reply.size());
        }
        return;
    }
    if (view->protocol != kProtocolUdp) {
        return;
    }
    if (view->destinationPort == 53) {
        // A flood of questions for real answers would otherwise hold a socket each for seconds.
        if (m_pendingQueries >= kMaxPendingQueries) {
            return;
        }
        ++m_pendingQueries;
        asio::co_spawn(m_io, answerDatagram(std::move(packet), *view),
                       [this](const std::exception_ptr&) { --m_pendingQueries; });
        return;
    }
    relayUdp(packet, *view);
}

asio::awaitable<void> TunService::acceptLoop(std::shared_ptr<tcp::acceptor> acceptor)
{
    while (acceptor->is_open()) {
        auto [error, socket] = co_await acceptor->async_accept(useTuple);
        if (error == asio::error::operation_aborted || !acceptor->is_open()) {
            co_return;
        }
        if (error) {
            // Out of descriptors and the like: the flow is lost, the listener carries on.
            asio::steady_timer pause(m_io, std::chrono::milliseconds(50));
            co_await pause.async_wait(useTuple);
            continue;
        }
        asio::co_spawn(m_io, serveAccepted(std::move(socket)), asio::detached);
    }
}

asio::awaitable<void> TunService::serveAccepted(tcp::socket socket)
{
    boost::system::error_code ec;
    const auto peer = socket.remote_endpoint(ec);
    if (ec) {
        co_return;
    }
    const bool v6 = peer.address().is_v6();
    // Only translated flows come from the tunnel's peer address; anything else that finds the
    // listener (a local program connecting to it directly) is no flow of ours.
    const auto flow =
        core::fromAsio(peer.address()) == tunPeer(v6) ? m_flows.original(v6, peer.port()) : std::nullopt;
    if (!flow) {
        co_return;
    }
    if (isTunnelAddress(flow->destination)) {
        // Dialled from here it would enter the tunnel again and come back, without end.
        core::abortSocket(socket);
        co_return;
    }
    if (flow->destinationPort == 53) {
        co_await serveDnsStream(std::move(socket));
        co_return;
    }
    core::TunnelledFlow tunnelled;
    tunnelled.port = flow->destinationPort;
    tunnelled.source = flow->source;
    tunnelled.sourcePort = flow->sourcePort;
    tunnelled.destination = flow->destination;
    tunnelled.fromThisMachine = isTunnelAddress(flow->source);
    if (FakeIpPool::isFake(flow->destination)) {
        const auto name = m_fakeIps.nameFor(flow->destination);
        if (!name) {
            // A fake address from before a restart or long forgotten: there is no way to know
            // where it led, and dialling the fake address itself would loop.
            m_core.log().warning("tunnel: " + flow->destination.toString() +
                                 " is a fake address with no name");
            core::abortSocket(socket);
            co_return;
        }
        tunnelled.host = *name;
    } else {
        tunnelled.host = flow->destination.toString();
        if (kSniffedPorts.contains(flow->destinationPort)) {
            co_await sniff(socket, tunnelled);
        }
    }
    socket.set_option(tcp::no_delay(true), ec);
    co_await core::runTunnelledSession(m_core, std::move(socket), std::move(tunnelled));
}

asio::awaitable<void> TunService::sniff(tcp::socket& socket, core::TunnelledFlow& flow)
{
    // The client speaks first on these ports; a short wait bounds the cost for one that does not.
    asio::steady_timer deadline(m_io, kSniffWait);
    bool expired = false;
    deadline.async_wait([&socket, &expired](const boost::system::error_code& error) {
        if (!error) {
            expired = true;
            boost::system::error_code ignored;
            socket.cancel(ignored);
        }
    });
    std::string buffer;
    while (true) {
        const auto result = sniffHost(buffer);
        if (result.status == Sniffed::Status::Found) {
            flow.host = result.host;
            flow.sniffed = true;
            break;
        }
        if (result.status == Sniffed::Status::None || expired || buffer.size() >= kSniffLimit) {
            break;
        }
        const auto size = buffer.size();
        buffer.resize(kSniffLimit);
        auto [error, got] =
            co_await socket.async_read_some(asio::buffer(buffer.data() + size, kSniffLimit - size), useTuple);
        buffer.resize(size + got);
        if (error) {
            break;
        }
    }
    deadline.cancel();
    flow.initial = std::move(buffer);
}

asio::awaitable<void> TunService::answerDatagram(std::string packet, PacketView view)
{
    const auto answer =
        co_await answerQuery(packet.substr(view.payloadOffset, view.length - view.payloadOffset));
    if (answer.empty() || !m_running) {
        co_return;
    }
    const auto reply =
        buildUdpPacket(view.destination, view.destinationPort, view.source, view.sourcePort, answer);
    writePacket(reply.data(), reply.size());
}

asio::awaitable<void> TunService::serveDnsStream(tcp::socket socket)
{
    // A client that sends nothing more is let go after a while instead of holding the flow.
    asio::steady_timer idle(m_io);
    const auto arm = [&idle, &socket] {
        idle.expires_after(kDnsStreamIdle);
        idle.async_wait([&socket](const boost::system::error_code& error) {
            if (!error) {
                boost::system::error_code ignored;
                socket.close(ignored);
            }
        });
    };
    // Each message is preceded by its length; the client may send several on one connection.
    while (true) {
        arm();
        unsigned char prefix[2];
        auto [error, got] = co_await asio::async_read(socket, asio::buffer(prefix), useTuple);
        if (error) {
            co_return;
        }
        std::string query((prefix[0] << 8) | prefix[1], '\0');
        std::tie(error, got) = co_await asio::async_read(socket, asio::buffer(query), useTuple);
        if (error) {
            co_return;
        }
        const auto answer = co_await answerQuery(query);
        if (answer.empty() || answer.size() > 65535) {
            co_return;
        }
        std::string framed;
        framed += static_cast<char>(answer.size() >> 8);
        framed += static_cast<char>(answer.size() & 0xff);
        framed += answer;
        std::tie(error, got) = co_await asio::async_write(socket, asio::buffer(framed), useTuple);
        if (error) {
            co_return;
        }
    }
}

asio::awaitable<std::string> TunService::answerQuery(std::string query)
{
    const auto question = parseQuestion(query);
    if (!question) {
        co_return std::string();
    }
    const bool address = question->type == core::dns::kTypeA || question->type == core::dns::kTypeAAAA;
    const auto& general = m_core.general();
    // Names without a dot (a local host) and filtered names get real answers.
    const bool fake = address && question->klass == 1 && question->name.find('.') != std::string::npos &&
                      !matchesFilter(general.fakeIpFilter, question->name);
    if (fake) {
        if (question->type == core::dns::kTypeAAAA) {
            // No fake IPv6 range: an empty answer sends dual-stack clients to the fake IPv4.
            co_return buildAnswer(query, *question, {}, kFakeTtl);
        }
        co_return buildAnswer(query, *question, {m_fakeIps.addressFor(question->name)}, kFakeTtl);
    }
    auto answer = co_await forwardQuery(query);
    if (answer.empty()) {
        co_return buildAnswer(query, *question, {}, 0, 2); // SERVFAIL
    }
    co_return answer;
}

asio::awaitable<std::string> TunService::forwardQuery(const std::string& query)
{
    for (const auto& server : m_core.upstreamDnsServers()) {
        const auto hostPort = core::HostPort::parse(server);
        const auto address = IpAddr::parse(hostPort ? hostPort->host : server);
        if (!address) {
            continue;
        }
        const udp::endpoint endpoint(core::toAsio(*address),
                                     hostPort && hostPort->port ? hostPort->port : 53);
        udp::socket socket(m_io);
        boost::system::error_code ec;
        socket.open(endpoint.protocol(), ec);
        if (ec || !markOutbound(socket.native_handle())) {
            continue;
        }
        socket.connect(endpoint, ec);
        if (ec) {
            continue;
        }
        asio::steady_timer timer(m_io, kUpstreamDnsTimeout);
        timer.async_wait([&socket](const boost::system::error_code& error) {
            if (!error) {
                boost::system::error_code ignored;
                socket.close(ignored);
            }
        });
        auto [sendError, sent] = co_await socket.async_send(asio::buffer(query), useTuple);
        if (sendError) {
            continue;
        }
        std::string answer(65535, '\0');
        while (true) {
            auto [receiveError, received] = co_await socket.async_receive(asio::buffer(answer), useTuple);
            if (receiveError) {
                break;
            }
            // Only the answer to this query: same id, response bit set.
            if (received >= 12 && answer[0] == query[0] && answer[1] == query[1] && (answer[2] & 0x80)) {
                timer.cancel();
                answer.resize(received);
                co_return answer;
            }
        }
    }
    co_return std::string();
}

void TunService::relayUdp(const std::string& packet, const PacketView& view)
{
    const FlowEndpoints key{view.source, view.sourcePort, view.destination, view.destinationPort};
    if (isTunnelAddress(view.destination)) {
        return; // relayed from here it would come straight back
    }
    auto payload = packet.substr(view.payloadOffset, view.length - view.payloadOffset);
    auto found = m_udpFlows.find(key);
    if (found == m_udpFlows.end()) {
        if (m_udpFlows.size() >= kMaxUdpFlows) {
            return;
        }
        auto flow = std::make_shared<UdpFlow>(m_io.get_executor());
        flow->key = key;
        flow->lastActive = std::chrono::steady_clock::now();
        found = m_udpFlows.emplace(key, flow).first;
        asio::co_spawn(m_io, openUdpFlow(flow), asio::detached);
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

asio::awaitable<void> TunService::openUdpFlow(std::shared_ptr<UdpFlow> flow)
{
    const auto& key = flow->key;
    std::string host = key.destination.toString();
    if (FakeIpPool::isFake(key.destination)) {
        const auto name = m_fakeIps.nameFor(key.destination);
        if (!name) {
            flow->refused = true;
            co_return;
        }
        host = *name;
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
    const bool fromDevice = !isTunnelAddress(key.source);
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
    if (!ec && !markOutbound(flow->socket.native_handle())) {
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
    co_await readUdpReplies(flow);
}

asio::awaitable<void> TunService::readUdpReplies(std::shared_ptr<UdpFlow> flow)
{
    std::string buffer(65535, '\0');
    while (!flow->closed) {
        auto [error, received] = co_await flow->socket.async_receive(asio::buffer(buffer), useTuple);
        if (error == asio::error::operation_aborted || flow->closed || !m_running) {
            co_return;
        }
        if (error) {
            continue; // an ICMP error for one datagram; the flow lives until idle
        }
        flow->lastActive = std::chrono::steady_clock::now();
        const auto& key = flow->key;
        const auto packet = buildUdpPacket(key.destination, key.destinationPort, key.source, key.sourcePort,
                                           std::string_view(buffer.data(), received));
        writePacket(packet.data(), packet.size());
        m_core.meterFor(*flow->record).down(received);
    }
}

void TunService::closeUdpFlow(const std::shared_ptr<UdpFlow>& flow)
{
    flow->closed = true;
    boost::system::error_code ignored;
    flow->socket.close(ignored);
    if (flow->record) {
        m_core.connections().close(flow->record);
    }
}

asio::awaitable<void> TunService::expireLoop()
{
    while (m_running) {
        m_expiry.expires_after(std::chrono::seconds(5));
        auto [error] = co_await m_expiry.async_wait(useTuple);
        if (error || !m_running) {
            co_return;
        }
        const auto now = std::chrono::steady_clock::now();
        m_flows.expire(now, kTcpIdle, kTcpClosed, kTcpOpening);
        for (auto it = m_udpFlows.begin(); it != m_udpFlows.end();) {
            if (now - it->second->lastActive > kUdpIdle) {
                closeUdpFlow(it->second);
                it = m_udpFlows.erase(it);
            } else {
                ++it;
            }
        }
    }
}

} // namespace ferrow::tun
