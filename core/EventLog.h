#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace ferrow::core {

/// Notable happenings the application turns into notifications (rule-set failures and
/// recoveries). Numbered from 1; the cursor works like the log's. Safe to use from any thread.
class EventLog {
public:
    struct Event {
        std::int64_t number = 0;
        std::string title;
        std::string message;
    };

    void add(std::string title, std::string message);
    std::vector<Event> since(std::int64_t cursor) const;
    std::int64_t lastNumber() const;

private:
    static constexpr std::size_t kCapacity = 200;
    mutable std::mutex m_mutex;
    std::deque<Event> m_events;
    std::int64_t m_last = 0;
};

} // namespace ferrow::core
