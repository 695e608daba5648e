#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "NetAddress.h"

namespace ferrow::tun {

/// One tunnelled TCP flow as the client sent it.
struct FlowEndpoints {
    core::IpAddr source;
    std::uint16_t sourcePort = 0;
    core::IpAddr destination;
    std::uint16_t destinationPort = 0;
    auto tie() const
    {
        return std::tie(source.v6, source.bytes, sourcePort, destination.bytes, destinationPort);
    }
    bool operator<(const FlowEndpoints& other) const { return tie() < other.tie(); }
};

/// Where a translated flow meets the core: which of its listeners (`lane`), and the port of the
/// tunnel's peer address it comes from. Together they are the listener side's four-tuple.
struct FlowSlot {
    std::uint8_t lane = 0;
    std::uint16_t port = 0;
    bool operator==(const FlowSlot&) const = default;
};

/// What the table reads of a TCP segment to follow its connection to the end.
struct TcpSegment {
    std::uint8_t flags = 0;
    std::uint32_t sequence = 0;
    std::uint32_t acknowledged = 0;
    std::uint32_t payload = 0; // bytes of data carried
};

/// The translation of tunnelled TCP flows onto the core's listeners: each flow gets a slot, so
/// the listeners' replies name the flow they belong to. A slot is free again once the listener's
/// socket is gone: at a reset, when the core closed second and its close was acknowledged, or
/// after the closed time-out when the core closed first and its socket waits out TIME_WAIT.
/// Used by the packet thread and by the thread that accepts, hence the lock.
class FlowTable {
public:
    using Clock = std::chrono::steady_clock;
    /// Told when new flows start to be refused for want of a slot (`refusing`), and when that
    /// ends. Called under the table's lock: it must not call back into the table.
    using Reporter = std::function<void(bool refusing, const std::string& text)>;

    /// `lanes` listeners per address family, each taking ports `first`..`last` of the peer.
    FlowTable(int lanes, std::uint16_t first, std::uint16_t last, Reporter report = {});

    /// The slot of an existing flow; a new one only for a connection's first segment (a SYN).
    /// Nothing when the flow is unknown and not opening, or every slot is held by a flow that
    /// has not finished.
    std::optional<FlowSlot> outbound(const FlowEndpoints& flow, const TcpSegment& segment,
                                     Clock::time_point now);
    /// The flow a listener's segment from `slot` belongs to.
    std::optional<FlowEndpoints> inbound(bool v6, FlowSlot slot, const TcpSegment& segment,
                                         Clock::time_point now);
    /// The original flow behind an accepted connection from `slot`.
    std::optional<FlowEndpoints> original(bool v6, FlowSlot slot) const;
    /// Drops flows idle longer than their time-out: `idle` for open ones, `closed` once either
    /// side sent a FIN, `opening` for those that never saw a reply.
    void expire(Clock::time_point now, Clock::duration idle, Clock::duration closed, Clock::duration opening);
    /// Flows held, of both families.
    std::size_t size() const;
    /// Slots per family.
    std::size_t capacity() const { return m_capacity; }

private:
    enum class State : std::uint8_t { Free, Opening, Open, HalfClosed, Finished };
    static constexpr int kStates = 5;
    struct Entry {
        FlowEndpoints flow;
        Clock::time_point lastSeen;
        State state = State::Free;
        bool answered = false;
        bool clientFin = false;
        bool coreFin = false;
        bool coreClosedSecond = false; // its FIN acknowledged the client's: no TIME_WAIT there
        std::uint32_t clientFinEnd = 0;
        std::uint32_t coreFinEnd = 0;
        std::list<std::uint32_t>::iterator place; // in its family's list for its state
    };
    struct Family {
        std::vector<Entry> entries;                // by slot number; grows to the most flows held at once
        std::deque<std::uint32_t> free;            // released slot numbers, the longest free first
        std::list<std::uint32_t> byState[kStates]; // each least recently seen first
        std::size_t held = 0;
        bool short_ = false; // an episode of refused flows is under way
        std::uint64_t refused = 0;
    };
    struct FlowHash {
        std::size_t operator()(const FlowEndpoints& flow) const;
    };
    struct FlowEqual {
        bool operator()(const FlowEndpoints& a, const FlowEndpoints& b) const { return a.tie() == b.tie(); }
    };

    FlowSlot slotOf(std::uint32_t number) const;
    std::optional<std::uint32_t> numberOf(FlowSlot slot) const;
    Family& family(bool v6) { return v6 ? m_six : m_four; }
    const Family& family(bool v6) const { return v6 ? m_six : m_four; }
    std::optional<std::uint32_t> allocate(Family& family, bool v6);
    /// Moves an entry to the back of the list for `state`.
    void place(Family& family, std::uint32_t number, State state, Clock::time_point now);
    void release(Family& family, std::uint32_t number, bool v6);
    /// Follows the close of the connection; true when the listener's socket is gone.
    static bool follow(Entry& entry, bool fromClient, const TcpSegment& segment);
    static State stateOf(const Entry& entry);

    mutable std::mutex m_lock;
    int m_lanes;
    std::uint16_t m_first;
    std::uint32_t m_portsPerLane;
    std::size_t m_capacity;
    Reporter m_report;
    Family m_four;
    Family m_six;
    std::unordered_map<FlowEndpoints, std::uint32_t, FlowHash, FlowEqual> m_byFlow;
};

} // namespace ferrow::tun
