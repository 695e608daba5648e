#include "PendingConnections.h"

#include <boost/asio/post.hpp>

namespace ferrow::server {

namespace asio = boost::asio;

PendingConnections::PendingConnections(std::size_t limit, std::size_t perSourceLimit)
    : m_limit(std::max<std::size_t>(limit, 1)), m_perSourceLimit(std::max<std::size_t>(perSourceLimit, 1))
{
}

std::string PendingConnections::sourceKey(const asio::ip::address& source)
{
    // The address's bytes, not its text: formatting an address costs more than the rest of the
    // bookkeeping together. IPv4 keys are four bytes, IPv6 ones eight.
    if (source.is_v6() && source.to_v6().is_v4_mapped()) {
        const auto bytes = asio::ip::make_address_v4(asio::ip::v4_mapped, source.to_v6()).to_bytes();
        return {bytes.begin(), bytes.end()};
    }
    if (source.is_v4()) {
        const auto bytes = source.to_v4().to_bytes();
        return {bytes.begin(), bytes.end()};
    }
    // One host of IPv6 commonly holds a whole /64.
    const auto bytes = source.to_v6().to_bytes();
    return {bytes.begin(), bytes.begin() + 8};
}

void PendingConnections::append(Chain& chain, Entry& entry, Links Entry::*links)
{
    auto& own = entry.*links;
    own.older = chain.newest;
    own.newer = nullptr;
    if (chain.newest) {
        (chain.newest->*links).newer = &entry;
    } else {
        chain.oldest = &entry;
    }
    chain.newest = &entry;
    ++chain.size;
}

void PendingConnections::remove(Chain& chain, Entry& entry, Links Entry::*links)
{
    auto& own = entry.*links;
    (own.older ? (own.older->*links).newer : chain.oldest) = own.newer;
    (own.newer ? (own.newer->*links).older : chain.newest) = own.older;
    own = Links{};
    --chain.size;
}

std::shared_ptr<PendingConnections::Entry> PendingConnections::admit(asio::ip::tcp::socket& socket,
                                                                     const asio::ip::address& source)
{
    auto entry = std::make_shared<Entry>(socket, sourceKey(source));
    const std::lock_guard guard(m_lock);
    if (const auto known = m_bySource.find(entry->m_source);
        known != m_bySource.end() && known->second.size >= m_perSourceLimit) {
        dropLocked(*known->second.oldest);
    }
    if (m_all.size >= m_limit) {
        dropLocked(*m_all.oldest);
    }
    auto& ofSource = m_bySource[entry->m_source]; // dropping may have emptied and removed it
    append(m_all, *entry, &Entry::m_inAll);
    append(ofSource, *entry, &Entry::m_inSource);
    entry->m_sourceChain = &ofSource;
    entry->m_counted = true;
    return entry;
}

void PendingConnections::unlinkLocked(Entry& entry)
{
    entry.m_counted = false;
    remove(m_all, entry, &Entry::m_inAll);
    remove(*entry.m_sourceChain, entry, &Entry::m_inSource);
    // Kept while there are few sources, so a client's next connection finds its chain; dropped
    // beyond that so a scan of many addresses leaves nothing behind.
    if (entry.m_sourceChain->size == 0 && m_bySource.size() > m_limit) {
        m_bySource.erase(entry.m_source);
    }
    entry.m_sourceChain = nullptr;
}

void PendingConnections::dropLocked(Entry& dropped)
{
    // Still counted, so its connection has not left and holds it.
    auto entry = dropped.shared_from_this();
    unlinkLocked(*entry);
    // Closed on its own thread; its handshake read then fails and it ends like any probe whose
    // peer went away.
    asio::post(entry->m_executor, [entry] {
        if (entry->m_socket) {
            boost::system::error_code ignored;
            entry->m_socket->shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
            entry->m_socket->close(ignored);
        }
    });
}

void PendingConnections::leave(const std::shared_ptr<Entry>& entry)
{
    {
        const std::lock_guard guard(m_lock);
        if (entry->m_counted) {
            unlinkLocked(*entry);
        }
    }
    entry->m_socket = nullptr;
}

std::size_t PendingConnections::size() const
{
    const std::lock_guard guard(m_lock);
    return m_all.size;
}

} // namespace ferrow::server
