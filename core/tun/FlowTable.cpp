#include "FlowTable.h"

#include "Packet.h"

namespace ferrow::tun {

namespace {

/// Whether sequence number `a` is at or past `b`, across the wrap.
bool atOrPast(std::uint32_t a, std::uint32_t b)
{
    return static_cast<std::int32_t>(a - b) >= 0;
}

} // namespace

std::size_t FlowTable::FlowHash::operator()(const FlowEndpoints& flow) const
{
    // FNV-1a over what tells flows apart.
    std::uint64_t hash = 14695981039346656037ull;
    const auto mix = [&hash](std::uint8_t byte) {
        hash ^= byte;
        hash *= 1099511628211ull;
    };
    const std::size_t size = flow.source.v6 ? 16 : 4;
    for (std::size_t i = 0; i < size; ++i) {
        mix(flow.source.bytes[i]);
        mix(flow.destination.bytes[i]);
    }
    for (const std::uint16_t port : {flow.sourcePort, flow.destinationPort}) {
        mix(static_cast<std::uint8_t>(port >> 8));
        mix(static_cast<std::uint8_t>(port));
    }
    return static_cast<std::size_t>(hash);
}

FlowTable::FlowTable(int lanes, std::uint16_t first, std::uint16_t last, Reporter report)
    : m_lanes(lanes)
    , m_first(first)
    , m_portsPerLane(std::uint32_t{last} - first + 1)
    , m_capacity(std::size_t{m_portsPerLane} * static_cast<std::size_t>(lanes))
    , m_report(std::move(report))
{
}

FlowSlot FlowTable::slotOf(std::uint32_t number) const
{
    return {static_cast<std::uint8_t>(number / m_portsPerLane),
            static_cast<std::uint16_t>(m_first + number % m_portsPerLane)};
}

std::optional<std::uint32_t> FlowTable::numberOf(FlowSlot slot) const
{
    if (slot.lane >= m_lanes || slot.port < m_first || std::uint32_t{slot.port} - m_first >= m_portsPerLane) {
        return std::nullopt;
    }
    return slot.lane * m_portsPerLane + (slot.port - m_first);
}

FlowTable::State FlowTable::stateOf(const Entry& entry)
{
    if (entry.clientFin && entry.coreFin) {
        return State::Finished;
    }
    if (entry.clientFin || entry.coreFin) {
        return State::HalfClosed;
    }
    return entry.answered ? State::Open : State::Opening;
}

bool FlowTable::follow(Entry& entry, bool fromClient, const TcpSegment& segment)
{
    if ((segment.flags & kTcpRst) != 0) {
        return true; // neither socket outlives a reset
    }
    const bool fin = (segment.flags & kTcpFin) != 0;
    const bool acks = (segment.flags & kTcpAck) != 0;
    const std::uint32_t end = segment.sequence + segment.payload + 1; // the FIN counts one
    if (fromClient) {
        if (fin && !entry.clientFin) {
            entry.clientFin = true;
            entry.clientFinEnd = end;
        }
        // The listener's socket that closed second ends when its FIN is acknowledged.
        return entry.coreClosedSecond && acks && atOrPast(segment.acknowledged, entry.coreFinEnd);
    }
    if (fin && !entry.coreFin) {
        entry.coreFin = true;
        entry.coreFinEnd = end;
        // Only a FIN sent after the client's arrived makes no TIME_WAIT; a simultaneous close does.
        entry.coreClosedSecond =
            entry.clientFin && acks && atOrPast(segment.acknowledged, entry.clientFinEnd);
    }
    return false;
}

void FlowTable::place(Family& family, std::uint32_t number, State state, Clock::time_point now)
{
    auto& entry = family.entries[number];
    auto& list = family.byState[static_cast<int>(state)];
    if (entry.state == State::Free) {
        entry.place = list.insert(list.end(), number);
        ++family.held;
    } else {
        list.splice(list.end(), family.byState[static_cast<int>(entry.state)], entry.place);
    }
    entry.state = state;
    entry.lastSeen = now;
}

void FlowTable::release(Family& family, std::uint32_t number, bool v6)
{
    auto& entry = family.entries[number];
    family.byState[static_cast<int>(entry.state)].erase(entry.place);
    if (const auto found = m_byFlow.find(entry.flow); found != m_byFlow.end() && found->second == number) {
        m_byFlow.erase(found);
    }
    entry = Entry{};
    family.free.push_back(number);
    --family.held;
    // The episode ends with room for a burst, not at the first slot freed, so a table that
    // stays nearly full is reported once.
    if (family.short_ && family.held <= m_capacity - m_capacity / 8) {
        family.short_ = false;
        if (m_report) {
            m_report(false, std::string("tunnel: ") + (v6 ? "IPv6" : "IPv4") + " TCP flows are free again; " +
                                std::to_string(family.refused) + " new connections were refused meanwhile");
        }
        family.refused = 0;
    }
}

std::optional<std::uint32_t> FlowTable::allocate(Family& family, bool v6)
{
    if (family.free.empty() && family.entries.size() < m_capacity) {
        family.entries.emplace_back();
        return static_cast<std::uint32_t>(family.entries.size() - 1);
    }
    // Evicting a finished flow at worst meets a socket still in TIME_WAIT, which takes a new SYN
    // or is reset by the client; an open flow would be cut.
    auto& finished = family.byState[static_cast<int>(State::Finished)];
    if (family.free.empty() && !finished.empty()) {
        release(family, finished.front(), v6);
    }
    if (family.free.empty()) {
        ++family.refused;
        if (!family.short_) {
            family.short_ = true;
            if (m_report) {
                m_report(true, std::string("tunnel: all ") + std::to_string(m_capacity) + " " +
                                   (v6 ? "IPv6" : "IPv4") +
                                   " TCP flows are open; new connections are refused until some end");
            }
        }
        return std::nullopt;
    }
    const auto number = family.free.front();
    family.free.pop_front();
    return number;
}

std::optional<FlowSlot> FlowTable::outbound(const FlowEndpoints& flow, const TcpSegment& segment,
                                            Clock::time_point now)
{
    const std::lock_guard guard(m_lock);
    const bool v6 = flow.source.v6;
    auto& family = this->family(v6);
    const bool opening = (segment.flags & kTcpSyn) != 0 && (segment.flags & kTcpAck) == 0;
    if (const auto found = m_byFlow.find(flow); found != m_byFlow.end()) {
        const auto number = found->second;
        auto& entry = family.entries[number];
        if (opening && (entry.clientFin || entry.coreFin)) {
            // A new connection on the same four-tuple after the old one ended: it gets a slot of its
            // own while the old one is waited out.
            m_byFlow.erase(found);
        } else {
            const auto slot = slotOf(number);
            if (follow(entry, true, segment)) {
                release(family, number, v6);
            } else {
                place(family, number, stateOf(entry), now);
            }
            return slot;
        }
    }
    if (!opening) {
        return std::nullopt;
    }
    const auto number = allocate(family, v6);
    if (!number) {
        return std::nullopt;
    }
    family.entries[*number].flow = flow;
    place(family, *number, State::Opening, now);
    m_byFlow.insert_or_assign(flow, *number);
    return slotOf(*number);
}

std::optional<FlowEndpoints> FlowTable::inbound(bool v6, FlowSlot slot, const TcpSegment& segment,
                                                Clock::time_point now)
{
    const std::lock_guard guard(m_lock);
    auto& family = this->family(v6);
    const auto number = numberOf(slot);
    if (!number || *number >= family.entries.size() || family.entries[*number].state == State::Free) {
        return std::nullopt;
    }
    auto& entry = family.entries[*number];
    const auto flow = entry.flow;
    entry.answered = true;
    if (follow(entry, false, segment)) {
        release(family, *number, v6);
    } else {
        place(family, *number, stateOf(entry), now);
    }
    return flow;
}

std::optional<FlowEndpoints> FlowTable::original(bool v6, FlowSlot slot) const
{
    const std::lock_guard guard(m_lock);
    const auto& family = this->family(v6);
    const auto number = numberOf(slot);
    if (!number || *number >= family.entries.size() || family.entries[*number].state == State::Free) {
        return std::nullopt;
    }
    return family.entries[*number].flow;
}

void FlowTable::expire(Clock::time_point now, Clock::duration idle, Clock::duration closed,
                       Clock::duration opening)
{
    const std::lock_guard guard(m_lock);
    const std::pair<State, Clock::duration> limits[] = {{State::Opening, opening},
                                                        {State::Open, idle},
                                                        {State::HalfClosed, closed},
                                                        {State::Finished, closed}};
    for (const bool v6 : {false, true}) {
        auto& family = this->family(v6);
        for (const auto& [state, limit] : limits) {
            // Each list is in the order last seen, so the walk stops at the first flow still alive.
            auto& list = family.byState[static_cast<int>(state)];
            while (!list.empty() && now - family.entries[list.front()].lastSeen > limit) {
                release(family, list.front(), v6);
            }
        }
    }
}

std::size_t FlowTable::size() const
{
    const std::lock_guard guard(m_lock);
    return m_four.held + m_six.held;
}

} // namespace ferrow::tun
