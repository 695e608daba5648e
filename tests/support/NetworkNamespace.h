#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace ferrow::test {

/// Whether this process may create network namespaces and TUN links (root).
bool canMakeNamespaces();

/// Runs a command line with /bin/sh; its exit status and standard output.
std::pair<int, std::string> shell(const std::string& command);

/// A named network namespace made with `ip netns` and removed with it.
class NetworkNamespace {
public:
    explicit NetworkNamespace(const std::string& stem);
    ~NetworkNamespace();
    NetworkNamespace(const NetworkNamespace&) = delete;
    NetworkNamespace& operator=(const NetworkNamespace&) = delete;

    const std::string& name() const { return m_name; }
    /// `ip -n NAME ARGS`; false when it failed.
    bool ip(const std::string& arguments) const;
    /// Runs `work` on a thread that entered the namespace, and waits for it. Sockets made there
    /// stay in the namespace when used from anywhere.
    void run(const std::function<void()>& work) const;
    /// A thread inside the namespace (for servers); joined by the caller.
    std::thread spawn(std::function<void()> work) const;
    /// What a namespace's routing looks like: rules, every table's routes and forwarding.
    std::string routingSnapshot() const;

private:
    std::string m_name;
    int m_fd = -1;
};

/// Joins two namespaces with a veth pair: `a` gets addressA, `b` addressB (with prefixes).
bool connectNamespaces(const NetworkNamespace& a, const std::string& linkA, const std::string& addressA,
                       const NetworkNamespace& b, const std::string& linkB, const std::string& addressB);

} // namespace ferrow::test
