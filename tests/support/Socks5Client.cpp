#include "Socks5Client.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include "LoopbackSocket.h"

namespace ferrow::test {

int socks5Connect(int fd, const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout)
{
    if (fd < 0 || !sendAll(fd, std::string("\x05\x01\x00", 3)) ||
        receiveExactly(fd, 2, timeout) != std::string("\x05\x00", 2)) {
        return -1;
    }
    std::string request("\x05\x01\x00", 3);
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

} // namespace ferrow::test
