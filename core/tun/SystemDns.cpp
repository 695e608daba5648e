#include "SystemDns.h"

#include <sstream>

#include "NetAddress.h"
#include "SafeFile.h"

namespace ferrow::tun {

std::vector<std::string> parseNameservers(std::string_view text)
{
    std::vector<std::string> servers;
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string keyword;
        std::string value;
        if (!(fields >> keyword >> value) || keyword != "nameserver") {
            continue;
        }
        // A scoped IPv6 address ("fe80::1%eth0") names its link; the scope is not ours to keep.
        value = value.substr(0, value.find('%'));
        const auto address = core::IpAddr::parse(value);
        if (address && !address->isLoopback()) {
            servers.push_back(address->toString());
        }
    }
    return servers;
}

std::vector<std::string> systemResolverFiles()
{
    return {"/etc/resolv.conf", "/run/systemd/resolve/resolv.conf"};
}

std::vector<std::string> systemNameservers()
{
    for (const std::string& path : systemResolverFiles()) {
        const auto file = core::readRegularFile(path, std::size_t{64} * 1024);
        if (file.ok) {
            if (auto servers = parseNameservers(file.bytes); !servers.empty()) {
                return servers;
            }
        }
    }
    return {};
}

} // namespace ferrow::tun
