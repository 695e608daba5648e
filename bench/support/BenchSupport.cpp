#include "BenchSupport.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace ferrow::bench {

int listenLoopback(std::uint16_t& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw std::system_error(errno, std::generic_category(), "bind a loopback port");
    }
    ::listen(fd, 4096);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

std::uint16_t freePort()
{
    std::uint16_t port = 0;
    ::close(listenLoopback(port));
    return port;
}

int connectTo(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    timeval timeout{10, 0}; // a stuck peer fails its measurement instead of hanging the run
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return fd;
}

bool sendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const auto sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
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

/// A TCP server with a few accepting threads; `serve` handles one connection.

Origin::Origin(int threads, std::function<void(int)> serve) : m_serve(std::move(serve))
{
    m_listener = listenLoopback(m_port);
    // Every thread polls the one listener; a blocking accept would hang the threads that lose
    // the race for a connection, and then the join at the end.
    ::fcntl(m_listener, F_SETFL, ::fcntl(m_listener, F_GETFL) | O_NONBLOCK);
    for (int i = 0; i < threads; ++i) {
        m_threads.emplace_back([this] {
            while (!m_stopping) {
                pollfd item{m_listener, POLLIN, 0};
                if (::poll(&item, 1, 100) <= 0) {
                    continue;
                }
                const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (client >= 0) {
                    int flags = 0;
                    ::ioctl(client, FIONBIO, &flags);
                    m_serve(client);
                }
            }
        });
    }
}

Origin::~Origin()
{
    m_stopping = true;
    for (auto& thread : m_threads) {
        thread.join();
    }
    ::close(m_listener);
}

int socks5Connect(std::uint16_t proxyPort, std::uint16_t originPort)
{
    const int fd = connectTo(proxyPort);
    if (fd < 0) {
        return -1;
    }
    static constexpr char greeting[3] = {5, 1, 0};
    char request[10] = {5, 1, 0, 1, 127, 0, 0, 1, 0, 0};
    request[8] = static_cast<char>(originPort >> 8);
    request[9] = static_cast<char>(originPort & 0xff);
    char reply[10];
    if (!sendAll(fd, greeting, sizeof greeting) || !receiveExactly(fd, reply, 2) || reply[1] != 0 ||
        !sendAll(fd, request, sizeof request) || !receiveExactly(fd, reply, 10) || reply[1] != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

double receiveAllGbit(int fd, std::size_t expected)
{
    if (fd < 0) {
        return 0;
    }
    std::vector<char> buffer(1 << 20);
    std::size_t total = 0;
    const auto start = std::chrono::steady_clock::now();
    while (true) {
        const auto received = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (received <= 0) {
            break;
        }
        total += static_cast<std::size_t>(received);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ::close(fd);
    return total < expected ? 0 : static_cast<double>(total) * 8 / seconds / 1e9;
}

RateResult connectionRate(const std::string& name, const std::function<int()>& open, int concurrency,
                          std::chrono::seconds window)
{
    using Clock = std::chrono::steady_clock;
    std::atomic<long> completed{0};
    std::atomic<long> failed{0};
    const auto deadline = Clock::now() + window;
    std::vector<std::thread> workers;
    workers.reserve(concurrency);
    std::mutex latencyMutex;
    std::vector<double> latencies;
    for (int i = 0; i < concurrency; ++i) {
        workers.emplace_back([&] {
            char response[1024];
            std::vector<double> mine;
            while (Clock::now() < deadline) {
                const auto started = Clock::now();
                const int fd = open();
                if (fd < 0) {
                    ++failed;
                    continue;
                }
                static constexpr char request[] = "GET / HTTP/1.0\r\n\r\n";
                if (sendAll(fd, request, sizeof request - 1) &&
                    receiveExactly(fd, response, sizeof response)) {
                    ++completed;
                    mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
                } else {
                    ++failed;
                }
                ::close(fd);
            }
            const std::lock_guard lock(latencyMutex);
            latencies.insert(latencies.end(), mine.begin(), mine.end());
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    RateResult result;
    if (!latencies.empty()) {
        const auto at = latencies.begin() + static_cast<std::ptrdiff_t>(latencies.size() * 99 / 100);
        std::nth_element(latencies.begin(), at, latencies.end());
        result.p99Ms = *at;
    }
    if (failed > completed / 100) {
        std::printf("    (%s: %ld of %ld connections failed)\n", name.c_str(), failed.load(),
                    failed.load() + completed.load());
    }
    result.perSecond = static_cast<double>(completed) / std::chrono::duration<double>(window).count();
    return result;
}

void prepareBenchProcess()
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::signal(SIGPIPE, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

void sendFiller(int fd, std::size_t bytes)
{
    std::vector<char> chunk(1 << 20, 'x');
    for (std::size_t sent = 0; sent < bytes; sent += chunk.size()) {
        if (!sendAll(fd, chunk.data(), chunk.size())) {
            break;
        }
    }
    ::close(fd);
}

void answerOneKiB(int fd)
{
    char buffer[512];
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos) {
        const auto received = ::recv(fd, buffer, sizeof buffer, 0);
        if (received <= 0) {
            ::close(fd);
            return;
        }
        head.append(buffer, static_cast<std::size_t>(received));
    }
    static const std::string response = [] {
        std::string body(1024 - 38, 'r');
        return "HTTP/1.0 200 OK\r\nContent-Length: 986\r\n\r\n" + body;
    }();
    sendAll(fd, response.data(), response.size());
    ::shutdown(fd, SHUT_WR);
    while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
    ::close(fd);
}

long residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    long total = 0;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            total = std::stol(line.substr(6));
        }
    }
    return total;
}

pid_t spawn(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    std::vector<std::string> copy = arguments;
    argv.reserve(copy.size() + 1);
    for (auto& argument : copy) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int status = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return status == 0 ? pid : -1;
}

bool waitForPort(std::uint16_t port)
{
    for (int i = 0; i < 100; ++i) {
        const int fd = connectTo(port);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

} // namespace ferrow::bench
