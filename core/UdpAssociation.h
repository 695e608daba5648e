#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "AsioSupport.h"
#include "Socks5Parser.h"

namespace ferrow::core {

class CoreService;
class UdpFlow;

/// One SOCKS5 UDP ASSOCIATE: a relay socket that takes the client's datagrams, each sent on by a
/// flow of its own per destination (routed, counted and listed like a connection), with the
/// answers sent back under the destination's header. Datagrams from anyone but the client, and
/// fragments, are dropped. It lasts as long as its control connection.
class UdpAssociation : public std::enable_shared_from_this<UdpAssociation> {
public:
    /// `client`: the control connection's peer; `statedPort`: the port the client said it sends
    /// from (0: the port of its first datagram).
    UdpAssociation(asio::any_io_executor executor, CoreService& core, const IpAddr& client,
                   std::uint16_t statedPort);
    UdpAssociation(const UdpAssociation&) = delete;
    UdpAssociation& operator=(const UdpAssociation&) = delete;

    /// Binds the relay on `local` (the listener's address that the client reached), any port.
    boost::system::error_code bind(const IpAddr& local);
    const IpAddr& boundAddress() const { return m_bound; }
    std::uint16_t boundPort() const { return m_boundPort; }
    /// Starts taking datagrams and expiring idle destinations.
    void start();
    void close();

private:
    struct Peer;

    // Each coroutine holds the association from its first moment, before it is first resumed.
    asio::awaitable<void> receive(std::shared_ptr<UdpAssociation> self);
    asio::awaitable<void> expire(std::shared_ptr<UdpAssociation> self);
    void handle(std::string_view datagram, const asio::ip::udp::endpoint& from);
    std::shared_ptr<UdpFlow> open(const socks5::UdpHeader& header);
    void answer(const std::string& header, std::string_view payload);

    CoreService& m_core;
    IpAddr m_client;
    std::uint16_t m_clientPort;
    IpAddr m_bound;
    std::uint16_t m_boundPort = 0;
    asio::ip::udp::socket m_socket;
    asio::steady_timer m_expiry;
    std::map<std::string, std::shared_ptr<UdpFlow>> m_peers; // by destination as the client wrote it
    bool m_closed = false;
};

/// Serves a UDP ASSOCIATE request that arrived on `control`: answers it, then relays until the
/// control connection ends.
asio::awaitable<void> serveUdpAssociate(CoreService& core, tcp::socket& control,
                                        const socks5::Request& request);

} // namespace ferrow::core
