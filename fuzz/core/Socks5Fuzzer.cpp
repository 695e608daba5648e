#include <cstddef>
#include <cstdint>
#include <string_view>

#include "NetAddress.h"
#include "Socks5Parser.h"

using namespace ferrow::core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto greeting = socks5::parseGreeting(bytes);
    if (greeting.status == ParseStatus::Good && (greeting.consumed < 3 || greeting.consumed > size)) {
        __builtin_trap();
    }
    const auto request =
        socks5::parseRequest(greeting.status == ParseStatus::Good ? bytes.substr(greeting.consumed) : bytes);
    if (request.status == ParseStatus::Good) {
        // A good request names a host and never reads beyond what it was given.
        if (request.host.empty() || request.consumed > size) {
            __builtin_trap();
        }
        if (!request.hostIsAddress && !isRegName(request.host)) {
            __builtin_trap();
        }
    }
    // The same bytes as a datagram to an association's relay.
    const auto datagram = socks5::parseUdpHeader(bytes);
    if (datagram.status == ParseStatus::Good) {
        if (datagram.host.empty() || datagram.payloadOffset > size || datagram.payloadOffset < 8) {
            __builtin_trap();
        }
        if (!datagram.hostIsAddress && !isRegName(datagram.host)) {
            __builtin_trap();
        }
        // The answer's header for the same destination parses back to it.
        const auto again =
            socks5::parseUdpHeader(socks5::udpHeader(datagram.host, datagram.hostIsAddress, datagram.port));
        if (again.status != ParseStatus::Good || again.host != datagram.host || again.port != datagram.port) {
            __builtin_trap();
        }
    }
    return 0;
}
