#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ferrow::tun {

/// The "nameserver" addresses of a resolv.conf text, without loopback ones (a local stub would
/// send the question back into the tunnel).
std::vector<std::string> parseNameservers(std::string_view text);

/// Where the system's resolver lists are: /etc/resolv.conf, then the list systemd-resolved keeps
/// behind its loopback stub.
std::vector<std::string> systemResolverFiles();
/// The upstream servers the system uses, from the first of those lists that names any. Read at
/// the tunnel's start, before anything is redirected, and again when a list changes.
std::vector<std::string> systemNameservers();

} // namespace ferrow::tun
