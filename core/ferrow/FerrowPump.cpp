#include "FerrowPump.h"

#include <cerrno>
#include <memory>
#include <sys/socket.h>
#include <tuple>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>

#include "BothWays.h"

namespace ferrow::proto {

namespace {

constexpr auto useTuple = asio::as_tuple(asio::use_awaitable);
constexpr std::size_t kReadSize = std::size_t{64} * 1024;

struct PumpState {
    tcp::socket& plain;
    tcp::socket& wire;
    ByteCounter count;
    bool failed = false;
    bool upDone = false;
    bool downDone = false;
    std::chrono::steady_clock::time_point lastActivity = std::chrono::steady_clock::now();
    PumpTotals totals;

    void fail()
    {
        if (failed) {
            return;
        }
        failed = true;
        resetSocket(plain);
        boost::system::error_code ignored;
        wire.close(ignored);
    }
};

/// Read space shared by every stream of a thread: it is only used between a readiness wait and
/// the seal or write that follows without suspending, so an idle stream holds no buffer at all.
std::string& readSpace()
{
    thread_local std::string space(kReadSize, '\0');
    return space;
}

/// One read of what is there into the read space, never blocking: MSG_DONTWAIT rather than the
/// socket's non-blocking mode, which would cost a system call per socket to switch on.
std::pair<boost::system::error_code, std::size_t> readNow(tcp::socket& socket)
{
    auto& space = readSpace();
    for (;;) {
        const auto n = ::recv(socket.native_handle(), space.data(), space.size(), MSG_DONTWAIT);
        if (n > 0) {
            return {boost::system::error_code(), static_cast<std::size_t>(n)};
        }
        if (n == 0) {
            return {asio::error::eof, 0};
        }
        if (errno != EINTR) {
            return {boost::system::error_code(errno, boost::system::system_category()), 0};
        }
    }
}

bool wouldBlock(const boost::system::error_code& error)
{
    return error == asio::error::would_block || error == asio::error::try_again;
}

/// Reads what is there without blocking, waiting for readiness only when nothing is.
asio::awaitable<std::pair<boost::system::error_code, std::size_t>> readReady(tcp::socket& socket)
{
    for (;;) {
        const auto [error, n] = readNow(socket);
        if (!wouldBlock(error)) {
            co_return std::pair{error, n};
        }
        auto [waitError] = co_await socket.async_wait(tcp::socket::wait_read, useTuple);
        if (waitError) {
            co_return std::pair{waitError, std::size_t{0}};
        }
    }
}

asio::awaitable<void> sealUp(PumpState& state, FrameSealer& sealer, std::string initial)
{
    if (!initial.empty()) {
        std::string output;
        sealer.sealData(initial, output);
        auto [error, written] = co_await asio::async_write(state.wire, asio::buffer(output), useTuple);
        if (error) {
            state.fail();
            co_return;
        }
        state.totals.sent += initial.size();
        initial = std::string();
    }
    for (;;) {
        const auto [error, n] = co_await readReady(state.plain);
        if (state.failed) {
            co_return;
        }
        std::string output;
        bool ending = error == asio::error::eof;
        boost::system::error_code after; // a failure right behind the data, taken up once it is sent
        if (ending) {
            sealer.seal(FrameType::Fin, {}, output);
        } else if (error) {
            state.fail();
            co_return;
        } else {
            state.lastActivity = std::chrono::steady_clock::now();
            if (state.count) {
                state.count(true, n);
            }
            output.reserve(n + (n / kMaxDataChunk + 1) * (kFrameOverhead + 1));
            sealer.sealData(std::string_view(readSpace()).substr(0, n), output);
            if (n < kReadSize) {
                // A short read emptied the socket; one more read now lets an end of stream right
                // behind the data (a request-response peer closing) leave in the same write as
                // its Fin. Finding nothing says nothing about the time after the write, when a
                // bulk sender has usually refilled the socket: the next round reads first again.
                std::size_t more = 0;
                std::tie(after, more) = readNow(state.plain);
                if (after == asio::error::eof) {
                    ending = true;
                    after.clear();
                    sealer.seal(FrameType::Fin, {}, output);
                } else if (wouldBlock(after)) {
                    after.clear();
                } else if (!after) {
                    if (state.count) {
                        state.count(true, more);
                    }
                    sealer.sealData(std::string_view(readSpace()).substr(0, more), output);
                    state.totals.sent += more;
                }
            }
        }
        auto [writeError, written] = co_await asio::async_write(state.wire, asio::buffer(output), useTuple);
        if (writeError || after) {
            state.fail();
            co_return;
        }
        state.totals.sent += n;
        if (ending) {
            boost::system::error_code ignored;
            state.wire.shutdown(tcp::socket::shutdown_send, ignored);
            state.upDone = true;
            co_return;
        }
    }
}

asio::awaitable<void> openDown(PumpState& state, FrameReader& reader, std::string buffer)
{
    bool finished = false;
    for (;;) {
        // Open every complete frame already buffered; their data goes on in one write.
        std::size_t offset = 0;
        std::string output;
        bool bad = false;
        bool fin = false;
        for (;;) {
            Frame frame;
            std::size_t used = 0;
            const auto status = reader(std::string_view(buffer).substr(offset), used, frame);
            offset += used;
            if (status == DecodeStatus::NeedMore) {
                break;
            }
            if (status == DecodeStatus::Bad || ((finished || fin) && frame.type != FrameType::Padding)) {
                bad = true;
                break;
            }
            if (frame.type == FrameType::Data) {
                if (output.empty()) {
                    output = std::move(frame.body);
                } else {
                    output.append(frame.body);
                }
            } else if (frame.type == FrameType::Fin) {
                fin = true;
            } else if (frame.type != FrameType::Padding && frame.type != FrameType::Accept) {
                bad = true;
                break;
            }
        }
        if (!output.empty()) {
            if (state.count) {
                state.count(false, output.size());
            }
            auto [error, n] = co_await asio::async_write(state.plain, asio::buffer(output), useTuple);
            if (error || state.failed) {
                state.fail();
                co_return;
            }
            state.totals.received += n;
        }
        if (bad) {
            state.fail();
            co_return;
        }
        if (fin) {
            finished = true;
            boost::system::error_code ignored;
            state.plain.shutdown(tcp::socket::shutdown_send, ignored);
        }
        buffer.erase(0, offset);
        if (buffer.empty()) {
            buffer = std::string(); // hold nothing while waiting
        }
        const auto [error, n] = co_await readReady(state.wire);
        if (state.failed) {
            co_return;
        }
        if (error == asio::error::eof && finished && buffer.empty()) {
            state.downDone = true;
            co_return;
        }
        if (error) {
            // The wire ended or broke before its Fin: the stream was cut.
            state.fail();
            co_return;
        }
        state.lastActivity = std::chrono::steady_clock::now();
        buffer.append(readSpace(), 0, n);
    }
}

} // namespace

void resetSocket(tcp::socket& socket)
{
    boost::system::error_code ignored;
    if (socket.is_open()) {
        socket.set_option(asio::socket_base::linger(true, 0), ignored);
    }
    socket.close(ignored);
}

asio::awaitable<PumpTotals> pumpStream(tcp::socket& plain, tcp::socket& wire, FrameSealer& sealer,
                                       FrameReader reader, std::string pending,
                                       std::chrono::seconds idleTimeout, std::string initial,
                                       ByteCounter count)
{
    boost::system::error_code ignored;
    PumpState state{plain, wire, std::move(count), false, false, false, std::chrono::steady_clock::now(), {}};
    const auto idleUntil = [&state, idleTimeout] {
        if (idleTimeout.count() <= 0) {
            return std::chrono::steady_clock::time_point::max();
        }
        if (std::chrono::steady_clock::now() - state.lastActivity >= idleTimeout) {
            state.fail();
            return std::chrono::steady_clock::time_point::max();
        }
        return state.lastActivity + idleTimeout;
    };
    auto halves =
        bothWays(sealUp(state, sealer, std::move(initial)), openDown(state, reader, std::move(pending)),
                 idleUntil, [&state] { state.fail(); });
    co_await std::move(halves);
    state.totals.clean = !state.failed && state.upDone && state.downDone;
    if (!state.failed) {
        plain.close(ignored);
        wire.close(ignored);
    }
    co_return state.totals;
}

} // namespace ferrow::proto
