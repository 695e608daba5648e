#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AsioSupport.h"

namespace ferrow::core {

class CoreService;
class Lanes;

/// The two sockets of one proxied connection, reachable from the server so that a shutdown
/// can close every open connection.
struct SessionSockets {
    explicit SessionSockets(tcp::socket socket) : client(std::move(socket)), upstream(client.get_executor())
    {
    }
    void closeAll();

    tcp::socket client;
    tcp::socket upstream;
    /// The client's protocol, from the address its accept gave, without asking the system.
    std::optional<tcp> clientProtocol() const
    {
        return clientPeer ? std::optional<tcp>(clientPeer->protocol()) : std::nullopt;
    }

    /// What is known of the sockets without asking the system again.
    std::optional<tcp::endpoint> clientPeer;
    /// The client's local end when the listener is bound to one address: it is that address.
    std::optional<tcp::endpoint> clientLocal;
    std::optional<tcp> upstreamProtocol;
};

/// The local HTTP + SOCKS5 listener, one per lane: the lanes share the port, the kernel spreads
/// new clients over them, and each client is served on the lane that accepted it. The address can
/// be moved while it runs: the new address is bound first, so a failed move leaves the old
/// listener in place; on the same port the old one must close first, and is bound again when the
/// new address fails. Used from the main thread; destroyed only once the lanes have stopped.
class ProxyServer {
public:
    ProxyServer(Lanes& lanes, CoreService& core);
    ~ProxyServer();
    ProxyServer(const ProxyServer&) = delete;
    ProxyServer& operator=(const ProxyServer&) = delete;

    bool listen(const std::string& address, std::string* error);
    /// Stops accepting; open connections carry on.
    void closeListener();
    /// Closes the listener and every open connection, on each lane in its own time.
    void stopAll();

    bool running() const { return !m_address.empty(); }
    /// The bound address, "host:port"; empty when not listening.
    std::string address() const { return m_address; }
    /// The bound port, 0 when not listening. Any thread.
    std::uint16_t port() const { return m_port.load(std::memory_order_relaxed); }

private:
    struct Lane;
    using Group = std::vector<std::shared_ptr<tcp::acceptor>>;

    /// One listener per lane on one address; empty with `ec` set when any cannot be had.
    Group bindGroup(const IpAddr& ip, std::uint16_t port, boost::system::error_code& ec);
    void adopt(Group group);
    /// Runs on the lane; no reference to the server, which may go before the lane's loop ends.
    static asio::awaitable<void> acceptLoop(CoreService& core, std::shared_ptr<Lane> lane,
                                            std::shared_ptr<tcp::acceptor> acceptor,
                                            std::shared_ptr<std::atomic<std::size_t>> sessionCount);

    Lanes& m_lanes;
    CoreService& m_core;
    std::vector<std::shared_ptr<Lane>> m_laneStates; // each touched only on its lane's thread
    std::shared_ptr<std::atomic<std::size_t>> m_sessionCount;
    std::string m_address;
    std::atomic<std::uint16_t> m_port{0};
};

/// Serves one accepted client: SOCKS5 when the first byte is 5, HTTP proxy otherwise.
asio::awaitable<void> runProxySession(CoreService& core, std::shared_ptr<SessionSockets> sockets);

} // namespace ferrow::core
