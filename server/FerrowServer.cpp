#include "FerrowServer.h"

#include <cerrno>
#include <ctime>
#include <iostream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <thread>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace ferrow::server {

void ServerShared::log(LogLevel level, const std::string& line) const
{
    if (level > options.logLevel) {
        return;
    }
    static constexpr const char* names[] = {"error", "warning", "info", "debug"};
    // One write per line so lines of different threads do not interleave.
    std::cerr << (std::string("ferrow-server ") + names[static_cast<int>(level)] + ": " + line + "\n")
              << std::flush;
}

FerrowServer::FerrowServer(ServerOptions options, std::string psk) : m_shared(std::move(options))
{
    m_shared.psk = std::move(psk);
    // Paid once here rather than by the first client.
    proto::masterKey(m_shared.psk);
    const unsigned threads = m_shared.options.threads ? m_shared.options.threads
                                                      : std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < threads; ++i) {
        m_contexts.push_back(std::make_unique<asio::io_context>(1));
    }
}

FerrowServer::~FerrowServer() = default;

std::string FerrowServer::prepareReplay()
{
    const auto now = static_cast<std::uint64_t>(std::time(nullptr));
    const auto window = static_cast<std::uint64_t>(m_shared.replay.window().count());
    if (m_shared.options.stateDir.empty()) {
        // Whatever an earlier run accepted is forgotten: refuse every hello it could have seen.
        m_shared.replay.refuseBefore(now + window + 1);
        m_shared.log(LogLevel::Info, "no state folder: handshakes are refused for the first " +
                                         std::to_string(window + 1) + " s");
        return {};
    }
    m_shared.journal.emplace();
    if (auto error = m_shared.journal->open(m_shared.options.stateDir, m_shared.replay, now,
                                            ReplayJournal::bootTime());
        !error.empty()) {
        return error;
    }
    if (m_shared.replay.notBefore() > now) {
        m_shared.log(LogLevel::Info, "the machine restarted since the last run: handshakes are refused "
                                     "for the first " +
                                         std::to_string(m_shared.replay.notBefore() - now) + " s");
    }
    return {};
}

std::string FerrowServer::listen()
{
    if (auto error = prepareReplay(); !error.empty()) {
        return error;
    }
    std::string host = m_shared.options.listen;
    const auto colon = host.rfind(':');
    if (colon == std::string::npos) {
        return "--listen takes ADDRESS:PORT, e.g. [::]:8443";
    }
    const std::string portText = host.substr(colon + 1);
    host.resize(colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    boost::system::error_code error;
    const auto address = asio::ip::make_address(host.empty() ? "::" : host, error);
    if (error || portText.empty() || portText.size() > 5 ||
        portText.find_first_not_of("0123456789") != std::string::npos || std::stoi(portText) > 65535) {
        return "cannot use listen address \"" + m_shared.options.listen + "\"";
    }
    tcp::endpoint endpoint(address, static_cast<std::uint16_t>(std::stoi(portText)));
    for (auto& context : m_contexts) {
        auto acceptor = std::make_unique<tcp::acceptor>(*context);
        acceptor->open(endpoint.protocol(), error);
        if (!error && address.is_v6()) {
            acceptor->set_option(asio::ip::v6_only(false), error); // one socket for IPv4 and IPv6
        }
        if (!error) {
            acceptor->set_option(tcp::acceptor::reuse_address(true), error);
        }
        if (!error) {
            const int on = 1;
            if (setsockopt(acceptor->native_handle(), SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0) {
                error = boost::system::error_code(errno, boost::system::system_category());
            }
        }
        if (!error) {
            acceptor->bind(endpoint, error);
        }
        if (!error) {
            // Clients with tfo=on/auto may send their first packet with the SYN; the kernel also
            // needs net.ipv4.tcp_fastopen bit 2, which the installer sets.
            const int queue = 256;
            setsockopt(acceptor->native_handle(), IPPROTO_TCP, TCP_FASTOPEN, &queue, sizeof queue);
            acceptor->listen(asio::socket_base::max_listen_connections, error);
        }
        if (error) {
            return "cannot listen on " + m_shared.options.listen + ": " + error.message();
        }
        // Port 0 picks a port once; the other threads' sockets join it.
        endpoint = acceptor->local_endpoint(error);
        m_acceptors.push_back(std::move(acceptor));
    }
    return {};
}

tcp::endpoint FerrowServer::localEndpoint() const
{
    boost::system::error_code ignored;
    return m_acceptors.empty() ? tcp::endpoint() : m_acceptors.front()->local_endpoint(ignored);
}

void FerrowServer::run()
{
    for (std::size_t i = 0; i < m_acceptors.size(); ++i) {
        asio::co_spawn(*m_contexts[i], acceptLoop(*m_acceptors[i]), asio::detached);
    }
    asio::signal_set signals(*m_contexts.front(), SIGINT, SIGTERM);
    signals.async_wait([this](const boost::system::error_code& error, int) {
        if (!error) {
            for (auto& context : m_contexts) {
                context->stop();
            }
        }
    });
    std::vector<std::thread> workers;
    for (std::size_t i = 1; i < m_contexts.size(); ++i) {
        workers.emplace_back([context = m_contexts[i].get()] { context->run(); });
    }
    m_contexts.front()->run();
    for (auto& worker : workers) {
        worker.join();
    }
}

asio::awaitable<void> FerrowServer::acceptLoop(tcp::acceptor& acceptor)
{
    tcp::endpoint remote; // from the accept itself, so nobody asks for it again
    for (;;) {
        auto [error, socket] = co_await acceptor.async_accept(remote, asio::as_tuple(asio::use_awaitable));
        if (error == asio::error::operation_aborted || !acceptor.is_open()) {
            co_return;
        }
        if (error) {
            // Out of descriptors and the like: say so, pause so that a failure that repeats at
            // once neither spins nor floods the log, and keep serving.
            m_shared.log(LogLevel::Warning, "accept failed: " + error.message());
            asio::steady_timer pause(acceptor.get_executor(), std::chrono::milliseconds(200));
            co_await pause.async_wait(asio::as_tuple(asio::use_awaitable));
            continue;
        }
        asio::co_spawn(acceptor.get_executor(), serveConnection(std::move(socket), remote, m_shared),
                       asio::detached);
    }
}

} // namespace ferrow::server
