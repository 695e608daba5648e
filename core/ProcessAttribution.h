#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "ProcessFinder.h"

namespace ferrow::core {

/// Runs process lookups on a thread of its own, so the I/O thread never walks /proc. Requests
/// that arrive while a batch is being looked up are served together by the next batch.
class ProcessAttribution {
public:
    using Done = std::function<void(std::optional<ProcessInfo>)>;
    using BatchLookup = std::function<std::vector<std::optional<ProcessInfo>>(const std::vector<SocketKey>&)>;

    explicit ProcessAttribution(BatchLookup lookup, std::size_t maxPending = 4096);
    ~ProcessAttribution();
    ProcessAttribution(const ProcessAttribution&) = delete;
    ProcessAttribution& operator=(const ProcessAttribution&) = delete;

    /// Queues a lookup; `done` runs later on the lookup thread. False (and `done` never runs)
    /// when too many lookups are already waiting.
    bool request(const SocketKey& key, Done done);

private:
    struct Job {
        SocketKey key;
        Done done;
    };

    void run();

    BatchLookup m_lookup;
    std::size_t m_maxPending;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace ferrow::core
