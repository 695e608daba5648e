#include "PolicyGroups.h"

#include <algorithm>
#include <functional>

namespace ferrow::core {

namespace {

// FNV-1a: stable across runs, so a site keeps its member after a restart.
std::uint64_t stableHash(std::string_view a, std::string_view b)
{
    std::uint64_t hash = 1469598103934665603ull;
    for (std::string_view part : {a, std::string_view("\x1f", 1), b}) {
        for (char c : part) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

// "a.b.example.com" and "example.com" share a site; addresses stand for themselves.
std::string siteOf(const std::string& host)
{
    if (host.find(':') != std::string::npos || IpAddr::parse(host)) {
        return host;
    }
    const auto last = host.rfind('.');
    if (last == std::string::npos || last == 0) {
        return host;
    }
    const auto previous = host.rfind('.', last - 1);
    return previous == std::string::npos ? host : host.substr(previous + 1);
}

} // namespace

void PolicyGroups::configure(const ProfileConfig& config)
{
    const std::lock_guard lock(m_mutex);
    m_groups = config.groups;
    std::map<std::string, std::string> kept;
    for (const auto& group : m_groups) {
        const auto it = m_selected.find(group.name);
        if (it != m_selected.end() &&
            std::find(group.members.begin(), group.members.end(), it->second) != group.members.end()) {
            kept[group.name] = it->second;
        }
    }
    m_selected = std::move(kept);
    m_lastUsed.clear();
    m_roundRobin.clear();
}

const ProxyGroupConfig* PolicyGroups::find(const std::string& name) const
{
    for (const auto& group : m_groups) {
        if (group.name == name) {
            return &group;
        }
    }
    return nullptr;
}

bool PolicyGroups::select(const std::string& groupName, const std::string& member, std::string* error)
{
    const std::lock_guard lock(m_mutex);
    const auto* group = find(groupName);
    if (!group) {
        *error = "no group named \"" + groupName + "\"";
        return false;
    }
    if (std::find(group->members.begin(), group->members.end(), member) == group->members.end()) {
        *error = "\"" + member + "\" is not a member of \"" + groupName + "\"";
        return false;
    }
    if (group->type != GroupType::Select) {
        *error = "\"" + groupName + "\" is a " + group->typeText + " group and chooses its member itself";
        return false;
    }
    m_selected[groupName] = member;
    return true;
}

void PolicyGroups::setDelay(const std::string& policy, int milliseconds)
{
    const std::lock_guard lock(m_mutex);
    m_delays[policy] = milliseconds;
}

std::optional<int> PolicyGroups::delay(const std::string& policy) const
{
    const std::lock_guard lock(m_mutex);
    return delayLocked(policy);
}

std::optional<int> PolicyGroups::delayLocked(const std::string& policy) const
{
    const auto it = m_delays.find(policy);
    if (it == m_delays.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::string PolicyGroups::current(const std::string& groupName) const
{
    const std::lock_guard lock(m_mutex);
    return currentLocked(groupName);
}

std::string PolicyGroups::currentLocked(const std::string& groupName) const
{
    const auto* group = find(groupName);
    if (!group || group->members.empty()) {
        return {};
    }
    const auto& members = group->members;
    switch (group->type) {
    case GroupType::Select: {
        const auto it = m_selected.find(groupName);
        return it == m_selected.end() ? members.front() : it->second;
    }
    case GroupType::UrlTest: {
        std::string best = members.front();
        int bestDelay = -1;
        for (const auto& member : members) {
            const auto measured = delayLocked(member);
            if (measured && *measured >= 0 && (bestDelay < 0 || *measured < bestDelay)) {
                best = member;
                bestDelay = *measured;
            }
        }
        return best;
    }
    case GroupType::Fallback:
        for (const auto& member : members) {
            const auto measured = delayLocked(member);
            if (!measured || *measured >= 0) {
                return member; // untested members count as alive until a test says otherwise
            }
        }
        return members.front();
    case GroupType::LoadBalance: {
        const auto it = m_lastUsed.find(groupName);
        return it == m_lastUsed.end() ? members.front() : it->second;
    }
    }
    return members.front();
}

std::string PolicyGroups::choose(const ProxyGroupConfig& group, const Key& key)
{
    if (group.type != GroupType::LoadBalance) {
        return currentLocked(group.name);
    }
    // Members known to be down are skipped while any other is left.
    std::vector<const std::string*> alive;
    for (const auto& member : group.members) {
        const auto measured = delayLocked(member);
        if (!measured || *measured >= 0) {
            alive.push_back(&member);
        }
    }
    if (alive.empty()) {
        for (const auto& member : group.members) {
            alive.push_back(&member);
        }
    }
    std::string chosen;
    switch (group.strategy) {
    case BalanceStrategy::RoundRobin: {
        auto& counter = m_roundRobin[group.name];
        chosen = *alive[counter++ % alive.size()];
        break;
    }
    case BalanceStrategy::ConsistentHashing:
    case BalanceStrategy::StickySessions: {
        // Rendezvous hashing: adding or removing a member moves only the keys it wins or loses.
        const std::string site =
            group.strategy == BalanceStrategy::StickySessions ? key.source : siteOf(key.host);
        std::uint64_t best = 0;
        for (const auto* member : alive) {
            const auto score = stableHash(site, *member);
            if (chosen.empty() || score > best) {
                best = score;
                chosen = *member;
            }
        }
        break;
    }
    }
    m_lastUsed[group.name] = chosen;
    return chosen;
}

PolicyGroups::Resolution PolicyGroups::resolve(const std::string& policy, const Key& key)
{
    // One lock for the whole walk: a lane sees one configuration from top to bottom.
    const std::lock_guard lock(m_mutex);
    Resolution resolution;
    std::string name = policy;
    // Profiles are checked for cycles on load; the bound is a second line of defence.
    for (int depth = 0; depth < 32; ++depth) {
        const auto* group = find(name);
        if (!group) {
            resolution.final = name;
            return resolution;
        }
        resolution.chain.push_back(name);
        if (group->members.empty()) {
            resolution.final = "REJECT";
            return resolution;
        }
        name = choose(*group, key);
    }
    resolution.final = "REJECT";
    return resolution;
}

} // namespace ferrow::core
