#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

namespace ferrow::core {

/// A rejected profile: the 1-based line and why. Line 0 means the document as a whole.
struct ConfigError {
    int line = 0;
    std::string reason;

    std::string text() const;
};

struct GeneralSettings {
    std::size_t connectionHistory = 600;
    std::size_t logHistory = 4000;
    int relayIdleTimeout = 600;         // seconds a tunnel may carry nothing either way; 0: no limit
    std::size_t maxConnections = 16384; // concurrent proxy clients
    int responseTimeout = 120;          // seconds an origin may take to start an HTTP answer
    std::string proxyTestUrl = "http://www.gstatic.com/generate_204";
    std::string internetTestUrl = "http://connectivitycheck.gstatic.com/generate_204";
    std::string geoipMaxmindUrl;
    bool blockQuic = true;
    std::string udpPolicy = "reject";
    std::vector<std::string> dnsServers;   // empty: the system resolver
    std::vector<std::string> fakeIpFilter; // names the tunnel's DNS answers with real addresses
};

struct ProxyNode {
    std::string name;
    std::string protocol; // lower case, e.g. "ferrow"
    std::string server;
    std::uint16_t port = 0;
    std::map<std::string, std::string> options;
    int line = 0;
};

enum class GroupType { Select, UrlTest, Fallback, LoadBalance };
enum class BalanceStrategy { ConsistentHashing, RoundRobin, StickySessions };

struct ProxyGroupConfig {
    std::string name;
    std::string typeText; // as written in the profile
    GroupType type = GroupType::Select;
    BalanceStrategy strategy = BalanceStrategy::ConsistentHashing;
    std::vector<std::string> members;
    std::map<std::string, std::string> options;
    int intervalSeconds = 300; // url-test and fallback re-test period
    int line = 0;
};

struct RuleLine {
    std::string type;  // upper case
    std::string value; // empty for FINAL
    std::string policy;
    std::vector<std::string> options; // fields after the policy, e.g. "no-resolve"
    int line = 0;
};

/// The whole profile document as the core uses it.
struct ProfileConfig {
    GeneralSettings general;
    std::vector<ProxyNode> proxies;
    std::vector<ProxyGroupConfig> groups;
    std::vector<RuleLine> rules;

    const ProxyNode* findProxy(std::string_view name) const;
    const ProxyGroupConfig* findGroup(std::string_view name) const;
    /// DIRECT, REJECT, a proxy or a group.
    bool hasPolicy(std::string_view name) const;

    void addProxy(ProxyNode node);
    void addGroup(ProxyGroupConfig group);

private:
    // Name -> position, so that big profiles check group members in constant time. Lists filled
    // directly (tests do) fall back to a scan.
    std::unordered_map<std::string, std::size_t> m_proxyIndex;
    std::unordered_map<std::string, std::size_t> m_groupIndex;
};

/// Reads a profile document (LF or CR LF). Unknown sections and keys are ignored; anything the
/// core cannot use correctly is an error naming its line.
std::variant<ProfileConfig, ConfigError> parseProfile(std::string_view text);

} // namespace ferrow::core
