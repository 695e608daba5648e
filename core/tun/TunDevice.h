#pragma once

#include <string>

namespace ferrow::tun {

/// A TUN link opened through /dev/net/tun: raw IP packets, no packet information header. The
/// link exists while the descriptor is open, so a core that dies takes it (and its routes) along.
class TunDevice {
public:
    TunDevice() = default;
    ~TunDevice();
    TunDevice(const TunDevice&) = delete;
    TunDevice& operator=(const TunDevice&) = delete;

    /// Creates the link `name`; false with the system's reason in `error`.
    bool open(const std::string& name, std::string* error);
    void close();

    int fd() const { return m_fd; }
    int index() const { return m_index; }
    const std::string& name() const { return m_name; }

private:
    int m_fd = -1;
    int m_index = 0;
    std::string m_name;
};

} // namespace ferrow::tun
