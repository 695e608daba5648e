#pragma once

#include <string>

struct sockaddr;

/// The address of an IPv4 or IPv6 socket address as text ("192.0.2.1", "fd00::1"); empty for
/// any other family.
std::string socketAddressText(const sockaddr* address);
