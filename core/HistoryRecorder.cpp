#include "HistoryRecorder.h"

#include <chrono>

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

std::vector<std::string> HistoryRecorder::load(std::time_t now)
{
    return m_enabled ? m_history.load(now) : std::vector<std::string>();
}

bool HistoryRecorder::count(ConnectionRecord& record, std::time_t now)
{
    const std::int64_t ageMs = std::int64_t(now) * 1000 - record.startMs;
    if (!record.processSettled && ageMs < kProgramWaitMs) {
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
    m_history.add({record.processPath, record.sourceIp, record.historyDomain, record.policy},
                  up - record.historyUp, down - record.historyDown, now);
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
