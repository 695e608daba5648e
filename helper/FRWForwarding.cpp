#include "FRWForwarding.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::optional<std::string> readSmall(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return std::nullopt;
    }
    char block[4096];
    const ssize_t got = ::read(fd, block, sizeof block);
    ::close(fd);
    if (got < 0) {
        return std::nullopt;
    }
    return std::string(block, static_cast<std::size_t>(got));
}

bool writeValue(const std::string& path, const std::string& value)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    const bool written = ::write(fd, value.data(), value.size()) == static_cast<ssize_t>(value.size());
    return ::close(fd) == 0 && written;
}

/// Write-to-temporary, flush, rename: a crash leaves the old save or the new one, never half.
bool writeDurably(const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".tmp";
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    const bool written =
        ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

} // namespace

std::string FRWForwarding::currentBoot() const
{
    return trimmed(readSmall(m_config.bootIdPath).value_or(std::string()));
}

std::string FRWForwarding::savedPath() const
{
    return m_config.stateDirectory + "/forwarding.saved";
}

bool FRWForwarding::enable() const
{
    ::mkdir(m_config.stateDirectory.c_str(), 0700);
    // A save that is still there belongs to values from before an earlier gateway run that never
    // ended cleanly; the switches now read 1 because of us, so that save stays the one to restore.
    if (!readSmall(savedPath())) {
        // Which boot the values belong to: after a reboot the switches start afresh from the
        // system's own settings, and the old values must not overwrite them.
        std::string saved = "boot=" + currentBoot() + "\n";
        for (const std::string& path : m_config.forwardingSwitches) {
            const auto value = readSmall(path);
            if (!value) {
                m_config.log("ferrow-helper: cannot read " + path + " (" + std::strerror(errno) + ")");
                return false;
            }
            saved += path + "=" + trimmed(*value) + "\n";
        }
        if (!writeDurably(savedPath(), saved)) {
            m_config.log("ferrow-helper: cannot save the forwarding settings (" +
                         std::string(std::strerror(errno)) + ")");
            return false;
        }
    }
    bool enabled = true;
    for (const std::string& path : m_config.forwardingSwitches) {
        if (!writeValue(path, "1\n")) {
            m_config.log("ferrow-helper: cannot turn on " + path + " (" + std::strerror(errno) + ")");
            enabled = false;
        }
    }
    return enabled;
}

void FRWForwarding::restore() const
{
    const auto saved = readSmall(savedPath());
    if (!saved) {
        return;
    }
    std::istringstream lines(*saved);
    std::string line;
    if (!std::getline(lines, line) || line != "boot=" + currentBoot()) {
        m_config.log("ferrow-helper: discarding forwarding values saved before this boot");
        ::unlink(savedPath().c_str());
        return;
    }
    bool restored = true;
    while (std::getline(lines, line)) {
        const std::size_t equals = line.rfind('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string path = line.substr(0, equals);
        // Only the switches this helper manages are ever written, whatever the file says.
        bool known = false;
        for (const std::string& managed : m_config.forwardingSwitches) {
            known = known || managed == path;
        }
        if (known && !writeValue(path, line.substr(equals + 1) + "\n")) {
            m_config.log("ferrow-helper: cannot restore " + path + " (" + std::strerror(errno) + ")");
            restored = false;
        }
    }
    if (restored) {
        ::unlink(savedPath().c_str());
    }
}
