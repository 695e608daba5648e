#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>

#include "ApiTypes.h"
#include "AsioSupport.h"
#include "ConnectionRegistry.h"
#include "ControlApi.h"
#include "CoreOptions.h"
#include "DialResult.h"
#include "EventLog.h"
#include "HistoryRecorder.h"
#include "Lanes.h"
#include "LocalAddresses.h"
#include "LogStream.h"
#include "PolicyGroups.h"
#include "ProcessAttribution.h"
#include "ProcessFinder.h"
#include "ProfileConfig.h"
#include "Published.h"
#include "Relay.h"
#include "Resolver.h"
#include "RuleMatcher.h"
#include "RuleSetStore.h"
#include "Socks5Parser.h"
#include "TrafficStatistics.h"

namespace ferrow::tun {
class TunService;
}

namespace ferrow::proto {
class DatagramStream;
}

namespace ferrow::core {

class ControlServer;
class FerrowDialer;
class GeoIpDatabase;
class NetworkMonitor;
class ProxyServer;
class SleepWatcher;

/// Where a connection goes and why.
struct Route {
    std::string policy;            // DIRECT, REJECT or a proxy name
    std::string chain;             // "Group > Member" when groups were passed
    std::string rule;              // the rule's text, or the outbound mode
    std::vector<IpAddr> addresses; // filled when a rule needed the destination address
    std::optional<IpAddr> pinned;  // a sniffed name's connection still goes to this address
};

struct RouteQuery {
    std::string host; // as the client gave it
    std::uint16_t port = 0;
    IpAddr source;
    std::uint16_t sourcePort = 0;
    IpAddr local;
    std::uint16_t localPort = 0;
    ConnectionRecord* record = nullptr; // receives the process name when a rule looked it up
    std::optional<IpAddr> address;      // where a named connection already goes (a sniffed name)
    std::string network = "tcp";        // or "udp", for PROTOCOL rules
};

/// The running core: configuration, rule engine, groups, listeners, controller API, logs,
/// statistics. Its state lives on the main io_context thread. Proxy clients are served on lanes
/// (threads of their own), which reach only what is safe from any thread: the published
/// steering snapshot, the locked groups, logs and connection registry, and the traffic
/// counters, and a node pool of their own; the resolver is asked on the main thread.
class CoreService : private CoreReadout, private CoreControl {
public:
    /// `lanes` (not started yet) and `io` outlive the service: their pending work goes after it.
    CoreService(asio::io_context& io, Lanes& lanes, CoreOptions options);
    ~CoreService() override;
    CoreService(const CoreService&) = delete;
    CoreService& operator=(const CoreService&) = delete;

    /// Loads the configuration, opens the listeners and writes the api-info file.
    /// False when the core cannot run (the reason is logged).
    bool start();
    /// Closes listeners and connections, removes the api-info file, saves statistics.
    void stop(const std::string& why) override;

    // Used by proxy sessions and the tunnel.
    LogStream& log() { return m_log; }
    /// The resolver lives on the main thread; `resolveName` reaches it from any.
    Resolver& resolver() { return m_resolver; }
    asio::awaitable<Resolver::Result> resolveName(std::string host);
    asio::any_io_executor mainExecutor() { return m_io.get_executor(); }
    const GeneralSettings& general() const { return m_runtime->config.general; }
    /// Where DNS questions go that the core answers with real addresses.
    std::vector<std::string> upstreamDnsServers() const;
    ConnectionRegistry& connections() { return m_connections; }
    asio::awaitable<Route> route(const RouteQuery& query);
    /// Connects DIRECT routes. `client` is the proxy client's address: clients on other machines
    /// never reach this machine's own services.
    asio::awaitable<DialResult> dial(const Route& route, const std::string& host, std::uint16_t port,
                                     const IpAddr& client, bool tunnel = false);
    /// A UDP relay through the node `policy`. Null with `error` set; `carriesUdp` is false when
    /// the policy is no node that can carry UDP (a protocol this build cannot speak, or gone).
    asio::awaitable<std::unique_ptr<proto::DatagramStream>>
    openDatagrams(const std::string& policy, std::string& error, bool& carriesUdp);
    /// The name behind an address the tunnel's DNS handed out, while the tunnel runs.
    std::optional<std::string> fakeName(const IpAddr& address) const;
    /// Why these destinations may not be reached for this client (empty: they may); drops the
    /// addresses a LAN client may not reach.
    std::string refusedDestination(std::vector<IpAddr>& addresses, std::uint16_t port, const IpAddr& client);
    /// Relays a tunnel through a ferrow node on the client's lane until both directions end.
    /// `wire` and `initial` are taken (moved from); `clientProtocol` saves asking the system.
    asio::awaitable<void> relayFerrow(tcp::socket& client, std::shared_ptr<proto::FerrowWire>& wire,
                                      std::string& initial, TrafficMeter meter,
                                      std::optional<tcp> clientProtocol = std::nullopt);
    TrafficMeter meterFor(ConnectionRecord& record) { return {&record, &m_uplink, &m_downlink}; }
    /// Where a tunnel of `client` is relayed: on its lane, or, for one that began on the main
    /// thread, on the next lane, so relaying does not queue behind the controller.
    asio::any_io_executor relayExecutorFor(tcp::socket& client);
    /// How long a tunnel may carry nothing before it is cut; 0 s: no limit.
    std::chrono::seconds relayIdleTimeout() const;
    /// How long an origin may take to start its answer to a plain HTTP request.
    std::chrono::seconds responseTimeout() const;
    /// How many proxy clients may be served at once.
    std::size_t maxConnections() const;
    /// Asks for the client programs of open connections not looked at yet; the answers land in
    /// their records later, so the caller never waits.
    void attributeConnections();

    /// Re-reads the configuration file; empty on success, else "line N: reason".
    std::string reload() override;
    /// Delay of an HTTP request to the proxy test URL through a policy, or -1.
    asio::awaitable<DelayResult> measureDelay(std::string policy);

private:
    struct Runtime {
        ProfileConfig config;
        std::shared_ptr<RuleMatcher> rules;
        std::vector<std::string> rulePolicies;
        bool usesGeoIp = false;
    };
    /// What routing reads, published whole by the main thread for the lanes.
    struct Steering {
        std::shared_ptr<const Runtime> runtime;
        std::string mode;
        std::string globalPolicy;
    };

    void publishSteering();
    bool onMainThread() const { return m_io.get_executor().running_in_this_thread(); }
    std::variant<std::shared_ptr<Runtime>, ConfigError> loadConfiguration();
    void apply(std::shared_ptr<Runtime> runtime);
    /// Opens the country database, or a newer one that replaced the file in use.
    void openCountryDatabase();
    void armSignals();
    /// Another network, or a wake from sleep: nothing made on the old one is trusted.
    void networkChanged(const std::string& why);
    /// Reads the system's resolver list again (with the tunnel, it is where real answers come from).
    void readSystemResolvers();
    void watchNetwork();
    asio::awaitable<void> housekeeping();
    asio::awaitable<void> fetchCountryDatabase();
    asio::awaitable<void> testGroups(bool onlyDue);
    /// Adds the traffic since the last call to the statistics; whether there was any.
    bool foldTraffic();
    void trimHeapWhenQuiet(bool trafficMoved);
    std::vector<std::string> globalNodes() const;
    /// The client program behind a loopback connection, waiting at most a short bound.
    asio::awaitable<std::optional<ProcessInfo>> lookupProcess(const RouteQuery& query);
    std::string supportFolder() const;

    /// A DIRECT connection to a ferrow node's server, for a node whose underlying policy is DIRECT.
    asio::awaitable<DialResult> dialNodeServer(std::string host, std::uint16_t port);

    // What the controller reads and changes (see ControlApi).
    CoreStatus status() const override;
    const TrafficStatistics& foldedStatistics() override;
    const TrafficHistory& foldedHistory() override;
    const ConnectionRegistry& attributedConnections() override;
    const PolicyGroups& policyGroups() const override { return m_groups; }
    const LogStream& logStream() const override { return m_log; }
    const EventLog& eventLog() const override { return m_events; }
    const RuleSetStore& ruleSetStore() const override { return *m_ruleSets; }
    OutboundState outbound() const override;
    void setOutbound(const std::string& mode, const std::string& globalPolicy) override;
    bool select(const std::string& group, const std::string& member, std::string* error) override;
    SocksState socks() const override;
    std::string listenSocks(const std::string& address) override;
    asio::awaitable<DelayResult> testPolicy(std::string policy) override;
    asio::awaitable<void> updateRuleSets() override;

    asio::io_context& m_io;
    CoreOptions m_options;
    std::string m_secret;
    LogStream m_log;
    EventLog m_events;
    ConnectionRegistry m_connections;
    TrafficStatistics m_statistics;
    HistoryRecorder m_history;
    Resolver m_resolver;
    ProcessFinder m_processes;
    LocalAddresses m_localAddresses;
    std::unique_ptr<ProcessAttribution> m_attribution; // uses m_processes on its own thread
    PolicyGroups m_groups;
    std::unique_ptr<RuleSetStore> m_ruleSets;
    std::shared_ptr<const CountryLookup> m_countries;
    std::shared_ptr<const GeoIpDatabase> m_countryDatabase; // the same object, for its file version
    std::string m_countryPath;
    bool m_geoIpWarned = false;
    std::shared_ptr<Runtime> m_runtime;
    std::string m_mode = "rule";
    std::string m_globalPolicy;
    Published<Steering> m_steering;
    // Read per connection on the lanes.
    std::atomic<int> m_relayIdleSeconds{600};
    std::atomic<int> m_responseSeconds{120};
    std::atomic<std::size_t> m_maxConnections{16384};
    std::atomic<std::uint64_t> m_uplink{0};
    std::atomic<std::uint64_t> m_downlink{0};
    std::uint64_t m_foldedUp = 0;
    std::uint64_t m_foldedDown = 0;
    int m_quietSeconds = 0;
    bool m_heapTrimmed = true;
    ControlApi m_api;
    std::unique_ptr<ControlServer> m_control;
    std::unique_ptr<ProxyServer> m_proxy;
    asio::signal_set m_signals;
    asio::steady_timer m_tick;
    asio::steady_timer m_attributionTimer;
    bool m_statisticsLoaded = false;
    std::atomic<bool> m_attributionQueued{false};
    bool m_stopped = false;
    Lanes& m_lanes;
    std::map<std::string, std::chrono::steady_clock::time_point> m_nextGroupTest;
    std::unique_ptr<FerrowDialer> m_ferrow;      // after the lanes its pumps run on
    std::vector<std::string> m_systemDnsServers; // read before the tunnel redirects anything
    std::unique_ptr<NetworkMonitor> m_network;
    std::unique_ptr<SleepWatcher> m_sleep;
    std::uint64_t m_networkChanges = 0;     // another network or a wake-up since the start
    std::unique_ptr<tun::TunService> m_tun; // last: its clean-up still logs
};

} // namespace ferrow::core
