#pragma once

namespace ferrow::test {

/// Moves the calling thread into a network namespace of its own, with only a loopback link that
/// is up, and back out when destroyed. Sockets the thread makes and processes it starts stay in
/// that namespace, so fixed ports cannot clash with anything else on the machine. Needs the right
/// to make namespaces (root); without it nothing changes and entered() is false.
class PrivateNetwork {
public:
    PrivateNetwork();
    ~PrivateNetwork();
    PrivateNetwork(const PrivateNetwork&) = delete;
    PrivateNetwork& operator=(const PrivateNetwork&) = delete;

    bool entered() const { return m_entered; }

private:
    int m_original = -1;
    bool m_entered = false;
};

} // namespace ferrow::test
