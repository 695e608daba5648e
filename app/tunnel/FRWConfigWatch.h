#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;
class FRWTimer;
class FRWTimerSource;

/// Watches one file with inotify on a worker thread and says, once changes have settled, that it
/// changed. Survives editors that replace the file (a rename over it) and waits for a file that
/// is missing. Lives in its own thread; call `armWatch` through a queued invocation.
class FRWConfigWatch : public QObject {
    Q_OBJECT

public:
    /// Its timers come from `timers` (the real ones when null), made in the watch's thread.
    FRWConfigWatch(int debounceMs, int retryMs, FRWTimerSource* timers = nullptr);
    ~FRWConfigWatch() override;
    Q_DISABLE_COPY_MOVE(FRWConfigWatch)

    /// (Re)starts watching the path; an empty path watches nothing.
    Q_INVOKABLE void armWatch(const QString& path);

signals:
    /// The file changed, and nothing more happened to it for the debounce time.
    void changesSettled();

private:
    void rearm();
    void teardownWatchSource();
    void scheduleReload();
    void readEvents();

    int m_debounceMs;
    int m_retryMs;
    FRWTimerSource* m_timers;
    QString m_path;
    int m_inotify = -1;
    int m_watch = -1;
    bool m_waitingForFile = false;
    QSocketNotifier* m_notifier = nullptr;
    FRWTimer* m_debounceTimer = nullptr;
    FRWTimer* m_retryTimer = nullptr;
};
