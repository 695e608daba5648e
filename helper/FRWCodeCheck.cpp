#include "FRWCodeCheck.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "FRWProcessInspector.h"
#include "FRWSignature.h"

#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77
#endif

namespace sig = ferrow::signature;

namespace {

/// Closes a descriptor at the end of a scope.
class ScopedFd {
public:
    explicit ScopedFd(int fd) : m_fd(fd) {}
    ~ScopedFd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    ScopedFd(const ScopedFd&) = delete;
    ScopedFd& operator=(const ScopedFd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

FRWPidfd::~FRWPidfd()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool FRWCodeCheck::fileIsSigned(int fd, const std::string& identifier, std::size_t maxSize) const
{
    if (fd < 0) {
        return false;
    }
    const auto bytes = sig::readAll(fd, maxSize);
    return bytes && sig::verify(*bytes, identifier, m_config.publicKeyPem) == sig::VerifyStatus::Valid;
}

std::optional<FRWPeer> FRWCodeCheck::isTrustedPeer(int socket, std::string& why) const
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || credentials.pid <= 0) {
        why = "no peer credentials";
        return std::nullopt;
    }
    // The kernel's own pidfd of the peer when it has one; otherwise open one now and rely on the
    // liveness check below.
    int pidfd = -1;
    socklen_t pidfdSize = sizeof pidfd;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERPIDFD, &pidfd, &pidfdSize) != 0) {
        pidfd = FRWProcessInspector::openPidfd(credentials.pid);
    }
    const auto peer = std::make_shared<FRWPidfd>(pidfd);
    if (peer->get() < 0) {
        why = "peer process is gone";
        return std::nullopt;
    }
    const ScopedFd executable(FRWProcessInspector::openExecutable(credentials.pid));
    const std::lock_guard oneAtATime(m_callerCheck);
    if (!fileIsSigned(executable.get(), m_config.callerIdentifier, m_config.maxCallerExecutableSize)) {
        why = "executable is not signed as " + m_config.callerIdentifier;
        return std::nullopt;
    }
    // While the pidfd's process lives, its pid cannot have been given to another process, so the
    // executable just checked was the peer's.
    if (!FRWProcessInspector::isAlive(peer->get())) {
        why = "peer exited during the check";
        return std::nullopt;
    }
    return FRWPeer{credentials.pid, credentials.uid, credentials.gid, peer};
}

bool FRWCodeCheck::isSignedByUs(const std::string& path) const
{
    const ScopedFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    return fileIsSigned(fd.get(), m_config.coreIdentifier, sig::kMaxSignedFileSize);
}

bool FRWCodeCheck::isRunningProcessSignedByUs(pid_t pid, int pidfd) const
{
    const ScopedFd executable(FRWProcessInspector::openExecutable(pid));
    return fileIsSigned(executable.get(), m_config.coreIdentifier, sig::kMaxSignedFileSize) &&
           FRWProcessInspector::isAlive(pidfd);
}
