#include <map>
#include <optional>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/connect.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>

#include "AppendRead.h"
#include "AsioTimeout.h"
#include "FerrowPump.h"
#include "FerrowServer.h"
#include "TargetPolicy.h"

namespace ferrow::server {

namespace {

using namespace asio::experimental::awaitable_operators;
using udp = asio::ip::udp;
constexpr auto useTuple = asio::as_tuple(asio::use_awaitable);
constexpr std::chrono::seconds kConnectTimeout{10};
/// How long a failed handshake's input is still read and dropped after the server's FIN.
constexpr std::chrono::seconds kLinger{2};
using Clock = std::chrono::steady_clock;

std::uint64_t unixNow()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

/// One read that gives up at `deadline`; an error of timed_out then.
asio::awaitable<std::pair<boost::system::error_code, std::size_t>>
readBefore(tcp::socket& socket, Clock::time_point deadline, std::string& chunk)
{
    auto read = withDeadline(socket.async_read_some(asio::buffer(chunk), useTuple), deadline);
    const auto outcome = co_await std::move(read);
    if (!outcome) {
        co_return std::pair{boost::system::error_code(asio::error::timed_out), std::size_t{0}};
    }
    const auto [error, n] = *outcome;
    co_return std::pair{error, n};
}

/// "address:port" for log lines.
std::string peerText(const tcp::endpoint& remote)
{
    return remote.address().to_string() + ":" + std::to_string(remote.port());
}

/// One read under `phase`, appended to `buffer`: an error of timed_out once its deadline passed.
asio::awaitable<boost::system::error_code>
readInPhase(tcp::socket& socket, const SocketDeadline<tcp::socket>& phase, std::string& buffer)
{
    // A hello and a Connect frame are far smaller than this: the buffer is the only allocation
    // a handshake's reading makes.
    auto [error, received] = co_await appendSome(socket, buffer, 4096);
    if (error == asio::error::operation_aborted && phase.expired()) {
        error = asio::error::timed_out;
    }
    co_return error;
}

/// What every failed handshake gets, whatever failed: its bytes are read and dropped until the
/// connection's deadline, then the server sends its FIN, drops what still comes for at most
/// kLinger and closes. Nothing is sent before. A peer that keeps sending sees the FIN on time
/// (the clock is checked before every read, so a flood cannot outrun the deadline) and a reset
/// at the close; a peer that stopped sees an orderly end. A peer that ends or resets its side is
/// answered with the close at once, as most servers do, and its descriptor comes back.
asio::awaitable<void> drainUntil(tcp::socket& socket, Clock::time_point deadline)
{
    // What is read is thrown away, so every drained connection of a thread shares one buffer:
    // thousands of probes held open cost no more than their sockets.
    thread_local std::string discard(4096, '\0');
    boost::system::error_code ignored;
    bool peerDone = false;
    while (!peerDone && Clock::now() < deadline) {
        const auto [error, n] = co_await readBefore(socket, deadline, discard);
        peerDone = error && error != asio::error::timed_out;
    }
    socket.shutdown(tcp::socket::shutdown_send, ignored);
    const auto linger = Clock::now() + kLinger;
    while (!peerDone && Clock::now() < linger) {
        const auto [error, n] = co_await readBefore(socket, linger, discard);
        peerDone = error && error != asio::error::timed_out;
    }
    socket.close(ignored);
}

struct Resolved {
    std::vector<asio::ip::address> addresses;
    std::string error;
};

asio::awaitable<Resolved> resolveTarget(const proto::Target& target, const ServerShared& shared)
{
    Resolved out;
    if (target.kind != proto::Target::Domain) {
        boost::system::error_code error;
        out.addresses.push_back(asio::ip::make_address(target.host(), error));
    } else {
        tcp::resolver resolver(co_await asio::this_coro::executor);
        auto [error, results] = co_await resolver.async_resolve(target.host(), "", useTuple);
        if (error) {
            out.error = "cannot resolve: " + error.message();
            co_return out;
        }
        for (const auto& entry : results) {
            out.addresses.push_back(entry.endpoint().address());
        }
    }
    if (!shared.options.allowPrivate) {
        // The server's own public addresses lead to its own services, as loopback does.
        const bool own = std::any_of(out.addresses.begin(), out.addresses.end(), [](const auto& address) {
            return isPublicAddress(address) && isOwnAddress(address);
        });
        std::erase_if(out.addresses,
                      [](const auto& address) { return !isPublicAddress(address) || isOwnAddress(address); });
        if (out.addresses.empty()) {
            out.error = own ? "refused: this server's own address"
                            : "refused: a private, loopback or link-local address";
        }
    }
    co_return out;
}

asio::awaitable<void> sendFinAndClose(tcp::socket& socket, proto::FrameSealer& sealer)
{
    std::string fin;
    sealer.seal(proto::FrameType::Fin, {}, fin);
    co_await asio::async_write(socket, asio::buffer(fin), useTuple);
    boost::system::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_send, ignored);
    // Let the client read the Fin before the close; it closes its side in answer.
    std::string sink(512, '\0');
    co_await readBefore(socket, Clock::now() + std::chrono::seconds(5), sink);
    socket.close(ignored);
}

asio::awaitable<void> serveTcp(tcp::socket& socket, proto::ServerHandshake& handshake,
                               const proto::Target& target, std::string pending, ServerShared& shared,
                               const tcp::endpoint& remote)
{
    const auto resolved = co_await resolveTarget(target, shared);
    auto executor = co_await asio::this_coro::executor;
    tcp::socket upstream(executor);
    boost::system::error_code lastError = asio::error::host_not_found;
    for (const auto& address : resolved.addresses) {
        boost::system::error_code ignored;
        upstream.close(ignored);
        lastError = co_await connectWithin(upstream, tcp::endpoint(address, target.port), kConnectTimeout);
        if (!lastError) {
            break;
        }
    }
    if (resolved.addresses.empty() || lastError) {
        shared.log(LogLevel::Info, peerText(remote) + " -> " + target.toString() + ": " +
                                       (resolved.error.empty() ? lastError.message() : resolved.error));
        co_await sendFinAndClose(socket, handshake.sealer());
        co_return;
    }
    boost::system::error_code ignored;
    upstream.set_option(tcp::no_delay(true), ignored);
    if (shared.logs(LogLevel::Debug)) {
        shared.log(LogLevel::Debug, peerText(remote) + " -> " + target.toString());
    }
    auto& opener = handshake.opener();
    const auto totals = co_await proto::pumpStream(
        upstream, socket, handshake.sealer(),
        [&opener](std::string_view in, std::size_t& used, proto::Frame& frame) {
            return opener.next(in, used, frame);
        },
        std::move(pending), shared.options.idleTimeout);
    if (shared.logs(LogLevel::Debug)) {
        shared.log(LogLevel::Debug, peerText(remote) + " -> " + target.toString() + " ended, " +
                                        std::to_string(totals.received) + " bytes out, " +
                                        std::to_string(totals.sent) + " back" +
                                        (totals.clean ? "" : " (cut)"));
    }
}

/// UDP through the stream: datagrams from the client go out from one socket, answers come back
/// with their source, until the client's Fin or the idle time-out.
asio::awaitable<void> serveUdp(tcp::socket& socket, proto::ServerHandshake& handshake, std::string pending,
                               ServerShared& shared)
{
    auto executor = co_await asio::this_coro::executor;
    udp::socket datagrams(executor);
    boost::system::error_code error;
    datagrams.open(udp::v6(), error);
    if (!error) {
        datagrams.set_option(asio::ip::v6_only(false), error);
    }
    if (!error) {
        datagrams.bind(udp::endpoint(udp::v6(), 0), error);
    }
    if (error) {
        shared.log(LogLevel::Warning, "cannot open a UDP socket: " + error.message());
        co_await sendFinAndClose(socket, handshake.sealer());
        co_return;
    }
    auto lastActivity = Clock::now();
    bool ended = false;

    auto fromClient = [&]() -> asio::awaitable<void> {
        std::string buffer = std::move(pending);
        std::string chunk(std::size_t{64} * 1024, '\0');
        std::map<std::string, std::vector<asio::ip::address>> names;
        for (;;) {
            std::size_t offset = 0;
            for (;;) {
                proto::Frame frame;
                std::size_t used = 0;
                const auto status =
                    handshake.opener().next(std::string_view(buffer).substr(offset), used, frame);
                offset += used;
                if (status == proto::DecodeStatus::NeedMore) {
                    break;
                }
                if (status == proto::DecodeStatus::Bad || frame.type == proto::FrameType::Fin) {
                    ended = true;
                    co_return;
                }
                if (frame.type != proto::FrameType::Datagram) {
                    continue;
                }
                auto datagram = proto::parseDatagram(frame.body);
                if (!datagram) {
                    continue;
                }
                const auto key = datagram->peer.host();
                if (names.size() >= 256 && !names.contains(key)) {
                    names
                        .clear(); // a relay that talks to that many peers gets no cache, not unbounded memory
                }
                if (!names.contains(key)) {
                    names[key] = (co_await resolveTarget(datagram->peer, shared)).addresses;
                }
                for (const auto& address : names[key]) {
                    const auto mapped = address.is_v4() ? asio::ip::address(asio::ip::make_address_v6(
                                                              asio::ip::v4_mapped, address.to_v4()))
                                                        : address;
                    co_await datagrams.async_send_to(asio::buffer(datagram->payload),
                                                     udp::endpoint(mapped, datagram->peer.port), useTuple);
                    lastActivity = Clock::now();
                    break;
                }
            }
            buffer.erase(0, offset);
            const auto [readError, n] =
                co_await readBefore(socket, lastActivity + shared.options.idleTimeout, chunk);
            if (readError) {
                ended = true;
                co_return;
            }
            buffer.append(chunk, 0, n);
        }
    };
    auto toClient = [&]() -> asio::awaitable<void> {
        std::string payload(std::size_t{64} * 1024, '\0');
        std::string out;
        for (;;) {
            udp::endpoint source;
            auto [readError, n] =
                co_await datagrams.async_receive_from(asio::buffer(payload), source, useTuple);
            if (readError || ended) {
                co_return;
            }
            auto address = source.address();
            if (address.is_v6() && address.to_v6().is_v4_mapped()) {
                address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
            }
            const auto peer = proto::Target::fromHost(address.to_string(), source.port());
            out.clear();
            handshake.sealer().seal(proto::FrameType::Datagram,
                                    proto::datagramBody(*peer, std::string_view(payload).substr(0, n)), out);
            auto [writeError, written] = co_await asio::async_write(socket, asio::buffer(out), useTuple);
            if (writeError) {
                co_return;
            }
            lastActivity = Clock::now();
        }
    };
    co_await (fromClient() || toClient());
    datagrams.close(error);
    co_await sendFinAndClose(socket, handshake.sealer());
}

} // namespace

asio::awaitable<void> serveConnection(tcp::socket socket, tcp::endpoint remote, ServerShared& shared)
{
    boost::system::error_code ignored;
    const auto probeMin = shared.options.probeMin.count();
    const auto probeMax = shared.options.probeMax.count();
    // Drawn in milliseconds so that the close time says nothing about what failed.
    const auto deadline =
        Clock::now() +
        std::chrono::milliseconds(proto::randomBetween(static_cast<std::uint32_t>(probeMin * 1000),
                                                       static_cast<std::uint32_t>(probeMax * 1000)));
    // Counted until it authenticates or ends, whichever way it ends.
    const auto pending = shared.pending.admit(socket, remote.address());
    struct Leave {
        Leave(PendingConnections& from, const std::shared_ptr<PendingConnections::Entry>& which)
            : connections(from), entry(which)
        {
        }
        Leave(const Leave&) = delete;
        Leave& operator=(const Leave&) = delete;
        ~Leave() { connections.leave(entry); }
        PendingConnections& connections;
        const std::shared_ptr<PendingConnections::Entry>& entry;
    };
    std::optional<Leave> leave(std::in_place, shared.pending, pending);
    proto::ServerHandshake handshake(shared.psk);
    std::string buffer;
    auto status = proto::ServerHandshake::Status::NeedMore;
    SocketDeadline phase(socket);
    phase.arm(deadline);
    while (status == proto::ServerHandshake::Status::NeedMore) {
        if (co_await readInPhase(socket, phase, buffer)) {
            break;
        }
        std::size_t used = 0;
        status = handshake.feed(buffer, used);
        buffer.erase(0, used);
    }
    bool admitted = false;
    if (status == proto::ServerHandshake::Status::Done) {
        const auto now = unixNow();
        admitted = handshake.admit(shared.replay, now);
        // Written before anything is answered or relayed: a replay after a restart must find it.
        if (admitted && shared.journal &&
            !shared.journal->record(handshake.salt(), handshake.helloTime(), now)) {
            shared.log(LogLevel::Error, "cannot write the replay journal: handshake refused");
            admitted = false;
        }
    }
    phase.cancel();
    if (!admitted) {
        if (shared.logs(LogLevel::Debug)) {
            shared.log(LogLevel::Debug, peerText(remote) + ": handshake refused");
        }
        buffer = std::string();
        co_await drainUntil(socket, deadline);
        co_return;
    }
    leave.reset();
    if (shared.logs(LogLevel::Debug)) {
        shared.log(LogLevel::Debug, peerText(remote) + ": authenticated");
    }
    socket.set_option(tcp::no_delay(true), ignored);
    const auto accept = handshake.acceptPacket();
    if (auto [error, n] = co_await asio::async_write(socket, asio::buffer(accept), useTuple); error) {
        co_return;
    }

    // The Connect frame: at once for a fresh connection, later for a pooled one.
    const auto idleDeadline = Clock::now() + shared.options.idleTimeout;
    phase.arm(idleDeadline);
    for (;;) {
        proto::Frame frame;
        std::size_t used = 0;
        const auto decoded = handshake.opener().next(buffer, used, frame);
        buffer.erase(0, used);
        if (decoded == proto::DecodeStatus::Bad) {
            socket.close(ignored);
            co_return;
        }
        if (decoded == proto::DecodeStatus::Frame) {
            if (frame.type == proto::FrameType::Padding) {
                continue;
            }
            const auto request =
                frame.type == proto::FrameType::Connect ? proto::parseConnect(frame.body) : std::nullopt;
            if (!request) {
                // Only a key holder gets here; a client that leaves without a target (a pooled
                // connection it no longer needs) ends with a Fin.
                if (frame.type != proto::FrameType::Fin) {
                    shared.log(LogLevel::Warning, peerText(remote) + ": malformed first frame");
                }
                co_await sendFinAndClose(socket, handshake.sealer());
                co_return;
            }
            phase.cancel();
            if (request->network == proto::Network::Udp) {
                co_await serveUdp(socket, handshake, std::move(buffer), shared);
            } else {
                co_await serveTcp(socket, handshake, request->target, std::move(buffer), shared, remote);
            }
            co_return;
        }
        if (co_await readInPhase(socket, phase, buffer)) {
            socket.close(ignored);
            co_return;
        }
    }
}

} // namespace ferrow::server
