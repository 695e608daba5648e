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

namespace {

/// ATYP DST.ADDR DST.PORT from `at`: the host, whether it is an address, the port and where it
/// ends. NeedMore when `bytes` stops inside it.
struct Address {
    ParseStatus status = ParseStatus::NeedMore;
    std::string host;
    bool isAddress = false;
    std::uint16_t port = 0;
    std::size_t end = 0;
    Reply failure = GeneralFailure;
};

Address parseAddress(std::string_view bytes, std::size_t at)
{
    Address out;
    if (bytes.size() <= at) {
        return out;
    }
    const auto type = static_cast<std::uint8_t>(bytes[at]);
    std::size_t addressLength = 0;
    std::size_t offset = at + 1;
    if (type == 1) {
        addressLength = 4;
    } else if (type == 4) {
        addressLength = 16;
    } else if (type == 3) {
        if (bytes.size() <= offset) {
            return out;
        }
        addressLength = static_cast<std::uint8_t>(bytes[offset]);
        ++offset;
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
        out.isAddress = true;
    }
    const auto* port = reinterpret_cast<const unsigned char*>(bytes.data() + offset + addressLength);
    out.port = static_cast<std::uint16_t>((port[0] << 8) | port[1]);
    out.end = offset + addressLength + 2;
    out.status = ParseStatus::Good;
    return out;
}

void appendAddress(const IpAddr& address, std::uint16_t port, std::string& out)
{
    out += address.v6 ? '\x04' : '\x01';
    out.append(reinterpret_cast<const char*>(address.bytes.data()), address.v6 ? 16 : 4);
    out += static_cast<char>(port >> 8);
    out += static_cast<char>(port & 0xff);
}

} // namespace

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
    auto address = parseAddress(bytes, 3);
    out.status = address.status;
    out.failure = address.failure;
    if (address.status != ParseStatus::Good) {
        return out;
    }
    out.host = std::move(address.host);
    out.hostIsAddress = address.isAddress;
    out.port = address.port;
    out.consumed = address.end;
    return out;
}

UdpHeader parseUdpHeader(std::string_view datagram)
{
    UdpHeader out;
    if (datagram.size() < 4 || datagram[0] != 0 || datagram[1] != 0) {
        return out;
    }
    out.fragment = static_cast<std::uint8_t>(datagram[2]);
    auto address = parseAddress(datagram, 3);
    if (address.status != ParseStatus::Good) {
        return out; // truncated is as bad as malformed: nothing more will arrive
    }
    out.status = ParseStatus::Good;
    out.host = std::move(address.host);
    out.hostIsAddress = address.isAddress;
    out.port = address.port;
    out.payloadOffset = address.end;
    return out;
}

std::string udpHeader(std::string_view host, bool isAddress, std::uint16_t port)
{
    std::string out(3, '\0');
    if (isAddress) {
        // Not IpAddr::parse, which folds a mapped address: the client gets back what it wrote.
        IpAddr address;
        const std::string text(host);
        if (inet_pton(AF_INET, text.c_str(), address.bytes.data()) != 1) {
            address.v6 = true;
            if (inet_pton(AF_INET6, text.c_str(), address.bytes.data()) != 1) {
                return {};
            }
        }
        appendAddress(address, port, out);
        return out;
    }
    if (host.empty() || host.size() > 255) {
        return {};
    }
    out += '\x03';
    out += static_cast<char>(host.size());
    out += host;
    out += static_cast<char>(port >> 8);
    out += static_cast<char>(port & 0xff);
    return out;
}

std::string reply(Reply code, const IpAddr& bound, std::uint16_t port)
{
    std::string out{'\x05', static_cast<char>(code), '\x00'};
    appendAddress(bound.folded(), port, out);
    return out;
}

std::string reply(Reply code)
{
    return std::string{'\x05', static_cast<char>(code), '\x00', '\x01', 0, 0, 0, 0, 0, 0};
}

} // namespace ferrow::core::socks5
