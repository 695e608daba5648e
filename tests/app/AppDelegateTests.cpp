// The application's launch order and its orderly quit, through a recording stand-in for the
// tunnel controller, model and notifier.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include "FRWAppDelegate.h"
#include "FRWAppServices.h"
#include "FRWMainWindowController.h"
#include "FRWProfileStore.h"
#include "FRWStatusItem.h"
#include "LoopbackHttpServer.h"
#include "ModelTestSupport.h"
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
    FRWAppModel* appModel = nullptr;

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
    FRWAppModel* model() override { return appModel; }
    FRWProfileStore* profiles() override { return store; }
};

class AppDelegateTest : public ::testing::Test {
protected:
    static constexpr int kFaster = 20;

    FRWAppDelegate::Setup setup()
    {
        FRWAppDelegate::Setup s;
        // The real timings, shortened by one stated factor.
        s.restoreDelayMs = FRWTimings::kRestoreDelayMs / kFaster;
        s.quitWatchdogMs = FRWTimings::kQuitWatchdogMs / kFaster;
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
    QTest::qWait(setup().quitWatchdogMs + 100);
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
    QApplication::setQuitOnLastWindowClosed(true); // Qt's default
    FRWAppDelegate delegate(services, setup());
    delegate.applicationDidFinishLaunching();
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
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
    // Not the first profile: a switch to nothing would fall back to the first one.
    store.setActiveProfile(store.addProfileWithName(QStringLiteral("Work")));
    services.store = &store;
    QSignalSpy changed(&store, &FRWProfileStore::profilesChanged);
    FRWAppDelegate delegate(services, setup());
    delegate.switchProfile(QStringLiteral("no-such-identifier"));
    EXPECT_EQ(store.activeID(), "Work");
    EXPECT_EQ(store.activeProfile()->identifier, "Work");
    EXPECT_TRUE(changed.isEmpty());
    delegate.switchProfile(QStringLiteral("Default"));
    EXPECT_EQ(store.activeID(), "Default");
}

TEST(AppTimings, TheProgramRunsWithThePinnedValues)
{
    EXPECT_EQ(FRWTimings::kRestoreDelayMs, 600);
    EXPECT_EQ(FRWTimings::kQuitWatchdogMs, 10000);
    EXPECT_EQ(FRWTimings::kModelTickMs, 1000);
    const FRWAppDelegate::Setup setup;
    EXPECT_EQ(setup.restoreDelayMs, FRWTimings::kRestoreDelayMs);
    EXPECT_EQ(setup.quitWatchdogMs, FRWTimings::kQuitWatchdogMs);
    EXPECT_EQ(FRWAppModelSetup().tickIntervalMs, FRWTimings::kModelTickMs);
}

namespace {

/// Keeps the URLs the program asks the desktop to open.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    OpenedUrls() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

bool requested(const LoopbackHttpServer& server, const std::string& method, const std::string& target)
{
    return QTest::qWaitFor(
        [&] {
            const auto all = server.requests();
            return std::any_of(all.begin(), all.end(),
                               [&](const auto& r) { return r.method == method && r.target == target; });
        },
        5000);
}

} // namespace

// Each tray menu entry reaches its own operation, on a real model and a real library.
TEST_F(AppDelegateTest, EachMenuActionReachesItsOwnOperation)
{
    LoopbackHttpServer controller;
    controller.setResponse(200, "{}");
    controller.setResponseFor("/status", 200, R"({"running":true,"uplink":0,"downlink":0})");
    controller.setResponseFor("/connections", 200, "[]");
    controller.setResponseFor("/outbound", 200, R"({"mode":"rule","global":"","nodes":[]})");
    controller.setResponseFor("/logs", 200, R"({"capacity":100,"lines":[],"cursor":0})");
    controller.setResponseFor(
        "/groups", 200,
        R"([{"name":"Proxy","type":"select","members":["HK","JP","DIRECT"],"selected":"HK"}])");
    const std::string apiInfo = (home.root() / "api-info.json").string();
    writeFile(apiInfo, R"({"address":")" + controller.address() + R"(","secret":"s"})");
    ScriptedTunnel tunnel;
    tunnel.apiInfoPath = QString::fromStdString(apiInfo);
    ManualClock clock;
    KeptAlerts alerts;
    const FRWAppModelSetup modelSetup =
        loopbackModelSetup(tunnel, clock, alerts, QString::fromStdString(home.configHome().string()),
                           QUrl(QString::fromStdString("http://" + controller.address())));
    FRWAppModel model(modelSetup);
    ASSERT_TRUE(pollOnce(model));
    FRWProfileStore store(FRWAppPaths::fromEnvironment());
    store.load();
    store.addProfileWithName("Work");
    services.store = &store;
    services.appModel = &model;
    int externalResources = 0;
    FRWAppDelegate::Setup s = setup();
    s.presentExternalResources = [&externalResources](QWidget*) { ++externalResources; };
    FRWAppDelegate delegate(services, s);
    delegate.applicationDidFinishLaunching();
    FRWStatusMenuBuilder& menu = delegate.statusItem()->builder();
    OpenedUrls opened;

    emit menu.toggleSystemProxy();
    EXPECT_TRUE(tunnel.calls.contains("startSystemProxy"));
    EXPECT_FALSE(tunnel.calls.contains("stop"));
    tunnel.calls.clear();
    emit menu.toggleEnhanced(); // a core answers, so the switch turns it off
    EXPECT_TRUE(tunnel.calls.contains("stop"));
    EXPECT_FALSE(tunnel.calls.contains("startSystemProxy"));

    emit menu.outboundModePicked("direct");
    EXPECT_TRUE(requested(controller, "GET", "/outbound?mode=direct"));
    emit menu.globalNodePicked("JP");
    const auto globalJP = [&] {
        const auto all = controller.requests();
        return std::any_of(all.begin(), all.end(), [](const auto& r) {
            return r.target.rfind("/outbound?mode=global", 0) == 0 &&
                   r.target.find("JP") != std::string::npos;
        });
    };
    EXPECT_TRUE(QTest::qWaitFor(globalJP, 5000));
    emit menu.memberSelected("Proxy", "JP");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const auto all = controller.requests();
            return std::any_of(all.begin(), all.end(), [](const auto& r) {
                return r.target.rfind("/select", 0) == 0 && r.body.find("JP") != std::string::npos;
            });
        },
        5000));
    emit menu.groupTestRequested("Proxy");
    EXPECT_TRUE(requested(controller, "GET", "/test?node=HK"));
    EXPECT_TRUE(requested(controller, "GET", "/test?node=JP"));
    emit menu.updateAllExternalResources();
    EXPECT_TRUE(requested(controller, "POST", "/rulesets"));

    emit menu.switchProfile("Work");
    EXPECT_EQ(store.activeID(), "Work");
    writeFile(std::filesystem::path(store.profilesDir().toStdString()) / "Extra.conf",
              "[Rule]\nFINAL,DIRECT\n");
    emit menu.reloadProfile();
    EXPECT_TRUE(store.profileNamed("Extra"));

    emit menu.copyShellExport();
    EXPECT_EQ(QApplication::clipboard()->text(), QLatin1String(FRWStatusMenuBuilder::kShellExport));
    emit menu.editProfileInTextEditor();
    ASSERT_EQ(opened.urls.size(), 1);
    EXPECT_EQ(opened.urls[0], QUrl::fromLocalFile(store.configPath()));
    emit menu.showExternalResources();
    EXPECT_EQ(externalResources, 1);

    delegate.mainWindow()->window()->hide();
    emit menu.showMainWindow();
    EXPECT_TRUE(delegate.mainWindow()->window()->isVisible());
    QSignalSpy quit(&delegate, &FRWAppDelegate::quitConfirmed);
    emit menu.quit();
    EXPECT_EQ(quit.size(), 1);
}

#include "AppDelegateTests.moc"
