// What one recorded first packet is worth to someone guessing its key offline, on one core:
// guesses per second against the key schedule without a work factor (HKDF from the key text, as
// the protocol's first version had it) and against the master key made with scrypt, each guess
// checked by opening the sealed hello as the guesser must. Prints figures and the ratio; asserts
// nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "FerrowClientHello.h"
#include "FerrowHandshake.h"

using namespace ferrow::proto;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

/// Whether `keys` open the hello in a recorded first packet.
bool opens(const DirectionKeys& keys, std::string_view sessionId)
{
    FrameOpener opener(keys);
    Frame frame;
    std::size_t used = 0;
    return opener.next(sessionId, used, frame) == DecodeStatus::Frame;
}

DirectionKeys keysFrom(std::string_view ikm, std::string_view salt)
{
    const std::string material = hkdfSha256(ikm, salt, "ferrow v2 client", 2 * kKeySize);
    DirectionKeys keys;
    std::copy_n(material.begin(), kKeySize, keys.aead.begin());
    std::copy_n(material.begin() + kKeySize, kKeySize, keys.mask.begin());
    return keys;
}

} // namespace

int main()
{
    const std::string key = "summer2024summer";
    ClientHandshake client(key, static_cast<std::uint64_t>(time(nullptr)));
    const std::string packet = client.firstPacket();
    const auto hello = parseClientHello(std::string_view(packet).substr(kRecordHeaderSize));
    if (!hello) {
        std::printf("no ClientHello\n");
        return 1;
    }

    // Without a work factor: the key text itself is the HKDF input.
    constexpr int kFastGuesses = 200000;
    std::size_t hits = 0;
    auto start = Clock::now();
    for (int i = 0; i < kFastGuesses; ++i) {
        hits += opens(keysFrom("guess-" + std::to_string(i), hello->random), hello->sessionId);
    }
    const double fastRate = kFastGuesses / seconds(start);

    // With scrypt: every guess pays for a master key first.
    constexpr int kSlowGuesses = 8;
    start = Clock::now();
    for (int i = 0; i < kSlowGuesses; ++i) {
        const Key master = deriveMasterKey("guess-" + std::to_string(i), kMasterKeyCost);
        hits += opens(keysFrom({reinterpret_cast<const char*>(master.data()), master.size()}, hello->random),
                      hello->sessionId);
    }
    const double slowRate = kSlowGuesses / seconds(start);
    const bool found = opens(deriveClientKeys(key, hello->random), hello->sessionId);

    std::printf("offline guesses per second on one core: %.0f without a work factor, %.2f with scrypt "
                "(N=%llu, r=%u, p=%u); %.0fx fewer\n",
                fastRate, slowRate, static_cast<unsigned long long>(kMasterKeyCost.n), kMasterKeyCost.r,
                kMasterKeyCost.p, fastRate / slowRate);
    std::printf("one master key: %.0f ms; the right key opens the hello: %s; wrong guesses that did: %zu\n",
                1000.0 / slowRate, found ? "yes" : "no", hits);
    return found && hits == 0 ? 0 : 1;
}
