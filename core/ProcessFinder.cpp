#include "ProcessFinder.h"

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
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

} // namespace

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

std::optional<ProcessInfo> ProcessFinder::find(const IpAddr& client, std::uint16_t clientPort,
                                               const IpAddr& server, std::uint16_t serverPort) const
{
    std::optional<unsigned long> inode;
    for (const char* table : {"/net/tcp", "/net/tcp6"}) {
        inode = findSocketInode(readText(m_procRoot + table), client, clientPort, server, serverPort);
        if (inode) {
            break;
        }
    }
    if (!inode) {
        return std::nullopt;
    }
    const std::string wanted = "socket:[" + std::to_string(*inode) + "]";
    const int self = static_cast<int>(::getpid());
    DIR* proc = ::opendir(m_procRoot.c_str());
    if (!proc) {
        return std::nullopt;
    }
    std::optional<ProcessInfo> found;
    while (const dirent* entry = ::readdir(proc)) {
        const char* name = entry->d_name;
        if (name[0] < '0' || name[0] > '9' || std::atoi(name) == self) {
            continue;
        }
        const std::string fdDir = m_procRoot + "/" + name + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds) {
            continue;
        }
        char target[64];
        while (const dirent* fd = ::readdir(fds)) {
            if (fd->d_name[0] == '.') {
                continue;
            }
            const auto length = ::readlink((fdDir + "/" + fd->d_name).c_str(), target, sizeof target - 1);
            if (length > 0 &&
                wanted.compare(0, std::string::npos, target, static_cast<std::size_t>(length)) == 0) {
                char exe[4096];
                const auto exeLength =
                    ::readlink((m_procRoot + "/" + name + "/exe").c_str(), exe, sizeof exe - 1);
                ProcessInfo info;
                if (exeLength > 0) {
                    info.path.assign(exe, static_cast<std::size_t>(exeLength));
                    info.name = info.path.substr(info.path.rfind('/') + 1);
                } else {
                    info.name = readText(m_procRoot + "/" + name + "/comm");
                    while (!info.name.empty() && info.name.back() == '\n') {
                        info.name.pop_back();
                    }
                }
                found = info;
                break;
            }
        }
        ::closedir(fds);
        if (found) {
            break;
        }
    }
    ::closedir(proc);
    return found;
}

} // namespace ferrow::core
