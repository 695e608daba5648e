#include "NetworkMonitor.h"

#include <algorithm>
#include <arpa/inet.h>
#include <fstream>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sstream>
#include <sys/inotify.h>

#include "FRWSocketAddress.h"
#include "RouteWatcher.h"

namespace ferrow::core {

namespace {

/// Default routes from the kernel's route tables: "/proc/net/route" (main table, IPv4) lists
/// interface, destination, gateway; "/proc/net/ipv6_route" destination, prefix, ..., interface.
void addDefaultRoutes(const std::string& ignoredLink, std::vector<std::string>& lines)
{
    std::ifstream v4("/proc/net/route");
    std::string line;
    std::getline(v4, line); // the header
    while (std::getline(v4, line)) {
        std::istringstream fields(line);
        std::string link;
        std::string destination;
        std::string gateway;
        if (fields >> link >> destination >> gateway && destination == "00000000" && link != ignoredLink) {
            lines.push_back("route4 " + link + " " + gateway);
        }
    }
    std::ifstream v6("/proc/net/ipv6_route");
    while (std::getline(v6, line)) {
        std::istringstream fields(line);
        std::vector<std::string> parts;
        for (std::string part; fields >> part;) {
            parts.push_back(part);
        }
        if (parts.size() == 10 && parts[0] == std::string(32, '0') && parts[1] == "00" &&
            parts[9] != ignoredLink && parts[9] != "lo") {
            lines.push_back("route6 " + parts[9] + " " + parts[4]);
        }
    }
}

} // namespace

std::string networkFingerprint(const std::string& ignoredLink)
{
    std::vector<std::string> lines;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) == 0) {
        for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
            if (entry->ifa_addr == nullptr || (entry->ifa_flags & IFF_UP) == 0 ||
                (entry->ifa_flags & IFF_LOOPBACK) != 0 || ignoredLink == entry->ifa_name ||
                (entry->ifa_addr->sa_family != AF_INET && entry->ifa_addr->sa_family != AF_INET6)) {
                continue;
            }
            lines.push_back(std::string("address ") + entry->ifa_name + " " +
                            socketAddressText(entry->ifa_addr));
        }
        ::freeifaddrs(list);
    }
    addDefaultRoutes(ignoredLink, lines);
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    return text;
}

NetworkMonitor::NetworkMonitor(boost::asio::io_context& io, std::string ignoredLink,
                               std::vector<std::string> resolverFiles, std::function<void(Change)> changed)
    : m_io(io)
    , m_ignoredLink(std::move(ignoredLink))
    , m_resolverFiles(std::move(resolverFiles))
    , m_changed(std::move(changed))
    , m_inotify(io)
{
}

NetworkMonitor::~NetworkMonitor()
{
    stop();
}

bool NetworkMonitor::start()
{
    m_fingerprint = networkFingerprint(m_ignoredLink);
    // Soon after the last event: until the pool is dropped, a dial may take a connection that
    // died with the old address and hang until its time-out.
    m_routes = std::make_unique<tun::RouteWatcher>(
        m_io, [this] { linksChanged(); }, std::chrono::milliseconds(50));
    const bool routes = m_routes->start();
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd >= 0) {
        m_inotify.assign(fd);
        watchResolverFiles();
        readResolverEvents();
    }
    return routes || fd >= 0;
}

void NetworkMonitor::stop()
{
    if (m_routes) {
        m_routes->stop();
    }
    boost::system::error_code ignored;
    m_inotify.close(ignored);
}

void NetworkMonitor::linksChanged()
{
    auto now = networkFingerprint(m_ignoredLink);
    if (now == m_fingerprint) {
        return;
    }
    m_fingerprint = std::move(now);
    m_changed(Change::Network);
}

void NetworkMonitor::watchResolverFiles()
{
    for (const std::string& path : m_resolverFiles) {
        // The folder catches a list replaced by a rename (how network managers write it); the
        // file itself one edited in place, or bind-mounted over the folder's entry.
        const auto slash = path.rfind('/');
        const std::string folder = slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
        ::inotify_add_watch(m_inotify.native_handle(), folder.c_str(),
                            IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_CLOSE_WRITE | IN_ONLYDIR);
        ::inotify_add_watch(m_inotify.native_handle(), path.c_str(), IN_CLOSE_WRITE | IN_MODIFY);
    }
}

void NetworkMonitor::readResolverEvents()
{
    m_inotify.async_read_some(
        boost::asio::buffer(m_buffer),
        [this, alive = std::weak_ptr(m_alive)](const boost::system::error_code& error, std::size_t size) {
            // A completion may still be queued when the monitor is gone.
            if (alive.expired() || error == boost::asio::error::operation_aborted || !m_inotify.is_open()) {
                return;
            }
            bool relevant = false;
            for (std::size_t at = 0; at + sizeof(inotify_event) <= size;) {
                const auto* event = reinterpret_cast<const inotify_event*>(m_buffer + at);
                const std::string name = event->len > 0 ? std::string(event->name) : std::string();
                // An event on a watched file has no name; on a folder, only the lists' names count.
                relevant =
                    relevant || name.empty() ||
                    std::any_of(m_resolverFiles.begin(), m_resolverFiles.end(), [&](const std::string& path) {
                        return path.size() > name.size() && path.ends_with("/" + name);
                    });
                at += sizeof(inotify_event) + event->len;
            }
            if (relevant || error) {
                // A replaced file is a new inode: watch that one from now on.
                watchResolverFiles();
                m_changed(Change::Resolvers);
            }
            if (!error) {
                readResolverEvents();
            }
        });
}

} // namespace ferrow::core
