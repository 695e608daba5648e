#pragma once

#include "RuleMatcher.h"

#include <string>

struct MMDB_s;

namespace ferrow::core {

/// Country lookups in a MaxMind-format database file.
class GeoIpDatabase : public CountryLookup {
public:
    GeoIpDatabase() = default;
    ~GeoIpDatabase() override;
    GeoIpDatabase(const GeoIpDatabase&) = delete;
    GeoIpDatabase& operator=(const GeoIpDatabase&) = delete;

    /// Opens the file; on failure `error` says why and every lookup answers "".
    bool open(const std::string& path, std::string* error);
    bool isOpen() const { return m_database != nullptr; }
    std::string countryOf(const IpAddr& address) const override;

private:
    MMDB_s* m_database = nullptr;
};

} // namespace ferrow::core
