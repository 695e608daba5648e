#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <unordered_map>

namespace ferrow::core {

/// A process's descriptor of a socket.
struct SocketHolder {
    int pid = 0;
    std::string fdName;
};

/// Socket inode → holder, from walks of /proc, bounded to the most recently looked-up sockets:
/// a walk records every socket of every process it reads, and a busy machine has hundreds of
/// thousands, but lookups only ever need those of live proxy clients.
class SocketHolderCache {
public:
    explicit SocketHolderCache(std::size_t capacity) : m_capacity(capacity) {}

    /// The holder recorded for the socket, which now counts as just used; null when unknown.
    const SocketHolder* use(unsigned long inode);
    /// Records what a walk saw. A new entry counts as least recently used until a lookup uses it.
    void remember(unsigned long inode, SocketHolder holder);
    /// Drops the least recently used entries beyond the capacity.
    void trim();
    std::size_t size() const { return m_entries.size(); }
    std::size_t capacity() const { return m_capacity; }

private:
    struct Entry {
        SocketHolder holder;
        std::list<unsigned long>::iterator position;
    };

    std::size_t m_capacity;
    std::list<unsigned long> m_recency; // most recently used first
    std::unordered_map<unsigned long, Entry> m_entries;
};

} // namespace ferrow::core
