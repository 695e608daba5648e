// The traffic history's costs, each printed beside a baseline from the same run:
// - the core's CPU (user + system) over a fixed count of short connections with the history on
//   and off, alternated, median of five (target: on costs at most 2 % more);
// - 90 days of 500 programs, 200 devices, 20 policies and 2,000 domains a day: the folder's size
//   (target under 8 MB), loading it, and answering a 90-day period (target 20 ms) beside a
//   one-day one.
// Prints figures; asserts nothing.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <nlohmann/json.hpp>

#include "BenchSupport.h"
#include "TrafficHistory.h"

namespace {

using namespace ferrow::bench;
using ferrow::core::HistoryDimension;
using ferrow::core::HistoryKeys;
using ferrow::core::TrafficHistory;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kConnections = 6000;
constexpr int kConcurrency = 8;
constexpr int kRounds = 5;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

/// User plus system CPU of a process and all its threads, in seconds.
double cpuSeconds(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // Fields after the command name, which may hold spaces, start past its closing parenthesis.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long user = 0;
    unsigned long long system = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) {
            user = std::stoull(field);
        } else if (i == 15) {
            system = std::stoull(field);
            break;
        }
    }
    return double(user + system) / double(::sysconf(_SC_CLK_TCK));
}

/// `kConnections` short requests through the core's SOCKS5 port; how many failed.
int drive(std::uint16_t proxyPort, std::uint16_t httpPort)
{
    std::atomic<int> next{0};
    std::atomic<int> failed{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kConcurrency; ++c) {
        clients.emplace_back([&] {
            while (next.fetch_add(1) < kConnections) {
                const int fd = socks5Connect(proxyPort, httpPort);
                char answer[2048];
                std::size_t got = 0;
                if (fd >= 0 && sendAll(fd, "GET / HTTP/1.0\r\n\r\n")) {
                    for (ssize_t n = 1; n > 0;) {
                        n = ::recv(fd, answer, sizeof answer, 0);
                        got += n > 0 ? std::size_t(n) : 0;
                    }
                }
                if (fd >= 0) {
                    ::close(fd);
                }
                failed += got < 1024 ? 1 : 0;
            }
        });
    }
    for (auto& client : clients) {
        client.join();
    }
    return failed.load();
}

struct Core {
    std::shared_ptr<ChildProcess> process;
    std::uint16_t port = 0;
};

Core startCore(const fs::path& folder, int historyDays)
{
    fs::create_directories(folder);
    std::ofstream(folder / "profile.conf") << "[General]\nlog-history = 100\nconnection-history = 100\n"
                                              "[Rule]\nFINAL,DIRECT\n";
    Core core{nullptr, freePort()};
    core.process = spawn({FERROW_CORE_PATH, "-config", (folder / "profile.conf").string(), "-no-tun",
                          "-socks", "127.0.0.1:" + std::to_string(core.port), "-api", "127.0.0.1:0", "-stats",
                          (folder / "stats.json").string(), "-history-days", std::to_string(historyDays)});
    if (!core.process || !waitForPort(core.port)) {
        core.process.reset();
    }
    return core;
}

void recordingCost(const fs::path& base, std::uint16_t httpPort)
{
    Core on = startCore(base / "on", 90);
    Core off = startCore(base / "off", 0);
    if (!on.process || !off.process) {
        std::printf("recording cost: SKIPPED (ferrow-core did not start)\n");
        return;
    }
    std::vector<double> ratios;
    std::vector<double> onMs;
    std::vector<double> offMs;
    drive(on.port, httpPort); // warm both up
    drive(off.port, httpPort);
    for (int round = 0; round < kRounds; ++round) {
        double cost[2] = {0, 0};
        // The order alternates, so a drift in the machine's load falls on both sides.
        for (int i = 0; i < 2; ++i) {
            Core& core = (round + i) % 2 == 0 ? on : off;
            const double before = cpuSeconds(core.process->pid());
            const int failed = drive(core.port, httpPort);
            // The history folds once a second; its work for this batch is in the next fold.
            std::this_thread::sleep_for(std::chrono::milliseconds(1100));
            const double spent = cpuSeconds(core.process->pid()) - before;
            cost[&core == &on ? 0 : 1] = spent;
            if (failed > 0) {
                std::printf("    (%d of %d connections failed)\n", failed, kConnections);
            }
        }
        onMs.push_back(cost[0] * 1000.0 / kConnections * 1000.0);
        offMs.push_back(cost[1] * 1000.0 / kConnections * 1000.0);
        ratios.push_back(cost[1] > 0 ? cost[0] / cost[1] : 0);
    }
    std::printf("core CPU per 1,000 connections: history on %.0f ms, off %.0f ms (medians of %d)\n",
                median(onMs), median(offMs), kRounds);
    std::printf("recording costs %.2fx (target <= 1.02), median of %d alternated rounds\n", median(ratios),
                kRounds);
    on.process->stop(SIGTERM);
    off.process->stop(SIGTERM);
}

std::string programPath(int i)
{
    static const char* const kFolders[] = {"/usr/bin/", "/usr/lib/firefox-esr/", "/opt/vendor-app/bin/",
                                           "/home/someone/.local/share/apps/"};
    return kFolders[i % 4] + std::string("program-number-") + std::to_string(i);
}

void busyNinetyDays(const fs::path& folder)
{
    const std::time_t now = std::time(nullptr);
    std::mt19937_64 random(7);
    std::uniform_int_distribution<std::uint64_t> bytes(1000, 4'000'000'000ULL);
    {
        TrafficHistory history(folder.string());
        for (int day = 89; day >= 0; --day) {
            const std::time_t when = now - std::time_t(day) * 86400;
            for (int i = 0; i < 2000; ++i) {
                const HistoryKeys keys{i < 500 ? programPath(i) : std::string(),
                                       i < 200 ? "192.168." + std::to_string(i / 100) + "." +
                                                     std::to_string(i % 250)
                                               : std::string(),
                                       "site-" + std::to_string((i * 7919 + day * 31) % 20000) + ".example-" +
                                           std::to_string(i % 40) + ".co.uk",
                                       i < 20 ? "Node " + std::to_string(i) : std::string()};
                history.add(keys, bytes(random), bytes(random), when);
            }
            if (day % 10 == 0 || day == 0) {
                history.save();
            }
        }
        history.save();
    }
    std::uintmax_t size = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        size += entry.file_size();
    }
    std::printf("90 busy days on disk: %.2f MB (target < 8 MB)\n", double(size) / 1e6);

    const auto loadStart = Clock::now();
    TrafficHistory history(folder.string());
    history.load(now);
    const double loadMs = std::chrono::duration<double, std::milli>(Clock::now() - loadStart).count();
    std::printf("reading them (off the core's I/O thread at its start): %.0f ms\n", loadMs);

    for (const auto dimension : {HistoryDimension::Domain, HistoryDimension::Process}) {
        std::vector<double> longMs;
        std::vector<double> shortMs;
        for (int i = 0; i < 9; ++i) {
            auto start = Clock::now();
            const std::string answer = history.query(dimension, 90, now).dump();
            longMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            start = Clock::now();
            const std::string today = history.query(dimension, 1, now).dump();
            shortMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        std::printf("/history %s over 90 days: %.1f ms (target <= 20), one day %.1f ms, ratio %.1fx\n",
                    dimension == HistoryDimension::Domain ? "domain" : "process", median(longMs),
                    median(shortMs), median(longMs) / std::max(0.001, median(shortMs)));
    }
}

} // namespace

int main()
{
    prepareBenchProcess();
    const fs::path base = fs::temp_directory_path() / ("ferrow-bench-history-" + std::to_string(::getpid()));
    fs::create_directories(base);
    busyNinetyDays(base / "busy");
    TcpServer http(answerOneKiB, 8);
    recordingCost(base, http.port());
    std::error_code ignored;
    fs::remove_all(base, ignored);
    return 0;
}
