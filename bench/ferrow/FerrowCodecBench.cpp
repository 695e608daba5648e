// The Ferrow codec in process: sealing and opening 16 KiB data frames against bare AES-256-GCM
// over the same bytes (the floor any framing adds to), and full handshakes per second (client
// first packet, server handshake and Accept, client opening the Accept), with the heap
// allocations each end makes per handshake. Prints figures and ratios; asserts nothing.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "FerrowHandshake.h"

using namespace ferrow::proto;
using Clock = std::chrono::steady_clock;

// Every allocation of the process, OpenSSL's included, goes through malloc: counting it here
// sees what a connection's handshake costs the heap on either end.
std::atomic<std::uint64_t> g_mallocs{0};
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* malloc(std::size_t size)
{
    g_mallocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

namespace {

constexpr std::size_t kTotal = std::size_t{512} << 20;
constexpr int kHandshakes = 20000;

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

} // namespace

int main()
{
    const std::string psk = "YmVuY2htYXJrLWtleS1vZi10aGlydHktdHdvLWJ5dGVz";
    const std::string data = randomBytes(kMaxDataChunk);
    const auto keys = deriveClientKeys(psk, randomBytes(kSaltSize));

    // Floor: one AES-256-GCM seal and open per chunk, nothing else.
    double rawSeconds = 0;
    {
        Aead sealer(keys.aead);
        Aead opener(keys.aead);
        std::string sealed;
        std::string plain;
        const auto start = Clock::now();
        for (std::uint64_t n = 0; n * data.size() < kTotal; ++n) {
            sealed.clear();
            sealer.seal(n, "ad", data, sealed);
            if (!opener.open(n, "ad", sealed, plain)) {
                std::printf("raw AEAD failed\n");
                return 1;
            }
        }
        rawSeconds = seconds(start);
    }
    double frameSeconds = 0;
    {
        FrameSealer sealer(keys);
        FrameOpener opener(keys);
        std::string wire;
        Frame frame;
        const auto start = Clock::now();
        for (std::size_t done = 0; done < kTotal; done += data.size()) {
            wire.clear();
            sealer.sealData(data, wire);
            std::size_t used = 0;
            if (opener.next(wire, used, frame) != DecodeStatus::Frame || frame.body.size() != data.size()) {
                std::printf("frame round trip failed\n");
                return 1;
            }
        }
        frameSeconds = seconds(start);
    }
    const double gib = static_cast<double>(kTotal) / double(1 << 30);
    std::printf(
        "seal+open of %zu MiB in 16 KiB frames: %.2f GiB/s (bare AES-256-GCM %.2f GiB/s, %.2fx of it)\n",
        kTotal >> 20, gib / frameSeconds, gib / rawSeconds, rawSeconds / frameSeconds);

    const auto start = Clock::now();
    const auto now = static_cast<std::uint64_t>(time(nullptr));
    std::uint64_t clientMallocs = 0;
    std::uint64_t serverMallocs = 0;
    for (int i = 0; i < kHandshakes; ++i) {
        auto before = g_mallocs.load(std::memory_order_relaxed);
        ClientHandshake client(psk, now);
        auto packet = client.firstPacket();
        packet += client.connectFrame(std::string("\x01\x01\xc0\x00\x02\x01\x01\xbb", 8));
        clientMallocs += g_mallocs.load(std::memory_order_relaxed) - before;
        before = g_mallocs.load(std::memory_order_relaxed);
        ServerHandshake server(psk);
        std::size_t used = 0;
        if (server.feed(packet, used) != ServerHandshake::Status::Done) {
            std::printf("handshake failed\n");
            return 1;
        }
        const auto accept = server.acceptPacket();
        serverMallocs += g_mallocs.load(std::memory_order_relaxed) - before;
        before = g_mallocs.load(std::memory_order_relaxed);
        Frame frame;
        if (client.next(accept, used, frame) != DecodeStatus::Frame) {
            std::printf("accept failed\n");
            return 1;
        }
        clientMallocs += g_mallocs.load(std::memory_order_relaxed) - before;
    }
    const double perHandshake = seconds(start) / kHandshakes;
    std::printf("handshakes (both ends, ClientHello first packet): %.0f per second, %.1f us each\n",
                1 / perHandshake, perHandshake * 1e6);
    std::printf("heap allocations per handshake: client %.1f, server %.1f\n",
                static_cast<double>(clientMallocs) / kHandshakes,
                static_cast<double>(serverMallocs) / kHandshakes);
    return 0;
}
