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

inline IpAddr fromAsio(const asio::ip::address& address)
{
    return IpAddr::parse(address.to_string()).value_or(IpAddr{});
}

} // namespace ferrow::core
