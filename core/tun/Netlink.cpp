#include "Netlink.h"

#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ferrow::tun {

NetlinkMessage::NetlinkMessage(std::uint16_t type, std::uint16_t flags) : m_bytes(NLMSG_HDRLEN, 0)
{
    header()->nlmsg_type = type;
    header()->nlmsg_flags = flags | NLM_F_REQUEST;
    header()->nlmsg_len = NLMSG_HDRLEN;
}

NetlinkMessage NetlinkMessage::copyOf(const nlmsghdr& received, std::uint16_t type)
{
    NetlinkMessage message(type, 0);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&received);
    message.m_bytes.assign(bytes, bytes + received.nlmsg_len);
    message.header()->nlmsg_type = type;
    message.header()->nlmsg_flags = NLM_F_REQUEST;
    return message;
}

nlmsghdr* NetlinkMessage::header()
{
    return reinterpret_cast<nlmsghdr*>(m_bytes.data());
}

std::size_t NetlinkMessage::bodyOffset()
{
    return NLMSG_HDRLEN;
}

void NetlinkMessage::reserveBody(std::size_t size)
{
    const std::size_t wanted = NLMSG_HDRLEN + NLMSG_ALIGN(size);
    if (m_bytes.size() < wanted) {
        m_bytes.resize(wanted, 0);
        header()->nlmsg_len = static_cast<std::uint32_t>(m_bytes.size());
    }
}

void NetlinkMessage::addAttribute(std::uint16_t type, const void* data, std::size_t size)
{
    const std::size_t offset = m_bytes.size();
    m_bytes.resize(offset + RTA_SPACE(size), 0);
    auto* attribute = reinterpret_cast<rtattr*>(m_bytes.data() + offset);
    attribute->rta_type = type;
    attribute->rta_len = static_cast<unsigned short>(RTA_LENGTH(size));
    if (size > 0) {
        std::memcpy(RTA_DATA(attribute), data, size);
    }
    header()->nlmsg_len = static_cast<std::uint32_t>(m_bytes.size());
}

std::size_t NetlinkMessage::beginNested(std::uint16_t type)
{
    const std::size_t offset = m_bytes.size();
    addAttribute(type | NLA_F_NESTED, nullptr, 0);
    return offset;
}

void NetlinkMessage::endNested(std::size_t offset)
{
    auto* attribute = reinterpret_cast<rtattr*>(m_bytes.data() + offset);
    attribute->rta_len = static_cast<unsigned short>(m_bytes.size() - offset);
}

const std::string* NetlinkAttributes::find(std::uint16_t type) const
{
    const std::string* found = nullptr;
    for (const auto& [itemType, value] : items) {
        if (itemType == type) {
            found = &value;
        }
    }
    return found;
}

std::uint32_t NetlinkAttributes::u32(std::uint16_t type, std::uint32_t fallback) const
{
    const auto* value = find(type);
    if (!value || value->size() < sizeof(std::uint32_t)) {
        return fallback;
    }
    std::uint32_t result = 0;
    std::memcpy(&result, value->data(), sizeof result);
    return result;
}

NetlinkAttributes NetlinkAttributes::parse(const void* data, std::size_t size)
{
    NetlinkAttributes attributes;
    auto* attribute = static_cast<const rtattr*>(data);
    auto remaining = static_cast<int>(size);
    while (RTA_OK(attribute, remaining)) {
        attributes.items.emplace_back(
            attribute->rta_type & NLA_TYPE_MASK,
            std::string(static_cast<const char*>(RTA_DATA(attribute)), RTA_PAYLOAD(attribute)));
        attribute = RTA_NEXT(attribute, remaining);
    }
    return attributes;
}

NetlinkSocket::NetlinkSocket() : m_fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE))
{
    if (m_fd < 0) {
        return;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    const int on = 1;
    // Extended acknowledgements carry the kernel's reason; harmless where unsupported.
    ::setsockopt(m_fd, SOL_NETLINK, NETLINK_EXT_ACK, &on, sizeof on);
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

NetlinkSocket::~NetlinkSocket()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

int NetlinkSocket::request(NetlinkMessage& message)
{
    int result = EIO;
    const int dumped = dump(message, [&result](const nlmsghdr& reply) {
        if (reply.nlmsg_type == NLMSG_ERROR) {
            result = -static_cast<const nlmsgerr*>(NLMSG_DATA(&reply))->error;
        }
    });
    return dumped != 0 ? dumped : result;
}

int NetlinkSocket::dump(NetlinkMessage& message, const std::function<void(const nlmsghdr&)>& visit)
{
    if (m_fd < 0) {
        return EBADF;
    }
    auto* header = message.header();
    header->nlmsg_seq = m_sequence++;
    const bool isDump = (header->nlmsg_flags & NLM_F_DUMP) == NLM_F_DUMP;
    if (!isDump) {
        header->nlmsg_flags |= NLM_F_ACK;
    }
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(m_fd, header, message.size(), 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0) {
        return errno;
    }
    std::vector<char> buffer(std::size_t{64} * 1024);
    while (true) {
        const ssize_t got = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        auto* reply = reinterpret_cast<nlmsghdr*>(buffer.data());
        auto remaining = static_cast<int>(got);
        for (; NLMSG_OK(reply, remaining); reply = NLMSG_NEXT(reply, remaining)) {
            if (reply->nlmsg_seq != header->nlmsg_seq) {
                continue;
            }
            if (reply->nlmsg_type == NLMSG_DONE) {
                return 0;
            }
            if (reply->nlmsg_type == NLMSG_ERROR) {
                const int error = -static_cast<const nlmsgerr*>(NLMSG_DATA(reply))->error;
                if (isDump) {
                    return error;
                }
                visit(*reply);
                return 0;
            }
            visit(*reply);
        }
    }
}

} // namespace ferrow::tun
