#include "FRWLanResolverSockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "FRWSocketAddress.h"

namespace {

bool inRange(std::uint32_t address, std::uint32_t network, int prefix)
{
    const std::uint32_t mask = prefix == 0 ? 0 : ~std::uint32_t{0} << (32 - prefix);
    return (address & mask) == (network & mask);
}

/// A socket of `type` bound to `address` port `port`; listening when it is a stream. -1 with
/// errno set on failure.
int bindOne(const sockaddr* address, unsigned short port, int type)
{
    sockaddr_storage bound{};
    socklen_t length = 0;
    if (address->sa_family == AF_INET) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&bound);
        *v4 = *reinterpret_cast<const sockaddr_in*>(address);
        v4->sin_port = htons(port);
        length = sizeof(sockaddr_in);
    } else {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&bound);
        *v6 = *reinterpret_cast<const sockaddr_in6*>(address);
        v6->sin6_port = htons(port);
        length = sizeof(sockaddr_in6);
    }
    FRWScopedFd fd(::socket(address->sa_family, type | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) {
        return -1;
    }
    const int on = 1;
    if (address->sa_family == AF_INET6) {
        ::setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    }
    if (type == SOCK_STREAM) {
        // A restarted core finds the port free although the last one's connections linger.
        ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&bound), length) != 0 ||
        (type == SOCK_STREAM && ::listen(fd.get(), 64) != 0)) {
        return -1;
    }
    return fd.release();
}

} // namespace

bool isLanResolverAddress(const sockaddr* address)
{
    if (address->sa_family == AF_INET) {
        const std::uint32_t host = ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
        return inRange(host, 0x0A000000, 8) || inRange(host, 0xAC100000, 12) || inRange(host, 0xC0A80000, 16);
    }
    if (address->sa_family == AF_INET6) {
        const auto& bytes = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr.s6_addr;
        return (bytes[0] & 0xFE) == 0xFC;
    }
    return false;
}

std::vector<FRWScopedFd> bindLanResolverSockets(const std::function<void(const std::string&)>& log,
                                                unsigned short port)
{
    std::vector<FRWScopedFd> sockets;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        log("ferrow-helper: cannot list this machine's addresses: " + std::string(std::strerror(errno)));
        return sockets;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || (entry->ifa_flags & IFF_UP) == 0 ||
            (entry->ifa_flags & IFF_LOOPBACK) != 0 || !isLanResolverAddress(entry->ifa_addr)) {
            continue;
        }
        const std::string text = socketAddressText(entry->ifa_addr);
        const int datagram = bindOne(entry->ifa_addr, port, SOCK_DGRAM);
        if (datagram < 0) {
            log("ferrow-helper: cannot answer DNS for devices on " + text + ": " + std::strerror(errno));
            continue;
        }
        FRWScopedFd udp(datagram);
        const int stream = bindOne(entry->ifa_addr, port, SOCK_STREAM);
        if (stream < 0) {
            log("ferrow-helper: cannot answer DNS over TCP for devices on " + text + ": " +
                std::strerror(errno));
        }
        sockets.push_back(std::move(udp));
        if (stream >= 0) {
            sockets.emplace_back(stream);
        }
        log("ferrow-helper: answering DNS for devices on " + text);
    }
    ::freeifaddrs(list);
    return sockets;
}
