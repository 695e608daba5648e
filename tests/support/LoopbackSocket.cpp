#include "LoopbackSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace ferrow::test {

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds leftUntil(Clock::time_point deadline)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
}

} // namespace

int listenLoopback(std::uint16_t& port, int backlog)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

int udpLoopback(std::uint16_t& port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    // Room for a whole window of datagrams arriving at once.
    const int buffer = 1 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    port = ntohs(address.sin_port);
    return fd;
}

std::uint16_t freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

int connectTcp(std::uint16_t port, const char* host, const char* source)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (std::strchr(host, ':')) {
        auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
        address->sin6_family = AF_INET6;
        address->sin6_port = htons(port);
        ::inet_pton(AF_INET6, host, &address->sin6_addr);
        length = sizeof(sockaddr_in6);
    } else {
        auto* address = reinterpret_cast<sockaddr_in*>(&storage);
        address->sin_family = AF_INET;
        address->sin_port = htons(port);
        ::inet_pton(AF_INET, host, &address->sin_addr);
        length = sizeof(sockaddr_in);
    }
    int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && source != nullptr) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, source, &local.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0) {
        ::close(fd);
        fd = -1;
    }
    return fd;
}

bool waitReadable(int fd, std::chrono::milliseconds timeout)
{
    pollfd item{fd, POLLIN, 0};
    return ::poll(&item, 1, static_cast<int>(std::max<long long>(timeout.count(), 0))) > 0;
}

bool sendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const auto sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) {
            if (sent < 0 && errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

bool receiveExactly(int fd, char* data, std::size_t size)
{
    while (size > 0) {
        const auto received = ::recv(fd, data, size, 0);
        if (received <= 0) {
            return false;
        }
        data += received;
        size -= static_cast<std::size_t>(received);
    }
    return true;
}

std::string receiveSome(int fd, std::size_t count, std::chrono::milliseconds timeout)
{
    if (fd < 0 || !waitReadable(fd, timeout)) {
        return {};
    }
    std::string out(count, '\0');
    const auto received = ::recv(fd, out.data(), count, 0);
    out.resize(received > 0 ? static_cast<std::size_t>(received) : 0);
    return out;
}

std::string receiveExactly(int fd, std::size_t count, std::chrono::milliseconds timeout)
{
    std::string out;
    const auto deadline = Clock::now() + timeout;
    while (out.size() < count && Clock::now() < deadline) {
        const auto chunk =
            receiveSome(fd, std::min<std::size_t>(count - out.size(), 1 << 20), leftUntil(deadline));
        if (chunk.empty()) {
            break;
        }
        out += chunk;
    }
    return out;
}

Socket::Socket(std::uint16_t port, const char* host, const char* source)
    : m_fd(connectTcp(port, host, source))
{
}

Socket::~Socket()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

Socket::Socket(Socket&& other) noexcept : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

bool Socket::send(std::string_view bytes)
{
    return m_fd >= 0 && sendAll(m_fd, bytes);
}

std::string Socket::receiveSome(std::size_t count, std::chrono::milliseconds timeout)
{
    return test::receiveSome(m_fd, count, timeout);
}

std::string Socket::receiveExactly(std::size_t count, std::chrono::milliseconds timeout)
{
    return test::receiveExactly(m_fd, count, timeout);
}

std::string Socket::receiveAll(std::chrono::milliseconds timeout)
{
    std::string out;
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        const auto chunk = receiveSome(1 << 20, leftUntil(deadline));
        if (chunk.empty()) {
            break;
        }
        out += chunk;
    }
    return out;
}

std::string Socket::receiveUntil(std::string_view delimiter, std::chrono::milliseconds timeout)
{
    std::string out;
    const auto deadline = Clock::now() + timeout;
    while (out.find(delimiter) == std::string::npos && Clock::now() < deadline) {
        const auto chunk = receiveSome(1, leftUntil(deadline));
        if (chunk.empty()) {
            break;
        }
        out += chunk;
    }
    return out;
}

void Socket::shutdownWrite()
{
    ::shutdown(m_fd, SHUT_WR);
}

bool Socket::peerClosed(std::chrono::milliseconds timeout)
{
    if (!waitReadable(m_fd, timeout)) {
        return false;
    }
    char byte;
    return ::recv(m_fd, &byte, 1, MSG_PEEK) <= 0;
}

std::optional<HttpReply> readHttpReply(Socket& socket, bool headRequest)
{
    const auto head = socket.receiveUntil("\r\n\r\n");
    if (head.size() < 12 || head.find("\r\n\r\n") == std::string::npos) {
        return std::nullopt;
    }
    HttpReply reply;
    reply.status = std::atoi(head.c_str() + 9);
    std::istringstream lines(head);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && line != "\r") {
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        std::string name = line.substr(0, colon);
        for (char& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        std::string value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ')) {
            value.erase(0, 1);
        }
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) {
            value.pop_back();
        }
        reply.headers[name] = value;
    }
    if (headRequest || reply.status == 204 || reply.status == 304 || reply.status / 100 == 1) {
        return reply;
    }
    if (reply.headers.count("content-length")) {
        const auto length = std::stoull(reply.headers["content-length"]);
        reply.body = socket.receiveExactly(length);
        if (reply.body.size() != length) {
            return std::nullopt;
        }
    } else if (reply.headers["transfer-encoding"] == "chunked") {
        while (true) {
            const auto sizeLine = socket.receiveUntil("\r\n");
            if (sizeLine.empty()) {
                return std::nullopt;
            }
            const auto size = std::stoull(sizeLine, nullptr, 16);
            if (size == 0) {
                socket.receiveUntil("\r\n");
                break;
            }
            reply.body += socket.receiveExactly(size);
            socket.receiveExactly(2);
        }
    } else {
        reply.body = socket.receiveAll();
    }
    return reply;
}

} // namespace ferrow::test
