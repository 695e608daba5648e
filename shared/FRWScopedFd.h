#pragma once

/// Closes a descriptor at the end of a scope. A negative descriptor is none.
class FRWScopedFd {
public:
    explicit FRWScopedFd(int fd) : m_fd(fd) {}
    ~FRWScopedFd();
    FRWScopedFd(const FRWScopedFd&) = delete;
    FRWScopedFd& operator=(const FRWScopedFd&) = delete;

    int get() const { return m_fd; }

private:
    int m_fd;
};
