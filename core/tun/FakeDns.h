#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "NetAddress.h"

namespace ferrow::tun {

/// The one question of a DNS query.
struct DnsQuestion {
    std::uint16_t id = 0;
    std::string name; // lower case, without the final dot
    std::uint16_t type = 0;
    std::uint16_t klass = 0;
    std::size_t end = 0; // where the question section ends
};

/// Reads a standard query with exactly one question; nullopt for anything else.
std::optional<DnsQuestion> parseQuestion(std::string_view query);

/// The response to `query`: its question, then one record per address with `ttl`.
std::string buildAnswer(std::string_view query, const DnsQuestion& question,
                        const std::vector<core::IpAddr>& addresses, std::uint32_t ttl, int rcode = 0);

/// Whether `name` matches one of the filter's patterns: "name" exactly, "*.suffix" any name
/// below suffix, "+.suffix" suffix itself and any name below it, "*" everything.
bool matchesFilter(const std::vector<std::string>& patterns, std::string_view name);

/// Fake addresses from 198.18.0.0/15 handed out for names, and the way back.
///
/// Clients cache an answer well beyond its TTL and keep dialling the address, so an address
/// answered or used within the hold time, or carrying a live flow, is never given to another
/// name: whoever could make it change hands would receive the first name's traffic. Fresh
/// addresses go first, then the least recently used one past the hold time; when there is none,
/// or a source has had its share within the hold time, there is no fake address to give.
class FakeIpPool {
public:
    using Clock = std::chrono::steady_clock;
    struct Limits {
        std::chrono::seconds hold{std::chrono::minutes(15)};
        /// Addresses one source may be given within the hold time.
        std::size_t perSource = 16384;
        /// Addresses in the pool (the whole range by default).
        std::uint32_t size = (1u << 17) - 2;
    };

    FakeIpPool() : FakeIpPool(Limits{}) {}
    explicit FakeIpPool(Limits limits);

    /// The fake address of `name`, asked for by `source`; nothing when none may be given.
    std::optional<core::IpAddr> addressFor(const std::string& name, const core::IpAddr& source,
                                           Clock::time_point now);
    /// The name behind a fake address; nullopt for other addresses and forgotten ones.
    std::optional<std::string> nameFor(const core::IpAddr& address) const;
    /// Like nameFor, and counts as a use of the address now.
    std::optional<std::string> use(const core::IpAddr& address, Clock::time_point now);
    /// A flow to `address` begins or ends; while any is open the address keeps its name.
    void pin(const core::IpAddr& address);
    void unpin(const core::IpAddr& address, Clock::time_point now);
    static bool isFake(const core::IpAddr& address);

private:
    struct Entry {
        std::uint32_t address = 0;
        std::string name;
        Clock::time_point used;
        int pins = 0;
        std::list<std::uint32_t>::iterator place; // in m_idle while pins == 0
    };
    Entry* find(const core::IpAddr& address);
    const Entry* find(const core::IpAddr& address) const;
    bool withinShare(const std::string& source, Clock::time_point now);

    Limits m_limits;
    std::uint32_t m_fresh = 0; // addresses never given out so far
    std::unordered_map<std::uint32_t, Entry> m_byAddress;
    std::unordered_map<std::string, std::uint32_t> m_byName;
    /// Unpinned addresses, least recently used first.
    std::list<std::uint32_t> m_idle;
    /// When each source was given an address, within the hold time.
    std::map<std::string, std::deque<Clock::time_point>> m_grants;
    std::size_t m_grantsSinceSweep = 0;
    std::shared_ptr<const bool> m_alive = std::make_shared<const bool>(true);
    friend class FakeIpPin;
};

/// A flow's hold on its fake address for as long as it lives.
class FakeIpPin {
public:
    FakeIpPin(FakeIpPool& pool, const core::IpAddr& address)
        : m_pool(pool), m_alive(pool.m_alive), m_address(address)
    {
        m_pool.pin(m_address);
    }
    /// A flow's coroutine may end after the pool (at shutdown): then there is nothing to release.
    ~FakeIpPin()
    {
        if (!m_alive.expired()) {
            m_pool.unpin(m_address, FakeIpPool::Clock::now());
        }
    }
    FakeIpPin(const FakeIpPin&) = delete;
    FakeIpPin& operator=(const FakeIpPin&) = delete;

private:
    FakeIpPool& m_pool;
    std::weak_ptr<const bool> m_alive;
    core::IpAddr m_address;
};

} // namespace ferrow::tun
