#pragma once

#include <functional>
#include <string>
#include <vector>

#include "FRWScopedFd.h"

/// Port 53 on this machine's LAN addresses, bound by the helper for a gateway-mode core: devices
/// that use this machine as their resolver ask there, and the core, which may not bind a port
/// below 1024, answers on these sockets. Per address one UDP socket and one listening TCP
/// socket, all close-on-exec. Only private addresses (10/8, 172.16/12, 192.168/16, fc00::/7) of
/// interfaces that are up, so the machine never becomes a resolver for the internet. An address
/// whose port is taken (a local dnsmasq, say) is skipped and logged.
std::vector<FRWScopedFd> bindLanResolverSockets(const std::function<void(const std::string&)>& log,
                                                unsigned short port = 53);

/// Whether `address` (network byte order in a sockaddr) is one of the private ranges above.
bool isLanResolverAddress(const struct sockaddr* address);
