#include "TargetPolicy.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ifaddrs.h>
#include <mutex>
#include <netinet/in.h>
#include <vector>

namespace ferrow::server {

namespace {

bool isPublicV4(const boost::asio::ip::address_v4& address)
{
    const std::uint32_t a = address.to_uint();
    auto in = [a](std::uint32_t base, int prefix) {
        const std::uint32_t mask = prefix == 0 ? 0 : ~std::uint32_t{0} << (32 - prefix);
        return (a & mask) == base;
    };
    return !(in(0x00000000, 8)      // "this network"
             || in(0x0a000000, 8)   // 10/8
             || in(0x64400000, 10)  // 100.64/10 shared (carrier-grade NAT)
             || in(0x7f000000, 8)   // loopback
             || in(0xa9fe0000, 16)  // link-local
             || in(0xac100000, 12)  // 172.16/12
             || in(0xc0000000, 24)  // IETF protocol assignments
             || in(0xc0a80000, 16)  // 192.168/16
             || in(0xc6120000, 15)  // 198.18/15 benchmarking
             || in(0xe0000000, 4)   // multicast
             || in(0xf0000000, 4)); // reserved and broadcast
}

} // namespace

bool isPublicAddress(const boost::asio::ip::address& address)
{
    if (address.is_v4()) {
        return isPublicV4(address.to_v4());
    }
    const auto v6 = address.to_v6();
    if (v6.is_v4_mapped()) {
        return isPublicV4(boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, v6));
    }
    const auto bytes = v6.to_bytes();
    if (v6.is_loopback() || v6.is_unspecified() || v6.is_multicast() || v6.is_link_local() ||
        v6.is_site_local()) {
        return false;
    }
    if ((bytes[0] & 0xfe) == 0xfc) { // fc00::/7 unique local
        return false;
    }
    // IPv4-compatible (::a.b.c.d), NAT64 (64:ff9b::/96) and 6to4 (2002::/16) embed IPv4
    // addresses that may lead back into private networks.
    bool compatible = true;
    for (int i = 0; i < 12; ++i) {
        compatible = compatible && bytes[i] == 0;
    }
    const bool nat64 = bytes[0] == 0x00 && bytes[1] == 0x64 && bytes[2] == 0xff && bytes[3] == 0x9b;
    if (compatible || nat64) {
        return isPublicV4(boost::asio::ip::address_v4({bytes[12], bytes[13], bytes[14], bytes[15]}));
    }
    if (bytes[0] == 0x20 && bytes[1] == 0x02) {
        return isPublicV4(boost::asio::ip::address_v4({bytes[2], bytes[3], bytes[4], bytes[5]}));
    }
    return true;
}

bool isOwnAddress(const boost::asio::ip::address& given)
{
    namespace ip = boost::asio::ip;
    auto address = given;
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        address = ip::make_address_v4(ip::v4_mapped, address.to_v6());
    }
    static std::mutex lock;
    static std::vector<ip::address> own;
    static std::chrono::steady_clock::time_point readAt{};
    const std::lock_guard guard(lock);
    const auto now = std::chrono::steady_clock::now();
    if (readAt == std::chrono::steady_clock::time_point{} || now - readAt > std::chrono::seconds(2)) {
        ifaddrs* list = nullptr;
        if (::getifaddrs(&list) == 0) {
            readAt = now;
            own.clear();
            for (const ifaddrs* item = list; item; item = item->ifa_next) {
                if (item->ifa_addr && item->ifa_addr->sa_family == AF_INET) {
                    ip::address_v4::bytes_type bytes;
                    std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in*>(item->ifa_addr)->sin_addr,
                                4);
                    own.emplace_back(ip::address_v4(bytes));
                } else if (item->ifa_addr && item->ifa_addr->sa_family == AF_INET6) {
                    ip::address_v6::bytes_type bytes;
                    std::memcpy(bytes.data(),
                                &reinterpret_cast<const sockaddr_in6*>(item->ifa_addr)->sin6_addr, 16);
                    own.emplace_back(ip::address_v6(bytes));
                }
            }
            ::freeifaddrs(list);
        }
    }
    return std::find(own.begin(), own.end(), address) != own.end();
}

} // namespace ferrow::server
