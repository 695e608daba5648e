#include "ConnectionRegistry.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>
#include <utility>

#include <nlohmann/json.hpp>

namespace ferrow::core {

namespace {

std::uint32_t shardOfThisThread(std::size_t shards)
{
    // Thread ids are often stack addresses a fixed distance apart, alike in their low bits: mix
    // them before taking the remainder.
    std::uint64_t mixed = std::hash<std::thread::id>{}(std::this_thread::get_id());
    mixed ^= mixed >> 33;
    mixed *= 0xff51afd7ed558ccdULL;
    mixed ^= mixed >> 33;
    mixed *= 0xc4ceb9fe1a85ec53ULL;
    mixed ^= mixed >> 33;
    return static_cast<std::uint32_t>(mixed % shards);
}

bool byId(const std::shared_ptr<ConnectionRecord>& a, const std::shared_ptr<ConnectionRecord>& b)
{
    return a->id < b->id;
}

bool byCloseOrder(const std::shared_ptr<ConnectionRecord>& a, const std::shared_ptr<ConnectionRecord>& b)
{
    return a->closeOrder < b->closeOrder;
}

} // namespace

std::shared_ptr<ConnectionRecord> ConnectionRegistry::create()
{
    auto record = std::make_shared<ConnectionRecord>();
    record->id = m_nextId.fetch_add(1, std::memory_order_relaxed);
    record->shard = shardOfThisThread(kShards);
    record->startMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
    return record;
}

void ConnectionRegistry::publish(const RecordPtr& record)
{
    if (!record) {
        return;
    }
    auto& shard = m_shards[record->shard];
    {
        const std::lock_guard lock(shard.mutex);
        if (record->closed.load() || !shard.open.emplace(record->id, record).second) {
            return;
        }
        m_openCount.fetch_add(1, std::memory_order_relaxed);
        // Nobody may ask for programs for a long time (no history, no one watching): the list then
        // drops what has closed, so it stays as long as the open connections. Only the lookup
        // thread reads `processLooked`; a looked-up record has left the list already.
        if (shard.unlooked.size() >= 2 * shard.open.size() + 64) {
            std::erase_if(shard.unlooked, [](const std::weak_ptr<ConnectionRecord>& weak) {
                const auto held = weak.lock();
                return !held || held->closed.load();
            });
        }
        shard.unlooked.push_back(record);
    }
    if (m_opened) {
        m_opened();
    }
}

std::shared_ptr<ConnectionRecord> ConnectionRegistry::open()
{
    auto record = create();
    publish(record);
    return record;
}

void ConnectionRegistry::close(const RecordPtr& record)
{
    if (!record || record->closed.exchange(true)) {
        return;
    }
    auto& shard = m_shards[record->shard];
    const std::lock_guard lock(shard.mutex);
    // Numbered under the shard's lock, so each shard's lists stay in closing order.
    record->closeOrder = m_nextCloseOrder.fetch_add(1, std::memory_order_relaxed);
    if (shard.open.erase(record->id) > 0) {
        m_openCount.fetch_sub(1, std::memory_order_relaxed);
    }
    shard.recentlyClosed.push_back(record);
    const auto cap = m_historyCap.load(std::memory_order_relaxed);
    if (cap == 0) {
        return;
    }
    shard.closed.push_back(record);
    while (shard.closed.size() > cap) {
        shard.closed.pop_front();
    }
}

void ConnectionRegistry::setHistoryCap(std::size_t cap)
{
    m_historyCap.store(cap, std::memory_order_relaxed);
    trimHistory();
}

void ConnectionRegistry::trimHistory()
{
    const auto cap = m_historyCap.load(std::memory_order_relaxed);
    std::vector<std::uint64_t> orders;
    for (const auto& shard : m_shards) {
        const std::lock_guard lock(shard.mutex);
        for (const auto& record : shard.closed) {
            orders.push_back(record->closeOrder);
        }
    }
    if (orders.size() <= cap) {
        return;
    }
    // Records closing meanwhile are newer than all of these, so the cut stays right.
    auto keepFrom = std::numeric_limits<std::uint64_t>::max();
    if (cap > 0) {
        const auto oldestKept = orders.end() - static_cast<std::ptrdiff_t>(cap);
        std::nth_element(orders.begin(), oldestKept, orders.end());
        keepFrom = *oldestKept;
    }
    for (auto& shard : m_shards) {
        const std::lock_guard lock(shard.mutex);
        while (!shard.closed.empty() && shard.closed.front()->closeOrder < keepFrom) {
            shard.closed.pop_front();
        }
    }
}

std::size_t ConnectionRegistry::closedCount() const
{
    std::size_t held = 0;
    for (const auto& shard : m_shards) {
        const std::lock_guard lock(shard.mutex);
        held += shard.closed.size();
    }
    return std::min(held, m_historyCap.load(std::memory_order_relaxed));
}

std::size_t ConnectionRegistry::awaitingLookup() const
{
    std::size_t held = 0;
    for (const auto& shard : m_shards) {
        const std::lock_guard lock(shard.mutex);
        held += shard.unlooked.size();
    }
    return held;
}

std::vector<ConnectionRegistry::RecordPtr> ConnectionRegistry::openSnapshot() const
{
    std::vector<RecordPtr> records;
    records.reserve(openCount());
    for (const auto& shard : m_shards) {
        const std::lock_guard lock(shard.mutex);
        for (const auto& [id, record] : shard.open) {
            records.push_back(record);
        }
    }
    std::sort(records.begin(), records.end(), byId);
    return records;
}

std::vector<ConnectionRegistry::RecordPtr> ConnectionRegistry::historySnapshot() const
{
    std::vector<RecordPtr> records;
    for (const auto& shard : m_shards) {
        const std::lock_guard lock(shard.mutex);
        records.insert(records.end(), shard.closed.begin(), shard.closed.end());
    }
    std::sort(records.begin(), records.end(), byCloseOrder);
    const auto cap = m_historyCap.load(std::memory_order_relaxed);
    if (records.size() > cap) {
        records.erase(records.begin(), records.end() - static_cast<std::ptrdiff_t>(cap));
    }
    return records;
}

void ConnectionRegistry::forEachOpen(const std::function<void(const RecordPtr&)>& visit)
{
    for (const auto& record : openSnapshot()) {
        visit(record);
    }
}

std::vector<ConnectionRegistry::RecordPtr> ConnectionRegistry::takeRecentlyClosed()
{
    std::vector<RecordPtr> records;
    for (auto& shard : m_shards) {
        const std::lock_guard lock(shard.mutex);
        records.insert(records.end(), shard.recentlyClosed.begin(), shard.recentlyClosed.end());
        shard.recentlyClosed.clear();
    }
    std::sort(records.begin(), records.end(), byCloseOrder);
    // Called regularly, so the shards' histories never hold much more than the cap in total.
    trimHistory();
    return records;
}

void ConnectionRegistry::forEachUnlooked(const std::function<void(const RecordPtr&)>& visit)
{
    // Only the records opened since the last visit, so a visit per batch of new connections stays
    // cheap however many are open.
    std::vector<RecordPtr> records;
    for (auto& shard : m_shards) {
        const std::lock_guard lock(shard.mutex);
        for (const auto& weak : shard.unlooked) {
            auto record = weak.lock();
            if (record && !record->closed.load() && !record->processLooked) {
                records.push_back(std::move(record));
            }
        }
        shard.unlooked.clear();
    }
    std::sort(records.begin(), records.end(), byId);
    for (const auto& record : records) {
        if (record->closed.load()) {
            continue;
        }
        visit(record);
        if (!record->processLooked) {
            auto& shard = m_shards[record->shard];
            const std::lock_guard lock(shard.mutex);
            shard.unlooked.push_back(record);
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
                          {"closed", record.closed.load()}};
    if (!record.chain.empty()) {
        out["chain"] = record.chain;
    }
    return out;
}

nlohmann::json ConnectionRegistry::toJson() const
{
    auto out = nlohmann::json::array();
    for (const auto& record : openSnapshot()) {
        out.push_back(connectionJson(*record));
    }
    for (const auto& record : historySnapshot()) {
        out.push_back(connectionJson(*record));
    }
    return out;
}

} // namespace ferrow::core
