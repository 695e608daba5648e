#include "TrafficStatistics.h"

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <unistd.h>

namespace ferrow::core {

namespace {

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
    std::ifstream in(m_path, std::ios::binary);
    if (!in) {
        if (error) {
            *error = "no statistics file yet at " + m_path;
        }
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    const auto document = nlohmann::json::parse(text.str(), nullptr, false);
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
    const std::string bytes = document.dump();
    const std::string temporary = m_path + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error) {
            *error = "cannot write " + temporary;
        }
        return false;
    }
    const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!written || !synced || std::rename(temporary.c_str(), m_path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        if (error) {
            *error = "cannot write " + m_path;
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
