#include "ProcessFinder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <pwd.h>
#include <set>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace ferrow::core {

namespace {

// /proc/net/tcp prints each 32-bit word of the address in host byte order as hex.
std::string procHex(const IpAddr& address, bool asV6)
{
    std::array<std::uint8_t, 16> bytes{};
    std::size_t length = 4;
    if (asV6) {
        length = 16;
        if (address.v6) {
            bytes = address.bytes;
        } else {
            bytes[10] = 0xff;
            bytes[11] = 0xff;
            std::memcpy(bytes.data() + 12, address.bytes.data(), 4);
        }
    } else {
        std::memcpy(bytes.data(), address.bytes.data(), 4);
    }
    std::string out;
    char digits[3];
    for (std::size_t word = 0; word < length; word += 4) {
        for (int i = 3; i >= 0; --i) {
            std::snprintf(digits, sizeof digits, "%02X", bytes[word + static_cast<std::size_t>(i)]);
            out += digits;
        }
    }
    return out;
}

std::string readText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<unsigned long> socketInodeOf(const char* link, std::size_t length)
{
    constexpr std::string_view prefix = "socket:[";
    const std::string_view text(link, length);
    if (text.size() <= prefix.size() + 1 || text.substr(0, prefix.size()) != prefix || text.back() != ']') {
        return std::nullopt;
    }
    unsigned long inode = 0;
    for (const char c : text.substr(prefix.size(), text.size() - prefix.size() - 1)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        inode = inode * 10 + static_cast<unsigned long>(c - '0');
    }
    return inode;
}

} // namespace

ProcessFinder::ProcessFinder(std::string procRoot)
    : m_procRoot(std::move(procRoot)), m_self(static_cast<int>(::getpid()))
{
}

ProcessFinder::~ProcessFinder()
{
    if (m_netlink >= 0) {
        ::close(m_netlink);
    }
}

std::optional<unsigned long> ProcessFinder::findSocketInode(const std::string& table, const IpAddr& local,
                                                            std::uint16_t localPort, const IpAddr& remote,
                                                            std::uint16_t remotePort)
{
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line); // header
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string slot, localField, remoteField, state, queues, timer, retransmits, uid, timeout;
        unsigned long inode = 0;
        if (!(fields >> slot >> localField >> remoteField >> state >> queues >> timer >> retransmits >> uid >>
              timeout >> inode)) {
            continue;
        }
        const bool v6 = localField.size() > 14;
        char portText[8];
        std::snprintf(portText, sizeof portText, ":%04X", localPort);
        const std::string wantLocal = procHex(local, v6) + portText;
        std::snprintf(portText, sizeof portText, ":%04X", remotePort);
        const std::string wantRemote = procHex(remote, v6) + portText;
        if (localField == wantLocal && remoteField == wantRemote && inode != 0) {
            return inode;
        }
    }
    return std::nullopt;
}

std::optional<ProcessFinder::SocketOwner> ProcessFinder::askKernel(const SocketKey& key, bool& unavailable)
{
    if (m_netlink < 0) {
        m_netlink = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
        if (m_netlink < 0) {
            unavailable = true;
            return std::nullopt;
        }
        timeval timeout{1, 0};
        ::setsockopt(m_netlink, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    // An IPv4 client may hold an IPv6 socket with a mapped address: ask both families.
    const std::vector<int> families =
        key.client.v6 ? std::vector<int>{AF_INET6} : std::vector<int>{AF_INET, AF_INET6};
    for (const int family : families) {
        struct {
            nlmsghdr header;
            inet_diag_req_v2 request;
        } message{};
        message.header.nlmsg_len = sizeof message;
        message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
        message.header.nlmsg_flags = NLM_F_REQUEST;
        message.header.nlmsg_seq = ++m_sequence;
        message.request.sdiag_family = static_cast<std::uint8_t>(family);
        message.request.sdiag_protocol = IPPROTO_TCP;
        message.request.idiag_states = ~0u;
        message.request.id.idiag_sport = htons(key.clientPort);
        message.request.id.idiag_dport = htons(key.serverPort);
        message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
        message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
        const auto put = [family](std::uint32_t* out, const IpAddr& address) {
            if (family == AF_INET) {
                std::memcpy(out, address.bytes.data(), 4);
            } else if (address.v6) {
                std::memcpy(out, address.bytes.data(), 16);
            } else {
                auto* bytes = reinterpret_cast<std::uint8_t*>(out);
                bytes[10] = 0xff;
                bytes[11] = 0xff;
                std::memcpy(bytes + 12, address.bytes.data(), 4);
            }
        };
        put(message.request.id.idiag_src, key.client);
        put(message.request.id.idiag_dst, key.server);
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (::sendto(m_netlink, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
                     sizeof kernel) < 0) {
            unavailable = true;
            return std::nullopt;
        }
        alignas(nlmsghdr) char buffer[8192];
        // An answer to an earlier request that came after its time-out is skipped by number.
        bool answered = false;
        while (!answered) {
            const auto received = ::recv(m_netlink, buffer, sizeof buffer, 0);
            if (received < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    return std::nullopt; // slow this once: unknown, but sock_diag stays in use
                }
                unavailable = true;
                return std::nullopt;
            }
            auto remaining = static_cast<int>(received);
            for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, remaining);
                 header = NLMSG_NEXT(header, remaining)) {
                if (header->nlmsg_seq != m_sequence) {
                    continue;
                }
                answered = true;
                if (header->nlmsg_type == NLMSG_ERROR) {
                    const auto* failure = static_cast<const nlmsgerr*>(NLMSG_DATA(header));
                    if (failure->error != -ENOENT) {
                        unavailable = true;
                        return std::nullopt;
                    }
                    break;
                }
                if (header->nlmsg_type == SOCK_DIAG_BY_FAMILY) {
                    const auto* answer = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
                    return SocketOwner{answer->idiag_inode, static_cast<uid_t>(answer->idiag_uid)};
                }
            }
        }
    }
    return std::nullopt;
}

std::optional<ProcessFinder::SocketOwner> ProcessFinder::socketOwner(const SocketKey& key, bool& tablesRead,
                                                                     std::string tables[2])
{
    if (!m_netlinkBroken) {
        bool unavailable = false;
        auto owner = askKernel(key, unavailable);
        if (!unavailable) {
            return owner;
        }
        m_netlinkBroken = true; // no sock_diag here: fall back to the tables for good
    }
    if (!tablesRead) {
        tables[0] = readText(m_procRoot + "/net/tcp");
        tables[1] = readText(m_procRoot + "/net/tcp6");
        tablesRead = true;
    }
    for (int i = 0; i < 2; ++i) {
        if (const auto inode =
                findSocketInode(tables[i], key.client, key.clientPort, key.server, key.serverPort)) {
            return SocketOwner{*inode, std::nullopt};
        }
    }
    return std::nullopt;
}

bool ProcessFinder::stillOwns(const SocketHolder& owner, unsigned long inode) const
{
    char target[64];
    char path[512];
    const int written =
        std::snprintf(path, sizeof path, "%s/%d/fd/%s", m_procRoot.c_str(), owner.pid, owner.fdName.c_str());
    if (written <= 0 || static_cast<std::size_t>(written) >= sizeof path) {
        return false;
    }
    const auto length = ::readlink(path, target, sizeof target - 1);
    if (length <= 0) {
        return false;
    }
    const auto found = socketInodeOf(target, static_cast<std::size_t>(length));
    return found && *found == inode;
}

bool ProcessFinder::scanProcess(int pid, std::set<unsigned long>& missing)
{
    const std::string fdDir = m_procRoot + "/" + std::to_string(pid) + "/fd";
    DIR* fds = ::opendir(fdDir.c_str());
    if (!fds) {
        std::erase(m_recentPids, pid);
        return false;
    }
    char target[64];
    bool holds = false;
    const int folder = ::dirfd(fds);
    while (const dirent* fd = ::readdir(fds)) {
        if (fd->d_name[0] == '.') {
            continue;
        }
        // Relative to the open folder: no path to build or walk per descriptor.
        const auto length = ::readlinkat(folder, fd->d_name, target, sizeof target - 1);
        const auto inode =
            length > 0 ? socketInodeOf(target, static_cast<std::size_t>(length)) : std::nullopt;
        if (!inode) {
            continue;
        }
        m_owners.remember(*inode, SocketHolder{pid, fd->d_name});
        if (missing.erase(*inode) > 0) {
            m_owners.use(*inode);
            holds = true;
            // New sockets take the lowest free numbers, which the listing gives first: a busy
            // program's other descriptors need not be read each time.
            if (missing.empty()) {
                break;
            }
        }
        // A walk over a machine with very many sockets must not hold them all at once.
        if (m_owners.size() > 2 * m_owners.capacity()) {
            m_owners.trim();
        }
    }
    ::closedir(fds);
    if (holds && std::find(m_recentPids.begin(), m_recentPids.end(), pid) == m_recentPids.end()) {
        m_recentPids.push_back(pid);
        if (m_recentPids.size() > 32) {
            m_recentPids.erase(m_recentPids.begin());
        }
    }
    return holds;
}

bool ProcessFinder::stillHeld(const SocketKey& key, unsigned long inode)
{
    if (m_netlinkBroken) {
        return true; // the tables cannot tell a closed socket apart cheaply; assume it is held
    }
    bool unavailable = false;
    const auto now = askKernel(key, unavailable);
    return unavailable || (now && now->inode == inode);
}

void ProcessFinder::rescan(const std::vector<unsigned long>& wanted, const std::vector<uid_t>& uids,
                           const std::function<void(std::set<unsigned long>&)>& dropClosed)
{
    std::set<unsigned long> missing(wanted.begin(), wanted.end());
    // Processes that held clients lately first: a program that opens many connections is found
    // without listing /proc, which costs a stat per process.
    const std::vector<int> recent = m_recentPids;
    for (const int pid : recent) {
        if (missing.empty()) {
            break;
        }
        scanProcess(pid, missing);
    }
    if (!missing.empty() && dropClosed) {
        dropClosed(missing);
    }
    if (missing.empty()) {
        m_owners.trim();
        return;
    }
    std::vector<int> pids;
    if (DIR* proc = ::opendir(m_procRoot.c_str())) {
        while (const dirent* entry = ::readdir(proc)) {
            if (entry->d_name[0] >= '1' && entry->d_name[0] <= '9') {
                pids.push_back(std::atoi(entry->d_name));
            }
        }
        ::closedir(proc);
    }
    // Then the owners' processes; then the rest.
    std::vector<std::pair<int, int>> ordered;
    for (const int pid : pids) {
        if (pid == m_self || std::find(recent.begin(), recent.end(), pid) != recent.end()) {
            continue;
        }
        struct stat info {};
        const auto folder = m_procRoot + "/" + std::to_string(pid);
        const bool owners = !uids.empty() && ::stat(folder.c_str(), &info) == 0 &&
                            std::find(uids.begin(), uids.end(), info.st_uid) != uids.end();
        ordered.emplace_back(owners ? 0 : 1, pid);
    }
    std::sort(ordered.begin(), ordered.end());
    for (const auto& [rank, pid] : ordered) {
        if (missing.empty()) {
            break;
        }
        scanProcess(pid, missing);
    }
    m_owners.trim();
}

std::string ProcessFinder::accountLabel(uid_t uid)
{
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    const std::string number = "uid " + std::to_string(uid);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name) {
        return std::string(found->pw_name) + " (" + number + ")";
    }
    return "(" + number + ")";
}

std::optional<ProcessInfo> ProcessFinder::describe(int pid) const
{
    const auto base = m_procRoot + "/" + std::to_string(pid);
    char exe[4096];
    const auto exeLength = ::readlink((base + "/exe").c_str(), exe, sizeof exe - 1);
    ProcessInfo info;
    if (exeLength > 0) {
        info.path.assign(exe, static_cast<std::size_t>(exeLength));
        constexpr std::string_view deleted = " (deleted)";
        if (info.path.size() > deleted.size() &&
            info.path.compare(info.path.size() - deleted.size(), deleted.size(), deleted) == 0) {
            info.path.resize(info.path.size() - deleted.size());
        }
        info.name = info.path.substr(info.path.rfind('/') + 1);
    } else {
        info.name = readText(base + "/comm");
        while (!info.name.empty() && info.name.back() == '\n') {
            info.name.pop_back();
        }
        if (info.name.empty()) {
            return std::nullopt;
        }
    }
    return info;
}

namespace {

/// Appends the answer this batch already gave for `key`, or makes it and remembers where it is.
template <typename Key, typename Make>
void answerOnce(std::vector<std::pair<Key, std::size_t>>& given, const Key& key,
                std::vector<std::optional<ProcessInfo>>& out, const Make& make)
{
    const auto same =
        std::find_if(given.begin(), given.end(), [&key](const auto& entry) { return entry.first == key; });
    if (same != given.end()) {
        out.push_back(out[same->second]);
        return;
    }
    given.emplace_back(key, out.size());
    out.push_back(make());
}

} // namespace

std::vector<std::optional<ProcessInfo>> ProcessFinder::findMany(const std::vector<SocketKey>& keys)
{
    bool tablesRead = false;
    std::string tables[2];
    std::vector<std::optional<SocketOwner>> sockets;
    std::vector<unsigned long> missing;
    std::vector<std::pair<SocketKey, unsigned long>> missingKeys;
    std::vector<uid_t> uids;
    for (const auto& key : keys) {
        sockets.push_back(socketOwner(key, tablesRead, tables));
        const auto& socket = sockets.back();
        // Inode 0: a socket its program has closed, held by no process any more.
        if (!socket || socket->inode == 0) {
            continue;
        }
        const SocketHolder* known = m_owners.use(socket->inode);
        if (!known || !stillOwns(*known, socket->inode)) {
            missing.push_back(socket->inode);
            missingKeys.emplace_back(key, socket->inode);
            if (socket->uid && std::find(uids.begin(), uids.end(), *socket->uid) == uids.end()) {
                uids.push_back(*socket->uid);
            }
        }
    }
    if (!missing.empty()) {
        // Short connections are often closed by the time their batch is looked up: the socket
        // is then held by nobody, and listing every process for it would find nothing.
        rescan(missing, uids, [&](std::set<unsigned long>& left) {
            for (const auto& [key, inode] : missingKeys) {
                if (left.contains(inode) && !stillHeld(key, inode)) {
                    left.erase(inode);
                }
            }
        });
    }
    std::vector<std::optional<ProcessInfo>> out;
    out.reserve(sockets.size());
    // A batch is mostly one busy program's connections: each process is described once.
    std::vector<std::pair<int, std::size_t>> described;  // pid, its first answer in `out`
    std::vector<std::pair<uid_t, std::size_t>> labelled; // uid, likewise
    for (const auto& socket : sockets) {
        const SocketHolder* owner = socket ? m_owners.use(socket->inode) : nullptr;
        if (owner) {
            const auto pid = owner->pid;
            answerOnce(described, pid, out, [&] { return describe(pid); });
        } else if (socket && socket->uid) {
            // Another user's program is out of our reach; its account still tells who it is.
            const auto uid = *socket->uid;
            answerOnce(labelled, uid, out, [&] { return std::optional(ProcessInfo{accountLabel(uid), {}}); });
        } else {
            out.emplace_back(std::nullopt);
        }
    }
    return out;
}

std::optional<ProcessInfo> ProcessFinder::find(const IpAddr& client, std::uint16_t clientPort,
                                               const IpAddr& server, std::uint16_t serverPort)
{
    return findMany({SocketKey{client, clientPort, server, serverPort}}).front();
}

} // namespace ferrow::core
