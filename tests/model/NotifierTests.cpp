// The notifier on a real session bus (the test runs under dbus-run-session) with a notification
// service of the test's own.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QJsonObject>
#include <QTest>

#include <gtest/gtest.h>

#include "FRWNotificationCenter.h"
#include "FRWNotifier.h"
#include "TestNotificationService.h"

namespace {

/// The core's /events as the test scripts it; answers wait until the test releases them.
struct ScriptedEvents {
    void fetch(qint64 cursor, std::function<void(QJsonArray, qint64)> completion)
    {
        asked.append(cursor);
        pending = std::move(completion);
    }
    void answer(const QJsonArray& events, qint64 next)
    {
        auto completion = std::move(pending);
        pending = nullptr;
        completion(events, next);
    }
    QList<qint64> asked;
    std::function<void(QJsonArray, qint64)> pending;
};

QJsonObject event(const QString& title, const QString& message)
{
    QJsonObject record{{"title", title}};
    if (!message.isNull()) {
        record.insert("message", message);
    }
    return record;
}

class NotifierTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            GTEST_SKIP() << "needs a session bus (run under dbus-run-session)";
        }
    }

    void TearDown() override
    {
        if (serviceBus) {
            serviceBus->unregisterService(QStringLiteral("org.freedesktop.Notifications"));
            QDBusConnection::disconnectFromBus(QStringLiteral("notification-service"));
        }
    }

    void startService()
    {
        serviceBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
            QDBusConnection::SessionBus, QStringLiteral("notification-service")));
        ASSERT_TRUE(service.registerOn(*serviceBus));
    }

    std::unique_ptr<FRWNotifier> startNotifier()
    {
        FRWNotifier::Setup setup;
        setup.fetchEventsSince = [this](qint64 cursor, auto completion) {
            events.fetch(cursor, std::move(completion));
        };
        setup.center = &center;
        setup.intervalMs = 60 * 60 * 1000; // the test polls by hand
        auto notifier = std::make_unique<FRWNotifier>(std::move(setup));
        notifier->start();
        return notifier;
    }

    TestNotificationService service;
    std::unique_ptr<QDBusConnection> serviceBus;
    FRWDesktopNotifications center{QDBusConnection::sessionBus()};
    ScriptedEvents events;
};

} // namespace

TEST_F(NotifierTest, FirstAnswerOnlyTakesTheCursorThenEventsShowInOrder)
{
    startService();
    auto notifier = startNotifier();
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier->granted(); }, 5000));
    ASSERT_EQ(events.asked, QList<qint64>{-1});
    events.answer({event("Old", "before launch")}, 7);
    EXPECT_EQ(notifier->cursor(), 7);

    notifier->poll();
    ASSERT_EQ(events.asked, (QList<qint64>{-1, 7}));
    events.answer({event("Rule set failing", "geoip did not update"), event("Node back", QString())}, 9);
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.shown.size() == 2; }, 5000));
    QTest::qWait(50);
    ASSERT_EQ(service.shown.size(), 2) << "the first answer's event is never shown";
    EXPECT_EQ(service.shown[0].summary, "Rule set failing");
    EXPECT_EQ(service.shown[0].body, "geoip did not update");
    EXPECT_EQ(service.shown[1].summary, "Node back");
    EXPECT_EQ(service.shown[1].body, "") << "no message: an empty body";
    EXPECT_EQ(service.shown[0].appName, "Ferrow");
    EXPECT_EQ(service.shown[0].replacesId, 0U);
    EXPECT_EQ(service.shown[0].icon, "zq.orbel.ferrow-mac") << "the icon the package installs";
    EXPECT_EQ(service.shown[0].hints.value("sound-name").toString(), "message-new-instant");
    const QString first = service.shown[0].hints.value("x-ferrow-identifier").toString();
    const QString second = service.shown[1].hints.value("x-ferrow-identifier").toString();
    EXPECT_EQ(first.size(), 36);
    EXPECT_NE(first, second);
    EXPECT_EQ(notifier->cursor(), 9);
}

TEST_F(NotifierTest, EmptyTitlesAreDroppedAndNoFetchOverlaps)
{
    startService();
    auto notifier = startNotifier();
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier->granted(); }, 5000));
    events.answer({}, 0);
    notifier->poll();
    notifier->poll(); // still in flight: no second request
    EXPECT_EQ(events.asked, (QList<qint64>{-1, 0}));
    EXPECT_TRUE(notifier->polling());
    events.answer({event("", "no title"), QJsonObject{{"message", "none"}}, event("Shown", "x")}, 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !service.shown.isEmpty(); }, 5000));
    QTest::qWait(50);
    ASSERT_EQ(service.shown.size(), 1);
    EXPECT_EQ(service.shown[0].summary, "Shown");
}

TEST_F(NotifierTest, NoCoreKeepsTheNotifierAtTheStart)
{
    startService();
    auto notifier = startNotifier();
    events.answer({}, -1); // no core answered: the cursor comes back unchanged
    notifier->poll();
    events.answer({event("First core's backlog", "x")}, 4);
    EXPECT_EQ(notifier->cursor(), 4);
    QTest::qWait(100);
    EXPECT_TRUE(service.shown.isEmpty()) << "still the first answer from a core";
}

TEST_F(NotifierTest, WithoutAServiceNothingIsPostedButTheCursorAdvances)
{
    ASSERT_FALSE(
        QDBusConnection::sessionBus().interface()->isServiceRegistered("org.freedesktop.Notifications"));
    auto notifier = startNotifier();
    events.answer({}, 1);
    // The answer to the permission question arrives as an error.
    QTest::qWait(200);
    EXPECT_FALSE(notifier->granted());
    notifier->poll();
    events.answer({event("Dropped", "x")}, 2);
    EXPECT_EQ(notifier->cursor(), 2);
    startService(); // a service appearing later changes nothing until the next launch
    notifier->poll();
    events.answer({event("Also dropped", "x")}, 3);
    QTest::qWait(100);
    EXPECT_TRUE(service.shown.isEmpty());
    EXPECT_EQ(notifier->cursor(), 3);
}
