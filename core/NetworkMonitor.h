#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>

namespace ferrow::tun {
class RouteWatcher;
}

namespace ferrow::core {

/// What this machine's network looks like to the core: the addresses of its links and its default
/// routes, in one comparable text. The tunnel's own link is left out, so its coming and going is
/// no change of network.
std::string networkFingerprint(const std::string& ignoredLink);

/// Tells the core when the network under it changed: another address or default route (a new
/// DHCP lease, Wi-Fi to Ethernet, another program's VPN), or an edited resolver list. Netlink
/// events are settled and compared by fingerprint, so the tunnel's own routes do not count.
class NetworkMonitor {
public:
    enum class Change { Network, Resolvers };

    /// `resolverFiles`: the resolver lists to watch (resolv.conf and resolved's copy).
    NetworkMonitor(boost::asio::io_context& io, std::string ignoredLink,
                   std::vector<std::string> resolverFiles, std::function<void(Change)> changed);
    ~NetworkMonitor();
    NetworkMonitor(const NetworkMonitor&) = delete;
    NetworkMonitor& operator=(const NetworkMonitor&) = delete;

    /// False when neither kind of change can be watched.
    bool start();
    void stop();

private:
    void linksChanged();
    void watchResolverFiles();
    void readResolverEvents();

    boost::asio::io_context& m_io;
    std::string m_ignoredLink;
    std::vector<std::string> m_resolverFiles;
    std::function<void(Change)> m_changed;
    std::unique_ptr<tun::RouteWatcher> m_routes;
    std::string m_fingerprint;
    boost::asio::posix::stream_descriptor m_inotify;
    char m_buffer[4096];
    std::shared_ptr<char> m_alive = std::make_shared<char>(); // expires with the monitor
};

} // namespace ferrow::core
