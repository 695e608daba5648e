#pragma once

#include <ctime>
#include <string>

#include <sys/types.h>

#include "RuleMatcher.h"

struct MMDB_s;

namespace ferrow::core {

/// Which file, in which version, a database was read from.
struct FileVersion {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    bool operator==(const FileVersion& other) const;
};

/// The version of the file at `path` now; an empty one (inode 0) when no regular file is there.
FileVersion fileVersionOf(const std::string& path);

/// Country lookups in a MaxMind-format database file.
///
/// The library maps what it opens for the database's life, and a file truncated or rewritten in
/// place under such a mapping kills the process at the next lookup. So the file is copied into a
/// sealed anonymous memory file first, and that copy, which nothing can change, is what is mapped.
class GeoIpDatabase : public CountryLookup {
public:
    GeoIpDatabase() = default;
    ~GeoIpDatabase() override;
    GeoIpDatabase(const GeoIpDatabase&) = delete;
    GeoIpDatabase& operator=(const GeoIpDatabase&) = delete;

    /// Opens the file; on failure `error` says why and every lookup answers "".
    bool open(const std::string& path, std::string* error);
    bool isOpen() const { return m_database != nullptr; }
    /// The version of the file that was copied, for noticing a replacement later.
    const FileVersion& version() const { return m_version; }
    std::string countryOf(const IpAddr& address) const override;

private:
    MMDB_s* m_database = nullptr;
    FileVersion m_version;
};

} // namespace ferrow::core
