#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace ferrow::core {

/// The core's numbered log. Line n (from 1) is kept until `capacity` newer lines push it out.
/// A reader passes the cursor it was last given and receives the lines after it.
/// Safe to use from any thread; lines are numbered, kept and echoed in one order.
class LogStream {
public:
    enum class Level { Info, Warning, Error };

    explicit LogStream(std::size_t capacity, bool echoToStderr = true);

    void setCapacity(std::size_t capacity);
    std::size_t capacity() const;
    void add(Level level, const std::string& text);
    void info(const std::string& text) { add(Level::Info, text); }
    void warning(const std::string& text) { add(Level::Warning, text); }
    void error(const std::string& text) { add(Level::Error, text); }

    struct Slice {
        std::vector<std::string> lines;
        std::int64_t cursor = 0;
    };
    /// Lines after `cursor`. A negative cursor, or one this stream never handed out, gets every
    /// line held; the answer's cursor is always the number of the newest line.
    Slice since(std::int64_t cursor) const;
    std::int64_t lastNumber() const;

private:
    mutable std::mutex m_mutex;
    std::size_t m_capacity;
    bool m_echo;
    std::deque<std::string> m_lines;
    std::int64_t m_last = 0;
};

} // namespace ferrow::core
