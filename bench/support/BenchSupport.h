#pragma once

// Loopback plumbing shared by the benchmarks that drive real programs: listening and connecting
// sockets, a threaded origin server, spawning peers and reading their memory.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace ferrow::bench {

/// A listening socket on 127.0.0.1 (any port); `port` receives the port.
int listenLoopback(std::uint16_t& port);
std::uint16_t freePort();
/// A connected client socket to 127.0.0.1:`port` (TCP_NODELAY, 10 s receive time-out), or -1.
int connectTo(std::uint16_t port);
bool sendAll(int fd, const char* data, std::size_t size);
bool receiveExactly(int fd, char* data, std::size_t size);

/// A TCP server with a few accepting threads; `serve` handles one connection.
class Origin {
public:
    Origin(int threads, std::function<void(int)> serve);
    ~Origin();
    Origin(const Origin&) = delete;
    Origin& operator=(const Origin&) = delete;
    std::uint16_t port() const { return m_port; }

private:
    std::function<void(int)> m_serve;
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::vector<std::thread> m_threads;
};

/// A SOCKS5 CONNECT to 127.0.0.1:`originPort` through the proxy on `proxyPort`: the greeting,
/// then the request (not every server reads a request sent ahead of its answer). The socket or -1.
int socks5Connect(std::uint16_t proxyPort, std::uint16_t originPort);
/// Reads from `fd` until the peer closes, then closes it: Gbit/s, or 0 when fewer than `expected`
/// bytes came.
double receiveAllGbit(int fd, std::size_t expected);

struct RateResult {
    double perSecond = 0;
    double p99Ms = 0; // connect to the last byte of the answer
};
/// `concurrency` clients for `window`, each in a loop: `open` a connection, send an HTTP/1.0 GET,
/// read a 1 KiB answer. Prints a line under `name` when more than 1 % failed.
RateResult connectionRate(const std::string& name, const std::function<int()>& open, int concurrency,
                          std::chrono::seconds window);

/// Line-buffered output, no SIGPIPE, and as many descriptors as the system allows.
void prepareBenchProcess();
/// Origin handlers: sends `bytes` of filler and closes; or reads an HTTP request head, answers
/// 1 KiB (HTTP/1.0) and closes.
void sendFiller(int fd, std::size_t bytes);
void answerOneKiB(int fd);

/// The resident set of a process, in KiB.
long residentKiB(pid_t pid);
/// Starts a program (searched on PATH) with its output discarded; -1 when it could not start.
pid_t spawn(const std::vector<std::string>& arguments);
/// Waits (bounded, about 5 s) until something accepts on 127.0.0.1:`port`.
bool waitForPort(std::uint16_t port);

} // namespace ferrow::bench
