#include "EventLog.h"

namespace ferrow::core {

void EventLog::add(std::string title, std::string message)
{
    const std::lock_guard lock(m_mutex);
    m_events.push_back({++m_last, std::move(title), std::move(message)});
    while (m_events.size() > kCapacity) {
        m_events.pop_front();
    }
}

std::int64_t EventLog::lastNumber() const
{
    const std::lock_guard lock(m_mutex);
    return m_last;
}

std::vector<EventLog::Event> EventLog::since(std::int64_t cursor) const
{
    const std::lock_guard lock(m_mutex);
    std::vector<Event> out;
    // A cursor from another core instance (beyond ours) restarts from what is held.
    if (cursor > m_last) {
        cursor = 0;
    }
    for (const auto& event : m_events) {
        if (event.number > cursor) {
            out.push_back(event);
        }
    }
    return out;
}

} // namespace ferrow::core
