#pragma once

#include "NetAddress.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

/// Fake addresses from 198.18.0.0/15 handed out for names, and the way back. Addresses are given
/// in turn; when the range is used up the oldest name loses its address.
class FakeIpPool {
public:
    FakeIpPool();

    core::IpAddr addressFor(const std::string& name);
    /// The name behind a fake address; nullopt for other addresses and forgotten ones.
    std::optional<std::string> nameFor(const core::IpAddr& address) const;
    static bool isFake(const core::IpAddr& address);

private:
    std::uint32_t m_next;
    std::map<std::string, std::uint32_t> m_byName;
    std::map<std::uint32_t, std::string> m_byAddress;
};

} // namespace ferrow::tun
