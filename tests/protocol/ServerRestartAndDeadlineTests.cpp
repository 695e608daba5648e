#include "CoreTestSupport.h"
#include "FerrowHandshake.h"
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace ferrow::test;
namespace proto = ferrow::proto;
using Clock = std::chrono::steady_clock;

namespace {

std::uint64_t unixNow()
{
    return static_cast<std::uint64_t>(time(nullptr));
}

/// A client's bytes as an observer records them: handshake, target and a request.
std::string recordedTransfer(const std::string& psk, std::uint16_t originPort)
{
    proto::ClientHandshake client(psk, unixNow());
    auto bytes = client.firstPacket(); // first: it makes the keys the frames below are sealed with
    bytes += client.connectFrame(
        proto::connectBody(proto::Network::Tcp, *proto::Target::fromHost("127.0.0.1", originPort)));
    client.sealer().sealData("GET /transfer?amount=100&to=alice HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", bytes);
    return bytes;
}

/// Sends `bytes` on a new connection; true when the server answers anything within a second.
bool answered(std::uint16_t port, const std::string& bytes)
{
    Socket socket(port);
    socket.send(bytes);
    return !socket.receiveSome(65536, std::chrono::seconds(1)).empty();
}

struct TempFolder {
    TempFolder()
    {
        char pattern[] = "/tmp/ferrow-state-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
    std::filesystem::path path;
};

} // namespace

TEST(FerrowServerRestart, ARecordedConnectionReachesTheOriginOnceEvenAcrossRestarts)
{
    const auto psk = newPsk();
    TempFolder state;
    ServerProcess::Options options;
    options.psk = psk;
    options.stateDir = state.path.string();
    auto server = std::make_unique<ServerProcess>(options);
    ASSERT_TRUE(server->started()) << server->stderrText();
    auto origin = makeOriginServer();
    const auto recorded = recordedTransfer(psk, origin->port());
    {
        Socket genuine(server->port());
        genuine.send(recorded);
        ASSERT_FALSE(genuine.receiveSome().empty());
        ASSERT_TRUE(server->waitForLines("-> 127.0.0.1:" + std::to_string(origin->port()), 1));
    }
    EXPECT_FALSE(answered(server->port(), recorded)) << "replay while running";

    // A crash or restart keeps the port and key; the salts come back from the state folder.
    options.port = server->port();
    server.reset();
    server = std::make_unique<ServerProcess>(options);
    ASSERT_TRUE(server->started()) << server->stderrText();
    EXPECT_FALSE(answered(server->port(), recorded)) << "replay after a restart";
    EXPECT_TRUE(server->waitForLines("handshake refused", 1));
    EXPECT_EQ(origin->accepted(), 1U) << "the request reached the origin a second time";
    // Remembering costs key holders nothing: a new connection is served at once.
    EXPECT_TRUE(answered(server->port(), recordedTransfer(psk, origin->port())));
    // The server answers before it has dialled the origin.
    EXPECT_TRUE(waitUntil([&] { return origin->accepted() == 2U; }));

    // After the machine itself restarted the journal may have lost its last salts: every hello
    // dated before the start plus the window is refused instead.
    server.reset();
    std::ofstream(state.path / "boot") << "12345\n";
    server = std::make_unique<ServerProcess>(options);
    ASSERT_TRUE(server->started()) << server->stderrText();
    EXPECT_TRUE(server->waitForLines("the machine restarted since the last run", 1));
    EXPECT_FALSE(answered(server->port(), recordedTransfer(psk, origin->port())));
    EXPECT_EQ(origin->accepted(), 2U);
}

TEST(FerrowServerRestart, WithoutAStateFolderHellosDatedBeforeTheStartAreRefusedAndTypedKeysAreWarnedOf)
{
    // ServerProcess always gives one; started by hand without, the server says what it does.
    char pattern[] = "/tmp/ferrow-nostate-XXXXXX";
    const std::filesystem::path folder = mkdtemp(pattern);
    std::ofstream(folder / "psk") << newPsk() << "\n";
    const auto [code, output] =
        runServer({"--listen", "nowhere:1", "--psk-file", (folder / "psk").string(), "--log-level", "info"});
    EXPECT_EQ(code, 1);
    EXPECT_NE(output.find("no state folder: handshakes are refused for the first 31 s"), std::string::npos)
        << output;
    EXPECT_EQ(output.find("hand-made"), std::string::npos) << "a generated key is not warned about";
    // A key typed by hand is used, with a warning: one recorded connection lets it be guessed.
    std::ofstream(folder / "psk") << "summer2024summer\n";
    const auto [typedCode, typedOutput] =
        runServer({"--listen", "nowhere:1", "--psk-file", (folder / "psk").string()});
    EXPECT_EQ(typedCode, 1);
    EXPECT_NE(typedOutput.find("warning: " + (folder / "psk").string() + ": the psk looks hand-made"),
              std::string::npos)
        << typedOutput;
    std::filesystem::remove_all(folder);
}

// A peer that never stops sending used to hold the connection until it stopped, and the close
// with unread data came as FIN then reset. Now the FIN comes at the deadline whatever the peer
// does, and the close two seconds later.
TEST(FerrowServerProbes, AFloodingPeerSeesTheFinAtTheDeadlineAndTheCloseTwoSecondsLater)
{
    const auto psk = newPsk();
    ServerProcess::Options options;
    options.psk = psk;
    options.probeTimeout = "1-1";
    ServerProcess server(options);
    ASSERT_TRUE(server.started()) << server.stderrText();

    Socket flood(server.port());
    ASSERT_TRUE(flood.connected());
    const auto started = Clock::now();
    std::atomic<bool> stop{false};
    Clock::time_point sendFailed{};
    std::thread sender([&] {
        const std::string bytes = proto::randomBytes(4096);
        while (!stop && Clock::now() - started < std::chrono::seconds(10)) {
            if (::send(flood.fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0 && errno != EINTR) {
                sendFailed = Clock::now();
                return;
            }
        }
    });
    // The server's FIN: a read that returns 0 while this side is still sending.
    Clock::time_point fin{};
    char buffer[256];
    for (;;) {
        pollfd ready{flood.fd(), POLLIN, 0};
        if (::poll(&ready, 1, 5000) <= 0) {
            break;
        }
        const auto n = ::recv(flood.fd(), buffer, sizeof buffer, 0);
        if (n <= 0) {
            fin = n == 0 ? Clock::now() : Clock::time_point{};
            break;
        }
        ADD_FAILURE() << "the server sent a byte";
    }
    sender.join();
    stop = true;
    using std::chrono::milliseconds;
    ASSERT_NE(fin, Clock::time_point{}) << "no orderly FIN came while the peer kept sending";
    const auto finAfter = std::chrono::duration_cast<milliseconds>(fin - started).count();
    EXPECT_GE(finAfter, 900);
    EXPECT_LT(finAfter, 2500) << "the flood held the connection past its deadline";
    ASSERT_NE(sendFailed, Clock::time_point{}) << "the server never closed";
    const auto closeAfter = std::chrono::duration_cast<milliseconds>(sendFailed - fin).count();
    EXPECT_GE(closeAfter, 1800);
    EXPECT_LT(closeAfter, 4000);
}
