#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/steady_timer.hpp>

namespace ferrow::tun {

/// Listens for changes of links, addresses, routes and policy rules and calls `changed` once things have
/// settled (network managers change several at a time), so the tunnel can put back what was
/// taken away without a restart.
class RouteWatcher {
public:
    /// `settle`: how long after the last change `changed` is called.
    RouteWatcher(boost::asio::io_context& io, std::function<void()> changed,
                 std::chrono::milliseconds settle = std::chrono::milliseconds(300));
    ~RouteWatcher();
    RouteWatcher(const RouteWatcher&) = delete;
    RouteWatcher& operator=(const RouteWatcher&) = delete;

    bool start();
    void stop();

private:
    void read();
    void settle();

    boost::asio::posix::stream_descriptor m_socket;
    boost::asio::steady_timer m_settle;
    std::function<void()> m_changed;
    std::chrono::milliseconds m_settleTime;
    char m_buffer[16384];
    bool m_running = false;
    std::shared_ptr<char> m_alive = std::make_shared<char>(); // expires with the watcher
};

} // namespace ferrow::tun
