#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "NetAddress.h"

namespace ferrow::core {

struct ConnectionRecord {
    std::uint64_t id = 0;
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
    // Counted by the relay threads while the controller reads them.
    std::atomic<std::uint64_t> up{0};
    std::atomic<std::uint64_t> down{0};
    std::int64_t startMs = 0;
    bool closed = false;
    // What the traffic history has counted so far, and under which domain.
    std::uint64_t historyUp = 0;
    std::uint64_t historyDown = 0;
    std::string historyDomain;
};

/// Open connections and a capped history of closed ones.
class ConnectionRegistry {
public:
    explicit ConnectionRegistry(std::size_t historyCap) : m_historyCap(historyCap) {}

    std::shared_ptr<ConnectionRecord> open();
    /// Called after each open(), for work best batched after the record is filled in.
    void setOpenedHook(std::function<void()> hook) { m_opened = std::move(hook); }
    void close(const std::shared_ptr<ConnectionRecord>& record);
    void setHistoryCap(std::size_t cap);
    std::size_t openCount() const { return m_open.size(); }
    std::size_t closedCount() const { return m_closed.size(); }
    /// Records kept for a program lookup; bounded by the open ones however long nobody looks.
    std::size_t awaitingLookup() const { return m_unlooked.size(); }

    /// Visits every open record.
    void forEachOpen(const std::function<void(const std::shared_ptr<ConnectionRecord>&)>& visit);
    /// The records closed since the last call, oldest first, whether or not the history keeps them.
    std::vector<std::shared_ptr<ConnectionRecord>> takeRecentlyClosed();
    /// Visits open records whose program has not been looked up yet, once each unless the visit
    /// leaves `processLooked` false.
    void forEachUnlooked(const std::function<void(const std::shared_ptr<ConnectionRecord>&)>& visit);
    /// Open connections first (oldest first), then the closed history (oldest first).
    nlohmann::json toJson() const;

private:
    std::size_t m_historyCap;
    std::uint64_t m_nextId = 1;
    std::map<std::uint64_t, std::shared_ptr<ConnectionRecord>> m_open;
    std::deque<std::shared_ptr<ConnectionRecord>> m_closed;
    std::vector<std::shared_ptr<ConnectionRecord>> m_recentlyClosed;
    std::vector<std::weak_ptr<ConnectionRecord>> m_unlooked;
    std::function<void()> m_opened;
};

nlohmann::json connectionJson(const ConnectionRecord& record);

} // namespace ferrow::core
