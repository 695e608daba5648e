#include "EnhancedModeFixture.h"
#include "FRWHelperClient.h"
#include "LoopbackHttpServer.h"

using namespace ferrow::test;

TEST_F(EnhancedModeTest, AnUnreachableHelperIsNotCurrentAndConnectReinstallsIt)
{
    EXPECT_FALSE(awaitCurrent()) << "no helper installed";
    pretendInstalled();
    EXPECT_FALSE(awaitCurrent()) << "the helper's socket does not exist";

    const FRWResult result = await([&](auto done) { controller->startWithCompletion(done); });
    EXPECT_EQ(pkexecRuns(), 1) << "Connect did not reinstall the unreachable helper";
    ASSERT_TRUE(result) << "the start reached a helper that is not there";
    EXPECT_EQ(result->domain, "FerrowHelperConnection");
}

TEST_F(EnhancedModeTest, AnOldHelperIsReinstalledOnConnect)
{
    pretendInstalled();
    FakeHelper helper(layout.socketPath, 3);
    EXPECT_FALSE(awaitCurrent());
    EXPECT_EQ(await([&](auto done) { controller->startWithCompletion(done); }), std::nullopt);
    EXPECT_EQ(pkexecRuns(), 1);
    ASSERT_FALSE(helper.requests.isEmpty());
    EXPECT_EQ(helper.requests.last().value("method").toString(), "startCore");
}

TEST_F(EnhancedModeTest, ACurrentHelperStartsTheCoreWithoutAPrompt)
{
    pretendInstalled();
    controller->setGatewayMode(true);
    FakeHelper helper(layout.socketPath, 5);
    EXPECT_TRUE(awaitCurrent());
    EXPECT_EQ(await([&](auto done) { controller->startWithCompletion(done); }), std::nullopt);
    EXPECT_EQ(pkexecRuns(), 0);
    ASSERT_EQ(helper.requests.size(), 3);
    const QJsonObject params = helper.requests.last().value("params").toObject();
    EXPECT_EQ(params.value("corePath").toString(), controller->corePath());
    EXPECT_EQ(params.value("configPath").toString(), profiles->configPath());
    EXPECT_EQ(params.value("apiInfoPath").toString(),
              QString::fromStdString(home.root().string()) + "/run/ferrow/api-info.json");
    EXPECT_EQ(params.value("tunName").toString(), "utun9");
    EXPECT_TRUE(params.value("gateway").toBool());
}

TEST_F(EnhancedModeTest, RestoringAtLaunchNeverPrompts)
{
    bool synchronous = true;
    int calls = 0;
    std::pair<bool, FRWResult> outcome{true, std::nullopt};
    const auto restore = [&] {
        calls = 0;
        synchronous = true;
        controller->startIfHelperCurrentWithCompletion([&](bool started, FRWResult error) {
            ++calls;
            outcome = {started, error};
        });
        synchronous = calls > 0;
        EXPECT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 15000));
        QTest::qWait(50);
        EXPECT_EQ(calls, 1);
        EXPECT_FALSE(synchronous) << "the completion ran inside the call";
    };

    restore();
    EXPECT_FALSE(outcome.first) << "no helper installed";
    EXPECT_FALSE(outcome.second);

    pretendInstalled();
    {
        FakeHelper old(layout.socketPath, 3);
        restore();
        EXPECT_FALSE(outcome.first);
        EXPECT_FALSE(outcome.second);
        EXPECT_EQ(pkexecRuns(), 0);
        EXPECT_EQ(old.requests.size(), 1) << "an outdated helper was asked to start";
    }
    // The old helper's end of the connection is gone; the controller drops its client once it notices.
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->findChild<FRWHelperClient*>() == nullptr; }, 5000));
    FakeHelper current(layout.socketPath, 4);
    restore();
    EXPECT_TRUE(outcome.first);
    EXPECT_FALSE(outcome.second);
    EXPECT_EQ(pkexecRuns(), 0);
}

TEST_F(EnhancedModeTest, StartAndStopTheRealCoreThroughTheRealHelper)
{
    useRealHelper();
    EXPECT_TRUE(awaitCurrent());
    EXPECT_EQ(await([&](auto done) { controller->startWithCompletion(done); }), std::nullopt);
    EXPECT_TRUE(host->service().isCoreRunning());
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->tunnelCoreRunning(); }, 15000))
        << "the helper-run core's api-info file never appeared";
    EXPECT_EQ(controller->currentAPIInfoPath(), QString::fromStdString(host->config().apiInfoPath));

    EXPECT_EQ(await([&](auto done) { controller->stopWithCompletion(done); }), std::nullopt);
    EXPECT_FALSE(host->service().isCoreRunning());
    EXPECT_EQ(pkexecRuns(), 0);
}

TEST_F(EnhancedModeTest, TheHelpersRefusalReachesTheCaller)
{
    useRealHelper();
    ASSERT_EQ(await([&](auto done) { controller->startWithCompletion(done); }), std::nullopt);
    const FRWResult again = await([&](auto done) { controller->xpcStart(done); });
    ASSERT_TRUE(again);
    EXPECT_EQ(again->domain, "FerrowHelper");
    EXPECT_EQ(again->code, 1);
    EXPECT_EQ(again->description, "core already running");
}

TEST_F(EnhancedModeTest, StoppingWithoutAHelperAsksALeftoverCoreToStop)
{
    EXPECT_EQ(await([&](auto done) { controller->stopWithCompletion(done); }), std::nullopt)
        << "no helper and no api-info file";

    LoopbackHttpServer core;
    writeText(QString::fromStdString(home.root().string()) + "/run/ferrow/api-info.json",
              QStringLiteral(R"({"address": "%1", "secret": "s3cret"})")
                  .arg(QString::fromStdString(core.address())));
    EXPECT_EQ(await([&](auto done) { controller->stopWithCompletion(done); }), std::nullopt);
    ASSERT_TRUE(core.waitForRequests(1, std::chrono::seconds(10)));
    const RecordedRequest request = core.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/stop");
    EXPECT_EQ(request.header("authorization"), "Bearer s3cret");
}

TEST_F(EnhancedModeTest, StoppingThroughAnUnreachableHelperReportsTheConnection)
{
    pretendInstalled();
    const FRWResult result = await([&](auto done) { controller->stopWithCompletion(done); });
    ASSERT_TRUE(result);
    EXPECT_EQ(result->domain, "FerrowHelperConnection");
}
