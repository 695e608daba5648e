#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include <QObject>
#include <QString>

class FRWSystemProxy;
class FRWSystemProxyBackend;
class QThread;

/// Runs the system proxy takeover, its restores and other slow system work (settings tools,
/// waiting for leftover cores to end) one job at a time, in the order posted, on a thread of its
/// own, so the window never waits for them. Each job's answer comes back on the thread that made
/// the worker. The takeover's settings object lives on the worker thread only.
class FRWSystemProxyWorker {
public:
    /// `coreRunning` is called on the worker thread and must be safe there.
    FRWSystemProxyWorker(std::shared_ptr<FRWSystemProxyBackend> backend, QString settingsFile,
                         std::function<bool()> coreRunning, QString socksAddress);
    /// Finishes every job already posted (a restore just before quitting must hold), then ends.
    ~FRWSystemProxyWorker();
    FRWSystemProxyWorker(const FRWSystemProxyWorker&) = delete;
    FRWSystemProxyWorker& operator=(const FRWSystemProxyWorker&) = delete;

    /// Runs `job` after everything posted before it; `done` gets its answer later, on the
    /// worker's owner thread, unless the worker is gone by then.
    template <typename Result>
    void run(std::function<Result(FRWSystemProxy&)> job, std::function<void(Result)> done)
    {
        post([this, job = std::move(job), done = std::move(done)](FRWSystemProxy& proxy) mutable {
            Result result = job(proxy);
            answer([done = std::move(done), result = std::move(result)]() mutable {
                if (done) {
                    done(std::move(result));
                }
            });
        });
    }

private:
    using Job = std::function<void(FRWSystemProxy&)>;
    void post(Job job);
    void answer(std::function<void()> done);
    void serve();

    std::shared_ptr<FRWSystemProxyBackend> m_backend;
    QString m_settingsFile;
    std::function<bool()> m_coreRunning;
    QString m_socksAddress;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_ending = false;

    // Answers are queued to this object; Qt drops them once it is gone.
    QObject m_receiver;
    QThread* m_thread = nullptr;
};
