#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "NetAddress.h"
#include "ProfileConfig.h"

namespace ferrow::core {

/// The live state of the profile's policy groups: the member chosen in each select group, the
/// measured delays that steer url-test and fallback groups, and the load-balance counters.
/// Everything but groups() and find() may be called from any thread.
class PolicyGroups {
public:
    /// Takes the groups of a (new) profile. A select group keeps its chosen member across
    /// reloads while that member still exists; measured delays are kept by name.
    void configure(const ProfileConfig& config);

    /// Chooses a member of a select group. Other group types refuse: they choose for themselves.
    bool select(const std::string& group, const std::string& member, std::string* error);

    /// What a connection is steered by, for load-balance groups.
    struct Key {
        std::string host;
        std::string source;
    };
    struct Resolution {
        std::string final;              // DIRECT, REJECT or a proxy name
        std::vector<std::string> chain; // the groups passed through, outermost first
    };
    /// Follows groups down to DIRECT, REJECT or a proxy.
    Resolution resolve(const std::string& policy, const Key& key);

    /// The member a group uses now (without advancing round-robin).
    std::string current(const std::string& group) const;

    /// Records a delay test result; -1 means the policy did not answer.
    void setDelay(const std::string& policy, int milliseconds);
    std::optional<int> delay(const std::string& policy) const;

    // These hand out references into the configured groups, which configure() replaces: they are
    // for the thread that configures (the main thread) only.
    const std::vector<ProxyGroupConfig>& groups() const { return m_groups; }
    const ProxyGroupConfig* find(const std::string& name) const;

private:
    // The helpers below expect m_mutex held.
    std::string choose(const ProxyGroupConfig& group, const Key& key);
    std::string currentLocked(const std::string& group) const;
    std::optional<int> delayLocked(const std::string& policy) const;

    mutable std::mutex m_mutex;

    std::vector<ProxyGroupConfig> m_groups;
    std::map<std::string, std::string> m_selected;
    std::map<std::string, std::string> m_lastUsed;
    std::map<std::string, std::size_t> m_roundRobin;
    std::map<std::string, int> m_delays;
};

} // namespace ferrow::core
