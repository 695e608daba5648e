#include "FRWCodeCheck.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FRWProcessInspector.h"
#include "FRWScopedFd.h"
#include "FRWSignature.h"

#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77
#endif

namespace sig = ferrow::signature;

namespace {

} // namespace

FRWPidfd::~FRWPidfd()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool FRWCodeCheck::fileIsSigned(int fd, const std::string& identifier, std::size_t maxSize) const
{
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<std::uint64_t>(status.st_size) > maxSize) {
        return false;
    }
    // The trailer first: a file that does not even claim the identifier costs one small read,
    // however large it is.
    std::vector<std::uint8_t> tail(std::min<std::size_t>(static_cast<std::size_t>(status.st_size),
                                                         sig::kFixedTrailerSize + sig::kMaxIdentifierLength));
    const off_t tailAt = status.st_size - static_cast<off_t>(tail.size());
    if (::pread(fd, tail.data(), tail.size(), tailAt) != static_cast<ssize_t>(tail.size())) {
        return false;
    }
    const auto claimed = sig::parseTrailer(tail);
    if (claimed.status != sig::TrailerStatus::Good || claimed.trailer.identifier != identifier) {
        return false;
    }
    const auto bytes = sig::readAll(fd, maxSize);
    return bytes && sig::verify(*bytes, identifier, m_config.publicKeyPem) == sig::VerifyStatus::Valid;
}

std::optional<FRWPeer> FRWCodeCheck::identifyPeer(int socket, std::string& why)
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
    const auto process = std::make_shared<FRWPidfd>(pidfd);
    // Read first, confirmed after: while the pidfd's process lives its id is not reused, so the
    // start time read in between is its own.
    const auto started = FRWProcessInspector::startTime(credentials.pid);
    if (process->get() < 0 || !started || !FRWProcessInspector::isAlive(process->get())) {
        why = "peer process is gone";
        return std::nullopt;
    }
    return FRWPeer{credentials.pid, credentials.uid, credentials.gid, process, *started};
}

bool FRWCodeCheck::isTrustedPeer(const FRWPeer& peer, std::string& why) const
{
    {
        std::unique_lock lock(m_vetLock);
        if (!m_vetDone.wait_for(lock, m_config.callerCheckWait,
                                [&] { return !m_vetting.contains(peer.uid); })) {
            why = "another caller of this user is still being checked";
            return false;
        }
        m_vetting.insert(peer.uid);
    }
    const FRWScopedFd executable(FRWProcessInspector::openExecutable(peer.pid));
    const bool isSigned =
        fileIsSigned(executable.get(), m_config.callerIdentifier, m_config.maxCallerExecutableSize);
    {
        const std::lock_guard guard(m_vetLock);
        m_vetting.erase(peer.uid);
    }
    m_vetDone.notify_all();
    if (!isSigned) {
        why = "executable is not signed as " + m_config.callerIdentifier;
        return false;
    }
    // Still the same process: the executable just checked was the peer's.
    if (!peer.process || !FRWProcessInspector::isAlive(peer.process->get())) {
        why = "peer exited during the check";
        return false;
    }
    return true;
}

bool FRWCodeCheck::isSignedByUs(int fd) const
{
    return fileIsSigned(fd, m_config.coreIdentifier, sig::kMaxSignedFileSize);
}

bool FRWCodeCheck::isRunningProcessSignedByUs(pid_t pid, int pidfd) const
{
    const FRWScopedFd executable(FRWProcessInspector::openExecutable(pid));
    return fileIsSigned(executable.get(), m_config.coreIdentifier, sig::kMaxSignedFileSize) &&
           FRWProcessInspector::isAlive(pidfd);
}
