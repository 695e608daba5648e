#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace ferrow::test {

class Socket;

/// A SOCKS5 CONNECT on a connected socket: the greeting (no authentication) and, once answered,
/// the request (not every server reads a request sent ahead of its answer) for an IPv4 address,
/// an IPv6 address or a domain. The server's reply code, or -1 when the exchange failed.
int socks5Connect(int fd, const std::string& host, std::uint16_t port,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10));
int socks5Connect(Socket& socket, const std::string& host, std::uint16_t port);

} // namespace ferrow::test
