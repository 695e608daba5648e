#include "PrivateNetwork.h"

#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ferrow::test {

namespace {

bool bringUpLoopback()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    ::close(fd);
    return up;
}

} // namespace

PrivateNetwork::PrivateNetwork()
{
    // The namespace of this thread, not of the process: only this thread moves.
    m_original = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (m_original < 0) {
        return;
    }
    if (::unshare(CLONE_NEWNET) != 0) {
        ::close(m_original);
        m_original = -1;
        return;
    }
    m_entered = bringUpLoopback();
}

PrivateNetwork::~PrivateNetwork()
{
    if (m_original >= 0) {
        ::setns(m_original, CLONE_NEWNET);
        ::close(m_original);
    }
}

} // namespace ferrow::test
