#pragma once

#include <string>

#include <boost/asio/io_context.hpp>

#include "AsioSupport.h"
#include "FakeDns.h"

namespace ferrow::core {
class CoreService;
}

namespace ferrow::tun {

/// Answers the DNS questions sent into the tunnel: fake addresses for names, an empty answer to
/// AAAA for them, and the real servers' answer for filtered names and other questions.
class TunnelDns {
public:
    TunnelDns(boost::asio::io_context& io, core::CoreService& core, FakeIpPool& fakeIps);

    /// The answer to one query from `source`; empty when there is nothing to say.
    boost::asio::awaitable<std::string> answer(std::string query, core::IpAddr source);
    /// Serves DNS over TCP (length-prefixed messages) until the client stops.
    boost::asio::awaitable<void> serveStream(boost::asio::ip::tcp::socket socket, core::IpAddr source);

private:
    boost::asio::awaitable<std::string> forward(const std::string& query);

    boost::asio::io_context& m_io;
    core::CoreService& m_core;
    FakeIpPool& m_fakeIps;
};

} // namespace ferrow::tun
