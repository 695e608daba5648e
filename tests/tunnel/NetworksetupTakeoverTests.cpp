#include <memory>

#include <QDir>
#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

#include "FRWAppPaths.h"
#include "FRWNetworksetupBackend.h"
#include "FRWSystemProxy.h"
#include "FRWToolRunner.h"
#include "FRWUserDefaults.h"
#include "TemporaryHome.h"

namespace {

const QString kService = QStringLiteral("Wi-Fi");

// The System Proxy takeover against fake networksetup and route tools that keep their state in
// files and log every call.
class NetworksetupTakeoverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state = QString::fromStdString((home.root() / "fake").string());
        QDir().mkpath(state);
        qputenv("FAKE_STATE", state.toUtf8());
        qputenv("FAKE_SETTINGS_FILE", paths.settingsFile.toUtf8());
        put("route", "   route to: default\ndestination: default\n  interface: en0\n");
        put("order", "An asterisk (*) denotes that a network service is disabled.\n"
                     "(1) Thunderbolt Bridge\n(Hardware Port: Thunderbolt Bridge, Device: bridge0)\n\n"
                     "(2) Wi-Fi\n(Hardware Port: Wi-Fi, Device: en0)\n");
    }

    void TearDown() override
    {
        qunsetenv("FAKE_STATE");
        qunsetenv("FAKE_SETTINGS_FILE");
    }

    void put(const QString& name, const QByteArray& content)
    {
        QFile file(state + u'/' + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QString get(const QString& name) const
    {
        QFile file(state + u'/' + name);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QStringList calls() const { return get("calls").split(u'\n', Qt::SkipEmptyParts); }
    QStringList commandsCalled() const
    {
        QStringList commands;
        for (const QString& call : calls()) {
            commands.append(call.section(u'\t', 0, 0));
        }
        return commands;
    }
    void clearCalls() { put("calls", {}); }
    void failCommand(const QByteArray& command) { put("fail", command + '\n'); }

    void userHasWebProxy(const QByteArray& server, const QByteArray& port, bool enabled)
    {
        put("web.server", server);
        put("web.port", port);
        put("web.enabled", enabled ? "Yes" : "No");
    }

    bool pointsAtUs(const char* kind) const
    {
        const QString k = QLatin1String(kind);
        return get(k + ".enabled") == "Yes" && get(k + ".server") == "127.0.0.1" &&
               get(k + ".port") == "7891";
    }

    QVariant stored(const char* key) { return defaults->value(key); }

    ferrow::test::TemporaryHome home;
    FRWAppPaths paths = FRWAppPaths::fromEnvironment();
    QString state;
    FRWToolRunner runner;
    FRWNetworksetupBackend backend{runner, QStringLiteral(FERROW_TEST_SOURCE_DIR "/fake-networksetup"),
                                   QStringLiteral(FERROW_TEST_SOURCE_DIR "/fake-route")};
    std::unique_ptr<FRWUserDefaults> defaults = std::make_unique<FRWUserDefaults>(paths.settingsFile);
    bool coreRunning = false;
    FRWSystemProxy proxy{backend, *defaults, [this] { return coreRunning; },
                         QStringLiteral("127.0.0.1:7891")};
};

} // namespace

TEST_F(NetworksetupTakeoverTest, FindsThePrimaryServiceFromTheDefaultRoute)
{
    EXPECT_EQ(proxy.primaryNetworkService(), kService);
    put("route", "interface: en7\n");
    EXPECT_EQ(proxy.primaryNetworkService(), QString());
    put("route", "no interface line\n");
    EXPECT_EQ(proxy.primaryNetworkService(), QString());
    put("route", "interface: bridge0\n");
    EXPECT_EQ(proxy.primaryNetworkService(), "Thunderbolt Bridge");
}

TEST_F(NetworksetupTakeoverTest, TakeOverBacksUpFirstThenPointsEveryKindAtTheCore)
{
    userHasWebProxy("proxy.corp", "3128", true);
    put("bypass", "*.corp\nintranet\n");
    ASSERT_TRUE(proxy.applySystemProxy(true));

    EXPECT_TRUE(pointsAtUs("web"));
    EXPECT_TRUE(pointsAtUs("secure"));
    EXPECT_TRUE(pointsAtUs("socks"));
    EXPECT_EQ(get("bypass"), "127.0.0.1\nlocalhost\n*.local\n");
    EXPECT_EQ(commandsCalled(), (QStringList{"-listnetworkserviceorder", "-getwebproxy", "-getsecurewebproxy",
                                             "-getsocksfirewallproxy", "-getproxybypassdomains",
                                             "-setwebproxy", "-setsecurewebproxy", "-setsocksfirewallproxy",
                                             "-setwebproxystate", "-setsecurewebproxystate",
                                             "-setsocksfirewallproxystate", "-setproxybypassdomains"}));

    EXPECT_EQ(stored("FRWProxyService").toString(), kService);
    const QVariantMap backup = stored("FRWProxyBackup").toMap();
    EXPECT_EQ(backup.value("web").toMap().value("Server"), "proxy.corp");
    EXPECT_EQ(backup.value("web").toMap().value("Enabled"), "Yes");
    EXPECT_EQ(backup.value("bypass"), "*.corp\nintranet");

    // The backup was on disk before the first setting changed.
    const QString atFirstSet = get("settings-at-first-set");
    EXPECT_TRUE(atFirstSet.contains("FRWProxyService=Wi-Fi")) << atFirstSet.toStdString();
    EXPECT_TRUE(atFirstSet.contains("FRWProxyBackup=")) << atFirstSet.toStdString();
}

TEST_F(NetworksetupTakeoverTest, RestorePutsTheUsersSettingsBack)
{
    userHasWebProxy("proxy.corp", "3128", true);
    put("bypass", "*.corp\nintranet\n");
    ASSERT_TRUE(proxy.applySystemProxy(true));
    ASSERT_TRUE(proxy.applySystemProxy(false));

    EXPECT_EQ(get("web.enabled"), "Yes");
    EXPECT_EQ(get("web.server"), "proxy.corp");
    EXPECT_EQ(get("web.port"), "3128");
    EXPECT_EQ(get("secure.enabled"), "No");
    EXPECT_EQ(get("socks.enabled"), "No");
    EXPECT_EQ(get("bypass"), "*.corp\nintranet\n");
    EXPECT_FALSE(defaults->contains("FRWProxyService"));
    EXPECT_FALSE(defaults->contains("FRWProxyBackup"));
}

TEST_F(NetworksetupTakeoverTest, BypassSentenceIsRestoredAsEmpty)
{
    ASSERT_TRUE(proxy.applySystemProxy(true));
    clearCalls();
    ASSERT_TRUE(proxy.applySystemProxy(false));
    EXPECT_TRUE(calls().contains("-setproxybypassdomains\tWi-Fi\tEmpty"));
    EXPECT_EQ(get("bypass"), "");
}

TEST_F(NetworksetupTakeoverTest, KindsWithoutServerOrWithPortZeroGetOnlyTheirStateBack)
{
    userHasWebProxy("proxy.corp", "0", false);
    ASSERT_TRUE(proxy.applySystemProxy(true));
    clearCalls();
    ASSERT_TRUE(proxy.applySystemProxy(false));
    EXPECT_EQ(commandsCalled(), (QStringList{"-setsecurewebproxystate", "-setsocksfirewallproxystate",
                                             "-setwebproxystate", "-setproxybypassdomains"}));
    EXPECT_EQ(get("web.server"), "127.0.0.1"); // untouched: there was nothing to put back
    EXPECT_EQ(get("web.enabled"), "No");
}

TEST_F(NetworksetupTakeoverTest, AnAuthenticatedProxyIsNeverReplaced)
{
    for (const char* kind : {"web", "secure", "socks"}) {
        SCOPED_TRACE(kind);
        put(QLatin1String(kind) + ".auth", "1");
        put(QLatin1String(kind) + ".server", "secret.corp");
        clearCalls();
        EXPECT_FALSE(proxy.applySystemProxy(true));
        EXPECT_FALSE(commandsCalled().contains("-setwebproxy"));
        EXPECT_FALSE(defaults->contains("FRWProxyService"));
        EXPECT_FALSE(defaults->contains("FRWProxyBackup"));
        EXPECT_EQ(get(QLatin1String(kind) + ".server"), "secret.corp");
        put(QLatin1String(kind) + ".auth", "0");
    }
}

TEST_F(NetworksetupTakeoverTest, AFailingCommandStillRunsTheRestThenRollsBack)
{
    userHasWebProxy("proxy.corp", "3128", true);
    failCommand("-setwebproxystate");
    EXPECT_FALSE(proxy.applySystemProxy(true));
    const QStringList commands = commandsCalled();
    const qsizetype failed = commands.indexOf("-setwebproxystate");
    ASSERT_GE(failed, 0);
    EXPECT_EQ(
        commands.mid(failed + 1, 3),
        (QStringList{"-setsecurewebproxystate", "-setsocksfirewallproxystate", "-setproxybypassdomains"}));
    // Rolled back from the fresh backup.
    EXPECT_EQ(get("web.server"), "proxy.corp");
    EXPECT_EQ(get("secure.enabled"), "No");
    EXPECT_EQ(get("socks.enabled"), "No");
    // The rollback's own web state command failed too, so the backup is kept for a retry.
    EXPECT_EQ(stored("FRWProxyService").toString(), kService);
}

TEST_F(NetworksetupTakeoverTest, RestoreWithoutStoredServiceDoesNothing)
{
    EXPECT_TRUE(proxy.applySystemProxy(false));
    EXPECT_TRUE(calls().isEmpty());
}

TEST_F(NetworksetupTakeoverTest, NoPrimaryServiceMeansNoTakeover)
{
    put("route", "nothing useful\n");
    EXPECT_FALSE(proxy.applySystemProxy(true));
    EXPECT_FALSE(defaults->contains("FRWProxyService"));
    EXPECT_FALSE(commandsCalled().contains("-getwebproxy"));
}

TEST_F(NetworksetupTakeoverTest, OrphanRecoveryForgetsAServiceWhoseProxiesAreOff)
{
    defaults->setString("FRWProxyService", kService);
    defaults->setValue("FRWProxyBackup",
                       QVariantMap{{"web", QVariantMap{{"Enabled", "Yes"}, {"Server", "a"}, {"Port", "1"}}}});
    proxy.recoverOrphanedSystemProxy();
    EXPECT_FALSE(defaults->contains("FRWProxyService"));
    EXPECT_FALSE(commandsCalled().contains("-setwebproxy"));
}

TEST_F(NetworksetupTakeoverTest, OrphanRecoveryRestoresAProxyLeftOn)
{
    userHasWebProxy("proxy.corp", "3128", true);
    ASSERT_TRUE(proxy.applySystemProxy(true));

    coreRunning = true; // the core still runs: nothing is touched
    proxy.recoverOrphanedSystemProxy();
    EXPECT_TRUE(pointsAtUs("web"));

    coreRunning = false;
    proxy.recoverOrphanedSystemProxy();
    EXPECT_EQ(get("web.server"), "proxy.corp");
    EXPECT_FALSE(pointsAtUs("secure"));
    EXPECT_FALSE(defaults->contains("FRWProxyService"));
}

TEST_F(NetworksetupTakeoverTest, AToolThatCannotRunCountsAsEnabledAndFailsTheRestore)
{
    FRWNetworksetupBackend missing{runner, QStringLiteral("/nonexistent/networksetup"),
                                   QStringLiteral(FERROW_TEST_SOURCE_DIR "/fake-route")};
    FRWSystemProxy broken{missing, *defaults, [] { return false; }, QStringLiteral("127.0.0.1:7891")};
    EXPECT_TRUE(broken.systemProxyEnabledOn(kService));
    defaults->setString("FRWProxyService", kService);
    defaults->setValue("FRWProxyBackup", QVariantMap{});
    EXPECT_FALSE(broken.applySystemProxy(false));
    EXPECT_EQ(stored("FRWProxyService").toString(), kService);
}

TEST_F(NetworksetupTakeoverTest, ATakeoverWhileARestoreIsPendingKeepsTheUsersBackup)
{
    userHasWebProxy("proxy.corp", "3128", true);
    ASSERT_TRUE(proxy.applySystemProxy(true));
    failCommand("-setwebproxy");
    EXPECT_FALSE(proxy.applySystemProxy(false)); // restore pending; the web proxy still points at us
    EXPECT_EQ(get("web.server"), "127.0.0.1");
    put("fail", {});

    ASSERT_TRUE(proxy.applySystemProxy(true));
    const QVariantMap backup = stored("FRWProxyBackup").toMap();
    EXPECT_EQ(backup.value("web").toMap().value("Server"), "proxy.corp");
    ASSERT_TRUE(proxy.applySystemProxy(false));
    EXPECT_EQ(get("web.server"), "proxy.corp");
    EXPECT_EQ(get("web.port"), "3128");
}

TEST_F(NetworksetupTakeoverTest, RestoreWithoutBackupSwitchesEverythingOff)
{
    defaults->setString("FRWProxyService", kService);
    put("web.enabled", "Yes");
    EXPECT_TRUE(proxy.applySystemProxy(false));
    EXPECT_EQ(get("web.enabled"), "No");
    EXPECT_FALSE(commandsCalled().contains("-setproxybypassdomains"));
    EXPECT_FALSE(defaults->contains("FRWProxyService"));
}

TEST(HasAuthenticatedProxy, ReadsEveryKindAndIgnoresOddShapes)
{
    EXPECT_FALSE(FRWSystemProxy::hasAuthenticatedProxy(nullptr));
    const QVariantMap plain{{"web", QVariantMap{{"Authenticated Proxy Enabled", "0"}}},
                            {"secure", "not a map"}};
    EXPECT_FALSE(FRWSystemProxy::hasAuthenticatedProxy(&plain));
    const QVariantMap socks{{"socks", QVariantMap{{"Authenticated Proxy Enabled", "yes"}}}};
    EXPECT_TRUE(FRWSystemProxy::hasAuthenticatedProxy(&socks));
    const QVariantMap empty{{"web", QVariantMap{{"Authenticated Proxy Enabled", ""}}}};
    EXPECT_FALSE(FRWSystemProxy::hasAuthenticatedProxy(&empty));
}

TEST(NetworksetupOutput, ParsesKeyValueLines)
{
    const auto settings = FRWNetworksetupBackend::parseSettings(
        "Enabled: Yes\nServer: a.b\nPort: 80 \nAuthenticated Proxy Enabled: 0\nno separator\n Port: 1\n");
    EXPECT_TRUE(settings.enabled);
    EXPECT_EQ(settings.server, "a.b");
    EXPECT_EQ(settings.port, "80") << "a key is not trimmed";
    EXPECT_FALSE(settings.authenticated);
    EXPECT_TRUE(FRWNetworksetupBackend::parseSettings("Authenticated Proxy Enabled: 1\n").authenticated);
    EXPECT_FALSE(FRWNetworksetupBackend::parseSettings("Enabled: No\n").enabled);
}
