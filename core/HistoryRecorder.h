#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>
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
    using Post = std::function<void(std::function<void()>)>;
    using Warn = std::function<void(const std::string&)>;
    ~HistoryRecorder();
    HistoryRecorder(const HistoryRecorder&) = delete;
    HistoryRecorder& operator=(const HistoryRecorder&) = delete;

    /// Reads today's file now, so what is counted from here adds to it, and the earlier days on a
    /// thread of its own: each day read is handed back through `post` to the caller's thread,
    /// and a damaged file is reported through `warn` there.
    void load(std::time_t now, const Post& post, const Warn& warn);
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
    std::vector<std::shared_ptr<ConnectionRecord>> m_awaiting;    // closed, program not known yet
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true); // for what the loader posts
    std::thread m_loader;
};

} // namespace ferrow::core
