#include <memory>
#include <thread>

#include <QMap>

#include <gtest/gtest.h>

#include "FRWAppPaths.h"
#include "FRWGSettingsProxyBackend.h"
#include "FRWSystemProxy.h"
#include "FRWToolRunner.h"
#include "FRWUserDefaults.h"
#include "GSettingsKeyfile.h"
#include "TemporaryHome.h"

namespace {

const QStringList kSchemas{"org.gnome.system.proxy", "org.gnome.system.proxy.http",
                           "org.gnome.system.proxy.https", "org.gnome.system.proxy.socks",
                           "org.gnome.system.proxy.ftp"};

// The takeover through GIO in process against the keyfile store in a temporary home, checked with
// the real gsettings tool reading the same file.
class GSettingsTakeoverTest : public ::testing::Test {
protected:
    void SetUp() override { qputenv("GSETTINGS_BACKEND", "keyfile"); }
    void TearDown() override { qunsetenv("GSETTINGS_BACKEND"); }

    void set(const QString& schema, const QString& key, const QString& value)
    {
        ASSERT_EQ(runner.run("gsettings", {"set", schema, key, value}).status, 0) << key.toStdString();
    }
    QString get(const QString& schema, const QString& key)
    {
        return runner.run("gsettings", {"get", schema, key}).output.trimmed();
    }

    // Every key of the proxy schemas, as gsettings prints it.
    QMap<QString, QString> everything()
    {
        QMap<QString, QString> values;
        for (const QString& schema : kSchemas) {
            for (const QString& key :
                 runner.run("gsettings", {"list-keys", schema}).output.split('\n', Qt::SkipEmptyParts)) {
                values.insert(schema + ' ' + key, get(schema, key));
            }
        }
        return values;
    }

    void expectTakenOver()
    {
        EXPECT_EQ(get("org.gnome.system.proxy", "mode"), "'manual'");
        for (const char* kind : {"http", "https", "socks"}) {
            EXPECT_EQ(get(QStringLiteral("org.gnome.system.proxy.") + kind, "host"), "'127.0.0.1'") << kind;
            EXPECT_EQ(get(QStringLiteral("org.gnome.system.proxy.") + kind, "port"), "7891") << kind;
        }
        EXPECT_EQ(get("org.gnome.system.proxy", "ignore-hosts"), "['127.0.0.1', 'localhost', '*.local']");
    }

    void roundTripRestoresExactly()
    {
        const QMap<QString, QString> before = everything();
        ASSERT_TRUE(proxy().applySystemProxy(true));
        expectTakenOver();
        EXPECT_TRUE(proxy().systemProxyEnabledOn("GNOME"));
        ASSERT_TRUE(proxy().applySystemProxy(false));
        EXPECT_EQ(everything(), before);
        EXPECT_FALSE(defaults->contains("FRWProxyService"));
    }

    // Made on first use, after the test has set up the user's settings with the tool.
    FRWSystemProxy& proxy()
    {
        if (!m_proxy) {
            m_keyfile = std::make_unique<GSettingsKeyfile>();
            backend = std::make_unique<FRWGSettingsProxyBackend>(
                "GNOME", QLatin1String(FRWGSettingsProxyBackend::kGnomeSchema), m_keyfile->store());
            m_proxy = std::make_unique<FRWSystemProxy>(
                *backend, *defaults, [] { return false; }, QStringLiteral("127.0.0.1:7891"));
        }
        return *m_proxy;
    }

    ferrow::test::TemporaryHome home;
    FRWAppPaths paths = FRWAppPaths::fromEnvironment();
    FRWToolRunner runner;
    std::unique_ptr<FRWUserDefaults> defaults = std::make_unique<FRWUserDefaults>(paths.settingsFile);
    std::unique_ptr<GSettingsKeyfile> m_keyfile;
    std::unique_ptr<FRWGSettingsProxyBackend> backend;
    std::unique_ptr<FRWSystemProxy> m_proxy;
};

} // namespace

TEST_F(GSettingsTakeoverTest, TheDesktopScopeIsTheService)
{
    EXPECT_EQ(proxy().primaryNetworkService(), "GNOME");
    FRWGSettingsProxyBackend missing{"MATE", "org.example.no.such.schema", m_keyfile->store()};
    EXPECT_EQ(missing.primaryNetworkService(), QString());
}

TEST_F(GSettingsTakeoverTest, NoProxyComesBackAsNoProxy)
{
    roundTripRestoresExactly();
    EXPECT_EQ(get("org.gnome.system.proxy", "mode"), "'none'");
    EXPECT_FALSE(proxy().systemProxyEnabledOn("GNOME"));
}

TEST_F(GSettingsTakeoverTest, ManualProxyWithBypassListComesBackExactly)
{
    set("org.gnome.system.proxy", "mode", "'manual'");
    set("org.gnome.system.proxy.http", "host", "'proxy.corp'");
    set("org.gnome.system.proxy.http", "port", "3128");
    set("org.gnome.system.proxy.socks", "host", "'socks.corp'");
    set("org.gnome.system.proxy.socks", "port", "1080");
    set("org.gnome.system.proxy", "ignore-hosts", "['localhost', '10.0.0.0/8', \"o'brien.corp\"]");
    set("org.gnome.system.proxy", "use-same-proxy", "false");
    roundTripRestoresExactly();
    EXPECT_EQ(get("org.gnome.system.proxy", "ignore-hosts"), "['localhost', '10.0.0.0/8', \"o'brien.corp\"]");
}

TEST_F(GSettingsTakeoverTest, AutomaticConfigurationComesBackWithItsURL)
{
    set("org.gnome.system.proxy", "mode", "'auto'");
    set("org.gnome.system.proxy", "autoconfig-url", "'http://wpad.corp/proxy.pac'");
    set("org.gnome.system.proxy.https", "host", "'remembered.corp'");
    set("org.gnome.system.proxy.https", "port", "8443");
    roundTripRestoresExactly();
    EXPECT_EQ(get("org.gnome.system.proxy", "mode"), "'auto'");
    EXPECT_EQ(get("org.gnome.system.proxy.https", "host"), "'remembered.corp'");
}

TEST_F(GSettingsTakeoverTest, ProxyWithCredentialsIsLeftAlone)
{
    set("org.gnome.system.proxy", "mode", "'manual'");
    set("org.gnome.system.proxy.http", "host", "'proxy.corp'");
    set("org.gnome.system.proxy.http", "use-authentication", "true");
    const QMap<QString, QString> before = everything();
    EXPECT_FALSE(proxy().applySystemProxy(true));
    EXPECT_EQ(everything(), before);
    EXPECT_FALSE(defaults->contains("FRWProxyBackup"));
}

TEST_F(GSettingsTakeoverTest, RestoreWithoutBackupTurnsTheProxyOff)
{
    ASSERT_TRUE(proxy().applySystemProxy(true));
    defaults->remove("FRWProxyBackup");
    ASSERT_TRUE(proxy().applySystemProxy(false));
    EXPECT_EQ(get("org.gnome.system.proxy", "mode"), "'none'");
    EXPECT_EQ(get("org.gnome.system.proxy.http", "host"), "''");
    EXPECT_FALSE(defaults->contains("FRWProxyService"));
}

TEST_F(GSettingsTakeoverTest, CrashedRunIsRepairedAtTheNextLaunch)
{
    set("org.gnome.system.proxy", "mode", "'auto'");
    set("org.gnome.system.proxy", "autoconfig-url", "'http://wpad.corp/proxy.pac'");
    const QMap<QString, QString> before = everything();
    ASSERT_TRUE(proxy().applySystemProxy(true));

    // A new run of the program, with settings read from disk.
    defaults->sync();
    FRWUserDefaults nextRun(paths.settingsFile);
    FRWSystemProxy recovered{*backend, nextRun, [] { return false; }, QStringLiteral("127.0.0.1:7891")};
    recovered.recoverOrphanedSystemProxy();
    EXPECT_EQ(everything(), before);
}

TEST_F(GSettingsTakeoverTest, TakeoverAndRestoreWorkFromAWorkerThread)
{
    set("org.gnome.system.proxy", "mode", "'auto'");
    const QMap<QString, QString> before = everything();
    FRWSystemProxy& onWorker = proxy();
    bool tookOver = false;
    bool restored = false;
    std::thread worker([&] {
        tookOver = onWorker.applySystemProxy(true);
        restored = onWorker.applySystemProxy(false);
    });
    worker.join();
    EXPECT_TRUE(tookOver);
    EXPECT_TRUE(restored);
    EXPECT_EQ(everything(), before);
}

namespace {

struct ModeWatch {
    GSettings* http = nullptr;
    QStringList seen; // "mode/http host" at every change of the mode
};

void noteMode(GSettings* main, gchar* /*key*/, gpointer data)
{
    auto* watch = static_cast<ModeWatch*>(data);
    gchar* mode = g_settings_get_string(main, "mode");
    gchar* host = g_settings_get_string(watch->http, "host");
    watch->seen << QString::fromUtf8(mode) + '/' + QString::fromUtf8(host);
    g_free(mode);
    g_free(host);
}

} // namespace

TEST_F(GSettingsTakeoverTest, NoOneSeesAManualModeWithoutItsAddress)
{
    FRWSystemProxy& systemProxy = proxy();
    GSettings* main = g_settings_new_with_backend("org.gnome.system.proxy", m_keyfile->store());
    ModeWatch watch{g_settings_new_with_backend("org.gnome.system.proxy.http", m_keyfile->store()), {}};
    g_free(g_settings_get_string(main, "mode")); // a key must be read once before changes are announced
    g_signal_connect(main, "changed::mode", G_CALLBACK(noteMode), &watch);
    ASSERT_TRUE(systemProxy.applySystemProxy(true));
    ASSERT_TRUE(systemProxy.applySystemProxy(false));
    while (g_main_context_iteration(nullptr, false)) {
    }
    EXPECT_EQ(watch.seen, (QStringList{"manual/127.0.0.1", "none/127.0.0.1"}));
    g_object_unref(watch.http);
    g_object_unref(main);
}
