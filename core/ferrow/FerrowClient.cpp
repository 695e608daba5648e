#include "FerrowClient.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <tuple>
#include <unistd.h>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <openssl/crypto.h>

#include "AppendRead.h"
#include "AsioTimeout.h"
#include "FerrowHandshake.h"
#include "FerrowPump.h"
#include "LoopbackPair.h"

namespace ferrow::proto {

namespace {

constexpr auto useTuple = asio::as_tuple(asio::use_awaitable);
constexpr std::chrono::seconds kAcceptTimeout{10};
/// A pooled connection older than this is replaced rather than used; the server keeps an idle
/// authenticated connection for minutes, so it is still open when taken.
constexpr std::chrono::seconds kPoolMaxAge{60};
/// Most connections prewarmed for one node when streams arrive faster than the pool refills.
constexpr std::size_t kMaxPool = 64;
std::uint64_t unixNow()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

/// Where master keys are derived, away from the threads that carry traffic.
asio::thread_pool& keyThread()
{
    static asio::thread_pool pool(1);
    return pool;
}

/// A plain coroutine rather than a lambda: GCC 12 destroys a coroutine lambda's captures twice.
asio::awaitable<void> prepareMasterKey(std::string psk)
{
    masterKey(psk);
    // OpenSSL keeps per-thread state that it frees only when told; this thread ends with the
    // process, after OpenSSL could clean up after it.
    OPENSSL_thread_stop();
    co_return;
}

/// The name a TLS client would send for this server: none for an address.
std::string serverNameOf(const std::string& server)
{
    boost::system::error_code error;
    asio::ip::make_address(server, error);
    return error ? server : std::string();
}

/// A connection whose handshake is done: the server's Accept has been opened.
struct Ready {
    explicit Ready(tcp::socket socket) : wire(std::move(socket)) {}
    tcp::socket wire;
    std::optional<tcp> protocol; // of `wire`, when the dialler said
    std::unique_ptr<ClientHandshake> handshake;
    std::string pending; // bytes after the Accept frame
    std::chrono::steady_clock::time_point created = std::chrono::steady_clock::now();
    bool taken = false;
};

/// Ends a pooled connection that will not be used: a Fin tells the server it carried nothing.
void retire(const std::shared_ptr<Ready>& ready)
{
    std::string fin;
    ready->handshake->sealer().seal(FrameType::Fin, {}, fin);
    boost::system::error_code ignored;
    ready->wire.non_blocking(true, ignored);
    ready->wire.write_some(asio::buffer(fin), ignored);
    ready->wire.close(ignored);
}

} // namespace

tcp protocolOf(const tcp::socket& socket, std::optional<tcp> known, boost::system::error_code& error)
{
    if (known) {
        error.clear();
        return *known;
    }
    return socket.local_endpoint(error).protocol();
}

DetachedSocket::~DetachedSocket()
{
    if (m_fd >= 0) {
        ::close(std::exchange(m_fd, -1));
    }
}

tcp::socket DetachedSocket::adopt(const asio::any_io_executor& executor)
{
    return tcp::socket(executor, m_protocol, std::exchange(m_fd, -1));
}

DetachedSocket detach(tcp::socket& socket, std::optional<tcp> known)
{
    boost::system::error_code ignored;
    return detach(socket, known, ignored);
}

DetachedSocket detach(tcp::socket& socket, std::optional<tcp> known, boost::system::error_code& error)
{
    const auto protocol = protocolOf(socket, known, error);
    const int fd = error ? -1 : socket.release(error);
    return error ? DetachedSocket() : DetachedSocket(fd, protocol);
}

FastOpen parseFastOpen(std::string_view text)
{
    if (text == "on") {
        return FastOpen::On;
    }
    if (text == "auto") {
        return FastOpen::Auto;
    }
    return FastOpen::Off;
}

asio::awaitable<WireResult> connectDirect(std::vector<asio::ip::address> addresses, std::uint16_t port,
                                          FastOpen fastOpen, std::chrono::seconds timeout,
                                          SocketPreparer prepare)
{
    WireResult result;
    auto executor = co_await asio::this_coro::executor;
    boost::system::error_code lastError = asio::error::host_not_found;
    for (const auto& address : addresses) {
        tcp::socket socket(executor);
        const tcp::endpoint endpoint(address, port);
        socket.open(endpoint.protocol(), lastError);
        if (!lastError && prepare && !prepare(socket.native_handle())) {
            lastError = boost::system::error_code(errno, boost::system::system_category());
        }
        if (lastError) {
            continue;
        }
        if (fastOpen != FastOpen::Off) {
            // The first write then goes out with the SYN when the kernel holds a cookie for the
            // server, and as an ordinary handshake otherwise.
            const int one = 1;
            if (setsockopt(socket.native_handle(), IPPROTO_TCP, TCP_FASTOPEN_CONNECT, &one, sizeof one) !=
                    0 &&
                fastOpen == FastOpen::On) {
                result.error = "TCP Fast Open is not available on this system; connected without it";
            }
        }
        lastError = co_await connectWithin(socket, endpoint, timeout);
        if (!lastError) {
            boost::system::error_code ignored;
            socket.set_option(tcp::no_delay(true), ignored);
            result.socket.emplace(std::move(socket));
            result.protocol = endpoint.protocol();
            co_return result;
        }
    }
    result.error = "cannot connect to the server: " + lastError.message();
    co_return result;
}

namespace {

/// What a pool's warmers dial with: taken from the stream that started the pool, so prewarming
/// copies neither the node nor its dialler per connection.
struct PoolSource {
    NodeSettings node;
    WireDialer dial;
};

} // namespace

struct FerrowClient::Shared {
    struct Pool {
        std::deque<std::shared_ptr<Ready>> ready;
        std::size_t warming = 0;
        std::size_t target = 0; // grows while streams find the pool empty, shrinks as entries age out
        std::shared_ptr<const PoolSource> source;
    };

    asio::any_io_executor executor;
    std::function<asio::any_io_executor()> pumpExecutor;
    std::size_t poolSize = 2;
    std::map<NodeSettings, Pool, NodeOrder> pools;
    /// Not cleared with the pools: handshakes outlive a reload.
    std::shared_ptr<HandshakeBudget> budget;
    std::uint64_t handshakes = 0;
    std::uint64_t generation = 0; // bumped by clearPools so late warmers do not refill old pools
};

namespace {

/// `mayWait`: false for prewarming, which gives up instead of queueing behind streams.
/// `node` and `dial` must outlive the call.
asio::awaitable<std::shared_ptr<Ready>> handshake(std::shared_ptr<FerrowClient::Shared> shared,
                                                  const NodeSettings& node, const WireDialer& dial,
                                                  std::optional<std::string> connect, std::string& error,
                                                  bool mayWait = true);

} // namespace

asio::awaitable<bool> HandshakeBudget::take(const NodeSettings& node, bool mayWait)
{
    const auto executor = co_await asio::this_coro::executor;
    std::shared_ptr<Waiter> waiter;
    {
        const std::lock_guard lock(m_mutex);
        auto& slots = m_slots[node];
        if (slots.inFlight < m_perNode) {
            ++slots.inFlight;
        } else if (mayWait) {
            waiter = std::make_shared<Waiter>(executor);
            slots.waiting.push_back(waiter);
        } else {
            if (slots.waiting.empty() && slots.inFlight == 0) {
                m_slots.erase(node);
            }
            co_return false;
        }
    }
    if (!waiter) {
        co_return true;
    }
    co_await waiter->timer.async_wait(useTuple);
    const std::lock_guard lock(m_mutex);
    if (waiter->handedOver) {
        co_return true;
    }
    // Cancelled (the stream's own time limit): leave the queue without a slot.
    if (const auto found = m_slots.find(node); found != m_slots.end()) {
        std::erase(found->second.waiting, waiter);
    }
    co_return false;
}

void HandshakeBudget::giveBack(const NodeSettings& node)
{
    std::shared_ptr<Waiter> next;
    {
        const std::lock_guard lock(m_mutex);
        const auto found = m_slots.find(node);
        if (found == m_slots.end()) {
            return;
        }
        auto& slots = found->second;
        if (!slots.waiting.empty()) {
            next = slots.waiting.front();
            slots.waiting.pop_front();
            next->handedOver = true;
        } else if (--slots.inFlight == 0) {
            m_slots.erase(found);
        }
    }
    if (next) {
        // The timer belongs to the waiter's thread.
        asio::post(next->timer.get_executor(), [next] { next->timer.cancel(); });
    }
}

std::size_t HandshakeBudget::spare(const NodeSettings& node)
{
    const std::lock_guard lock(m_mutex);
    const auto found = m_slots.find(node);
    if (found == m_slots.end()) {
        return m_perNode;
    }
    return found->second.waiting.empty() ? m_perNode - found->second.inFlight : 0;
}

FerrowClient::FerrowClient(asio::any_io_executor executor,
                           std::function<asio::any_io_executor()> pumpExecutor, std::size_t poolSize,
                           std::shared_ptr<HandshakeBudget> budget)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->executor = std::move(executor);
    m_shared->pumpExecutor = std::move(pumpExecutor);
    m_shared->poolSize = poolSize;
    m_shared->budget = budget ? std::move(budget) : std::make_shared<HandshakeBudget>();
}

FerrowClient::~FerrowClient()
{
    clearPools();
}

void FerrowClient::clearPools()
{
    ++m_shared->generation;
    for (auto& [node, pool] : m_shared->pools) {
        for (auto& ready : pool.ready) {
            ready->taken = true;
            retire(ready);
        }
    }
    m_shared->pools.clear();
}

std::size_t FerrowClient::pooled(const NodeSettings& node) const
{
    const auto found = m_shared->pools.find(node);
    return found == m_shared->pools.end() ? 0 : found->second.ready.size();
}

std::uint64_t FerrowClient::handshakes() const
{
    return m_shared->handshakes;
}

namespace {

asio::awaitable<std::shared_ptr<Ready>> handshakeOnce(std::shared_ptr<FerrowClient::Shared> shared,
                                                      const NodeSettings& node, const WireDialer& dial,
                                                      std::optional<std::string> connect, std::string& error);

asio::awaitable<std::shared_ptr<Ready>> handshake(std::shared_ptr<FerrowClient::Shared> shared,
                                                  const NodeSettings& node, const WireDialer& dial,
                                                  std::optional<std::string> connect, std::string& error,
                                                  bool mayWait)
{
    if (!hasMasterKey(node.psk)) {
        // A quarter second of scrypt, once per key: not on the thread that serves every stream,
        // and before dialling, so the server never holds a silent connection meanwhile.
        co_await asio::co_spawn(keyThread().get_executor(), prepareMasterKey(node.psk), asio::use_awaitable);
    }
    if (!co_await shared->budget->take(node, mayWait)) {
        error = mayWait ? "gave up waiting to start a handshake"
                        : "enough handshakes with the server are under way";
        co_return nullptr;
    }
    auto ready = co_await handshakeOnce(shared, node, dial, std::move(connect), error);
    // Given back on every path here, not by a destructor: it must not run while the io_context
    // that owns the waiters' timers is being torn down.
    shared->budget->giveBack(node);
    co_return ready;
}

asio::awaitable<std::shared_ptr<Ready>> handshakeOnce(std::shared_ptr<FerrowClient::Shared> shared,
                                                      const NodeSettings& node, const WireDialer& dial,
                                                      std::optional<std::string> connect, std::string& error)
{
    auto wire = co_await dial();
    if (!wire.socket) {
        error = wire.error;
        co_return nullptr;
    }
    auto ready = std::make_shared<Ready>(std::move(*wire.socket));
    ready->protocol = wire.protocol;
    ready->handshake = std::make_unique<ClientHandshake>(node.psk, unixNow(), serverNameOf(node.server));
    // The ClientHello goes alone, as a TLS client's first packet does; the target right behind.
    const auto packet = ready->handshake->firstPacket();
    auto [writeError, n] = co_await asio::async_write(ready->wire, asio::buffer(packet), useTuple);
    if (!writeError && connect) {
        const auto frame = ready->handshake->connectFrame(*connect);
        std::tie(writeError, n) = co_await asio::async_write(ready->wire, asio::buffer(frame), useTuple);
    }
    if (writeError) {
        error = "cannot send to the server: " + writeError.message();
        co_return nullptr;
    }
    SocketDeadline answer(ready->wire);
    answer.arm(std::chrono::steady_clock::now() + kAcceptTimeout);
    std::string buffer; // the answer is far smaller than a read: the only buffer it takes
    for (;;) {
        Frame frame;
        std::size_t used = 0;
        const auto status = ready->handshake->next(buffer, used, frame);
        buffer.erase(0, used);
        if (status == DecodeStatus::Frame) {
            answer.cancel();
            if (!buffer.empty()) {
                ready->pending = std::move(buffer); // else the read space goes: a pooled one may wait long
            }
            ++shared->handshakes;
            co_return ready;
        }
        if (status == DecodeStatus::Bad) {
            error = "the server's answer does not authenticate (wrong psk?)";
            co_return nullptr;
        }
        const auto [readError, n] = co_await appendSome(ready->wire, buffer, 4096);
        if (readError == asio::error::operation_aborted && answer.expired()) {
            error = "no answer from the server within " + std::to_string(kAcceptTimeout.count()) +
                    " s (wrong psk, or not a Ferrow server)";
            co_return nullptr;
        }
        if (readError) {
            error = readError == asio::error::eof
                        ? std::string("the server closed the connection (wrong psk, or not a Ferrow server)")
                        : "the server connection failed: " + readError.message();
            co_return nullptr;
        }
    }
}

/// Drops a pooled connection the moment it becomes readable: the server closed it (restart,
/// idle time-out) or sent what it never sends to an idle connection.
void watch(const std::shared_ptr<FerrowClient::Shared>& shared, std::shared_ptr<const PoolSource> source,
           const std::shared_ptr<Ready>& ready)
{
    ready->wire.async_wait(
        tcp::socket::wait_read, [weakShared = std::weak_ptr(shared), weakReady = std::weak_ptr(ready),
                                 source = std::move(source)](const boost::system::error_code& error) {
            const auto ready = weakReady.lock();
            const auto shared = weakShared.lock();
            if (error == asio::error::operation_aborted || !ready || !shared || ready->taken) {
                return;
            }
            ready->taken = true;
            boost::system::error_code ignored;
            ready->wire.close(ignored);
            auto& queue = shared->pools[source->node].ready;
            std::erase(queue, ready);
        });
}

/// One prewarmed connection for the pool of `source`; dropped when the pools were cleared meanwhile.
asio::awaitable<void> warm(std::shared_ptr<FerrowClient::Shared> shared,
                           std::shared_ptr<const PoolSource> source, std::uint64_t generation)
{
    std::string error;
    auto ready = co_await handshake(shared, source->node, source->dial, std::nullopt, error, false);
    if (shared->generation != generation) {
        if (ready) {
            retire(ready);
        }
        co_return;
    }
    auto& pool = shared->pools[source->node];
    --pool.warming;
    if (ready) {
        pool.ready.push_back(ready);
        watch(shared, std::move(source), ready);
    }
}

void refill(const std::shared_ptr<FerrowClient::Shared>& shared, const NodeSettings& node,
            const WireDialer& dial)
{
    auto& pool = shared->pools.try_emplace(node).first->second;
    if (!pool.source) {
        pool.source = std::make_shared<const PoolSource>(PoolSource{node, dial});
    }
    const auto generation = shared->generation;
    pool.target = std::clamp(pool.target, shared->poolSize, kMaxPool);
    // Prewarming uses only free handshake slots and never queues: streams waiting for one come
    // first, and a warmer that found none must not be started again at once.
    std::size_t free = shared->budget->spare(node);
    while (pool.ready.size() + pool.warming < pool.target && free > 0) {
        --free;
        ++pool.warming;
        // Posted, not started here: the stream that just took a pooled connection answers its
        // client before the new connection's dial and handshake run on this thread.
        asio::post(shared->executor, [shared, source = pool.source, generation] {
            asio::co_spawn(shared->executor, warm(shared, source, generation), asio::detached);
        });
    }
}

/// Whether an idle connection is still open with nothing to read: the server never speaks to an
/// idle connection, so anything readable is its close (or worse).
bool quiet(tcp::socket& socket)
{
    char byte = 0;
    const auto peeked = ::recv(socket.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

std::shared_ptr<Ready> takePooled(FerrowClient::Shared& shared, const NodeSettings& node)
{
    const auto found = shared.pools.find(node);
    if (found == shared.pools.end()) {
        return nullptr;
    }
    auto& queue = found->second.ready;
    while (!queue.empty()) {
        auto ready = std::move(queue.front());
        queue.pop_front();
        ready->taken = true;
        boost::system::error_code ignored;
        ready->wire.cancel(ignored);
        if (std::chrono::steady_clock::now() - ready->created > kPoolMaxAge) {
            found->second.target = found->second.target > 0 ? found->second.target - 1 : 0;
            retire(ready);
            continue;
        }
        if (!quiet(ready->wire)) {
            // The server closed it (or spoke) before the watch heard of it.
            ready->wire.close(ignored);
            continue;
        }
        return ready;
    }
    return nullptr;
}

} // namespace

void FerrowClient::prewarm(const NodeSettings& node, const WireDialer& dial)
{
    if (!node.poolable) {
        return;
    }
    auto& pool = m_shared->pools[node];
    pool.target = std::max(pool.target, m_shared->poolSize);
    refill(m_shared, node, dial);
}

FerrowWire::FerrowWire(tcp::socket socket, std::unique_ptr<ClientHandshake> handshake, std::string pending)
    : socket(std::move(socket)), handshake(std::move(handshake)), pending(std::move(pending))
{
}

FerrowWire::~FerrowWire() = default;

namespace {

/// An authenticated connection whose Connect frame (`connect`) is sent: a pooled one when the
/// node allows it, else a fresh handshake. Null with `error` set.
asio::awaitable<std::shared_ptr<Ready>> connected(std::shared_ptr<FerrowClient::Shared> shared,
                                                  const NodeSettings& node, const std::string& connect,
                                                  WireDialer dial, std::string& error)
{
    std::shared_ptr<Ready> ready;
    if (node.poolable) {
        ready = takePooled(*shared, node);
        if (!ready) {
            auto& pool = shared->pools[node];
            // The first stream only starts the pool; later ones that find it empty double it.
            pool.target = pool.target == 0 ? shared->poolSize : std::min(kMaxPool, pool.target * 2);
        }
        if (ready) {
            const auto frame = ready->handshake->connectFrame(connect);
            if (auto [writeError, n] = co_await asio::async_write(ready->wire, asio::buffer(frame), useTuple);
                writeError) {
                ready.reset(); // died in the pool unnoticed: open a fresh one
            }
        }
    }
    if (!ready) {
        ready = co_await handshake(shared, node, dial, connect, error);
        if (!ready) {
            co_return nullptr;
        }
    }
    if (node.poolable) {
        refill(shared, node, dial);
    }
    error.clear();
    co_return ready;
}

} // namespace

asio::awaitable<std::unique_ptr<FerrowWire>>
FerrowClient::openWire(const NodeSettings& node, const Target& target, WireDialer dial, std::string& error)
{
    auto ready =
        co_await connected(m_shared, node, connectBody(Network::Tcp, target), std::move(dial), error);
    if (!ready) {
        co_return nullptr;
    }
    auto wire = std::make_unique<FerrowWire>(std::move(ready->wire), std::move(ready->handshake),
                                             std::move(ready->pending));
    wire->protocol = ready->protocol;
    co_return wire;
}

asio::awaitable<void> relayWire(tcp::socket& plain, FerrowWire& wire, std::string initial,
                                std::function<void(bool upward, std::size_t bytes)> count,
                                std::chrono::seconds idleTimeout)
{
    auto* opener = wire.handshake.get();
    FrameReader reader = [opener](std::string_view in, std::size_t& used, Frame& frame) {
        return opener->next(in, used, frame);
    };
    // Named, not temporary: GCC 12 can destroy a temporary of a co_await expression twice.
    auto pump = pumpStream(plain, wire.socket, wire.handshake->sealer(), std::move(reader),
                           std::move(wire.pending), idleTimeout, std::move(initial), std::move(count));
    co_await std::move(pump);
}

asio::awaitable<StreamResult> FerrowClient::open(const NodeSettings& node, const Target& target,
                                                 WireDialer dial)
{
    StreamResult result;
    auto wire = co_await openWire(node, target, std::move(dial), result.error);
    if (!wire) {
        co_return result;
    }
    auto [sessionFd, pumpFd] = makeLoopbackPair(result.error);
    if (sessionFd < 0) {
        co_return result;
    }
    // The pump runs on the pump executor (the lane itself, for a lane's client): the wire's
    // descriptor moves there.
    DetachedSocket plainEnd(pumpFd, tcp::v4());
    boost::system::error_code error;
    auto wireEnd = detach(wire->socket, wire->protocol, error);
    if (!wireEnd) {
        ::close(sessionFd);
        result.error = "the server connection failed: " + error.message();
        co_return result;
    }
    auto pumpExecutor = m_shared->pumpExecutor();
    asio::co_spawn(
        pumpExecutor,
        [pumpExecutor, wireEnd = std::move(wireEnd), plainEnd = std::move(plainEnd),
         wire = std::move(wire)]() mutable -> asio::awaitable<void> {
            wire->socket = wireEnd.adopt(pumpExecutor);
            tcp::socket plain = plainEnd.adopt(pumpExecutor);
            auto relay = relayWire(plain, *wire, std::string(), ByteCounter(), std::chrono::seconds(0));
            co_await std::move(relay);
        },
        asio::detached);
    result.socket.emplace(co_await asio::this_coro::executor, tcp::v4(), sessionFd);
    co_return result;
}

asio::awaitable<std::unique_ptr<DatagramStream>>
FerrowClient::openDatagrams(const NodeSettings& node, WireDialer dial, std::string& error)
{
    // The target of a UDP relay's Connect is unused: each datagram names its own peer. A pooled
    // connection serves as well as for a TCP stream and saves the handshake's round trips.
    const auto unused = *Target::fromHost("0.0.0.0", 0);
    auto ready =
        co_await connected(m_shared, node, connectBody(Network::Udp, unused), std::move(dial), error);
    if (!ready) {
        co_return nullptr;
    }
    co_return std::make_unique<DatagramStream>(std::move(ready->wire), std::move(ready->handshake),
                                               std::move(ready->pending));
}

DatagramStream::DatagramStream(tcp::socket wire, std::unique_ptr<ClientHandshake> handshake,
                               std::string pending)
    : m_wire(std::move(wire)), m_handshake(std::move(handshake)), m_buffer(std::move(pending))
{
}

DatagramStream::~DatagramStream()
{
    close();
}

asio::awaitable<bool> DatagramStream::send(const Target& peer, std::string_view payload)
{
    if (!m_wire.is_open() || payload.size() > kMaxDatagramPayload) {
        co_return false;
    }
    m_out.clear();
    m_handshake->sealer().seal(FrameType::Datagram, datagramBody(peer, payload), m_out);
    m_writing = true;
    auto [error, n] = co_await asio::async_write(m_wire, asio::buffer(m_out), useTuple);
    m_writing = false;
    co_return !error;
}

asio::awaitable<std::optional<Datagram>> DatagramStream::receive()
{
    if (m_chunk.empty()) {
        m_chunk.resize(std::size_t{64} * 1024);
    }
    while (m_wire.is_open()) {
        Frame frame;
        std::size_t used = 0;
        const auto status = m_handshake->next(m_buffer, used, frame);
        m_buffer.erase(0, used);
        if (status == DecodeStatus::Bad || (status == DecodeStatus::Frame && frame.type == FrameType::Fin)) {
            break;
        }
        if (status == DecodeStatus::Frame) {
            if (frame.type == FrameType::Datagram) {
                if (auto datagram = parseDatagram(frame.body)) {
                    co_return datagram;
                }
            }
            continue;
        }
        auto [error, n] = co_await m_wire.async_read_some(asio::buffer(m_chunk), useTuple);
        if (error) {
            break;
        }
        m_buffer.append(m_chunk, 0, n);
    }
    boost::system::error_code ignored;
    m_wire.close(ignored);
    co_return std::nullopt;
}

void DatagramStream::close()
{
    if (!m_wire.is_open()) {
        return;
    }
    boost::system::error_code ignored;
    // A Fin behind a frame half written would be read as part of it; the close says as much.
    if (!m_writing) {
        std::string fin;
        m_handshake->sealer().seal(FrameType::Fin, {}, fin);
        m_wire.non_blocking(true, ignored);
        m_wire.write_some(asio::buffer(fin), ignored);
    }
    m_wire.close(ignored);
}

} // namespace ferrow::proto
