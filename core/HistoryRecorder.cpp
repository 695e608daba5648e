#include "HistoryRecorder.h"

#include <chrono>
#include <filesystem>

#include "ConnectionRegistry.h"

namespace ferrow::core {

namespace {
// How long a connection's bytes wait for its program before they count without one.
constexpr std::int64_t kProgramWaitMs = 3000;
} // namespace

HistoryRecorder::HistoryRecorder(std::string folder, int keepDays)
    : m_enabled(keepDays > 0), m_history(std::move(folder), keepDays)
{
}

HistoryRecorder::~HistoryRecorder()
{
    if (m_loader.joinable()) {
        m_loader.join();
    }
}

void HistoryRecorder::load(std::time_t now, const Post& post, const Warn& warn)
{
    if (!m_enabled || m_loader.joinable()) {
        return;
    }
    const std::string today = localDay(now);
    std::error_code made;
    std::filesystem::create_directories(m_history.folder(), made);
    auto current = TrafficHistory::read(m_history.folder(), today, today);
    for (const auto& day : current.days) {
        m_history.take(day);
    }
    for (const auto& problem : current.problems) {
        warn(problem);
    }
    // Ninety busy days take a few hundred milliseconds to read: not on the caller's thread.
    const std::string first = localDay(now, m_history.keepDays() - 1);
    const std::string yesterday = localDay(now, 1);
    m_loader = std::thread([this, post, warn, first, yesterday, alive = std::weak_ptr<bool>(m_alive)] {
        TrafficHistory::removeBefore(m_history.folder(), first);
        auto earlier = TrafficHistory::read(m_history.folder(), first, yesterday);
        for (auto& day : earlier.days) {
            post([this, alive, day = std::move(day)] {
                if (alive.lock()) {
                    m_history.take(day);
                }
            });
        }
        for (auto& problem : earlier.problems) {
            post([warn, alive, problem = std::move(problem)] {
                if (alive.lock()) {
                    warn(problem);
                }
            });
        }
    });
}

bool HistoryRecorder::count(ConnectionRecord& record, std::time_t now)
{
    const std::int64_t ageMs = std::int64_t(now) * 1000 - record.startMs;
    // Open connections get looked up; a closed one waits only for a lookup already asked for.
    const bool mayLearnProgram = !record.processSettled && (record.processLooked || !record.closed);
    if (mayLearnProgram && ageMs < kProgramWaitMs) {
        return false;
    }
    const std::uint64_t up = record.up.load(std::memory_order_relaxed);
    const std::uint64_t down = record.down.load(std::memory_order_relaxed);
    if (up == record.historyUp && down == record.historyDown) {
        return true;
    }
    if (record.historyDomain.empty()) {
        record.historyDomain = m_domains.of(record.host);
    }
    const std::string device = record.source == IpAddr{} ? std::string() : record.source.toString();
    m_history.add({record.processPath, device, record.historyDomain, record.policy}, up - record.historyUp,
                  down - record.historyDown, now);
    record.historyUp = up;
    record.historyDown = down;
    return true;
}

void HistoryRecorder::fold(ConnectionRegistry& connections, std::time_t now)
{
    auto closed = connections.takeRecentlyClosed();
    if (!m_enabled) {
        return;
    }
    for (auto& record : closed) {
        m_awaiting.push_back(std::move(record));
    }
    std::erase_if(m_awaiting, [&](const auto& record) { return count(*record, now); });
    connections.forEachOpen([&](const std::shared_ptr<ConnectionRecord>& record) { count(*record, now); });
}

} // namespace ferrow::core
