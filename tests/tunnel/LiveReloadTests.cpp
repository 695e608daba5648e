#include <QSaveFile>
#include <QSignalSpy>

#include "FRWConfigWatch.h"
#include "FRWLiveReload.h"
#include "LoopbackHttpServer.h"
#include "TunnelControllerFixture.h"

using namespace std::chrono_literals;

namespace {

void appendTo(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(text);
}

} // namespace

// The watch on the test's own thread: a change is seen as soon as events are processed, so the
// quiet time can be measured exactly on manual timers.
class ConfigWatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = QString::fromStdString((home.root() / "profile.conf").string());
        ferrow::test::writeBytes(path, "[Rule]\n");
        watch.armWatch(path);
    }

    /// Writes, and lets the watch read what the kernel queued for it.
    void edit()
    {
        appendTo(path, "# edit\n");
        QCoreApplication::processEvents();
    }

    ferrow::test::TemporaryHome home;
    QString path;
    ferrow::test::ManualTimerSource timers;
    FRWConfigWatch watch{300, 300, &timers};
    QSignalSpy settled{&watch, &FRWConfigWatch::changesSettled};
};

TEST_F(ConfigWatchTest, QuickWritesSettleIntoOneSignalAfterTheQuietTime)
{
    for (int i = 0; i < 10; ++i) {
        edit();
        timers.advance(20ms);
    }
    timers.advance(279ms);
    EXPECT_EQ(settled.count(), 0) << "settled before 300 ms without a change";
    timers.advance(1ms);
    EXPECT_EQ(settled.count(), 1);
    QCoreApplication::processEvents();
    timers.advance(1h);
    EXPECT_EQ(settled.count(), 1);
}

TEST_F(ConfigWatchTest, EveryWriteRestartsTheQuietTime)
{
    for (int i = 0; i < 5; ++i) {
        edit();
        timers.advance(299ms);
    }
    EXPECT_EQ(settled.count(), 0);
    timers.advance(1ms);
    EXPECT_EQ(settled.count(), 1);
}

TEST_F(ConfigWatchTest, AMissingFileIsRetriedAndItsReturnCountsAsAChange)
{
    ASSERT_TRUE(QFile::remove(path));
    QCoreApplication::processEvents();
    timers.advance(300ms);
    EXPECT_EQ(settled.count(), 1) << "the deletion";
    EXPECT_EQ(timers.pending(), 1) << "no retry while the file is missing";
    timers.advance(900ms);
    EXPECT_EQ(settled.count(), 1);

    ferrow::test::writeBytes(path, "back\n");
    timers.advance(300ms); // the retry finds it
    timers.advance(300ms);
    EXPECT_EQ(settled.count(), 2);
    edit();
    timers.advance(300ms);
    EXPECT_EQ(settled.count(), 3) << "the file that came back is not watched";
}

// The profile watch with a recording loopback server standing in for the running core.
class LiveReloadTest : public TunnelControllerTest {
protected:
    void SetUp() override
    {
        TunnelControllerTest::SetUp();
        announceCore();
        armConfigWatch();
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

    void appendToConfig(const QByteArray& text) { appendTo(profiles->configPath(), text); }

    /// Edits the profile and waits for the reload it leads to.
    void editAndReload(const QByteArray& text)
    {
        const std::size_t before = reloads();
        appendToConfig(text);
        settleConfigChange();
        ASSERT_TRUE(QTest::qWaitFor([&] { return reloads() == before + 1; }, 5000));
    }

    ferrow::test::LoopbackHttpServer server;
};

TEST_F(LiveReloadTest, ASettledChangeAsksTheRunningCoreToReload)
{
    editAndReload("# edit\n");
    EXPECT_EQ(server.requests().back().header("authorization"), "Bearer s");
}

TEST_F(LiveReloadTest, AnEditorsRenameOverTheFileIsFollowed)
{
    QSaveFile replaced(profiles->configPath());
    ASSERT_TRUE(replaced.open(QIODevice::WriteOnly));
    replaced.write("[Rule]\nFINAL,DIRECT\n");
    ASSERT_TRUE(replaced.commit());
    settleConfigChange();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reloads() == 1; }, 5000));

    // The watch now follows the new file.
    editAndReload("# again\n");
}

TEST_F(LiveReloadTest, ARejectedProfileIsReportedOnceAtATime)
{
    server.setResponse(200, R"({"ok": false, "error": "line 7: unknown policy X"})");
    editAndReload("# bad\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.size() == 1; }, 5000));
    EXPECT_TRUE(
        alerts[0].startsWith("Profile reload failed \u2014 still using the previous working version | "));
    EXPECT_TRUE(alerts[0].endsWith("Fix the profile and save again.\n\nline 7: unknown policy X"));

    editAndReload("# still bad\n"); // rejected again while the alert is open
    // A rejection that is not shown leaves nothing to wait for.
    QTest::qWait(200);
    EXPECT_EQ(alerts.size(), 1);

    dismissAlert();
    server.setResponse(200, R"({"ok": false, "error": 12})");
    editAndReload("# third\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.size() >= 2; }, 5000));
    EXPECT_EQ(alerts.size(), 2);
    EXPECT_TRUE(alerts[1].endsWith("\n\nunknown error")) << alerts[1].toStdString();
}

TEST_F(LiveReloadTest, AcceptedOrUnreadableAnswersShowNothing)
{
    for (const char* answer : {R"({"ok": true})", R"({"reloaded": 1})", "not json", "[false]"}) {
        server.setResponse(200, answer);
        editAndReload("# ok\n");
    }
    // Answers are handled in order, so the first alert is the rejection's.
    server.setResponse(200, R"({"ok": false, "error": "the last"})");
    editAndReload("# rejected\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.isEmpty(); }, 5000));
    EXPECT_TRUE(alerts[0].endsWith("the last")) << alerts[0].toStdString();
}

TEST_F(LiveReloadTest, NoRunningCoreMeansNoRequest)
{
    const QString info = QString::fromStdString((home.root() / "run" / "api-info.json").string());
    ASSERT_TRUE(QFile::remove(info));
    auto* reload = controller->findChild<FRWLiveReload*>();
    ASSERT_NE(reload, nullptr);
    reload->triggerReload();
    // Reloads are asked in order, so once the next one has arrived the first would have.
    announceCore();
    reload->triggerReload();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() >= 1; }, 5000));
    EXPECT_EQ(server.requestCount(), 1u);
}
