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

LogStream::Slice LogStream::since(std::int64_t cursor) const
{
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
