#include "TunDevice.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ferrow::tun {

TunDevice::~TunDevice()
{
    close();
}

bool TunDevice::open(const std::string& name, std::string* error)
{
    close();
    if (name.empty() || name.size() >= IFNAMSIZ) {
        *error = "invalid TUN name \"" + name + "\"";
        return false;
    }
    m_fd = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0) {
        *error = std::string("cannot open /dev/net/tun: ") + std::strerror(errno);
        return false;
    }
    ifreq request{};
    request.ifr_flags = IFF_TUN | IFF_NO_PI | IFF_VNET_HDR;
    std::memcpy(request.ifr_name, name.c_str(), name.size());
    if (::ioctl(m_fd, TUNSETIFF, &request) != 0) {
        *error = "cannot create the TUN link " + name + ": " + std::strerror(errno);
        close();
        return false;
    }
    m_name = request.ifr_name;
    int headerSize = static_cast<int>(kHeaderSize);
    // Offloads are an optimisation: without them the header only ever says "checksum complete".
    if (::ioctl(m_fd, TUNSETVNETHDRSZ, &headerSize) == 0) {
        ::ioctl(m_fd, TUNSETOFFLOAD, TUN_F_CSUM | TUN_F_TSO4 | TUN_F_TSO6);
    }
    m_index = static_cast<int>(::if_nametoindex(m_name.c_str()));
    if (m_index <= 0) {
        *error = "cannot find the index of " + name;
        close();
        return false;
    }
    return true;
}

void TunDevice::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_index = 0;
}

} // namespace ferrow::tun
