#include "FRWCoreFolders.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// Makes the folder behind the O_PATH descriptor `path` belong to `owner` with `mode`. An O_PATH
/// descriptor needs no permission on the folder itself, so this works without overriding any.
bool takeOverPath(int path, uid_t owner, gid_t group, mode_t mode)
{
    const std::string self = "/proc/self/fd/" + std::to_string(path);
    return ::fchownat(path, "", owner, group, AT_EMPTY_PATH) == 0 && ::chmod(self.c_str(), mode) == 0;
}

/// Opens the folder `name` in `parent` after making it root's and owner-only, so the user who
/// made it can no longer change what is inside, or move it, while root empties it.
int takeOverFolder(int parent, const std::string& name, uid_t owner, gid_t group)
{
    const int path = ::openat(parent, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (path < 0) {
        return -1;
    }
    int inner = -1;
    if (takeOverPath(path, owner, group, 0700)) {
        inner = ::openat(path, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    ::close(path);
    return inner;
}

/// Removes every entry of `folder` that can go at once (files, links, empty folders) and returns
/// the name of a folder with something inside, if any is left to enter. `stuck` is set when an
/// entry can be neither removed nor entered.
std::string removeEntries(int folder, const std::set<ino_t>& skipped, bool& stuck)
{
    const int listing = ::dup(folder);
    DIR* entries = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!entries) {
        if (listing >= 0) {
            ::close(listing);
        }
        stuck = true;
        return {};
    }
    std::string inside;
    while (const dirent* entry = ::readdir(entries)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || ::unlinkat(folder, name.c_str(), 0) == 0) {
            continue;
        }
        if (errno != EISDIR || ::unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0) {
            stuck = stuck || errno != EISDIR;
            continue;
        }
        if (skipped.contains(entry->d_ino)) {
            stuck = true;
        } else if (inside.empty()) {
            inside = name;
        }
    }
    ::closedir(entries);
    return inside;
}

/// Removes everything inside the open folder `top` without ever following a link and without
/// recursion, however deep the tree: every step goes through descriptors opened with
/// O_NOFOLLOW, each folder is made root's before it is entered (so its owner can neither add to
/// it nor move it away, and its ".." stays its parent), and only one level is open at a time.
bool emptyFolder(int top, uid_t owner, gid_t group)
{
    struct stat topStatus {};
    if (::fstat(top, &topStatus) != 0) {
        return false;
    }
    int current = ::dup(top);
    bool stuck = current < 0;
    std::set<ino_t> skipped; // folders that could not be emptied: not entered again
    // Each round removes an entry, enters a folder or leaves one; the bound only guards against
    // a file system that keeps changing under us.
    for (long rounds = 0; current >= 0 && rounds < 10'000'000; ++rounds) {
        bool stuckHere = false;
        const std::string inside = removeEntries(current, skipped, stuckHere);
        if (!inside.empty()) {
            const int inner = takeOverFolder(current, inside, owner, group);
            if (inner >= 0) {
                ::close(current);
                current = inner;
                continue;
            }
            // Not ours to enter: left, and the rest of this folder is looked at again.
            struct stat status {};
            if (::fstatat(current, inside.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
                skipped.insert(status.st_ino);
            }
            stuck = true;
            continue;
        }
        struct stat here {};
        if (::fstat(current, &here) != 0 ||
            (here.st_ino == topStatus.st_ino && here.st_dev == topStatus.st_dev)) {
            stuck = stuck || stuckHere;
            break;
        }
        if (stuckHere) {
            skipped.insert(here.st_ino);
        }
        const int parent = ::openat(current, "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(current);
        current = parent;
        stuck = stuck || stuckHere;
    }
    if (current >= 0) {
        ::close(current);
    }
    return !stuck;
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
                 ::fchmod(folder, 0755) == 0 && emptyFolder(folder, m_config.coreOwner, m_config.coreGroup);
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
    // Taken back first: while the folder is still the user's, anything they add after it was
    // emptied would outlive their core, a forged api-info file included.
    const int folder =
        ::open(m_config.apiInfoDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        return;
    }
    if (::fchown(folder, m_config.coreOwner, m_config.coreGroup) != 0 || ::fchmod(folder, 0755) != 0 ||
        !emptyFolder(folder, m_config.coreOwner, m_config.coreGroup)) {
        m_config.log("ferrow-helper: cannot take back " + m_config.apiInfoDirectory + " (" +
                     std::strerror(errno) + ")");
    }
    ::close(folder);
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
    // Through an O_PATH descriptor: the folder is the user's and owner-only, and the helper has
    // no permission overrides to open it for reading.
    const int own =
        ready ? ::openat(parent, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
    ready = own >= 0 && takeOverPath(own, uid, gid, 0700);
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
