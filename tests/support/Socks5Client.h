#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace ferrow::test {

class Socket;

/// A SOCKS5 CONNECT on a connected socket: the greeting (no authentication) and, once answered,
/// the request (not every server reads a request sent ahead of its answer) for an IPv4 address,
/// an IPv6 address or a domain. The server's reply code, or -1 when the exchange failed.
int socks5Connect(int fd, const std::string& host, std::uint16_t port,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10));
int socks5Connect(Socket& socket, const std::string& host, std::uint16_t port);

/// A SOCKS5 UDP ASSOCIATE on a connected socket, saying the client sends from `port` (0: not
/// known). The relay's port from the answer (its address must be `relayAddress`); 0 on failure.
std::uint16_t socks5Associate(int fd, std::uint16_t port = 0, const std::string& relayAddress = "127.0.0.1");
/// The header of a datagram to `host`:`port` through an association, then `payload`.
std::string socks5Datagram(const std::string& host, std::uint16_t port, std::string_view payload);

} // namespace ferrow::test
