// The tunnel's parsers over packets read from the TUN and the first bytes of a client's stream.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FakeDns.h"
#include "Packet.h"
#include "Sniffer.h"

using namespace ferrow;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string packet(reinterpret_cast<const char*>(data), size);
    auto* bytes = reinterpret_cast<std::uint8_t*>(packet.data());
    if (const auto view = tun::parsePacket(bytes, packet.size())) {
        if (view->length > packet.size() || view->payloadOffset > view->length) {
            __builtin_trap(); // every offset a parse reports lies inside the packet
        }
        tun::echoReply(bytes, *view);
        if (view->protocol == tun::kProtocolTcp || view->protocol == tun::kProtocolUdp) {
            tun::rewritePacket(bytes, *view, view->destination, 1, view->source, 2);
        }
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto question = tun::parseQuestion(text)) {
        if (question->end > size) {
            __builtin_trap();
        }
        tun::buildAnswer(text, *question, {*core::IpAddr::parse("198.18.0.1")}, 10);
    }
    tun::sniffHost(text);
    return 0;
}
