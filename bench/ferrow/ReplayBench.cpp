// The server's salt memory at a million salts: bytes held, the mean admit, and the slowest admit
// while every one of them expires (the moment version 1 held its server-wide lock for 2 s).
// Prints figures and the ratio of the slowest to the mean; asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "FerrowCrypto.h"
#include "FerrowReplay.h"

using namespace ferrow::proto;
using Clock = std::chrono::steady_clock;

int main()
{
    constexpr std::size_t kSalts = 1'000'000;
    constexpr std::uint64_t kNow = 1'800'000'000;
    ReplayWindow window;
    const std::string salts = randomBytes(kSalts * kSaltSize);
    auto start = Clock::now();
    for (std::size_t i = 0; i < kSalts; ++i) {
        window.admit(std::string_view(salts).substr(i * kSaltSize, kSaltSize), kNow + i % 30, kNow);
    }
    const double meanUs = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kSalts;
    const double megabytes = static_cast<double>(window.memoryBytes()) / 1e6;

    // Two windows later all of them are stale: each shard drops its buckets on its next admit.
    double slowestUs = 0;
    for (int i = 0; i < 256; ++i) {
        std::string salt = randomBytes(kSaltSize);
        salt[8] = static_cast<char>(i);
        start = Clock::now();
        window.admit(salt, kNow + 100, kNow + 100);
        slowestUs =
            std::max(slowestUs, std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::printf("replay memory: %zu salts in %.1f MB; admit %.2f us on average; slowest admit while all "
                "expire %.0f us (%.0fx the mean), one shard's lock only; %zu salts left\n",
                kSalts, megabytes, meanUs, slowestUs, slowestUs / meanUs, window.size());
    return 0;
}
