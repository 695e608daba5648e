// The app model's operations and rules where the core's answers must be chosen by the test: a
// loopback server stands in for the core's API, and the tunnel is scripted.

#include <thread>

#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "FRWDefaultsKeys.h"
#include "FRWUserDefaults.h"
#include "LoopbackHttpServer.h"
#include "ModelTestSupport.h"
#include "QtTestFiles.h"
#include "TemporaryHome.h"

using namespace ferrow::test;

namespace {

class ModelOperationsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        apiInfoPath = QString::fromStdString((home.root() / "api-info.json").string());
        writeBytes(apiInfoPath, QByteArray(R"({"address":")") + QByteArray::fromStdString(core.address()) +
                                    R"(","secret":"one"})");
        core.setResponseFor("/status", 200, R"({"running":true,"uplink":10,"downlink":20})");
        core.setResponseFor("/groups", 200,
                            R"([{"name":"Proxy","type":"select","members":["A","B"],"selected":"A"}])");
        core.setResponseFor("/logs", 200, R"({"capacity":100,"lines":[],"cursor":0})");
        core.setResponseFor("/connections", 200, "[]");
        core.setResponseFor("/test", 200, R"({"ms":42})");
        tunnel.apiInfoPath = apiInfoPath;
        settingsFile = QString::fromStdString((home.configHome() / "Ferrow" / "Ferrow.conf").string());
    }

    std::unique_ptr<FRWAppModel> makeModel()
    {
        FRWAppModelSetup s;
        s.tunnel = &tunnel;
        s.settingsFile = settingsFile;
        s.presenter = &presenter;
        s.clock = &clock;
        const QUrl base(QString::fromStdString("http://" + core.address()));
        s.probes.services = FRWProbeServices::referenceShaped(base, base, base, QStringLiteral("127.0.0.1"));
        s.probes.bindToPhysicalInterface = false;
        s.probes.networkName = [](const QString&) { return QStringLiteral("Internet"); };
        return std::make_unique<FRWAppModel>(std::move(s));
    }

    std::size_t requestsFor(const std::string& prefix) const
    {
        std::size_t count = 0;
        for (const RecordedRequest& request : core.requests()) {
            count += request.target == prefix || request.target.rfind(prefix + "?", 0) == 0 ? 1 : 0;
        }
        return count;
    }

    bool wish(const char* key) const { return FRWUserDefaults(settingsFile).boolean(key); }
    void setWish(const char* key, bool value)
    {
        FRWUserDefaults defaults(settingsFile);
        defaults.setBoolean(key, value);
        defaults.sync();
    }

    TemporaryHome home;
    LoopbackHttpServer core;
    QString apiInfoPath;
    QString settingsFile;
    ScriptedTunnel tunnel;
    ManualClock clock;
    KeptAlerts presenter;
};

} // namespace

TEST_F(ModelOperationsTest, GroupsAndConnectionsAreKeptWhenAnAnswerIsNotAnArray)
{
    auto model = makeModel();
    core.setResponseFor("/connections", 200, R"([{"id":"1","host":"a.example"}])");
    ASSERT_TRUE(pollOnce(*model));
    ASSERT_EQ(model->groups().size(), 1);
    ASSERT_EQ(model->connections().size(), 1);

    core.setResponseFor("/groups", 200, R"({"name":"Proxy"})");
    core.setResponseFor("/connections", 200, R"({"id":"2"})");
    ASSERT_TRUE(pollOnce(*model));
    ASSERT_EQ(model->groups().size(), 1);
    EXPECT_EQ(model->groups()[0], FRWProxyGroup("Proxy", "select", {"A", "B"}, "A"));
    EXPECT_EQ(model->connections().size(), 1);

    // Elements that are not objects are skipped; missing members read as empty.
    core.setResponseFor("/groups", 200, R"([7, {"name":"G","members":["X", 3]}])");
    ASSERT_TRUE(pollOnce(*model));
    ASSERT_EQ(model->groups().size(), 1);
    EXPECT_EQ(model->groups()[0], FRWProxyGroup("G", "", {"X"}, ""));
}

TEST_F(ModelOperationsTest, TwoPollsWithinOneTickSendOneSetOfRequests)
{
    auto model = makeModel();
    model->poll();
    model->poll();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->polling(); }, 10000));
    EXPECT_EQ(requestsFor("/status"), 1U);
    EXPECT_EQ(requestsFor("/logs"), 1U);
    EXPECT_EQ(core.requests().size(), 6U);
}

TEST_F(ModelOperationsTest, StatsAndOutboundAreReadLeniently)
{
    auto model = makeModel();
    core.setResponseFor(
        "/stats", 200,
        R"({"today":{"up":1,"down":2},"month":"bad","hourly":[{"up":3,"down":4},5,{"up":6}]})");
    core.setResponseFor("/outbound", 200, R"({"mode":"global","global":"B","nodes":["A","B",1]})");
    ASSERT_TRUE(pollOnce(*model));
    EXPECT_EQ(model->statsTodayUp(), 1);
    EXPECT_EQ(model->statsTodayDown(), 2);
    EXPECT_EQ(model->statsMonthUp(), 0);
    EXPECT_EQ(model->statsHourly(), (QList<qint64>{7, 6}));
    EXPECT_EQ(model->outboundMode(), "global");
    EXPECT_EQ(model->outboundGlobalNode(), "B");
    EXPECT_EQ(model->outboundNodes(), (QStringList{"A", "B"}));

    core.setResponseFor("/outbound", 200, R"({"mode":5})");
    ASSERT_TRUE(pollOnce(*model));
    EXPECT_EQ(model->outboundMode(), "global") << "a mode that is not a string is not taken";
    EXPECT_EQ(model->outboundGlobalNode(), "");
}

TEST_F(ModelOperationsTest, GlobalModeWithoutNodeKeepsTheNodeAndSendsNone)
{
    auto model = makeModel();
    model->setOutboundMode(QStringLiteral("global"), QString());
    EXPECT_EQ(model->outboundMode(), "global");
    EXPECT_EQ(model->outboundGlobalNode(), "");
    ASSERT_TRUE(QTest::qWaitFor([&] { return core.requestCount() == 1; }, 5000));
    EXPECT_EQ(core.requests()[0].target, "/outbound?mode=global");

    tunnel.apiInfoPath = QStringLiteral("/nonexistent/api-info.json");
    model->setOutboundMode(QStringLiteral("direct"), QString());
    EXPECT_EQ(model->outboundMode(), "global") << "nothing changes without a core";
}

TEST_F(ModelOperationsTest, ANodeTestInFlightIsNotSentTwice)
{
    auto model = makeModel();
    model->testNodeCached(QStringLiteral("A B"));
    model->testNodeCached(QStringLiteral("A B"));
    EXPECT_TRUE(model->nodesTesting().contains("A B"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->nodesTesting().isEmpty(); }, 10000));
    EXPECT_EQ(requestsFor("/test"), 1U);
    EXPECT_EQ(core.requests()[0].target, "/test?node=A%20B");
    EXPECT_EQ(model->nodeLatencies().value("A B"), 42);

    core.setResponseFor("/test", 200, "{}");
    model->testNodeCached(QStringLiteral("A B"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->nodesTesting().isEmpty(); }, 10000));
    EXPECT_EQ(model->nodeLatencies().value("A B"), -1) << "a failed test is remembered as −1";
}

TEST_F(ModelOperationsTest, LogAnswerOfAResetStreamIsDropped)
{
    auto model = makeModel();
    core.setResponseFor("/logs", 200, R"({"capacity":100,"lines":["old"],"cursor":1})");
    model->poll();
    model->resetLogStream(); // while the poll is in flight
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->polling(); }, 10000));
    EXPECT_TRUE(model->logs().isEmpty());
    EXPECT_EQ(model->logCursor(), -1);
}

TEST_F(ModelOperationsTest, RestoreStartsSystemProxyWhenBothWishesAreRecorded)
{
    setWish(ferrow::defaults::kDesiredSystemProxy, true);
    setWish(ferrow::defaults::kDesiredEnhancedMode, true);
    auto model = makeModel();
    model->restoreDesiredModes();
    EXPECT_EQ(tunnel.calls, QStringList{"startSystemProxyWithCompletion"});
    EXPECT_TRUE(model->polling()) << "polls once the start lands";
    EXPECT_TRUE(presenter.alerts.isEmpty());
}

TEST_F(ModelOperationsTest, RestoreOfAFailedSystemProxySaysWhyInAnAlertAndInLogs)
{
    setWish(ferrow::defaults::kDesiredSystemProxy, true);
    tunnel.systemProxyResult = FRWError::ferrow("The core exited during startup: line 12: unknown rule type");
    auto model = makeModel();
    const qint64 logsCursor = model->logsCursor();
    model->restoreDesiredModes();
    EXPECT_EQ(tunnel.calls, QStringList{"startSystemProxyWithCompletion"});
    EXPECT_FALSE(wish(ferrow::defaults::kDesiredSystemProxy));
    EXPECT_EQ(presenter.alerts, QStringList{"System Proxy was not turned back on | The core exited during "
                                            "startup: line 12: unknown rule type"});
    ASSERT_EQ(model->logs().size(), 1);
    EXPECT_TRUE(model->logs()[0].endsWith(
        "[error] ferrow: System Proxy was not turned back on: The core exited during startup: line 12: "
        "unknown rule type"));
    EXPECT_GE(model->logsCursor() - logsCursor, 1000000) << "the Logs page rebuilds";

    // The same for a start by hand.
    model->toggleSystemProxy();
    EXPECT_EQ(presenter.alerts.size(), 2);
    ASSERT_EQ(model->logs().size(), 2);
    EXPECT_TRUE(
        model->logs()[1].contains("Couldn't start System Proxy: The core exited during startup: line 12"));
}

TEST_F(ModelOperationsTest, RestoreOfEnhancedModeKeepsTheWishWhenTheHelperIsMissing)
{
    setWish(ferrow::defaults::kDesiredEnhancedMode, true);
    auto model = makeModel();
    model->restoreDesiredModes();
    EXPECT_EQ(tunnel.calls, QStringList{"startIfHelperCurrent"});
    EXPECT_TRUE(wish(ferrow::defaults::kDesiredEnhancedMode));

    tunnel.calls.clear();
    tunnel.helperResult = FRWError{QStringLiteral("FerrowHelper"), 1, QStringLiteral("refused")};
    model->restoreDesiredModes();
    EXPECT_EQ(tunnel.calls, QStringList{"startIfHelperCurrent"});
    EXPECT_FALSE(wish(ferrow::defaults::kDesiredEnhancedMode)) << "a failed start clears the wish";
    EXPECT_EQ(presenter.alerts, QStringList{"Enhanced Mode was not turned back on | refused"});
}

TEST_F(ModelOperationsTest, RestoreDoesNothingWhileACoreIsUpOrNothingWasWished)
{
    auto model = makeModel();
    model->restoreDesiredModes();
    EXPECT_TRUE(tunnel.calls.isEmpty());

    setWish(ferrow::defaults::kDesiredEnhancedMode, true);
    tunnel.tunnelCore = true; // a helper-run core left by an earlier run still answers
    model->restoreDesiredModes();
    EXPECT_TRUE(tunnel.calls.isEmpty());
    tunnel.tunnelCore = false;
    ASSERT_TRUE(pollOnce(*model));
    ASSERT_TRUE(model->running());
    model->restoreDesiredModes();
    EXPECT_TRUE(tunnel.calls.isEmpty());
}

TEST_F(ModelOperationsTest, FailedStartsClearTheWishAndAlertThenPoll)
{
    auto model = makeModel();
    tunnel.systemProxyResult = FRWError::ferrow("The core did not finish starting up.");
    model->toggleSystemProxy();
    EXPECT_FALSE(wish(ferrow::defaults::kDesiredSystemProxy));
    ASSERT_EQ(presenter.alerts,
              QStringList{"Couldn't start System Proxy | The core did not finish starting up."});
    EXPECT_FALSE(model->polling()) << "the poll waits for the alert";
    presenter.dismiss();
    EXPECT_TRUE(model->polling());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->polling(); }, 10000));

    tunnel.startResult = FRWError::ferrow("Authorization was cancelled.");
    core.setResponseFor("/status", 200, R"({"running":false})");
    ASSERT_TRUE(pollOnce(*model));
    model->toggle();
    EXPECT_FALSE(wish(ferrow::defaults::kDesiredEnhancedMode));
    EXPECT_EQ(presenter.alerts.constLast(), "Couldn't connect | Authorization was cancelled.");
}

TEST_F(ModelOperationsTest, EnhancedModeWhileSystemProxyRunsSwitchesModes)
{
    auto model = makeModel();
    setWish(ferrow::defaults::kDesiredSystemProxy, true);
    tunnel.systemProxy = true;
    model->toggle();
    EXPECT_EQ(tunnel.calls, (QStringList{"stopSystemProxy", "start"}));
    EXPECT_FALSE(wish(ferrow::defaults::kDesiredSystemProxy));
    EXPECT_TRUE(wish(ferrow::defaults::kDesiredEnhancedMode));
    EXPECT_TRUE(presenter.alerts.isEmpty());
}

TEST_F(ModelOperationsTest, SystemProxyOffRecordsTheWishAndRestartsTheLog)
{
    auto model = makeModel();
    model->toggleSystemProxy();
    EXPECT_TRUE(wish(ferrow::defaults::kDesiredSystemProxy));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->polling(); }, 10000));
    ASSERT_TRUE(model->systemProxyRunning());
    const qint64 epoch = model->logsEpoch();
    model->toggleSystemProxy();
    EXPECT_FALSE(wish(ferrow::defaults::kDesiredSystemProxy));
    EXPECT_EQ(tunnel.calls, (QStringList{"startSystemProxyWithCompletion", "stopSystemProxy"}));
    EXPECT_EQ(model->logsEpoch(), epoch + 1);
    EXPECT_EQ(model->logCursor(), -1);
}

TEST_F(ModelOperationsTest, TickProbesEveryEighthAndConsidersASweepEveryTenth)
{
    core.setResponseFor("/ip", 200, "198.51.100.1");
    auto model = makeModel();
    ASSERT_TRUE(pollOnce(*model));
    ASSERT_TRUE(model->running());
    // The rising edge probes once by itself.
    ASSERT_TRUE(QTest::qWaitFor([&] { return requestsFor("/ip") == 2; }, 10000));
    int sweeps = 0;
    QDateTime last;
    for (int i = 0; i < 21; ++i) {
        model->tick();
        if (model->lastSweepAt() != last) {
            ++sweeps;
            last = model->lastSweepAt();
        }
        clock.advance(300); // every considered sweep is due
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model->polling(); }, 10000));
    }
    EXPECT_EQ(model->probeTick(), 21);
    EXPECT_EQ(sweeps, 3) << "ticks 0, 10 and 20";
    ASSERT_TRUE(QTest::qWaitFor([&] { return requestsFor("/ip") == 2 + 6; }, 10000)) << "ticks 0, 8 and 16";
    QTest::qWait(50);
    EXPECT_EQ(requestsFor("/ip"), 8U);
}

TEST_F(ModelOperationsTest, ANetworkChangeTheCoreSawProbesAgainAtOnce)
{
    core.setResponseFor("/ip", 200, "198.51.100.1");
    auto model = makeModel();
    ASSERT_TRUE(pollOnce(*model));
    ASSERT_TRUE(QTest::qWaitFor([&] { return requestsFor("/ip") == 2; }, 10000));
    ASSERT_TRUE(pollOnce(*model));
    QTest::qWait(50);
    EXPECT_EQ(requestsFor("/ip"), 2U) << "an unchanged count probes nothing";
    core.setResponseFor("/status", 200, R"({"running":true,"networkChanges":1})");
    ASSERT_TRUE(pollOnce(*model));
    EXPECT_TRUE(QTest::qWaitFor([&] { return requestsFor("/ip") == 4; }, 10000)) << "not probed again";
}

TEST_F(ModelOperationsTest, StartPollsProbesAndReadsTheLocalProxyOnce)
{
    core.setResponseFor("/socks", 200, R"({"running":true,"address":"0.0.0.0:7891"})");
    auto model = makeModel();
    model->start();
    model->start();
    EXPECT_TRUE(model->polling());
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->localProxyRunning() && !model->polling(); }, 10000));
    EXPECT_EQ(model->localProxyAddress(), "0.0.0.0:7891");
    EXPECT_EQ(requestsFor("/socks"), 1U);
    EXPECT_EQ(requestsFor("/status"), 1U);
}

TEST_F(ModelOperationsTest, APollAskedForFromAnotherThreadRunsOnTheModelsThread)
{
    auto model = makeModel();
    std::thread worker([&] { model->poll(); });
    worker.join();
    EXPECT_FALSE(model->polling()) << "not started on the worker";
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->running() && !model->polling(); }, 10000));
    EXPECT_EQ(requestsFor("/status"), 1U);
}

TEST_F(ModelOperationsTest, TheSharingStateFollowsTheCoreThatAnswers)
{
    core.setResponseFor("/socks", 200, R"({"running":true,"address":"0.0.0.0:7891"})");
    QFile::remove(apiInfoPath);
    auto model = makeModel();
    model->start();
    EXPECT_FALSE(model->localProxyRunning());

    // A core starts sharing after launch: the card reads it as soon as the core answers.
    writeBytes(apiInfoPath, QByteArray(R"({"address":")") + QByteArray::fromStdString(core.address()) +
                                R"(","secret":"one"})");
    ASSERT_TRUE(pollOnce(*model));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->localProxyRunning(); }, 10000));
    EXPECT_EQ(model->localProxyAddress(), "0.0.0.0:7891");

    // It stops: nothing is shared any more.
    QFile::remove(apiInfoPath);
    model->poll();
    EXPECT_FALSE(model->running());
    EXPECT_FALSE(model->localProxyRunning());
    EXPECT_TRUE(model->localProxyAddress().isEmpty());
}

TEST_F(ModelOperationsTest, ACoreThatDiesSaysWhichModeEndedOnceWhileAStopSaysNothing)
{
    const auto status = [&](bool running) {
        core.setResponseFor("/status", 200, running ? R"({"running":true})" : R"({"running":false})");
    };
    setWish(ferrow::defaults::kDesiredSystemProxy, true);
    tunnel.systemProxy = true;
    auto model = makeModel();
    QSignalSpy ended(model.get(), &FRWAppModel::modeEndedOnItsOwn);
    ASSERT_TRUE(pollOnce(*model));

    tunnel.systemProxy = false;
    status(false);
    ASSERT_TRUE(pollOnce(*model));
    ASSERT_TRUE(pollOnce(*model));
    ASSERT_EQ(ended.count(), 1);
    EXPECT_EQ(ended.at(0).at(0).toString(), "System Proxy stopped");

    model->toggle(); // Enhanced Mode on
    status(true);
    tunnel.tunnelCore = true;
    ASSERT_TRUE(pollOnce(*model));
    // A core that misses one answer but still has its api-info file has not died.
    status(false);
    ASSERT_TRUE(pollOnce(*model));
    status(true);
    ASSERT_TRUE(pollOnce(*model));
    tunnel.tunnelCore = false;
    status(false);
    ASSERT_TRUE(pollOnce(*model));
    ASSERT_EQ(ended.count(), 2);
    EXPECT_EQ(ended.at(1).at(0).toString(), "Enhanced Mode stopped");

    // Turned off by the user: nothing to tell.
    status(true);
    tunnel.tunnelCore = true;
    ASSERT_TRUE(pollOnce(*model));
    model->toggle();
    tunnel.tunnelCore = false;
    status(false);
    ASSERT_TRUE(pollOnce(*model));
    EXPECT_EQ(ended.count(), 2);
}

TEST_F(ModelOperationsTest, AGreenResultTurnsStaleWhenOldOrContradictedByAFailedConnection)
{
    auto model = makeModel();
    model->testNodeCached(QStringLiteral("A"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->nodesTesting().isEmpty(); }, 10000));
    ASSERT_TRUE(pollOnce(*model));
    EXPECT_FALSE(model->latencyIsStale("A"));

    core.setResponseFor("/status", 200, R"({"running":true,"failing":["A"]})");
    ASSERT_TRUE(pollOnce(*model));
    EXPECT_TRUE(model->latencyIsStale("A")) << "a connection through it failed since";
    core.setResponseFor("/status", 200, R"({"running":true,"failing":[]})");
    ASSERT_TRUE(pollOnce(*model));
    EXPECT_FALSE(model->latencyIsStale("A"));

    core.setResponseFor("/test", 200, R"({"ms":-1,"failure":"refused"})");
    model->testNodeCached(QStringLiteral("A"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->nodesTesting().isEmpty(); }, 10000));
    EXPECT_EQ(model->nodeFailure("A"), "refused");
    clock.advance(301);
    EXPECT_TRUE(model->latencyIsStale("A"));
}
