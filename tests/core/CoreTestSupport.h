#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ferrow::test {

/// A blocking loopback client socket with a receive time-out; closed on destruction.
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

/// Threaded loopback TCP server; `serve` runs once per accepted connection on its own thread.
class TcpServer {
public:
    using Handler = std::function<void(int fd)>;
    explicit TcpServer(Handler serve);
    ~TcpServer();
    std::uint16_t port() const { return m_port; }
    std::size_t accepted() const { return m_accepted.load(); }

private:
    void run();
    int m_listener = -1;
    std::uint16_t m_port = 0;
    Handler m_serve;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::size_t> m_accepted{0};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::thread> m_workers;
    std::vector<int> m_clients;
};

/// Echoes every byte; after the client's end of stream it ends its own side.
std::unique_ptr<TcpServer> makeEchoServer();
/// Sends `size` deterministic bytes (see `patternBytes`) and closes.
std::unique_ptr<TcpServer> makeSourceServer(std::size_t size);
/// HTTP/1.1 with keep-alive: GET /bytes/N (Content-Length), /chunked/N, /close/N (until close),
/// POST /echo (answers the request body), anything else 204.
std::unique_ptr<TcpServer> makeOriginServer();

std::string patternBytes(std::size_t size, std::size_t offset = 0);
std::string sha256Hex(std::string_view bytes);

/// A UDP DNS server on 127.0.0.1 answering for the names it knows: A queries for IPv4 addresses,
/// AAAA queries for IPv6 ones (taken as written, mapped forms included).
class FakeDnsServer {
public:
    explicit FakeDnsServer(std::map<std::string, std::string> names);
    ~FakeDnsServer();
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

/// A running ferrow-core with its own temporary folder, configuration and secret.
class CoreProcess {
public:
    struct Options {
        std::string profile;
        bool socks = true;
        std::string secret = "0123456789abcdef0123456789abcdef0123456789abcdef";
        std::vector<std::string> extraArguments;
        std::filesystem::path folder; // empty: a fresh temporary folder
        /// Runs the moment the api-info file is first seen complete, before anything else.
        std::function<void()> whenApiInfoAppears;
    };

    explicit CoreProcess(Options options);
    ~CoreProcess();

    bool started() const { return m_started; }
    int pid() const { return m_pid; }
    std::uint16_t socksPort() const { return m_socksPort; }
    std::string apiAddress() const { return m_apiAddress; }
    std::uint16_t apiPort() const;
    const std::filesystem::path& folder() const { return m_folder; }
    std::filesystem::path configPath() const { return m_folder / "profile.conf"; }
    std::filesystem::path apiInfoPath() const { return m_folder / "api.json"; }
    std::filesystem::path statsPath() const { return m_folder / "stats.json"; }
    std::string secret() const { return m_secret; }

    /// One controller request. `headers` are added verbatim ("Name: value" lines).
    HttpReply request(const std::string& method, const std::string& target, const std::string& body = {},
                      std::vector<std::string> headers = {}, bool authorise = true, std::string host = {});
    nlohmann::json get(const std::string& target);
    nlohmann::json post(const std::string& target, const std::string& body = {});

    void writeProfile(const std::string& profile);
    /// Sends a signal and waits for the exit; the exit status, or -1 when it did not exit in time.
    int terminate(int signal, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    /// Waits for an exit started by other means.
    int waitForExit(std::chrono::milliseconds timeout);
    std::string stderrText() const;
    bool logContains(const std::string& text);

private:
    std::filesystem::path m_folder;
    bool m_ownFolder = false;
    std::string m_secret;
    int m_pid = -1;
    bool m_started = false;
    std::uint16_t m_socksPort = 0;
    std::string m_apiAddress;
};

/// Asks `condition` every 20 ms until it holds or `timeout` passes; whether it held.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

/// Runs ferrow-core with these arguments to its end; exit status and standard error.
std::pair<int, std::string> runCore(const std::vector<std::string>& arguments,
                                    std::chrono::milliseconds timeout = std::chrono::seconds(10));

/// A port that was free a moment ago.
std::uint16_t freePort();

/// SOCKS5 handshake and CONNECT to an IPv4 address, a domain or IPv6. The reply code, or -1.
int socks5Connect(Socket& socket, const std::string& host, std::uint16_t port);

} // namespace ferrow::test
