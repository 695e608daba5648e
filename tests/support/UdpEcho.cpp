#include "UdpEcho.h"

#include <cstdint>
#include <cstring>
#include <sys/socket.h>
#include <vector>

#include "LoopbackSocket.h"
#include "TestBytes.h"

namespace ferrow::test {

namespace {

constexpr std::size_t kNumberSize = sizeof(std::uint64_t);

std::string datagramNumbered(std::uint64_t number, std::size_t size)
{
    std::string datagram(reinterpret_cast<const char*>(&number), kNumberSize);
    datagram += patternBytes(size - kNumberSize, number * size);
    return datagram;
}

} // namespace

EchoOutcome echoWindowed(const std::function<bool(std::string_view)>& send,
                         const std::function<std::string(std::chrono::milliseconds)>& receive,
                         std::size_t total, std::size_t size, std::size_t window,
                         std::chrono::milliseconds stall)
{
    EchoOutcome outcome;
    const std::size_t count = (total + size - 1) / size;
    std::vector<bool> back(count, false);
    std::size_t next = 0;
    // Each turn sends, receives one datagram or gives up: the loop is bounded by the datagrams.
    for (std::size_t turn = 0; turn < 4 * count + 16 && outcome.echoed < count; ++turn) {
        while (next < count && next - outcome.echoed < window) {
            if (!send(datagramNumbered(next, size))) {
                return outcome;
            }
            ++next;
            outcome.sent = next;
        }
        const auto datagram = receive(stall);
        if (datagram.empty()) {
            return outcome;
        }
        std::uint64_t number = 0;
        if (datagram.size() >= kNumberSize) {
            std::memcpy(&number, datagram.data(), kNumberSize);
        }
        if (datagram.size() != size || number >= next || back[number] ||
            datagram != datagramNumbered(number, size)) {
            ++outcome.corrupt;
            continue;
        }
        back[number] = true;
        ++outcome.echoed;
    }
    return outcome;
}

EchoOutcome echoWindowed(int fd, std::size_t total, std::size_t size, std::size_t window)
{
    return echoWindowed(
        [fd](std::string_view datagram) { return ::send(fd, datagram.data(), datagram.size(), 0) >= 0; },
        [fd](std::chrono::milliseconds wait) {
            std::string datagram(65536, '\0');
            if (!waitReadable(fd, wait)) {
                return std::string();
            }
            const auto got = ::recv(fd, datagram.data(), datagram.size(), 0);
            datagram.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
            return datagram;
        },
        total, size, window);
}

} // namespace ferrow::test
