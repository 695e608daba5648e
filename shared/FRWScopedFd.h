#pragma once

/// Closes a descriptor at the end of a scope. A negative descriptor is none.
class FRWScopedFd {
public:
    explicit FRWScopedFd(int fd) : m_fd(fd) {}
    ~FRWScopedFd();
    FRWScopedFd(const FRWScopedFd&) = delete;
    FRWScopedFd& operator=(const FRWScopedFd&) = delete;
    FRWScopedFd(FRWScopedFd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    FRWScopedFd& operator=(FRWScopedFd&& other) noexcept;

    int get() const { return m_fd; }
    /// Gives the descriptor up without closing it.
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};
