#pragma once

#include <memory>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/udp.hpp>

#include "AsioSupport.h"
#include "NetAddress.h"

namespace ferrow::core {
class LogStream;
}

namespace ferrow::tun {

class TunnelDns;

/// Whether a question from `source` may be answered on the LAN sockets: private, link-local and
/// unique-local addresses only, so the machine never answers the internet.
bool isLanSource(const core::IpAddr& source);

/// Answers gateway devices that use this machine's LAN address as their resolver, on port-53
/// sockets the helper bound and handed over (the core itself may not bind that port). Questions
/// get what the tunnel's own resolver gives: fake addresses, rule-filtered names.
class LanResolver {
public:
    LanResolver(boost::asio::io_context& io, TunnelDns& dns, core::LogStream& log);
    ~LanResolver();
    LanResolver(const LanResolver&) = delete;
    LanResolver& operator=(const LanResolver&) = delete;

    /// Takes the descriptors (bound UDP or listening TCP sockets) and answers on them; any other
    /// descriptor is closed with a log line.
    void serve(const std::vector<int>& descriptors);
    /// Closes every socket; questions being answered finish without a reply.
    void stop();

private:
    boost::asio::awaitable<void> serveDatagrams(std::shared_ptr<boost::asio::ip::udp::socket> socket);
    boost::asio::awaitable<void> answerDatagram(std::shared_ptr<boost::asio::ip::udp::socket> socket,
                                                std::string query, boost::asio::ip::udp::endpoint peer);
    boost::asio::awaitable<void> acceptStreams(std::shared_ptr<boost::asio::ip::tcp::acceptor> acceptor);

    boost::asio::io_context& m_io;
    TunnelDns& m_dns;
    core::LogStream& m_log;
    std::vector<std::shared_ptr<boost::asio::ip::udp::socket>> m_datagrams;
    std::vector<std::shared_ptr<boost::asio::ip::tcp::acceptor>> m_acceptors;
    int m_pendingQueries = 0;
    int m_openStreams = 0;
};

} // namespace ferrow::tun
