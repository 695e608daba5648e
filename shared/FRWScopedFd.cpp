#include "FRWScopedFd.h"

#include <unistd.h>

FRWScopedFd::~FRWScopedFd()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

FRWScopedFd& FRWScopedFd::operator=(FRWScopedFd&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}
