#include "NetworkNamespace.h"

#include <array>
#include <cstdio>
#include <fcntl.h>
#include <sched.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace ferrow::test {

bool canMakeNamespaces()
{
    // Root alone is not enough in every container: try once whether a namespace can be made.
    static const bool can = [] {
        if (::geteuid() != 0 || ::access("/dev/net/tun", R_OK | W_OK) != 0 || shell("ip -V").first != 0) {
            return false;
        }
        const std::string probe = "frwt-probe-" + std::to_string(::getpid());
        const bool made = shell("ip netns add " + probe + " 2>/dev/null").first == 0;
        shell("ip netns del " + probe + " 2>/dev/null");
        return made;
    }();
    return can;
}

std::pair<int, std::string> shell(const std::string& command)
{
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return {-1, {}};
    }
    std::array<char, 4096> buffer{};
    while (const auto got = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        output.append(buffer.data(), got);
    }
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

NetworkNamespace::NetworkNamespace(const std::string& stem)
    : m_name("frwt-" + stem + "-" + std::to_string(::getpid()))
{
    shell("ip netns del " + m_name + " 2>/dev/null");
    if (shell("ip netns add " + m_name).first != 0) {
        throw std::runtime_error("cannot create the network namespace " + m_name);
    }
    m_fd = ::open(("/run/netns/" + m_name).c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        throw std::runtime_error("cannot open the network namespace " + m_name);
    }
    ip("link set lo up");
}

NetworkNamespace::~NetworkNamespace()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    // Processes still inside keep it alive; killing them first lets the namespace go.
    shell("ip netns pids " + m_name + " 2>/dev/null | xargs -r kill -9");
    shell("ip netns del " + m_name + " 2>/dev/null");
}

bool NetworkNamespace::ip(const std::string& arguments) const
{
    return shell("ip -n " + m_name + " " + arguments + " >/dev/null 2>&1").first == 0;
}

void NetworkNamespace::run(const std::function<void()>& work) const
{
    spawn(work).join();
}

std::thread NetworkNamespace::spawn(std::function<void()> work) const
{
    const int fd = m_fd;
    return std::thread([fd, work = std::move(work)] {
        if (::setns(fd, CLONE_NEWNET) != 0) {
            throw std::runtime_error("cannot enter the network namespace");
        }
        work();
    });
}

std::string NetworkNamespace::routingSnapshot() const
{
    std::string snapshot;
    for (const char* command :
         {"rule", "-6 rule", "route show table all", "-6 route show table all", "link"}) {
        snapshot += shell("ip -n " + m_name + " " + command + " 2>&1").second;
    }
    for (const char* key : {"net.ipv4.ip_forward", "net.ipv6.conf.all.forwarding"}) {
        snapshot += shell("ip netns exec " + m_name + " sysctl -n " + key).second;
    }
    // The kernel adds a link's IPv6 link-local address on its own, once duplicate address detection
    // is done, whenever that is: not part of what anyone changed.
    std::istringstream lines(snapshot);
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("fe80::") == std::string::npos) {
            kept += line + '\n';
        }
    }
    return kept;
}

bool connectNamespaces(const NetworkNamespace& a, const std::string& linkA, const std::string& addressA,
                       const NetworkNamespace& b, const std::string& linkB, const std::string& addressB)
{
    return shell("ip link add " + linkA + " netns " + a.name() + " type veth peer name " + linkB + " netns " +
                 b.name())
                   .first == 0 &&
           a.ip("addr add " + addressA + " dev " + linkA) && a.ip("link set " + linkA + " up") &&
           b.ip("addr add " + addressB + " dev " + linkB) && b.ip("link set " + linkB + " up");
}

} // namespace ferrow::test
