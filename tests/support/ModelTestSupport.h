#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <QTimeZone>
#include <QUrl>

#include <functional>
#include <optional>

#include "FRWAPIInfo.h"
#include "FRWAppModel.h"
#include "FRWClock.h"
#include "FRWModelTunnel.h"
#include "FRWTunnelPresenter.h"

/// A clock the test moves by hand.
class ManualClock : public FRWClock {
public:
    QDateTime now() const override { return current; }
    void advance(qint64 seconds) { current = current.addSecs(seconds); }
    QDateTime current = QDateTime(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);
};

/// The tunnel as the model sees it: the test points it at a core's api-info file and scripts what
/// starting and stopping the modes answer. Every call is recorded.
class ScriptedTunnel : public FRWModelTunnel {
public:
    bool systemProxyRunning() const override { return systemProxy; }
    bool tunnelCoreRunning() const override { return tunnelCore; }
    QString currentAPIInfoPath() const override { return apiInfoPath; }
    void apiForMeasurementWithCompletion(std::function<void(std::optional<QJsonObject>)> completion) override
    {
        calls << QStringLiteral("measure");
        completion(FRWAPIInfo::read(apiInfoPath));
    }
    void startWithCompletion(std::function<void(FRWResult)> completion) override
    {
        calls << QStringLiteral("start");
        completion(startResult);
    }
    void stopWithCompletion(std::function<void(FRWResult)> completion) override
    {
        calls << QStringLiteral("stop");
        completion(std::nullopt);
    }
    void startSystemProxyWithCompletion(std::function<void(FRWResult)> completion) override
    {
        calls << QStringLiteral("startSystemProxyWithCompletion");
        systemProxy = !systemProxyResult.has_value();
        completion(systemProxyResult);
    }
    void stopSystemProxy(std::function<void()> done) override
    {
        calls << QStringLiteral("stopSystemProxy");
        systemProxy = false;
        done();
    }
    void startIfHelperCurrentWithCompletion(std::function<void(bool, FRWResult)> completion) override
    {
        calls << QStringLiteral("startIfHelperCurrent");
        completion(helperStarted, helperResult);
    }

    QString apiInfoPath;
    bool systemProxy = false;
    bool tunnelCore = false;
    FRWResult startResult;
    FRWResult systemProxyResult;
    bool helperStarted = false;
    FRWResult helperResult;
    QStringList calls;
};

/// Keeps the alerts instead of showing them.
class KeptAlerts : public FRWTunnelPresenter {
public:
    void presentWarning(const QString& message, const QString& detail,
                        std::function<void()> dismissed) override
    {
        alerts << message + QStringLiteral(" | ") + detail;
        dismiss = std::move(dismissed);
    }
    QStringList alerts;
    std::function<void()> dismiss;
};

/// A model over the test's tunnel, clock and alerts, with its settings file under `configHome`
/// and its address probes asking only the loopback server at `base`.
inline FRWAppModelSetup loopbackModelSetup(ScriptedTunnel& tunnel, ManualClock& clock, KeptAlerts& alerts,
                                           const QString& configHome, const QUrl& base)
{
    FRWAppModelSetup s;
    s.tunnel = &tunnel;
    s.settingsFile = configHome + QStringLiteral("/Ferrow/Ferrow.conf");
    s.presenter = &alerts;
    s.clock = &clock;
    s.probes.services = FRWProbeServices::referenceShaped(base, base, base, QStringLiteral("127.0.0.1"));
    s.probes.bindToPhysicalInterface = false;
    return s;
}

/// Runs one poll to its end; false when none started or it did not land in time.
inline bool pollOnce(FRWAppModel& model)
{
    model.poll();
    return model.polling() && QTest::qWaitFor([&] { return !model.polling(); }, 10000);
}
