#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

#include "AsioSupport.h"

namespace ferrow::core {

class CoreService;

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
    std::optional<tcp> upstreamProtocol;
};

/// The local HTTP + SOCKS5 listener. It can be moved to another address while it runs: the new
/// address is bound first, so a failed move leaves the old listener in place; on the same port
/// the old one must close first, and is bound again when the new address fails.
class ProxyServer {
public:
    ProxyServer(asio::any_io_executor executor, CoreService& core);
    ~ProxyServer();
    ProxyServer(const ProxyServer&) = delete;
    ProxyServer& operator=(const ProxyServer&) = delete;

    bool listen(const std::string& address, std::string* error);
    /// Stops accepting; open connections carry on.
    void closeListener();
    /// Closes the listener and every open connection.
    void stopAll();

    bool running() const { return m_acceptor != nullptr; }
    /// The bound address, "host:port"; empty when not listening.
    std::string address() const { return m_address; }

private:
    std::shared_ptr<tcp::acceptor> bindAcceptor(const IpAddr& ip, std::uint16_t port,
                                                boost::system::error_code& ec);
    void adopt(std::shared_ptr<tcp::acceptor> acceptor);
    asio::awaitable<void> acceptLoop(std::shared_ptr<tcp::acceptor> acceptor);

    asio::any_io_executor m_executor;
    CoreService& m_core;
    std::shared_ptr<tcp::acceptor> m_acceptor;
    std::string m_address;
    std::unordered_set<SessionSockets*> m_sessions;
    bool m_descriptorsExhausted = false; // logged once per shortage
    bool m_atCapacity = false;           // logged once each time the limit is reached
};

/// Serves one accepted client: SOCKS5 when the first byte is 5, HTTP proxy otherwise.
asio::awaitable<void> runProxySession(CoreService& core, std::shared_ptr<SessionSockets> sockets);

} // namespace ferrow::core
