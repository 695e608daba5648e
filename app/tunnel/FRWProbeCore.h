#pragma once

#include <functional>
#include <optional>

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>

class FRWCoreLauncher;
class FRWProfileStore;
class QProcess;
class FRWTimer;
class FRWTimerSource;

/// The core started on demand so that nodes can be measured while nothing is connected; it stops
/// after a spell without measurement requests, and is restarted at the next measurement when the
/// profile changes. GUI thread.
class FRWProbeCore : public QObject {
    Q_OBJECT

public:
    struct Setup {
        FRWProfileStore* profiles = nullptr;
        QString infoPath;
        QString statsPath;
        QString ruleSetDir;
        int idleMs = 90 * 1000;
        /// The record of a System Proxy or helper-run core that can answer instead; nothing when none runs.
        std::function<std::optional<QJsonObject>()> runningCoreAPI;
        /// Where the idle stop's timer comes from; the real timers when null.
        FRWTimerSource* timers = nullptr;
    };

    FRWProbeCore(FRWCoreLauncher& launcher, Setup setup, QObject* parent = nullptr);

    void apiForMeasurementWithCompletion(std::function<void(std::optional<QJsonObject>)> completion);
    void keepProbeAlive();
    void stopProbeCore();

private:
    QStringList arguments() const;

    FRWCoreLauncher& m_launcher;
    Setup m_setup;
    QPointer<QProcess> m_task;
    /// The profile text the running probe core was started with.
    QByteArray m_config;
    FRWTimer* m_idleTimer = nullptr;
};
