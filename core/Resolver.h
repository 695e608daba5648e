#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "AsioSupport.h"
#include "HostsFile.h"

namespace ferrow::core {

/// Name resolution for direct connections: the hosts file first, then the profile's DNS servers
/// over UDP with a time-out, or the system resolver when the profile names none.
class Resolver {
public:
    explicit Resolver(asio::any_io_executor executor);

    void configure(std::vector<std::string> dnsServers, HostsFile hosts);

    struct Result {
        std::vector<IpAddr> addresses;
        std::string error;
    };
    asio::awaitable<Result> resolve(std::string host);

private:
    asio::awaitable<Result> askServer(const std::string& server, const std::string& host, std::uint16_t type);

    struct CacheEntry {
        std::chrono::steady_clock::time_point expiry;
        std::vector<IpAddr> addresses;
    };

    asio::any_io_executor m_executor;
    std::vector<std::string> m_servers;
    HostsFile m_hosts;
    std::map<std::string, CacheEntry> m_cache;
    std::uint16_t m_nextId = 1;
};

} // namespace ferrow::core
