#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include "FRWControllerAPI.h"
#include "LoopbackHttpServer.h"

namespace {

// The API client against a recording loopback server standing in for the core.
class ControllerAPITest : public ::testing::Test {
protected:
    QJsonObject info(const QString& secret = QStringLiteral("s3")) const
    {
        return {{"address", QString::fromStdString(server.address())}, {"secret", secret}};
    }

    template <typename Result>
    Result wait(const std::function<void(std::function<void(Result)>)>& call)
    {
        bool done = false;
        Result result{};
        call([&](Result r) {
            EXPECT_FALSE(done);
            result = std::move(r);
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 5000));
        return result;
    }

    ferrow::test::RecordedRequest lastRequest() const { return server.requests().back(); }

    ferrow::test::LoopbackHttpServer server;
    std::optional<QJsonObject> current = info();
    FRWControllerAPI api{[this] { return current; },
                         [this](std::function<void(std::optional<QJsonObject>)> done) { done(current); }};
};

} // namespace

TEST_F(ControllerAPITest, RequestsCarryTheSecretOnlyWhenThereIsOne)
{
    const auto withSecret = FRWControllerAPI::requestForPath("/status", info());
    ASSERT_TRUE(withSecret.has_value());
    EXPECT_EQ(withSecret->url().toString(), QString::fromStdString("http://" + server.address() + "/status"));
    EXPECT_EQ(withSecret->rawHeader("Authorization"), "Bearer s3");
    EXPECT_FALSE(FRWControllerAPI::requestForPath("/status", info(""))->hasRawHeader("Authorization"));
    EXPECT_FALSE(FRWControllerAPI::requestForPath("/status", {{"secret", "x"}}).has_value());
    EXPECT_FALSE(FRWControllerAPI::requestForPath("/status", {{"address", 80}}).has_value());
    EXPECT_FALSE(FRWControllerAPI::requestForPath("/status", {{"address", "bad host:x:y"}}).has_value());
}

TEST_F(ControllerAPITest, NodeNamesArePercentEncoded)
{
    server.setResponse(200, R"({"ms": 42})");
    const int ms = wait<int>([&](auto done) { api.testNode(QStringLiteral("Tōkyō 1 & 2=3+#"), done); });
    EXPECT_EQ(ms, 42);
    EXPECT_EQ(lastRequest().target, "/test?node=T%C5%8Dky%C5%8D%201%20%26%202%3D3%2B%23");
    EXPECT_EQ(lastRequest().header("authorization"), "Bearer s3");

    wait<bool>([&](auto done) { api.setOutboundMode("global", "Hong Kong", [done] { done(true); }); });
    EXPECT_EQ(lastRequest().target, "/outbound?mode=global&node=Hong%20Kong");
    wait<bool>([&](auto done) { api.setOutboundMode("rule", "Hong Kong", [done] { done(true); }); });
    EXPECT_EQ(lastRequest().target, "/outbound?mode=rule");
}

TEST_F(ControllerAPITest, WrongJSONTypesCountAsNoAnswer)
{
    server.setResponse(200, R"({"not": "an array"})");
    EXPECT_TRUE(wait<QJsonArray>([&](auto done) { api.fetchRuleSets(done); }).isEmpty());
    server.setResponse(200, R"([{"ms": 5}])");
    EXPECT_EQ(wait<int>([&](auto done) { api.testNode("n", done); }), -1);
    server.setResponse(200, R"({"ms": "5"})");
    EXPECT_EQ(wait<int>([&](auto done) { api.testNode("n", done); }), -1);
    server.setResponse(500, R"({"ms": 7})"); // only the body counts
    EXPECT_EQ(wait<int>([&](auto done) { api.testNode("n", done); }), 7);
}

TEST_F(ControllerAPITest, EventsCursorRules)
{
    using Events = std::pair<QJsonArray, qint64>;
    const auto fetch = [&](qint64 cursor) {
        return wait<Events>([&](auto done) {
            api.fetchEventsSince(cursor, [done](QJsonArray events, qint64 next) { done({events, next}); });
        });
    };
    server.setResponse(200, R"({"events": [{"title": "t", "message": "m"}], "cursor": 9007199254740993})");
    Events events = fetch(5);
    EXPECT_EQ(events.first.size(), 1);
    EXPECT_EQ(lastRequest().target, "/events?cursor=5");
    server.setResponse(200, R"({"events": []})");
    EXPECT_EQ(fetch(12).second, 0);
    server.setResponse(200, "[]");
    EXPECT_EQ(fetch(12).second, 12);
}

TEST_F(ControllerAPITest, WithoutACoreNothingIsSentAndEveryoneHearsAtOnce)
{
    current.reset();
    EXPECT_TRUE(wait<QJsonArray>([&](auto done) { api.fetchRuleSets(done); }).isEmpty());
    EXPECT_EQ(wait<int>([&](auto done) { api.testNode("n", done); }), -1);
    wait<bool>([&](auto done) { api.updateAllRuleSets([done] { done(true); }); });
    wait<bool>([&](auto done) { api.selectGroup("g", "m", [done] { done(true); }); });
    const auto poll = wait<FRWPollResult>([&](auto done) { api.poll(-1, done); });
    EXPECT_FALSE(poll.status.has_value());
    EXPECT_FALSE(poll.logs.has_value());
    // Requests leave in order: once one sent with a core has arrived, any sent before would have.
    current = info();
    server.setResponse(200, "[]");
    wait<QJsonArray>([&](auto done) { api.fetchRuleSets(done); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() >= 1; }, 5000));
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(ControllerAPITest, SelectSendsJSONAndLocalProxyRefreshesAfterwards)
{
    wait<bool>([&](auto done) { api.selectGroup("Proxy", "Hong Kong", [done] { done(true); }); });
    EXPECT_EQ(lastRequest().method, "POST");
    EXPECT_EQ(lastRequest().header("content-type"), "application/json");
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(lastRequest().body)).object(),
              (QJsonObject{{"group", "Proxy"}, {"member", "Hong Kong"}}));

    server.setResponse(200, R"({"running": true, "address": "0.0.0.0:7891"})");
    const auto state = wait<std::optional<QJsonObject>>(
        [&](auto done) { api.setLocalProxyEnabled(true, "0.0.0.0:7891", done); });
    const auto requests = server.requests();
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(requests[requests.size() - 2].target, "/socks?listen=0.0.0.0%3A7891");
    EXPECT_EQ(requests.back().target, "/socks");
    EXPECT_EQ(state->value("address"), "0.0.0.0:7891");
    wait<std::optional<QJsonObject>>(
        [&](auto done) { api.setLocalProxyEnabled(false, "0.0.0.0:7891", done); });
    EXPECT_EQ(server.requests()[server.requests().size() - 2].target, "/socks?listen=");
}

TEST_F(ControllerAPITest, PollChainsGroupsAfterStatusAndLogsAfterGroups)
{
    server.setResponse(200, "{}");
    server.setResponseFor("/connections", 200, "[]");
    server.setResponseFor("/groups", 200, R"([{"name": "Proxy"}])");
    server.setResponseFor("/logs", 200, R"({"lines": ["a"], "cursor": 3, "capacity": 10})");
    const auto poll = wait<FRWPollResult>([&](auto done) { api.poll(-1, done); });
    ASSERT_TRUE(poll.connections && poll.stats && poll.outbound && poll.status && poll.groups && poll.logs);
    EXPECT_EQ(poll.logs->value("cursor").toInt(), 3);

    QStringList order;
    for (const auto& request : server.requests()) {
        order.append(QString::fromStdString(request.target));
    }
    ASSERT_EQ(order.size(), 6);
    EXPECT_LT(order.indexOf("/status"), order.indexOf("/groups"));
    EXPECT_EQ(order.back(), "/logs?cursor=-1");
}

TEST_F(ControllerAPITest, LogsOfAReplacedCoreAreDropped)
{
    server.setResponse(200, R"({"lines": ["old core"], "cursor": 3})");
    // The core is replaced while the poll is under way: the record read when the log answer
    // arrives names another core than the one the poll started with.
    int reads = 0;
    FRWControllerAPI replaced{
        [&]() -> std::optional<QJsonObject> { return info(reads++ == 0 ? "old" : "new"); }, nullptr};
    bool done = false;
    FRWPollResult result;
    replaced.poll(7, [&](FRWPollResult r) {
        result = std::move(r);
        done = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 5000));
    EXPECT_TRUE(result.status.has_value());
    EXPECT_FALSE(result.logs.has_value());
    EXPECT_EQ(server.requests().back().header("authorization"), "Bearer old");

    // The log stream is reset while the log answer is on its way.
    reads = 0;
    FRWControllerAPI* self = nullptr;
    FRWControllerAPI reset{[&]() -> std::optional<QJsonObject> {
                               if (reads++ == 1) {
                                   self->resetLogStream();
                               }
                               return info();
                           },
                           nullptr};
    self = &reset;
    done = false;
    reset.poll(7, [&](FRWPollResult r) {
        result = std::move(r);
        done = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 5000));
    EXPECT_FALSE(result.logs.has_value());
    EXPECT_TRUE(result.status.has_value());
}

TEST_F(ControllerAPITest, ReloadAndStopReportOnceAndGiveUpAtTheirTimeOut)
{
    using Rejection = std::optional<QString>;
    server.setResponseFor("/reload", 200, R"({"ok": false, "error": "line 3: bad"})");
    EXPECT_EQ(wait<Rejection>([&](auto done) { ASSERT_TRUE(api.reload(info(), 3000, done)); }),
              "line 3: bad");
    EXPECT_EQ(lastRequest().method, "POST");
    server.setResponseFor("/reload", 200, R"({"ok": true})");
    EXPECT_EQ(wait<Rejection>([&](auto done) { ASSERT_TRUE(api.reload(info(), 3000, done)); }), std::nullopt);
    EXPECT_FALSE(api.reload(QJsonObject{{"address", ""}}, 3000, [](Rejection) { ADD_FAILURE(); }));

    // A core that takes the connection and never answers: the request ends at its time-out.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const QJsonObject stalled{{"address", QStringLiteral("127.0.0.1:%1").arg(silent.serverPort())}};
    QElapsedTimer clock;
    clock.start();
    bool stopped = false;
    ASSERT_TRUE(api.stop(stalled, 300, [&] { stopped = true; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return stopped; }, 5000));
    EXPECT_GE(clock.elapsed(), 250);
}
