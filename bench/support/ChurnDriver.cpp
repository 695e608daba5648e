// A fixed number of short connections through a SOCKS5 proxy on 127.0.0.1, for profiling one
// process while it serves them (perf record -p, strace -c -f -p): each connection sends an
// HTTP/1.0 GET to a built-in origin and reads its 1 KiB answer. Prints the rate, the p99 and
// the CPU the given process spent per 1,000 connections.
//
//   ferrow-churn PROXY_PORT CONNECTIONS [CONCURRENCY [PID]]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "BenchSupport.h"

using namespace ferrow::bench;

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PROXY_PORT CONNECTIONS [CONCURRENCY [PID]]\n", argv[0]);
        return 2;
    }
    prepareBenchProcess();
    const auto proxyPort = static_cast<std::uint16_t>(std::atoi(argv[1]));
    const long total = std::atol(argv[2]);
    const int concurrency = argc > 3 ? std::max(1, std::atoi(argv[3])) : 50;
    const pid_t pid = argc > 4 ? static_cast<pid_t>(std::atoi(argv[4])) : 0;
    TcpServer origin(answerOneKiB, 8);

    std::atomic<long> left{total};
    std::atomic<long> failed{0};
    std::mutex latencyMutex;
    std::vector<double> latencies;
    const double cpuBefore = pid ? cpuMs(pid) : 0;
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int i = 0; i < concurrency; ++i) {
        workers.emplace_back([&] {
            using Clock = std::chrono::steady_clock;
            std::vector<double> mine;
            char answer[1024];
            while (left.fetch_sub(1) > 0) {
                const auto begun = Clock::now();
                const int fd = socks5Connect(proxyPort, origin.port());
                static constexpr char request[] = "GET / HTTP/1.0\r\n\r\n";
                if (fd >= 0 && sendAll(fd, std::string_view(request, sizeof request - 1)) &&
                    receiveExactly(fd, answer, sizeof answer)) {
                    mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begun).count());
                } else {
                    ++failed;
                }
                if (fd >= 0) {
                    ::close(fd);
                }
            }
            const std::lock_guard lock(latencyMutex);
            latencies.insert(latencies.end(), mine.begin(), mine.end());
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const auto done = static_cast<double>(latencies.size());
    // The median beside the p99 tells a slow tail (pool misses, scheduling) from a slow whole.
    const auto percentile = [&latencies](std::size_t percent) {
        if (latencies.empty()) {
            return 0.0;
        }
        const auto at = latencies.begin() + static_cast<std::ptrdiff_t>(latencies.size() * percent / 100);
        std::nth_element(latencies.begin(), at, latencies.end());
        return *at;
    };
    const double p50 = percentile(50);
    const double p99 = percentile(99);
    std::printf("%.0f connections (%ld failed) in %.2f s: %.0f connections/s, p50 %.2f ms, p99 %.2f ms", done,
                failed.load(), seconds, done / seconds, p50, p99);
    if (pid && done > 0) {
        std::printf(", CPU of %d: %.0f ms per 1,000 connections", static_cast<int>(pid),
                    (cpuMs(pid) - cpuBefore) * 1000.0 / done);
    }
    std::printf("\n");
    return failed.load() > 0 ? 1 : 0;
}
