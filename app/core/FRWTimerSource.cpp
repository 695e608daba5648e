#include "FRWTimerSource.h"

#include <QTimer>

namespace {

class SystemTimer : public FRWTimer {
public:
    SystemTimer(QObject* parent, Qt::TimerType type) : FRWTimer(parent), m_timer(this)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(type);
        connect(&m_timer, &QTimer::timeout, this, &FRWTimer::timeout);
    }

    void start(std::chrono::milliseconds interval) override { m_timer.start(interval); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

class SystemTimerSource : public FRWTimerSource {
public:
    FRWTimer* createTimer(QObject* parent, Qt::TimerType type) override
    {
        return new SystemTimer(parent, type);
    }
};

} // namespace

void FRWTimerSource::singleShot(std::chrono::milliseconds delay, QObject* context,
                                std::function<void()> action)
{
    FRWTimer* timer = createTimer(context);
    QObject::connect(timer, &FRWTimer::timeout, context, [timer, action = std::move(action)] {
        timer->deleteLater();
        action();
    });
    timer->start(delay);
}

FRWTimerSource& FRWTimerSource::system()
{
    static SystemTimerSource source;
    return source;
}
