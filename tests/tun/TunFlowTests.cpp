// Tunnelled TCP flows under load and across a restart of the core, in namespaces of the test's own.

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "LoopbackSocket.h"
#include "TunTestbed.h"

namespace ferrow::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kManyRange[] = "192.0.2.0/24";
constexpr std::uint16_t kFirstPort = 8000;
constexpr int kAddresses = 250;
constexpr int kPorts = 8; // 2,000 destinations in all

std::string profile()
{
    return std::string("[General]\ndns-server = ") + kInternetDns + "\n[Rule]\nFINAL,DIRECT\n";
}

/// 192.0.2.1..250, ports 8000..8007.
std::pair<std::string, std::uint16_t> destination(int index)
{
    const int which = index % (kAddresses * kPorts);
    return {"192.0.2." + std::to_string(1 + which % kAddresses),
            static_cast<std::uint16_t>(kFirstPort + which / kAddresses)};
}

/// A client socket made and connected in the calling thread's namespace, or -1.
int connectHere(const std::string& address, std::uint16_t port, int timeoutSeconds)
{
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &where.sin_addr);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{timeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

/// One request and the whole answer; false for anything else (refused, reset, timed out, cut).
bool shortExchange(const std::string& address, std::uint16_t port)
{
    const int fd = connectHere(address, port, 10);
    if (fd < 0) {
        return false;
    }
    std::string reply;
    if (sendAll(fd, "GET / HTTP/1.1\r\nHost: x\r\n\r\n")) {
        char buffer[512];
        ssize_t got = 0;
        while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
            reply.append(buffer, static_cast<std::size_t>(got));
        }
        if (got < 0) {
            reply.clear();
        }
    }
    ::close(fd);
    return reply == TunTestbed::kShortAnswer;
}

#define REQUIRE_ROOT()                                                                                       \
    if (!canMakeNamespaces()) {                                                                              \
        GTEST_SKIP() << "SKIPPED: needs root to make network namespaces and TUN links";                      \
    }

TEST(TunFlowLoad, ManyShortConnectionsToManyDestinationsAllSucceed)
{
    REQUIRE_ROOT();
#if defined(__SANITIZE_ADDRESS__)
    // The instrumented core manages about a thousand a second: enough for the correctness part.
    constexpr int kConnections = 20'000;
#else
    constexpr int kConnections = 120'000;
#endif
    constexpr int kClients = 32;
    constexpr auto kLimit = std::chrono::seconds(60);
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    ASSERT_TRUE(bed.serveShortAnswers(kManyRange, kFirstPort, kPorts));
    NamespacedCore core(bed.host, profile());
    ASSERT_TRUE(core.started()) << core.log();

    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::atomic<int> failed{0};
    std::mutex firstFailureLock;
    std::string firstFailure;
    const auto started = Clock::now();
    std::vector<std::thread> clients;
    clients.reserve(kClients);
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(bed.host.spawn([&] {
            for (int index = next++; index < kConnections && Clock::now() - started < kLimit;
                 index = next++) {
                const auto [address, port] = destination(index);
                if (shortExchange(address, port)) {
                    ++done;
                } else if (failed++ == 0) {
                    const std::lock_guard guard(firstFailureLock);
                    const std::chrono::duration<double> at = Clock::now() - started;
                    firstFailure = address + ":" + std::to_string(port) + " after " +
                                   std::to_string(done.load()) + " connections, at " +
                                   std::to_string(at.count()) + " s";
                }
            }
        }));
    }
    for (auto& client : clients) {
        client.join();
    }
    const std::chrono::duration<double> elapsed = Clock::now() - started;
    std::printf("%d connections in %.1f s (%.0f/s), %d failed\n", done.load(), elapsed.count(),
                done / elapsed.count(), failed.load());
    EXPECT_EQ(failed.load(), 0) << "first failure: " << firstFailure << "\n" << core.log();
    EXPECT_EQ(done.load(), kConnections) << "not all done within " << kLimit.count() << " s";
}

TEST(TunRestart, AConnectionFromBeforeARestartIsResetAtItsNextSegment)
{
    REQUIRE_ROOT();
    TunTestbed bed;
    ASSERT_TRUE(bed.ready());
    ASSERT_TRUE(bed.serveShortAnswers(kManyRange, kFirstPort, 1));
    auto first = std::make_unique<NamespacedCore>(bed.host, profile());
    ASSERT_TRUE(first->started()) << first->log();
    // Established end to end, nothing sent yet: the server answers once the request arrives.
    int fd = -1;
    bed.host.run([&] { fd = connectHere("192.0.2.9", kFirstPort, 20); });
    ASSERT_GE(fd, 0) << first->log();

    // A crash and the next start: the new core never saw this connection.
    EXPECT_EQ(first->stop(SIGKILL), SIGKILL);
    first.reset();
    NamespacedCore second(bed.host, profile());
    ASSERT_TRUE(second.started()) << second.log();

    const auto sent = Clock::now();
    ASSERT_TRUE(sendAll(fd, "GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
    char byte = 0;
    const auto got = ::recv(fd, &byte, 1, 0);
    const int error = errno;
    const auto waited = Clock::now() - sent;
    ::close(fd);
    EXPECT_EQ(got, -1);
    EXPECT_EQ(error, ECONNRESET) << std::strerror(error);
    EXPECT_LT(waited, std::chrono::seconds(2)) << "the client waited for its own time-out";
}

} // namespace
} // namespace ferrow::test
