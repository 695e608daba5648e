#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include "FerrowReplay.h"

namespace ferrow::server {

/// The salts of accepted hellos, appended to files in the server's state folder before the hello
/// is answered, so that a restarted server still refuses their replays. A file is named after the
/// minute it was written in and removed once every hello in it is outside the window. A record is
/// the hello time (8 bytes, big endian) and the salt (32); a torn last record is ignored.
///
/// A write is not synced: a crash of the server loses nothing (the page cache keeps it), a crash
/// of the machine may. So the journal also keeps the machine's boot time, and a run that finds
/// another boot refuses hellos dated before its start plus the window instead.
class ReplayJournal {
public:
    ReplayJournal() = default;
    ~ReplayJournal();
    ReplayJournal(const ReplayJournal&) = delete;
    ReplayJournal& operator=(const ReplayJournal&) = delete;

    /// Loads what earlier runs kept into `window` (setting its refuseBefore when they may have
    /// lost salts). An error text when the folder cannot be used.
    std::string open(const std::filesystem::path& folder, proto::ReplayWindow& window, std::uint64_t now,
                     std::int64_t bootTime);
    /// Appends one accepted hello; false when it could not be written.
    bool record(std::string_view salt, std::uint64_t helloTime, std::uint64_t now);

    /// When this machine started, in Unix seconds: the real-time clock minus the time since boot.
    static std::int64_t bootTime();

private:
    void removeOld(std::uint64_t minute);

    std::filesystem::path m_folder;
    std::mutex m_lock;
    int m_fd = -1;
    std::uint64_t m_minute = 0;
};

} // namespace ferrow::server
