#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

/// What the helper learns about other processes through /proc and pidfds. A pidfd names one
/// process for good, so checks made through it cannot be fooled by a recycled process id.
namespace FRWProcessInspector {

/// A pidfd for the process, or -1.
int openPidfd(pid_t pid);
/// True while the process named by the pidfd has not exited.
bool isAlive(int pidfd);
/// Waits up to `timeout` for the process to exit; true when it has.
bool waitForExit(int pidfd, std::chrono::milliseconds timeout);
bool sendSignal(int pidfd, int signal);

/// The target of /proc/<pid>/exe, without the " (deleted)" mark of a replaced file.
std::optional<std::string> executablePath(pid_t pid);
/// Opens the very file the process runs (even when it was replaced or deleted), or -1.
int openExecutable(pid_t pid);
/// The effective user id from /proc/<pid>/status.
std::optional<uid_t> effectiveUid(pid_t pid);
/// The start time in clock ticks since boot (field 22 of /proc/<pid>/stat): with the process id
/// it names one process, which is how polkit tells it from a later one with the same id.
std::optional<std::uint64_t> startTime(pid_t pid);
/// Every process id in /proc; nothing when /proc cannot be listed.
std::optional<std::vector<pid_t>> allProcesses();

} // namespace FRWProcessInspector
