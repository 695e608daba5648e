#pragma once

#include "FerrowHandshake.h"
#include "ServerOptions.h"

#include <boost/asio/awaitable.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <mutex>
#include <string>

namespace ferrow::server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

/// What every connection of one server shares.
struct ServerShared {
    ServerOptions options;
    std::string psk;
    std::mutex replayMutex;
    proto::ReplayWindow replay;

    void log(LogLevel level, const std::string& line) const;
};

/// Accepts connections and serves each on its own strand.
class FerrowServer {
public:
    FerrowServer(asio::io_context& io, ServerOptions options, std::string psk);

    /// Binds the listening socket; an error text when it cannot.
    std::string listen();
    tcp::endpoint localEndpoint() const;
    void start();
    void stop();

private:
    asio::awaitable<void> acceptLoop();

    asio::io_context& m_io;
    ServerShared m_shared;
    tcp::acceptor m_acceptor;
};

/// Serves one accepted connection to its end.
asio::awaitable<void> serveConnection(tcp::socket socket, ServerShared& shared);

} // namespace ferrow::server
