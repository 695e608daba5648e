#pragma once

// One read appended to a growing buffer, shared by ferrow-core and ferrow-server.

#include <cstddef>
#include <string>
#include <utility>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace ferrow {

/// Reads at most `most` bytes onto the end of `buffer`, straight into its storage rather than
/// through a chunk copied afterwards. The error and the count, as the read gave them.
inline boost::asio::awaitable<std::pair<boost::system::error_code, std::size_t>>
appendSome(boost::asio::ip::tcp::socket& socket, std::string& buffer, std::size_t most)
{
    const auto old = buffer.size();
    buffer.resize(old + most);
    auto [error, received] = co_await socket.async_read_some(
        boost::asio::buffer(buffer.data() + old, most), boost::asio::as_tuple(boost::asio::use_awaitable));
    buffer.resize(old + received);
    co_return std::pair{error, received};
}

} // namespace ferrow
