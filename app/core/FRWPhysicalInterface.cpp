#include "FRWPhysicalInterface.h"

#include <arpa/inet.h>
#include <array>
#include <ifaddrs.h>
#include <net/if.h>

bool FRWPhysicalInterface::isPhysicalLinkName(const QString& name)
{
    return name.startsWith(QLatin1String("en")) || name.startsWith(QLatin1String("eth")) ||
           name.startsWith(QLatin1String("wl"));
}

std::optional<FRWPhysicalInterface> FRWPhysicalInterface::find()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return std::nullopt;
    }
    std::optional<FRWPhysicalInterface> found;
    for (const ifaddrs* entry = list; entry && !found; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || !(entry->ifa_flags & IFF_UP) ||
            (entry->ifa_flags & IFF_LOOPBACK) || !entry->ifa_name) {
            continue;
        }
        const QString name = QString::fromLocal8Bit(entry->ifa_name);
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (!isPhysicalLinkName(name) || address->sin_addr.s_addr == htonl(INADDR_ANY)) {
            continue;
        }
        std::array<char, INET_ADDRSTRLEN> text{};
        if (inet_ntop(AF_INET, &address->sin_addr, text.data(), text.size())) {
            found =
                FRWPhysicalInterface{name, QString::fromLatin1(text.data()), if_nametoindex(entry->ifa_name)};
        }
    }
    freeifaddrs(list);
    return found;
}
