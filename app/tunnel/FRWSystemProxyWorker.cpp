#include "FRWSystemProxyWorker.h"

#include <utility>

#include <QThread>

#include "FRWSystemProxy.h"
#include "FRWUserDefaults.h"

FRWSystemProxyWorker::FRWSystemProxyWorker(std::shared_ptr<FRWSystemProxyBackend> backend,
                                           QString settingsFile, std::function<bool()> coreRunning,
                                           QString socksAddress)
    : m_backend(std::move(backend))
    , m_settingsFile(std::move(settingsFile))
    , m_coreRunning(std::move(coreRunning))
    , m_socksAddress(std::move(socksAddress))
    , m_thread(QThread::create([this] { serve(); }))
{
    m_thread->setObjectName(QStringLiteral("ferrow-system-proxy"));
    m_thread->start();
}

FRWSystemProxyWorker::~FRWSystemProxyWorker()
{
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_one();
    m_thread->wait();
    delete m_thread;
}

void FRWSystemProxyWorker::post(Job job)
{
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void FRWSystemProxyWorker::answer(std::function<void()> done)
{
    QMetaObject::invokeMethod(&m_receiver, std::move(done), Qt::QueuedConnection);
}

void FRWSystemProxyWorker::serve()
{
    // Made here so that the settings object belongs to this thread; another object on the same
    // file (the GUI's) sees its changes at once, as QSettings keeps them in step within a process.
    FRWUserDefaults defaults(m_settingsFile);
    FRWSystemProxy proxy(*m_backend, defaults, m_coreRunning, m_socksAddress);
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_ending || !m_jobs.empty(); });
            if (m_jobs.empty()) {
                break;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job(proxy);
        // This thread runs no event loop, so nothing would write the settings later.
        defaults.sync();
    }
}
