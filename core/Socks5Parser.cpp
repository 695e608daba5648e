#include "Socks5Parser.h"

#include <arpa/inet.h>

#include "NetAddress.h"

namespace ferrow::core::socks5 {

Greeting parseGreeting(std::string_view bytes)
{
    Greeting out;
    if (bytes.empty()) {
        return out;
    }
    if (static_cast<std::uint8_t>(bytes[0]) != kVersion) {
        out.status = ParseStatus::Bad;
        return out;
    }
    if (bytes.size() < 2) {
        return out;
    }
    const auto count = static_cast<std::uint8_t>(bytes[1]);
    if (count == 0) {
        out.status = ParseStatus::Bad;
        return out;
    }
    if (bytes.size() < 2u + count) {
        return out;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[2 + i] == 0) {
            out.offersNoAuthentication = true;
        }
    }
    out.consumed = 2u + count;
    out.status = ParseStatus::Good;
    return out;
}

Request parseRequest(std::string_view bytes)
{
    Request out;
    if (bytes.empty()) {
        return out;
    }
    if (static_cast<std::uint8_t>(bytes[0]) != kVersion) {
        out.status = ParseStatus::Bad;
        return out;
    }
    if (bytes.size() < 4) {
        return out;
    }
    out.command = static_cast<std::uint8_t>(bytes[1]);
    if (bytes[2] != 0) {
        out.status = ParseStatus::Bad;
        return out;
    }
    const auto type = static_cast<std::uint8_t>(bytes[3]);
    std::size_t addressLength = 0;
    std::size_t offset = 4;
    if (type == 1) {
        addressLength = 4;
    } else if (type == 4) {
        addressLength = 16;
    } else if (type == 3) {
        if (bytes.size() < 5) {
            return out;
        }
        addressLength = static_cast<std::uint8_t>(bytes[4]);
        offset = 5;
        if (addressLength == 0) {
            out.status = ParseStatus::Bad;
            return out;
        }
    } else {
        out.status = ParseStatus::Bad;
        out.failure = AddressTypeNotSupported;
        return out;
    }
    if (bytes.size() < offset + addressLength + 2) {
        return out;
    }
    const auto* address = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
    if (type == 3) {
        out.host.assign(bytes.data() + offset, addressLength);
        // A name with control bytes, brackets or separators cannot be a host; refuse it before
        // it reaches a log or a forwarded request.
        if (!isRegName(out.host)) {
            out.status = ParseStatus::Bad;
            out.failure = HostUnreachable;
            return out;
        }
    } else {
        char text[INET6_ADDRSTRLEN] = {};
        inet_ntop(type == 1 ? AF_INET : AF_INET6, address, text, sizeof text);
        out.host = text;
        out.hostIsAddress = true;
    }
    const auto* port = reinterpret_cast<const unsigned char*>(bytes.data() + offset + addressLength);
    out.port = static_cast<std::uint16_t>((port[0] << 8) | port[1]);
    out.consumed = offset + addressLength + 2;
    out.status = ParseStatus::Good;
    return out;
}

std::string reply(Reply code)
{
    return std::string{'\x05', static_cast<char>(code), '\x00', '\x01', 0, 0, 0, 0, 0, 0};
}

} // namespace ferrow::core::socks5
