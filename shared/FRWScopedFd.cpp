#include "FRWScopedFd.h"

#include <unistd.h>

FRWScopedFd::~FRWScopedFd()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}
