#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "RegistrableDomain.h"
#include "TrafficHistory.h"

namespace ferrow::core {

class ConnectionRegistry;
struct ConnectionRecord;

/// Moves what each connection carried into the traffic history, under its program, device,
/// domain and policy. A connection's bytes wait (a few seconds at most) for its program lookup,
/// so a short connection is not counted as an unknown program.
class HistoryRecorder {
public:
    /// With `keepDays` 0 nothing is recorded, kept or looked up for it.
    explicit HistoryRecorder(std::string folder, int keepDays = 90);

    bool enabled() const { return m_enabled; }
    std::vector<std::string> load(std::time_t now);
    /// Counts the bytes of open connections and of those closed since the last call.
    void fold(ConnectionRegistry& connections, std::time_t now);
    bool save(std::string* error) { return !m_enabled || m_history.save(error); }
    const TrafficHistory& history() const { return m_history; }

private:
    /// Counts what `record` carried since the last count; false while its program is awaited.
    bool count(ConnectionRecord& record, std::time_t now);

    bool m_enabled;
    TrafficHistory m_history;
    RegistrableDomain m_domains;
    std::vector<std::shared_ptr<ConnectionRecord>> m_awaiting; // closed, program not known yet
};

} // namespace ferrow::core
