// The application's launch order and its orderly quit, through a recording stand-in for the
// tunnel controller, model and notifier.

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include "FRWAppDelegate.h"
#include "FRWAppModel.h"
#include "FRWAppServices.h"
#include "FRWMainWindowController.h"
#include "FRWProfileStore.h"
#include "FRWStatusItem.h"
#include "LoopbackHttpServer.h"
#include "ManualTimerSource.h"
#include "ModelTestSupport.h"
#include "PrivateBus.h"
#include "TemporaryHome.h"

using namespace ferrow::test;

namespace {

class RecordingServices : public FRWAppServices {
public:
    QStringList calls;
    bool proxyRunning = false;
    bool answerStop = true;
    bool answerProxyStop = true;
    bool answerDrain = true;
    std::function<void()> drainDone;
    std::function<void()> proxyStopDone;
    std::function<void(FRWResult)> pendingStop;
    FRWProfileStore* store = nullptr;
    FRWAppModel* realModel = nullptr;

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
    void finishSystemProxyWork(std::function<void()> done) override
    {
        calls << "finishSystemProxyWork";
        if (answerDrain) {
            done();
        } else {
            drainDone = std::move(done);
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
    void postNotification(const QString& title, const QString& body) override
    {
        calls << "notify:" + title + "|" + body;
    }
    FRWAppModel* model() override { return realModel; }
    FRWProfileStore* profiles() override { return store; }
};

class AppDelegateTest : public ::testing::Test {
protected:
    FRWAppDelegate::Setup setup()
    {
        FRWAppDelegate::Setup s;
        // The real timings, shortened so the tests run quickly.
        s.restoreDelayMs = FRWTimings::kRestoreDelayMs / 12;
        s.quitWatchdogMs = FRWTimings::kQuitWatchdogMs / 30;
        s.menuForm = FRWStatusMenuBuilder::Form::Drawn;
        return s;
    }

    TemporaryHome home;
    ferrow::test::ManualTimerSource timers;
    RecordingServices services;
};

} // namespace

TEST(AppTimings, TheProductionValuesAreThoseUsersSee)
{
    // Changing one changes what users see: the mode's return, the longest quit, the refresh rate.
    EXPECT_EQ(FRWTimings::kRestoreDelayMs, 600);
    EXPECT_EQ(FRWTimings::kQuitWatchdogMs, 10'000);
    EXPECT_EQ(FRWTimings::kTickIntervalMs, 1000);
    const FRWAppDelegate::Setup setup;
    EXPECT_EQ(setup.restoreDelayMs, FRWTimings::kRestoreDelayMs);
    EXPECT_EQ(setup.quitWatchdogMs, FRWTimings::kQuitWatchdogMs);
    EXPECT_EQ(FRWAppModelSetup{}.tickIntervalMs, FRWTimings::kTickIntervalMs);
}

TEST_F(AppDelegateTest, LaunchRepairsTheProxyFirstAndRestoresTheModeAMomentLater)
{
    FRWAppDelegate::Setup timed = setup();
    timed.timers = &timers;
    FRWAppDelegate delegate(services, timed);
    delegate.applicationDidFinishLaunching();
    ASSERT_GE(services.calls.size(), 3);
    EXPECT_EQ(services.calls.mid(0, 3), (QStringList{"recover", "model", "notifier"}));
    EXPECT_FALSE(services.calls.contains("restore")) << "restored before the first poll could answer";
    EXPECT_TRUE(delegate.mainWindow()->window()->isVisible());
    EXPECT_TRUE(delegate.statusItem());
    timers.advance(std::chrono::milliseconds(timed.restoreDelayMs - 1));
    EXPECT_FALSE(services.calls.contains("restore"));
    timers.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(services.calls.count("restore"), 1);
}

TEST_F(AppDelegateTest, QuittingWithNothingRunningEndsPromptlyAndOnce)
{
    FRWAppDelegate::Setup timed = setup();
    timed.timers = &timers;
    FRWAppDelegate delegate(services, timed);
    delegate.applicationDidFinishLaunching();
    QSignalSpy quit(&delegate, &FRWAppDelegate::quitConfirmed);
    delegate.terminate();
    delegate.terminate();
    EXPECT_EQ(quit.size(), 1);
    EXPECT_FALSE(services.calls.contains("stopSystemProxy"));
    EXPECT_EQ(services.calls.count("stopEnhanced"), 1);
    EXPECT_EQ(delegate.terminatingPanel(), nullptr) << "the panel outlived the quit";
    ASSERT_GE(timers.pending(), 1) << "no watchdog";
    timers.advance(std::chrono::milliseconds(timed.quitWatchdogMs));
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
    EXPECT_EQ(services.calls.last(), "finishSystemProxyWork");
    EXPECT_EQ(quit.size(), 1);
}

TEST_F(AppDelegateTest, AQuitAfterTheCoreDiedWaitsForTheRestoreItQueued)
{
    // The core is gone, so no stop is asked for, but its death queued a restore.
    services.answerDrain = false;
    FRWAppDelegate delegate(services, setup());
    delegate.applicationDidFinishLaunching();
    QSignalSpy quit(&delegate, &FRWAppDelegate::quitConfirmed);
    delegate.terminate();
    EXPECT_FALSE(services.calls.contains("stopSystemProxy"));
    EXPECT_TRUE(services.calls.contains("finishSystemProxyWork"));
    EXPECT_TRUE(quit.isEmpty()) << "quit before the queued restore ran";
    ASSERT_TRUE(services.drainDone);
    services.drainDone();
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
    EXPECT_TRUE(QTest::qWaitFor([&] { return quit.size() == 1; }, 5000));
    EXPECT_EQ(quit.size(), 1);
}

TEST_F(AppDelegateTest, WithoutAnUpdateFeedTheCheckSaysUpdatesComeWithThePackageManager)
{
    FRWAppDelegate delegate(services, setup());
    delegate.applicationDidFinishLaunching();
    delegate.checkForUpdates();
    auto* box = delegate.mainWindow()->window()->findChild<QMessageBox*>("updatesByPackageManagerBox");
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(box->text().contains("package manager"));
    box->close();
}

TEST_F(AppDelegateTest, ClosingTheWindowDoesNotQuit)
{
    // Qt's default; the application itself must turn it off.
    QApplication::setQuitOnLastWindowClosed(true);
    FRWAppDelegate delegate(services, setup());
    delegate.applicationDidFinishLaunching();
    QSignalSpy quit(&delegate, &FRWAppDelegate::quitConfirmed);
    // Qt quits on the last window only from a running application loop.
    QTimer::singleShot(0, delegate.mainWindow()->window(), &QWidget::close);
    QTimer::singleShot(200, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(QCoreApplication::exec(), 7);
    EXPECT_EQ(quit.size(), 0);
    EXPECT_FALSE(delegate.terminating());
    delegate.showMainWindow();
    EXPECT_TRUE(delegate.mainWindow()->window()->isVisible());
}

TEST_F(AppDelegateTest, WithoutATrayClosingTheWindowMinimisesIt)
{
    bool tray = false;
    FRWAppDelegate::Setup s = setup();
    s.trayAvailable = [&tray] { return tray; };
    FRWAppDelegate delegate(services, std::move(s));
    delegate.applicationDidFinishLaunching();
    QWidget* window = delegate.mainWindow()->window();
    window->close();
    EXPECT_TRUE(window->isVisible()) << "still on the desktop's task list";
    EXPECT_TRUE(window->isMinimized());

    tray = true;
    delegate.showMainWindow();
    window->showNormal();
    window->close();
    EXPECT_FALSE(window->isVisible()) << "the tray item brings it back";
}

TEST_F(AppDelegateTest, AStatusNotifierWatcherOnTheBusDecidesBetweenHidingAndMinimising)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    const QDBusConnection client = bus.connect(QStringLiteral("tray-client"));
    QDBusConnection host = bus.connect(QStringLiteral("tray-host"));
    FRWAppDelegate::Setup s = setup();
    s.trayAvailable = [&client] { return FRWAppDelegate::trayHostPresent(client); };
    FRWAppDelegate delegate(services, std::move(s));
    delegate.applicationDidFinishLaunching();
    QWidget* window = delegate.mainWindow()->window();

    window->close();
    EXPECT_TRUE(window->isVisible() && window->isMinimized()) << "no tray host: only minimised";

    ASSERT_TRUE(host.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    delegate.showMainWindow();
    window->showNormal();
    window->close();
    EXPECT_FALSE(window->isVisible()) << "a tray host brings it back";
}

TEST_F(AppDelegateTest, SwitchingToAProfileThatIsGoneChangesNothing)
{
    FRWProfileStore store(FRWAppPaths::fromEnvironment());
    store.load();
    const FRWProfilePtr other = store.addProfileWithName(QStringLiteral("Other"));
    services.store = &store;
    const QString before = store.activeProfile()->identifier;
    ASSERT_NE(other->identifier, before);
    FRWAppDelegate delegate(services, setup());
    delegate.switchProfile(QStringLiteral("no-such-identifier"));
    EXPECT_EQ(store.activeProfile()->identifier, before);
    delegate.switchProfile(other->identifier);
    EXPECT_EQ(store.activeProfile()->identifier, other->identifier);
}

TEST_F(AppDelegateTest, AQuitAskedOfTheApplicationTakesTheOrderlyWay)
{
    FRWAppDelegate delegate(services, setup());
    delegate.applicationDidFinishLaunching();
    services.answerStop = false;
    QSignalSpy confirmed(&delegate, &FRWAppDelegate::quitConfirmed);
    // What QCoreApplication::quit() and the platform's quit deliver.
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    EXPECT_FALSE(quit.isAccepted()) << "the application would end before the tunnel stopped";
    EXPECT_TRUE(delegate.terminating());
    EXPECT_EQ(services.calls.count("stopEnhanced"), 1);
    QEvent again(QEvent::Quit);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &again);
    EXPECT_EQ(services.calls.count("stopEnhanced"), 1) << "a second quit started a second stop";
    services.pendingStop(std::nullopt);
    EXPECT_EQ(confirmed.size(), 1);
}

TEST_F(AppDelegateTest, EveryMenuItemReachesItsOwnOperation)
{
    LoopbackHttpServer core;
    core.setResponseFor("/status", 200, R"({"running":true})");
    core.setResponseFor("/groups", 200,
                        R"([{"name":"Proxy","type":"select","members":["A","B"],"selected":"A"}])");
    core.setResponseFor("/test", 200, R"({"ms":42})");
    const QString apiInfo = QString::fromStdString((home.root() / "api-info.json").string());
    QFile info(apiInfo);
    ASSERT_TRUE(info.open(QIODevice::WriteOnly));
    info.write(QByteArray(R"({"address":")") + QByteArray::fromStdString(core.address()) +
               R"(","secret":"s"})");
    info.close();
    ScriptedTunnel tunnel;
    tunnel.apiInfoPath = apiInfo;
    KeptAlerts alerts;
    ManualClock clock;
    FRWAppModel model(loopbackModelSetup(tunnel, clock, alerts,
                                         QString::fromStdString(home.configHome().string()),
                                         QUrl(QString::fromStdString("http://" + core.address()))));
    ASSERT_TRUE(pollOnce(model));
    FRWProfileStore store(FRWAppPaths::fromEnvironment());
    store.load();
    const FRWProfilePtr other = store.addProfileWithName(QStringLiteral("Other"));
    services.realModel = &model;
    services.store = &store;
    FRWAppDelegate delegate(services, setup());
    delegate.applicationDidFinishLaunching();
    FRWStatusMenuBuilder& menu = delegate.statusItem()->builder();

    // Waits for a request matching `wanted` among those that reached the core since `from`.
    const auto sentSince = [&](std::size_t from, const QString& wanted) {
        const QRegularExpression pattern(wanted);
        return QTest::qWaitFor(
            [&] {
                const auto requests = core.requests();
                for (std::size_t i = from; i < requests.size(); ++i) {
                    if (QString::fromStdString(requests[i].method + " " + requests[i].target)
                            .contains(pattern)) {
                        return true;
                    }
                }
                return false;
            },
            5000);
    };
    std::size_t from = core.requestCount();
    emit menu.outboundModePicked(QStringLiteral("direct"));
    EXPECT_TRUE(sentSince(from, "/outbound\\?mode=direct"));
    from = core.requestCount();
    emit menu.globalNodePicked(QStringLiteral("B"));
    EXPECT_TRUE(sentSince(from, "/outbound\\?mode=global.*B"));
    from = core.requestCount();
    emit menu.memberSelected(QStringLiteral("Proxy"), QStringLiteral("B"));
    EXPECT_TRUE(sentSince(from, "/select"));
    from = core.requestCount();
    emit menu.groupTestRequested(QStringLiteral("Proxy"));
    EXPECT_TRUE(sentSince(from, "/test\\?node=A"));
    EXPECT_TRUE(sentSince(from, "/test\\?node=B"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.nodesTesting().isEmpty(); }, 5000));
    from = core.requestCount();
    emit menu.updateAllExternalResources();
    EXPECT_TRUE(sentSince(from, "/rulesets"));

    emit menu.toggleSystemProxy();
    EXPECT_EQ(tunnel.calls.filter("SystemProxy"), QStringList{"startSystemProxyWithCompletion"});
    EXPECT_FALSE(tunnel.calls.contains("start"));
    emit menu.toggleEnhanced();
    EXPECT_TRUE(tunnel.calls.contains("stop") || tunnel.calls.contains("start")) << "Enhanced Mode untouched";

    QApplication::clipboard()->clear();
    emit menu.copyShellExport();
    EXPECT_EQ(QApplication::clipboard()->text(), QLatin1String(FRWStatusMenuBuilder::kShellExport));
    EXPECT_EQ(services.calls.filter("notify:").join(' '),
              "notify:Shell export command copied|" + QLatin1String(FRWStatusMenuBuilder::kShellExport));

    // A mode that ended on its own is told; once quitting, it is not.
    emit model.modeEndedOnItsOwn(QStringLiteral("System Proxy stopped"), QStringLiteral("Its core exited."));
    EXPECT_TRUE(services.calls.contains("notify:System Proxy stopped|Its core exited."));
    emit menu.switchProfile(other->identifier);
    EXPECT_EQ(store.activeProfile()->identifier, other->identifier);
    delegate.mainWindow()->window()->hide();
    emit menu.showMainWindow();
    EXPECT_TRUE(delegate.mainWindow()->window()->isVisible());
    EXPECT_FALSE(delegate.terminating());
    emit menu.quit();
    EXPECT_TRUE(delegate.terminating());
    emit model.modeEndedOnItsOwn(QStringLiteral("Enhanced Mode stopped"), QString());
    EXPECT_TRUE(services.calls.filter("Enhanced Mode stopped").isEmpty());
    services.realModel = nullptr;
}
