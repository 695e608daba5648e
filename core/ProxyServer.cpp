#include "ProxyServer.h"

#include <cerrno>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/steady_timer.hpp>

#include "AcceptNext.h"
#include "CoreService.h"

namespace ferrow::core {

void SessionSockets::closeAll()
{
    boost::system::error_code ignored;
    client.close(ignored);
    upstream.close(ignored);
}

ProxyServer::ProxyServer(asio::any_io_executor executor, CoreService& core)
    : m_executor(std::move(executor)), m_core(core)
{
}

ProxyServer::~ProxyServer()
{
    stopAll();
}

std::shared_ptr<tcp::acceptor> ProxyServer::bindAcceptor(const IpAddr& ip, std::uint16_t port,
                                                         boost::system::error_code& ec)
{
    auto acceptor = std::make_shared<tcp::acceptor>(m_executor);
    const tcp::endpoint endpoint(toAsio(ip), port);
    acceptor->open(endpoint.protocol(), ec);
    if (!ec) {
        acceptor->set_option(tcp::acceptor::reuse_address(true), ec);
    }
    if (!ec) {
        acceptor->bind(endpoint, ec);
    }
    if (!ec) {
        acceptor->listen(1024, ec);
    }
    return ec ? nullptr : acceptor;
}

void ProxyServer::adopt(std::shared_ptr<tcp::acceptor> acceptor)
{
    boost::system::error_code ec;
    const auto bound = acceptor->local_endpoint(ec);
    m_address = HostPort{bound.address().to_string(), bound.port()}.toString();
    m_acceptor = acceptor;
    asio::co_spawn(m_executor, acceptLoop(std::move(acceptor)), asio::detached);
}

bool ProxyServer::listen(const std::string& address, std::string* error)
{
    const auto hostPort = HostPort::parse(address);
    const auto ip = hostPort ? IpAddr::parse(hostPort->host) : std::nullopt;
    if (!ip) {
        *error = "\"" + address + "\" is not an IP address and port";
        return false;
    }
    boost::system::error_code ec;
    const auto current = HostPort::parse(m_address);
    const auto currentIp = current ? IpAddr::parse(current->host) : std::nullopt;
    if (m_acceptor && currentIp && hostPort->port != 0 && current->port == hostPort->port) {
        // 127.0.0.1:P and 0.0.0.0:P cannot both be bound: the old one goes first, and comes
        // back if the new address cannot be had.
        closeListener();
        if (auto acceptor = bindAcceptor(*ip, hostPort->port, ec)) {
            adopt(std::move(acceptor));
            return true;
        }
        *error = "cannot listen on " + address + ": " + ec.message();
        boost::system::error_code again;
        if (auto previous = bindAcceptor(*currentIp, current->port, again)) {
            adopt(std::move(previous));
        } else {
            *error += "; the previous address " + current->toString() +
                      " could not be taken back either: " + again.message();
        }
        return false;
    }
    auto acceptor = bindAcceptor(*ip, hostPort->port, ec);
    if (!acceptor) {
        *error = "cannot listen on " + address + ": " + ec.message();
        return false;
    }
    closeListener();
    adopt(std::move(acceptor));
    return true;
}

void ProxyServer::closeListener()
{
    if (m_acceptor) {
        boost::system::error_code ignored;
        m_acceptor->close(ignored);
        m_acceptor.reset();
        m_address.clear();
    }
}

void ProxyServer::stopAll()
{
    closeListener();
    for (auto* session : m_sessions) {
        session->closeAll();
    }
}

asio::awaitable<void> ProxyServer::acceptLoop(std::shared_ptr<tcp::acceptor> acceptor)
{
    const auto shortage = [this](const boost::system::error_code& error) {
        if (!m_descriptorsExhausted) {
            m_core.log().warning("proxy listener: out of file descriptors (" + error.message() +
                                 "); pausing accepts until some are free");
        }
        m_descriptorsExhausted = true;
    };
    tcp::endpoint peer;
    while (auto accepted = co_await acceptNext(*acceptor, std::chrono::milliseconds(200), shortage, &peer)) {
        tcp::socket socket = std::move(*accepted);
        m_descriptorsExhausted = false;
        if (m_sessions.size() >= m_core.maxConnections()) {
            if (!m_atCapacity) {
                m_core.log().warning("proxy: " + std::to_string(m_sessions.size()) +
                                     " clients connected, the max-connections limit; new clients are "
                                     "closed until some leave");
            }
            m_atCapacity = true;
            continue; // the socket closes as it goes out of scope
        }
        m_atCapacity = false;
        boost::system::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        auto sockets = std::make_shared<SessionSockets>(std::move(socket));
        sockets->clientPeer = peer;
        m_sessions.insert(sockets.get());
        asio::co_spawn(m_executor, runProxySession(m_core, sockets),
                       [this, raw = sockets.get()](const std::exception_ptr& failure) {
                           m_sessions.erase(raw);
                           if (failure) {
                               try {
                                   std::rethrow_exception(failure);
                               } catch (const std::exception& error) {
                                   m_core.log().error(std::string("proxy session ended by an error: ") +
                                                      error.what());
                               }
                           }
                       });
    }
}

} // namespace ferrow::core
