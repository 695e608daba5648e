#include "GeoIpDatabase.h"

#include <arpa/inet.h>
#include <cstring>
#include <maxminddb.h>
#include <netinet/in.h>

namespace ferrow::core {

GeoIpDatabase::~GeoIpDatabase()
{
    if (m_database) {
        MMDB_close(m_database);
        delete m_database;
    }
}

bool GeoIpDatabase::open(const std::string& path, std::string* error)
{
    auto* database = new MMDB_s{};
    const int status = MMDB_open(path.c_str(), MMDB_MODE_MMAP, database);
    if (status != MMDB_SUCCESS) {
        if (error) {
            *error = std::string(MMDB_strerror(status));
        }
        delete database;
        return false;
    }
    m_database = database;
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
