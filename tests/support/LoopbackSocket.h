#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace ferrow::test {

/// A listening TCP socket on 127.0.0.1 (any port), or -1; `port` receives the port.
int listenLoopback(std::uint16_t& port, int backlog = 4096);
/// A UDP socket on 127.0.0.1 (any port) with room for a burst of datagrams, or -1; `port`
/// receives the port.
int udpLoopback(std::uint16_t& port);
/// A port that was free a moment ago.
std::uint16_t freePort();
/// A blocking TCP connection to `host` (IPv4 or IPv6 text), made from `source` when given; -1 when
/// it failed.
int connectTcp(std::uint16_t port, const char* host = "127.0.0.1", const char* source = nullptr);

/// Whether `fd` became readable within `timeout`.
bool waitReadable(int fd, std::chrono::milliseconds timeout);
/// Sends every byte (no SIGPIPE); false when the connection failed first.
bool sendAll(int fd, std::string_view bytes);
/// Blocks until `size` bytes arrived; false when the stream ended or the socket's own receive
/// time-out struck first.
bool receiveExactly(int fd, char* data, std::size_t size);
/// Up to `count` bytes, waiting at most `timeout`; empty on end of stream or time-out.
std::string receiveSome(int fd, std::size_t count, std::chrono::milliseconds timeout);
/// Exactly `count` bytes unless the stream ends or the time runs out.
std::string receiveExactly(int fd, std::size_t count, std::chrono::milliseconds timeout);

/// A blocking client socket with time-outs on every receive; closed on destruction.
class Socket {
public:
    /// `source`, when given, is the local address to connect from.
    explicit Socket(std::uint16_t port, const char* host = "127.0.0.1", const char* source = nullptr);
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool connected() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    bool send(std::string_view bytes);
    /// Up to `count` bytes, waiting at most `timeout`; empty on end of stream or time-out.
    std::string receiveSome(std::size_t count = 65536,
                            std::chrono::milliseconds timeout = std::chrono::seconds(5));
    /// Exactly `count` bytes unless the stream ends or the time runs out.
    std::string receiveExactly(std::size_t count,
                               std::chrono::milliseconds timeout = std::chrono::seconds(10));
    /// Everything until the peer closes.
    std::string receiveAll(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    /// Bytes up to and including `delimiter`.
    std::string receiveUntil(std::string_view delimiter,
                             std::chrono::milliseconds timeout = std::chrono::seconds(5));
    void shutdownWrite();
    /// True when the peer closed (a read returns 0) within the time.
    bool peerClosed(std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    int m_fd = -1;
};

struct HttpReply {
    int status = 0;
    std::map<std::string, std::string> headers; // lower-case names
    std::string body;
};

/// Reads one HTTP/1.1 response (Content-Length, chunked or until close) from the socket.
std::optional<HttpReply> readHttpReply(Socket& socket, bool headRequest = false);

} // namespace ferrow::test
