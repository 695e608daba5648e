#include "LocalAddresses.h"

#include <algorithm>
#include <cstring>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <optional>
#include <utility>

namespace ferrow::core {

namespace {

constexpr auto kRefreshAfter = std::chrono::seconds(2);

std::optional<IpAddr> fromSockaddr(const sockaddr* address)
{
    if (address == nullptr) {
        return std::nullopt;
    }
    IpAddr out;
    if (address->sa_family == AF_INET) {
        std::memcpy(out.bytes.data(), &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, 4);
        return out;
    }
    if (address->sa_family == AF_INET6) {
        std::memcpy(out.bytes.data(), &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, 16);
        out.v6 = true;
        return out.folded();
    }
    return std::nullopt;
}

std::optional<std::vector<IpAddr>> readAddresses()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return std::nullopt;
    }
    std::vector<IpAddr> addresses;
    for (const ifaddrs* item = list; item; item = item->ifa_next) {
        if (const auto address = fromSockaddr(item->ifa_addr)) {
            addresses.push_back(*address);
        }
    }
    ::freeifaddrs(list);
    return addresses;
}

} // namespace

void LocalAddresses::refresh()
{
    const auto now = std::chrono::steady_clock::now();
    std::unique_lock lock(m_mutex);
    if (m_read && now - m_readAt < kRefreshAfter) {
        return;
    }
    m_readAt = now;
    if (!m_read) {
        // Nothing to answer with yet: everyone waits for the first read.
        m_read = true;
        if (auto fresh = readAddresses()) {
            m_addresses = std::move(*fresh);
        }
        return;
    }
    // Later reads happen off the lock; other threads use the previous list meanwhile.
    lock.unlock();
    auto fresh = readAddresses();
    if (!fresh) {
        return; // keep what we knew
    }
    lock.lock();
    m_addresses = std::move(*fresh);
}

bool LocalAddresses::isOwn(const IpAddr& address)
{
    refresh();
    const auto folded = address.folded();
    const std::lock_guard lock(m_mutex);
    return std::find(m_addresses.begin(), m_addresses.end(), folded) != m_addresses.end();
}

bool LocalAddresses::isPrivateToThisMachine(const IpAddr& address)
{
    static const Cidr ranges[] = {*Cidr::parse("127.0.0.0/8"), *Cidr::parse("169.254.0.0/16"),
                                  *Cidr::parse("0.0.0.0/8"),   *Cidr::parse("::1/128"),
                                  *Cidr::parse("::/128"),      *Cidr::parse("fe80::/10")};
    for (const auto& range : ranges) {
        if (range.contains(address)) {
            return true;
        }
    }
    return isOwn(address);
}

} // namespace ferrow::core
