#pragma once

#include <chrono>
#include <vector>

#include "NetAddress.h"

namespace ferrow::core {

/// This machine's own interface addresses, read with getifaddrs and re-read at most every few
/// seconds, so checking a destination per connection stays cheap while addresses come and go.
class LocalAddresses {
public:
    bool isOwn(const IpAddr& address);

    /// Destinations a client on another machine must never reach through us: loopback,
    /// link-local, unspecified and this machine's own addresses.
    bool isPrivateToThisMachine(const IpAddr& address);

private:
    void refresh();

    std::vector<IpAddr> m_addresses;
    std::chrono::steady_clock::time_point m_readAt{};
};

} // namespace ferrow::core
