#pragma once

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace ferrow::core {

/// Whether each node answers, from the outcome of every connection made through it, for the
/// "node down" and "node recovered" notifications. A node is down once every attempt has failed
/// for a stretch of at least `downAfter` (`kDownAfter` unless told) and `kDownAttempts` attempts; its first
/// success after that is its recovery. A node that flaps is reported down again only `kQuietAfterDown` after
/// its last report, so a link that comes and goes gives one pair of notifications, not a stream.
class NodeHealth {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kDownAfter = std::chrono::seconds(30);
    static constexpr int kDownAttempts = 3;
    static constexpr auto kQuietAfterDown = std::chrono::minutes(10);

    struct Event {
        std::string title;
        std::string message;
    };

    explicit NodeHealth(std::chrono::seconds downAfter = kDownAfter) : m_downAfter(downAfter) {}

    /// Records one attempt; answers the event it completes, if any. `error` is the last failure's
    /// text, kept for the down message.
    std::optional<Event> record(const std::string& node, bool answered, Clock::time_point now,
                                const std::string& error = {});

    /// The nodes whose latest attempt failed, sorted: a green test result for them is contradicted.
    std::vector<std::string> failing() const;

    /// Forgets nodes a new profile no longer has.
    template <typename Predicate>
    void forgetUnless(Predicate keep)
    {
        std::erase_if(m_nodes, [&](const auto& entry) { return !keep(entry.first); });
    }

private:
    struct State {
        int failures = 0;
        Clock::time_point firstFailure{};
        bool down = false;
        // Set while a down report was held back by the quiet time: its recovery is not reported.
        bool silentlyDown = false;
        std::optional<Clock::time_point> lastReported;
    };
    std::chrono::seconds m_downAfter;
    std::unordered_map<std::string, State> m_nodes;
};

} // namespace ferrow::core
