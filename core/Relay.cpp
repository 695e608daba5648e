#include "Relay.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include <boost/asio/write.hpp>

#include "BothWays.h"

namespace ferrow::core {

namespace {

constexpr std::size_t kChunk = 1 << 20;
constexpr std::size_t kCopyBuffer = std::size_t{64} * 1024;
constexpr std::size_t kSmallCopy = std::size_t{16} * 1024;
constexpr std::size_t kSpliceAfter = std::size_t{256} * 1024;

enum class Outcome { Finished, Failed, Unsupported };

// Called when one side failed: the other learns of it as a reset, not as a clean end.
void closeBoth(tcp::socket& a, tcp::socket& b)
{
    abortSocket(a);
    abortSocket(b);
}

enum class Start { Bulk, Ended, Failed };

enum class Next { Open, Ends, Broken };

/// What is queued behind what was read: more, the peer's end of stream, or its failure. A peek
/// consumes no data, but it does take a pending error (a reset), so Broken must be acted on.
Next peekNext(tcp::socket& from)
{
    char probe = 0;
    const ssize_t got = ::recv(from.native_handle(), &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got == 0) {
        return Next::Ends;
    }
    return got > 0 || errno == EAGAIN || errno == EINTR ? Next::Open : Next::Broken;
}

/// Copies the first bytes through a small buffer: most connections are short, and for them a
/// pipe would cost more system calls than it saves. Returns Bulk once the stream proves long.
asio::awaitable<Start> copyShortStart(tcp::socket& from, tcp::socket& to, TrafficMeter& meter, bool upward)
{
    std::unique_ptr<char[]> buffer;
    std::size_t copied = 0;
    // The first bytes are often there already (a request sent right behind the handshake):
    // try once before waiting, which saves a trip through the reactor.
    bool speculate = true;
    while (copied < kSpliceAfter) {
        if (!speculate) {
            auto [waitError] = co_await from.async_wait(tcp::socket::wait_read, useTuple);
            if (waitError) {
                co_return Start::Failed;
            }
        }
        if (!buffer) {
            buffer = std::make_unique<char[]>(kSmallCopy);
        }
        const ssize_t received = ::recv(from.native_handle(), buffer.get(), kSmallCopy, MSG_DONTWAIT);
        if (received == 0) {
            boost::system::error_code ignored;
            to.shutdown(tcp::socket::shutdown_send, ignored);
            co_return Start::Ended;
        }
        if (received < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                if (speculate) {
                    buffer.reset(); // an idle connection holds no buffer while it waits
                }
                speculate = false;
                continue;
            }
            co_return Start::Failed;
        }
        speculate = false;
        const auto size = static_cast<std::size_t>(received);
        meter.count(upward, size);
        // A short answer is often followed by its sender's close already: sent together they
        // take one packet, and the reader learns of the end without another round.
        const Next next = size < kSmallCopy ? peekNext(from) : Next::Open;
        const bool ending = next == Next::Ends;
        std::size_t sent = 0;
        if (ending) {
            const ssize_t written =
                ::send(to.native_handle(), buffer.get(), size, MSG_DONTWAIT | MSG_NOSIGNAL | MSG_MORE);
            if (written < 0 && errno != EAGAIN && errno != EINTR) {
                meter.uncount(upward, size);
                co_return Start::Failed;
            }
            sent = written > 0 ? static_cast<std::size_t>(written) : 0;
        }
        if (sent < size) {
            auto [writeError, rest] =
                co_await asio::async_write(to, asio::buffer(buffer.get() + sent, size - sent), useTuple);
            if (writeError) {
                meter.uncount(upward, size - sent - rest);
                co_return Start::Failed;
            }
        }
        if (ending) {
            boost::system::error_code ignored;
            to.shutdown(tcp::socket::shutdown_send, ignored); // carries the held tail with it
            co_return Start::Ended;
        }
        if (next == Next::Broken) {
            co_return Start::Failed; // passed on as a reset, after what came before it
        }
        copied += size;
    }
    co_return Start::Bulk;
}

asio::awaitable<Outcome> spliceOneWay(tcp::socket& from, tcp::socket& to, TrafficMeter& meter, bool upward)
{
    const Start start = co_await copyShortStart(from, to, meter, upward);
    if (start != Start::Bulk) {
        if (start == Start::Failed) {
            closeBoth(from, to);
        }
        co_return start == Start::Ended ? Outcome::Finished : Outcome::Failed;
    }
    int pipeFds[2] = {-1, -1};
    Outcome outcome = Outcome::Finished;
    while (true) {
        if (pipeFds[0] < 0) {
            auto [waitError] = co_await from.async_wait(tcp::socket::wait_read, useTuple);
            if (waitError) {
                outcome = Outcome::Failed;
                break;
            }
            if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
                outcome = Outcome::Unsupported;
                break;
            }
            ::fcntl(pipeFds[1], F_SETPIPE_SZ, static_cast<int>(kChunk));
        }
        const ssize_t received = ::splice(from.native_handle(), nullptr, pipeFds[1], nullptr, kChunk,
                                          SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (received == 0) {
            boost::system::error_code ignored;
            to.shutdown(tcp::socket::shutdown_send, ignored);
            break;
        }
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN) {
                auto [waitError] = co_await from.async_wait(tcp::socket::wait_read, useTuple);
                if (waitError) {
                    outcome = Outcome::Failed;
                    break;
                }
                continue;
            }
            outcome = errno == EINVAL ? Outcome::Unsupported : Outcome::Failed;
            break;
        }
        auto pending = static_cast<std::size_t>(received);
        meter.count(upward, pending);
        while (pending > 0) {
            const ssize_t sent = ::splice(pipeFds[0], nullptr, to.native_handle(), nullptr, pending,
                                          SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
            if (sent > 0) {
                pending -= static_cast<std::size_t>(sent);
                continue;
            }
            if (sent < 0 && errno == EINTR) {
                continue;
            }
            if (sent < 0 && errno == EAGAIN) {
                auto [waitError] = co_await to.async_wait(tcp::socket::wait_write, useTuple);
                if (!waitError) {
                    continue;
                }
            }
            outcome = Outcome::Failed;
            break;
        }
        if (pending > 0) {
            meter.uncount(upward, pending);
        }
        if (outcome != Outcome::Finished) {
            break;
        }
    }
    if (pipeFds[0] >= 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
    }
    if (outcome == Outcome::Failed) {
        closeBoth(from, to); // ends the other direction too
    }
    co_return outcome;
}

asio::awaitable<void> copyOneWay(tcp::socket& from, tcp::socket& to, TrafficMeter& meter, bool upward)
{
    std::vector<char> buffer(kCopyBuffer);
    while (true) {
        auto [readError, received] = co_await from.async_read_some(asio::buffer(buffer), useTuple);
        if (received > 0) {
            meter.count(upward, received);
            auto [writeError, sent] =
                co_await asio::async_write(to, asio::buffer(buffer.data(), received), useTuple);
            if (writeError) {
                meter.uncount(upward, received - sent);
                closeBoth(from, to);
                co_return;
            }
        }
        if (readError == asio::error::eof) {
            boost::system::error_code ignored;
            to.shutdown(tcp::socket::shutdown_send, ignored);
            co_return;
        }
        if (readError) {
            closeBoth(from, to);
            co_return;
        }
    }
}

asio::awaitable<void> spliceOrCopy(tcp::socket& from, tcp::socket& to, TrafficMeter& meter, bool upward)
{
    const Outcome outcome = co_await spliceOneWay(from, to, meter, upward);
    if (outcome == Outcome::Unsupported) {
        co_await copyOneWay(from, to, meter, upward);
    }
}

} // namespace

void abortSocket(tcp::socket& socket)
{
    boost::system::error_code ignored;
    if (socket.is_open()) {
        socket.set_option(asio::socket_base::linger(true, 0), ignored);
    }
    socket.close(ignored);
}

asio::awaitable<void> relay(tcp::socket& client, tcp::socket& upstream, TrafficMeter meter,
                            std::chrono::seconds idleTimeout)
{
    // Splicing calls the system directly, so both must be non-blocking; a socket Asio has
    // already waited on is, and asking again would be a system call per socket for nothing.
    boost::system::error_code ignored;
    for (auto* socket : {&client, &upstream}) {
        if (!socket->native_non_blocking()) {
            socket->native_non_blocking(true, ignored);
        }
    }
    // Idle means no byte counted either way for idleTimeout, checked a few times per period
    // rather than on every chunk.
    const auto tick = std::clamp<std::chrono::steady_clock::duration>(
        idleTimeout / 4, std::chrono::milliseconds(100), std::chrono::seconds(15));
    const auto counted = [&meter] { return meter.record->up.load() + meter.record->down.load(); };
    auto idleCheck = [&, lastCount = counted(), lastChange = std::chrono::steady_clock::now()]() mutable {
        if (idleTimeout.count() <= 0) {
            return std::chrono::steady_clock::time_point::max();
        }
        const auto count = counted();
        const auto now = std::chrono::steady_clock::now();
        if (count != lastCount) {
            lastCount = count;
            lastChange = now;
        } else if (now - lastChange >= idleTimeout) {
            closeBoth(client, upstream);
            return std::chrono::steady_clock::time_point::max();
        }
        return now + tick;
    };
    auto halves =
        bothWays(spliceOrCopy(client, upstream, meter, true), spliceOrCopy(upstream, client, meter, false),
                 std::move(idleCheck), [&] { closeBoth(client, upstream); });
    co_await std::move(halves);
}

} // namespace ferrow::core
