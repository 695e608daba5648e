#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QProcess>
#include <QTcpServer>

#include "FRWControllerAPI.h"
#include "TunnelControllerFixture.h"

// The launcher, the API client and the live reload with the real ferrow-core.
class RealCoreTest : public TunnelControllerTest {
protected:
    void SetUp() override
    {
        TunnelControllerTest::SetUp();
        profiles->activeProfile()->configText = QStringLiteral(
            "[General]\nlog-history = 100\n\n[Proxy]\nHong Kong = ferrow, hk.example, 443, psk=k\n"
            "T\u014dky\u014d 1 = ferrow, jp.example, 443, psk=k\n\n[Proxy Group]\n"
            "Proxy = select, Hong Kong, T\u014dky\u014d 1\n\n[Rule]\nFINAL,Proxy\n");
        profiles->save();
        FRWTunnelEnvironment env = environment(QStringLiteral(FERROW_CORE_PATH));
        env.socksPort = freeLoopbackPort(); // tests run side by side, and a real Ferrow may hold 7891
        backend->localPort = QString::number(env.socksPort);
        controller = std::make_unique<FRWTunnelController>(std::move(env));
    }

    static int freeLoopbackPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

    FRWPollResult poll(FRWControllerAPI& api)
    {
        bool done = false;
        FRWPollResult result;
        api.poll(-1, [&](FRWPollResult r) {
            result = std::move(r);
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
        return result;
    }

    FRWControllerAPI api{
        [this] { return FRWTunnelController::readAPIInfo(controller->currentAPIInfoPath()); },
        [this](auto done) { controller->apiForMeasurementWithCompletion(done); }};
};

TEST_F(RealCoreTest, SystemProxyModeRoundTrip)
{
    ASSERT_FALSE(startSystemProxy().has_value());
    EXPECT_TRUE(backend->takenOver());
    const auto info = FRWTunnelController::readAPIInfo(controller->socksInfoPath());
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->value("secret").toString().size(), 48);

    const FRWPollResult first = poll(api);
    ASSERT_TRUE(first.status.has_value());
    EXPECT_TRUE(first.status->value("running").toBool());
    ASSERT_TRUE(first.groups.has_value());
    ASSERT_TRUE(first.logs.has_value());
    EXPECT_TRUE(first.logs->value("lines").isArray());

    stopSystemProxy();
    EXPECT_FALSE(backend->takenOver());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !FRWTunnelController::readAPIInfo(controller->socksInfoPath()); }, 5000));
}

TEST_F(RealCoreTest, SelectionWithNonAsciiNamesReachesTheCore)
{
    ASSERT_FALSE(startSystemProxy().has_value());
    bool selected = false;
    api.selectGroup("Proxy", QStringLiteral("T\u014dky\u014d 1"), [&] { selected = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return selected; }, 5000));
    const FRWPollResult after = poll(api);
    ASSERT_TRUE(after.groups.has_value());
    ASSERT_FALSE(after.groups->isEmpty());
    EXPECT_EQ(after.groups->at(0).toObject().value("selected").toString(),
              QStringLiteral("T\u014dky\u014d 1"));

    int ms = 0;
    bool tested = false;
    api.testNode(QStringLiteral("T\u014dky\u014d 1"), [&](int value) {
        ms = value;
        tested = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return tested; }, 10000));
    EXPECT_EQ(ms, -1); // the node protocol is not part of this core
}

TEST_F(RealCoreTest, ACoreThatStopsOnItsOwnRestoresTheProxy)
{
    ASSERT_FALSE(startSystemProxy().has_value());
    const auto info = FRWTunnelController::readAPIInfo(controller->socksInfoPath());
    ASSERT_TRUE(info.has_value());
    auto request = FRWControllerAPI::requestForPath("/stop", *info);
    ASSERT_TRUE(request.has_value());
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    network.sendCustomRequest(*request, "POST");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !backend->takenOver(); }, 10000));
    EXPECT_FALSE(controller->systemProxyRunning());
}

TEST_F(RealCoreTest, ARejectedProfileIsReportedAndTheCoreKeepsServing)
{
    ASSERT_FALSE(startSystemProxy().has_value());
    armConfigWatch();
    const QByteArray broken = "[Proxy Group]\nBroken = no-such-type, DIRECT\n";
    writeFile(profiles->configPath(), broken);
    settleConfigChange();
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.size() == 1; }, 10000));
    EXPECT_TRUE(alerts[0].contains("no-such-type")) << alerts[0].toStdString();
    const FRWPollResult after = poll(api);
    ASSERT_TRUE(after.status.has_value());
    EXPECT_TRUE(after.status->value("running").toBool());
    ASSERT_TRUE(after.groups.has_value());
    EXPECT_EQ(after.groups->at(0).toObject().value("name").toString(), "Proxy");

    // A good profile is taken without a word: the core answers in order, so the next alert is
    // the broken profile's again.
    dismissAlert();
    writeFile(profiles->configPath(), profiles->activeProfile()->configText.toUtf8());
    settleConfigChange();
    writeFile(profiles->configPath(), broken);
    settleConfigChange();
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.size() >= 2; }, 10000));
    EXPECT_EQ(alerts.size(), 2);
    EXPECT_TRUE(alerts[1].contains("no-such-type")) << alerts[1].toStdString();
}

TEST_F(RealCoreTest, AProfileTheCoreRefusesAtStartIsReportedInTheCoresWords)
{
    profiles->activeProfile()->configText.replace(
        QStringLiteral("FINAL,Proxy"), QStringLiteral("DOMAN-SUFFIX,example.com,DIRECT\nFINAL,Proxy"));
    profiles->save();
    const FRWResult result = startSystemProxy();
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(
        result->description.startsWith("The core exited during startup: cannot use the configuration: line "))
        << result->description.toStdString();
    EXPECT_TRUE(result->description.contains("unknown rule type \"DOMAN-SUFFIX\""))
        << result->description.toStdString();
    EXPECT_FALSE(backend->takenOver());
}

TEST_F(RealCoreTest, ACoreLeftByACrashedRunIsStoppedAtLaunch)
{
    // The System Proxy core of a run that crashed: not our child, still holding the local proxy's
    // port, and named by its api-info file.
    const QStringList arguments{"-config",
                                profiles->configPath(),
                                "-no-tun",
                                "-socks",
                                controller->socksBindAddress(),
                                "-api",
                                "127.0.0.1:0",
                                "-api-info",
                                controller->socksInfoPath()};
    ASSERT_TRUE(QProcess::startDetached(QStringLiteral(FERROW_CORE_PATH), arguments));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return FRWTunnelController::readAPIInfo(controller->socksInfoPath()).has_value(); }, 10000));

    recoverOrphanedSystemProxy();
    EXPECT_FALSE(QFile::exists(controller->socksInfoPath()));
    EXPECT_FALSE(startSystemProxy().has_value());
}

TEST_F(RealCoreTest, TheLaunchRepairNeverStopsThisRunsOwnProbeCore)
{
    // The repair runs on the worker and may come after this run has started its probe core.
    const std::optional<QJsonObject> before = measurementAPI();
    ASSERT_TRUE(before.has_value());
    recoverOrphanedSystemProxy();
    EXPECT_TRUE(QFile::exists(controller->probeInfoPath()));
    EXPECT_EQ(measurementAPI()->value("secret"), before->value("secret"));
}

TEST_F(RealCoreTest, AListenerThatIsNotOurCoreIsLeftAlone)
{
    // Another program on the address an api-info file names.
    QProcess other;
    other.start("python3", {"-c", "import socket, time\n"
                                  "s = socket.socket(); s.bind(('127.0.0.1', 0)); s.listen()\n"
                                  "print(s.getsockname()[1], flush=True); time.sleep(30)"});
    ASSERT_TRUE(other.waitForReadyRead(10000));
    const QByteArray port = other.readLine().trimmed();
    writeFile(controller->socksInfoPath(), "{\"address\": \"127.0.0.1:" + port + "\", \"secret\": \"s\"}");

    recoverOrphanedSystemProxy();
    EXPECT_EQ(other.state(), QProcess::Running);
    other.kill();
    other.waitForFinished();
}
