#pragma once

// Origins on 127.0.0.1 for tests and benchmarks to reach through a proxy.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ferrow::test {

/// A threaded loopback TCP server; `serve` runs once per accepted connection, and the server
/// closes the connection once it returns.
class TcpServer {
public:
    using Handler = std::function<void(int fd)>;
    /// `acceptors` 0: every connection on a thread of its own, its descriptor kept until the
    /// server goes. Otherwise that many threads, each accepting and serving one connection at a
    /// time: for a stream of many short connections.
    explicit TcpServer(Handler serve, int acceptors = 0);
    ~TcpServer();
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    std::uint16_t port() const { return m_port; }
    std::size_t accepted() const { return m_accepted.load(); }

private:
    void acceptEach();
    void acceptAndServe();

    int m_listener = -1;
    std::uint16_t m_port = 0;
    Handler m_serve;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::size_t> m_accepted{0};
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::vector<std::thread> m_workers;
    std::vector<int> m_clients;
};

/// Accepts every connection and holds it, silent, until `release` or the end.
class HoldingServer {
public:
    HoldingServer();
    ~HoldingServer();
    HoldingServer(const HoldingServer&) = delete;
    HoldingServer& operator=(const HoldingServer&) = delete;

    std::uint16_t port() const { return m_port; }
    std::size_t held() const;
    /// Closes the connections held so far.
    void release();

private:
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<int> m_held;
};

/// Echoes every byte; after the client's end of stream it ends its own side.
std::unique_ptr<TcpServer> makeEchoServer();
/// Sends `size` deterministic bytes (see `patternBytes`) and closes.
std::unique_ptr<TcpServer> makeSourceServer(std::size_t size);
/// HTTP/1.1 with keep-alive: GET /bytes/N (Content-Length), /chunked/N, /close/N (until close),
/// POST /echo (answers the request body), /headers (answers the request head), /rules/… (a small
/// rule list), /missing (404), anything else 204.
std::unique_ptr<TcpServer> makeOriginServer();

/// A UDP DNS server on 127.0.0.1 answering for the names it knows: A queries for IPv4 addresses,
/// AAAA queries for IPv6 ones (taken as written, mapped forms included).
class FakeDnsServer {
public:
    explicit FakeDnsServer(std::map<std::string, std::string> names);
    ~FakeDnsServer();
    FakeDnsServer(const FakeDnsServer&) = delete;
    FakeDnsServer& operator=(const FakeDnsServer&) = delete;

    std::uint16_t port() const { return m_port; }
    std::size_t queries() const { return m_queries.load(); }

private:
    void run();
    int m_fd = -1;
    std::uint16_t m_port = 0;
    std::map<std::string, std::string> m_names;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::size_t> m_queries{0};
    std::thread m_thread;
};

/// A UDP echo on 127.0.0.1: every datagram goes back to its sender unchanged.
class UdpEchoServer {
public:
    UdpEchoServer();
    ~UdpEchoServer();
    UdpEchoServer(const UdpEchoServer&) = delete;
    UdpEchoServer& operator=(const UdpEchoServer&) = delete;

    std::uint16_t port() const { return m_port; }
    std::size_t received() const { return m_received.load(); }

private:
    void run();
    int m_fd = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::size_t> m_received{0};
    std::thread m_thread;
};

} // namespace ferrow::test
