#pragma once

#include <chrono>
#include <functional>

#include <QObject>

/// A one-shot timer made by an `FRWTimerSource`. Starting a running timer moves its due time.
class FRWTimer : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void start(std::chrono::milliseconds interval) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    void timeout();
};

/// Where timers come from, behind a seam beside `FRWClock`: real ones in the program, in tests
/// ones that fire only when the test moves time on.
class FRWTimerSource {
public:
    FRWTimerSource() = default;
    virtual ~FRWTimerSource() = default;
    FRWTimerSource(const FRWTimerSource&) = delete;
    FRWTimerSource& operator=(const FRWTimerSource&) = delete;

    /// A stopped timer owned by `parent`, in its thread. A precise one never fires early.
    virtual FRWTimer* createTimer(QObject* parent, Qt::TimerType type = Qt::CoarseTimer) = 0;

    /// Runs `action` once after `delay` unless `context` is gone by then.
    void singleShot(std::chrono::milliseconds delay, QObject* context, std::function<void()> action);

    /// Real timers, shared by everything that does not get another source.
    static FRWTimerSource& system();
    /// `source`, or the real one when null.
    static FRWTimerSource& orSystem(FRWTimerSource* source) { return source ? *source : system(); }
};
