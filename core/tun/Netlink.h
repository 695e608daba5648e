#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct nlmsghdr;

namespace ferrow::tun {

/// One rtnetlink request under construction: a header, a family-specific body and attributes.
class NetlinkMessage {
public:
    NetlinkMessage(std::uint16_t type, std::uint16_t flags);
    /// A copy of a received message with a new type, e.g. a dumped rule sent back for deletion.
    static NetlinkMessage copyOf(const nlmsghdr& received, std::uint16_t type);

    template <typename Body>
    Body& body()
    {
        reserveBody(sizeof(Body));
        return *reinterpret_cast<Body*>(m_bytes.data() + bodyOffset());
    }
    void addAttribute(std::uint16_t type, const void* data, std::size_t size);
    void addU32(std::uint16_t type, std::uint32_t value) { addAttribute(type, &value, sizeof value); }
    void addU8(std::uint16_t type, std::uint8_t value) { addAttribute(type, &value, sizeof value); }
    void addString(std::uint16_t type, const std::string& value)
    {
        addAttribute(type, value.c_str(), value.size() + 1);
    }
    /// Opens a nested attribute; close it with endNested(the returned offset).
    std::size_t beginNested(std::uint16_t type);
    void endNested(std::size_t offset);

    nlmsghdr* header();
    std::size_t size() const { return m_bytes.size(); }

private:
    static std::size_t bodyOffset();
    void reserveBody(std::size_t size);
    std::vector<unsigned char> m_bytes;
};

/// Attributes of a received message, by type (the last one of a type wins).
struct NetlinkAttributes {
    std::vector<std::pair<std::uint16_t, std::string>> items;
    const std::string* find(std::uint16_t type) const;
    std::uint32_t u32(std::uint16_t type, std::uint32_t fallback = 0) const;
    static NetlinkAttributes parse(const void* data, std::size_t size);
};

/// A blocking NETLINK_ROUTE socket in the caller's network namespace.
class NetlinkSocket {
public:
    NetlinkSocket();
    ~NetlinkSocket();
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    /// Sends a request that asks for an acknowledgement; 0 or the kernel's errno.
    int request(NetlinkMessage& message);
    /// Sends a dump request and calls `visit` for each message of the answer; 0 or an errno.
    int dump(NetlinkMessage& message, const std::function<void(const nlmsghdr&)>& visit);

private:
    int m_fd = -1;
    std::uint32_t m_sequence = 1;
};

} // namespace ferrow::tun
