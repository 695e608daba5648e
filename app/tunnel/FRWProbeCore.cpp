#include "FRWProbeCore.h"

#include <QFile>
#include <QProcess>

#include "FRWAPIInfo.h"
#include "FRWCoreLauncher.h"
#include "FRWNames.h"
#include "FRWProfileStore.h"
#include "FRWTimerSource.h"

namespace {

QByteArray fileText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

FRWProbeCore::FRWProbeCore(FRWCoreLauncher& launcher, Setup setup, QObject* parent)
    : QObject(parent), m_launcher(launcher), m_setup(std::move(setup))
{
    if (m_setup.profiles) {
        // A probe core measuring an older profile would report a node just added or edited as dead.
        connect(m_setup.profiles, &FRWProfileStore::profilesChanged, this, [this] {
            if (FRWCoreLauncher::isRunning(m_task) && fileText(m_setup.profiles->configPath()) != m_config) {
                FRWCoreLauncher::terminate(m_task);
                m_task = nullptr;
                QFile::remove(m_setup.infoPath);
            }
        });
    }
}

QStringList FRWProbeCore::arguments() const
{
    QStringList arguments{QStringLiteral("-config"),
                          m_setup.profiles->configPath(),
                          QStringLiteral("-no-tun"),
                          QStringLiteral("-api"),
                          QLatin1String(ferrow::kAPIBindAddress),
                          QStringLiteral("-api-info"),
                          m_setup.infoPath,
                          QStringLiteral("-stats"),
                          m_setup.statsPath};
    if (!m_setup.ruleSetDir.isEmpty()) {
        arguments << QStringLiteral("-rule-set-dir") << m_setup.ruleSetDir;
    }
    return arguments;
}

void FRWProbeCore::apiForMeasurementWithCompletion(std::function<void(std::optional<QJsonObject>)> completion)
{
    if (std::optional<QJsonObject> info = m_setup.runningCoreAPI ? m_setup.runningCoreAPI() : std::nullopt) {
        return completion(std::move(info));
    }
    keepProbeAlive();
    const bool running = FRWCoreLauncher::isRunning(m_task);
    if (std::optional<QJsonObject> info = FRWAPIInfo::read(m_setup.infoPath); info && running) {
        return completion(std::move(info));
    }
    if (running) {
        FRWCoreLauncher::terminate(m_task);
        m_task = nullptr;
    }
    if (m_launcher.corePath().isEmpty() || !m_setup.profiles->isConfigured()) {
        return completion(std::nullopt);
    }
    m_setup.profiles->save();
    m_config = fileText(m_setup.profiles->configPath());
    QFile::remove(m_setup.infoPath);
    QString launchError;
    QProcess* task = m_launcher.launch(arguments(), FRWCoreLauncher::Output::Discarded,
                                       FRWCoreLauncher::Lifetime::EndsWithApp, &launchError);
    if (!task) {
        qWarning("ferrow: the probe core could not start: %s", qPrintable(launchError));
        return completion(std::nullopt);
    }
    m_task = task;
    const QPointer<QProcess> guarded(task);
    connect(task, &QProcess::finished, this, [this, guarded] {
        if (m_task && m_task == guarded) {
            m_task = nullptr;
        }
    });
    m_launcher.pollForAPIInfoAt(m_setup.infoPath, task, 0, std::move(completion));
}

void FRWProbeCore::keepProbeAlive()
{
    if (!m_idleTimer) {
        m_idleTimer = FRWTimerSource::orSystem(m_setup.timers).createTimer(this);
        connect(m_idleTimer, &FRWTimer::timeout, this, &FRWProbeCore::stopProbeCore);
    }
    m_idleTimer->start(std::chrono::milliseconds(m_setup.idleMs));
}

void FRWProbeCore::stopProbeCore()
{
    if (m_idleTimer) {
        m_idleTimer->stop();
    }
    QProcess* task = m_task;
    m_task = nullptr;
    FRWCoreLauncher::terminate(task);
    QFile::remove(m_setup.infoPath);
}
