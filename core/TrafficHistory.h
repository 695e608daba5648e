#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace ferrow::core {

enum class HistoryDimension { Process, Device, Domain, Policy };

/// What one piece of traffic is counted under; an empty key is not counted in that dimension.
struct HistoryKeys {
    std::string process; // executable path
    std::string device;  // source address
    std::string domain;  // registrable domain, or the address
    std::string policy;  // DIRECT, REJECT or the node
};

/// Bytes up and down per day for each program, device, destination domain and policy, for the
/// last `keepDays` days (local time), one gzip'd JSON file per day in `folder`. Finished days
/// are only read; the current day's file is rewritten by save().
class TrafficHistory {
public:
    struct Counter {
        std::uint64_t up = 0;
        std::uint64_t down = 0;
    };
    /// Most names one day keeps per dimension; the rest are counted under "other".
    static constexpr std::array<std::size_t, 4> kDayLimits{2000, 1000, 5000, 200};
    static constexpr std::size_t kTop = 100;

    /// One day's file as read, before its names are taken in.
    struct ReadDay {
        std::string day;
        std::array<std::vector<std::pair<std::string, Counter>>, 4> books;
    };
    struct ReadDays {
        std::vector<ReadDay> days;
        std::vector<std::string> problems; // one line per damaged file, which was renamed aside
    };

    explicit TrafficHistory(std::string folder, int keepDays = 90);

    /// Reads the days kept in the folder, trims those older than `keepDays`. A damaged file is
    /// renamed aside; each such event is one line in the returned list.
    std::vector<std::string> load(std::time_t now);
    /// Reads the days from `first` to `last` ("YYYY-MM-DD", both included). Touches no member, so
    /// it may run on another thread, as may removeBefore().
    static ReadDays read(const std::string& folder, const std::string& first, const std::string& last);
    /// A day's file as stored (gzip'd JSON); nothing when it is damaged.
    static std::optional<ReadDay> parseDay(const std::string& day, std::string_view bytes);
    /// Removes the files of days before `first`.
    static void removeBefore(const std::string& folder, const std::string& first);
    /// Adds a day read by read() to what is held.
    void take(const ReadDay& day);
    void add(const HistoryKeys& keys, std::uint64_t up, std::uint64_t down, std::time_t now);
    /// Writes the days changed since the last save; false with the reasons in `error`.
    bool save(std::string* error = nullptr);
    /// The top names of the last `days` days (today included) by bytes, each with its daily
    /// counters oldest first, and what the others add up to.
    nlohmann::json query(HistoryDimension dimension, int days, std::time_t now) const;

    static std::optional<HistoryDimension> dimensionNamed(std::string_view name);
    const std::string& folder() const { return m_folder; }
    int keepDays() const { return m_keepDays; }
    /// The days held, oldest first.
    std::vector<std::string> days() const;

private:
    using Book = std::unordered_map<std::uint32_t, Counter>; // name id -> bytes
    struct Day {
        std::array<Book, 4> books;
        bool dirty = false;
    };

    std::uint32_t intern(std::string_view name);
    void count(Day& day, HistoryDimension dimension, const std::string& key, std::uint64_t up,
               std::uint64_t down);
    void trim(std::time_t now);
    std::string dayFile(const std::string& day) const;

    std::string m_folder;
    int m_keepDays;
    std::map<std::string, Day> m_days; // "YYYY-MM-DD" -> the day's books
    std::deque<std::string> m_names;   // stable storage for the views in m_nameIds
    std::unordered_map<std::string_view, std::uint32_t> m_nameIds;
    std::string m_trimmedBefore; // days before this are gone
    // The days before today do not change while today's traffic is counted, so a period's sums
    // over them are kept for the next answer (the pages ask every few seconds).
    struct EarlierSums {
        std::string today;
        std::uint64_t generation = 0;
        std::vector<std::pair<std::uint32_t, Counter>> sums; // by name id, ascending
    };
    const EarlierSums& earlierSums(HistoryDimension dimension, int days, std::time_t now) const;
    std::uint64_t m_generation = 0; // changes whenever a day before the newest one changes
    std::time_t m_addedAt = 0;      // the time of the last add(), and its date
    std::string m_addedDay;
    mutable std::map<std::pair<int, int>, EarlierSums> m_earlier;
};

/// The local date `daysBack` days before `now`'s, as "YYYY-MM-DD".
std::string localDay(std::time_t now, int daysBack = 0);

} // namespace ferrow::core
