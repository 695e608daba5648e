#include "LocalAddresses.h"

#include <algorithm>
#include <cstring>
#include <ifaddrs.h>
#include <netinet/in.h>

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

} // namespace

void LocalAddresses::refresh()
{
    const auto now = std::chrono::steady_clock::now();
    if (m_readAt != std::chrono::steady_clock::time_point{} && now - m_readAt < kRefreshAfter) {
        return;
    }
    m_readAt = now;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return; // keep what we knew
    }
    m_addresses.clear();
    for (const ifaddrs* item = list; item; item = item->ifa_next) {
        if (const auto address = fromSockaddr(item->ifa_addr)) {
            m_addresses.push_back(*address);
        }
    }
    ::freeifaddrs(list);
}

bool LocalAddresses::isOwn(const IpAddr& address)
{
    refresh();
    return std::find(m_addresses.begin(), m_addresses.end(), address.folded()) != m_addresses.end();
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
