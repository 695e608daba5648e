#include "FRWCallerFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace FRWCallerFiles {

namespace {

/// Takes on the caller's file-system identity for this thread only. The raw system calls matter:
/// glibc's setgroups would change every thread of the helper.
bool becomeCaller(uid_t uid, gid_t gid)
{
    if (::geteuid() == 0 && ::syscall(SYS_setgroups, 0, nullptr) != 0) {
        return false;
    }
    ::setfsgid(gid);
    ::setfsuid(uid);
    // Both calls answer with the previous value; asking again tells whether they took.
    return static_cast<gid_t>(::setfsgid(static_cast<gid_t>(-1))) == gid &&
           static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1))) == uid;
}

} // namespace

int openForReading(const std::string& path, uid_t uid, gid_t gid, int& error)
{
    int fd = -1;
    error = 0;
    // A fresh thread starts with the process's identity and takes its own changes with it.
    std::thread([&] {
        if (!becomeCaller(uid, gid)) {
            error = EPERM;
            return;
        }
        fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            error = errno;
        }
    }).join();
    return fd;
}

} // namespace FRWCallerFiles
