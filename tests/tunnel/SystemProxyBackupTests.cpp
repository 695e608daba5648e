#include <memory>

#include <QDir>

#include <gtest/gtest.h>

#include "FRWAppPaths.h"
#include "FRWSystemProxy.h"
#include "FRWUserDefaults.h"
#include "RecordingProxyBackend.h"
#include "TemporaryHome.h"

namespace {

// The backup rules of the takeover, against an in-memory store with several services.
class SystemProxyBackupTest : public ::testing::Test {
protected:
    static RecordingProxyBackend::Kind userProxy(const char* server) { return {true, server, "3128"}; }

    ferrow::test::TemporaryHome home;
    FRWAppPaths paths = FRWAppPaths::fromEnvironment();
    RecordingProxyBackend backend;
};

} // namespace

TEST_F(SystemProxyBackupTest, ABackupThatCannotReachTheDiskChangesNothing)
{
    // A folder where the settings file goes: nothing can be saved there.
    ASSERT_TRUE(QDir().mkpath(paths.settingsFile));
    FRWUserDefaults defaults(paths.settingsFile);
    FRWSystemProxy proxy{backend, defaults, [] { return false; }, QStringLiteral("127.0.0.1:7891")};
    backend.kinds[FRWProxyKind::Web] = userProxy("proxy.corp");

    EXPECT_FALSE(proxy.applySystemProxy(true));
    EXPECT_TRUE(backend.calls.isEmpty()) << backend.calls.join(" / ").toStdString();
    EXPECT_EQ(backend.kinds[FRWProxyKind::Web].server, "proxy.corp");
    EXPECT_FALSE(defaults.contains("FRWProxyService"));
    EXPECT_FALSE(defaults.contains("FRWProxyBackup"));
}

TEST_F(SystemProxyBackupTest, APendingBackupOfAnotherServiceIsRestoredBeforeTheNewSnapshot)
{
    FRWUserDefaults defaults(paths.settingsFile);
    FRWSystemProxy proxy{backend, defaults, [] { return false; }, QStringLiteral("127.0.0.1:7891")};
    backend.kinds[FRWProxyKind::Web] = userProxy("a.corp");
    backend.others["B"].kinds[FRWProxyKind::Socks] = userProxy("b.corp");

    ASSERT_TRUE(proxy.applySystemProxy(true));
    backend.refuseChanges = true;
    ASSERT_FALSE(proxy.applySystemProxy(false)); // the restore of A fails and stays pending
    backend.refuseChanges = false;

    backend.primary = "B";
    ASSERT_TRUE(proxy.applySystemProxy(true));
    EXPECT_EQ(backend.kinds[FRWProxyKind::Web].server, "a.corp");
    EXPECT_TRUE(backend.kinds[FRWProxyKind::Web].enabled);
    EXPECT_FALSE(backend.kinds[FRWProxyKind::Socks].enabled);
    EXPECT_EQ(defaults.string("FRWProxyService"), "B");

    ASSERT_TRUE(proxy.applySystemProxy(false));
    const RecordingProxyBackend::Kinds& b = backend.kindsOf("B");
    EXPECT_EQ(b[FRWProxyKind::Socks].server, "b.corp");
    EXPECT_TRUE(b[FRWProxyKind::Socks].enabled);
    EXPECT_FALSE(b[FRWProxyKind::Web].enabled);
    EXPECT_FALSE(defaults.contains("FRWProxyService"));
}

// The restore every store shares, before any store's extras: secure, socks, then web, each
// kind's address before its switch, an address only with a port; then the bypass list.
TEST_F(SystemProxyBackupTest, TheGenericRestoreWritesKindsInOrderAndOnlyWholeAddresses)
{
    FRWUserDefaults defaults(paths.settingsFile);
    FRWSystemProxy proxy{backend, defaults, [] { return false; }, QStringLiteral("127.0.0.1:7891")};
    const QVariantMap backup{
        {"web", QVariantMap{{"Enabled", "Yes"}, {"Server", "w.example.test"}, {"Port", "8080"}}},
        {"secure", QVariantMap{{"Enabled", "No"}, {"Server", "s.example.test"}, {"Port", "0"}}},
        {"socks", QVariantMap{{"Enabled", "Yes"}, {"Server", ""}, {"Port", "1080"}}},
        {"bypass", " a.example.test \n\nnot a domain\n*.local\n"}};

    EXPECT_TRUE(proxy.restoreProxyConfig(&backup, "Test"));
    EXPECT_EQ(backend.calls, (QStringList{"state 1 off", "state 2 on", "set 0 w.example.test:8080",
                                          "state 0 on", "bypass a.example.test,*.local"}));
    EXPECT_EQ(backend.kinds[FRWProxyKind::Secure].port, "0") << "port 0 was written as an address";

    backend.calls.clear();
    const QVariantMap odd{{"web", "not a map"}, {"bypass", QStringList{"x.example.test"}}};
    EXPECT_TRUE(proxy.restoreProxyConfig(&odd, "Test"));
    EXPECT_EQ(backend.calls, (QStringList{"state 1 off", "state 2 off", "state 0 off", "bypass "}));
    backend.calls.clear();
    EXPECT_TRUE(proxy.restoreProxyConfig(nullptr, "Test"));
    EXPECT_EQ(backend.calls, (QStringList{"state 1 off", "state 2 off", "state 0 off"}))
        << "no backup, no bypass";
}

// The stored members are the settings file's format: a backup written by an earlier run must
// restore, so the keys and values stay as they are.
TEST_F(SystemProxyBackupTest, SnapshotsKeepTheStoredBackupFormat)
{
    FRWUserDefaults defaults(paths.settingsFile);
    FRWSystemProxy proxy{backend, defaults, [] { return false; }, QStringLiteral("127.0.0.1:7891")};
    backend.kinds[FRWProxyKind::Web] = userProxy("proxy.example.test");
    backend.bypass = {"a.example.test", "b.example.test"};

    const QVariantMap backup = proxy.snapshotProxyConfig("Test");
    EXPECT_EQ(backup.value("web").toMap(), (QVariantMap{{"Enabled", "Yes"},
                                                        {"Server", "proxy.example.test"},
                                                        {"Port", "3128"},
                                                        {"Authenticated Proxy Enabled", "0"}}));
    EXPECT_EQ(backup.value("socks").toMap().value("Enabled"), "No");
    EXPECT_EQ(backup.value("bypass"), "a.example.test\nb.example.test");
}
