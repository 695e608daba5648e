#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace ferrow::core {

/// Bytes up and down for today, this month, all time and each hour of today (local time),
/// kept in a JSON file across restarts.
class TrafficStatistics {
public:
    struct Counter {
        std::uint64_t up = 0;
        std::uint64_t down = 0;
    };

    explicit TrafficStatistics(std::string path);

    /// Reads the file; a missing or unreadable file starts from zero and says why in `error`.
    bool load(std::string* error = nullptr);
    /// Writes the file atomically (temporary file, then rename).
    bool save(std::string* error = nullptr) const;

    void add(std::uint64_t up, std::uint64_t down, std::time_t now);
    /// {"today", "month", "total", "hourly"[24]} as of `now`.
    nlohmann::json toJson(std::time_t now) const;
    const std::string& path() const { return m_path; }

private:
    void rollOver(std::time_t now);

    std::string m_path;
    std::string m_day;   // YYYY-MM-DD of `m_today` and `m_hourly`
    std::string m_month; // YYYY-MM of `m_thisMonth`
    Counter m_today;
    Counter m_thisMonth;
    Counter m_total;
    std::array<Counter, 24> m_hourly{};
};

} // namespace ferrow::core
