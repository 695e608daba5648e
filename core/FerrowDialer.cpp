#include "FerrowDialer.h"

#include <algorithm>
#include <functional>
#include <iterator>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>

#include "EventLog.h"
#include "FailureKind.h"
#include "LogStream.h"
#include "PolicyGroups.h"
#include "Resolver.h"
#include "SocketMark.h"
#include "ferrow/AsioTimeout.h"
#include "ferrow/FerrowClient.h"
#include "ferrow/FerrowHandshake.h"
#include "ferrow/FerrowPump.h"

namespace ferrow::core {

namespace {

constexpr auto kNodeConnectTimeout = std::chrono::seconds(10);
constexpr auto kNodeDelayTimeout = std::chrono::seconds(5);
/// Longest chain of underlying proxies; deeper chains are taken to be loops.
constexpr int kMaxUnderlyingDepth = 4;

std::string optionOf(const ProxyNode& node, const std::string& key)
{
    const auto found = node.options.find(key);
    return found == node.options.end() ? std::string() : found->second;
}

struct TestUrl {
    std::string host;
    std::uint16_t port = 80;
    std::string path = "/";
};

std::optional<TestUrl> parseHttpUrl(const std::string& url)
{
    constexpr std::string_view scheme = "http://";
    if (toLower(url.substr(0, scheme.size())) != scheme) {
        return std::nullopt;
    }
    const std::string rest = url.substr(scheme.size());
    const auto slash = rest.find('/');
    TestUrl out;
    if (slash != std::string::npos) {
        out.path = rest.substr(slash);
    }
    const auto hostPort = rest.substr(0, slash);
    if (const auto parsed = HostPort::parse(hostPort)) {
        out.host = parsed->host;
        out.port = parsed->port;
    } else {
        out.host = hostPort;
    }
    if (out.host.empty()) {
        return std::nullopt;
    }
    return out;
}

/// Relays a tunnel on the current thread.
asio::awaitable<void> relayFerrowHere(tcp::socket& client, std::shared_ptr<proto::FerrowWire> wire,
                                      std::string initial, TrafficMeter meter,
                                      std::chrono::seconds idleTimeout)
{
    proto::ByteCounter count = [meter](bool upward, std::size_t bytes) mutable {
        meter.count(upward, bytes);
    };
    auto relay = proto::relayWire(client, *wire, std::move(initial), std::move(count), idleTimeout);
    co_await std::move(relay);
}

/// Runs on a lane: adopts the client's and the wire's descriptors and relays there.
asio::awaitable<void> relayFerrowAdopted(proto::DetachedSocket clientFd, proto::DetachedSocket wireFd,
                                         std::shared_ptr<proto::FerrowWire> wire, std::string initial,
                                         TrafficMeter meter, std::chrono::seconds idleTimeout)
{
    auto executor = co_await asio::this_coro::executor;
    tcp::socket client = clientFd.adopt(executor);
    wire->socket = wireFd.adopt(executor);
    auto relay = relayFerrowHere(client, std::move(wire), std::move(initial), meter, idleTimeout);
    co_await std::move(relay);
}

} // namespace

FerrowDialer::FerrowDialer(asio::any_io_executor executor,
                           std::function<asio::any_io_executor()> relayExecutor,
                           std::chrono::seconds nodeDownAfter, Parts parts, DirectDial dialDirect)
    : m_parts(std::move(parts))
    , m_dialDirect(std::move(dialDirect))
    , m_relayExecutor(std::move(relayExecutor))
    , m_health(nodeDownAfter)
{
    m_clients.push_back({executor, std::make_unique<proto::FerrowClient>(executor, m_relayExecutor)});
}

FerrowDialer::~FerrowDialer() = default;

void FerrowDialer::addLanes(const std::vector<asio::any_io_executor>& lanes)
{
    const auto main = m_clients.front().executor;
    std::vector<asio::any_io_executor> own;
    std::copy_if(lanes.begin(), lanes.end(), std::back_inserter(own),
                 [&](const asio::any_io_executor& lane) { return lane != main; });
    if (own.empty()) {
        return;
    }
    // One budget for all: the server counts the handshakes of this machine, not of a thread.
    const auto budget = std::make_shared<proto::HandshakeBudget>();
    m_clients.clear();
    m_clients.push_back({main, std::make_unique<proto::FerrowClient>(main, m_relayExecutor, 2, budget)});
    for (const auto& lane : own) {
        // A lane's streams are pumped where they were opened.
        m_clients.push_back({lane, std::make_unique<proto::FerrowClient>(
                                       lane, [lane] { return lane; }, 2, budget)});
    }
}

proto::FerrowClient& FerrowDialer::clientHere(const asio::any_io_executor& executor)
{
    for (auto& client : m_clients) {
        if (client.executor == executor) {
            return *client.client;
        }
    }
    // Every loop of the core has a client; the main one serves anything else.
    return *m_clients.front().client;
}

void FerrowDialer::startPoolsOnEveryLane(const proto::NodeSettings& settings, const proto::WireDialer& dial,
                                         const asio::any_io_executor& here)
{
    if (m_clients.size() <= 2 || here == m_clients.front().executor) {
        return; // one lane, or the main thread's own flows
    }
    {
        const std::lock_guard lock(m_nodeDialsMutex);
        if (!m_poolsStarted.insert(settings).second) {
            return;
        }
    }
    for (std::size_t i = 1; i < m_clients.size(); ++i) {
        if (m_clients[i].executor != here) {
            asio::post(m_clients[i].executor,
                       [raw = m_clients[i].client.get(), settings, dial] { raw->prewarm(settings, dial); });
        }
    }
}

void FerrowDialer::clearPools()
{
    {
        const std::lock_guard lock(m_nodeDialsMutex);
        m_poolsStarted.clear();
    }
    for (auto& [executor, client] : m_clients) {
        if (executor == m_clients.front().executor) {
            client->clearPools();
        } else {
            asio::post(executor, [raw = client.get()] { raw->clearPools(); });
        }
    }
}

std::vector<std::string> FerrowDialer::failingNodes() const
{
    const std::lock_guard lock(m_healthMutex);
    return m_health.failing();
}

void FerrowDialer::configure(std::shared_ptr<const ProfileConfig> config)
{
    m_config.store(config);
    {
        const std::lock_guard lock(m_nodeDialsMutex);
        m_nodeDials.clear();
    }
    clearPools();
    {
        const std::lock_guard lock(m_healthMutex);
        m_health.forgetUnless([&](const std::string& name) {
            const auto& nodes = config->proxies;
            return std::any_of(nodes.begin(), nodes.end(),
                               [&](const ProxyNode& node) { return node.name == name; });
        });
    }
    logUnusableKeys();
}

void FerrowDialer::logUnusableKeys()
{
    // The profile still loads; only these nodes are unusable. One line however many there are:
    // a profile of thousands of placeholder nodes must not wipe the log at every load.
    constexpr std::size_t kNamed = 3;
    std::size_t count = 0;
    std::string named;
    const auto config = m_config.load();
    for (const auto& node : config->proxies) {
        if (node.protocol != "ferrow") {
            continue;
        }
        const auto problem = proto::pskProblem(optionOf(node, "psk"));
        if (problem.empty()) {
            continue;
        }
        if (++count <= kNamed) {
            named += (count > 1 ? "; \"" : "\"") + node.name + "\": " + problem;
        }
    }
    if (count == 1) {
        m_parts.log.warning("node " + named + "; the node cannot be used");
    } else if (count > 1) {
        m_parts.log.warning(std::to_string(count) + " nodes cannot be used because of their keys: " + named +
                            (count > kNamed ? "; and " + std::to_string(count - kNamed) + " more" : ""));
    }
}

void FerrowDialer::noteOutcome(const std::string& node, bool answered, const std::string& error)
{
    std::optional<NodeHealth::Event> event;
    {
        const std::lock_guard lock(m_healthMutex);
        event = m_health.record(node, answered, NodeHealth::Clock::now(), error);
    }
    if (event) {
        m_parts.log.info(event->title + ": " + event->message);
        m_parts.events.add(std::move(event->title), std::move(event->message));
    }
}

asio::awaitable<DialResult> FerrowDialer::dial(const ProxyNode& node, const std::string& host,
                                               std::uint16_t port, bool tunnel)
{
    // `node` lives in this profile: a reload while the connection is made must not free it.
    const auto pinned = m_config.load();
    auto dialled = dialAt(node, host, port, 0, tunnel);
    co_return co_await std::move(dialled);
}

asio::awaitable<DialResult> FerrowDialer::dialAt(const ProxyNode& node, const std::string& host,
                                                 std::uint16_t port, int depth, bool tunnel)
{
    DialResult result;
    auto failed = [&](const std::string& why) {
        result.error = "node \"" + node.name + "\": " + why;
        m_parts.log.warning("connection to " + HostPort{host, port}.toString() + " failed: " + result.error);
        return std::move(result);
    };
    // Held across the waits below: a reload may replace the cached one meanwhile.
    const auto nodeDial = dialOf(node);
    if (!nodeDial->pskProblem.empty()) {
        // Said once when the profile was loaded; every test cycle would repeat it per node.
        result.error = "node \"" + node.name + "\": " + nodeDial->pskProblem;
        co_return result;
    }
    if (depth > kMaxUnderlyingDepth) {
        co_return failed("the underlying-proxy chain is longer than " + std::to_string(kMaxUnderlyingDepth) +
                         " hops or loops");
    }
    const auto destination = proto::Target::fromHost(host, port);
    if (!destination) {
        result.reply = socks5::AddressTypeNotSupported;
        co_return failed("cannot carry the destination " + HostPort{host, port}.toString());
    }
    const auto& settings = nodeDial->settings;
    auto dial = nodeDial->direct ? nodeDial->direct : wireDialer(node, depth);
    const auto here = co_await asio::this_coro::executor;
    if (settings.poolable) {
        startPoolsOnEveryLane(settings, dial, here);
    }
    if (tunnel) {
        // A tunnel is relayed straight between the client and the encrypted connection.
        std::string error;
        auto& client = clientHere(here);
        auto wire = co_await client.openWire(settings, *destination, std::move(dial), error);
        if (!wire) {
            result.reply = socks5::HostUnreachable;
            noteOutcome(node.name, false, error);
            co_return failed(error);
        }
        noteOutcome(node.name, true);
        result.ferrow = std::move(wire);
        co_return result;
    }
    auto& client = clientHere(here);
    auto stream = co_await client.open(settings, *destination, std::move(dial));
    if (!stream.socket) {
        result.reply = socks5::HostUnreachable;
        noteOutcome(node.name, false, stream.error);
        co_return failed(stream.error);
    }
    noteOutcome(node.name, true);
    result.socket = std::move(stream.socket);
    co_return result;
}

std::shared_ptr<const FerrowDialer::NodeDial> FerrowDialer::dialOf(const ProxyNode& node)
{
    {
        const std::lock_guard lock(m_nodeDialsMutex);
        if (const auto found = m_nodeDials.find(&node); found != m_nodeDials.end()) {
            return found->second;
        }
    }
    auto made = std::make_shared<NodeDial>();
    const std::string psk = optionOf(node, "psk");
    made->pskProblem = proto::pskProblem(psk);
    const auto underlying = optionOf(node, "underlying-proxy");
    made->settings = proto::NodeSettings{
        node.name,         node.server, node.port, psk, proto::parseFastOpen(toLower(optionOf(node, "tfo"))),
        underlying.empty()};
    if (underlying.empty() || underlying == "DIRECT") {
        made->direct = wireDialer(node, 0); // a direct connection does not depend on the depth
    }
    if (const auto config = m_config.load()) {
        const auto& nodes = config->proxies;
        // std::less: a total order even for a node of another profile's list.
        const std::less<const ProxyNode*> before;
        if (!nodes.empty() && !before(&node, nodes.data()) && before(&node, nodes.data() + nodes.size())) {
            const std::lock_guard lock(m_nodeDialsMutex);
            m_nodeDials.emplace(&node, made);
        }
    }
    return made;
}

proto::WireDialer FerrowDialer::wireDialer(const ProxyNode& node, int depth)
{
    const std::string underlying = optionOf(node, "underlying-proxy");
    const std::string server = node.server;
    const std::uint16_t serverPort = node.port;
    const auto fastOpen = proto::parseFastOpen(toLower(optionOf(node, "tfo")));
    proto::WireDialer dial;
    if (underlying.empty() || underlying == "DIRECT") {
        // A server given as an address needs no resolver round per connection.
        const auto literal = IpAddr::parse(server);
        dial = [this, name = node.name, server, serverPort, fastOpen,
                literal]() -> asio::awaitable<proto::WireResult> {
            std::vector<asio::ip::address> addresses;
            if (literal) {
                addresses.push_back(toAsio(*literal));
            } else {
                const auto resolved = co_await m_parts.resolve(server);
                if (resolved.addresses.empty()) {
                    co_return proto::WireResult{
                        std::nullopt, "cannot resolve " + server + ": " + resolved.error, std::nullopt};
                }
                for (const auto& address : resolved.addresses) {
                    addresses.push_back(toAsio(address));
                }
            }
            auto wire = co_await proto::connectDirect(std::move(addresses), serverPort, fastOpen,
                                                      kNodeConnectTimeout, markOutbound);
            if (wire.socket && !wire.error.empty()) {
                // tfo=on asked for Fast Open and the system refused it: say so, the stream goes on.
                m_parts.log.warning("node \"" + name + "\": " + wire.error);
            }
            co_return wire;
        };
    } else {
        dial = [this, underlying, server, serverPort, depth]() -> asio::awaitable<proto::WireResult> {
            const auto config = m_config.load(); // holds the next node while it is dialled
            if (!config->hasPolicy(underlying)) {
                co_return proto::WireResult{
                    std::nullopt, "underlying-proxy \"" + underlying + "\" does not exist", std::nullopt};
            }
            const auto via = m_parts.groups.resolve(underlying, {}).final;
            if (via == "REJECT") {
                co_return proto::WireResult{std::nullopt, "underlying-proxy \"" + underlying + "\" rejects",
                                            std::nullopt};
            }
            DialResult hop;
            if (via == "DIRECT") {
                hop = co_await m_dialDirect(server, serverPort);
            } else if (const auto* next = config->findProxy(via); next && next->protocol == "ferrow") {
                hop = co_await dialAt(*next, server, serverPort, depth + 1, false);
            } else {
                hop.error = "underlying-proxy \"" + via + "\" cannot be used";
            }
            co_return proto::WireResult{std::move(hop.socket), hop.error, hop.protocol};
        };
    }
    return dial;
}

asio::awaitable<std::unique_ptr<proto::DatagramStream>> FerrowDialer::openDatagrams(const ProxyNode& node,
                                                                                    std::string& error)
{
    const auto pinned = m_config.load();
    const auto nodeDial = dialOf(node);
    if (!nodeDial->pskProblem.empty()) {
        error = "node \"" + node.name + "\": " + nodeDial->pskProblem;
        co_return nullptr;
    }
    // Named, not temporary: GCC 12 can destroy a temporary of a co_await expression twice.
    auto dial = nodeDial->direct ? nodeDial->direct : wireDialer(node, 0);
    auto& client = clientHere(co_await asio::this_coro::executor);
    auto stream = co_await client.openDatagrams(nodeDial->settings, std::move(dial), error);
    noteOutcome(node.name, stream != nullptr, error);
    if (!stream) {
        error = "node \"" + node.name + "\": " + error;
    }
    co_return stream;
}

asio::awaitable<void> FerrowDialer::relay(tcp::socket& client, std::optional<tcp> clientProtocol,
                                          std::shared_ptr<proto::FerrowWire> wire, std::string initial,
                                          TrafficMeter meter, asio::any_io_executor executor,
                                          std::chrono::seconds idleTimeout)
{
    auto ownWire = std::move(wire);
    std::string ownInitial = std::move(initial);
    // The wire was made where it was dialled, so it moves unless that is the relaying thread.
    if (executor == client.get_executor() && executor == ownWire->socket.get_executor()) {
        auto relay = relayFerrowHere(client, std::move(ownWire), std::move(ownInitial), meter, idleTimeout);
        co_await std::move(relay);
        co_return;
    }
    // Both descriptors move to the relaying lane, as for a direct tunnel.
    auto clientFd = proto::detach(client, clientProtocol);
    auto wireFd = proto::detach(ownWire->socket, ownWire->protocol);
    if (!clientFd || !wireFd) {
        co_return; // one side is already gone; the other closes with it
    }
    // Named, not temporary: GCC 12 can destroy a temporary of a co_await expression twice.
    auto relay = relayFerrowAdopted(std::move(clientFd), std::move(wireFd), std::move(ownWire),
                                    std::move(ownInitial), meter, idleTimeout);
    co_await asio::co_spawn(executor, std::move(relay), asio::use_awaitable);
}

asio::awaitable<DelayResult> FerrowDialer::measureDelay(const ProxyNode& node)
{
    const auto pinned = m_config.load();
    const auto url = parseHttpUrl(pinned->general.proxyTestUrl);
    if (!url) {
        m_parts.log.warning("delay test of \"" + node.name + "\": the proxy test URL must be an http:// URL");
        co_return DelayResult{-1, "failed"};
    }
    const auto started = std::chrono::steady_clock::now();
    auto dialled = co_await dialAt(node, url->host, url->port, 0, false);
    if (!dialled.socket) {
        co_return DelayResult{-1, failureKind(dialled.error)};
    }
    auto& socket = *dialled.socket;
    const std::string request = "GET " + url->path + " HTTP/1.1\r\nHost: " + url->host +
                                "\r\nUser-Agent: ferrow-core\r\nConnection: close\r\n\r\n";
    const auto deadline = std::chrono::steady_clock::now() + kNodeDelayTimeout;
    std::string answer;
    std::string chunk(1024, '\0');
    if (auto [error, n] = co_await asio::async_write(socket, asio::buffer(request), useTuple); error) {
        co_return DelayResult{-1, "timeout"};
    }
    while (answer.find("\r\n") == std::string::npos && answer.size() < 4096) {
        auto read = withDeadline(socket.async_read_some(asio::buffer(chunk), useTuple), deadline);
        const auto outcome = co_await std::move(read);
        if (!outcome) {
            m_parts.log.warning("delay test of \"" + node.name + "\": no answer within " +
                                std::to_string(kNodeDelayTimeout.count()) + " s");
            co_return DelayResult{-1, "timeout"};
        }
        const auto [error, n] = *outcome;
        if (error) {
            m_parts.log.warning("delay test of \"" + node.name +
                                "\": the test URL did not answer through the node");
            co_return DelayResult{-1, "timeout"};
        }
        answer.append(chunk, 0, n);
    }
    if (!answer.starts_with("HTTP/1.")) {
        co_return DelayResult{-1, "timeout"};
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
            .count();
    co_return DelayResult{static_cast<int>(std::max<std::int64_t>(1, elapsed)), {}};
}

} // namespace ferrow::core
