#include "FerrowReplay.h"

#include <cstring>
#include <utility>

namespace ferrow::proto {

namespace {

/// Salts are random (an attacker cannot choose the salt of a hello that authenticates), so their
/// bytes serve as hash and shard index as they are.
std::uint64_t fingerprintOf(std::string_view salt)
{
    std::uint64_t print = 0;
    std::memcpy(&print, salt.data(), std::min(salt.size(), sizeof print));
    return print == 0 ? 1 : print; // zero marks an empty slot
}

std::size_t shardOf(std::string_view salt, std::size_t shards)
{
    return salt.size() > 8 ? static_cast<std::uint8_t>(salt[8]) % shards : 0;
}

} // namespace

bool ReplayWindow::Bucket::contains(std::uint64_t print) const
{
    if (slots.empty()) {
        return false;
    }
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = print & mask;; i = (i + 1) & mask) {
        if (slots[i] == print) {
            return true;
        }
        if (slots[i] == 0) {
            return false;
        }
    }
}

void ReplayWindow::Bucket::insert(std::uint64_t print)
{
    if (2 * (used + 1) > slots.size()) {
        std::vector<std::uint64_t> old(std::max<std::size_t>(64, 2 * slots.size()), 0);
        old.swap(slots);
        used = 0;
        for (const auto value : old) {
            if (value != 0) {
                insert(value);
            }
        }
    }
    const std::size_t mask = slots.size() - 1;
    std::size_t i = print & mask;
    while (slots[i] != 0) {
        i = (i + 1) & mask;
    }
    slots[i] = print;
    ++used;
}

ReplayWindow::ReplayWindow(std::chrono::seconds window, std::size_t capacity)
    : m_window(window), m_shardCapacity(std::max<std::size_t>(1, capacity / kShards))
{
}

ReplayWindow::Outcome ReplayWindow::add(std::string_view salt, std::uint64_t helloTime, std::uint64_t now)
{
    const auto window = static_cast<std::uint64_t>(m_window.count());
    auto& shard = m_shards[shardOf(salt, kShards)];
    const std::uint64_t print = fingerprintOf(salt);
    std::vector<Bucket> expired; // freed after the lock is let go
    Outcome outcome = Outcome::Added;
    {
        const std::lock_guard guard(shard.lock);
        // A bucket goes once its newest possible hello is older than the window: every hello in
        // it would be refused by its time alone.
        while (!shard.buckets.empty()) {
            const auto first = shard.buckets.begin();
            if ((first->first + 1) * kBucketSeconds + window > now) {
                break;
            }
            shard.size -= first->second.used;
            expired.push_back(std::move(first->second));
            shard.buckets.erase(first);
        }
        auto& bucket = shard.buckets[helloTime / kBucketSeconds];
        if (bucket.contains(print)) {
            outcome = Outcome::Seen;
        } else if (shard.size >= m_shardCapacity) {
            outcome = Outcome::Full;
        } else {
            bucket.insert(print);
            ++shard.size;
        }
    }
    return outcome;
}

bool ReplayWindow::admit(std::string_view salt, std::uint64_t helloTime, std::uint64_t now)
{
    const auto window = static_cast<std::uint64_t>(m_window.count());
    if (helloTime + window < now || helloTime > now + window || helloTime < m_notBefore) {
        return false;
    }
    return add(salt, helloTime, now) == Outcome::Added;
}

void ReplayWindow::remember(std::string_view salt, std::uint64_t helloTime)
{
    add(salt, helloTime, 0);
}

std::size_t ReplayWindow::size() const
{
    std::size_t total = 0;
    for (const auto& shard : m_shards) {
        const std::lock_guard guard(shard.lock);
        total += shard.size;
    }
    return total;
}

std::size_t ReplayWindow::memoryBytes() const
{
    std::size_t total = 0;
    for (const auto& shard : m_shards) {
        const std::lock_guard guard(shard.lock);
        for (const auto& [time, bucket] : shard.buckets) {
            total += bucket.slots.capacity() * sizeof(std::uint64_t);
        }
    }
    return total;
}

} // namespace ferrow::proto
