#include "LogStream.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "NetAddress.h"

namespace ferrow::core {

namespace {

constexpr std::size_t kMaxEntry = 1024;

} // namespace

LogStream::LogStream(std::size_t capacity, bool echoToStderr) : m_capacity(capacity), m_echo(echoToStderr)
{
}

void LogStream::setCapacity(std::size_t capacity)
{
    const std::lock_guard lock(m_mutex);
    m_capacity = capacity;
    while (m_lines.size() > m_capacity) {
        m_lines.pop_front();
    }
}

void LogStream::add(Level level, const std::string& text)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    const char* tag = level == Level::Info ? "info" : level == Level::Warning ? "warning" : "error";
    std::string line = std::string(stamp) + " [" + tag + "] ";
    // One entry is one line: embedded breaks would split it on every reader.
    for (char c : clipped(text, kMaxEntry)) {
        line += (c == '\n' || c == '\r') ? ' ' : c;
    }
    // The echo is inside the lock so stderr shows lines in the order of their numbers.
    const std::lock_guard lock(m_mutex);
    if (m_echo) {
        std::fprintf(stderr, "ferrow-core: %s\n", line.c_str());
    }
    ++m_last;
    if (m_capacity == 0) {
        return;
    }
    m_lines.push_back(std::move(line));
    while (m_lines.size() > m_capacity) {
        m_lines.pop_front();
    }
}

std::size_t LogStream::capacity() const
{
    const std::lock_guard lock(m_mutex);
    return m_capacity;
}

std::int64_t LogStream::lastNumber() const
{
    const std::lock_guard lock(m_mutex);
    return m_last;
}

LogStream::Slice LogStream::since(std::int64_t cursor) const
{
    const std::lock_guard lock(m_mutex);
    Slice slice;
    slice.cursor = m_last;
    const std::int64_t first = m_last - static_cast<std::int64_t>(m_lines.size()) + 1;
    std::int64_t from = first;
    if (cursor >= 0 && cursor <= m_last) {
        from = std::max(first, cursor + 1);
    }
    for (std::int64_t n = from; n <= m_last; ++n) {
        slice.lines.push_back(m_lines[static_cast<std::size_t>(n - first)]);
    }
    return slice;
}

} // namespace ferrow::core
