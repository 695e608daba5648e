#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace ferrow::test {

/// Where one standard stream of a child goes.
struct ChildStream {
    enum class Kind { Inherit, Pipe, Null, File, Append };
    Kind kind = Kind::Inherit;
    std::filesystem::path path;
    mode_t mode = 0600;

    static ChildStream inherit() { return {}; }
    static ChildStream pipe() { return {Kind::Pipe, {}, 0}; }
    static ChildStream null() { return {Kind::Null, {}, 0}; }
    /// A file made empty first.
    static ChildStream file(std::filesystem::path path, mode_t mode = 0600)
    {
        return {Kind::File, std::move(path), mode};
    }
    static ChildStream append(std::filesystem::path path, mode_t mode = 0600)
    {
        return {Kind::Append, std::move(path), mode};
    }
};

/// A program run by a test or a benchmark. Killed and reaped at the end of its scope if still
/// running. The program is searched on PATH when its name holds no slash.
class ChildProcess {
public:
    struct Options {
        ChildStream input;
        ChildStream output;
        ChildStream error;
        /// Standard error goes wherever standard output goes.
        bool errorToOutput = false;
        /// "NAME=value" entries that replace or join the environment the child inherits.
        std::vector<std::string> environment;
        /// Descriptors of this process handed to the child under a number of its own: {ours, its}.
        std::vector<std::pair<int, int>> descriptors;
        /// The user (and group of the same number) the child switches to first; needs root.
        std::optional<uid_t> asUser;
    };

    /// Standard input and output on pipes, for `readLine` and `closeInput`.
    explicit ChildProcess(const std::vector<std::string>& argv, std::optional<uid_t> asUser = std::nullopt);
    ChildProcess(const std::vector<std::string>& argv, Options options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /// False when the program could not be run (not found, not executable, no such user); the
    /// process then has exited already, with status 127 (126 when the user switch failed).
    bool started() const { return m_started; }
    pid_t pid() const { return m_pid; }
    /// Reads standard output until a line arrives or `timeout` passes; the line without newline.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    void closeInput();
    /// Waits for the exit; the exit status, or nothing on timeout or death by signal.
    std::optional<int> wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    /// Waits for the exit; the raw wait status, or nothing on timeout.
    std::optional<int> waitStatus(std::chrono::milliseconds timeout);
    /// Waits for the exit: the exit status, 128 plus the signal's number when a signal ended it, or
    /// -1 on timeout.
    int waitExit(std::chrono::milliseconds timeout);
    /// Sends `signal` and waits for the exit as `waitExit` does. Without an exit in time, SIGKILL
    /// follows and -1 is the answer.
    int stop(int signal, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    /// True while the process has not exited (a zombie counts as exited).
    bool running() const;

private:
    pid_t m_pid = -1;
    bool m_started = false;
    int m_input = -1;
    int m_output = -1;
    std::string m_buffer;
    bool m_reaped = false;
    int m_status = 0;
};

} // namespace ferrow::test
