#include "ApiInfoFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "FRWNames.h"

namespace ferrow::core {

bool writeApiInfoFile(const std::string& path, const std::string& address, const std::string& secret,
                      std::optional<unsigned> uid, std::optional<unsigned> gid, std::string* error)
{
    const auto fail = [&](const std::string& what) {
        *error = what + ": " + std::strerror(errno);
        return false;
    };
    std::error_code ignored;
    const auto parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) {
        std::filesystem::create_directories(parent, ignored);
    }
    const std::string bytes =
        nlohmann::json{{kAPIInfoAddressKey, address}, {kAPIInfoSecretKey, secret}}.dump() + "\n";
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return fail("cannot create " + temporary);
    }
    bool ok = ::fchmod(fd, 0600) == 0;
    if (ok && (uid || gid)) {
        ok = ::fchown(fd, uid ? static_cast<uid_t>(*uid) : static_cast<uid_t>(-1),
                      gid ? static_cast<gid_t>(*gid) : static_cast<gid_t>(-1)) == 0;
    }
    ok = ok && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ok = ok && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
        errno = ok ? errno : savedErrno;
        const bool result = fail("cannot write " + path);
        ::unlink(temporary.c_str());
        return result;
    }
    return true;
}

bool isOwnApiInfoFile(const std::string& path, const std::string& address, const std::string& secret)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const auto record = nlohmann::json::parse(text.str(), nullptr, false);
    return record.is_object() && record.value(kAPIInfoAddressKey, std::string()) == address &&
           record.value(kAPIInfoSecretKey, std::string()) == secret;
}

} // namespace ferrow::core
