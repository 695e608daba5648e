// One TCP stream and the connection rate through Enhanced Mode's tunnel against the same
// transfers on the direct path, in one run: a "host" namespace joined by veth to an "internet"
// namespace with the origin. Prints figures and ratios; asserts nothing.

#include "TunTestbed.h"

#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;
using namespace ferrow::test;

constexpr int kStreamMiB = 1024;
constexpr int kRateConnections = 400;
constexpr auto kRateLimit = std::chrono::seconds(20);

/// MiB/s of one download of kStreamMiB from the origin, best of three.
double streamRate(const NetworkNamespace& host)
{
    double best = 0;
    for (int run = 0; run < 3; ++run) {
        const auto started = Clock::now();
        const auto received =
            tcpDrain(host, kOriginAddress, 80,
                     "GET /stream/" + std::to_string(kStreamMiB) + " HTTP/1.1\r\nHost: x\r\n\r\n");
        const std::chrono::duration<double> elapsed = Clock::now() - started;
        if (received < (static_cast<long long>(kStreamMiB) << 20)) {
            return 0;
        }
        best = std::max(best, kStreamMiB / elapsed.count());
    }
    return best;
}

/// Completed request/response connections per second, one after another.
double connectionRate(const NetworkNamespace& host)
{
    const auto started = Clock::now();
    int done = 0;
    while (done < kRateConnections && Clock::now() - started < kRateLimit) {
        const auto reply = tcpExchange(host, kOriginAddress, 80, "GET /small HTTP/1.1\r\nHost: x\r\n\r\n");
        if (!reply || reply->find("hello from /small") == std::string::npos) {
            return 0;
        }
        ++done;
    }
    const std::chrono::duration<double> elapsed = Clock::now() - started;
    return done / elapsed.count();
}

void report(const char* what, double direct, double tunnel, const char* unit)
{
    const double ratio = direct > 0 ? tunnel / direct : 0;
    std::printf("%-22s direct %10.1f %s   tunnel %10.1f %s   ratio %.2f (target >= 0.50: %s)\n", what, direct,
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
    const double directStream = streamRate(bed.host);
    const double directRate = connectionRate(bed.host);
    NamespacedCore core(bed.host,
                        std::string("[General]\ndns-server = ") + kInternetDns + "\n[Rule]\nFINAL,DIRECT\n");
    if (!core.started()) {
        std::printf("ferrow-bench-tun: the core did not start:\n%s\n", core.log().c_str());
        return 1;
    }
    const double tunnelStream = streamRate(bed.host);
    const double tunnelRate = connectionRate(bed.host);
    std::printf("ferrow-bench-tun: %d MiB stream (best of 3), %d sequential connections\n", kStreamMiB,
                kRateConnections);
    report("single TCP stream", directStream, tunnelStream, "MiB/s");
    report("connection rate", directRate, tunnelRate, "conn/s");
    return 0;
}
