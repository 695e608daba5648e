#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ApiTypes.h"
#include "AsioSupport.h"
#include "DialResult.h"

namespace ferrow::core {

class ConnectionRegistry;
class EventLog;
class LogStream;
class PolicyGroups;
class RuleSetStore;
class TrafficHistory;
class TrafficStatistics;

struct CoreStatus {
    std::uint64_t uplink = 0;
    std::uint64_t downlink = 0;
    std::string mode;
    std::size_t connections = 0;
    std::vector<std::string> failing;
    std::uint64_t networkChanges = 0; // other networks and wake-ups seen since the start
};

struct OutboundState {
    std::string mode;
    std::string global;
    std::vector<std::string> nodes; // what global mode may go through
};

struct SocksState {
    bool running = false;
    std::string address;
};

/// What the controller reads of the running core.
class CoreReadout {
public:
    virtual ~CoreReadout() = default;
    virtual CoreStatus status() const = 0;
    /// The totals, with the traffic up to now added.
    virtual const TrafficStatistics& foldedStatistics() = 0;
    /// The per-program, device, domain and policy history, with the traffic up to now added.
    virtual const TrafficHistory& foldedHistory() = 0;
    /// Open and recent connections; the programs of those not looked at yet are asked for.
    virtual const ConnectionRegistry& attributedConnections() = 0;
    virtual const PolicyGroups& policyGroups() const = 0;
    virtual const LogStream& logStream() const = 0;
    virtual const EventLog& eventLog() const = 0;
    virtual const RuleSetStore& ruleSetStore() const = 0;
};

/// What the controller may change. Each operation logs what it did.
class CoreControl {
public:
    virtual ~CoreControl() = default;
    virtual OutboundState outbound() const = 0;
    /// `mode` is direct, global or rule; a non-empty `globalPolicy` is one of outbound().nodes or
    /// DIRECT.
    virtual void setOutbound(const std::string& mode, const std::string& globalPolicy) = 0;
    virtual bool select(const std::string& group, const std::string& member, std::string* error) = 0;
    virtual SocksState socks() const = 0;
    /// Moves the proxy listener to `address`, or closes it for an empty one; empty on success,
    /// else why not.
    virtual std::string listenSocks(const std::string& address) = 0;
    /// A delay test of a proxy or group; a proxy's result steers the groups that hold it.
    virtual asio::awaitable<DelayResult> testPolicy(std::string policy) = 0;
    virtual asio::awaitable<void> updateRuleSets() = 0;
    /// Empty on success, else "line N: reason".
    virtual std::string reload() = 0;
    virtual void stop(const std::string& why) = 0;
};

/// The controller API's endpoints: answers one authorised request from what the core reads and
/// changes through its two interfaces.
class ControlApi {
public:
    ControlApi(CoreReadout& readout, CoreControl& control) : m_readout(readout), m_control(control) {}

    asio::awaitable<ApiResponse> handleApi(ApiRequest request);

private:
    ApiResponse status();
    ApiResponse stats();
    ApiResponse connections();
    ApiResponse history(const ApiRequest& request);
    ApiResponse outbound(const ApiRequest& request);
    ApiResponse groups();
    ApiResponse logs(const ApiRequest& request);
    asio::awaitable<ApiResponse> test(const ApiRequest& request);
    ApiResponse select(const ApiRequest& request);
    ApiResponse socks(const ApiRequest& request);
    asio::awaitable<ApiResponse> ruleSets(const ApiRequest& request);
    ApiResponse events(const ApiRequest& request);

    CoreReadout& m_readout;
    CoreControl& m_control;
};

} // namespace ferrow::core
