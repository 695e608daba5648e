#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace ferrow::test {

/// A program run by a test, with its standard input and output on pipes. Killed and reaped at
/// the end of its scope if still running.
class ChildProcess {
public:
    /// Runs `argv[0]` with the arguments; `asUser` switches to that user first (needs root).
    explicit ChildProcess(const std::vector<std::string>& argv, std::optional<uid_t> asUser = std::nullopt);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return m_pid; }
    /// Reads standard output until a line arrives or `timeout` passes; the line without newline.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    void closeInput();
    /// Waits for the exit; the exit status, or nothing on timeout or death by signal.
    std::optional<int> wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    /// True while the process has not exited (a zombie counts as exited).
    bool running() const;

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    std::string m_buffer;
    bool m_reaped = false;
};

} // namespace ferrow::test
