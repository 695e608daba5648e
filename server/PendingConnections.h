#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/tcp.hpp>

namespace ferrow::server {

/// The connections that have not authenticated yet, across all threads. They cost a descriptor
/// each and anyone can open them, so there are at most so many in all and per source; a new one
/// beyond either limit closes the oldest instead of being refused, so a flood cannot keep key
/// holders out.
class PendingConnections {
public:
    class Entry;

    PendingConnections(std::size_t limit, std::size_t perSourceLimit);

    /// Counts `socket` (served on `executor`) as pending, closing the oldest beyond a limit. The
    /// caller keeps the entry until it has called leave().
    std::shared_ptr<Entry> admit(boost::asio::ip::tcp::socket& socket,
                                 const boost::asio::ip::address& source);
    /// Ends the count of an entry; called on its socket's executor, so no close of it is run
    /// afterwards.
    void leave(const std::shared_ptr<Entry>& entry);

    std::size_t size() const;
    /// The key under which a source is limited: an IPv4 address, or the /64 of an IPv6 one.
    static std::string sourceKey(const boost::asio::ip::address& source);

private:
    /// Entries oldest first, linked through the entries themselves: counting a connection
    /// allocates nothing beyond its entry.
    struct Chain {
        Entry* oldest = nullptr;
        Entry* newest = nullptr;
        std::size_t size = 0;
    };
    struct Links {
        Entry* older = nullptr;
        Entry* newer = nullptr;
    };
    static void append(Chain& chain, Entry& entry, Links Entry::*links);
    static void remove(Chain& chain, Entry& entry, Links Entry::*links);
    void unlinkLocked(Entry& entry);
    void dropLocked(Entry& entry);

    const std::size_t m_limit;
    const std::size_t m_perSourceLimit;
    mutable std::mutex m_lock;
    Chain m_all;
    /// Sources whose chain empties are kept for their next connection while there are few.
    std::unordered_map<std::string, Chain> m_bySource;
};

class PendingConnections::Entry : public std::enable_shared_from_this<Entry> {
public:
    Entry(boost::asio::ip::tcp::socket& socket, std::string source)
        : m_executor(socket.get_executor()), m_socket(&socket), m_source(std::move(source))
    {
    }

private:
    friend class PendingConnections;
    boost::asio::any_io_executor m_executor;
    boost::asio::ip::tcp::socket* m_socket; // only touched on m_executor; null once it left
    std::string m_source;
    bool m_counted = false;
    Chain* m_sourceChain = nullptr;
    Links m_inAll;
    Links m_inSource;
};

} // namespace ferrow::server
