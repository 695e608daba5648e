#pragma once

// The two directions of a relayed connection, run side by side until both have ended. Asio's
// awaitable operators would do it, but a parallel group spawns, tracks and cancels each branch
// (and a third for the idle watch) for every connection; this is two spawned coroutines and one
// timer, which doubles as the idle watch.

#include <chrono>
#include <exception>
#include <memory>
#include <utility>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace ferrow {

/// Runs `up` and `down` on this coroutine's executor and returns once both have ended.
/// `watch` is called at the start and again whenever the time it last returned has come; it
/// returns when it wants to be called next (time_point::max() for never). It may end the
/// halves, by closing their sockets, but must not wait. `abort` is called when a half threw:
/// it must end the other half the same way; the exception is rethrown once both have ended.
template <typename Watch, typename Abort>
boost::asio::awaitable<void> bothWays(boost::asio::awaitable<void> up, boost::asio::awaitable<void> down,
                                      Watch watch, Abort abort)
{
    namespace asio = boost::asio;
    struct Join {
        explicit Join(const asio::any_io_executor& executor) : wake(executor) {}
        int running = 2;
        bool aborted = false;
        std::exception_ptr failure;
        asio::steady_timer wake;
    };
    const auto executor = co_await asio::this_coro::executor;
    auto join = std::make_shared<Join>(executor);
    const auto ended = [join](std::exception_ptr failure) {
        if (failure && !join->failure) {
            join->failure = std::move(failure);
            join->wake.cancel();
        }
        if (--join->running == 0) {
            join->wake.cancel();
        }
    };
    asio::co_spawn(executor, std::move(up), ended);
    asio::co_spawn(executor, std::move(down), ended);
    while (join->running > 0) {
        if (join->failure && !join->aborted) {
            join->aborted = true;
            abort();
        }
        join->wake.expires_at(join->aborted ? std::chrono::steady_clock::time_point::max() : watch());
        co_await join->wake.async_wait(asio::as_tuple(asio::use_awaitable));
    }
    if (join->failure) {
        std::rethrow_exception(join->failure);
    }
}

} // namespace ferrow
