#include "TrafficHistory.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <system_error>

#include <nlohmann/json.hpp>

#include "Gzip.h"
#include "SafeFile.h"

namespace ferrow::core {

namespace {

namespace fs = std::filesystem;

constexpr std::array<const char*, 4> kDimensionNames{"process", "device", "domain", "policy"};
constexpr std::size_t kMaxFileSize = std::size_t{8} * 1024 * 1024;
constexpr std::size_t kMaxExpandedSize = std::size_t{32} * 1024 * 1024;
// Counted in its place once a day's book is full, and never a real key.
constexpr std::string_view kOther = "\x01other";
const std::regex kDayFileName(R"((\d{4}-\d{2}-\d{2})\.json\.gz)");

std::size_t index(HistoryDimension dimension)
{
    return static_cast<std::size_t>(dimension);
}

bool readCounter(const nlohmann::json& value, TrafficHistory::Counter& counter)
{
    if (!value.is_array() || value.size() != 2 || !value[0].is_number_unsigned() ||
        !value[1].is_number_unsigned()) {
        return false;
    }
    counter = {value[0].get<std::uint64_t>(), value[1].get<std::uint64_t>()};
    return true;
}

} // namespace

std::string localDay(std::time_t now, int daysBack)
{
    std::tm local{};
    localtime_r(&now, &local);
    // Noon keeps a daylight-saving change from moving the date.
    local.tm_hour = 12;
    local.tm_min = 0;
    local.tm_sec = 0;
    local.tm_mday -= daysBack;
    local.tm_isdst = -1;
    const std::time_t then = std::mktime(&local);
    localtime_r(&then, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

TrafficHistory::TrafficHistory(std::string folder, int keepDays)
    : m_folder(std::move(folder)), m_keepDays(std::max(1, keepDays))
{
}

std::optional<HistoryDimension> TrafficHistory::dimensionNamed(std::string_view name)
{
    for (std::size_t i = 0; i < kDimensionNames.size(); ++i) {
        if (name == kDimensionNames[i]) {
            return static_cast<HistoryDimension>(i);
        }
    }
    return std::nullopt;
}

std::uint32_t TrafficHistory::intern(std::string_view name)
{
    if (const auto found = m_nameIds.find(name); found != m_nameIds.end()) {
        return found->second;
    }
    const auto id = static_cast<std::uint32_t>(m_names.size());
    m_names.emplace_back(name);
    m_nameIds.emplace(m_names.back(), id);
    return id;
}

std::string TrafficHistory::dayFile(const std::string& day) const
{
    return m_folder + "/" + day + ".json.gz";
}

TrafficHistory::ReadDays TrafficHistory::read(const std::string& folder, const std::string& first,
                                              const std::string& last)
{
    ReadDays out;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::smatch match;
        if (!std::regex_match(name, match, kDayFileName)) {
            continue;
        }
        const std::string day = match[1].str();
        if (day < first || day > last) {
            continue;
        }
        const auto file = readRegularFile(it->path().string(), kMaxFileSize, true);
        std::optional<ReadDay> read = file.ok ? parseDay(day, file.bytes) : std::nullopt;
        if (!read) {
            // Set aside, not deleted: the bytes may still be worth a look.
            const std::string aside = it->path().string() + ".damaged";
            std::error_code ignored;
            fs::rename(it->path(), aside, ignored);
            out.problems.push_back("traffic history " + it->path().string() + " is damaged (" +
                                   (file.ok ? "not readable as history" : file.error) + "); moved to " +
                                   aside);
            continue;
        }
        out.days.push_back(std::move(*read));
    }
    return out;
}

std::optional<TrafficHistory::ReadDay> TrafficHistory::parseDay(const std::string& day,
                                                                std::string_view bytes)
{
    const auto text = gzipExpanded(bytes, kMaxExpandedSize);
    const auto document = text ? nlohmann::json::parse(*text, nullptr, false) : nlohmann::json();
    if (!document.is_object()) {
        return std::nullopt;
    }
    ReadDay read{day, {}};
    for (std::size_t d = 0; d < kDimensionNames.size(); ++d) {
        const auto book = document.find(kDimensionNames[d]);
        if (book == document.end()) {
            continue;
        }
        if (!book->is_object()) {
            return std::nullopt;
        }
        for (auto entry = book->begin(); entry != book->end(); ++entry) {
            Counter counter;
            if (!readCounter(entry.value(), counter)) {
                return std::nullopt;
            }
            read.books[d].emplace_back(entry.key() == "other" ? std::string(kOther) : entry.key(), counter);
        }
    }
    return read;
}

void TrafficHistory::removeBefore(const std::string& folder, const std::string& first)
{
    std::error_code error;
    std::vector<fs::path> old;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::smatch match;
        const std::string name = it->path().filename().string();
        if (std::regex_match(name, match, kDayFileName) && match[1].str() < first) {
            old.push_back(it->path());
        }
    }
    for (const auto& path : old) {
        fs::remove(path, error);
    }
}

void TrafficHistory::take(const ReadDay& read)
{
    if (!m_trimmedBefore.empty() && read.day < m_trimmedBefore) {
        return;
    }
    ++m_generation;
    // A day counted since the start (a load after traffic) keeps what it has.
    Day& target = m_days[read.day];
    for (std::size_t d = 0; d < read.books.size(); ++d) {
        for (const auto& [name, counter] : read.books[d]) {
            Counter& total = target.books[d][intern(name)];
            total.up += counter.up;
            total.down += counter.down;
        }
    }
}

std::vector<std::string> TrafficHistory::load(std::time_t now)
{
    std::error_code error;
    fs::create_directories(m_folder, error);
    removeBefore(m_folder, localDay(now, m_keepDays - 1));
    ReadDays read = TrafficHistory::read(m_folder, localDay(now, m_keepDays - 1), localDay(now));
    for (const ReadDay& day : read.days) {
        take(day);
    }
    trim(now);
    return std::move(read.problems);
}

void TrafficHistory::trim(std::time_t now)
{
    const std::string oldest = localDay(now, m_keepDays - 1);
    if (oldest == m_trimmedBefore) {
        return;
    }
    m_trimmedBefore = oldest;
    while (!m_days.empty() && m_days.begin()->first < oldest) {
        std::error_code error;
        fs::remove(dayFile(m_days.begin()->first), error);
        m_days.erase(m_days.begin());
        ++m_generation;
    }
}

void TrafficHistory::count(Day& day, HistoryDimension dimension, const std::string& key, std::uint64_t up,
                           std::uint64_t down)
{
    if (key.empty()) {
        return;
    }
    Book& book = day.books[index(dimension)];
    std::uint32_t id = intern(key);
    if (!book.contains(id) && book.size() >= kDayLimits[index(dimension)]) {
        id = intern(kOther);
    }
    Counter& counter = book[id];
    counter.up += up;
    counter.down += down;
}

void TrafficHistory::add(const HistoryKeys& keys, std::uint64_t up, std::uint64_t down, std::time_t now)
{
    if (up == 0 && down == 0) {
        return;
    }
    // Dates cost a mktime each; a fold adds every connection with the same time.
    if (now != m_addedAt || m_addedDay.empty()) {
        m_addedAt = now;
        m_addedDay = localDay(now);
        trim(now);
    }
    const std::string& date = m_addedDay;
    if (!m_days.empty() && date < m_days.rbegin()->first) {
        ++m_generation; // the clock went back: an earlier day changes
    }
    Day& day = m_days[date];
    day.dirty = true;
    count(day, HistoryDimension::Process, keys.process, up, down);
    count(day, HistoryDimension::Device, keys.device, up, down);
    count(day, HistoryDimension::Domain, keys.domain, up, down);
    count(day, HistoryDimension::Policy, keys.policy, up, down);
}

bool TrafficHistory::save(std::string* error)
{
    bool ok = true;
    for (auto& [date, day] : m_days) {
        if (!day.dirty) {
            continue;
        }
        nlohmann::json document = {{"version", 1}, {"day", date}};
        for (std::size_t d = 0; d < day.books.size(); ++d) {
            auto& book = document[kDimensionNames[d]] = nlohmann::json::object();
            for (const auto& [id, counter] : day.books[d]) {
                const std::string& name = m_names[id];
                book[name == kOther ? std::string("other") : name] = {counter.up, counter.down};
            }
        }
        std::string why;
        std::error_code made;
        fs::create_directories(m_folder, made);
        if (!writeFileAtomically(dayFile(date), gzipCompressed(document.dump()), &why)) {
            ok = false;
            if (error) {
                *error += (error->empty() ? "" : "; ") + why;
            }
            continue;
        }
        day.dirty = false;
    }
    return ok;
}

nlohmann::json TrafficHistory::query(HistoryDimension dimension, int days, std::time_t now) const
{
    days = std::clamp(days, 1, m_keepDays);
    std::vector<const Day*> period;
    for (int back = days - 1; back >= 0; --back) {
        const auto found = m_days.find(localDay(now, back));
        period.push_back(found == m_days.end() ? nullptr : &found->second);
    }
    const std::uint32_t other = m_nameIds.contains(kOther) ? m_nameIds.at(kOther) : UINT32_MAX;
    // The earlier days' sums, with today's book added.
    std::vector<std::pair<std::uint32_t, Counter>> totals = earlierSums(dimension, days, now).sums;
    const std::size_t earlierCount = totals.size();
    if (const Day* today = period.back()) {
        for (const auto& [id, counter] : today->books[index(dimension)]) {
            const auto at = std::lower_bound(totals.begin(), totals.begin() + std::ptrdiff_t(earlierCount),
                                             std::make_pair(id, Counter()),
                                             [](const auto& a, const auto& b) { return a.first < b.first; });
            if (at != totals.begin() + std::ptrdiff_t(earlierCount) && at->first == id) {
                at->second.up += counter.up;
                at->second.down += counter.down;
            } else {
                totals.emplace_back(id, counter);
            }
        }
    }
    std::vector<std::pair<std::uint32_t, Counter>> ranked;
    ranked.reserve(totals.size());
    Counter rest;
    std::size_t restCount = 0;
    for (const auto& [id, counter] : totals) {
        if (id == other) {
            rest.up += counter.up;
            rest.down += counter.down;
        } else {
            ranked.emplace_back(id, counter);
        }
    }
    const auto bigger = [this](const auto& a, const auto& b) {
        const auto bytesA = a.second.up + a.second.down;
        const auto bytesB = b.second.up + b.second.down;
        return bytesA != bytesB ? bytesA > bytesB : m_names[a.first] < m_names[b.first];
    };
    if (ranked.size() > kTop) {
        std::nth_element(ranked.begin(), ranked.begin() + kTop, ranked.end(), bigger);
        for (auto it = ranked.begin() + kTop; it != ranked.end(); ++it) {
            rest.up += it->second.up;
            rest.down += it->second.down;
            ++restCount;
        }
        ranked.resize(kTop);
    }
    std::sort(ranked.begin(), ranked.end(), bigger);

    nlohmann::json items = nlohmann::json::array();
    for (const auto& [id, total] : ranked) {
        nlohmann::json daily = nlohmann::json::array();
        for (const Day* day : period) {
            const Book* book = day ? &day->books[index(dimension)] : nullptr;
            const auto found = book ? book->find(id) : Book::const_iterator();
            const Counter counter = book && found != book->end() ? found->second : Counter();
            daily.push_back({counter.up, counter.down});
        }
        items.push_back({{"name", m_names[id]}, {"up", total.up}, {"down", total.down}, {"daily", daily}});
    }
    return {{"dimension", kDimensionNames[index(dimension)]},
            {"days", days},
            {"from", localDay(now, days - 1)},
            {"to", localDay(now)},
            {"items", items},
            {"other", {{"up", rest.up}, {"down", rest.down}, {"count", restCount}}}};
}

const TrafficHistory::EarlierSums& TrafficHistory::earlierSums(HistoryDimension dimension, int days,
                                                               std::time_t now) const
{
    constexpr std::size_t kKept = 16;
    const std::string today = localDay(now);
    const auto key = std::make_pair(static_cast<int>(dimension), days);
    if (const auto found = m_earlier.find(key); found != m_earlier.end() && found->second.today == today &&
                                                found->second.generation == m_generation) {
        return found->second;
    }
    if (m_earlier.size() >= kKept) {
        m_earlier.clear();
    }
    // Summed into a vector indexed by name: a period of 90 busy days is a few hundred thousand
    // additions, too many for a hash map within the answer's time.
    std::vector<Counter> totals(m_names.size());
    std::vector<bool> counted(m_names.size());
    std::vector<std::uint32_t> seen;
    for (int back = days - 1; back >= 1; --back) {
        const auto found = m_days.find(localDay(now, back));
        if (found == m_days.end()) {
            continue;
        }
        for (const auto& [id, counter] : found->second.books[index(dimension)]) {
            if (!counted[id]) {
                counted[id] = true;
                seen.push_back(id);
            }
            totals[id].up += counter.up;
            totals[id].down += counter.down;
        }
    }
    std::sort(seen.begin(), seen.end());
    EarlierSums& sums = m_earlier[key];
    sums = {today, m_generation, {}};
    sums.sums.reserve(seen.size());
    for (const std::uint32_t id : seen) {
        sums.sums.emplace_back(id, totals[id]);
    }
    return sums;
}

std::vector<std::string> TrafficHistory::days() const
{
    std::vector<std::string> out;
    for (const auto& [date, day] : m_days) {
        out.push_back(date);
    }
    return out;
}

} // namespace ferrow::core
