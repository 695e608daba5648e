#include "FerrowServer.h"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <ctime>
#include <iostream>
#include <netinet/in.h>
#include <netinet/tcp.h>

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

FerrowServer::FerrowServer(asio::io_context& io, ServerOptions options, std::string psk)
    : m_io(io), m_acceptor(asio::make_strand(io))
{
    m_shared.options = std::move(options);
    m_shared.psk = std::move(psk);
}

std::string FerrowServer::listen()
{
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
    int port = -1;
    try {
        port = std::stoi(portText);
    } catch (...) {
    }
    if (error || port < 0 || port > 65535 || portText.find_first_not_of("0123456789") != std::string::npos) {
        return "cannot use listen address \"" + m_shared.options.listen + "\"";
    }
    const tcp::endpoint endpoint(address, static_cast<std::uint16_t>(port));
    m_acceptor.open(endpoint.protocol(), error);
    if (!error && address.is_v6()) {
        m_acceptor.set_option(asio::ip::v6_only(false), error); // one socket for IPv4 and IPv6
    }
    if (!error) {
        m_acceptor.set_option(tcp::acceptor::reuse_address(true), error);
    }
    if (!error) {
        m_acceptor.bind(endpoint, error);
    }
    if (!error) {
        // Clients with tfo=on/auto may send their first packet with the SYN; the kernel also
        // needs net.ipv4.tcp_fastopen bit 2, which the installer sets.
        const int queue = 256;
        setsockopt(m_acceptor.native_handle(), IPPROTO_TCP, TCP_FASTOPEN, &queue, sizeof queue);
        m_acceptor.listen(asio::socket_base::max_listen_connections, error);
    }
    if (error) {
        return "cannot listen on " + m_shared.options.listen + ": " + error.message();
    }
    return {};
}

tcp::endpoint FerrowServer::localEndpoint() const
{
    boost::system::error_code ignored;
    return m_acceptor.local_endpoint(ignored);
}

void FerrowServer::start()
{
    asio::co_spawn(m_acceptor.get_executor(), acceptLoop(), asio::detached);
}

void FerrowServer::stop()
{
    asio::post(m_acceptor.get_executor(), [this] {
        boost::system::error_code ignored;
        m_acceptor.close(ignored);
    });
}

asio::awaitable<void> FerrowServer::acceptLoop()
{
    for (;;) {
        auto strand = asio::make_strand(m_io);
        tcp::socket socket(strand);
        auto [error] = co_await m_acceptor.async_accept(socket, asio::as_tuple(asio::use_awaitable));
        if (error == asio::error::operation_aborted || !m_acceptor.is_open()) {
            co_return;
        }
        if (error) {
            // Out of descriptors and the like: say so and keep serving.
            m_shared.log(LogLevel::Warning, "accept failed: " + error.message());
            continue;
        }
        asio::co_spawn(strand, serveConnection(std::move(socket), m_shared), asio::detached);
    }
}

} // namespace ferrow::server
