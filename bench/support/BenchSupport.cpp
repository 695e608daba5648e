#include "BenchSupport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sstream>
#include <string_view>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "Socks5Client.h"

namespace ferrow::bench {

int connectTo(std::uint16_t port)
{
    const int fd = test::connectTcp(port);
    if (fd < 0) {
        return -1;
    }
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    timeval timeout{10, 0}; // a stuck peer fails its measurement instead of hanging the run
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return fd;
}

int socks5Connect(std::uint16_t proxyPort, std::uint16_t originPort)
{
    const int fd = connectTo(proxyPort);
    if (fd >= 0 && test::socks5Connect(fd, "127.0.0.1", originPort) != 0) {
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
                if (sendAll(fd, std::string_view(request, sizeof request - 1)) &&
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
    const std::string chunk(std::size_t{1} << 20, 'x');
    for (std::size_t sent = 0; sent < bytes; sent += chunk.size()) {
        if (!sendAll(fd, chunk)) {
            break;
        }
    }
}

void answerOneKiB(int fd)
{
    char buffer[512];
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos) {
        const auto received = ::recv(fd, buffer, sizeof buffer, 0);
        if (received <= 0) {
            return;
        }
        head.append(buffer, static_cast<std::size_t>(received));
    }
    static const std::string response = [] {
        std::string body(1024 - 38, 'r');
        return "HTTP/1.0 200 OK\r\nContent-Length: 986\r\n\r\n" + body;
    }();
    sendAll(fd, response);
    ::shutdown(fd, SHUT_WR);
    while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
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

double cpuMs(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) { // utime, stime
            ticks += std::stod(field);
        }
    }
    return ticks * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

CpuPerThousand rateWithCpu(const std::string& name, const std::function<int()>& open, int concurrency,
                           std::chrono::seconds window, pid_t pid, pid_t otherPid)
{
    const double before = pid ? cpuMs(pid) : 0;
    const double otherBefore = otherPid ? cpuMs(otherPid) : 0;
    const auto rate = connectionRate(name, open, concurrency, window);
    CpuPerThousand result;
    result.rate = rate.perSecond;
    result.p99Ms = rate.p99Ms;
    const double connections = rate.perSecond * std::chrono::duration<double>(window).count();
    if (connections > 0) {
        result.cpuMs = pid ? (cpuMs(pid) - before) * 1000.0 / connections : 0;
        result.otherCpuMs = otherPid ? (cpuMs(otherPid) - otherBefore) * 1000.0 / connections : 0;
    }
    return result;
}

double ratioOf(double value, double peer)
{
    return peer > 0 ? value / peer : 0.0;
}

std::shared_ptr<ChildProcess> spawn(const std::vector<std::string>& arguments)
{
    ChildProcess::Options options;
    options.output = test::ChildStream::null();
    options.error = test::ChildStream::null();
    auto process = std::make_shared<ChildProcess>(arguments, std::move(options));
    return process->started() ? process : nullptr;
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
