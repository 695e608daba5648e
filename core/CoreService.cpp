#include "CoreService.h"

#include <csignal>
#include <cstring>
#include <filesystem>
#include <malloc.h>
#include <set>
#include <unistd.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/post.hpp>

#include "ApiInfoFile.h"
#include "ControlServer.h"
#include "FRWNames.h"
#include "FailureKind.h"
#include "FerrowDialer.h"
#include "GeoIpDatabase.h"
#include "HostsFile.h"
#include "HttpFetcher.h"
#include "NetworkMonitor.h"
#include "ProxyServer.h"
#include "SafeFile.h"
#include "SleepWatcher.h"
#include "SocketMark.h"
#include "ferrow/AsioTimeout.h"
#include "tun/SystemDns.h"
#include "tun/TunService.h"

namespace ferrow::core {

namespace {

constexpr auto kConnectTimeout = std::chrono::seconds(10);
constexpr auto kDelayTestTimeout = std::chrono::seconds(5);
constexpr std::size_t kMaxConfigSize = std::size_t{16} * 1024 * 1024;
constexpr int kStatisticsFlushSeconds = 60;
constexpr int kRuleSetCheckSeconds = 3600;
constexpr int kTrimAfterQuietSeconds = 10;
constexpr char kVersion[] = "ferrow-core 0.1.0";

std::string statisticsPath(const CoreOptions& options)
{
    if (!options.statsPath.empty()) {
        return options.statsPath;
    }
    const auto folder = std::filesystem::path(options.configPath).parent_path();
    return (folder / "core-stats.json").string();
}

// Per-program, device, domain and policy history lives beside the totals.
std::string historyFolder(const CoreOptions& options)
{
    return (std::filesystem::path(statisticsPath(options)).parent_path() / "history").string();
}

constexpr auto kProcessWait = std::chrono::seconds(1);
constexpr auto kAttributionBatch = std::chrono::milliseconds(20);

/// Tells the route whether a rule asked for the client program; the route then looks it up off
/// the I/O thread and matches again with the answer.
class ProbedProcess : public ProcessSource {
public:
    const ProcessInfo* process() override
    {
        m_asked = true;
        return m_info ? &*m_info : nullptr;
    }
    bool needsLookup() const { return m_asked && !m_known; }
    void set(std::optional<ProcessInfo> info)
    {
        m_known = true;
        m_info = std::move(info);
    }

private:
    bool m_asked = false;
    bool m_known = false;
    std::optional<ProcessInfo> m_info;
};

} // namespace

CoreService::CoreService(asio::io_context& io, Lanes& lanes, CoreOptions options)
    : m_io(io)
    , m_options(std::move(options))
    , m_log(4000)
    , m_connections(600)
    , m_statistics(statisticsPath(m_options))
    , m_history(historyFolder(m_options), m_options.historyDays)
    , m_resolver(io.get_executor())
    , m_api(*this, *this)
    , m_signals(io, SIGINT, SIGTERM, SIGHUP)
    , m_tick(io)
    , m_attributionTimer(io)
    , m_lanes(lanes)
{
    m_attribution = std::make_unique<ProcessAttribution>(
        [this](const std::vector<SocketKey>& keys) { return m_processes.findMany(keys); });
    if (m_history.enabled()) {
        // The history counts by program, so each local connection's program is looked up while it
        // is open, in batches a short while after the first of them opened. A connection over
        // before its batch carried too little to miss under its program; looking each one up at
        // once cost a third more CPU per connection.
        // Connections open on the lanes: only the first of a batch wakes the main thread.
        m_connections.setOpenedHook([this] {
            if (m_attributionQueued.exchange(true)) {
                return;
            }
            asio::post(m_io, [this] {
                m_attributionTimer.expires_after(kAttributionBatch);
                m_attributionTimer.async_wait([this](const boost::system::error_code& error) {
                    m_attributionQueued = false;
                    if (!error && !m_stopped) {
                        attributeConnections();
                    }
                });
            });
        });
    }
    m_ruleSets =
        std::make_unique<RuleSetStore>(m_options.ruleSetDir, supportFolder() + "/RuleSets", m_log, m_events);
    m_ferrow = std::make_unique<FerrowDialer>(
        io.get_executor(), [this] { return m_lanes.next(); },
        std::chrono::seconds(m_options.nodeDownAfterSeconds.value_or(NodeHealth::kDownAfter.count())),
        FerrowDialer::Parts{m_log, m_events, m_groups,
                            [this](std::string host) { return resolveName(std::move(host)); }},
        [this](std::string host, std::uint16_t port) { return dialNodeServer(std::move(host), port); });
}

CoreService::~CoreService()
{
    // The lanes touch this object: they end before anything here is destroyed. Their loops and
    // the main one outlive it, so what here points into their pending work is still valid.
    m_lanes.join();
}

std::chrono::seconds CoreService::relayIdleTimeout() const
{
    return std::chrono::seconds(m_relayIdleSeconds.load(std::memory_order_relaxed));
}

std::chrono::seconds CoreService::responseTimeout() const
{
    return std::chrono::seconds(m_responseSeconds.load(std::memory_order_relaxed));
}

std::size_t CoreService::maxConnections() const
{
    return m_maxConnections.load(std::memory_order_relaxed);
}

asio::any_io_executor CoreService::relayExecutorFor(tcp::socket& client)
{
    auto executor = client.get_executor();
    return executor == m_io.get_executor() ? m_lanes.next() : executor;
}

void CoreService::publishSteering()
{
    m_steering.store(std::make_shared<const Steering>(Steering{m_runtime, m_mode, m_globalPolicy}));
}

asio::awaitable<Resolver::Result> CoreService::resolveName(std::string host)
{
    if (onMainThread()) {
        co_return co_await m_resolver.resolve(std::move(host));
    }
    // Named, not temporary: GCC 12 can destroy a temporary of a co_await expression twice.
    auto asked = asio::co_spawn(m_io, m_resolver.resolve(std::move(host)), asio::use_awaitable);
    co_return co_await std::move(asked);
}

std::string CoreService::supportFolder() const
{
    const auto folder = std::filesystem::path(m_options.configPath).parent_path();
    return folder.empty() ? "." : folder.string();
}

std::variant<std::shared_ptr<CoreService::Runtime>, ConfigError> CoreService::loadConfiguration()
{
    const auto file = readRegularFile(m_options.configPath, kMaxConfigSize);
    if (!file.ok) {
        return ConfigError{0, file.error};
    }
    auto parsed = parseProfile(file.bytes);
    if (auto* error = std::get_if<ConfigError>(&parsed)) {
        return *error;
    }
    auto runtime = std::make_shared<Runtime>();
    runtime->config = std::move(std::get<ProfileConfig>(parsed));
    std::vector<RuleSpec> specs;
    for (const auto& rule : runtime->config.rules) {
        specs.push_back({rule.type, rule.value, rule.options, rule.line});
        runtime->rulePolicies.push_back(rule.policy);
        runtime->usesGeoIp = runtime->usesGeoIp || rule.type == "GEOIP";
    }
    if (runtime->usesGeoIp) {
        openCountryDatabase();
    }
    RuleContext context;
    context.countries = m_countries;
    context.ruleSet = [this](const std::string& name) { return m_ruleSets->slot(name); };
    auto compiled = RuleMatcher::compile(specs, context);
    if (auto* error = std::get_if<ConfigError>(&compiled)) {
        return *error;
    }
    runtime->rules = std::make_shared<RuleMatcher>(std::move(std::get<RuleMatcher>(compiled)));
    return runtime;
}

void CoreService::openCountryDatabase()
{
    std::vector<std::string> candidates = {supportFolder() + "/Country.mmdb"};
    if (!m_options.ruleSetDir.empty()) {
        candidates.push_back(m_options.ruleSetDir + "/Country.mmdb");
    }
    std::string error;
    for (const auto& path : candidates) {
        const FileVersion onDisk = fileVersionOf(path);
        if (onDisk.inode == 0) {
            continue;
        }
        // The copy in use stays until the file is replaced; a replacement that does not open
        // leaves the previous copy answering.
        if (m_countryDatabase && path == m_countryPath && onDisk == m_countryDatabase->version()) {
            return;
        }
        auto database = std::make_shared<GeoIpDatabase>();
        if (database->open(path, &error)) {
            m_log.info("GEOIP rules use the country database " + path);
            m_countryDatabase = database;
            m_countryPath = path;
            m_countries = database;
            m_ruleSets->setCountries(m_countries);
            return;
        }
        if (m_countryDatabase) {
            std::string message =
                "the country database " + path + " was replaced by one that does not open (";
            message += error;
            message += "); the previous one stays in use";
            m_log.warning(message);
            return;
        }
    }
    if (!m_countries && !m_geoIpWarned) {
        m_geoIpWarned = true;
        m_log.warning("GEOIP rules will not match: no usable country database (looked for " +
                      candidates.front() + (error.empty() ? "" : "; " + error) + ")");
    }
}

std::vector<std::string> CoreService::globalNodes() const
{
    std::vector<std::string> nodes;
    if (!m_runtime) {
        return nodes;
    }
    for (const auto& group : m_runtime->config.groups) {
        nodes.push_back(group.name);
    }
    for (const auto& proxy : m_runtime->config.proxies) {
        nodes.push_back(proxy.name);
    }
    return nodes;
}

void CoreService::apply(std::shared_ptr<Runtime> runtime)
{
    m_runtime = std::move(runtime);
    const auto& config = m_runtime->config;
    m_groups.configure(config);
    m_log.setCapacity(config.general.logHistory);
    m_connections.setHistoryCap(config.general.connectionHistory);
    m_resolver.configure(upstreamDnsServers(), HostsFile::load("/etc/hosts"));
    std::set<std::string> ruleSetNames;
    for (const auto& rule : config.rules) {
        if (rule.type == "RULE-SET") {
            ruleSetNames.insert(rule.value);
        }
    }
    m_ruleSets->retain(ruleSetNames);
    const auto nodes = globalNodes();
    if (std::find(nodes.begin(), nodes.end(), m_globalPolicy) == nodes.end()) {
        m_globalPolicy = nodes.empty() ? "DIRECT" : nodes.front();
    }
    m_nextGroupTest.clear();
    m_relayIdleSeconds = config.general.relayIdleTimeout;
    m_responseSeconds = config.general.responseTimeout;
    m_maxConnections = config.general.maxConnections;
    publishSteering();
    // The dialer holds the profile for as long as a connection it makes needs a node of it.
    m_ferrow->configure(std::shared_ptr<const ProfileConfig>(m_runtime, &m_runtime->config));
}

bool CoreService::start()
{
    if (const char* secret = std::getenv(kAPISecretEnvironmentVariable)) {
        m_secret = secret;
    }
    m_log.info(std::string(kVersion) + " starting with " + m_options.configPath);
    const bool tunnel = !m_options.tunName.empty() && !m_options.noTun;
    if (tunnel) {
        // With the tunnel up the system's resolver may answer from inside it; real answers come
        // from the servers it used before.
        m_systemDnsServers = tun::systemNameservers();
    }
    auto loaded = loadConfiguration();
    if (auto* error = std::get_if<ConfigError>(&loaded)) {
        m_log.error("cannot use the configuration: " + error->text());
        return false;
    }
    apply(std::get<std::shared_ptr<Runtime>>(loaded));
    if (tunnel) {
        m_tun = std::make_unique<tun::TunService>(m_io, *this);
        std::string tunError;
        if (!m_tun->start(m_options.tunName, m_options.gateway, m_options.resolveBus, &tunError)) {
            m_log.error("cannot bring up the tunnel: " + tunError);
            m_tun.reset();
            return false;
        }
    } else if (m_options.gateway) {
        m_log.warning("-gateway needs the tunnel: gateway mode not active");
    }
    watchNetwork();
    if (m_tun && m_options.gateway) {
        m_tun->serveLanResolver(m_options.dnsSockets);
    } else {
        for (const int fd : m_options.dnsSockets) {
            ::close(fd);
        }
    }
    std::string statisticsError;
    if (!m_statistics.load(&statisticsError)) {
        m_log.info(statisticsError);
    }
    m_history.load(
        std::time(nullptr),
        [executor = m_io.get_executor()](std::function<void()> work) {
            asio::post(executor, std::move(work));
        },
        [this](const std::string& problem) { m_log.warning(problem); });
    m_statisticsLoaded = true;
    // A lane per core: the main thread beside them mostly waits. One lane fewer cut the
    // connection rate on two cores by a fifth; more than four is not needed by one desktop.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    m_lanes.start(m_options.lanes.value_or(std::min(cores, 4u)));
    m_ferrow->addLanes(m_lanes.executors());
    if (!m_options.socksListen.empty()) {
        m_proxy = std::make_unique<ProxyServer>(m_lanes, *this);
        std::string error;
        if (!m_proxy->listen(m_options.socksListen, &error)) {
            m_log.error(error);
            return false;
        }
        m_log.info("HTTP and SOCKS5 proxy listening on " + m_proxy->address());
    }
    m_control = std::make_unique<ControlServer>(
        m_io.get_executor(), m_secret,
        [this](ApiRequest request) { return m_api.handleApi(std::move(request)); },
        [this](const std::string& warning) { m_log.warning(warning); });
    std::string error;
    if (!m_control->listen(m_options.apiListen, &error)) {
        m_log.error(error);
        return false;
    }
    m_log.info("controller API listening on " + m_control->address() +
               (m_secret.empty() ? " without a secret" : " (bearer secret required)"));
    if (!m_options.apiInfoPath.empty()) {
        if (!writeApiInfoFile(m_options.apiInfoPath, m_control->address(), m_secret, m_options.apiInfoUid,
                              m_options.apiInfoGid, &error)) {
            m_log.error("cannot write the api-info file: " + error);
            return false;
        }
    }
    armSignals();
    asio::co_spawn(m_io, housekeeping(), asio::detached);
    return true;
}

void CoreService::armSignals()
{
    m_signals.async_wait([this](const boost::system::error_code& ec, int signal) {
        if (ec) {
            return;
        }
        if (signal == SIGHUP) {
            const auto result = reload();
            m_log.info(result.empty() ? "SIGHUP: configuration reloaded"
                                      : "SIGHUP: reload refused: " + result);
            armSignals();
            return;
        }
        stop(std::string("signal ") + strsignal(signal));
    });
}

void CoreService::stop(const std::string& why)
{
    if (m_stopped) {
        return;
    }
    m_stopped = true;
    m_log.info("stopping: " + why);
    m_ferrow->clearPools();
    m_network.reset();
    m_sleep.reset();
    if (m_proxy) {
        m_proxy->stopAll();
    }
    if (m_control) {
        m_control->close();
    }
    if (m_tun) {
        m_tun->stop();
    }
    boost::system::error_code ignored;
    m_signals.cancel(ignored);
    m_tick.cancel();
    m_attributionTimer.cancel();
    if (!m_options.apiInfoPath.empty() && m_control &&
        isOwnApiInfoFile(m_options.apiInfoPath, m_control->address(), m_secret)) {
        // A core started after us may already have written its own file here; that one stays.
        ::unlink(m_options.apiInfoPath.c_str());
    }
    // A core that failed before reading the totals holds zeros; saving them would erase the totals.
    if (m_statisticsLoaded) {
        foldTraffic();
        std::string error;
        if (!m_statistics.save(&error)) {
            m_log.warning("statistics not saved: " + error);
        }
        m_history.fold(m_connections, std::time(nullptr));
        if (std::string historyError; !m_history.save(&historyError)) {
            m_log.warning("traffic history not saved: " + historyError);
        }
    }
    // Outstanding work (a delay test, a download) gets a moment to end, then the loop stops.
    auto timer = std::make_shared<asio::steady_timer>(m_io, std::chrono::milliseconds(100));
    timer->async_wait([this, timer](const boost::system::error_code&) {
        m_lanes.stop();
        m_io.stop();
    });
}

std::string CoreService::reload()
{
    auto loaded = loadConfiguration();
    if (auto* error = std::get_if<ConfigError>(&loaded)) {
        m_log.warning("reload refused, keeping the previous configuration: " + error->text());
        return error->text();
    }
    apply(std::get<std::shared_ptr<Runtime>>(loaded));
    m_log.info("configuration reloaded: " + std::to_string(m_runtime->config.proxies.size()) + " proxies, " +
               std::to_string(m_runtime->config.groups.size()) + " groups, " +
               std::to_string(m_runtime->config.rules.size()) + " rules");
    asio::co_spawn(m_io, m_ruleSets->updateStale(m_resolver), asio::detached);
    return {};
}

void CoreService::watchNetwork()
{
    m_network =
        std::make_unique<NetworkMonitor>(m_io, m_tun ? m_options.tunName : std::string(),
                                         tun::systemResolverFiles(), [this](NetworkMonitor::Change change) {
                                             if (change == NetworkMonitor::Change::Network) {
                                                 networkChanged("the network changed");
                                             } else {
                                                 readSystemResolvers();
                                             }
                                         });
    if (!m_network->start()) {
        m_log.warning("network changes will not be noticed");
    }
    m_sleep = std::make_unique<SleepWatcher>(m_io, [this] { networkChanged("woke from sleep"); });
    std::string error;
    if (!m_sleep->start(m_options.loginBus, &error)) {
        m_log.info("wake-ups from sleep will not be noticed (" + error + ")");
        m_sleep.reset();
    }
}

void CoreService::networkChanged(const std::string& why)
{
    ++m_networkChanges;
    // Pooled node connections were made from addresses and routes that may be gone; a dial
    // through one would hang until its time-out.
    m_log.info(why + ": dropping pooled node connections");
    m_ferrow->clearPools();
    readSystemResolvers();
    if (m_tun) {
        m_tun->checkRouting();
    }
}

void CoreService::readSystemResolvers()
{
    if (!m_tun) {
        return; // without the tunnel the system's resolver is asked directly
    }
    std::vector<std::string> servers;
    for (const auto& server : tun::systemNameservers()) {
        // The tunnel's own resolver, listed for its link by systemd-resolved, would ask itself.
        const auto address = IpAddr::parse(server);
        if (address && !tun::isTunnelAddress(*address)) {
            servers.push_back(server);
        }
    }
    if (servers.empty() || servers == m_systemDnsServers) {
        return;
    }
    std::string list;
    for (const auto& server : servers) {
        list += (list.empty() ? "" : ", ") + server;
    }
    m_log.info("the system's DNS servers are now " + list);
    m_systemDnsServers = std::move(servers);
}

std::vector<std::string> CoreService::upstreamDnsServers() const
{
    if (m_runtime && !m_runtime->config.general.dnsServers.empty()) {
        return m_runtime->config.general.dnsServers;
    }
    return m_systemDnsServers;
}

bool CoreService::foldTraffic()
{
    const std::uint64_t uplink = m_uplink.load();
    const std::uint64_t downlink = m_downlink.load();
    const auto up = uplink - m_foldedUp;
    const auto down = downlink - m_foldedDown;
    if (up || down) {
        m_statistics.add(up, down, std::time(nullptr));
        m_foldedUp = uplink;
        m_foldedDown = downlink;
    }
    return up || down;
}

void CoreService::trimHeapWhenQuiet(bool trafficMoved)
{
    // A burst leaves its buffers in the allocator's free lists; once traffic has stopped for a
    // while they go back to the system (a trim took a burst's 100 MB resident down to 37 MB).
    if (trafficMoved) {
        m_quietSeconds = 0;
        m_heapTrimmed = false;
    } else if (++m_quietSeconds >= kTrimAfterQuietSeconds && !m_heapTrimmed) {
        ::malloc_trim(0);
        m_heapTrimmed = true;
    }
}

asio::awaitable<void> CoreService::fetchCountryDatabase()
{
    const auto url = m_runtime->config.general.geoipMaxmindUrl;
    m_log.info("downloading the country database from " + url);
    const auto result =
        co_await httpFetch(m_resolver, url, std::chrono::seconds(120), std::size_t{128} * 1024 * 1024);
    if (!result.ok) {
        m_log.warning("country database download failed: " + result.error);
        m_events.add("Country database update failed", url + ": " + result.error);
        co_return;
    }
    // Only a file the library can open replaces what is on disk.
    const auto path = supportFolder() + "/Country.mmdb";
    std::string error;
    const auto usable = [](const std::string& temporary) {
        GeoIpDatabase probe;
        std::string problem;
        return probe.open(temporary, &problem) ? std::string() : (problem.empty() ? "not readable" : problem);
    };
    if (!writeFileAtomically(path, result.body, &error, usable, ".download")) {
        m_log.warning("country database from " + url + " is not usable: " + error);
        co_return;
    }
    m_geoIpWarned = false;
    const auto reloaded = reload();
    if (!reloaded.empty()) {
        m_log.warning("country database saved, but the configuration no longer loads: " + reloaded);
    }
}

asio::awaitable<void> CoreService::housekeeping()
{
    asio::co_spawn(m_io, m_ruleSets->updateStale(m_resolver), asio::detached);
    if (m_runtime->usesGeoIp && !m_countries && !m_runtime->config.general.geoipMaxmindUrl.empty()) {
        asio::co_spawn(m_io, fetchCountryDatabase(), asio::detached);
    }
    int seconds = 0;
    while (!m_stopped) {
        co_await testGroups(true);
        m_tick.expires_after(std::chrono::seconds(1));
        auto [error] = co_await m_tick.async_wait(useTuple);
        if (error || m_stopped) {
            break;
        }
        ++seconds;
        trimHeapWhenQuiet(foldTraffic());
        m_history.fold(m_connections, std::time(nullptr));
        if (seconds % kStatisticsFlushSeconds == 0) {
            std::string saveError;
            if (!m_statistics.save(&saveError)) {
                m_log.warning("statistics not saved: " + saveError);
            }
            if (std::string historyError; !m_history.save(&historyError)) {
                m_log.warning("traffic history not saved: " + historyError);
            }
        }
        if (seconds % kRuleSetCheckSeconds == 0) {
            asio::co_spawn(m_io, m_ruleSets->updateStale(m_resolver), asio::detached);
        }
    }
}

asio::awaitable<void> CoreService::testGroups(bool onlyDue)
{
    const auto now = std::chrono::steady_clock::now();
    std::set<std::string> members;
    for (const auto& group : m_groups.groups()) {
        if (group.type != GroupType::UrlTest && group.type != GroupType::Fallback &&
            group.type != GroupType::LoadBalance) {
            continue;
        }
        auto& next = m_nextGroupTest[group.name];
        if (onlyDue && next > now) {
            continue;
        }
        next = now + std::chrono::seconds(group.intervalSeconds);
        members.insert(group.members.begin(), group.members.end());
    }
    for (const auto& member : members) {
        asio::co_spawn(
            m_io,
            [this, member]() -> asio::awaitable<void> {
                const DelayResult delay = co_await measureDelay(member);
                m_groups.setDelay(member, delay.ms);
            },
            asio::detached);
    }
    co_return;
}

asio::awaitable<Route> CoreService::route(const RouteQuery& query)
{
    Route route;
    route.pinned = query.address;
    const auto steering = m_steering.load(); // a reload during resolution must not pull the rules away
    const auto& runtime = steering->runtime;
    std::string policy = "DIRECT";
    if (steering->mode == "direct") {
        route.rule = "direct mode";
    } else if (steering->mode == "global") {
        policy = steering->globalPolicy;
        route.rule = "global mode";
    } else {
        MatchInput input;
        input.host = query.host;
        input.network = query.network;
        if (const auto literal = query.address ? query.address : IpAddr::parse(query.host)) {
            input.addressState = MatchInput::Address::Known;
            input.destination = *literal;
            route.addresses.push_back(*literal);
        }
        input.source = query.source;
        input.sourcePort = query.sourcePort;
        input.destinationPort = query.port;
        ProbedProcess process;
        input.process = &process;
        MatchOutcome outcome;
        while (true) {
            outcome = runtime->rules->match(input);
            if (process.needsLookup()) {
                // Only a rule that reached a PROCESS-NAME/PATH test waits, and not for long.
                std::optional<ProcessInfo> info;
                if (query.source.isLoopback() || tun::isThisMachine(query.source)) {
                    // Not a conditional expression: GCC 12 destroys a co_await result in one twice.
                    info = co_await lookupProcess(query);
                }
                if (query.record) {
                    query.record->processLooked = true;
                    query.record->processSettled = true;
                    query.record->process = info ? info->name : std::string();
                    query.record->processPath = info ? info->path : std::string();
                }
                process.set(std::move(info));
                continue;
            }
            if (outcome.status != MatchOutcome::Status::NeedAddress) {
                break;
            }
            const auto resolved = co_await resolveName(query.host);
            if (resolved.addresses.empty()) {
                input.addressState = MatchInput::Address::Unavailable;
            } else {
                input.addressState = MatchInput::Address::Known;
                input.destination = resolved.addresses.front();
                route.addresses = resolved.addresses;
            }
        }
        if (outcome.status == MatchOutcome::Status::Matched) {
            policy = runtime->rulePolicies[outcome.index];
            route.rule = runtime->rules->ruleSpec(outcome.index).text();
        } else {
            route.rule = "no rule matched";
        }
    }
    const auto resolution = m_groups.resolve(policy, {query.host, query.source.toString()});
    route.policy = resolution.final;
    for (const auto& group : resolution.chain) {
        route.chain += group + " > ";
    }
    if (!route.chain.empty()) {
        route.chain += resolution.final;
    }
    co_return route;
}

std::string CoreService::refusedDestination(std::vector<IpAddr>& addresses, std::uint16_t port,
                                            const IpAddr& client)
{
    // Through any of this machine's addresses, our own port leads back to us: each pass of such
    // a loop would take two more descriptors.
    if (const auto own = m_proxy ? m_proxy->port() : 0; own != 0 && port == own) {
        for (const auto& address : addresses) {
            if (address.isLoopback() || m_localAddresses.isPrivateToThisMachine(address)) {
                return "refusing to connect the proxy to itself";
            }
        }
    }
    // A client on another machine (LAN sharing) reaches the network, never services that
    // listen on this machine's loopback, link-local or own addresses.
    if (!client.isLoopback()) {
        const auto before = addresses.size();
        std::erase_if(addresses, [this](const IpAddr& address) {
            return m_localAddresses.isPrivateToThisMachine(address);
        });
        if (addresses.empty() && before > 0) {
            return "this machine's own and loopback addresses are not reachable for other devices";
        }
    }
    return {};
}

asio::awaitable<DialResult> CoreService::dial(const Route& route, const std::string& host, std::uint16_t port,
                                              const IpAddr& client, bool tunnel)
{
    DialResult result;
    const std::string target = HostPort{host, port}.toString();
    if (route.policy == "REJECT") {
        result.error = "blocked by " + route.rule;
        result.reply = socks5::NotAllowed;
        result.httpStatus = 403;
        m_log.info("REJECT " + target + " (" + route.rule + ")");
        co_return result;
    }
    if (route.policy != "DIRECT") {
        const auto steering = m_steering.load(); // holds the node while it is dialled
        const auto* node = steering->runtime->config.findProxy(route.policy);
        if (node && node->protocol == "ferrow") {
            // A name sniffed from the stream is for the rules only: the node gets the address too.
            // Named first: GCC 12 mishandles temporaries made inside a co_await expression.
            const std::string destination = route.pinned ? route.pinned->toString() : host;
            auto dialled = m_ferrow->dial(*node, destination, port, tunnel);
            co_return co_await std::move(dialled);
        }
        if (node) {
            result.error = "node \"" + route.policy + "\" uses protocol \"" + node->protocol +
                           "\", which this build cannot speak";
        } else {
            result.error = "policy \"" + route.policy + "\" no longer exists";
        }
        m_log.warning("connection to " + target + " failed: " + result.error);
        co_return result;
    }
    std::vector<IpAddr> addresses = route.pinned ? std::vector<IpAddr>{*route.pinned} : route.addresses;
    if (addresses.empty()) {
        const auto resolved = co_await resolveName(host);
        if (resolved.addresses.empty()) {
            result.error = "cannot resolve " + host + ": " + resolved.error;
            result.reply = socks5::HostUnreachable;
            m_log.warning("DIRECT " + target + ": " + result.error);
            co_return result;
        }
        addresses = resolved.addresses;
    }
    if (const auto refusal = refusedDestination(addresses, port, client); !refusal.empty()) {
        result.error = refusal;
        result.reply = socks5::NotAllowed;
        result.httpStatus = 403;
        m_log.warning("DIRECT " + target + " from " + client.toString() + ": " + result.error);
        co_return result;
    }
    auto executor = co_await asio::this_coro::executor;
    boost::system::error_code lastError;
    for (const auto& address : addresses) {
        tcp::socket socket(executor);
        boost::system::error_code openError;
        socket.open(address.v6 ? tcp::v6() : tcp::v4(), openError);
        if (openError || !markOutbound(socket.native_handle())) {
            lastError = openError ? openError : asio::error::access_denied;
            continue;
        }
        const auto error =
            co_await connectWithin(socket, tcp::endpoint(toAsio(address), port), kConnectTimeout);
        if (!error) {
            boost::system::error_code ignored;
            socket.set_option(tcp::no_delay(true), ignored);
            result.socket.emplace(std::move(socket));
            result.protocol = address.v6 ? tcp::v6() : tcp::v4();
            co_return result;
        }
        lastError = error;
    }
    result.error = "cannot connect to " + target + ": " + lastError.message();
    if (lastError == asio::error::connection_refused) {
        result.reply = socks5::ConnectionRefused;
    } else if (lastError == asio::error::network_unreachable) {
        result.reply = socks5::NetworkUnreachable;
    } else if (lastError == asio::error::timed_out) {
        result.reply = socks5::TtlExpired;
        result.httpStatus = 504;
    } else {
        result.reply = socks5::HostUnreachable;
    }
    m_log.warning("DIRECT " + result.error);
    co_return result;
}

asio::awaitable<std::unique_ptr<proto::DatagramStream>>
CoreService::openDatagrams(const std::string& policy, std::string& error, bool& carriesUdp)
{
    const auto* node = m_runtime->config.findProxy(policy);
    carriesUdp = node && node->protocol == "ferrow";
    if (!carriesUdp) {
        error = node ? "node \"" + policy + "\" uses protocol \"" + node->protocol +
                           "\", which cannot carry UDP here"
                     : "policy \"" + policy + "\" no longer exists";
        co_return nullptr;
    }
    auto opened = m_ferrow->openDatagrams(*node, error);
    co_return co_await std::move(opened);
}

std::optional<std::string> CoreService::fakeName(const IpAddr& address) const
{
    return m_tun ? m_tun->nameFor(address) : std::nullopt;
}

asio::awaitable<std::optional<ProcessInfo>> CoreService::lookupProcess(const RouteQuery& query)
{
    struct Pending {
        explicit Pending(const asio::any_io_executor& executor) : timer(executor, kProcessWait) {}
        asio::steady_timer timer;
        std::optional<ProcessInfo> info;
    };
    // The answer comes back to the thread that asked (a lane, or the main one for the tunnel).
    const auto executor = co_await asio::this_coro::executor;
    auto pending = std::make_shared<Pending>(executor);
    const SocketKey key{query.source, query.sourcePort, query.local, query.localPort};
    const bool queued =
        m_attribution->request(key, [weak = std::weak_ptr<Pending>(pending), executor](auto info) {
            asio::post(executor, [weak, info = std::move(info)]() mutable {
                if (const auto waiting = weak.lock()) {
                    waiting->info = std::move(info);
                    waiting->timer.cancel();
                }
            });
        });
    if (!queued) {
        co_return std::nullopt;
    }
    co_await pending->timer.async_wait(useTuple);
    co_return std::move(pending->info);
}

void CoreService::attributeConnections()
{
    const auto executor = m_io.get_executor();
    m_connections.forEachUnlooked([&](const std::shared_ptr<ConnectionRecord>& record) {
        if (!(record->source.isLoopback() || tun::isThisMachine(record->source))) {
            record->processLooked = true;
            record->processSettled = true;
            return;
        }
        const SocketKey key{record->source, record->sourcePort, record->local, record->localPort};
        record->processLooked = m_attribution->request(
            key, [weak = std::weak_ptr<ConnectionRecord>(record), executor](auto info) {
                asio::post(executor, [weak, info = std::move(info)] {
                    const auto target = weak.lock();
                    if (!target) {
                        return;
                    }
                    target->processSettled = true;
                    if (info) {
                        target->process = info->name;
                        target->processPath = info->path;
                    }
                });
            });
    });
}

asio::awaitable<DialResult> CoreService::dialNodeServer(std::string host, std::uint16_t port)
{
    Route direct;
    direct.policy = "DIRECT";
    direct.rule = "underlying-proxy";
    auto dialled = dial(direct, host, port, *IpAddr::parse("127.0.0.1"));
    co_return co_await std::move(dialled);
}

asio::awaitable<void> CoreService::relayFerrow(tcp::socket& client, std::shared_ptr<proto::FerrowWire>& wire,
                                               std::string& initial, TrafficMeter meter,
                                               std::optional<tcp> clientProtocol)
{
    auto relay = FerrowDialer::relay(client, clientProtocol, std::move(wire), std::move(initial), meter,
                                     relayExecutorFor(client), relayIdleTimeout());
    co_await std::move(relay);
}

asio::awaitable<DelayResult> CoreService::measureDelay(std::string policy)
{
    if (!m_runtime || !m_runtime->config.hasPolicy(policy)) {
        co_return DelayResult{-1, "failed"};
    }
    const auto resolution = m_groups.resolve(policy, {});
    if (resolution.final == "REJECT") {
        co_return DelayResult{-1, "rejected"};
    }
    if (resolution.final != "DIRECT") {
        const auto* node = m_runtime->config.findProxy(resolution.final);
        if (node && node->protocol == "ferrow") {
            co_return co_await m_ferrow->measureDelay(*node);
        }
        m_log.warning("delay test of \"" + resolution.final + "\": this build cannot reach the node");
        co_return DelayResult{-1, "failed"};
    }
    const auto started = std::chrono::steady_clock::now();
    const auto result =
        co_await httpFetch(m_resolver, m_runtime->config.general.proxyTestUrl,
                           std::chrono::duration_cast<std::chrono::milliseconds>(kDelayTestTimeout),
                           std::size_t{64} * 1024, FetchExtent::HeadersOnly);
    if (result.status == 0) {
        co_return DelayResult{-1, failureKind(result.error)};
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
            .count();
    co_return DelayResult{static_cast<int>(std::max<std::int64_t>(1, elapsed)), {}};
}

CoreStatus CoreService::status() const
{
    return {m_uplink.load(),           m_downlink.load(),        m_mode,
            m_connections.openCount(), m_ferrow->failingNodes(), m_networkChanges};
}

const TrafficHistory& CoreService::foldedHistory()
{
    m_history.fold(m_connections, std::time(nullptr));
    return m_history.history();
}

const TrafficStatistics& CoreService::foldedStatistics()
{
    foldTraffic();
    return m_statistics;
}

const ConnectionRegistry& CoreService::attributedConnections()
{
    attributeConnections();
    return m_connections;
}

OutboundState CoreService::outbound() const
{
    return {m_mode, m_globalPolicy, globalNodes()};
}

void CoreService::setOutbound(const std::string& mode, const std::string& globalPolicy)
{
    if (!globalPolicy.empty()) {
        m_globalPolicy = globalPolicy;
    }
    if (mode != m_mode || mode == "global") {
        m_log.info("outbound mode: " + mode + (mode == "global" ? " through " + m_globalPolicy : ""));
    }
    m_mode = mode;
    publishSteering();
}

bool CoreService::select(const std::string& group, const std::string& member, std::string* error)
{
    if (!m_groups.select(group, member, error)) {
        m_log.warning("selection refused: " + *error);
        return false;
    }
    m_log.info("group " + group + " now uses " + member);
    return true;
}

SocksState CoreService::socks() const
{
    return {m_proxy && m_proxy->running(), m_proxy ? m_proxy->address() : std::string()};
}

std::string CoreService::listenSocks(const std::string& address)
{
    if (!m_proxy) {
        m_proxy = std::make_unique<ProxyServer>(m_lanes, *this);
    }
    if (address.empty()) {
        m_proxy->closeListener();
        m_log.info("proxy listener closed");
        return {};
    }
    if (m_proxy->running() && HostPort::parse(address) && HostPort::parse(m_proxy->address()) &&
        HostPort::parse(address)->toString() == m_proxy->address()) {
        return {};
    }
    std::string error;
    if (!m_proxy->listen(address, &error)) {
        m_log.warning("proxy listener not moved: " + error);
        return error;
    }
    m_log.info("HTTP and SOCKS5 proxy listening on " + m_proxy->address());
    return {};
}

asio::awaitable<DelayResult> CoreService::testPolicy(std::string policy)
{
    const DelayResult delay = co_await measureDelay(policy);
    if (m_groups.find(policy) == nullptr) {
        m_groups.setDelay(policy, delay.ms);
    }
    co_return delay;
}

asio::awaitable<void> CoreService::updateRuleSets()
{
    auto update = m_ruleSets->updateAll(m_resolver);
    co_await std::move(update);
}

} // namespace ferrow::core
