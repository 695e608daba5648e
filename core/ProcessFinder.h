#pragma once

#include "NetAddress.h"
#include "RuleMatcher.h"

#include <optional>
#include <string>

namespace ferrow::core {

/// Finds the local program behind a loopback TCP client: its socket in /proc/net/tcp{,6}, then
/// the process holding that socket under /proc/<pid>/fd.
class ProcessFinder {
public:
    explicit ProcessFinder(std::string procRoot = "/proc") : m_procRoot(std::move(procRoot)) {}

    /// `client` is the peer address of the accepted socket, `server` our local end.
    std::optional<ProcessInfo> find(const IpAddr& client, std::uint16_t clientPort, const IpAddr& server,
                                    std::uint16_t serverPort) const;

    /// The inode of the socket with these endpoints in one /proc/net/tcp-format table.
    static std::optional<unsigned long> findSocketInode(const std::string& table, const IpAddr& local,
                                                        std::uint16_t localPort, const IpAddr& remote,
                                                        std::uint16_t remotePort);

private:
    std::string m_procRoot;
};

} // namespace ferrow::core
