// One client of the local proxy: SOCKS5 or HTTP (CONNECT tunnels and absolute-form requests).

#include <cerrno>
#include <sys/socket.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/write.hpp>

#include "CoreService.h"
#include "HttpProxyParser.h"
#include "ProxyServer.h"
#include "Socks5Parser.h"
#include "UdpAssociation.h"
#include "ferrow/AppendRead.h"
#include "ferrow/FerrowClient.h"
#include "tun/TunnelledFlow.h"

namespace ferrow::core {

namespace {

constexpr auto kHandshakeTimeout = std::chrono::seconds(30);
constexpr auto kKeepAliveTimeout = std::chrono::seconds(60);
constexpr std::size_t kReadChunk = std::size_t{4} * 1024;

/// Closes a socket when the time runs out; re-arming replaces the previous deadline. It bounds
/// the phases of a session (the handshake, the wait for an answer, a kept-alive idle client)
/// across several operations and the dial in between, and a body's stalls, where re-arming one
/// timer per chunk is far cheaper than racing every read with withTimeout (which takes about a
/// third off a plain HTTP download's throughput).
class Deadline {
public:
    explicit Deadline(const asio::any_io_executor& executor) : m_timer(executor) {}

    void arm(tcp::socket& socket, std::chrono::steady_clock::duration timeout)
    {
        m_fired = std::make_shared<bool>(false);
        m_timer.expires_after(timeout);
        m_timer.async_wait([&socket, fired = m_fired](const boost::system::error_code& error) {
            if (!error) {
                *fired = true;
                boost::system::error_code ignored;
                socket.close(ignored);
            }
        });
    }
    void cancel() { m_timer.cancel(); }
    /// Whether the deadline armed last closed its socket.
    bool fired() const { return m_fired && *m_fired; }

private:
    asio::steady_timer m_timer;
    std::shared_ptr<bool> m_fired;
};

/// Appends what the socket has to `buffer`; false on end of stream or error.
asio::awaitable<bool> readMore(tcp::socket& socket, std::string& buffer)
{
    auto [error, received] = co_await appendSome(socket, buffer, kReadChunk);
    co_return !error || received > 0;
}

enum class Read { Data, End, Failed };

/// Like readMore, but tells an orderly end of stream from a reset or another failure.
asio::awaitable<Read> readSome(tcp::socket& socket, std::string& buffer)
{
    auto [error, received] = co_await appendSome(socket, buffer, kReadChunk);
    if (received > 0) {
        co_return Read::Data;
    }
    co_return error == asio::error::eof ? Read::End : Read::Failed;
}

asio::awaitable<bool> writeAll(tcp::socket& socket, std::string_view bytes)
{
    auto [error, sent] =
        co_await asio::async_write(socket, asio::buffer(bytes.data(), bytes.size()), useTuple);
    co_return !error;
}

std::string normalizedHost(std::string host)
{
    host = toLower(host);
    while (!host.empty() && host.back() == '.') {
        host.pop_back();
    }
    return host;
}

struct Peer {
    IpAddr address;
    std::uint16_t port = 0;
    IpAddr local;
    std::uint16_t localPort = 0;
};

Peer peerOf(const SessionSockets& sockets)
{
    Peer peer;
    const auto& socket = sockets.client;
    boost::system::error_code ec;
    const auto remote = sockets.clientPeer ? *sockets.clientPeer : socket.remote_endpoint(ec);
    if (!ec) {
        peer.address = fromAsio(remote.address());
        peer.port = remote.port();
    }
    ec.clear();
    const auto local = sockets.clientLocal ? *sockets.clientLocal : socket.local_endpoint(ec);
    if (!ec) {
        peer.local = fromAsio(local.address());
        peer.localPort = local.port();
    }
    return peer;
}

/// Opens a connection record, routes and dials. The record is listed once routed, so a reader on
/// another thread never sees it half filled; the caller closes it.
struct Opened {
    std::shared_ptr<ConnectionRecord> record;
    Route route;
    DialResult dial;
};

asio::awaitable<Opened> openUpstream(CoreService& core, const Peer& peer, const std::string& host,
                                     std::uint16_t port, bool tunnel = false,
                                     std::optional<IpAddr> client = std::nullopt,
                                     std::optional<IpAddr> known = std::nullopt)
{
    Opened opened;
    opened.record = core.connections().create();
    auto& record = *opened.record;
    record.host = normalizedHost(host);
    record.port = port;
    record.source = peer.address;
    record.sourcePort = peer.port;
    record.local = peer.local;
    record.localPort = peer.localPort;
    RouteQuery query{record.host, port, peer.address, peer.port, peer.local, peer.localPort, &record, known};
    opened.route = co_await core.route(query);
    record.policy = opened.route.policy;
    record.chain = opened.route.chain;
    record.rule = opened.route.rule;
    core.connections().publish(opened.record);
    opened.dial = co_await core.dial(opened.route, record.host, port, client.value_or(peer.address), tunnel);
    co_return opened;
}

/// Runs on a lane: adopts the two descriptors and relays until both directions end.
asio::awaitable<void> relayAdopted(proto::DetachedSocket clientFd, proto::DetachedSocket upstreamFd,
                                   TrafficMeter meter, std::chrono::seconds idleTimeout)
{
    auto executor = co_await asio::this_coro::executor;
    tcp::socket client = clientFd.adopt(executor);
    tcp::socket upstream = upstreamFd.adopt(executor);
    co_await relay(client, upstream, meter, idleTimeout);
}

/// Relays an established tunnel on its lane; one that began on the main thread moves to a lane.
asio::awaitable<void> relayOnLane(CoreService& core, SessionSockets& sockets, TrafficMeter meter)
{
    const auto executor = core.relayExecutorFor(sockets.client);
    const auto idleTimeout = core.relayIdleTimeout();
    if (executor == sockets.client.get_executor()) {
        co_await relay(sockets.client, sockets.upstream, meter, idleTimeout);
        co_return;
    }
    auto client = proto::detach(sockets.client, sockets.clientProtocol());
    auto upstream = proto::detach(sockets.upstream, sockets.upstreamProtocol);
    if (!client || !upstream) {
        co_return; // one side is already gone; the other closes with it
    }
    // Named, not temporary: GCC 12 can destroy a temporary of a co_await expression twice.
    auto relayed = relayAdopted(std::move(client), std::move(upstream), meter, idleTimeout);
    co_await asio::co_spawn(executor, std::move(relayed), asio::use_awaitable);
}

/// Runs on the main thread: adopts the client's descriptor and serves the association there.
asio::awaitable<void> associateAdopted(CoreService& core, proto::DetachedSocket clientFd,
                                       socks5::Request request)
{
    tcp::socket client = clientFd.adopt(co_await asio::this_coro::executor);
    co_await serveUdpAssociate(core, client, request);
}

/// A UDP association lives on the main thread, beside the node pools and the tunnel's names it
/// uses; the lane's session waits for it to end.
asio::awaitable<void> associateOnMain(CoreService& core, SessionSockets& sockets,
                                      const socks5::Request& request)
{
    const auto main = core.mainExecutor();
    if (sockets.client.get_executor() == main) {
        co_await serveUdpAssociate(core, sockets.client, request);
        co_return;
    }
    auto client = proto::detach(sockets.client, sockets.clientProtocol());
    if (!client) {
        co_return;
    }
    // Named, not temporary: GCC 12 can destroy a temporary of a co_await expression twice.
    auto association = associateAdopted(core, std::move(client), request);
    co_await asio::co_spawn(main, std::move(association), asio::use_awaitable);
}

asio::awaitable<void> serveSocks5(CoreService& core, SessionSockets& sockets, std::string& buffer,
                                  Deadline& deadline)
{
    auto& client = sockets.client;
    socks5::Greeting greeting;
    while ((greeting = socks5::parseGreeting(buffer)).status == ParseStatus::NeedMore) {
        if (buffer.size() > 512 || !co_await readMore(client, buffer)) {
            co_return;
        }
    }
    if (greeting.status == ParseStatus::Bad || !greeting.offersNoAuthentication) {
        // 0xFF: none of the offered methods is acceptable.
        co_await writeAll(client, std::string("\x05\xff", 2));
        co_return;
    }
    buffer.erase(0, greeting.consumed);
    if (!co_await writeAll(client, std::string("\x05\x00", 2))) {
        co_return;
    }
    socks5::Request request;
    while ((request = socks5::parseRequest(buffer)).status == ParseStatus::NeedMore) {
        if (buffer.size() > 1024 || !co_await readMore(client, buffer)) {
            co_return;
        }
    }
    if (request.status == ParseStatus::Bad) {
        co_await writeAll(client, socks5::reply(request.failure));
        co_return;
    }
    const Peer peer = peerOf(sockets);
    if (request.command == socks5::kCommandUdpAssociate) {
        deadline.cancel(); // the association lasts as long as the client keeps the connection
        co_await associateOnMain(core, sockets, request);
        co_return;
    }
    if (request.command != socks5::kCommandConnect) {
        const char* name = request.command == socks5::kCommandBind ? "BIND" : "unknown command";
        core.log().info(std::string("SOCKS5 ") + name + " from " + peer.address.toString() +
                        " refused: command not supported");
        co_await writeAll(client, socks5::reply(socks5::CommandNotSupported));
        co_return;
    }
    buffer.erase(0, request.consumed);
    auto opened = co_await openUpstream(core, peer, request.host, request.port, true);
    if (!opened.dial.socket && !opened.dial.ferrow) {
        co_await writeAll(client, socks5::reply(opened.dial.reply));
        core.connections().close(opened.record);
        co_return;
    }
    if (opened.dial.ferrow) {
        deadline.cancel();
        auto meter = core.meterFor(*opened.record);
        if (co_await writeAll(client, socks5::reply(socks5::Succeeded))) {
            meter.up(buffer.size()); // bytes the client sent before our answer belong to the tunnel
            co_await core.relayFerrow(client, opened.dial.ferrow, buffer, meter, sockets.clientProtocol());
        }
        core.connections().close(opened.record);
        co_return;
    }
    sockets.upstream = std::move(*opened.dial.socket);
    sockets.upstreamProtocol = opened.dial.protocol;
    deadline.cancel();
    auto meter = core.meterFor(*opened.record);
    if (co_await writeAll(client, socks5::reply(socks5::Succeeded))) {
        // Bytes the client sent before our answer belong to the tunnel.
        if (buffer.empty() || co_await writeAll(sockets.upstream, buffer)) {
            meter.up(buffer.size());
            buffer.clear();
            buffer.shrink_to_fit();
            co_await relayOnLane(core, sockets, meter);
        }
    }
    core.connections().close(opened.record);
}

/// Whether a kept-alive upstream connection can carry another request: open, and the server
/// has neither closed it nor sent anything unasked while it was idle.
bool stillUsable(tcp::socket& socket)
{
    if (!socket.is_open()) {
        return false;
    }
    char byte = 0;
    const auto peeked = ::recv(socket.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

/// Moves one message body from `from` to `to`, starting with what is already in `pending`.
/// Leaves any bytes after the body in `pending`. False when the stream broke off.
asio::awaitable<bool> pumpBody(tcp::socket& from, std::string& pending, tcp::socket& to,
                               http::BodyFramer& framer, const std::function<void(std::size_t)>& count,
                               std::chrono::seconds idleTimeout)
{
    // A side that stops moving (a silent origin, a client that no longer reads) is cut after
    // the relay idle time-out instead of holding the connection for ever.
    Deadline stall(from.get_executor());
    const auto guard = [&](tcp::socket& socket) {
        if (idleTimeout.count() > 0) {
            stall.arm(socket, idleTimeout);
        }
    };
    while (!framer.done()) {
        if (pending.empty()) {
            guard(from);
            const auto read = co_await readSome(from, pending);
            stall.cancel();
            if (read != Read::Data) {
                // Only an orderly end completes a body that runs until close; a reset does not.
                co_return (read == Read::End) && framer.mode() == http::BodyFramer::Mode::UntilClose;
            }
        }
        const auto take = framer.feed(pending);
        if (framer.bad()) {
            co_return false;
        }
        if (take > 0) {
            guard(to);
            const bool written = co_await writeAll(to, std::string_view(pending).substr(0, take));
            stall.cancel();
            if (!written) {
                co_return false;
            }
            count(take);
            pending.erase(0, take);
        }
    }
    co_return true;
}

asio::awaitable<void> serveHttp(CoreService& core, SessionSockets& sockets, std::string& buffer,
                                Deadline& deadline)
{
    auto& client = sockets.client;
    const Peer peer = peerOf(sockets);
    std::shared_ptr<ConnectionRecord> record; // of the current upstream connection
    std::string upstreamKey;
    std::string upstreamBuffer;
    const auto finishRecord = [&]() {
        if (record) {
            core.connections().close(record);
            record.reset();
        }
    };
    while (true) {
        http::Head request;
        while ((request = http::parseRequestHead(buffer)).status == ParseStatus::NeedMore) {
            if (!co_await readMore(client, buffer)) {
                finishRecord();
                co_return;
            }
        }
        if (request.status == ParseStatus::Bad) {
            co_await writeAll(client, http::simpleResponse(400, "Bad Request", request.error + "\n", false));
            finishRecord();
            co_return;
        }
        buffer.erase(0, request.length);
        const bool isConnect = request.method == "CONNECT";
        const auto target =
            isConnect ? http::parseAuthority(request.target, 0) : http::parseAbsoluteUrl(request.target);
        if (!target) {
            const auto message = isConnect
                                     ? "CONNECT needs host:port\n"
                                     : "this is a proxy: send absolute-form http:// requests or CONNECT\n";
            co_await writeAll(client, http::simpleResponse(400, "Bad Request", message, false));
            finishRecord();
            co_return;
        }
        if (const auto problem = http::hostHeaderProblem(request); !problem.empty()) {
            co_await writeAll(client, http::simpleResponse(400, "Bad Request", problem + "\n", false));
            finishRecord();
            co_return;
        }
        auto requestFraming = http::requestBody(request);
        if (!requestFraming) {
            co_await writeAll(client,
                              http::simpleResponse(400, "Bad Request", "invalid message framing\n", false));
            finishRecord();
            co_return;
        }
        const auto key = target->host + "|" + std::to_string(target->port);
        if (isConnect || key != upstreamKey || !stillUsable(sockets.upstream)) {
            finishRecord();
            boost::system::error_code ignored;
            sockets.upstream.close(ignored);
            upstreamBuffer.clear();
            auto opened = co_await openUpstream(core, peer, target->host, target->port, isConnect);
            record = opened.record;
            if (opened.dial.ferrow) {
                deadline.cancel();
                auto meter = core.meterFor(*record);
                if (co_await writeAll(client, "HTTP/1.1 200 Connection established\r\n\r\n")) {
                    meter.up(buffer.size());
                    co_await core.relayFerrow(client, opened.dial.ferrow, buffer, meter,
                                              sockets.clientProtocol());
                }
                finishRecord();
                co_return;
            }
            if (!opened.dial.socket) {
                const int status = opened.dial.httpStatus;
                const char* reason = status == 403   ? "Forbidden"
                                     : status == 504 ? "Gateway Timeout"
                                                     : "Bad Gateway";
                // An unsent request body would be read as the next request, so only a request
                // without one keeps the connection after a refusal.
                const bool keepAlive = !isConnect && http::keepsAlive(request) &&
                                       requestFraming->mode() == http::BodyFramer::Mode::None;
                co_await writeAll(client,
                                  http::simpleResponse(status, reason, opened.dial.error + "\n", keepAlive));
                finishRecord();
                if (!keepAlive) {
                    co_return;
                }
                upstreamKey.clear();
                continue;
            }
            sockets.upstream = std::move(*opened.dial.socket);
            sockets.upstreamProtocol = opened.dial.protocol;
            upstreamKey = key;
        }
        auto meter = core.meterFor(*record);
        if (isConnect) {
            deadline.cancel();
            if (co_await writeAll(client, "HTTP/1.1 200 Connection established\r\n\r\n")) {
                if (buffer.empty() || co_await writeAll(sockets.upstream, buffer)) {
                    meter.up(buffer.size());
                    buffer.clear();
                    buffer.shrink_to_fit();
                    co_await relayOnLane(core, sockets, meter);
                }
            }
            finishRecord();
            co_return;
        }
        const bool clientWantsKeepAlive = http::keepsAlive(request);
        const auto head = http::forwardedRequestHead(request, *target);
        deadline.arm(sockets.upstream, core.responseTimeout());
        if (!co_await writeAll(sockets.upstream, head)) {
            finishRecord();
            co_return;
        }
        meter.up(head.size());
        // An upload takes as long as the client needs; only the wait for the answer is limited,
        // from the moment the request has been forwarded whole. The body has its own idle limit.
        deadline.cancel();
        if (!co_await pumpBody(
                client, buffer, sockets.upstream, *requestFraming, [&meter](std::size_t n) { meter.up(n); },
                core.relayIdleTimeout())) {
            finishRecord();
            co_return;
        }
        deadline.arm(sockets.upstream, core.responseTimeout());
        // Interim 1xx answers are passed on; the final answer follows them.
        http::Head response;
        while (true) {
            while ((response = http::parseResponseHead(upstreamBuffer)).status == ParseStatus::NeedMore) {
                if (!co_await readMore(sockets.upstream, upstreamBuffer)) {
                    const auto answer =
                        deadline.fired() ? http::simpleResponse(504, "Gateway Timeout",
                                                                "the server did not answer in time\n", false)
                                         : http::simpleResponse(502, "Bad Gateway",
                                                                "the server closed the connection\n", false);
                    co_await writeAll(client, answer);
                    finishRecord();
                    co_return;
                }
            }
            if (response.status == ParseStatus::Bad) {
                co_await writeAll(client,
                                  http::simpleResponse(502, "Bad Gateway", response.error + "\n", false));
                finishRecord();
                co_return;
            }
            if (response.statusCode >= 100 && response.statusCode < 200 && response.statusCode != 101) {
                const auto interim = std::string_view(upstreamBuffer).substr(0, response.length);
                co_await writeAll(client, interim);
                upstreamBuffer.erase(0, response.length);
                continue;
            }
            break;
        }
        deadline.cancel(); // a long download is not a stall
        upstreamBuffer.erase(0, response.length);
        auto responseFraming = http::responseBody(response, request.method);
        if (!responseFraming) {
            co_await writeAll(client,
                              http::simpleResponse(502, "Bad Gateway", "invalid response framing\n", false));
            finishRecord();
            co_return;
        }
        const bool framed = responseFraming->mode() != http::BodyFramer::Mode::UntilClose;
        const bool clientKeepAlive = clientWantsKeepAlive && framed;
        const auto responseHead = http::forwardedResponseHead(response, clientKeepAlive);
        if (!co_await writeAll(client, responseHead)) {
            finishRecord();
            co_return;
        }
        meter.down(response.length);
        const bool complete = co_await pumpBody(
            sockets.upstream, upstreamBuffer, client, *responseFraming,
            [&meter](std::size_t n) { meter.down(n); }, core.relayIdleTimeout());
        if (!complete) {
            abortSocket(client); // a cut download must not look whole
            finishRecord();
            co_return;
        }
        if (!clientKeepAlive) {
            boost::system::error_code ignored;
            client.shutdown(tcp::socket::shutdown_send, ignored);
            finishRecord();
            co_return;
        }
        if (!http::keepsAlive(response) || !upstreamBuffer.empty()) {
            boost::system::error_code ignored;
            sockets.upstream.close(ignored);
            upstreamKey.clear();
        }
        deadline.arm(client, kKeepAliveTimeout);
    }
}

} // namespace

asio::awaitable<void> runProxySession(CoreService& core, std::shared_ptr<SessionSockets> sockets)
{
    Deadline deadline(sockets->client.get_executor());
    deadline.arm(sockets->client, kHandshakeTimeout);
    std::string buffer;
    if (!co_await readMore(sockets->client, buffer) || buffer.empty()) {
        deadline.cancel();
        co_return;
    }
    if (buffer[0] == '\x05') {
        co_await serveSocks5(core, *sockets, buffer, deadline);
    } else {
        co_await serveHttp(core, *sockets, buffer, deadline);
    }
    deadline.cancel();
    sockets->closeAll();
}

asio::awaitable<void> runTunnelledSession(CoreService& core, tcp::socket client, TunnelledFlow flow)
{
    const Peer peer{flow.source, flow.sourcePort, flow.destination, flow.port};
    // This machine's own programs may reach what loopback clients may; devices using us as their
    // gateway get what LAN clients of the proxy get.
    const auto dialAs = flow.fromThisMachine ? *IpAddr::parse("127.0.0.1") : flow.source;
    // A name sniffed from the stream is for the rules and the list; the connection goes where
    // the client sent it.
    const auto known = flow.sniffed ? std::optional<IpAddr>(flow.destination) : std::nullopt;
    auto opened = co_await openUpstream(core, peer, flow.host, flow.port, true, dialAs, known);
    if (opened.dial.ferrow) {
        auto meter = core.meterFor(*opened.record);
        meter.up(flow.initial.size());
        co_await core.relayFerrow(client, opened.dial.ferrow, flow.initial, meter);
        core.connections().close(opened.record);
        co_return;
    }
    if (!opened.dial.socket) {
        abortSocket(client); // a refused destination looks refused, not like an empty answer
        core.connections().close(opened.record);
        co_return;
    }
    SessionSockets sockets(std::move(client));
    sockets.upstream = std::move(*opened.dial.socket);
    sockets.upstreamProtocol = opened.dial.protocol;
    auto meter = core.meterFor(*opened.record);
    if (flow.initial.empty() || co_await writeAll(sockets.upstream, flow.initial)) {
        meter.up(flow.initial.size());
        co_await relayOnLane(core, sockets, meter);
    }
    sockets.closeAll();
    core.connections().close(opened.record);
}

} // namespace ferrow::core
