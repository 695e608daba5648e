#pragma once

// Time limits for Asio coroutines, shared by ferrow-core and ferrow-server: one operation races
// a timer and the loser is cancelled, so a timed-out operation has ended (not merely been
// abandoned) by the time the caller goes on.

#include <chrono>
#include <optional>
#include <utility>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace ferrow {

/// `operation`'s result, or nothing when `deadline` came first.
template <typename T>
boost::asio::awaitable<std::optional<T>> withDeadline(boost::asio::awaitable<T> operation,
                                                      std::chrono::steady_clock::time_point deadline)
{
    using namespace boost::asio::experimental::awaitable_operators;
    boost::asio::steady_timer timer(co_await boost::asio::this_coro::executor, deadline);
    auto outcome = co_await (std::move(operation) ||
                             timer.async_wait(boost::asio::as_tuple(boost::asio::use_awaitable)));
    if (outcome.index() == 1) {
        co_return std::nullopt;
    }
    co_return std::optional<T>(std::move(std::get<0>(outcome)));
}

/// Whether `operation` ended before `deadline`.
inline boost::asio::awaitable<bool> withDeadline(boost::asio::awaitable<void> operation,
                                                 std::chrono::steady_clock::time_point deadline)
{
    using namespace boost::asio::experimental::awaitable_operators;
    boost::asio::steady_timer timer(co_await boost::asio::this_coro::executor, deadline);
    auto outcome = co_await (std::move(operation) ||
                             timer.async_wait(boost::asio::as_tuple(boost::asio::use_awaitable)));
    co_return outcome.index() == 0;
}

/// `operation`'s result, or nothing when it took longer than `limit`.
template <typename T>
boost::asio::awaitable<std::optional<T>> withTimeout(boost::asio::awaitable<T> operation,
                                                     std::chrono::steady_clock::duration limit)
{
    return withDeadline(std::move(operation), std::chrono::steady_clock::now() + limit);
}

/// Whether `operation` ended within `limit`.
inline boost::asio::awaitable<bool> withTimeout(boost::asio::awaitable<void> operation,
                                                std::chrono::steady_clock::duration limit)
{
    return withDeadline(std::move(operation), std::chrono::steady_clock::now() + limit);
}

} // namespace ferrow
