#include "Sniffer.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace ferrow::tun {

namespace {

constexpr std::size_t kMaxHead = std::size_t{16} * 1024;

std::size_t read16(std::string_view bytes, std::size_t at)
{
    return (std::size_t{static_cast<std::uint8_t>(bytes[at])} << 8) |
           static_cast<std::uint8_t>(bytes[at + 1]);
}

bool plausibleHost(std::string_view host)
{
    return !host.empty() && host.size() <= 253 && std::all_of(host.begin(), host.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
    });
}

Sniffed found(std::string host)
{
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    while (!host.empty() && host.back() == '.') {
        host.pop_back();
    }
    if (!plausibleHost(host)) {
        return {};
    }
    return {Sniffed::Status::Found, std::move(host)};
}

Sniffed sniffTls(std::string_view bytes)
{
    if (bytes.size() < 5) {
        return {Sniffed::Status::NeedMore, {}};
    }
    const std::size_t recordLength = read16(bytes, 3);
    if (bytes.size() < 5 + recordLength) {
        return {recordLength > kMaxHead ? Sniffed::Status::None : Sniffed::Status::NeedMore, {}};
    }
    // One record holding the ClientHello: type 1, then version, random, session id...
    std::string_view hello = bytes.substr(5, recordLength);
    if (hello.size() < 4 || hello[0] != 1) {
        return {};
    }
    std::size_t at = 4 + 2 + 32;
    const auto skip = [&](std::size_t lengthBytes) {
        if (at + lengthBytes > hello.size()) {
            return false;
        }
        const std::size_t length =
            lengthBytes == 1 ? static_cast<std::uint8_t>(hello[at]) : read16(hello, at);
        at += lengthBytes + length;
        return at <= hello.size();
    };
    if (!skip(1) || !skip(2) || !skip(1) || at + 2 > hello.size()) {
        return {};
    }
    const std::size_t extensionsEnd = std::min(hello.size(), at + 2 + read16(hello, at));
    at += 2;
    while (at + 4 <= extensionsEnd) {
        const std::size_t type = read16(hello, at);
        const std::size_t length = read16(hello, at + 2);
        at += 4;
        if (at + length > extensionsEnd) {
            return {};
        }
        if (type == 0 && length >= 5) {
            // server_name: list length, then entries of type 0 (host_name) with their length.
            const std::size_t nameLength = read16(hello, at + 3);
            if (hello[at + 2] == 0 && 5 + nameLength <= length) {
                return found(std::string(hello.substr(at + 5, nameLength)));
            }
            return {};
        }
        at += length;
    }
    return {};
}

Sniffed sniffHttp(std::string_view bytes)
{
    const auto headEnd = bytes.find("\r\n\r\n");
    const auto head = bytes.substr(0, headEnd == std::string_view::npos ? bytes.size() : headEnd + 2);
    std::size_t at = head.find("\r\n");
    while (at != std::string_view::npos && at + 2 < head.size()) {
        const std::size_t lineStart = at + 2;
        const std::size_t lineEnd = head.find("\r\n", lineStart);
        if (lineEnd == std::string_view::npos) {
            break;
        }
        const auto line = head.substr(lineStart, lineEnd - lineStart);
        if (line.size() > 5 && std::equal(line.begin(), line.begin() + 5, "host:", [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == b;
            })) {
            auto value = line.substr(5);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
                value.remove_prefix(1);
            }
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
                value.remove_suffix(1);
            }
            if (value.starts_with('[')) {
                return {}; // an IPv6 literal says nothing new
            }
            return found(std::string(value.substr(0, value.find(':'))));
        }
        at = lineEnd;
    }
    if (headEnd != std::string_view::npos || bytes.size() > kMaxHead) {
        return {};
    }
    return {Sniffed::Status::NeedMore, {}};
}

} // namespace

Sniffed sniffHost(std::string_view bytes)
{
    if (bytes.empty()) {
        return {Sniffed::Status::NeedMore, {}};
    }
    if (bytes[0] == 0x16) {
        return sniffTls(bytes);
    }
    // An HTTP request starts with a method in capitals.
    const auto space = bytes.find(' ');
    const auto method = bytes.substr(0, std::min(space, bytes.size()));
    if (method.empty() || method.size() > 16 ||
        !std::all_of(method.begin(), method.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
        return {};
    }
    if (space == std::string_view::npos) {
        return {Sniffed::Status::NeedMore, {}};
    }
    return sniffHttp(bytes);
}

} // namespace ferrow::tun
