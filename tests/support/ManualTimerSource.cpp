#include "ManualTimerSource.h"

#include <algorithm>

#include <QMutexLocker>

namespace ferrow::test {

class ManualTimerSource::Timer : public FRWTimer {
public:
    Timer(ManualTimerSource& source, QObject* parent) : FRWTimer(parent), m_source(source)
    {
        const QMutexLocker lock(&m_source.m_lock);
        m_source.m_timers.append(this);
    }
    ~Timer() override
    {
        const QMutexLocker lock(&m_source.m_lock);
        m_source.m_timers.removeOne(this);
    }

    void start(std::chrono::milliseconds interval) override
    {
        const QMutexLocker lock(&m_source.m_lock);
        active = true;
        due = m_source.m_now + interval;
        // Timers due at the same moment fire in the order they were started.
        order = ++m_source.m_starts;
    }
    void stop() override
    {
        const QMutexLocker lock(&m_source.m_lock);
        active = false;
    }
    bool isActive() const override
    {
        const QMutexLocker lock(&m_source.m_lock);
        return active;
    }

    void fire() { emit timeout(); }

    bool active = false;
    std::chrono::milliseconds due{0};
    std::uint64_t order = 0;

private:
    ManualTimerSource& m_source;
};

FRWTimer* ManualTimerSource::createTimer(QObject* parent, Qt::TimerType /*type*/)
{
    return new Timer(*this, parent);
}

ManualTimerSource::Timer* ManualTimerSource::firstDueBy(std::chrono::milliseconds limit)
{
    const QMutexLocker lock(&m_lock);
    Timer* first = nullptr;
    for (Timer* timer : m_timers) {
        if (timer->active && timer->due <= limit &&
            (!first || timer->due < first->due ||
             (timer->due == first->due && timer->order < first->order))) {
            first = timer;
        }
    }
    if (first) {
        first->active = false;
        m_now = std::max(m_now, first->due);
    }
    return first;
}

void ManualTimerSource::advance(std::chrono::milliseconds step)
{
    const std::chrono::milliseconds target = now() + step;
    while (Timer* timer = firstDueBy(target)) {
        timer->fire();
    }
    const QMutexLocker lock(&m_lock);
    m_now = target;
}

std::chrono::milliseconds ManualTimerSource::now() const
{
    const QMutexLocker lock(&m_lock);
    return m_now;
}

int ManualTimerSource::pending() const
{
    const QMutexLocker lock(&m_lock);
    return static_cast<int>(
        std::count_if(m_timers.cbegin(), m_timers.cend(), [](const Timer* t) { return t->active; }));
}

std::optional<std::chrono::milliseconds> ManualTimerSource::untilNext() const
{
    const QMutexLocker lock(&m_lock);
    std::optional<std::chrono::milliseconds> next;
    for (const Timer* timer : m_timers) {
        if (timer->active && (!next || timer->due - m_now < *next)) {
            next = timer->due - m_now;
        }
    }
    return next;
}

} // namespace ferrow::test
