// A node that stops answering and comes back, end to end: a real ferrow-server stopped and started
// again, the real core noticing through its delay tests, the app model and notifier following its
// events, and a notification service of the test's own on a private session bus.

#include <QDBusConnection>
#include <QTest>

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "FRWAppModel.h"
#include "FRWNotificationCenter.h"
#include "FRWNotifier.h"
#include "ModelTestSupport.h"
#include "ServerProcess.h"
#include "TemporaryHome.h"
#include "TestNotificationService.h"

using namespace ferrow::test;

namespace {

class NodeEventsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            GTEST_SKIP() << "needs a session bus (run under dbus-run-session)";
        }
        serviceBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
            QDBusConnection::SessionBus, QStringLiteral("node-events-service")));
        ASSERT_TRUE(service.registerOn(*serviceBus));
    }

    void TearDown() override
    {
        if (serviceBus) {
            serviceBus->unregisterService(QStringLiteral("org.freedesktop.Notifications"));
            QDBusConnection::disconnectFromBus(QStringLiteral("node-events-service"));
        }
    }

    QStringList titlesShown() const
    {
        QStringList titles;
        for (const auto& shown : service.shown) {
            titles << shown.summary;
        }
        return titles;
    }

    TemporaryHome home;
    TestNotificationService service;
    std::unique_ptr<QDBusConnection> serviceBus;
};

TEST_F(NodeEventsTest, AServerStoppedAndStartedAgainGivesOneNotificationEachWay)
{
    const std::string psk = newPsk();
    ServerProcess::Options serverOptions;
    serverOptions.psk = psk;
    auto server = std::make_unique<ServerProcess>(serverOptions);
    ASSERT_TRUE(server->started()) << server->stderrText();
    const std::uint16_t port = server->port();
    auto origin = makeOriginServer();

    CoreProcess::Options coreOptions;
    coreOptions.profile = "[General]\nproxy-test-url = http://127.0.0.1:" + std::to_string(origin->port()) +
                          "/\n[Proxy]\nHome = ferrow, 127.0.0.1, " + std::to_string(port) + ", psk=" + psk +
                          "\n[Proxy Group]\nProxy = select, Home\n[Rule]\nFINAL,Proxy\n";
    coreOptions.extraArguments = {"-node-down-after", "1"};
    CoreProcess core(coreOptions);
    ASSERT_TRUE(core.started()) << core.stderrText();

    ScriptedTunnel tunnel;
    tunnel.apiInfoPath = QString::fromStdString(core.apiInfoPath().string());
    ManualClock clock;
    KeptAlerts alerts;
    const QUrl loopback(QStringLiteral("http://127.0.0.1:9"));
    FRWAppModel model(loopbackModelSetup(tunnel, clock, alerts,
                                         QString::fromStdString(home.configHome().string()), loopback));
    FRWDesktopNotifications center(QDBusConnection::sessionBus());
    FRWNotifier::Setup notifierSetup;
    notifierSetup.fetchEventsSince = [&model](qint64 cursor,
                                              std::function<void(QJsonArray, qint64)> completion) {
        model.fetchEventsSince(cursor, std::move(completion));
    };
    notifierSetup.center = &center;
    notifierSetup.intervalMs = 100;
    FRWNotifier notifier(notifierSetup);
    notifier.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.granted() && notifier.cursor() >= 0; }, 10000));

    const auto testNode = [&] { return core.get("/test?node=Home").value("ms", -1); };
    ASSERT_GT(testNode(), 0) << "the node answers at first";

    server.reset();
    for (int attempt = 0; attempt < 6; ++attempt) {
        const auto answer = core.get("/test?node=Home");
        EXPECT_EQ(answer.value("ms", 0), -1);
        if (attempt > 0) {
            EXPECT_EQ(answer.value("failure", ""), "refused") << "nothing listens at the server's port";
        }
        QTest::qWait(400);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !service.shown.isEmpty(); }, 10000));
    QTest::qWait(500);
    EXPECT_EQ(titlesShown(), QStringList{"Node not answering"});
    EXPECT_TRUE(
        service.shown.first().body.contains(QString::fromUtf8("\u201CHome\u201D has not answered for")));

    serverOptions.port = port;
    server = std::make_unique<ServerProcess>(serverOptions);
    ASSERT_TRUE(server->started()) << server->stderrText();
    ASSERT_GT(testNode(), 0);
    ASSERT_GT(testNode(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.shown.size() >= 2; }, 10000));
    QTest::qWait(500);
    EXPECT_EQ(titlesShown(), (QStringList{"Node not answering", "Node recovered"}));
}

} // namespace
