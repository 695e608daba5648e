#include "ReplayJournal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <system_error>
#include <unistd.h>

namespace ferrow::server {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSaltSize = 32;
constexpr std::size_t kRecordSize = 8 + kSaltSize;
constexpr std::string_view kPrefix = "replay-";
/// Files written this many minutes before the current one are kept: a hello accepted at time A
/// is dated at most A + window and is refused on its date from A + 2 windows on.
constexpr std::uint64_t kMinutesKept = 3;
/// Two readings of the boot time within this are the same boot; any reboot moves it by the
/// whole uptime before it.
constexpr std::int64_t kBootTolerance = 5;

/// The minute in a journal file's name, or -1 for any other file.
std::int64_t minuteOf(const fs::path& path)
{
    const std::string name = path.filename().string();
    if (!name.starts_with(kPrefix) || name.size() == kPrefix.size()) {
        return -1;
    }
    const std::string digits = name.substr(kPrefix.size());
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 15) {
        return -1;
    }
    return std::stoll(digits);
}

void loadFile(const fs::path& path, proto::ReplayWindow& window, std::uint64_t now)
{
    std::ifstream file(path, std::ios::binary);
    char record[kRecordSize];
    const auto reach = static_cast<std::uint64_t>(window.window().count());
    while (file.read(record, kRecordSize)) {
        std::uint64_t time = 0;
        for (std::size_t i = 0; i < 8; ++i) {
            time = (time << 8) | static_cast<std::uint8_t>(record[i]);
        }
        if (time + reach >= now) {
            window.remember(std::string_view(record + 8, kSaltSize), time);
        }
    }
}

bool writeBootTime(const fs::path& folder, std::int64_t bootTime)
{
    const auto temporary = folder / "boot.new";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << bootTime << "\n";
        if (!file.flush()) {
            return false;
        }
    }
    std::error_code error;
    fs::rename(temporary, folder / "boot", error);
    return !error;
}

} // namespace

ReplayJournal::~ReplayJournal()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::int64_t ReplayJournal::bootTime()
{
    timespec real{};
    timespec sinceBoot{};
    clock_gettime(CLOCK_REALTIME, &real);
    clock_gettime(CLOCK_BOOTTIME, &sinceBoot);
    return static_cast<std::int64_t>(real.tv_sec) - static_cast<std::int64_t>(sinceBoot.tv_sec);
}

std::string ReplayJournal::open(const fs::path& folder, proto::ReplayWindow& window, std::uint64_t now,
                                std::int64_t bootTime)
{
    m_folder = folder;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        return "cannot make state folder " + folder.string() + ": " + error.message();
    }
    bool sameBoot = true;
    if (std::ifstream stored(folder / "boot"); stored) {
        std::int64_t previous = 0;
        sameBoot = (stored >> previous) && std::llabs(previous - bootTime) <= kBootTolerance;
    }
    const std::uint64_t minute = now / 60;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const auto written = minuteOf(entry.path());
        if (written < 0) {
            continue;
        }
        if (static_cast<std::uint64_t>(written) + kMinutesKept < minute) {
            fs::remove(entry.path(), error);
        } else {
            loadFile(entry.path(), window, now);
        }
    }
    if (!sameBoot) {
        // Salts written just before the machine went down may never have reached the disk.
        window.refuseBefore(now + static_cast<std::uint64_t>(window.window().count()) + 1);
    }
    if (!writeBootTime(folder, bootTime)) {
        return "cannot write to state folder " + folder.string();
    }
    return {};
}

void ReplayJournal::removeOld(std::uint64_t minute)
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(m_folder, error)) {
        const auto written = minuteOf(entry.path());
        if (written >= 0 && static_cast<std::uint64_t>(written) + kMinutesKept < minute) {
            fs::remove(entry.path(), error);
        }
    }
}

bool ReplayJournal::record(std::string_view salt, std::uint64_t helloTime, std::uint64_t now)
{
    char record[kRecordSize];
    for (std::size_t i = 0; i < 8; ++i) {
        record[i] = static_cast<char>(helloTime >> (56 - 8 * i));
    }
    std::copy_n(salt.data(), std::min(salt.size(), kSaltSize), record + 8);
    const std::lock_guard guard(m_lock);
    const std::uint64_t minute = now / 60;
    if (m_fd < 0 || minute != m_minute) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        const auto path = m_folder / (std::string(kPrefix) + std::to_string(minute));
        m_fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        m_minute = minute;
        removeOld(minute);
    }
    // One append per record: a crash tears at most the last one, which loading skips.
    return m_fd >= 0 && ::write(m_fd, record, kRecordSize) == static_cast<ssize_t>(kRecordSize);
}

} // namespace ferrow::server
