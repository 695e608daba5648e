#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

namespace ferrow::proto {

/// How far a hello's time may be from the server's clock. Clients are NTP-synced desktops; a
/// narrow window keeps the salt memory small and a captured hello useful for little time.
inline constexpr std::chrono::seconds kReplayWindow{30};

/// Salts of accepted hellos, refused a second time for as long as their hello is inside the
/// window. A replay carries the same authenticated time as its original, so salts are kept in
/// buckets by hello time: a lookup reads one bucket, and a bucket whose hellos are all stale is
/// dropped whole. Salts are spread over shards with a lock each, so expiry never stalls other
/// threads, and are kept as 8-byte fingerprints in open-addressed tables (at most 32 bytes per
/// salt), so memory is bounded by `capacity` by construction.
class ReplayWindow {
public:
    explicit ReplayWindow(std::chrono::seconds window = kReplayWindow, std::size_t capacity = 2'000'000);
    ReplayWindow(const ReplayWindow&) = delete;
    ReplayWindow& operator=(const ReplayWindow&) = delete;
    ~ReplayWindow() = default;

    /// True (and remembered) for a fresh salt with a time inside the window around `now` and not
    /// before notBefore(). A full shard refuses: forgetting a salt early would let its replay
    /// through.
    bool admit(std::string_view salt, std::uint64_t helloTime, std::uint64_t now);
    /// Remembers a salt accepted earlier (by a previous run) without the time check.
    void remember(std::string_view salt, std::uint64_t helloTime);
    /// Hellos dated before this are refused: set after a restart that may have lost salts.
    /// Set before serving starts.
    void refuseBefore(std::uint64_t time) { m_notBefore = time; }
    std::uint64_t notBefore() const { return m_notBefore; }
    std::chrono::seconds window() const { return m_window; }

    std::size_t size() const;
    /// Bytes held by the salt tables.
    std::size_t memoryBytes() const;

private:
    static constexpr std::size_t kShards = 16;
    static constexpr std::uint64_t kBucketSeconds = 10;

    /// Open-addressed set of non-zero 64-bit fingerprints, at most half full.
    struct Bucket {
        std::vector<std::uint64_t> slots;
        std::size_t used = 0;
        bool contains(std::uint64_t print) const;
        void insert(std::uint64_t print);
    };
    struct Shard {
        mutable std::mutex lock;
        std::map<std::uint64_t, Bucket> buckets; // by hello time / kBucketSeconds
        std::size_t size = 0;
    };
    enum class Outcome { Added, Seen, Full };
    Outcome add(std::string_view salt, std::uint64_t helloTime, std::uint64_t now);

    std::chrono::seconds m_window;
    std::size_t m_shardCapacity;
    std::uint64_t m_notBefore = 0;
    std::array<Shard, kShards> m_shards;
};

} // namespace ferrow::proto
