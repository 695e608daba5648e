#pragma once

#include <atomic>
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

    /// Launches `path` with the arguments and the full environment; nothing on failure, with the
    /// system's reason in `error`. `onExit` runs on the waiter thread.
    static std::shared_ptr<FRWCoreProcess> launch(const std::string& path,
                                                  const std::vector<std::string>& arguments,
                                                  const std::vector<std::string>& environment,
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
