#include "FRWCoreFolders.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMaxDepth = 16;

/// Opens the folder `name` in `parent` after making it root's and owner-only, so the user who
/// made it can no longer change what is inside while root empties it. Works through an O_PATH
/// descriptor, which needs no permission on the folder itself.
int takeOverFolder(int parent, const std::string& name, uid_t owner, gid_t group)
{
    const int path = ::openat(parent, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (path < 0) {
        return -1;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(path);
    int inner = -1;
    if (::fchownat(path, "", owner, group, AT_EMPTY_PATH) == 0 && ::chmod(self.c_str(), 0700) == 0) {
        inner = ::openat(path, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    ::close(path);
    return inner;
}

/// Removes everything inside the open folder `folder` without ever following a link: every step
/// goes through descriptors opened with O_NOFOLLOW, so a user who owned the folder cannot steer
/// root's removal elsewhere by swapping an entry for a link.
bool emptyFolder(int folder, int depth, uid_t owner, gid_t group)
{
    const int listing = ::dup(folder);
    DIR* entries = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!entries) {
        if (listing >= 0) {
            ::close(listing);
        }
        return false;
    }
    bool clean = true;
    while (const dirent* entry = ::readdir(entries)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        if (::unlinkat(folder, name.c_str(), 0) == 0) {
            continue;
        }
        if (errno != EISDIR || depth >= kMaxDepth) {
            clean = false;
            continue;
        }
        const int inner = takeOverFolder(folder, name, owner, group);
        clean = inner >= 0 && emptyFolder(inner, depth + 1, owner, group) && clean;
        if (inner >= 0) {
            ::close(inner);
        }
        clean = ::unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0 && clean;
    }
    ::closedir(entries);
    return clean;
}

/// Opens `path` as a folder (made with `mode` when missing), never through a link.
int openFolder(const std::string& path, mode_t mode)
{
    if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
        return -1;
    }
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

bool FRWCoreFolders::prepareApiInfoFolder(uid_t uid, gid_t gid) const
{
    const int folder = openFolder(m_config.apiInfoDirectory, 0755);
    if (folder < 0) {
        m_config.log("ferrow-helper: cannot make " + m_config.apiInfoDirectory + " (" + std::strerror(errno) +
                     ")");
        return false;
    }
    // Root's first, so nobody adds entries while it is emptied; then the user's.
    bool ready = ::fchown(folder, m_config.coreOwner, m_config.coreGroup) == 0 &&
                 ::fchmod(folder, 0755) == 0 &&
                 emptyFolder(folder, 0, m_config.coreOwner, m_config.coreGroup);
    ready = ready && ::fchown(folder, uid, gid) == 0;
    if (!ready) {
        m_config.log("ferrow-helper: cannot prepare " + m_config.apiInfoDirectory + " (" +
                     std::strerror(errno) + ")");
    }
    ::close(folder);
    return ready;
}

void FRWCoreFolders::releaseApiInfoFolder() const
{
    // unlink never follows a link, so whatever the user left at that name is only removed.
    ::unlink(m_config.apiInfoPath.c_str());
    const int folder =
        ::open(m_config.apiInfoDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder >= 0) {
        [[maybe_unused]] const int ignored = ::fchown(folder, m_config.coreOwner, m_config.coreGroup);
        ::close(folder);
    }
}

std::optional<std::string> FRWCoreFolders::userStateFolder(uid_t uid, gid_t gid) const
{
    // The folder may be passed through (0711) but not listed; each user's folder is theirs alone.
    const int parent = openFolder(m_config.coreStateDirectory, 0711);
    bool ready = parent >= 0 && ::fchown(parent, m_config.coreOwner, m_config.coreGroup) == 0 &&
                 ::fchmod(parent, 0711) == 0;
    const std::string name = std::to_string(uid);
    if (ready && ::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
        ready = false;
    }
    const int own =
        ready ? ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
    ready = own >= 0 && ::fchown(own, uid, gid) == 0 && ::fchmod(own, 0700) == 0;
    for (const int fd : {parent, own}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    if (!ready) {
        m_config.log("ferrow-helper: cannot prepare the core's state folder (" +
                     std::string(std::strerror(errno)) + ")");
        return std::nullopt;
    }
    return m_config.coreStateDirectory + "/" + name;
}
