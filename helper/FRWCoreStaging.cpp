#include "FRWCoreStaging.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kCopyBlock = 65536;

/// Copies to the end of `from`, at most `limit` bytes (a file that grows while it is copied is
/// refused); completes short writes. False on any error (errno says which).
bool copyAll(int from, int to, std::uint64_t limit)
{
    char block[kCopyBlock];
    std::uint64_t copied = 0;
    for (;;) {
        const ssize_t got = ::read(from, block, sizeof block);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        copied += static_cast<std::uint64_t>(got);
        if (copied > limit) {
            errno = EFBIG;
            return false;
        }
        ssize_t done = 0;
        while (done < got) {
            const ssize_t put = ::write(to, block + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put < 1) {
                if (put == 0) {
                    errno = EIO;
                }
                return false;
            }
            done += put;
        }
    }
}

} // namespace

FRWStagedCore::~FRWStagedCore()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

FRWStagedCore::FRWStagedCore(FRWStagedCore&& other) noexcept
    : m_path(std::move(other.m_path)), m_fd(std::exchange(other.m_fd, -1))
{
}

std::optional<FRWStagedCore> FRWCoreStaging::stageCore(int source, const std::string& path) const
{
    const std::string staged = m_config.stagedCorePath;
    const std::string fresh = staged + ".new";
    ::unlink(fresh.c_str());

    // Type and size come from the descriptor that is copied, never from the path again.
    struct stat status {};
    if (::fstat(source, &status) != 0 || !S_ISREG(status.st_mode)) {
        m_config.log("ferrow-helper: core at " + path + " is not a regular file");
        return std::nullopt;
    }
    if (status.st_size < 0 || static_cast<std::uint64_t>(status.st_size) > m_config.maxCoreSize) {
        m_config.log("ferrow-helper: core at " + path + " is larger than any core");
        return std::nullopt;
    }
    // Owner-only until the copy has proved to be our core: the helper reads as root, and nothing
    // else it was pointed at may become readable to others, even for a moment.
    const int target = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0700);
    if (target < 0) {
        m_config.log(std::string("ferrow-helper: cannot create staged core (") + std::strerror(errno) + ")");
        return std::nullopt;
    }
    int failure = 0;
    if (!copyAll(source, target, m_config.maxCoreSize) ||
        ::fchown(target, m_config.coreOwner, m_config.coreGroup) != 0 || ::fchmod(target, 0700) != 0) {
        failure = errno;
    }
    if (::close(target) != 0 && failure == 0) {
        failure = errno;
    }
    if (failure != 0) {
        m_config.log(std::string("ferrow-helper: failed to stage core (") + std::strerror(failure) + ")");
        ::unlink(fresh.c_str());
        return std::nullopt;
    }
    // Read-only, so nothing holds the file open for writing when it is executed; the bytes
    // verified are those of the file this descriptor keeps, whatever happens to the path.
    FRWStagedCore core(staged, ::open(fresh.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!m_codeCheck.isSignedByUs(core.fd())) {
        m_config.log("ferrow-helper: staged core at " + path + " is not signed by Ferrow");
        ::unlink(fresh.c_str());
        return std::nullopt;
    }
    if (::chmod(fresh.c_str(), 0755) != 0) {
        m_config.log(std::string("ferrow-helper: failed to stage core (") + std::strerror(errno) + ")");
        ::unlink(fresh.c_str());
        return std::nullopt;
    }
    ::unlink(staged.c_str());
    if (::rename(fresh.c_str(), staged.c_str()) != 0) {
        m_config.log(std::string("ferrow-helper: could not install staged core: ") + std::strerror(errno));
        ::unlink(fresh.c_str());
        return std::nullopt;
    }
    return core;
}
