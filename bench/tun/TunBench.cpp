// One TCP stream and the connection rate through Enhanced Mode's tunnel against the direct path,
// in one run: a "host" namespace joined by veth to an "internet" namespace with the origin. With
// the core running, a client socket carrying the tunnel's mark takes the direct path, so both are
// measured in alternating rounds under the same load; medians are printed. Asserts nothing.

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "BenchSupport.h"
#include "TunTestbed.h"
#include "TunnelTags.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace ferrow::test;

constexpr int kRounds = 5;
constexpr int kStreamMiB = 512;
constexpr auto kRateWindow = std::chrono::milliseconds(700);
constexpr int kClients = 50;

/// Runs one HTTP exchange with the origin; the bytes received, or -1.
long long httpExchange(bool direct, const std::string& request)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (direct) {
        const std::uint32_t mark = ferrow::tun::kSocketMark;
        ::setsockopt(fd, SOL_SOCKET, SO_MARK, &mark, sizeof mark);
    }
    sockaddr_in origin{};
    origin.sin_family = AF_INET;
    origin.sin_port = htons(80);
    ::inet_pton(AF_INET, kOriginAddress, &origin.sin_addr);
    timeval timeout{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    long long total = -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&origin), sizeof origin) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        thread_local std::vector<char> buffer(1 << 20);
        total = 0;
        ssize_t got = 0;
        while ((got = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0) {
            total += got;
        }
        if (got < 0) {
            total = -1;
        }
    }
    ::close(fd);
    return total;
}

double streamRate(bool direct)
{
    const auto started = Clock::now();
    const auto received =
        httpExchange(direct, "GET /stream/" + std::to_string(kStreamMiB) + " HTTP/1.1\r\nHost: x\r\n\r\n");
    const std::chrono::duration<double> elapsed = Clock::now() - started;
    return received >= (static_cast<long long>(kStreamMiB) << 20) ? kStreamMiB / elapsed.count() : 0;
}

/// Packets the tunnel link has carried both ways, read from inside the namespace that holds it.
long long tunPackets(const NetworkNamespace& host)
{
    long long total = -1;
    host.run([&] {
        std::ifstream dev("/proc/thread-self/net/dev");
        std::string line;
        while (std::getline(dev, line)) {
            const auto colon = line.find(':');
            if (colon == std::string::npos || line.substr(0, colon).find("utun9") == std::string::npos) {
                continue;
            }
            std::istringstream fields(line.substr(colon + 1));
            long long value = 0;
            long long received = 0;
            long long sent = 0;
            for (int i = 0; i < 10 && fields >> value; ++i) {
                if (i == 1) {
                    received = value;
                } else if (i == 9) {
                    sent = value;
                }
            }
            total = received + sent;
        }
    });
    return total;
}

/// Completed connections per second from kClients clients at once, each one after another;
/// `completed` gets their number.
double connectionRate(const NetworkNamespace& host, bool direct, int* completed = nullptr)
{
    std::atomic<int> done{0};
    std::atomic<bool> failed{false};
    const auto started = Clock::now();
    std::vector<std::thread> clients;
    clients.reserve(kClients);
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(host.spawn([&] {
            while (Clock::now() - started < kRateWindow && !failed) {
                if (httpExchange(direct, "GET /small HTTP/1.1\r\nHost: x\r\n\r\n") <= 0) {
                    failed = true;
                    return;
                }
                ++done;
            }
        }));
    }
    for (auto& client : clients) {
        client.join();
    }
    const std::chrono::duration<double> elapsed = Clock::now() - started;
    if (completed) {
        *completed = done;
    }
    return failed ? 0 : done / elapsed.count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(const char* what, double direct, double tunnel, const char* unit)
{
    const double ratio = direct > 0 ? tunnel / direct : 0;
    std::printf("%-20s direct %9.1f %-6s tunnel %9.1f %-6s ratio %.2f (target >= 0.50: %s)\n", what, direct,
                unit, tunnel, unit, ratio, ratio >= 0.5 ? "met" : "NOT met");
}

} // namespace

int main()
{
    if (!canMakeNamespaces()) {
        std::printf("ferrow-bench-tun: SKIPPED (needs root for network namespaces and a TUN link)\n");
        return 0;
    }
    TunTestbed bed;
    if (!bed.ready()) {
        std::printf("ferrow-bench-tun: cannot build the namespaces\n");
        return 1;
    }
    NamespacedCore core(bed.host,
                        std::string("[General]\ndns-server = ") + kInternetDns + "\n[Rule]\nFINAL,DIRECT\n");
    if (!core.started()) {
        std::printf("ferrow-bench-tun: the core did not start:\n%s\n", core.log().c_str());
        return 1;
    }
    std::vector<double> directStream, tunnelStream, directRate, tunnelRate, crossings, coreCpu;
    for (int round = 0; round < kRounds; ++round) {
        bed.host.run([&] {
            directStream.push_back(streamRate(true));
            tunnelStream.push_back(streamRate(false));
        });
        directRate.push_back(connectionRate(bed.host, true));
        // Each packet crosses the link twice: read by the core, written back translated.
        const auto packetsBefore = tunPackets(bed.host);
        const double cpuBefore = ferrow::bench::cpuMs(core.pid());
        int completed = 0;
        tunnelRate.push_back(connectionRate(bed.host, false, &completed));
        const double cpuAfter = ferrow::bench::cpuMs(core.pid());
        const auto packetsAfter = tunPackets(bed.host);
        if (completed > 0 && packetsBefore >= 0) {
            crossings.push_back(static_cast<double>(packetsAfter - packetsBefore) / completed);
            coreCpu.push_back((cpuAfter - cpuBefore) * 1000.0 / completed);
        }
    }
    std::printf(
        "ferrow-bench-tun: %d rounds, each a %d MiB stream and %lld ms of connections from %d clients at "
        "once per path\n",
        kRounds, kStreamMiB, static_cast<long long>(kRateWindow.count()), kClients);
    report("single TCP stream", median(directStream), median(tunnelStream), "MiB/s");
    report("connection rate", median(directRate), median(tunnelRate), "conn/s");
    if (!crossings.empty()) {
        std::printf("tunnel link crossings per short connection (packets read and written): %.1f\n",
                    median(crossings));
        std::printf("ferrow-core CPU per 1,000 tunnelled connections: %.0f ms\n", median(coreCpu));
    }
    return 0;
}
