#include "TunnelControllerFixture.h"

#include <QElapsedTimer>
#include <QSaveFile>

#include <cstdio>

#include "LoopbackHttpServer.h"

using namespace std::chrono_literals;

// The profile watch with a recording loopback server standing in for the running core.
class LiveReloadTest : public TunnelControllerTest {
protected:
    void SetUp() override
    {
        TunnelControllerTest::SetUp();
        announceCore();
        controller->startConfigWatch();
        QTest::qWait(100); // let the watch thread arm
    }

    void announceCore()
    {
        writeFile(QString::fromStdString((home.root() / "run" / "api-info.json").string()),
                  QByteArray("{\"address\": \"") + server.address().c_str() + "\", \"secret\": \"s\"}");
    }

    std::size_t reloads() const
    {
        std::size_t count = 0;
        for (const auto& request : server.requests()) {
            count += request.method == "POST" && request.target == "/reload";
        }
        return count;
    }

    void appendToConfig(const QByteArray& text)
    {
        QFile file(profiles->configPath());
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(text);
    }

    ferrow::test::LoopbackHttpServer server;
};

TEST_F(LiveReloadTest, TenQuickWritesSendOneReload)
{
    for (int i = 0; i < 10; ++i) {
        appendToConfig("# edit\n");
        QTest::qWait(20);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return reloads() >= 1; }, 5000));
    QTest::qWait(600);
    EXPECT_EQ(reloads(), 1u);
    EXPECT_EQ(server.requests().back().header("authorization"), "Bearer s");
}

TEST_F(LiveReloadTest, EveryWriteRestartsTheDebounce)
{
    // Writes 100 ms apart for a second: each one pushes the reload back.
    QElapsedTimer sinceLastWrite;
    for (int i = 0; i < 10; ++i) {
        appendToConfig("# edit\n");
        sinceLastWrite.start();
        QTest::qWait(100);
    }
    EXPECT_EQ(reloads(), 0u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reloads() >= 1; }, 5000));
    EXPECT_GE(sinceLastWrite.elapsed(), 300);
    QTest::qWait(600);
    EXPECT_EQ(reloads(), 1u);
}

TEST_F(LiveReloadTest, AnEditorsRenameOverTheFileIsFollowed)
{
    QSaveFile replaced(profiles->configPath());
    ASSERT_TRUE(replaced.open(QIODevice::WriteOnly));
    replaced.write("[Rule]\nFINAL,DIRECT\n");
    ASSERT_TRUE(replaced.commit());
    ASSERT_TRUE(QTest::qWaitFor([&] { return reloads() == 1; }, 5000));
    QTest::qWait(500);
    EXPECT_EQ(reloads(), 1u);

    // The watch now follows the new file.
    appendToConfig("# again\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return reloads() == 2; }, 5000));
}

TEST_F(LiveReloadTest, AFileThatIsMissingForAWhileIsWaitedForAndReloadedWhenBack)
{
    ASSERT_TRUE(QFile::remove(profiles->configPath()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return reloads() == 1; }, 5000));
    QTest::qWait(400);
    writeFile(profiles->configPath(), "back\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return reloads() == 2; }, 5000));
    QTest::qWait(100);
    appendToConfig("# more\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return reloads() == 3; }, 5000));
}

TEST_F(LiveReloadTest, ARejectedProfileIsReportedOnceAtATime)
{
    server.setResponse(200, R"({"ok": false, "error": "line 7: unknown policy X"})");
    appendToConfig("# bad\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.size() == 1; }, 5000));
    EXPECT_TRUE(
        alerts[0].startsWith("Profile reload failed \u2014 still using the previous working version | "));
    EXPECT_TRUE(alerts[0].endsWith("Fix the profile and save again.\n\nline 7: unknown policy X"));

    appendToConfig("# still bad\n"); // rejected again while the alert is open
    ASSERT_TRUE(QTest::qWaitFor([&] { return reloads() == 2; }, 5000));
    QTest::qWait(200);
    EXPECT_EQ(alerts.size(), 1);

    dismissAlert();
    server.setResponse(200, R"({"ok": false, "error": 12})");
    appendToConfig("# third\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.size() == 2; }, 5000));
    EXPECT_TRUE(alerts[1].endsWith("\n\nunknown error"));
}

TEST_F(LiveReloadTest, AcceptedOrUnreadableAnswersShowNothing)
{
    for (const char* answer : {R"({"ok": true})", R"({"reloaded": 1})", "not json", "[false]"}) {
        server.setResponse(200, answer);
        const std::size_t before = reloads();
        appendToConfig("# ok\n");
        ASSERT_TRUE(QTest::qWaitFor([&] { return reloads() == before + 1; }, 5000)) << answer;
        QTest::qWait(100);
    }
    EXPECT_TRUE(alerts.isEmpty());
}

TEST_F(LiveReloadTest, NoRunningCoreMeansNoRequest)
{
    QFile::remove(QString::fromStdString((home.root() / "run" / "api-info.json").string()));
    appendToConfig("# edit\n");
    QTest::qWait(800);
    EXPECT_EQ(server.requestCount(), 0u);
}
