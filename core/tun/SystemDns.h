#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ferrow::tun {

/// The "nameserver" addresses of a resolv.conf text, without loopback ones (a local stub would
/// send the question back into the tunnel).
std::vector<std::string> parseNameservers(std::string_view text);

/// The upstream servers the system uses: /etc/resolv.conf, else the list systemd-resolved keeps
/// behind its loopback stub. Read once at the tunnel's start, before anything is redirected.
std::vector<std::string> systemNameservers();

} // namespace ferrow::tun
