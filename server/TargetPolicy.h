#pragma once

#include <boost/asio/ip/address.hpp>

namespace ferrow::server {

/// Whether the server may connect to `address` for a client when private targets are not
/// allowed: not loopback, unspecified, link-local, private, shared, multicast or broadcast, and
/// no IPv6 form (mapped, compatible, NAT64, 6to4) that embeds such an IPv4 address.
bool isPublicAddress(const boost::asio::ip::address& address);

/// Whether `address` (IPv4-mapped forms folded) is one of this machine's own interface addresses,
/// which lead to the server's own services. Read from the system at most every two seconds.
bool isOwnAddress(const boost::asio::ip::address& address);

} // namespace ferrow::server
