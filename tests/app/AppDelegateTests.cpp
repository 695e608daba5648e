// The application's launch order and its orderly quit, through a recording stand-in for the
// tunnel controller, model and notifier.

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include "FRWAppDelegate.h"
#include "FRWAppServices.h"
#include "FRWMainWindowController.h"
#include "FRWProfileStore.h"
#include "FRWStatusItem.h"
#include "TemporaryHome.h"

using namespace ferrow::test;

namespace {

class RecordingServices : public FRWAppServices {
public:
    QStringList calls;
    bool proxyRunning = false;
    bool answerStop = true;
    bool answerProxyStop = true;
    std::function<void()> proxyStopDone;
    std::function<void(FRWResult)> pendingStop;
    FRWProfileStore* store = nullptr;

    void recoverOrphanedSystemProxy() override { calls << "recover"; }
    void startModel() override { calls << "model"; }
    void startNotifier() override { calls << "notifier"; }
    void restoreDesiredModes() override { calls << "restore"; }
    void stopProbeCore() override { calls << "stopProbe"; }
    bool systemProxyRunning() const override { return proxyRunning; }
    void stopSystemProxy(std::function<void()> done) override
    {
        calls << "stopSystemProxy";
        proxyRunning = false;
        if (answerProxyStop) {
            done();
        } else {
            proxyStopDone = std::move(done);
        }
    }
    void stopWithCompletion(std::function<void(FRWResult)> completion) override
    {
        calls << "stopEnhanced";
        if (answerStop) {
            completion(std::nullopt);
        } else {
            pendingStop = std::move(completion);
        }
    }
    FRWStatusMenuState menuState() const override
    {
        // The window and the tray exist by the time anything reads the menu.
        const_cast<RecordingServices*>(this)->calls << "menuState";
        return {};
    }
    FRWAppModel* model() override { return nullptr; }
    FRWProfileStore* profiles() override { return store; }
};

class AppDelegateTest : public ::testing::Test {
protected:
    FRWAppDelegate::Setup setup()
    {
        FRWAppDelegate::Setup s;
        s.restoreDelayMs = 50;
        s.quitWatchdogMs = 300;
        s.menuForm = FRWStatusMenuBuilder::Form::Drawn;
        return s;
    }

    TemporaryHome home;
    RecordingServices services;
};

} // namespace

TEST_F(AppDelegateTest, LaunchRepairsTheProxyFirstAndRestoresTheModeAMomentLater)
{
    FRWAppDelegate delegate(services, setup());
    delegate.applicationDidFinishLaunching();
    ASSERT_GE(services.calls.size(), 3);
    EXPECT_EQ(services.calls.mid(0, 3), (QStringList{"recover", "model", "notifier"}));
    EXPECT_FALSE(services.calls.contains("restore")) << "restored before the first poll could answer";
    EXPECT_TRUE(delegate.mainWindow()->window()->isVisible());
    EXPECT_TRUE(delegate.statusItem());
    EXPECT_TRUE(QTest::qWaitFor([&] { return services.calls.contains("restore"); }, 5000));
    EXPECT_EQ(services.calls.count("restore"), 1);
}

TEST_F(AppDelegateTest, QuittingWithNothingRunningEndsPromptlyAndOnce)
{
    FRWAppDelegate delegate(services, setup());
    delegate.applicationDidFinishLaunching();
    QSignalSpy quit(&delegate, &FRWAppDelegate::quitConfirmed);
    delegate.terminate();
    delegate.terminate();
    EXPECT_EQ(quit.size(), 1);
    EXPECT_FALSE(services.calls.contains("stopSystemProxy"));
    EXPECT_EQ(services.calls.count("stopEnhanced"), 1);
    EXPECT_EQ(delegate.terminatingPanel(), nullptr) << "the panel outlived the quit";
    QTest::qWait(400);
    EXPECT_EQ(quit.size(), 1) << "the watchdog confirmed the quit a second time";
}

TEST_F(AppDelegateTest, TheQuitWaitsForTheSystemProxyRestore)
{
    services.proxyRunning = true;
    services.answerProxyStop = false;
    FRWAppDelegate delegate(services, setup());
    delegate.applicationDidFinishLaunching();
    QSignalSpy quit(&delegate, &FRWAppDelegate::quitConfirmed);
    services.calls.clear();
    delegate.terminate();
    services.calls.removeAll("menuState");
    EXPECT_EQ(services.calls, (QStringList{"stopProbe", "stopSystemProxy", "stopEnhanced"}));
    EXPECT_TRUE(quit.isEmpty()) << "quit while the desktop still pointed at the proxy";
    ASSERT_TRUE(services.proxyStopDone);
    services.proxyStopDone();
    EXPECT_EQ(quit.size(), 1);
}

TEST_F(AppDelegateTest, AStopThatNeverAnswersEndsAtTheWatchdogAndALateAnswerChangesNothing)
{
    services.answerStop = false;
    FRWAppDelegate delegate(services, setup());
    delegate.applicationDidFinishLaunching();
    QSignalSpy quit(&delegate, &FRWAppDelegate::quitConfirmed);
    delegate.terminate();
    ASSERT_TRUE(delegate.terminatingPanel());
    EXPECT_TRUE(delegate.terminatingPanel()->isVisible());
    EXPECT_EQ(quit.size(), 0);
    EXPECT_TRUE(quit.wait(5000));
    ASSERT_TRUE(services.pendingStop);
    services.pendingStop(std::nullopt);
    QTest::qWait(50);
    EXPECT_EQ(quit.size(), 1);
}

TEST_F(AppDelegateTest, ClosingTheWindowDoesNotQuit)
{
    QApplication::setQuitOnLastWindowClosed(false);
    FRWAppDelegate delegate(services, setup());
    delegate.applicationDidFinishLaunching();
    QSignalSpy quit(&delegate, &FRWAppDelegate::quitConfirmed);
    delegate.mainWindow()->window()->close();
    QTest::qWait(50);
    EXPECT_EQ(quit.size(), 0);
    EXPECT_FALSE(delegate.terminating());
    delegate.showMainWindow();
    EXPECT_TRUE(delegate.mainWindow()->window()->isVisible());
}

TEST_F(AppDelegateTest, SwitchingToAProfileThatIsGoneChangesNothing)
{
    FRWProfileStore store(FRWAppPaths::fromEnvironment());
    store.load();
    services.store = &store;
    const QString before = store.activeProfile()->identifier;
    FRWAppDelegate delegate(services, setup());
    delegate.switchProfile(QStringLiteral("no-such-identifier"));
    EXPECT_EQ(store.activeProfile()->identifier, before);
}
