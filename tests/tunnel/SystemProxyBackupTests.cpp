#include <QDir>

#include <memory>

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
