#include "SocketMark.h"

#include <atomic>
#include <sys/socket.h>

namespace ferrow::core {

namespace {
std::atomic<std::uint32_t> g_mark{0};
}

void setOutboundMark(std::uint32_t mark)
{
    g_mark = mark;
}

std::uint32_t outboundMark()
{
    return g_mark;
}

bool markOutbound(int fd)
{
    const std::uint32_t mark = g_mark;
    if (mark == 0) {
        return true;
    }
    return fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_MARK, &mark, sizeof mark) == 0;
}

} // namespace ferrow::core
