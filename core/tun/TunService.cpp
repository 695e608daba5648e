#include "TunService.h"

#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/post.hpp>

#include "AcceptNext.h"
#include "CoreService.h"
#include "PolicyRouting.h"
#include "Sniffer.h"
#include "SocketMark.h"
#include "TunnelTags.h"
#include "TunnelledFlow.h"
#include "ferrow/AsioTimeout.h"

namespace ferrow::tun {

using core::IpAddr;
using udp = asio::ip::udp;

namespace {

constexpr auto kTcpIdle = std::chrono::hours(2);
constexpr auto kTcpClosed = std::chrono::seconds(60);
constexpr auto kTcpOpening = std::chrono::seconds(30);
// Listeners per family, each with the peer's ports 10000-65000: the flows that can wait out the
// listener side's TIME_WAIT at once, 220,004 per family, carry more than 3,600 new connections a
// second for as long as they come.
constexpr int kListenLanes = 4;
constexpr std::uint16_t kFirstFlowPort = 10000;
constexpr std::uint16_t kLastFlowPort = 65000;
constexpr int kMaxPendingQueries = 512;
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
    const bool works = probe >= 0 && core::markOutbound(probe);
    if (probe >= 0) {
        ::close(probe);
    }
    return works;
}

} // namespace

bool isThisMachine(const IpAddr& address)
{
    const IpAddr plain = address.folded();
    return plain == tunAddress(false) || plain == tunAddress(true);
}

bool isTunnelAddress(const IpAddr& address)
{
    static const core::Cidr ranges[] = {*core::Cidr::parse("172.19.0.0/16"),
                                        *core::Cidr::parse("fdfe:dcba:9876::/48")};
    return ranges[0].contains(address) || ranges[1].contains(address);
}

TunService::TunService(asio::io_context& io, core::CoreService& core)
    : m_io(io)
    , m_core(core)
    , m_flows(kListenLanes, kFirstFlowPort, kLastFlowPort,
              [this](bool refusing, const std::string& text) {
                  // The packet thread reports; the log belongs to the I/O thread.
                  asio::post(m_io, [this, refusing, text] {
                      refusing ? m_core.log().warning(text) : m_core.log().info(text);
                  });
              })
    , m_dns(io, core, m_fakeIps)
    , m_lanResolver(io, m_dns, core.log())
    , m_udp(io, core, m_fakeIps, [this](const void* data, std::size_t size) { writePacket(data, size); })
    , m_expiry(io)
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
    core::setOutboundMark(kSocketMark);
    if (!markingWorks()) {
        *error = std::string("cannot mark the core's own sockets (") + std::strerror(errno) +
                 "): the tunnel needs CAP_NET_ADMIN";
        core::setOutboundMark(0);
        return false;
    }
    // Our link lives only as long as the core holding it; one that exists belongs to a core
    // still running, whose routing must not be taken from under it.
    if (::if_nametoindex(name.c_str()) != 0) {
        *error = name + " already exists: another tunnel is running";
        core::setOutboundMark(0);
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
        core::setOutboundMark(0);
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
    for (const auto& [acceptor, lane] : m_acceptors) {
        asio::co_spawn(m_io, acceptLoop(acceptor, lane), asio::detached);
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
        std::vector<std::shared_ptr<tcp::acceptor>> made;
        boost::system::error_code ec;
        for (int lane = 0; lane < kListenLanes && !ec; ++lane) {
            auto acceptor = std::make_shared<tcp::acceptor>(m_io);
            const tcp::endpoint endpoint(core::toAsio(tunAddress(v6)), 0);
            acceptor->open(endpoint.protocol(), ec);
            if (!ec) {
                acceptor->bind(endpoint, ec);
            }
            if (!ec) {
                acceptor->listen(4096, ec);
            }
            made.push_back(acceptor);
        }
        if (ec) {
            for (const auto& acceptor : made) {
                boost::system::error_code ignored;
                acceptor->close(ignored);
            }
            if (!v6) {
                error = ec;
                return;
            }
            continue; // without IPv6 the tunnel carries IPv4 alone
        }
        for (std::size_t lane = 0; lane < made.size(); ++lane) {
            (v6 ? m_listenPorts6 : m_listenPorts4).push_back(made[lane]->local_endpoint().port());
            m_acceptors.emplace_back(made[lane], static_cast<std::uint8_t>(lane));
        }
    }
}

std::optional<std::uint8_t> TunService::laneOf(bool v6, std::uint16_t port) const
{
    const auto& ports = v6 ? m_listenPorts6 : m_listenPorts4;
    for (std::size_t lane = 0; lane < ports.size(); ++lane) {
        if (ports[lane] == port) {
            return static_cast<std::uint8_t>(lane);
        }
    }
    return std::nullopt;
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
    for (const auto& [acceptor, lane] : m_acceptors) {
        boost::system::error_code ignored;
        acceptor->close(ignored);
    }
    m_acceptors.clear();
    m_lanResolver.stop();
    m_listenPorts4.clear();
    m_listenPorts6.clear();
    m_expiry.cancel();
    m_udp.closeAll();
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
    core::setOutboundMark(0);
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
            // The tunnel's range belongs to this machine: a forwarded packet claiming a source in
            // it that is not ours is spoofed.
            if (!view || (isTunnelAddress(view->source) && !isThisMachine(view->source))) {
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
    const auto& listenPorts = view.v6 ? m_listenPorts6 : m_listenPorts4;
    if (listenPorts.empty()) {
        return false;
    }
    const TcpSegment segment{view.tcpFlags, view.tcpSequence, view.tcpAcknowledged,
                             static_cast<std::uint32_t>(view.length - view.payloadOffset)};
    if (view.source == tunAddress(view.v6) && view.destination == tunPeer(view.v6)) {
        if (const auto lane = laneOf(view.v6, view.sourcePort)) {
            // A listener answering: back to the client, as if from the destination it asked for.
            const auto flow = m_flows.inbound(view.v6, {*lane, view.destinationPort}, segment, now);
            if (!flow) {
                return false;
            }
            rewritePacket(data, view, flow->destination, flow->destinationPort, flow->source,
                          flow->sourcePort, partialChecksum);
            return true;
        }
    }
    const FlowEndpoints flow{view.source, view.sourcePort, view.destination, view.destinationPort};
    const auto slot = m_flows.outbound(flow, segment, now);
    if (!slot) {
        const bool opening = (view.tcpFlags & kTcpSyn) != 0 && (view.tcpFlags & kTcpAck) == 0;
        if (!opening) {
            // A segment of a connection this core never saw, one from before a restart: reset it.
            if (const auto reset = resetFor(data, view); !reset.empty()) {
                writePacket(reset.data(), reset.size());
            }
        }
        return false;
    }
    rewritePacket(data, view, tunPeer(view.v6), slot->port, tunAddress(view.v6), listenPorts[slot->lane],
                  partialChecksum);
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
    m_udp.relay(packet, *view);
}

asio::awaitable<void> TunService::acceptLoop(std::shared_ptr<tcp::acceptor> acceptor, std::uint8_t lane)
{
    while (auto socket = co_await core::acceptNext(*acceptor, std::chrono::milliseconds(50))) {
        asio::co_spawn(m_io, serveAccepted(std::move(*socket), lane), asio::detached);
    }
}

asio::awaitable<void> TunService::serveAccepted(tcp::socket socket, std::uint8_t lane)
{
    boost::system::error_code ec;
    const auto peer = socket.remote_endpoint(ec);
    if (ec) {
        co_return;
    }
    const bool v6 = peer.address().is_v6();
    // Only translated flows come from the tunnel's peer address; anything else that finds the
    // listener (a local program connecting to it directly) is no flow of ours.
    const auto flow = core::fromAsio(peer.address()) == tunPeer(v6)
                          ? m_flows.original(v6, {lane, peer.port()})
                          : std::nullopt;
    if (!flow) {
        co_return;
    }
    if (isTunnelAddress(flow->destination)) {
        // Dialled from here it would enter the tunnel again and come back, without end.
        core::abortSocket(socket);
        co_return;
    }
    if (flow->destinationPort == 53) {
        co_await m_dns.serveStream(std::move(socket), flow->source);
        co_return;
    }
    core::TunnelledFlow tunnelled;
    tunnelled.port = flow->destinationPort;
    tunnelled.source = flow->source;
    tunnelled.sourcePort = flow->sourcePort;
    tunnelled.destination = flow->destination;
    tunnelled.fromThisMachine = isThisMachine(flow->source);
    std::optional<FakeIpPin> pinned;
    if (FakeIpPool::isFake(flow->destination)) {
        const auto name = m_fakeIps.use(flow->destination, std::chrono::steady_clock::now());
        if (!name) {
            // A fake address from before a restart or long forgotten: there is no way to know
            // where it led, and dialling the fake address itself would loop.
            m_core.log().warning("tunnel: " + flow->destination.toString() +
                                 " is a fake address with no name");
            core::abortSocket(socket);
            co_return;
        }
        tunnelled.host = *name;
        pinned.emplace(m_fakeIps, flow->destination);
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
    const auto deadline = std::chrono::steady_clock::now() + kSniffWait;
    std::string buffer;
    while (true) {
        const auto result = sniffHost(buffer);
        if (result.status == Sniffed::Status::Found) {
            flow.host = result.host;
            flow.sniffed = true;
            break;
        }
        if (result.status == Sniffed::Status::None || buffer.size() >= kSniffLimit) {
            break;
        }
        const auto size = buffer.size();
        buffer.resize(kSniffLimit);
        // The request usually came right behind the handshake: taking what is queued needs no
        // timer and no trip through the reactor.
        const ssize_t queued =
            ::recv(socket.native_handle(), buffer.data() + size, kSniffLimit - size, MSG_DONTWAIT);
        if (queued > 0) {
            buffer.resize(size + static_cast<std::size_t>(queued));
            continue;
        }
        if (queued == 0 || (errno != EAGAIN && errno != EINTR)) {
            buffer.resize(size); // the end or a failure: nothing more will come to sniff
            break;
        }
        auto read = withDeadline(
            socket.async_read_some(asio::buffer(buffer.data() + size, kSniffLimit - size), useTuple),
            deadline);
        const auto outcome = co_await std::move(read);
        const auto [error, got] =
            outcome.value_or(std::tuple<boost::system::error_code, std::size_t>{asio::error::timed_out, 0});
        buffer.resize(size + got);
        if (error) {
            break;
        }
    }
    flow.initial = std::move(buffer);
}

asio::awaitable<void> TunService::answerDatagram(std::string packet, PacketView view)
{
    const auto answer = co_await m_dns.answer(
        packet.substr(view.payloadOffset, view.length - view.payloadOffset), view.source);
    if (answer.empty() || !m_running) {
        co_return;
    }
    const auto reply =
        buildUdpPacket(view.destination, view.destinationPort, view.source, view.sourcePort, answer);
    writePacket(reply.data(), reply.size());
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
        m_udp.expire(now);
    }
}

} // namespace ferrow::tun
