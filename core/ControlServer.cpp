#include "ControlServer.h"

#include <cerrno>
#include <list>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <openssl/crypto.h>
#include <openssl/sha.h>

#include "AcceptNext.h"
#include "ferrow/AsioTimeout.h"

namespace ferrow::core {

namespace beast = boost::beast;
namespace bhttp = boost::beast::http;

namespace {

constexpr std::size_t kHeaderLimit = std::size_t{8} * 1024;
constexpr std::size_t kBodyLimit = std::size_t{64} * 1024;
constexpr auto kIdleTimeout = std::chrono::seconds(30);
// A connection that has not yet sent an authorised request is "half-open". Anyone on this
// machine can open those, so they are capped (in all and per peer address) and the oldest is
// dropped for a new one: a flood of unfinished requests cannot keep the app out.
constexpr std::size_t kMaxHalfOpen = 32;
constexpr std::size_t kMaxHalfOpenPerPeer = 16;
constexpr auto kFirstRequestTimeout = std::chrono::seconds(10);
// Authorised keep-alive connections have their own room; beyond it an answer closes.
constexpr std::size_t kMaxAuthorised = 32;
constexpr auto kAcceptPause = std::chrono::milliseconds(200);

// Compares digests, so neither the length nor the content of the secret leaks through timing.
bool sameSecret(std::string_view given, std::string_view expected)
{
    unsigned char a[SHA256_DIGEST_LENGTH];
    unsigned char b[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(given.data()), given.size(), a);
    SHA256(reinterpret_cast<const unsigned char*>(expected.data()), expected.size(), b);
    return CRYPTO_memcmp(a, b, sizeof a) == 0;
}

} // namespace

struct ControlServer::Impl {
    struct Connection {
        tcp::socket* socket = nullptr;
        std::string peer;
        bool authorised = false;
        bool dropped = false; // closed to make room, ending soon
    };

    asio::any_io_executor executor;
    std::string secret;
    Handler handler;
    Logger log;
    std::shared_ptr<tcp::acceptor> acceptor;
    std::vector<std::string> allowedHosts;
    // Oldest first; a connection stays at its place until it ends.
    std::list<Connection> connections;
    std::size_t authorisedCount = 0;
    bool descriptorsExhausted = false;

    bool hostAllowed(std::string_view host) const
    {
        const auto lower = toLower(host);
        for (const auto& allowed : allowedHosts) {
            if (lower == allowed) {
                return true;
            }
        }
        return false;
    }

    bool authorised(std::string_view header) const
    {
        if (secret.empty()) {
            return true;
        }
        constexpr std::string_view prefix = "Bearer ";
        if (header.size() < prefix.size() || header.substr(0, prefix.size()) != prefix) {
            return false;
        }
        return sameSecret(header.substr(prefix.size()), secret);
    }

    /// Makes room for one more half-open connection from `peer` by closing the oldest one
    /// that is in the way.
    void makeRoomFor(const std::string& peer)
    {
        std::size_t halfOpen = 0;
        std::size_t fromPeer = 0;
        for (const auto& connection : connections) {
            if (!connection.authorised && !connection.dropped) {
                ++halfOpen;
                fromPeer += connection.peer == peer ? 1 : 0;
            }
        }
        const bool peerFull = fromPeer >= kMaxHalfOpenPerPeer;
        if (!peerFull && halfOpen < kMaxHalfOpen) {
            return;
        }
        for (auto& connection : connections) {
            if (!connection.authorised && !connection.dropped && (!peerFull || connection.peer == peer)) {
                connection.dropped = true;
                beast::error_code ignored;
                connection.socket->close(ignored);
                return;
            }
        }
    }

    asio::awaitable<void> serve(tcp::socket socket)
    {
        beast::error_code peerError;
        const auto remote = socket.remote_endpoint(peerError);
        const std::string peer = peerError ? std::string() : remote.address().to_string();
        makeRoomFor(peer);
        const auto self = connections.insert(connections.end(), Connection{&socket, peer, false});
        beast::flat_buffer buffer;
        while (true) {
            bhttp::request_parser<bhttp::string_body> parser;
            parser.header_limit(kHeaderLimit);
            parser.body_limit(kBodyLimit);
            auto read = withTimeout(bhttp::async_read(socket, buffer, parser, useTuple),
                                    self->authorised ? kIdleTimeout : kFirstRequestTimeout);
            const auto outcome = co_await std::move(read);
            if (!outcome) {
                break;
            }
            if (const auto readError = std::get<0>(*outcome)) {
                if (readError == bhttp::error::header_limit || readError == bhttp::error::body_limit) {
                    bhttp::response<bhttp::string_body> tooLarge{bhttp::status::payload_too_large, 11};
                    tooLarge.set(bhttp::field::content_type, "application/json");
                    tooLarge.body() = R"({"error":"request too large"})";
                    tooLarge.keep_alive(false);
                    tooLarge.prepare_payload();
                    auto write = withTimeout(bhttp::async_write(socket, tooLarge, useTuple), kIdleTimeout);
                    co_await std::move(write);
                }
                break;
            }
            auto& request = parser.get();
            bhttp::response<bhttp::string_body> response;
            response.version(request.version());
            response.keep_alive(request.keep_alive());
            response.set(bhttp::field::server, "ferrow-core");
            response.set(bhttp::field::cache_control, "no-store");
            std::function<void()> afterWritten;
            if (!hostAllowed(request[bhttp::field::host])) {
                response.result(bhttp::status::forbidden);
                response.set(bhttp::field::content_type, "application/json");
                response.body() = R"({"error":"wrong Host header"})";
                response.keep_alive(false);
            } else if (!authorised(request[bhttp::field::authorization])) {
                // A caller without the secret gets nothing more on this connection.
                response.result(bhttp::status::unauthorized);
                response.keep_alive(false);
            } else {
                if (!self->authorised) {
                    self->authorised = true;
                    ++authorisedCount;
                }
                if (authorisedCount > kMaxAuthorised) {
                    response.keep_alive(false);
                }
                ApiRequest apiRequest;
                apiRequest.method = std::string(request.method_string());
                splitTarget(std::string(request.target()), apiRequest.path, apiRequest.query);
                apiRequest.body = std::move(request.body());
                // The handler takes as long as it takes (a delay test, a download).
                ApiResponse answer = co_await handler(std::move(apiRequest));
                response.result(static_cast<unsigned>(answer.status));
                response.set(bhttp::field::content_type, "application/json");
                response.body() = std::move(answer.body);
                afterWritten = std::move(answer.afterWritten);
            }
            response.prepare_payload();
            auto write = withTimeout(bhttp::async_write(socket, response, useTuple), kIdleTimeout);
            const auto written = co_await std::move(write);
            if (afterWritten) {
                afterWritten();
                break;
            }
            if (!written || std::get<0>(*written) || !response.keep_alive()) {
                break;
            }
        }
        if (self->authorised) {
            --authorisedCount;
        }
        connections.erase(self);
        beast::error_code ignored;
        socket.shutdown(tcp::socket::shutdown_both, ignored);
        socket.close(ignored);
    }

    asio::awaitable<void> acceptLoop(std::shared_ptr<tcp::acceptor> listener)
    {
        const auto shortage = [this](const boost::system::error_code& error) {
            if (!descriptorsExhausted && log) {
                log("controller API: out of file descriptors (" + error.message() +
                    "); pausing accepts until some are free");
            }
            descriptorsExhausted = true;
        };
        while (auto socket = co_await acceptNext(*listener, kAcceptPause, shortage)) {
            descriptorsExhausted = false;
            asio::co_spawn(executor, serve(std::move(*socket)), asio::detached);
        }
    }
};

ControlServer::ControlServer(asio::any_io_executor executor, std::string secret, Handler handler, Logger log)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->log = std::move(log);
    m_impl->executor = std::move(executor);
    m_impl->secret = std::move(secret);
    m_impl->handler = std::move(handler);
}

ControlServer::~ControlServer()
{
    close();
}

bool ControlServer::listen(const std::string& address, std::string* error)
{
    const auto hostPort = HostPort::parse(address);
    auto ip = hostPort ? IpAddr::parse(hostPort->host) : std::nullopt;
    if (hostPort && !ip && toLower(hostPort->host) == "localhost") {
        ip = IpAddr::parse("127.0.0.1");
    }
    if (!ip) {
        *error = "\"" + address + "\" is not an IP address and port";
        return false;
    }
    auto acceptor = std::make_shared<tcp::acceptor>(m_impl->executor);
    boost::system::error_code ec;
    const tcp::endpoint endpoint(toAsio(*ip), hostPort->port);
    acceptor->open(endpoint.protocol(), ec);
    if (!ec) {
        acceptor->bind(endpoint, ec);
    }
    if (!ec) {
        acceptor->listen(256, ec);
    }
    if (ec) {
        *error = "cannot listen on " + address + ": " + ec.message();
        return false;
    }
    const auto port = acceptor->local_endpoint(ec).port();
    m_address = HostPort{ip->toString(), port}.toString();
    // Only our own address is accepted as Host, so a web page cannot reach the API through a
    // name it controls that resolves to loopback.
    m_impl->allowedHosts = {toLower(m_address)};
    if (ip->isLoopback()) {
        m_impl->allowedHosts.push_back("localhost:" + std::to_string(port));
    }
    m_impl->acceptor = acceptor;
    asio::co_spawn(m_impl->executor, m_impl->acceptLoop(acceptor), asio::detached);
    return true;
}

void ControlServer::close()
{
    if (m_impl->acceptor) {
        boost::system::error_code ignored;
        m_impl->acceptor->close(ignored);
        m_impl->acceptor.reset();
    }
    for (auto& connection : m_impl->connections) {
        beast::error_code ignored;
        connection.socket->cancel(ignored);
    }
}

} // namespace ferrow::core
