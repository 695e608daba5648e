#include <QRegularExpression>

#include "TunnelControllerFixture.h"

using namespace std::chrono_literals;

TEST_F(TunnelControllerTest, StartsTheCoreWithItsCommandLineAndTakesOverOnceReady)
{
    ASSERT_FALSE(startSystemProxy().has_value());
    EXPECT_TRUE(controller->systemProxyRunning());
    EXPECT_TRUE(backend->takenOver());
    EXPECT_EQ(controller->currentAPIInfoPath(), controller->socksInfoPath());

    const QStringList started = launches();
    ASSERT_EQ(started.size(), 1);
    const QString expected =
        QStringLiteral("-config %1 -no-tun -socks 127.0.0.1:7891 -api 127.0.0.1:0 -api-info %2 secret=")
            .arg(profiles->configPath(), controller->socksInfoPath());
    EXPECT_TRUE(started[0].startsWith(expected)) << started[0].toStdString();
    EXPECT_FALSE(started[0].contains("-rule-set-dir"));
    EXPECT_TRUE(QRegularExpression("secret=[0-9a-f]{48}$").match(started[0]).hasMatch())
        << started[0].toStdString();
    // The profile was saved before the core started.
    EXPECT_EQ(readFile(profiles->configPath()), profiles->activeProfile()->configText);
}

TEST_F(TunnelControllerTest, StartingTwiceGivesOneProcess)
{
    ASSERT_FALSE(startSystemProxy().has_value());
    ASSERT_FALSE(startSystemProxy().has_value());
    EXPECT_EQ(launches().size(), 1);
}

TEST_F(TunnelControllerTest, StopRestoresFirstThenEndsTheCore)
{
    ASSERT_FALSE(startSystemProxy().has_value());
    backend->calls.clear();
    stopSystemProxy();
    EXPECT_FALSE(controller->systemProxyRunning());
    EXPECT_FALSE(backend->takenOver());
    EXPECT_FALSE(backend->calls.isEmpty());
    EXPECT_FALSE(QFile::exists(controller->socksInfoPath()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(coreDir + "/stops").contains("stopped"); }, 5000));
    EXPECT_EQ(controller->currentAPIInfoPath(),
              QString::fromStdString((home.root() / "run" / "api-info.json").string()));
}

TEST_F(TunnelControllerTest, ACoreThatDiesOnItsOwnRestoresTheProxy)
{
    ASSERT_FALSE(startSystemProxy().has_value());
    killCore();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !backend->takenOver(); }, 5000));
    EXPECT_FALSE(controller->systemProxyRunning());
}

TEST_F(TunnelControllerTest, ASlowSettingsStoreNeverHoldsTheGuiThreadAndAStopMeanwhileWins)
{
    backend->holdChanges();
    bool started = false;
    FRWResult result = FRWError::ferrow(QStringLiteral("not answered"));
    controller->startSystemProxyWithCompletion([&](FRWResult r) {
        result = std::move(r);
        started = true;
    });
    // This thread keeps turning its event loop while the takeover waits in the store.
    ASSERT_TRUE(QTest::qWaitFor([&] { return backend->held(); }, 15000));
    EXPECT_FALSE(started);
    bool stopped = false;
    controller->stopSystemProxy([&] { stopped = true; });
    backend->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return stopped; }, 15000));
    EXPECT_TRUE(started);
    EXPECT_FALSE(result.has_value());
    EXPECT_FALSE(backend->takenOver());
    EXPECT_FALSE(controller->systemProxyRunning());
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(coreDir + "/stops").contains("stopped"); }, 5000));
}

TEST_F(TunnelControllerTest, AFailedRestoreAtStopKeepsTheCoreRunning)
{
    ASSERT_FALSE(startSystemProxy().has_value());
    backend->refuseChanges = true;
    stopSystemProxy();
    EXPECT_TRUE(controller->systemProxyRunning());
    QTest::qWait(200);
    EXPECT_FALSE(readFile(coreDir + "/stops").contains("stopped"));
    backend->refuseChanges = false;
}

TEST_F(TunnelControllerTest, ACoreThatExitsDuringStartupIsReported)
{
    setMode("exit");
    const FRWResult result = startSystemProxy();
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->description, "The core exited during startup. Check the profile for errors.");
    EXPECT_EQ(result->domain, "Ferrow");
    EXPECT_EQ(result->code, 1);
    EXPECT_FALSE(controller->systemProxyRunning());
    EXPECT_TRUE(backend->calls.isEmpty());
}

TEST_F(TunnelControllerTest, AStaleAPIInfoFileIsNeverTakenAsReadiness)
{
    writeFile(controller->socksInfoPath(), R"({"address": "127.0.0.1:1", "secret": "old"})");
    setMode("exit");
    const FRWResult result = startSystemProxy();
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->description, "The core exited during startup. Check the profile for errors.");
    EXPECT_FALSE(QFile::exists(controller->socksInfoPath()));
}

TEST_F(TunnelControllerTest, ACoreThatNeverAnnouncesItsAPIIsStopped)
{
    for (const char* mode : {"silent", "no-address"}) {
        SCOPED_TRACE(mode);
        setMode(mode);
        QFile::remove(coreDir + "/stops");
        const FRWResult result = startSystemProxy();
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(result->description, "The core did not finish starting up.");
        EXPECT_FALSE(controller->systemProxyRunning());
        EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(coreDir + "/stops").contains("stopped"); }, 5000));
    }
}

TEST_F(TunnelControllerTest, NothingStartsWithoutAConfiguredProfileOrACore)
{
    profiles->activeProfile()->configText = "[Rule]\nFINAL,DIRECT\n";
    FRWResult result = startSystemProxy();
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->description, "No server configured. Open Profile, set a server and PSK, then Save.");

    profiles->activeProfile()->configText = FRWProfileStore::templateConfig();
    controller = std::make_unique<FRWTunnelController>(environment(QString()));
    result = startSystemProxy();
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->description, "Bundled core binary is missing.");

    controller = std::make_unique<FRWTunnelController>(environment("/nonexistent/ferrow-core"));
    result = startSystemProxy();
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(result->description.isEmpty());
    EXPECT_TRUE(launches().isEmpty());
}

TEST_F(TunnelControllerTest, ACoreTheSystemCannotRunEndsTheStartWithoutTakingOver)
{
    // Executable, but no program the system can run: the failure only arrives once the start is under way.
    const QString unrunnable = coreDir + "/not-a-program";
    writeFile(unrunnable, "neither a script nor a binary\n");
    QFile::setPermissions(unrunnable, QFile::permissions(unrunnable) | QFileDevice::ExeOwner);
    controller = std::make_unique<FRWTunnelController>(environment(unrunnable));
    const FRWResult result = startSystemProxy();
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->description, "The core exited during startup. Check the profile for errors.");
    EXPECT_FALSE(controller->systemProxyRunning());
    EXPECT_TRUE(backend->calls.isEmpty());
}

TEST_F(TunnelControllerTest, ARefusedTakeoverStopsTheCore)
{
    backend->refuseChanges = true;
    const FRWResult result = startSystemProxy();
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->description.startsWith("The system would not apply the proxy settings."));
    EXPECT_FALSE(controller->systemProxyRunning());
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(coreDir + "/stops").contains("stopped"); }, 5000));
}

TEST_F(TunnelControllerTest, LANAccessChangesTheBindAddress)
{
    EXPECT_EQ(controller->socksBindAddress(), "127.0.0.1:7891");
    controller->setAllowLAN(true);
    EXPECT_EQ(controller->socksBindAddress(), "0.0.0.0:7891");
    ASSERT_FALSE(startSystemProxy().has_value());
    EXPECT_TRUE(launches().value(0).contains("-socks 0.0.0.0:7891"));
    EXPECT_TRUE(backend->takenOver()); // the system still goes through 127.0.0.1
}

TEST_F(TunnelControllerTest, ProbeCoreStartsOnDemandIsReusedAndStopsWhenIdle)
{
    const std::optional<QJsonObject> first = measurementAPI();
    ASSERT_TRUE(first.has_value());
    ASSERT_EQ(launches().size(), 1);
    const QString probe = launches()[0];
    EXPECT_TRUE(probe.contains("-api-info " + controller->probeInfoPath())) << probe.toStdString();
    EXPECT_TRUE(probe.contains("-stats " + controller->probeStatsPath()));
    EXPECT_FALSE(probe.contains("-socks"));

    // The idle time is 600 ms.
    timers.advance(300ms);
    ASSERT_TRUE(measurementAPI().has_value()); // pushes the idle stop back
    timers.advance(599ms);
    EXPECT_EQ(launches().size(), 1);
    EXPECT_TRUE(QFile::exists(controller->probeInfoPath())) << "stopped before its idle time was up";

    timers.advance(1ms);
    EXPECT_FALSE(QFile::exists(controller->probeInfoPath()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(coreDir + "/stops").contains("stopped"); }, 5000));
}

TEST_F(TunnelControllerTest, ProbeCoreIsRestartedForAChangedProfileOnly)
{
    ASSERT_TRUE(measurementAPI().has_value());
    ASSERT_EQ(launches().size(), 1);
    profiles->save(); // the same text: the probe core keeps running
    ASSERT_TRUE(measurementAPI().has_value());
    EXPECT_EQ(launches().size(), 1);

    profiles->activeProfile()->configText += QStringLiteral("\n# a node was added\n");
    profiles->save();
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(coreDir + "/stops").contains("stopped"); }, 5000));
    ASSERT_TRUE(measurementAPI().has_value());
    EXPECT_EQ(launches().size(), 2) << "the next measurement uses a core that read the new profile";
}

TEST_F(TunnelControllerTest, NoProbeWhileAnotherCoreAnswers)
{
    ASSERT_FALSE(startSystemProxy().has_value());
    const std::optional<QJsonObject> info = measurementAPI();
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(launches().size(), 1);

    stopSystemProxy();
    writeFile(QString::fromStdString((home.root() / "run" / "api-info.json").string()),
              R"({"address": "127.0.0.1:5", "secret": "helper"})");
    EXPECT_TRUE(controller->tunnelCoreRunning());
    EXPECT_EQ(measurementAPI()->value("secret"), "helper");
    EXPECT_EQ(launches().size(), 1);
}

TEST_F(TunnelControllerTest, SecretsAreFreshHexAndTheSocksAddressIsFixed)
{
    const QString a = FRWTunnelController::randomAPISecret();
    EXPECT_TRUE(QRegularExpression("^[0-9a-f]{48}$").match(a).hasMatch());
    EXPECT_NE(a, FRWTunnelController::randomAPISecret());
    EXPECT_EQ(controller->socksAddress(), "127.0.0.1:7891");
}
