#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
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
    /// That process's start time, read while the pidfd showed it alive: with `pid` it names the
    /// peer to polkit, and no later process with the same id can answer to it.
    std::uint64_t startTime = 0;
};

/// Signature checks against the maker's key: of callers, of core files and of running cores.
class FRWCodeCheck {
public:
    explicit FRWCodeCheck(const FRWHelperConfig& config) : m_config(config) {}

    /// The process on the other end of a connected Unix socket, held by a pidfd; nothing when it
    /// is already gone (with the reason in `why`).
    static std::optional<FRWPeer> identifyPeer(int socket, std::string& why);
    /// Whether the peer runs a copy of the application signed by the maker (the reason in `why`
    /// when not). A user's callers are checked one at a time, and a file without the
    /// application's trailer is refused before its body is read.
    bool isTrustedPeer(const FRWPeer& peer, std::string& why) const;
    /// A core file signed by the maker, read through `fd` from its current offset.
    bool isSignedByUs(int fd) const;
    /// The process behind `pidfd` (process id `pid`) runs a core signed by the maker.
    bool isRunningProcessSignedByUs(pid_t pid, int pidfd) const;

private:
    bool fileIsSigned(int fd, const std::string& identifier, std::size_t maxSize) const;

    const FRWHelperConfig& m_config;
    mutable std::mutex m_vetLock;
    mutable std::condition_variable m_vetDone;
    /// Users with a caller check under way.
    mutable std::set<uid_t> m_vetting;
};
