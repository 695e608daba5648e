#include "GeoIpDatabase.h"

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <maxminddb.h>

#include "FRWScopedFd.h"

namespace ferrow::core {

namespace {

// Larger than any country database; a bigger file is not one.
constexpr off_t kLargestDatabase = off_t{256} * 1024 * 1024;

FileVersion versionOf(const struct stat& info)
{
    return {info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

std::string systemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

/// A sealed memory file holding what `source` holds now; -1 with `error` set when it cannot be made.
int sealedCopy(int source, off_t size, std::string& error)
{
    const int copy = ::memfd_create("Country.mmdb", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (copy < 0) {
        error = systemError("cannot make a private copy");
        return -1;
    }
    std::array<char, std::size_t{64} * 1024> buffer{};
    off_t copied = 0;
    while (copied < size) {
        const ssize_t got = ::read(source, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            // Shrunk while being read: what was copied is an incomplete database.
            error = got < 0 ? systemError("cannot read") : "the file changed while it was read";
            ::close(copy);
            return -1;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(copy, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                error = systemError("cannot make a private copy");
                ::close(copy);
                return -1;
            }
            done += put;
        }
        copied += got;
    }
    if (::fcntl(copy, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
        error = systemError("cannot seal the private copy");
        ::close(copy);
        return -1;
    }
    return copy;
}

} // namespace

bool FileVersion::operator==(const FileVersion& other) const
{
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

FileVersion fileVersionOf(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return {};
    }
    return versionOf(info);
}

GeoIpDatabase::~GeoIpDatabase()
{
    if (m_database) {
        MMDB_close(m_database);
        delete m_database;
    }
}

bool GeoIpDatabase::open(const std::string& path, std::string* error)
{
    std::string problem;
    const auto fail = [&] {
        if (error) {
            *error = problem;
        }
        return false;
    };
    // Non-blocking: a FIFO planted in the file's place must not stall the core.
    const FRWScopedFd source(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (source.get() < 0 || ::fstat(source.get(), &info) != 0) {
        problem = systemError("cannot open " + path);
        return fail();
    }
    if (!S_ISREG(info.st_mode) || info.st_size > kLargestDatabase) {
        problem = S_ISREG(info.st_mode) ? "the file is too large" : "not a regular file";
        return fail();
    }
    const FRWScopedFd copy(sealedCopy(source.get(), info.st_size, problem));
    if (copy.get() < 0) {
        return fail();
    }
    // The library opens by path; the memory file's own path keeps the copy private to this process.
    const std::string copyPath = "/proc/self/fd/" + std::to_string(copy.get());
    auto* database = new MMDB_s{};
    const int status = MMDB_open(copyPath.c_str(), MMDB_MODE_MMAP, database);
    if (status != MMDB_SUCCESS) {
        problem = MMDB_strerror(status);
        delete database;
        return fail();
    }
    if (m_database) {
        MMDB_close(m_database);
        delete m_database;
    }
    m_database = database;
    m_version = versionOf(info);
    return true;
}

std::string GeoIpDatabase::countryOf(const IpAddr& address) const
{
    if (!m_database) {
        return {};
    }
    sockaddr_storage storage{};
    if (address.v6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        std::memcpy(&in6->sin6_addr, address.bytes.data(), 16);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        std::memcpy(&in4->sin_addr, address.bytes.data(), 4);
    }
    int status = MMDB_SUCCESS;
    MMDB_lookup_result_s result =
        MMDB_lookup_sockaddr(m_database, reinterpret_cast<const sockaddr*>(&storage), &status);
    if (status != MMDB_SUCCESS || !result.found_entry) {
        return {};
    }
    MMDB_entry_data_s data{};
    if (MMDB_get_value(&result.entry, &data, "country", "iso_code", nullptr) != MMDB_SUCCESS ||
        !data.has_data || data.type != MMDB_DATA_TYPE_UTF8_STRING) {
        return {};
    }
    return {data.utf8_string, data.data_size};
}

} // namespace ferrow::core
