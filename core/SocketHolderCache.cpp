#include "SocketHolderCache.h"

namespace ferrow::core {

const SocketHolder* SocketHolderCache::use(unsigned long inode)
{
    const auto found = m_entries.find(inode);
    if (found == m_entries.end()) {
        return nullptr;
    }
    m_recency.splice(m_recency.begin(), m_recency, found->second.position);
    return &found->second.holder;
}

void SocketHolderCache::remember(unsigned long inode, SocketHolder holder)
{
    if (const auto found = m_entries.find(inode); found != m_entries.end()) {
        found->second.holder = std::move(holder);
        return;
    }
    m_recency.push_back(inode);
    m_entries.emplace(inode, Entry{std::move(holder), std::prev(m_recency.end())});
}

void SocketHolderCache::trim()
{
    while (m_entries.size() > m_capacity) {
        m_entries.erase(m_recency.back());
        m_recency.pop_back();
    }
}

} // namespace ferrow::core
