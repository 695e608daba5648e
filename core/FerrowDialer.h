#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "AsioSupport.h"
#include "DialResult.h"
#include "NodeHealth.h"
#include "ProfileConfig.h"
#include "Published.h"
#include "Relay.h"
#include "Resolver.h"
#include "ferrow/FerrowClient.h"

namespace ferrow::core {

class EventLog;
class LogStream;
class PolicyGroups;

/// Reaches destinations through ferrow nodes: directly or through an underlying policy, with
/// pools of prewarmed connections, delay tests through a node, and the health of every node as its
/// connections succeed or fail. Configured on the core's main thread; dials on any of its loops,
/// each with a pool of its own, so a connection is made and relayed on the thread that asked.
class FerrowDialer {
public:
    /// Connects DIRECT to a node's server when it names an underlying policy that is DIRECT.
    using DirectDial = std::function<asio::awaitable<DialResult>(std::string host, std::uint16_t port)>;
    /// Resolves a node's server name from any thread.
    using Resolve = std::function<asio::awaitable<Resolver::Result>(std::string host)>;

    struct Parts {
        LogStream& log;
        EventLog& events;
        PolicyGroups& groups;
        Resolve resolve;
    };

    /// Streams opened on the main executor are pumped on executors from `relayExecutor`.
    FerrowDialer(asio::any_io_executor executor, std::function<asio::any_io_executor()> relayExecutor,
                 std::chrono::seconds nodeDownAfter, Parts parts, DirectDial dialDirect);
    /// Gives each lane a client and pool of its own; before any dial, on the main thread. The
    /// lanes and the main thread share one budget of handshakes under way per node.
    void addLanes(const std::vector<asio::any_io_executor>& lanes);
    ~FerrowDialer();
    FerrowDialer(const FerrowDialer&) = delete;
    FerrowDialer& operator=(const FerrowDialer&) = delete;

    /// Takes a newly loaded profile: drops pooled connections, forgets removed nodes and warns
    /// about nodes whose key cannot work.
    void configure(std::shared_ptr<const ProfileConfig> config);
    /// Drops pooled connections (at stop, on another network); each lane drops its own in turn.
    void clearPools();

    /// A connection to `host`:`port` through `node`, which belongs to the configured profile. With
    /// `tunnel` the answer carries the encrypted connection itself (`DialResult::ferrow`).
    asio::awaitable<DialResult> dial(const ProxyNode& node, const std::string& host, std::uint16_t port,
                                     bool tunnel);
    /// A UDP relay through `node` (which belongs to the configured profile); null with `error` set.
    asio::awaitable<std::unique_ptr<proto::DatagramStream>> openDatagrams(const ProxyNode& node,
                                                                          std::string& error);
    /// Delay of an HTTP request to the profile's test URL through `node`.
    asio::awaitable<DelayResult> measureDelay(const ProxyNode& node);
    /// Relays a tunnel between `client` and `wire` on `executor` until both directions end.
    static asio::awaitable<void> relay(tcp::socket& client, std::optional<tcp> clientProtocol,
                                       std::shared_ptr<proto::FerrowWire> wire, std::string initial,
                                       TrafficMeter meter, asio::any_io_executor executor,
                                       std::chrono::seconds idleTimeout);

    /// The nodes whose latest attempt failed. Any thread.
    std::vector<std::string> failingNodes() const;

private:
    /// What dialling a node takes, worked out at its first use in a profile rather than per
    /// connection.
    struct NodeDial {
        proto::NodeSettings settings;
        std::string pskProblem;
        proto::WireDialer direct; // empty when an underlying proxy carries the node's connections
    };

    /// One warning line for every ferrow node whose key cannot work.
    void logUnusableKeys();
    /// `depth` counts underlying-proxy hops.
    asio::awaitable<DialResult> dialAt(const ProxyNode& node, const std::string& host, std::uint16_t port,
                                       int depth, bool tunnel);
    std::shared_ptr<const NodeDial> dialOf(const ProxyNode& node);
    /// How a connection to the node's server is made: directly, or through its underlying proxy.
    proto::WireDialer wireDialer(const ProxyNode& node, int depth);
    /// Counts one connection through the node towards its down and recovered events.
    void noteOutcome(const std::string& node, bool answered, const std::string& error = {});
    /// The client of the loop this runs on.
    proto::FerrowClient& clientHere(const asio::any_io_executor& executor);
    /// A node's first stream on a lane starts every lane's pool for it, so that the next stream
    /// finds a prewarmed connection whichever lane its client reaches.
    void startPoolsOnEveryLane(const proto::NodeSettings& settings, const proto::WireDialer& dial,
                               const asio::any_io_executor& here);

    struct Client {
        asio::any_io_executor executor;
        std::unique_ptr<proto::FerrowClient> client; // used only on `executor`'s thread
    };

    Parts m_parts;
    DirectDial m_dialDirect;
    std::function<asio::any_io_executor()> m_relayExecutor;
    mutable std::mutex m_healthMutex;
    NodeHealth m_health;
    Published<ProfileConfig> m_config;
    std::mutex m_nodeDialsMutex;
    /// Of the nodes of m_config only: a node of an older profile still being dialled after a
    /// reload is worked out each time.
    std::unordered_map<const ProxyNode*, std::shared_ptr<const NodeDial>> m_nodeDials;
    std::set<proto::NodeSettings, proto::NodeOrder> m_poolsStarted; // under m_nodeDialsMutex
    std::vector<Client> m_clients;                                  // the main loop's first
};

} // namespace ferrow::core
