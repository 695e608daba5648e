#pragma once

#include <memory>
#include <mutex>

namespace ferrow::core {

/// A value one thread replaces whole while others read it. A reader keeps the copy it loaded for
/// as long as it needs it. (GCC 12's std::atomic<std::shared_ptr> hides its lock from
/// ThreadSanitizer, so races near it could not be told from it.)
template <typename T>
class Published {
public:
    std::shared_ptr<const T> load() const
    {
        const std::lock_guard lock(m_mutex);
        return m_value;
    }
    void store(std::shared_ptr<const T> value)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_value.swap(value);
        }
        // The previous value, perhaps the last reference to it, goes outside the lock.
    }

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const T> m_value;
};

} // namespace ferrow::core
