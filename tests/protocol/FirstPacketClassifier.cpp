#include "FirstPacketClassifier.h"

#include <array>
#include <bit>
#include <cstddef>

namespace ferrow::test {

namespace {

bool printable(unsigned char c)
{
    return c >= 0x20 && c <= 0x7e;
}

bool looksLikeTlsOrHttp(std::string_view packet)
{
    if (packet.size() >= 3 && (packet[0] == 0x16 || packet[0] == 0x17) && packet[1] == 0x03 &&
        static_cast<unsigned char>(packet[2]) <= 0x09) {
        return true;
    }
    static constexpr std::array<std::string_view, 9> methods = {
        "GET ", "PUT ", "POST ", "HEAD ", "DELETE ", "PATCH ", "OPTIONS ", "CONNECT ", "TRACE "};
    for (const auto method : methods) {
        if (packet.starts_with(method)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool flaggedAsFullyEncrypted(std::string_view packet)
{
    if (packet.empty()) {
        return false;
    }
    std::size_t bits = 0;
    std::size_t printableCount = 0;
    std::size_t run = 0;
    std::size_t longestRun = 0;
    for (const char c : packet) {
        const auto byte = static_cast<unsigned char>(c);
        bits += std::popcount(byte);
        if (printable(byte)) {
            ++printableCount;
            longestRun = std::max(longestRun, ++run);
        } else {
            run = 0;
        }
    }
    const double density = static_cast<double>(bits) / static_cast<double>(packet.size());
    if (density <= 3.4 || density >= 4.6) {
        return false;
    }
    bool firstSixPrintable = packet.size() >= 6;
    for (std::size_t i = 0; i < 6 && i < packet.size(); ++i) {
        firstSixPrintable = firstSixPrintable && printable(static_cast<unsigned char>(packet[i]));
    }
    if (firstSixPrintable || printableCount * 2 > packet.size() || longestRun > 20) {
        return false;
    }
    return !looksLikeTlsOrHttp(packet);
}

} // namespace ferrow::test
