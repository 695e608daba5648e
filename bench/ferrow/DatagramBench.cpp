// UDP flows through a ferrow-server on loopback, carried two ways: a datagram stream per flow, or
// all flows in one shared stream. For N concurrent flows to a UDP echo it prints the setup time
// (until every flow had its first answer) and the throughput of 1 KiB datagrams both ways, each
// flow keeping a window of datagrams in flight. Asserts nothing.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <unistd.h>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>

#include "BenchSupport.h"
#include "FerrowClient.h"

namespace {

namespace asio = boost::asio;
using namespace ferrow::bench;
using namespace ferrow::proto;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kDatagram = 1024;
constexpr std::size_t kPerFlow = 1024; // datagrams each flow sends: 1 MiB
constexpr std::size_t kWindow = 8;
constexpr auto kLimit = std::chrono::seconds(60);
constexpr auto kStall = std::chrono::seconds(2);

struct Setup {
    NodeSettings node;
    Target echo;
};

struct Run {
    Clock::time_point started;
    Clock::time_point lastFirstAnswer;
    Clock::time_point finished;
    std::size_t answered = 0; // datagrams that came back
    std::size_t flowsDone = 0;
    std::string error;
};

/// A plain coroutine rather than a lambda: GCC 12 mishandles coroutine lambdas.
asio::awaitable<WireResult> dialLoopback(std::uint16_t port)
{
    std::vector<asio::ip::address> addresses{asio::ip::make_address("127.0.0.1")};
    auto connected = connectDirect(std::move(addresses), port, FastOpen::Off, std::chrono::seconds(10));
    co_return co_await std::move(connected);
}

WireDialer dialerFor(std::uint16_t port)
{
    return [port] { return dialLoopback(port); };
}

std::string datagramOf(std::uint32_t flow, std::uint32_t sequence)
{
    std::string payload(kDatagram, 'x');
    std::memcpy(payload.data(), &flow, sizeof flow);
    std::memcpy(payload.data() + sizeof flow, &sequence, sizeof sequence);
    return payload;
}

std::uint32_t flowOf(const std::string& payload)
{
    std::uint32_t flow = 0;
    std::memcpy(&flow, payload.data(), sizeof flow);
    return flow;
}

/// One flow on a stream of its own: a window out, then one more for every answer.
asio::awaitable<void> ownStream(FerrowClient& client, Setup setup, std::uint32_t id, Run& run)
{
    std::string error;
    auto stream = co_await client.openDatagrams(setup.node, dialerFor(setup.node.port), error);
    if (!stream) {
        run.error = error;
        co_return;
    }
    std::size_t sent = 0;
    std::size_t back = 0;
    while (sent < kWindow) {
        co_await stream->send(setup.echo, datagramOf(id, static_cast<std::uint32_t>(sent++)));
    }
    while (back < kPerFlow) {
        auto answer = co_await stream->receive();
        if (!answer) {
            run.error = "stream ended";
            co_return;
        }
        if (back++ == 0) {
            run.lastFirstAnswer = Clock::now();
        }
        ++run.answered;
        if (sent < kPerFlow) {
            co_await stream->send(setup.echo, datagramOf(id, static_cast<std::uint32_t>(sent++)));
        }
    }
    stream->close();
    ++run.flowsDone;
    run.finished = Clock::now(); // the last flow to end sets it last
}

/// All flows in one stream: answers are told apart by the flow number they carry.
asio::awaitable<void> sharedStream(FerrowClient& client, Setup setup, std::uint32_t flows, Run& run)
{
    std::string error;
    auto stream = co_await client.openDatagrams(setup.node, dialerFor(setup.node.port), error);
    if (!stream) {
        run.error = error;
        co_return;
    }
    std::vector<std::size_t> sent(flows, 0);
    std::vector<std::size_t> back(flows, 0);
    for (std::size_t round = 0; round < kWindow; ++round) {
        for (std::uint32_t id = 0; id < flows; ++id) {
            co_await stream->send(setup.echo, datagramOf(id, static_cast<std::uint32_t>(sent[id]++)));
        }
    }
    std::size_t firstAnswers = 0;
    while (run.flowsDone < flows) {
        auto answer = co_await stream->receive();
        if (!answer) {
            run.error = "stream ended";
            co_return;
        }
        const auto id = flowOf(answer->payload);
        if (id >= flows) {
            continue;
        }
        if (back[id]++ == 0 && ++firstAnswers == flows) {
            run.lastFirstAnswer = Clock::now();
        }
        ++run.answered;
        if (sent[id] < kPerFlow) {
            co_await stream->send(setup.echo, datagramOf(id, static_cast<std::uint32_t>(sent[id]++)));
        } else if (back[id] == kPerFlow) {
            ++run.flowsDone;
        }
    }
    stream->close();
    run.finished = Clock::now();
}

void report(const char* way, std::uint32_t flows, const Run& run)
{
    if (!run.error.empty() || run.answered < flows * kPerFlow) {
        std::printf("  %-26s N=%-3u incomplete: %zu of %zu answered%s%s\n", way, flows, run.answered,
                    flows * kPerFlow, run.error.empty() ? "" : ", ", run.error.c_str());
        return;
    }
    const double setupMs =
        std::chrono::duration<double, std::milli>(run.lastFirstAnswer - run.started).count();
    const double seconds = std::chrono::duration<double>(run.finished - run.started).count();
    const double mib = static_cast<double>(run.answered * kDatagram) / (1 << 20);
    std::printf("  %-26s N=%-3u setup %7.1f ms   %7.1f MiB/s each way   (%.2f s)\n", way, flows, setupMs,
                mib / seconds, seconds);
}

/// `shared`: one stream for all flows; else a stream per flow, from a client whose pool holds
/// `poolSize` prewarmed connections when the flows start.
Run measure(const Setup& setup, std::uint32_t flows, bool shared, std::size_t poolSize)
{
    asio::io_context io;
    FerrowClient client(
        io.get_executor(), [&io] { return io.get_executor(); }, poolSize);
    Run run;
    std::string warmError;
    if (poolSize > 0) {
        // Let the pool fill, as it has between flows of a running core.
        asio::co_spawn(io, client.openDatagrams(setup.node, dialerFor(setup.node.port), warmError),
                       asio::detached);
        const auto until = Clock::now() + std::chrono::seconds(5);
        while (client.pooled(setup.node) < poolSize && Clock::now() < until) {
            io.run_for(std::chrono::milliseconds(10));
        }
    }
    run.started = Clock::now();
    if (shared) {
        asio::co_spawn(io, sharedStream(client, setup, flows, run), asio::detached);
    } else {
        for (std::uint32_t id = 0; id < flows; ++id) {
            asio::co_spawn(io, ownStream(client, setup, id, run), asio::detached);
        }
    }
    // Nothing is sent twice: a lost datagram stalls its flow, which ends the run.
    const auto until = Clock::now() + kLimit;
    auto progress = Clock::now();
    std::size_t answered = 0;
    while (run.flowsDone < flows && run.error.empty() && Clock::now() < until &&
           Clock::now() - progress < kStall) {
        io.run_for(std::chrono::milliseconds(50));
        if (run.answered != answered) {
            answered = run.answered;
            progress = Clock::now();
        }
    }
    if (run.flowsDone < flows && run.error.empty()) {
        run.error = Clock::now() < until ? "datagrams lost" : "time limit";
    }
    client.clearPools();
    return run;
}

} // namespace

int main()
{
    prepareBenchProcess();
    const std::string psk = "YmVuY2htYXJrLWtleS1vZi10aGlydHktdHdvLWJ5dGVz";
    const auto folder =
        std::filesystem::temp_directory_path() / ("ferrow-datagram-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "psk") << psk << "\n";
    const auto serverPort = freePort();
    auto server = spawn({FERROW_SERVER_PATH, "--listen", "127.0.0.1:" + std::to_string(serverPort),
                         "--psk-file", (folder / "psk").string(), "--allow-private", "--log-level", "error",
                         "--state-dir", (folder / "state").string()});
    if (!server || !waitForPort(serverPort)) {
        std::printf("ferrow-server did not start\n");
        return 1;
    }
    ferrow::test::UdpEchoServer echo;
    Setup setup{NodeSettings{"N", "127.0.0.1", serverPort, psk, FastOpen::Off, true},
                *Target::fromHost("127.0.0.1", echo.port())};
    std::printf("UDP through ferrow-server: %zu x 1 KiB datagrams per flow, window %zu\n", kPerFlow, kWindow);
    measure(setup, 1, true, 0); // derives the key once, outside the figures
    for (const std::uint32_t flows : {1u, 8u, 64u}) {
        report("stream per flow, no pool", flows, measure(setup, flows, false, 0));
        report("stream per flow, pool 2", flows, measure(setup, flows, false, 2));
        report("one shared stream", flows, measure(setup, flows, true, 0));
    }
    server->stop(SIGTERM);
    std::filesystem::remove_all(folder);
    return 0;
}
