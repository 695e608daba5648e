#pragma once

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/use_awaitable.hpp>

#include "NetAddress.h"

namespace ferrow::core {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

/// Completion token for coroutines that look at error codes instead of catching exceptions.
inline constexpr auto useTuple = asio::as_tuple(asio::use_awaitable);

inline asio::ip::address toAsio(const IpAddr& given)
{
    // A mapped address is dialled as the IPv4 address it is.
    const IpAddr address = given.folded();
    if (address.v6) {
        asio::ip::address_v6::bytes_type bytes;
        std::copy(address.bytes.begin(), address.bytes.end(), bytes.begin());
        return asio::ip::address_v6(bytes);
    }
    return asio::ip::address_v4({address.bytes[0], address.bytes[1], address.bytes[2], address.bytes[3]});
}

/// From the bytes: the text of a link-local address carries a scope ("fe80::1%eth0") that no
/// parser takes.
inline IpAddr fromAsio(const asio::ip::address& address)
{
    if (address.is_v4()) {
        return IpAddr::fromV4(address.to_v4().to_uint());
    }
    IpAddr result;
    result.v6 = true;
    const auto bytes = address.to_v6().to_bytes();
    std::copy(bytes.begin(), bytes.end(), result.bytes.begin());
    return result.folded();
}

} // namespace ferrow::core
