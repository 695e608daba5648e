#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>

#include "FRWHelperConfig.h"

/// A pidfd that closes with its last holder.
class FRWPidfd {
public:
    explicit FRWPidfd(int fd) : m_fd(fd) {}
    ~FRWPidfd();
    FRWPidfd(const FRWPidfd&) = delete;
    FRWPidfd& operator=(const FRWPidfd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

/// Who is on the other end of an accepted connection.
struct FRWPeer {
    pid_t pid = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    /// The peer process itself, for as long as anyone asks; never a later process with its id.
    std::shared_ptr<FRWPidfd> process;
};

/// Signature checks against the maker's key: of callers, of core files and of running cores.
class FRWCodeCheck {
public:
    explicit FRWCodeCheck(const FRWHelperConfig& config) : m_config(config) {}

    /// The peer of a connected Unix socket when it runs a copy of the application signed by the
    /// maker; nothing otherwise (with the reason in `why`).
    std::optional<FRWPeer> isTrustedPeer(int socket, std::string& why) const;
    /// A core file signed by the maker.
    bool isSignedByUs(const std::string& path) const;
    /// The process behind `pidfd` (process id `pid`) runs a core signed by the maker.
    bool isRunningProcessSignedByUs(pid_t pid, int pidfd) const;

private:
    bool fileIsSigned(int fd, const std::string& identifier, std::size_t maxSize) const;

    const FRWHelperConfig& m_config;
    mutable std::mutex m_callerCheck;
};
