#include "ProxyServer.h"

#include <cerrno>
#include <sys/socket.h>
#include <unordered_set>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/post.hpp>

#include "AcceptNext.h"
#include "CoreService.h"
#include "Lanes.h"

namespace ferrow::core {

void SessionSockets::closeAll()
{
    boost::system::error_code ignored;
    client.close(ignored);
    upstream.close(ignored);
}

/// One lane's listener and the clients it serves.
struct ProxyServer::Lane {
    explicit Lane(asio::any_io_executor laneExecutor) : executor(std::move(laneExecutor)) {}

    void closeListener()
    {
        if (acceptor) {
            boost::system::error_code ignored;
            acceptor->close(ignored);
            acceptor.reset();
        }
    }
    void closeAll()
    {
        closeListener();
        for (auto* session : sessions) {
            session->closeAll();
        }
    }

    asio::any_io_executor executor;
    std::shared_ptr<tcp::acceptor> acceptor;
    std::unordered_set<SessionSockets*> sessions;
    bool descriptorsExhausted = false; // logged once per shortage
    bool atCapacity = false;           // logged once each time the limit is reached
};

ProxyServer::ProxyServer(Lanes& lanes, CoreService& core)
    : m_lanes(lanes), m_core(core), m_sessionCount(std::make_shared<std::atomic<std::size_t>>(0))
{
    for (auto& executor : m_lanes.executors()) {
        m_laneStates.push_back(std::make_shared<Lane>(executor));
    }
}

ProxyServer::~ProxyServer()
{
    // The lanes have stopped: nothing else touches their listeners and sessions now.
    for (auto& lane : m_laneStates) {
        lane->closeAll();
    }
}

namespace {

/// Opens `acceptor` and binds it to `endpoint`; `sharedPort` lets the other lanes bind it too.
void bindTo(tcp::acceptor& acceptor, const tcp::endpoint& endpoint, bool sharedPort,
            boost::system::error_code& ec)
{
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) {
        acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    }
    if (!ec && sharedPort) {
        acceptor.set_option(asio::detail::socket_option::boolean<SOL_SOCKET, SO_REUSEPORT>(true), ec);
    }
    if (!ec) {
        acceptor.bind(endpoint, ec);
    }
}

} // namespace

ProxyServer::Group ProxyServer::bindGroup(const IpAddr& ip, std::uint16_t port, boost::system::error_code& ec)
{
    const bool shared = m_laneStates.size() > 1;
    tcp::endpoint endpoint(toAsio(ip), port);
    if (shared && port != 0) {
        // The lanes' listeners share the port with SO_REUSEPORT, which another listener of this
        // account could join too; one bound without it tells whether anyone holds the port now.
        // It closes before the lanes bind.
        tcp::acceptor probe(m_laneStates.front()->executor);
        bindTo(probe, endpoint, false, ec);
        if (ec) {
            return {};
        }
        probe.close(ec);
    }
    Group group;
    for (const auto& lane : m_laneStates) {
        auto acceptor = std::make_shared<tcp::acceptor>(lane->executor);
        bindTo(*acceptor, endpoint, shared, ec);
        if (!ec) {
            acceptor->listen(1024, ec);
        }
        if (!ec && endpoint.port() == 0) {
            endpoint = acceptor->local_endpoint(ec); // the other lanes join the port the first got
        }
        if (ec) {
            return {};
        }
        group.push_back(std::move(acceptor));
    }
    return group;
}

void ProxyServer::adopt(Group group)
{
    boost::system::error_code ec;
    const auto bound = group.front()->local_endpoint(ec);
    m_address = HostPort{bound.address().to_string(), bound.port()}.toString();
    m_port = bound.port();
    m_lanes.runOnEach([&](std::size_t index) {
        const auto& lane = m_laneStates[index];
        lane->acceptor = group[index];
        asio::co_spawn(lane->executor, acceptLoop(m_core, lane, group[index], m_sessionCount),
                       asio::detached);
    });
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
    if (running() && currentIp && hostPort->port != 0 && current->port == hostPort->port) {
        // 127.0.0.1:P and 0.0.0.0:P cannot both be bound: the old one goes first, and comes
        // back if the new address cannot be had.
        closeListener();
        if (auto group = bindGroup(*ip, hostPort->port, ec); !group.empty()) {
            adopt(std::move(group));
            return true;
        }
        *error = "cannot listen on " + address + ": " + ec.message();
        boost::system::error_code again;
        if (auto previous = bindGroup(*currentIp, current->port, again); !previous.empty()) {
            adopt(std::move(previous));
        } else {
            *error += "; the previous address " + current->toString() +
                      " could not be taken back either: " + again.message();
        }
        return false;
    }
    auto group = bindGroup(*ip, hostPort->port, ec);
    if (group.empty()) {
        *error = "cannot listen on " + address + ": " + ec.message();
        return false;
    }
    closeListener();
    adopt(std::move(group));
    return true;
}

void ProxyServer::closeListener()
{
    if (!running()) {
        return;
    }
    m_lanes.runOnEach([this](std::size_t index) { m_laneStates[index]->closeListener(); });
    m_address.clear();
    m_port = 0;
}

void ProxyServer::stopAll()
{
    m_address.clear();
    m_port = 0;
    for (auto& lane : m_laneStates) {
        asio::post(lane->executor, [lane] { lane->closeAll(); });
    }
}

asio::awaitable<void> ProxyServer::acceptLoop(CoreService& core, std::shared_ptr<Lane> lane,
                                              std::shared_ptr<tcp::acceptor> acceptor,
                                              std::shared_ptr<std::atomic<std::size_t>> sessionCount)
{
    const auto shortage = [&](const boost::system::error_code& error) {
        if (!lane->descriptorsExhausted) {
            core.log().warning("proxy listener: out of file descriptors (" + error.message() +
                               "); pausing accepts until some are free");
        }
        lane->descriptorsExhausted = true;
    };
    tcp::endpoint peer;
    boost::system::error_code localError;
    std::optional<tcp::endpoint> local = acceptor->local_endpoint(localError);
    if (localError || local->address().is_unspecified()) {
        local.reset(); // a wildcard listener: each client's own address is asked for
    }
    while (auto accepted = co_await acceptNext(*acceptor, std::chrono::milliseconds(200), shortage, &peer)) {
        tcp::socket socket = std::move(*accepted);
        lane->descriptorsExhausted = false;
        const auto open = sessionCount->load(std::memory_order_relaxed);
        if (open >= core.maxConnections()) {
            if (!lane->atCapacity) {
                core.log().warning("proxy: " + std::to_string(open) +
                                   " clients connected, the max-connections limit; new clients are "
                                   "closed until some leave");
            }
            lane->atCapacity = true;
            continue; // the socket closes as it goes out of scope
        }
        lane->atCapacity = false;
        boost::system::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        auto sockets = std::make_shared<SessionSockets>(std::move(socket));
        sockets->clientPeer = peer;
        sockets->clientLocal = local;
        lane->sessions.insert(sockets.get());
        sessionCount->fetch_add(1, std::memory_order_relaxed);
        asio::co_spawn(lane->executor, runProxySession(core, sockets),
                       [&core, lane, sessionCount, raw = sockets.get()](const std::exception_ptr& failure) {
                           lane->sessions.erase(raw);
                           sessionCount->fetch_sub(1, std::memory_order_relaxed);
                           if (failure) {
                               try {
                                   std::rethrow_exception(failure);
                               } catch (const std::exception& error) {
                                   core.log().error(std::string("proxy session ended by an error: ") +
                                                    error.what());
                               }
                           }
                       });
    }
}

} // namespace ferrow::core
