#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "NetAddress.h"

namespace ferrow::core {

struct ConnectionRecord {
    std::uint64_t id = 0;
    std::uint32_t shard = 0; // which of the registry's shards lists it
    std::string host;
    std::uint16_t port = 0;
    std::string process;
    std::string processPath;
    bool processLooked = false;
    bool processSettled = false; // the lookup answered, or there is none to make
    IpAddr source;               // formatted only when the record is shown
    std::uint16_t sourcePort = 0;
    IpAddr local; // our end of the client connection, for the process lookup
    std::uint16_t localPort = 0;
    std::string network = "tcp";
    std::string policy; // what carried it: DIRECT, REJECT or a node
    std::string chain;  // the groups passed on the way, "Proxy > HK"
    std::string rule;
    // Counted by the lanes while the controller reads them.
    std::atomic<std::uint64_t> up{0};
    std::atomic<std::uint64_t> down{0};
    std::int64_t startMs = 0;
    std::atomic<bool> closed{false};
    std::uint64_t closeOrder = 0; // registry-wide, set when it closes
    // What the traffic history has counted so far, and under which domain.
    std::uint64_t historyUp = 0;
    std::uint64_t historyDown = 0;
    std::string historyDomain;
};

/// Open connections and a capped history of closed ones.
///
/// Records are opened and closed on any thread; everything that reads or visits them (the
/// views below) runs on one thread at a time, the core's main thread. The records are kept in
/// shards chosen by the creating thread, so threads that each run their own connections rarely
/// wait for one another.
class ConnectionRegistry {
public:
    explicit ConnectionRegistry(std::size_t historyCap) : m_historyCap(historyCap) {}

    /// A numbered record that is not listed yet: the caller fills it in, then publishes it.
    std::shared_ptr<ConnectionRecord> create();
    /// Lists a created record as open. Does nothing for a record already closed or listed.
    void publish(const std::shared_ptr<ConnectionRecord>& record);
    /// create() and publish() at once.
    std::shared_ptr<ConnectionRecord> open();
    /// Called after each publish, outside the registry's locks, on whichever thread published.
    /// Set it before any record is opened.
    void setOpenedHook(std::function<void()> hook) { m_opened = std::move(hook); }
    /// Moves a record into the closed history, published or not. Closing twice, also from two
    /// threads at once, counts once.
    void close(const std::shared_ptr<ConnectionRecord>& record);

    void setHistoryCap(std::size_t cap);
    std::size_t openCount() const { return m_openCount.load(std::memory_order_relaxed); }
    std::size_t closedCount() const;
    /// Records kept for a program lookup; bounded by the open ones however long nobody looks.
    std::size_t awaitingLookup() const;

    // The visitors below run on a snapshot taken under the shard locks and hold no lock while
    // visiting, so a visit may call back into the registry.

    /// Visits every open record, oldest first.
    void forEachOpen(const std::function<void(const std::shared_ptr<ConnectionRecord>&)>& visit);
    /// The records closed since the last call, oldest first, whether or not the history keeps them.
    /// One closing while this runs may come in the next call instead.
    std::vector<std::shared_ptr<ConnectionRecord>> takeRecentlyClosed();
    /// Visits open records whose program has not been looked up yet, once each unless the visit
    /// leaves `processLooked` false.
    void forEachUnlooked(const std::function<void(const std::shared_ptr<ConnectionRecord>&)>& visit);
    /// Open connections first (oldest first), then the closed history (oldest first).
    nlohmann::json toJson() const;

private:
    using RecordPtr = std::shared_ptr<ConnectionRecord>;
    static constexpr std::size_t kShards = 8;

    struct Shard {
        mutable std::mutex mutex;
        std::map<std::uint64_t, RecordPtr> open;
        std::deque<RecordPtr> closed; // each shard keeps up to the cap; views trim to it in total
        std::vector<RecordPtr> recentlyClosed;
        std::vector<std::weak_ptr<ConnectionRecord>> unlooked;
    };

    std::vector<RecordPtr> openSnapshot() const;
    std::vector<RecordPtr> historySnapshot() const;
    void trimHistory();

    std::atomic<std::size_t> m_historyCap;
    std::atomic<std::uint64_t> m_nextId{1};
    std::atomic<std::uint64_t> m_nextCloseOrder{1};
    std::atomic<std::size_t> m_openCount{0};
    std::array<Shard, kShards> m_shards;
    std::function<void()> m_opened;
};

nlohmann::json connectionJson(const ConnectionRecord& record);

} // namespace ferrow::core
