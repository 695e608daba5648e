#include "NodeHealth.h"

namespace ferrow::core {

std::optional<NodeHealth::Event> NodeHealth::record(const std::string& node, bool answered,
                                                    Clock::time_point now, const std::string& error)
{
    State& state = m_nodes[node];
    if (answered) {
        const bool wasReported = state.down && !state.silentlyDown;
        state.failures = 0;
        state.down = false;
        state.silentlyDown = false;
        if (wasReported) {
            return Event{"Node recovered", "\u201C" + node + "\u201D is answering again."};
        }
        return std::nullopt;
    }
    if (state.failures++ == 0) {
        state.firstFailure = now;
    }
    if (state.down || state.failures < kDownAttempts || now - state.firstFailure < m_downAfter) {
        return std::nullopt;
    }
    state.down = true;
    if (state.lastReported && now - *state.lastReported < kQuietAfterDown) {
        state.silentlyDown = true;
        return std::nullopt;
    }
    state.lastReported = now;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - state.firstFailure).count();
    std::string message = "\u201C" + node + "\u201D has not answered for " + std::to_string(seconds) + " s";
    message += error.empty() ? "." : ": " + error;
    return Event{"Node not answering", std::move(message)};
}

std::vector<std::string> NodeHealth::failing() const
{
    std::vector<std::string> names;
    for (const auto& [name, state] : m_nodes) {
        if (state.failures > 0) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace ferrow::core
