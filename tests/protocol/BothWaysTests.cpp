// The two halves of a relay: the caller goes on only once both ended, the watch is called when it
// asked to be and may end both, and a half that throws ends the other before the caller hears.

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <gtest/gtest.h>

#include "BothWays.h"

namespace asio = boost::asio;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto useTuple = asio::as_tuple(asio::use_awaitable);
constexpr auto never = [] { return Clock::time_point::max(); };

/// A half that ends when `gate` fires or is cancelled, saying so in `ended`.
asio::awaitable<void> waitOn(asio::steady_timer& gate, std::vector<std::string>& ended, std::string name)
{
    co_await gate.async_wait(useTuple);
    ended.push_back(std::move(name));
}

asio::awaitable<void> throwSoon()
{
    asio::steady_timer pause(co_await asio::this_coro::executor, 5ms);
    co_await pause.async_wait(useTuple);
    throw std::runtime_error("broken");
}

} // namespace

TEST(BothWays, TheCallerGoesOnOnlyOnceBothHalvesEnded)
{
    asio::io_context io;
    asio::steady_timer early(io, 10ms);
    asio::steady_timer late(io, 60ms);
    std::vector<std::string> ended;
    asio::co_spawn(
        io,
        [&]() -> asio::awaitable<void> {
            co_await ferrow::bothWays(waitOn(early, ended, "early"), waitOn(late, ended, "late"), never,
                                      [] {});
            ended.push_back("caller");
        },
        asio::detached);
    io.run_for(2s);
    EXPECT_EQ(ended, (std::vector<std::string>{"early", "late", "caller"}));
}

TEST(BothWays, TheWatchIsCalledWhenItAskedAndMayEndBothHalves)
{
    asio::io_context io;
    asio::steady_timer a(io, Clock::time_point::max());
    asio::steady_timer b(io, Clock::time_point::max());
    std::vector<std::string> ended;
    int calls = 0;
    const auto started = Clock::now();
    Clock::duration took{};
    const auto watch = [&] {
        if (++calls == 1) {
            return Clock::now() + 30ms;
        }
        a.cancel(); // idle: the halves are ended the way a relay's are, from outside
        b.cancel();
        return Clock::time_point::max();
    };
    asio::co_spawn(
        io,
        [&]() -> asio::awaitable<void> {
            co_await ferrow::bothWays(waitOn(a, ended, "a"), waitOn(b, ended, "b"), watch, [] {});
            took = Clock::now() - started;
        },
        asio::detached);
    io.run_for(2s);
    EXPECT_EQ(calls, 2) << "once at the start, once when its time came";
    EXPECT_EQ(ended.size(), 2u);
    EXPECT_GE(took, 30ms);
}

TEST(BothWays, AHalfThatThrowsEndsTheOtherAndTheCallerHearsOfIt)
{
    asio::io_context io;
    asio::steady_timer gate(io, Clock::time_point::max());
    std::vector<std::string> ended;
    bool aborted = false;
    std::string caught;
    asio::co_spawn(
        io,
        [&]() -> asio::awaitable<void> {
            try {
                co_await ferrow::bothWays(throwSoon(), waitOn(gate, ended, "other"), never, [&] {
                    aborted = true;
                    gate.cancel();
                });
            } catch (const std::runtime_error& error) {
                caught = error.what();
            }
        },
        asio::detached);
    io.run_for(2s);
    EXPECT_TRUE(aborted);
    EXPECT_EQ(ended, std::vector<std::string>{"other"});
    EXPECT_EQ(caught, "broken");
}
