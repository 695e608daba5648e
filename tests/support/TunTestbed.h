#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "NetworkNamespace.h"

namespace ferrow::test {

class ChildProcess;

/// The origin's address in the "internet" namespace, its DNS server and the name it serves.
inline constexpr char kOriginAddress[] = "203.0.113.10";
inline constexpr char kOriginAddress6[] = "2001:db8:1::10";
inline constexpr char kInternetDns[] = "10.77.0.2";
/// A resolver address that exists nowhere: only the tunnel answers it.
inline constexpr char kAnyResolver[] = "198.51.100.53";

/// The SHA-256 of the first `size` bytes the origin serves for /big (see `patternBytes`).
std::string expectedBigDigest(std::size_t size);

/// Namespace "host" (where the core runs) joined to namespace "internet" by a veth pair; the
/// internet holds an HTTP origin, a DNS server and a UDP echo server of the test's own.
class TunTestbed {
public:
    TunTestbed();
    ~TunTestbed();

    NetworkNamespace host{"host"};
    NetworkNamespace internet{"inet"};
    bool ready() const { return m_ready; }
    /// A UDP echo on `address` port 7 inside `ns`, until the testbed ends.
    void serveEchoIn(const NetworkNamespace& ns, const std::string& address);
    /// The internet's DNS answers also on `address`:`port` inside `ns`; whether it could bind.
    bool serveDnsIn(const NetworkNamespace& ns, const std::string& address, std::uint16_t port);
    /// Makes every address of `range` local to the internet namespace and answers on `portCount`
    /// ports from `firstPort` there: each connection gets kShortAnswer once its request arrives,
    /// then the server's close. False when it could not be set up.
    bool serveShortAnswers(const std::string& range, std::uint16_t firstPort, int portCount);
    static constexpr char kShortAnswer[] =
        "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";

private:
    void serveHttp(int listenFd);
    /// One event loop for all of `listeners`, so thousands of short connections cost no thread each.
    void serveShort(const std::vector<int>& listeners);
    /// Answers each datagram on `fd` with `reply` of it (nothing for an empty reply) until the end.
    void serveDatagrams(int fd, const std::function<std::string(const std::string&)>& reply);
    static std::string dnsAnswer(const std::string& query);
    static std::string echoed(const std::string& datagram) { return datagram; }

    bool m_ready = false;
    std::atomic<bool> m_stopping{false};
    std::vector<int> m_fds;
    std::vector<std::thread> m_threads;
};

/// ferrow-core run with `ip netns exec` in a namespace, in TUN mode.
class NamespacedCore {
public:
    /// `descriptors`: this process's descriptors handed to the core, {ours, its number}.
    NamespacedCore(const NetworkNamespace& ns, const std::string& profile,
                   const std::vector<std::string>& extraArguments = {},
                   const std::vector<std::pair<int, int>>& descriptors = {});
    ~NamespacedCore();

    bool started() const { return m_apiPort != 0; }
    /// -1 once stopped.
    int pid() const;
    /// The controller API's port on the namespace's loopback.
    std::uint16_t apiPort() const { return m_apiPort; }
    /// Sends `signal` and waits (bounded) for the exit; the raw wait status or -1.
    int stop(int signal);
    std::string log() const;
    /// A controller GET from inside the namespace; the body.
    std::string get(const std::string& target) const;

private:
    const NetworkNamespace& m_ns;
    std::filesystem::path m_folder;
    std::unique_ptr<ChildProcess> m_process;
    std::uint16_t m_apiPort = 0;
};

/// A TCP client made inside `ns`: connects (bounded wait), sends `request`, reads until close.
/// nullopt when the connection failed or was reset.
std::optional<std::string> tcpExchange(const NetworkNamespace& ns, const std::string& address,
                                       std::uint16_t port, const std::string& request,
                                       std::string* sha256 = nullptr);
/// A connected client socket made inside `ns` (20 s send and receive time-outs), or -1.
int connectIn(const NetworkNamespace& ns, const std::string& address, std::uint16_t port);
/// Like tcpExchange, but counts what arrives instead of keeping it; -1 when it failed.
long long tcpDrain(const NetworkNamespace& ns, const std::string& address, std::uint16_t port,
                   const std::string& request);
/// One UDP exchange from inside `ns`; empty when no answer came in time.
std::string udpExchange(const NetworkNamespace& ns, const std::string& address, std::uint16_t port,
                        const std::string& payload, int attempts = 3);
/// Sends one ICMP echo request from inside `ns`; whether the matching reply came.
bool pingIn(const NetworkNamespace& ns, const std::string& address);
/// The first A record for `name` asked of `resolver` from inside `ns` over UDP (or TCP).
std::optional<std::string> resolveIn(const NetworkNamespace& ns, const std::string& resolver,
                                     const std::string& name, bool overTcp = false, std::uint16_t type = 1,
                                     int* answerCount = nullptr, std::uint16_t port = 53);

} // namespace ferrow::test
