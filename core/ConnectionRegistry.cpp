#include "ConnectionRegistry.h"

#include <chrono>
#include <utility>

#include <nlohmann/json.hpp>

namespace ferrow::core {

std::shared_ptr<ConnectionRecord> ConnectionRegistry::open()
{
    auto record = std::make_shared<ConnectionRecord>();
    record->id = m_nextId++;
    record->startMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
    m_open.emplace(record->id, record);
    // Nobody may ask for programs for a long time (no history, no one watching): the list then
    // drops what has closed, so it stays as long as the open connections.
    if (m_unlooked.size() >= 2 * m_open.size() + 64) {
        std::erase_if(m_unlooked, [](const std::weak_ptr<ConnectionRecord>& weak) {
            const auto record = weak.lock();
            return !record || record->closed || record->processLooked;
        });
    }
    m_unlooked.push_back(record);
    if (m_opened) {
        m_opened();
    }
    return record;
}

void ConnectionRegistry::close(const std::shared_ptr<ConnectionRecord>& record)
{
    if (!record || record->closed) {
        return;
    }
    record->closed = true;
    m_open.erase(record->id);
    m_recentlyClosed.push_back(record);
    if (m_historyCap == 0) {
        return;
    }
    m_closed.push_back(record);
    while (m_closed.size() > m_historyCap) {
        m_closed.pop_front();
    }
}

void ConnectionRegistry::setHistoryCap(std::size_t cap)
{
    m_historyCap = cap;
    while (m_closed.size() > m_historyCap) {
        m_closed.pop_front();
    }
}

void ConnectionRegistry::forEachOpen(
    const std::function<void(const std::shared_ptr<ConnectionRecord>&)>& visit)
{
    for (auto& [id, record] : m_open) {
        visit(record);
    }
}

std::vector<std::shared_ptr<ConnectionRecord>> ConnectionRegistry::takeRecentlyClosed()
{
    return std::exchange(m_recentlyClosed, {});
}

void ConnectionRegistry::forEachUnlooked(
    const std::function<void(const std::shared_ptr<ConnectionRecord>&)>& visit)
{
    // Only the records opened since the last visit, so a visit per batch of new connections stays
    // cheap however many are open.
    auto records = std::exchange(m_unlooked, {});
    for (const auto& weak : records) {
        const auto record = weak.lock();
        if (!record || record->closed || record->processLooked) {
            continue;
        }
        visit(record);
        if (!record->processLooked) {
            m_unlooked.push_back(record);
        }
    }
}

nlohmann::json connectionJson(const ConnectionRecord& record)
{
    nlohmann::json out = {{"id", record.id},
                          {"host", record.host},
                          {"port", record.port},
                          {"process", record.process},
                          {"srcip", record.source.toString()},
                          {"srcport", record.sourcePort},
                          {"network", record.network},
                          {"policy", record.policy},
                          {"rule", record.rule},
                          {"up", record.up.load()},
                          {"down", record.down.load()},
                          {"start", record.startMs},
                          {"closed", record.closed}};
    if (!record.chain.empty()) {
        out["chain"] = record.chain;
    }
    return out;
}

nlohmann::json ConnectionRegistry::toJson() const
{
    auto out = nlohmann::json::array();
    for (const auto& [id, record] : m_open) {
        out.push_back(connectionJson(*record));
    }
    for (const auto& record : m_closed) {
        out.push_back(connectionJson(*record));
    }
    return out;
}

} // namespace ferrow::core
