#pragma once

#include <cstddef>
#include <string>

namespace ferrow::tun {

/// A TUN link opened through /dev/net/tun: raw IP packets, no packet information header. The
/// link exists while the descriptor is open, so a core that dies takes it (and its routes) along.
class TunDevice {
public:
    /// Every packet read or written starts with a virtio-net header of this size: it carries the
    /// checksum and segmentation offload state, so large segments pass without software checksums.
    static constexpr std::size_t kHeaderSize = 10;
    /// The header's first byte has this bit when the transport checksum is still to be completed.
    static constexpr unsigned kHeaderNeedsChecksum = 1;

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
