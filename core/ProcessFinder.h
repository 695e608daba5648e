#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

#include "NetAddress.h"
#include "RuleMatcher.h"
#include "SocketHolderCache.h"

namespace ferrow::core {

/// The two ends of a loopback TCP connection as the proxy saw it.
struct SocketKey {
    IpAddr client; // the peer address of the accepted socket
    std::uint16_t clientPort = 0;
    IpAddr server; // our local end
    std::uint16_t serverPort = 0;
};

/// Finds the local program behind a loopback TCP client: the client socket's inode and owner by
/// its four-tuple (netlink sock_diag, one request; /proc/net/tcp{,6} where that is unavailable),
/// then the process holding that inode, from a cache of socket descriptors that is rebuilt from
/// /proc/<pid>/fd, owner's processes first, only when an inode is not in it.
/// Slow (file-system walks): never call it on the I/O thread.
class ProcessFinder {
public:
    /// How many sockets' holders are remembered between walks (about 2 MB).
    static constexpr std::size_t kRememberedSockets = 16384;

    explicit ProcessFinder(std::string procRoot = "/proc");
    ~ProcessFinder();
    ProcessFinder(const ProcessFinder&) = delete;
    ProcessFinder& operator=(const ProcessFinder&) = delete;

    /// One answer per key, in order; one /proc walk at most for the whole batch.
    std::vector<std::optional<ProcessInfo>> findMany(const std::vector<SocketKey>& keys);
    std::optional<ProcessInfo> find(const IpAddr& client, std::uint16_t clientPort, const IpAddr& server,
                                    std::uint16_t serverPort);
    /// Sockets whose holders are remembered now: at most kRememberedSockets after each lookup.
    std::size_t rememberedSockets() const { return m_owners.size(); }

    /// The inode of the socket with these endpoints in one /proc/net/tcp-format table.
    static std::optional<unsigned long> findSocketInode(const std::string& table, const IpAddr& local,
                                                        std::uint16_t localPort, const IpAddr& remote,
                                                        std::uint16_t remotePort);

private:
    struct SocketOwner {
        unsigned long inode = 0;
        std::optional<uid_t> uid;
    };

    std::optional<SocketOwner> socketOwner(const SocketKey& key, bool& tablesRead, std::string tables[2]);
    std::optional<SocketOwner> askKernel(const SocketKey& key, bool& unavailable);
    bool stillOwns(const SocketHolder& owner, unsigned long inode) const;
    /// Remembers the sockets `pid` holds and takes those it finds out of `missing`; whether any.
    bool scanProcess(int pid, std::set<unsigned long>& missing);
    /// Whether `inode` is still the socket of `key` and held by a process.
    bool stillHeld(const SocketKey& key, unsigned long inode);
    /// `dropClosed` takes out of the missing those no process holds any more, once the recent
    /// holders have been looked at and before every process is.
    void rescan(const std::vector<unsigned long>& wanted, const std::vector<uid_t>& uids,
                const std::function<void(std::set<unsigned long>&)>& dropClosed = {});
    std::optional<ProcessInfo> describe(int pid) const;
    /// "alice (uid 1001)": what is shown for a socket whose program cannot be looked at.
    static std::string accountLabel(uid_t uid);

    std::string m_procRoot;
    int m_netlink = -1;
    bool m_netlinkBroken = false;
    std::uint32_t m_sequence = 0;
    SocketHolderCache m_owners{kRememberedSockets};
    std::vector<int> m_recentPids; // walked first next time
    const int m_self;              // never a client of its own proxy
};

} // namespace ferrow::core
