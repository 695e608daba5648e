#include "NetAddress.h"

#include <arpa/inet.h>
#include <charconv>
#include <cstring>

namespace ferrow::core {

std::string toLower(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string clipped(std::string_view text, std::size_t limit)
{
    if (text.size() <= limit) {
        return std::string(text);
    }
    std::size_t cut = limit;
    // Never split a UTF-8 sequence: back up to the start of the cut character.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return std::string(text.substr(0, cut)) + "\u2026";
}

bool isRegName(std::string_view text)
{
    if (text.empty() || text.size() > 255) {
        return false;
    }
    const auto isHex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           std::string_view("-._~!$&'()*+,;=").find(c) != std::string_view::npos;
        if (plain) {
            continue;
        }
        if (c == '%' && i + 2 < text.size() + 0 && isHex(text[i + 1]) && isHex(text[i + 2])) {
            i += 2;
            continue;
        }
        return false;
    }
    return true;
}

std::optional<IpAddr> IpAddr::parse(std::string_view text)
{
    if (text.empty() || text.size() > 63) {
        return std::nullopt;
    }
    char buffer[64];
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    IpAddr out;
    if (inet_pton(AF_INET, buffer, out.bytes.data()) == 1) {
        return out;
    }
    if (inet_pton(AF_INET6, buffer, out.bytes.data()) == 1) {
        out.v6 = true;
        return out.folded();
    }
    return std::nullopt;
}

IpAddr IpAddr::folded() const
{
    static constexpr std::uint8_t mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (!v6 || std::memcmp(bytes.data(), mapped, 12) != 0) {
        return *this;
    }
    IpAddr v4;
    std::memcpy(v4.bytes.data(), bytes.data() + 12, 4);
    return v4;
}

IpAddr IpAddr::fromV4(std::uint32_t hostOrder)
{
    IpAddr out;
    out.bytes[0] = static_cast<std::uint8_t>(hostOrder >> 24);
    out.bytes[1] = static_cast<std::uint8_t>(hostOrder >> 16);
    out.bytes[2] = static_cast<std::uint8_t>(hostOrder >> 8);
    out.bytes[3] = static_cast<std::uint8_t>(hostOrder);
    return out;
}

std::string IpAddr::toString() const
{
    char buffer[INET6_ADDRSTRLEN] = {};
    inet_ntop(v6 ? AF_INET6 : AF_INET, bytes.data(), buffer, sizeof buffer);
    return buffer;
}

bool IpAddr::isLoopback() const
{
    if (const IpAddr plain = folded(); !plain.v6) {
        return plain.bytes[0] == 127;
    }
    for (int i = 0; i < 15; ++i) {
        if (bytes[static_cast<std::size_t>(i)] != 0) {
            return false;
        }
    }
    return bytes[15] == 1;
}

static std::optional<int> parseSmallNumber(std::string_view text, int maxDigits)
{
    if (text.empty() || static_cast<int>(text.size()) > maxDigits) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<Cidr> Cidr::parse(std::string_view text)
{
    text = trim(text);
    const auto slash = text.find('/');
    const auto address = IpAddr::parse(text.substr(0, slash));
    if (!address) {
        return std::nullopt;
    }
    Cidr out{*address, address->v6 ? 128 : 32};
    if (slash != std::string_view::npos) {
        const auto prefix = parseSmallNumber(text.substr(slash + 1), 3);
        if (!prefix || *prefix > (address->v6 ? 128 : 32)) {
            return std::nullopt;
        }
        out.prefix = *prefix;
    }
    return out;
}

bool Cidr::contains(const IpAddr& given) const
{
    const IpAddr address = given.folded();
    if (address.v6 != base.v6) {
        return false;
    }
    const int fullBytes = prefix / 8;
    if (std::memcmp(address.bytes.data(), base.bytes.data(), static_cast<std::size_t>(fullBytes)) != 0) {
        return false;
    }
    const int rest = prefix % 8;
    if (rest == 0) {
        return true;
    }
    const auto mask = static_cast<std::uint8_t>(0xff << (8 - rest));
    const auto index = static_cast<std::size_t>(fullBytes);
    return (address.bytes[index] & mask) == (base.bytes[index] & mask);
}

std::optional<PortRange> PortRange::parse(std::string_view text)
{
    const auto dash = text.find('-');
    const auto first = parseSmallNumber(trim(text.substr(0, dash)), 5);
    if (!first || *first > 65535) {
        return std::nullopt;
    }
    PortRange out{static_cast<std::uint16_t>(*first), static_cast<std::uint16_t>(*first)};
    if (dash != std::string_view::npos) {
        const auto last = parseSmallNumber(trim(text.substr(dash + 1)), 5);
        if (!last || *last > 65535 || *last < *first) {
            return std::nullopt;
        }
        out.last = static_cast<std::uint16_t>(*last);
    }
    return out;
}

std::optional<HostPort> HostPort::parse(std::string_view text)
{
    std::string_view host;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        const auto colon = text.rfind(':');
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.find(':') != std::string_view::npos) {
            return std::nullopt; // an IPv6 literal needs brackets
        }
    }
    const auto value = parseSmallNumber(port, 5);
    if (host.empty() || !value || *value > 65535) {
        return std::nullopt;
    }
    return HostPort{std::string(host), static_cast<std::uint16_t>(*value)};
}

std::string HostPort::toString() const
{
    if (host.find(':') != std::string::npos) {
        return "[" + host + "]:" + std::to_string(port);
    }
    return host + ":" + std::to_string(port);
}

} // namespace ferrow::core
