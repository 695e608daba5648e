#include "Socks5Client.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include "LoopbackSocket.h"

namespace ferrow::test {

namespace {

std::string addressBytes(const std::string& host, std::uint16_t port)
{
    std::string request;
    in_addr v4{};
    in6_addr v6{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        request += '\x01';
        request.append(reinterpret_cast<const char*>(&v4), 4);
    } else if (::inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        request += '\x04';
        request.append(reinterpret_cast<const char*>(&v6), 16);
    } else {
        request += '\x03';
        request += static_cast<char>(host.size());
        request += host;
    }
    request += static_cast<char>(port >> 8);
    request += static_cast<char>(port & 0xff);
    return request;
}

} // namespace

int socks5Connect(int fd, const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout)
{
    if (fd < 0 || !sendAll(fd, std::string("\x05\x01\x00", 3)) ||
        receiveExactly(fd, 2, timeout) != std::string("\x05\x00", 2)) {
        return -1;
    }
    const std::string request = std::string("\x05\x01\x00", 3) + addressBytes(host, port);
    if (!sendAll(fd, request)) {
        return -1;
    }
    const auto reply = receiveExactly(fd, 10, timeout);
    if (reply.size() != 10 || reply[0] != 5) {
        return -1;
    }
    return static_cast<std::uint8_t>(reply[1]);
}

int socks5Connect(Socket& socket, const std::string& host, std::uint16_t port)
{
    return socks5Connect(socket.fd(), host, port);
}

std::uint16_t socks5Associate(int fd, std::uint16_t port, const std::string& relayAddress)
{
    const auto timeout = std::chrono::seconds(10);
    if (fd < 0 || !sendAll(fd, std::string("\x05\x01\x00", 3)) ||
        receiveExactly(fd, 2, timeout) != std::string("\x05\x00", 2) ||
        !sendAll(fd, std::string("\x05\x03\x00", 3) + addressBytes("0.0.0.0", port))) {
        return 0;
    }
    const std::string expected = std::string("\x05\x00\x00", 3) + addressBytes(relayAddress, 0);
    const auto reply = receiveExactly(fd, expected.size(), timeout);
    if (reply.size() != expected.size() ||
        reply.compare(0, reply.size() - 2, expected, 0, reply.size() - 2) != 0) {
        return 0;
    }
    return static_cast<std::uint16_t>((std::uint8_t(reply[reply.size() - 2]) << 8) |
                                      std::uint8_t(reply.back()));
}

std::string socks5Datagram(const std::string& host, std::uint16_t port, std::string_view payload)
{
    return std::string(3, '\0') + addressBytes(host, port) + std::string(payload);
}

} // namespace ferrow::test
