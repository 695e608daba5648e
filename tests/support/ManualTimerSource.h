#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include <QList>
#include <QMutex>

#include "FRWTimerSource.h"

namespace ferrow::test {

/// Timers that fire only when the test moves time on with `advance`, at the moment they are due
/// and in that order. Timers may be started from other threads (their timeouts reach receivers
/// there queued); none may be destroyed while `advance` runs.
class ManualTimerSource : public FRWTimerSource {
public:
    FRWTimer* createTimer(QObject* parent, Qt::TimerType type = Qt::CoarseTimer) override;

    /// Moves time on by `step`, firing every timer that comes due meanwhile, also those that the
    /// handlers of an earlier one start.
    void advance(std::chrono::milliseconds step);
    std::chrono::milliseconds now() const;
    /// Timers that are running.
    int pending() const;
    /// Time until the first running timer is due; none when nothing runs.
    std::optional<std::chrono::milliseconds> untilNext() const;

private:
    class Timer;
    friend class Timer;
    Timer* firstDueBy(std::chrono::milliseconds limit);

    mutable QMutex m_lock;
    std::chrono::milliseconds m_now{0};
    QList<Timer*> m_timers;
    std::uint64_t m_starts = 0;
};

} // namespace ferrow::test
