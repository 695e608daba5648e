#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>

#include "FerrowHandshake.h"
#include "PendingConnections.h"
#include "ReplayJournal.h"
#include "ServerOptions.h"

namespace ferrow::server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

/// What every connection of one server shares.
struct ServerShared {
    explicit ServerShared(ServerOptions given)
        : options(std::move(given)), pending(options.maxUnauthenticated, options.maxUnauthenticatedPerSource)
    {
    }
    ServerOptions options;
    std::string psk;
    proto::ReplayWindow replay;
    /// Open when the server has a state folder; accepted salts are written to it before the
    /// hello is answered.
    std::optional<ReplayJournal> journal;
    PendingConnections pending;

    void log(LogLevel level, const std::string& line) const;
    /// Whether lines of `level` are written: the text of a line that is not is never built.
    bool logs(LogLevel level) const { return level <= options.logLevel; }
};

/// Accepts and serves connections on one thread per processor. Each thread has its own
/// io_context and its own listening socket on the same port (SO_REUSEPORT), so a connection lives
/// on one thread from accept to close and never waits for a hand-over between threads.
class FerrowServer {
public:
    FerrowServer(ServerOptions options, std::string psk);
    ~FerrowServer();

    /// Loads the replay journal and binds the listening sockets; an error text when it cannot.
    std::string listen();
    tcp::endpoint localEndpoint() const;
    /// Serves until SIGINT or SIGTERM.
    void run();

private:
    std::string prepareReplay();
    asio::awaitable<void> acceptLoop(tcp::acceptor& acceptor);

    ServerShared m_shared;
    std::vector<std::unique_ptr<asio::io_context>> m_contexts;
    std::vector<std::unique_ptr<tcp::acceptor>> m_acceptors;
};

/// Serves one accepted connection from `remote` to its end.
asio::awaitable<void> serveConnection(tcp::socket socket, tcp::endpoint remote, ServerShared& shared);

} // namespace ferrow::server
