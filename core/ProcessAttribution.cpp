#include "ProcessAttribution.h"

namespace ferrow::core {

ProcessAttribution::ProcessAttribution(BatchLookup lookup, std::size_t maxPending)
    : m_lookup(std::move(lookup)), m_maxPending(maxPending), m_thread([this] { run(); })
{
}

ProcessAttribution::~ProcessAttribution()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool ProcessAttribution::request(const SocketKey& key, Done done)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping || m_jobs.size() >= m_maxPending) {
            return false;
        }
        m_jobs.push_back({key, std::move(done)});
    }
    m_wake.notify_one();
    return true;
}

void ProcessAttribution::run()
{
    // Kept across batches, and swapped with the queue, so neither is rebuilt for every batch.
    std::deque<Job> batch;
    std::vector<SocketKey> keys;
    while (true) {
        batch.clear();
        keys.clear();
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_stopping) {
                return;
            }
            batch.swap(m_jobs);
        }
        keys.reserve(batch.size());
        for (const auto& job : batch) {
            keys.push_back(job.key);
        }
        auto answers = m_lookup(keys);
        answers.resize(batch.size());
        for (std::size_t i = 0; i < batch.size(); ++i) {
            batch[i].done(std::move(answers[i]));
        }
    }
}

} // namespace ferrow::core
