#include "RouteWatcher.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ferrow::tun {

RouteWatcher::RouteWatcher(boost::asio::io_context& io, std::function<void()> changed,
                           std::chrono::milliseconds settle)
    : m_socket(io), m_settle(io), m_changed(std::move(changed)), m_settleTime(settle)
{
}

RouteWatcher::~RouteWatcher()
{
    stop();
}

bool RouteWatcher::start()
{
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0) {
        return false;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups =
        RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return false;
    }
    // The rule groups have no RTMGRP_ bit of their own.
    for (const int group : {RTNLGRP_IPV4_RULE, RTNLGRP_IPV6_RULE}) {
        ::setsockopt(fd, SOL_NETLINK, NETLINK_ADD_MEMBERSHIP, &group, sizeof group);
    }
    m_socket.assign(fd);
    m_running = true;
    read();
    return true;
}

void RouteWatcher::stop()
{
    m_running = false;
    boost::system::error_code ignored;
    m_settle.cancel();
    m_socket.close(ignored);
}

void RouteWatcher::read()
{
    m_socket.async_read_some(
        boost::asio::buffer(m_buffer),
        [this, alive = std::weak_ptr(m_alive)](const boost::system::error_code& error, std::size_t) {
            // A completion may still be queued when the watcher is gone.
            if (alive.expired() || !m_running || error == boost::asio::error::operation_aborted) {
                return;
            }
            // Also after an overrun (ENOBUFS): something changed, look again.
            settle();
            read();
        });
}

void RouteWatcher::settle()
{
    m_settle.expires_after(m_settleTime);
    m_settle.async_wait([this, alive = std::weak_ptr(m_alive)](const boost::system::error_code& error) {
        if (!alive.expired() && !error && m_running) {
            m_changed();
        }
    });
}

} // namespace ferrow::tun
