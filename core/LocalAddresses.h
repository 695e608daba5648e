#pragma once

#include <chrono>
#include <mutex>
#include <vector>

#include "NetAddress.h"

namespace ferrow::core {

/// This machine's own interface addresses, read with getifaddrs and re-read at most every few
/// seconds, so checking a destination per connection stays cheap while addresses come and go.
/// Safe to use from any thread.
class LocalAddresses {
public:
    bool isOwn(const IpAddr& address);

    /// Destinations a client on another machine must never reach through us: loopback,
    /// link-local, unspecified and this machine's own addresses.
    bool isPrivateToThisMachine(const IpAddr& address);

private:
    void refresh();

    std::mutex m_mutex; // guards the list and when it was read
    std::vector<IpAddr> m_addresses;
    bool m_read = false; // the list has been read once
    std::chrono::steady_clock::time_point m_readAt{};
};

} // namespace ferrow::core
