#include "LoopbackPair.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ferrow::proto {

namespace {

std::mutex g_mutex;
int g_listener = -1;
sockaddr_in g_address{};

bool ensureListener(std::string& error)
{
    if (g_listener >= 0) {
        return true;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 64) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = std::string("loopback listener: ") + std::strerror(errno);
        close(fd);
        return false;
    }
    g_listener = fd;
    g_address = address;
    return true;
}

} // namespace

std::pair<int, int> makeLoopbackPair(std::string& error)
{
    // Pairs are made one at a time: the connection accepted is the one just made, which is
    // checked by its port, so another local program that connects here is turned away.
    std::lock_guard lock(g_mutex);
    if (!ensureListener(error)) {
        return {-1, -1};
    }
    const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (client < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return {-1, -1};
    }
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (connect(client, reinterpret_cast<const sockaddr*>(&g_address), sizeof g_address) != 0 ||
        getsockname(client, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        error = std::string("loopback connect: ") + std::strerror(errno);
        close(client);
        return {-1, -1};
    }
    // On loopback the connection is queued by the time connect() returns; the short bound only
    // keeps a local program that floods this listener from stalling the caller's thread.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    for (int attempt = 0; attempt < 64; ++attempt) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{g_listener, POLLIN, 0};
        if (left.count() < 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        sockaddr_in peer{};
        socklen_t peerLength = sizeof peer;
        const int server = accept4(g_listener, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC);
        if (server < 0) {
            continue;
        }
        if (peer.sin_port != local.sin_port || peer.sin_addr.s_addr != local.sin_addr.s_addr) {
            close(server);
            continue;
        }
        const int one = 1;
        for (const int fd : {client, server}) {
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
        return {client, server};
    }
    error = "loopback pair: the connection was not accepted";
    close(client);
    return {-1, -1};
}

} // namespace ferrow::proto
