#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "FerrowFrame.h"

namespace ferrow::proto {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

class ClientHandshake;

/// Largest UDP payload one datagram frame carries, with room for the longest peer name.
inline constexpr std::size_t kMaxDatagramPayload = kMaxFramePlain - 300;

/// UDP carried in one ferrow stream: datagrams to any peer go out through the node's server and
/// answers come back with their source. One sender and one receiver at a time.
class DatagramStream {
public:
    DatagramStream(tcp::socket wire, std::unique_ptr<ClientHandshake> handshake, std::string pending);
    ~DatagramStream();
    DatagramStream(const DatagramStream&) = delete;
    DatagramStream& operator=(const DatagramStream&) = delete;

    /// False when the stream has failed.
    asio::awaitable<bool> send(const Target& peer, std::string_view payload);
    /// The next datagram, or nothing once the stream has ended or failed.
    asio::awaitable<std::optional<Datagram>> receive();
    /// Ends the relay (a Fin) and closes.
    void close();

private:
    tcp::socket m_wire;
    std::unique_ptr<ClientHandshake> m_handshake;
    std::string m_buffer;
    std::string m_chunk; // read buffer, kept across datagrams
    std::string m_out;
    bool m_writing = false;
};

enum class FastOpen { Off, Auto, On };
FastOpen parseFastOpen(std::string_view text);

/// What the client needs of a node.
struct NodeSettings {
    std::string name;
    std::string server;
    std::uint16_t port = 0;
    std::string psk;
    FastOpen fastOpen = FastOpen::Off;
    /// Pooled connections are kept only for nodes reached directly.
    bool poolable = true;
};

/// Pools and handshake limits are kept per node: nodes that differ in any of these never share
/// them. Compared field by field, so a lookup builds nothing.
struct NodeOrder {
    bool operator()(const NodeSettings& a, const NodeSettings& b) const
    {
        return std::tie(a.port, a.fastOpen, a.name, a.server, a.psk) <
               std::tie(b.port, b.fastOpen, b.name, b.server, b.psk);
    }
};

/// The handshakes under way to each node, shared by the clients of one program, each of which
/// may run on a thread of its own. A server keeps few unauthenticated connections per source (64
/// by default) and drops the oldest beyond them, so a burst of streams plus the pools' prewarming
/// must stay well below that; further streams wait, in order, for a handshake to end.
class HandshakeBudget {
public:
    static constexpr std::size_t kPerNode = 32;

    explicit HandshakeBudget(std::size_t perNode = kPerNode) : m_perNode(perNode) {}
    HandshakeBudget(const HandshakeBudget&) = delete;
    HandshakeBudget& operator=(const HandshakeBudget&) = delete;

    /// Takes a slot. With `mayWait`, a stream waits on its own executor until one is handed to it;
    /// false when none was free without `mayWait`, or the wait was cancelled.
    asio::awaitable<bool> take(const NodeSettings& node, bool mayWait);
    /// Gives a slot back: to the longest waiter, whichever thread it waits on.
    void giveBack(const NodeSettings& node);
    /// Slots prewarming may take now: none while streams wait, since they come first.
    std::size_t spare(const NodeSettings& node);

private:
    struct Waiter {
        explicit Waiter(const asio::any_io_executor& executor)
            : timer(executor, asio::steady_timer::time_point::max())
        {
        }
        asio::steady_timer timer; // cancelled on its own executor to hand over the slot
        bool handedOver = false;  // else the wait ended because the stream was given up
    };
    struct Slots {
        std::size_t inFlight = 0;
        std::deque<std::shared_ptr<Waiter>> waiting;
    };

    std::mutex m_mutex;
    std::size_t m_perNode;
    std::map<NodeSettings, Slots, NodeOrder> m_slots;
};

/// A connected socket to the node's server (direct, or a stream through another policy).
struct WireResult {
    std::optional<tcp::socket> socket;
    std::string error;
    std::optional<tcp> protocol; // of `socket`, when the dialler knows it
};

/// The protocol of `socket`: `known` when given, else asked of the system (an error then when
/// the socket is gone).
tcp protocolOf(const tcp::socket& socket, std::optional<tcp> known, boost::system::error_code& error);

/// A socket's descriptor taken out of its thread's loop, for another thread's loop to adopt.
/// One never adopted is closed.
class DetachedSocket {
public:
    DetachedSocket() = default;
    DetachedSocket(int fd, tcp protocol) : m_fd(fd), m_protocol(protocol) {}
    DetachedSocket(DetachedSocket&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1)), m_protocol(other.m_protocol)
    {
    }
    DetachedSocket& operator=(DetachedSocket&&) = delete;
    ~DetachedSocket();

    /// False when the socket was already gone.
    explicit operator bool() const { return m_fd >= 0; }
    /// The socket again, on `executor`'s loop.
    tcp::socket adopt(const asio::any_io_executor& executor);

private:
    int m_fd = -1;
    tcp m_protocol = tcp::v4();
};

/// Takes `socket`'s descriptor out of its loop; `known` is its protocol when the caller has it.
DetachedSocket detach(tcp::socket& socket, std::optional<tcp> known);
/// The same, saying why when the socket was already gone.
DetachedSocket detach(tcp::socket& socket, std::optional<tcp> known, boost::system::error_code& error);
using WireDialer = std::function<asio::awaitable<WireResult>()>;

/// An authenticated connection to the node's server whose Connect frame is sent: what a tunnel
/// relays directly, without the loopback pair.
struct FerrowWire {
    FerrowWire(tcp::socket socket, std::unique_ptr<ClientHandshake> handshake, std::string pending);
    FerrowWire(const FerrowWire&) = delete;
    FerrowWire& operator=(const FerrowWire&) = delete;
    ~FerrowWire();
    tcp::socket socket;
    std::unique_ptr<ClientHandshake> handshake;
    std::string pending;         // bytes read after the server's Accept
    std::optional<tcp> protocol; // of `socket`, when known
};

/// Relays a tunnel between `plain` (the proxy client) and `wire` until both directions end; the
/// same rules as pumpStream. `initial` holds client bytes that arrived before the relay began.
asio::awaitable<void> relayWire(tcp::socket& plain, FerrowWire& wire, std::string initial,
                                std::function<void(bool upward, std::size_t bytes)> count,
                                std::chrono::seconds idleTimeout);

struct StreamResult {
    /// The local end that carries the stream's plain bytes, on the caller's executor.
    std::optional<tcp::socket> socket;
    std::string error;
};

/// Readies an opened socket before it connects (the core marks it to keep it out of its own
/// tunnel); false refuses the socket, with errno saying why.
using SocketPreparer = std::function<bool(int fd)>;

/// Connects directly to one of `addresses`, with TCP Fast Open as the mode says (Auto and On
/// ask the kernel for it; the kernel falls back to a plain handshake without a cookie).
asio::awaitable<WireResult> connectDirect(std::vector<asio::ip::address> addresses, std::uint16_t port,
                                          FastOpen fastOpen, std::chrono::seconds timeout,
                                          SocketPreparer prepare = {});

/// The client end: opens streams through ferrow nodes, keeping a small pool of connections per
/// node whose handshake is already done. Lives on one executor (the core's main one); each
/// stream's pump runs on an executor from `pumpExecutor`.
class FerrowClient {
public:
    /// Without a `budget` shared with other clients, the client has one of its own.
    FerrowClient(asio::any_io_executor executor, std::function<asio::any_io_executor()> pumpExecutor,
                 std::size_t poolSize = 2, std::shared_ptr<HandshakeBudget> budget = {});
    ~FerrowClient();
    FerrowClient(const FerrowClient&) = delete;
    FerrowClient& operator=(const FerrowClient&) = delete;

    /// Opens one TCP stream to `target`. The node's server has authenticated the connection
    /// (its Accept arrived) before this returns a socket.
    asio::awaitable<StreamResult> open(const NodeSettings& node, const Target& target, WireDialer dial);
    /// The same stream as an authenticated connection for the caller to relay itself (a tunnel),
    /// or null with `error` set.
    asio::awaitable<std::unique_ptr<FerrowWire>> openWire(const NodeSettings& node, const Target& target,
                                                          WireDialer dial, std::string& error);

    /// Opens a UDP relay through the node, on a pooled connection when there is one. Null with
    /// `error` set on failure.
    asio::awaitable<std::unique_ptr<DatagramStream>> openDatagrams(const NodeSettings& node, WireDialer dial,
                                                                   std::string& error);

    /// Starts the node's pool as its first stream would, without a stream: another thread's client
    /// was asked for the node first. Only on this client's executor.
    void prewarm(const NodeSettings& node, const WireDialer& dial);
    /// Drops every pooled connection (on reload, and at the end).
    void clearPools();
    /// Pooled connections ready for `node` now.
    std::size_t pooled(const NodeSettings& node) const;
    /// Handshakes completed so far (pooled and not).
    std::uint64_t handshakes() const;

    struct Shared; // pools and counters, kept alive by the connections being prewarmed

private:
    std::shared_ptr<Shared> m_shared;
};

} // namespace ferrow::proto
