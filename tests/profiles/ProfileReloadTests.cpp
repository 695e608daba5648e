#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include "LoopbackHttpServer.h"
#include "ProfileStoreFixture.h"

using namespace std::chrono_literals;

class ProfileReloadTest : public ProfileStoreTest {
protected:
    QString apiInfoPath() const { return home.root().c_str() + QStringLiteral("/api-info.json"); }

    std::unique_ptr<FRWProfileStore> storeAskingCore()
    {
        auto store = loadedStore();
        store->setAPIInfoPathProvider([path = apiInfoPath()] { return path; });
        return store;
    }

    void writeAPIInfo(const QByteArray& json) { writeBytes(apiInfoPath(), json); }

    bool requestArrives(std::size_t count)
    {
        return QTest::qWaitFor([&] { return server.requestCount() >= count; }, 5000);
    }

    // Nothing may arrive: give a request every chance to be sent, then look.
    void expectNoRequestWithin(std::chrono::milliseconds time)
    {
        QTest::qWait(static_cast<int>(time.count()));
        EXPECT_EQ(server.requestCount(), 0u);
    }

    ferrow::test::LoopbackHttpServer server;
};

TEST_F(ProfileReloadTest, SaveAsksTheRunningCoreToReloadWithItsSecret)
{
    writeAPIInfo(QJsonDocument(QJsonObject{{"address", QString::fromStdString(server.address())},
                                           {"secret", "s3cr3t"},
                                           {"pid", 12}})
                     .toJson());
    const auto store = storeAskingCore();
    store->setRules({{{"type", "FINAL"}, {"policy", "DIRECT"}}});
    ASSERT_TRUE(requestArrives(1));
    const auto request = server.requests().at(0);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/reload");
    EXPECT_EQ(request.header("authorization"), "Bearer s3cr3t");
    EXPECT_EQ(request.body, "");
}

TEST_F(ProfileReloadTest, EmptyOrMissingSecretSendsNoAuthorization)
{
    writeAPIInfo(
        QJsonDocument(QJsonObject{{"address", QString::fromStdString(server.address())}, {"secret", ""}})
            .toJson());
    const auto store = storeAskingCore();
    store->save();
    ASSERT_TRUE(requestArrives(1));
    EXPECT_FALSE(server.requests().at(0).hasHeader("authorization"));

    writeAPIInfo(
        QJsonDocument(QJsonObject{{"address", QString::fromStdString(server.address())}, {"secret", 42}})
            .toJson());
    store->save();
    ASSERT_TRUE(requestArrives(2));
    EXPECT_FALSE(server.requests().at(1).hasHeader("authorization"));
}

TEST_F(ProfileReloadTest, NoValidAPIInfoMeansNoRequest)
{
    const auto store = storeAskingCore();
    store->save(); // no file at all
    for (const QByteArray& bad :
         {QByteArray("not json"), QByteArray("[\"127.0.0.1:1\"]"), QByteArray("{\"secret\": \"s\"}"),
          QByteArray("{\"address\": \"\"}"), QByteArray("{\"address\": 8080}")}) {
        writeAPIInfo(bad);
        store->save();
    }
    expectNoRequestWithin(300ms);
}

TEST_F(ProfileReloadTest, NoProviderMeansNoRequest)
{
    writeAPIInfo(QJsonDocument(QJsonObject{{"address", QString::fromStdString(server.address())}}).toJson());
    const auto store = loadedStore();
    store->save();
    expectNoRequestWithin(300ms);
}

TEST_F(ProfileReloadTest, AnAnswerIsNotAwaitedAndAFailedCoreChangesNothing)
{
    server.setResponse(500, "{\"ok\": false, \"error\": \"line 3: bad\"}");
    writeAPIInfo(QJsonDocument(QJsonObject{{"address", QString::fromStdString(server.address())}}).toJson());
    const auto store = storeAskingCore();
    store->activeProfile()->configText = "kept";
    store->save();
    EXPECT_EQ(renderedConfig(), "kept");
    ASSERT_TRUE(requestArrives(1));
    EXPECT_EQ(store->activeProfile()->configText, "kept");
}
