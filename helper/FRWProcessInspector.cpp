#include "FRWProcessInspector.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <sys/syscall.h>
#include <unistd.h>

namespace FRWProcessInspector {

namespace {

std::string procPath(pid_t pid, const char* leaf)
{
    return "/proc/" + std::to_string(pid) + "/" + leaf;
}

/// Up to `capacity` bytes of a /proc file. Plain descriptors with close-on-exec: a core launched
/// meanwhile on another thread must not inherit anything of ours.
std::string_view readProcFile(pid_t pid, const char* leaf, char* buffer, std::size_t capacity)
{
    const int fd = ::open(procPath(pid, leaf).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::size_t size = 0;
    for (ssize_t got = 0; size < capacity; size += static_cast<std::size_t>(got)) {
        got = ::read(fd, buffer + size, capacity - size);
        if (got <= 0) {
            break;
        }
    }
    ::close(fd);
    return {buffer, size};
}

} // namespace

int openPidfd(pid_t pid)
{
    if (pid <= 0) {
        return -1;
    }
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

bool isAlive(int pidfd)
{
    return pidfd >= 0 && !waitForExit(pidfd, std::chrono::milliseconds(0));
}

bool waitForExit(int pidfd, std::chrono::milliseconds timeout)
{
    if (pidfd < 0) {
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{pidfd, POLLIN, 0};
        const int ready = ::poll(
            &entry, 1, static_cast<int>(std::max<long long>(0, std::min<long long>(left.count(), INT_MAX))));
        if (ready > 0) {
            return true;
        }
        if (ready == 0) {
            return false;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

bool sendSignal(int pidfd, int signal)
{
    return pidfd >= 0 && ::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0) == 0;
}

std::optional<std::string> executablePath(pid_t pid)
{
    char buffer[4096];
    const ssize_t size = ::readlink(procPath(pid, "exe").c_str(), buffer, sizeof buffer);
    if (size <= 0 || static_cast<std::size_t>(size) >= sizeof buffer) {
        return std::nullopt;
    }
    std::string path(buffer, static_cast<std::size_t>(size));
    constexpr std::string_view deleted = " (deleted)";
    if (path.ends_with(deleted)) {
        path.resize(path.size() - deleted.size());
    }
    return path;
}

int openExecutable(pid_t pid)
{
    return ::open(procPath(pid, "exe").c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

/// The whole decimal number in the `index`-th blank-separated field of `text` after `from`
/// (0: the first field).
template <typename Number>
std::optional<Number> numberField(std::string_view text, std::size_t from, int index)
{
    std::size_t at = from;
    for (int field = 0;; ++field) {
        at = text.find_first_not_of(" \t", at);
        if (at == std::string_view::npos) {
            return std::nullopt;
        }
        const std::size_t end = std::min(text.find_first_of(" \t\n", at), text.size());
        if (field == index) {
            Number value{};
            const auto result = std::from_chars(text.data() + at, text.data() + end, value);
            if (result.ec != std::errc() || result.ptr != text.data() + end) {
                return std::nullopt;
            }
            return value;
        }
        at = end;
    }
}

std::optional<uid_t> effectiveUid(pid_t pid)
{
    char buffer[4096];
    const std::string_view status = readProcFile(pid, "status", buffer, sizeof buffer);
    // "Uid:\treal\teffective\tsaved\tfilesystem"
    const std::size_t line = status.find("\nUid:");
    if (line == std::string_view::npos) {
        return std::nullopt;
    }
    const auto uid = numberField<unsigned long>(status, line + 5, 1);
    return uid ? std::optional<uid_t>(static_cast<uid_t>(*uid)) : std::nullopt;
}

std::optional<std::uint64_t> startTime(pid_t pid)
{
    char buffer[1024];
    const std::string_view stat = readProcFile(pid, "stat", buffer, sizeof buffer);
    // The command name may hold spaces and parentheses; the fields after it begin after the last
    // ')', with field 3 (the state) first, so the start time, field 22, is the 20th of them.
    const std::size_t close = stat.rfind(')');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    return numberField<std::uint64_t>(stat, close + 1, 19);
}

std::optional<std::vector<pid_t>> allProcesses()
{
    DIR* proc = ::opendir("/proc");
    if (!proc) {
        return std::nullopt;
    }
    std::vector<pid_t> pids;
    while (const dirent* entry = ::readdir(proc)) {
        int pid = 0;
        const std::string_view name = entry->d_name;
        const auto result = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (result.ec == std::errc() && result.ptr == name.data() + name.size() && pid > 0) {
            pids.push_back(pid);
        }
    }
    ::closedir(proc);
    return pids;
}

} // namespace FRWProcessInspector
