// The app model against the real ferrow-core: rates and histories from real traffic, the rising
// edge, a replaced core, the log's capacity, the optimistic outbound values and kept group choices.

#include <QTcpServer>

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "FRWDefaultsKeys.h"
#include "FRWUserDefaults.h"
#include "LoopbackHttpServer.h"
#include "ModelTestSupport.h"
#include "TemporaryHome.h"

using namespace ferrow::test;

namespace {

const std::string kDirectProfile = "[General]\nlog-history = 6\n\n[Rule]\nFINAL,DIRECT\n";

const std::string kNodesProfile = R"([Proxy]
HK = ferrow, hk.example, 443, psk=k
JP = ferrow, jp.example, 443, psk=k

[Proxy Group]
Proxy = select, HK, JP, DIRECT
Block = select, REJECT, Proxy

[Rule]
FINAL,Proxy
)";

class ModelCoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        services.setResponseFor("/ip", 200, "203.0.113.7");
        services.setResponseFor("/ipinfo", 200,
                                R"({"country":"NL","country_name":"Netherlands","city":"Amsterdam",)"
                                R"("asn":"AS1136","as_name":"KPN"})");
        listener.listen(QHostAddress::LocalHost, 0);
    }

    FRWAppModelSetup setup()
    {
        FRWAppModelSetup s =
            loopbackModelSetup(tunnel, clock, presenter, QString::fromStdString(home.configHome().string()),
                               QUrl(QString::fromStdString("http://" + services.address())));
        s.probes.services.connectPort = listener.serverPort();
        s.probes.services.dnsPort = freePort();
        s.probes.networkName = [](const QString&) { return QStringLiteral("Internet"); };
        return s;
    }

    std::unique_ptr<CoreProcess> startCore(const std::string& profile, const std::string& secret)
    {
        CoreProcess::Options options;
        options.profile = profile;
        options.secret = secret;
        auto core = std::make_unique<CoreProcess>(options);
        EXPECT_TRUE(core->started()) << core->stderrText();
        tunnel.apiInfoPath = QString::fromStdString(core->apiInfoPath().string());
        return core;
    }

    std::size_t requestsFor(const std::string& prefix) const
    {
        std::size_t count = 0;
        for (const RecordedRequest& request : services.requests()) {
            count += request.target == prefix || request.target.rfind(prefix + "?", 0) == 0 ? 1 : 0;
        }
        return count;
    }

    TemporaryHome home;
    LoopbackHttpServer services;
    QTcpServer listener;
    ScriptedTunnel tunnel;
    ManualClock clock;
    KeptAlerts presenter;
};

// Sends `size` bytes through the core's SOCKS listener to an echo server and reads them back.
void echoThroughCore(CoreProcess& core, std::uint16_t echoPort, std::size_t size)
{
    Socket client(core.socksPort());
    ASSERT_EQ(socks5Connect(client, "127.0.0.1", echoPort), 0);
    const std::string bytes = patternBytes(size);
    ASSERT_TRUE(client.send(bytes));
    ASSERT_EQ(client.receiveExactly(size).size(), size);
}

qint64 total(CoreProcess& core, const char* direction)
{
    return core.get("/status")[direction].get<qint64>();
}

} // namespace

TEST_F(ModelCoreTest, RatesAndHistoriesFollowRealTraffic)
{
    auto echo = makeEchoServer();
    auto core = startCore(kDirectProfile, std::string(48, 'a'));
    FRWAppModel model(setup());
    echoThroughCore(*core, echo->port(), 40000); // large totals before the first sample

    ASSERT_TRUE(pollOnce(model));
    EXPECT_TRUE(model.running());
    EXPECT_EQ(model.uplinkRate(), 0.0) << "the first sample has no predecessor";
    EXPECT_EQ(model.downlinkRate(), 0.0);

    const qint64 upBefore = total(*core, "uplink");
    const qint64 downBefore = total(*core, "downlink");
    echoThroughCore(*core, echo->port(), 5000);
    const qint64 upAfter = total(*core, "uplink");
    const qint64 downAfter = total(*core, "downlink");
    ASSERT_GT(upAfter, upBefore);
    ASSERT_TRUE(pollOnce(model));
    EXPECT_EQ(model.uplinkRate(), double(upAfter - upBefore));
    EXPECT_EQ(model.downlinkRate(), double(downAfter - downBefore));

    const double rate = model.uplinkRate();
    for (int i = 0; i < 58; ++i) {
        ASSERT_TRUE(pollOnce(model));
    }
    ASSERT_EQ(model.uplinkHistory().size(), 60);
    EXPECT_EQ(model.uplinkHistory().at(1), rate);
    ASSERT_TRUE(pollOnce(model)); // the 61st sample pushes the first one out
    ASSERT_EQ(model.uplinkHistory().size(), 60);
    ASSERT_EQ(model.downlinkHistory().size(), 60);
    EXPECT_EQ(model.uplinkHistory().constFirst(), rate);
    ASSERT_TRUE(pollOnce(model));
    EXPECT_FALSE(model.uplinkHistory().contains(rate));
}

TEST_F(ModelCoreTest, DisconnectStartsRatesAfreshAndAGoneCoreIsNotRunning)
{
    auto echo = makeEchoServer();
    auto core = startCore(kDirectProfile, std::string(48, 'b'));
    FRWAppModel model(setup());
    ASSERT_TRUE(pollOnce(model));
    echoThroughCore(*core, echo->port(), 3000);
    model.disconnect(); // the scripted stop leaves this core up
    EXPECT_EQ(tunnel.calls, QStringList{"stop"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.polling(); }, 10000));
    EXPECT_EQ(model.uplinkRate(), 0.0) << "totals were forgotten, so this is a first sample";

    core.reset();
    QSignalSpy updates(&model, &FRWAppModel::didUpdate);
    model.poll();
    EXPECT_FALSE(model.polling()) << "no api-info: nothing is sent";
    EXPECT_FALSE(model.running());
    EXPECT_EQ(updates.size(), 1);
}

TEST_F(ModelCoreTest, RisingEdgeClearsTheLocationAndProbesAgain)
{
    FRWAppModel model(setup());
    model.probeNetwork();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.geoIP() == "203.0.113.7"; }, 10000));
    EXPECT_EQ(model.geoCountry(), "Netherlands");
    EXPECT_EQ(model.geoASN(), "AS1136  KPN");
    EXPECT_EQ(requestsFor("/ipinfo"), 1U);

    auto core = startCore(kDirectProfile, std::string(48, 'c'));
    bool clearedAtTheEdge = false;
    QObject::connect(&model, &FRWAppModel::didUpdate, [&] {
        if (model.running() && model.geoIP().isEmpty()) {
            clearedAtTheEdge = true;
        }
    });
    ASSERT_TRUE(pollOnce(model));
    EXPECT_TRUE(model.running());
    EXPECT_TRUE(clearedAtTheEdge);
    ASSERT_TRUE(QTest::qWaitFor([&] { return requestsFor("/ipinfo") == 2; }, 10000))
        << "the same address is looked up again through the new route";
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.geoIP() == "203.0.113.7"; }, 10000));
}

TEST_F(ModelCoreTest, ReplacedCoreRestartsTheLogFromTheBeginning)
{
    auto echo = makeEchoServer();
    auto first = startCore(kDirectProfile, std::string(48, 'd'));
    FRWAppModel model(setup());
    echoThroughCore(*first, echo->port(), 10);
    ASSERT_TRUE(pollOnce(model));
    ASSERT_FALSE(model.logs().isEmpty());
    ASSERT_GE(model.logCursor(), 0);
    const qint64 epochBefore = model.logsEpoch();

    first.reset();
    auto second = startCore("[General]\nlog-history = 50\n\n[Rule]\nFINAL,DIRECT\n", std::string(48, 'e'));
    ASSERT_TRUE(pollOnce(model));
    EXPECT_EQ(model.logCursor(), -1) << "the old core's cursor is not used with the new core";
    EXPECT_EQ(model.logsEpoch(), epochBefore + 1);
    EXPECT_TRUE(model.logs().isEmpty());
    EXPECT_EQ(model.logsCursor(), model.logsEpoch() * 1000000);

    ASSERT_TRUE(pollOnce(model));
    QStringList expected;
    // Held, since a range over a member of a temporary outlives the temporary.
    const auto answer = second->get("/logs?cursor=-1");
    for (const auto& line : answer["lines"]) {
        expected << QString::fromStdString(line.get<std::string>());
    }
    EXPECT_EQ(model.logs().mid(0, expected.size()), expected) << "every line of the new core, from its first";
    EXPECT_EQ(model.logsCursor(), model.logsEpoch() * 1000000 + model.logCursor());
}

TEST_F(ModelCoreTest, LogIsTrimmedToTheCoreCapacity)
{
    auto core = startCore(kDirectProfile, std::string(48, 'f')); // the core keeps 6 lines
    FRWAppModel model(setup());
    ASSERT_TRUE(pollOnce(model));
    for (int i = 0; i < 5; ++i) {
        core->get(i % 2 ? "/outbound?mode=rule" : "/outbound?mode=direct"); // one log line each
        ASSERT_TRUE(pollOnce(model));
    }
    const auto answer = core->get("/logs?cursor=-1");
    ASSERT_EQ(answer["capacity"].get<int>(), 6);
    ASSERT_EQ(model.logs().size(), 6);
    QStringList held;
    for (const auto& line : answer["lines"]) {
        held << QString::fromStdString(line.get<std::string>());
    }
    EXPECT_EQ(model.logs(), held) << "the newest lines, in order";
}

TEST_F(ModelCoreTest, OptimisticOutboundValuesYieldToTheNextAnswer)
{
    auto core = startCore(kNodesProfile, std::string(48, 'g'));
    FRWAppModel model(setup());
    ASSERT_TRUE(pollOnce(model));
    ASSERT_EQ(model.outboundMode(), "rule");
    ASSERT_EQ(model.groups().size(), 2);
    EXPECT_EQ(model.groups()[0].name(), "Proxy");
    EXPECT_EQ(model.groups()[0].members(), (QStringList{"HK", "JP", "DIRECT"}));

    QSignalSpy updates(&model, &FRWAppModel::didUpdate);
    model.setOutboundMode(QStringLiteral("global"), QStringLiteral("No Such Node"));
    EXPECT_EQ(model.outboundMode(), "global") << "shown at once";
    EXPECT_EQ(model.outboundGlobalNode(), "No Such Node");
    EXPECT_EQ(updates.size(), 1);
    // The core refuses the unknown node; the poll after the request shows what it really does.
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.outboundGlobalNode() != "No Such Node"; }, 10000));
    EXPECT_EQ(model.outboundMode(),
              QString::fromStdString(core->get("/outbound")["mode"].get<std::string>()));

    model.selectGroup(QStringLiteral("Proxy"), QStringLiteral("JP"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.groups()[0].selected() == "JP"; }, 10000));
}

TEST_F(ModelCoreTest, TestAllNodesSkipsBuiltInPoliciesAndSweepsAtMostEvery300Seconds)
{
    auto core = startCore(kNodesProfile, std::string(48, 'h'));
    FRWAppModel model(setup());
    model.maybeSweepLatencies();
    EXPECT_FALSE(model.lastSweepAt().isValid()) << "no sweep while nothing runs";
    ASSERT_TRUE(pollOnce(model));

    model.maybeSweepLatencies();
    EXPECT_EQ(model.lastSweepAt(), clock.current);
    ASSERT_TRUE(model.groups()[0].members().contains("DIRECT"));
    ASSERT_TRUE(model.groups()[1].members().contains("REJECT"));
    // Every member and every node of global mode, the group "Block" among them, but no built-in.
    const QSet<QString> expected{"HK", "JP", "Proxy", "Block"};
    ASSERT_TRUE(model.outboundNodes().contains("Block"));
    EXPECT_EQ(model.nodesTesting(), expected);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.nodesTesting().isEmpty(); }, 15000));
    EXPECT_EQ(QSet<QString>(model.nodeLatencies().keyBegin(), model.nodeLatencies().keyEnd()), expected);

    const QDateTime firstSweep = clock.current;
    clock.advance(299);
    model.maybeSweepLatencies();
    EXPECT_EQ(model.lastSweepAt(), firstSweep);
    EXPECT_TRUE(model.nodesTesting().isEmpty());
    model.testAllNodes(); // by hand: does not move the sweep's time
    EXPECT_EQ(model.lastSweepAt(), firstSweep);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.nodesTesting().isEmpty(); }, 15000));
    clock.advance(1);
    model.maybeSweepLatencies();
    EXPECT_EQ(model.lastSweepAt(), clock.current);
    EXPECT_EQ(model.nodesTesting(), expected);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.nodesTesting().isEmpty(); }, 15000));
}

TEST_F(ModelCoreTest, ChosenMemberIsKeptPerProfileAndMadeByEveryNewCore)
{
    const auto selected = [](CoreProcess& core) {
        return core.get("/groups")[0]["selected"].get<std::string>();
    };
    {
        auto core = startCore(kNodesProfile, std::string(48, 'i'));
        FRWAppModel model(setup());
        ASSERT_TRUE(pollOnce(model));
        model.selectGroup(QStringLiteral("Proxy"), QStringLiteral("JP"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return selected(*core) == "JP"; }, 10000));
    }

    // The application and its core start again: the new core is told the kept choice.
    auto core = startCore(kNodesProfile, std::string(48, 'j'));
    ASSERT_EQ(selected(*core), "HK");
    auto model = std::make_unique<FRWAppModel>(setup());
    ASSERT_TRUE(pollOnce(*model));
    ASSERT_TRUE(QTest::qWaitFor([&] { return selected(*core) == "JP"; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->groups()[0].selected() == "JP"; }, 10000));

    // A choice made while no core runs is taken, and made by the core that starts next.
    core.reset();
    tunnel.apiInfoPath.clear();
    ASSERT_FALSE(pollOnce(*model));
    QSignalSpy updates(model.get(), &FRWAppModel::didUpdate);
    model->selectGroup(QStringLiteral("Proxy"), QStringLiteral("DIRECT"));
    EXPECT_EQ(updates.size(), 1);
    EXPECT_EQ(model->chosenMember(QStringLiteral("Proxy")), "DIRECT");
    core = startCore(kNodesProfile, std::string(48, 'k'));
    ASSERT_TRUE(pollOnce(*model));
    ASSERT_TRUE(QTest::qWaitFor([&] { return selected(*core) == "DIRECT"; }, 10000));

    // Choices belong to the profile they were made in.
    FRWUserDefaults(setup().settingsFile)
        .setString(ferrow::defaults::kActiveProfile, QStringLiteral("another-profile"));
    EXPECT_EQ(model->chosenMember(QStringLiteral("Proxy")), "");
}
