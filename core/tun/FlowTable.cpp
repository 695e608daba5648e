#include "FlowTable.h"

namespace ferrow::tun {

FlowTable::FlowTable(std::uint16_t first, std::uint16_t last) : m_first(first), m_last(last), m_next(first)
{
}

std::optional<std::uint16_t> FlowTable::allocate(bool v6)
{
    const std::size_t count = std::size_t{m_last} - m_first + 1;
    for (std::size_t tried = 0; tried < count; ++tried) {
        const std::uint16_t port = m_next;
        m_next = m_next == m_last ? m_first : static_cast<std::uint16_t>(m_next + 1);
        if (!m_byPort.contains({v6, port})) {
            return port;
        }
    }
    return std::nullopt;
}

std::optional<std::uint16_t> FlowTable::outbound(const FlowEndpoints& flow, bool opening, bool closing,
                                                 Clock::time_point now)
{
    const std::lock_guard guard(m_lock);
    if (const auto found = m_byFlow.find(flow); found != m_byFlow.end()) {
        auto& entry = m_byPort[{flow.source.v6, found->second}];
        if (opening && entry.closing) {
            // A new connection on the same four-tuple after the old one ended: start afresh.
            entry = Entry{flow, now};
            return found->second;
        }
        entry.lastSeen = now;
        entry.closing = entry.closing || closing;
        return found->second;
    }
    if (!opening) {
        return std::nullopt;
    }
    const auto port = allocate(flow.source.v6);
    if (!port) {
        return std::nullopt;
    }
    m_byFlow.emplace(flow, *port);
    m_byPort.emplace(Slot{flow.source.v6, *port}, Entry{flow, now});
    return port;
}

std::optional<FlowEndpoints> FlowTable::inbound(bool v6, std::uint16_t port, bool closing,
                                                Clock::time_point now)
{
    const std::lock_guard guard(m_lock);
    const auto found = m_byPort.find({v6, port});
    if (found == m_byPort.end()) {
        return std::nullopt;
    }
    found->second.lastSeen = now;
    found->second.answered = true;
    found->second.closing = found->second.closing || closing;
    return found->second.flow;
}

std::optional<FlowEndpoints> FlowTable::original(bool v6, std::uint16_t port) const
{
    const std::lock_guard guard(m_lock);
    const auto found = m_byPort.find({v6, port});
    if (found == m_byPort.end()) {
        return std::nullopt;
    }
    return found->second.flow;
}

void FlowTable::expire(Clock::time_point now, Clock::duration idle, Clock::duration closed,
                       Clock::duration opening)
{
    const std::lock_guard guard(m_lock);
    for (auto it = m_byPort.begin(); it != m_byPort.end();) {
        const auto& entry = it->second;
        const auto limit = entry.closing ? closed : entry.answered ? idle : opening;
        if (now - entry.lastSeen > limit) {
            m_byFlow.erase(entry.flow);
            it = m_byPort.erase(it);
        } else {
            ++it;
        }
    }
}

std::size_t FlowTable::size() const
{
    const std::lock_guard guard(m_lock);
    return m_byPort.size();
}

} // namespace ferrow::tun
