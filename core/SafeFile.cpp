#include "SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ferrow::core {

namespace {

std::string reason(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

std::string randomSuffix()
{
    unsigned char bytes[8] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // Uniqueness, not secrecy, is what matters here; O_EXCL still refuses any clash.
        const auto seed =
            static_cast<unsigned long long>(::getpid()) ^ reinterpret_cast<std::uintptr_t>(&bytes);
        std::memcpy(bytes, &seed, sizeof bytes);
    }
    std::string out;
    char two[3];
    for (unsigned char byte : bytes) {
        std::snprintf(two, sizeof two, "%02x", byte);
        out += two;
    }
    return out;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const auto written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

FileRead readRegularFile(const std::string& path, std::size_t limit, bool noFollow)
{
    FileRead result;
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0));
    if (fd < 0) {
        result.errorNumber = errno;
        result.error = errno == ELOOP && noFollow ? path + " is a symbolic link; not followed"
                                                  : reason("cannot read " + path);
        return result;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        result.error = reason("cannot read " + path);
    } else if (!S_ISREG(info.st_mode)) {
        result.error = "cannot read " + path + ": not a regular file";
    } else if (static_cast<std::uintmax_t>(info.st_size) > limit) {
        result.error = path + " is larger than " + std::to_string(limit) + " bytes";
    } else {
        result.bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
        std::size_t used = 0;
        while (true) {
            if (used == result.bytes.size()) {
                if (used > limit) {
                    break;
                }
                result.bytes.resize(std::min(limit + 1, used * 2 + 4096));
            }
            const auto got = ::read(fd, result.bytes.data() + used, result.bytes.size() - used);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                result.errorNumber = errno;
                result.error = reason("cannot read " + path);
                break;
            }
            if (got == 0) {
                break;
            }
            used += static_cast<std::size_t>(got);
        }
        result.bytes.resize(used);
        if (result.error.empty() && used > limit) {
            result.error = path + " is larger than " + std::to_string(limit) + " bytes";
        }
        result.ok = result.error.empty();
    }
    ::close(fd);
    if (!result.ok) {
        result.bytes.clear();
    }
    return result;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         const TemporaryCheck& check, const std::string& suffix)
{
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = path + suffix + "." + randomSuffix();
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        *error = reason("cannot create a temporary file beside " + path);
        return false;
    }
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!written) {
        errno = savedErrno;
        *error = reason("cannot write " + temporary);
        ::unlink(temporary.c_str());
        return false;
    }
    if (check) {
        const auto problem = check(temporary);
        if (!problem.empty()) {
            *error = problem;
            ::unlink(temporary.c_str());
            return false;
        }
    }
    // rename replaces whatever is at `path` (a symbolic link included) without following it.
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        *error = reason("cannot replace " + path);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace ferrow::core
