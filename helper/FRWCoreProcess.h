#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

/// A core the helper launched. A waiter thread reaps it and reports its exit status; signals go
/// through its pidfd, so they can never reach a later process that reuses the id.
class FRWCoreProcess : public std::enable_shared_from_this<FRWCoreProcess> {
public:
    using ExitHandler = std::function<void(FRWCoreProcess&, int status)>;

    /// Who the core runs as: the calling user, with no supplementary groups and, when the helper
    /// has them to give, only the capabilities a tunnel needs (ambient, so they survive exec).
    struct Identity {
        uid_t uid = 0;
        gid_t gid = 0;
    };

    /// Launches the file open at `executable` (read-only; `path` is its name and the core's first
    /// argument) as `identity` with exactly the given arguments and environment; nothing on
    /// failure, with the system's reason in `error`. `inherited` descriptors stay open in the core
    /// under their own numbers; every other one of the helper's is closed at exec. `onExit` runs
    /// on the waiter thread.
    static std::shared_ptr<FRWCoreProcess> launch(int executable, const std::string& path,
                                                  const std::vector<std::string>& arguments,
                                                  const std::vector<std::string>& environment,
                                                  const Identity& identity, const std::vector<int>& inherited,
                                                  ExitHandler onExit, std::string& error);
    ~FRWCoreProcess();
    FRWCoreProcess(const FRWCoreProcess&) = delete;
    FRWCoreProcess& operator=(const FRWCoreProcess&) = delete;

    pid_t pid() const { return m_pid; }
    int pidfd() const { return m_pidfd; }
    bool isRunning() const { return !m_exited.load(); }
    void signal(int signal) const;

private:
    FRWCoreProcess(pid_t pid, int pidfd) : m_pid(pid), m_pidfd(pidfd) {}

    pid_t m_pid;
    int m_pidfd;
    std::atomic<bool> m_exited{false};
};
