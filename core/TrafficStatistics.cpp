#include "TrafficStatistics.h"

#include <cerrno>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "SafeFile.h"

namespace ferrow::core {

namespace {

constexpr std::size_t kMaxFileSize = std::size_t{1} * 1024 * 1024;

std::string format(std::time_t when, const char* pattern)
{
    std::tm local{};
    localtime_r(&when, &local);
    char text[16];
    std::strftime(text, sizeof text, pattern, &local);
    return text;
}

int hourOf(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    return local.tm_hour;
}

nlohmann::json counterJson(const TrafficStatistics::Counter& counter)
{
    return {{"up", counter.up}, {"down", counter.down}};
}

TrafficStatistics::Counter counterFrom(const nlohmann::json& value)
{
    TrafficStatistics::Counter counter;
    if (value.is_object()) {
        if (value.contains("up") && value["up"].is_number_unsigned()) {
            counter.up = value["up"].get<std::uint64_t>();
        }
        if (value.contains("down") && value["down"].is_number_unsigned()) {
            counter.down = value["down"].get<std::uint64_t>();
        }
    }
    return counter;
}

} // namespace

TrafficStatistics::TrafficStatistics(std::string path) : m_path(std::move(path))
{
}

bool TrafficStatistics::load(std::string* error)
{
    // A symbolic link planted at this name is neither read through nor, on save, written through.
    const auto file = readRegularFile(m_path, kMaxFileSize, true);
    if (!file.ok) {
        if (error) {
            *error = file.errorNumber == ENOENT ? "no statistics file yet at " + m_path
                                                : "statistics not read, starting from zero: " + file.error;
        }
        return false;
    }
    const auto document = nlohmann::json::parse(file.bytes, nullptr, false);
    if (!document.is_object()) {
        if (error) {
            *error = "statistics file " + m_path + " is not a JSON object; starting from zero";
        }
        return false;
    }
    m_total = counterFrom(document.value("total", nlohmann::json()));
    m_day = document.value("day", std::string());
    m_month = document.value("monthKey", std::string());
    m_today = counterFrom(document.value("today", nlohmann::json()));
    m_thisMonth = counterFrom(document.value("month", nlohmann::json()));
    m_hourly = {};
    const auto hourly = document.value("hourly", nlohmann::json());
    if (hourly.is_array()) {
        for (std::size_t i = 0; i < hourly.size() && i < m_hourly.size(); ++i) {
            m_hourly[i] = counterFrom(hourly[i]);
        }
    }
    return true;
}

bool TrafficStatistics::save(std::string* error) const
{
    nlohmann::json document = {{"version", 1},
                               {"day", m_day},
                               {"monthKey", m_month},
                               {"today", counterJson(m_today)},
                               {"month", counterJson(m_thisMonth)},
                               {"total", counterJson(m_total)}};
    auto& hourly = document["hourly"] = nlohmann::json::array();
    for (const auto& counter : m_hourly) {
        hourly.push_back(counterJson(counter));
    }
    std::string why;
    if (!writeFileAtomically(m_path, document.dump(), &why)) {
        if (error) {
            *error = why;
        }
        return false;
    }
    return true;
}

void TrafficStatistics::rollOver(std::time_t now)
{
    const auto day = format(now, "%Y-%m-%d");
    if (day != m_day) {
        m_day = day;
        m_today = {};
        m_hourly = {};
    }
    const auto month = format(now, "%Y-%m");
    if (month != m_month) {
        m_month = month;
        m_thisMonth = {};
    }
}

void TrafficStatistics::add(std::uint64_t up, std::uint64_t down, std::time_t now)
{
    rollOver(now);
    for (Counter* counter :
         {&m_today, &m_thisMonth, &m_total, &m_hourly[static_cast<std::size_t>(hourOf(now))]}) {
        counter->up += up;
        counter->down += down;
    }
}

nlohmann::json TrafficStatistics::toJson(std::time_t now) const
{
    const bool sameDay = format(now, "%Y-%m-%d") == m_day;
    const bool sameMonth = format(now, "%Y-%m") == m_month;
    nlohmann::json out = {{"today", counterJson(sameDay ? m_today : Counter{})},
                          {"month", counterJson(sameMonth ? m_thisMonth : Counter{})},
                          {"total", counterJson(m_total)}};
    auto& hourly = out["hourly"] = nlohmann::json::array();
    for (const auto& counter : m_hourly) {
        hourly.push_back(counterJson(sameDay ? counter : Counter{}));
    }
    return out;
}

} // namespace ferrow::core
