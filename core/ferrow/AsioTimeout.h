#pragma once

// Time limits for Asio coroutines, shared by ferrow-core and ferrow-server: one operation races
// a timer and the loser is cancelled, so a timed-out operation has ended (not merely been
// abandoned) by the time the caller goes on.

#include <chrono>
#include <memory>
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

/// Cancels a socket's outstanding operations once a deadline passes: one timer for a whole phase
/// of a connection (a handshake, a connect) instead of racing each operation against its own,
/// which costs a timer and a parallel group of coroutines every time. An operation cut by it
/// ends with operation_aborted, and expired() says why.
template <typename Socket>
class SocketDeadline {
public:
    explicit SocketDeadline(Socket& socket)
        : m_timer(socket.get_executor()), m_target(std::make_shared<Socket*>(&socket))
    {
    }
    /// A wake-up already queued must not reach the socket once this is gone.
    ~SocketDeadline() { *m_target = nullptr; }
    SocketDeadline(const SocketDeadline&) = delete;
    SocketDeadline& operator=(const SocketDeadline&) = delete;

    void arm(std::chrono::steady_clock::time_point deadline)
    {
        m_deadline = deadline;
        m_timer.expires_at(deadline);
        m_timer.async_wait([target = m_target](const boost::system::error_code& error) {
            if (!error && *target) {
                boost::system::error_code ignored;
                (*target)->cancel(ignored);
            }
        });
    }
    void cancel() { m_timer.cancel(); }
    bool expired() const { return std::chrono::steady_clock::now() >= m_deadline; }

private:
    boost::asio::steady_timer m_timer;
    std::shared_ptr<Socket*> m_target;
    std::chrono::steady_clock::time_point m_deadline = std::chrono::steady_clock::time_point::max();
};

/// Connects `socket`, giving up after `limit` with timed_out.
template <typename Socket>
boost::asio::awaitable<boost::system::error_code>
connectWithin(Socket& socket, const typename Socket::endpoint_type& endpoint,
              std::chrono::steady_clock::duration limit)
{
    SocketDeadline<Socket> deadline(socket);
    deadline.arm(std::chrono::steady_clock::now() + limit);
    auto [error] = co_await socket.async_connect(endpoint, boost::asio::as_tuple(boost::asio::use_awaitable));
    deadline.cancel();
    if (error == boost::asio::error::operation_aborted && deadline.expired()) {
        error = boost::asio::error::timed_out;
    }
    co_return error;
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
