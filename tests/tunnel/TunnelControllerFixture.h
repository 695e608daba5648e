#pragma once

#include <memory>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include "FRWAppPaths.h"
#include "FRWProfileStore.h"
#include "FRWTunnelController.h"
#include "FRWTunnelPresenter.h"
#include "ManualTimerSource.h"
#include "QtTestFiles.h"
#include "RecordingProxyBackend.h"
#include "TemporaryHome.h"

/// Keeps the alerts the tunnel layer presents.
class RecordingPresenter : public FRWTunnelPresenter {
public:
    void presentWarning(const QString& message, const QString& detail,
                        std::function<void()> dismissed) override
    {
        alerts.append(message + QStringLiteral(" | ") + detail);
        dismiss = std::move(dismissed);
    }

    QStringList alerts;
    std::function<void()> dismiss;
};

/// A tunnel controller in a temporary home, launching the fake core script (or the real core),
/// with an in-memory settings store and short timings.
class TunnelControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        coreDir = QString::fromStdString((home.root() / "fake-core").string());
        QDir().mkpath(coreDir);
        qputenv("FAKE_CORE_DIR", coreDir.toUtf8());
        profiles = std::make_unique<FRWProfileStore>(paths);
        profiles->load();
        controller = std::make_unique<FRWTunnelController>(
            environment(QStringLiteral(FERROW_TEST_SOURCE_DIR "/fake-core")));
    }

    void TearDown() override
    {
        controller->stopSystemProxy();
        controller->stopProbeCore();
        controller.reset();
        qunsetenv("FAKE_CORE_DIR");
    }

    FRWTunnelEnvironment environment(const QString& corePath)
    {
        FRWTunnelEnvironment env;
        env.profiles = profiles.get();
        env.settingsFile = paths.settingsFile;
        env.supportFolder = paths.supportFolder;
        env.corePath = corePath;
        env.helperAPIInfoPath = QString::fromStdString((home.root() / "run" / "api-info.json").string());
        env.proxyBackend = backend;
        env.readinessIntervalMs = 20;
        env.readinessLastAttempt = 60;
        env.probeIdleMs = 600;
        env.timers = &timers;
        env.presenter = &presenter;
        return env;
    }

    /// Arms the profile watch and waits until its thread has done so.
    void armConfigWatch()
    {
        controller->startConfigWatch();
        auto* thread = controller->findChild<QThread*>(QStringLiteral("zq.orbel.ferrow-mac.configwatch"));
        ASSERT_NE(thread, nullptr);
        // Events posted to one thread run in order: once this one has run, so has the arming.
        auto* marker = new QObject;
        marker->moveToThread(thread);
        QMetaObject::invokeMethod(
            marker, [marker] { delete marker; }, Qt::BlockingQueuedConnection);
    }

    /// Waits until the profile watch has seen a change, then lets its quiet time pass.
    void settleConfigChange()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return timers.pending() > 0; }, 5000)) << "the watch saw no change";
        timers.advance(kWatchDebounce);
    }

    static constexpr std::chrono::milliseconds kWatchDebounce{300};

    void setMode(const QByteArray& mode) { writeFile(coreDir + "/mode", mode); }

    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        ferrow::test::writeBytes(path, bytes);
    }
    static QString readFile(const QString& path) { return ferrow::test::readText(path); }

    QStringList launches() const { return readFile(coreDir + "/launches").split('\n', Qt::SkipEmptyParts); }

    FRWResult startSystemProxy()
    {
        bool done = false;
        FRWResult result;
        controller->startSystemProxyWithCompletion([&](FRWResult r) {
            EXPECT_FALSE(done) << "completion called twice";
            result = std::move(r);
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 15000));
        return result;
    }

    /// The stop and the launch-time repair finish on a worker thread; these wait for them.
    void stopSystemProxy()
    {
        bool done = false;
        controller->stopSystemProxy([&] { done = true; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 15000));
    }

    void recoverOrphanedSystemProxy()
    {
        bool done = false;
        controller->recoverOrphanedSystemProxy([&] { done = true; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 15000));
    }

    std::optional<QJsonObject> measurementAPI()
    {
        bool done = false;
        std::optional<QJsonObject> info;
        controller->apiForMeasurementWithCompletion([&](std::optional<QJsonObject> i) {
            info = std::move(i);
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 15000));
        return info;
    }

    void killCore() { ::kill(readFile(coreDir + "/pid").trimmed().toInt(), SIGKILL); }

    ferrow::test::TemporaryHome home;
    FRWAppPaths paths = FRWAppPaths::fromEnvironment();
    QString coreDir;
    std::unique_ptr<FRWProfileStore> profiles;
    std::shared_ptr<RecordingProxyBackend> backend = std::make_shared<RecordingProxyBackend>();
    ferrow::test::ManualTimerSource timers;
    std::unique_ptr<FRWTunnelController> controller;
    RecordingPresenter presenter;
    QStringList& alerts = presenter.alerts;
    void dismissAlert() { presenter.dismiss(); }
};
