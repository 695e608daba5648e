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

std::shared_ptr<PendingConnections::Entry> PendingConnections::admit(asio::ip::tcp::socket& socket,
                                                                     const asio::ip::address& source)
{
    auto entry = std::make_shared<Entry>(socket, sourceKey(source));
    const std::lock_guard guard(m_lock);
    auto& ofSource = m_bySource[entry->m_source];
    if (ofSource.size() >= m_perSourceLimit) {
        dropLocked(ofSource.front());
    }
    if (m_all.size() >= m_limit) {
        dropLocked(m_all.front());
    }
    auto& sourceList = m_bySource[entry->m_source]; // dropping may have emptied and removed it
    entry->m_inAll = m_all.insert(m_all.end(), entry);
    entry->m_inSource = sourceList.insert(sourceList.end(), entry);
    return entry;
}

void PendingConnections::unlinkLocked(Entry& entry)
{
    entry.m_counted = false;
    m_all.erase(entry.m_inAll);
    const auto source = m_bySource.find(entry.m_source);
    source->second.erase(entry.m_inSource);
    if (source->second.empty()) {
        m_bySource.erase(source);
    }
}

void PendingConnections::dropLocked(const std::shared_ptr<Entry>& given)
{
    // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): `given` may live in a list erased below
    const std::shared_ptr<Entry> entry = given;
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
    return m_all.size();
}

} // namespace ferrow::server
