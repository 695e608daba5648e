#include <memory>

#include <QFile>
#include <QMap>
#include <QSettings>

#include <gtest/gtest.h>

#include "FRWAppPaths.h"
#include "FRWGSettingsProxyBackend.h"
#include "FRWKDEProxyBackend.h"
#include "FRWMirroredProxyBackend.h"
#include "FRWSystemProxy.h"
#include "FRWToolRunner.h"
#include "FRWUserDefaults.h"
#include "GSettingsKeyfile.h"
#include "TemporaryHome.h"

namespace {

// The takeover on KDE against the real kwriteconfig5/kreadconfig5 and kioslaverc in a temporary
// home, mirrored into the real gsettings (keyfile backend).
class KDETakeoverTest : public ::testing::Test {
protected:
    void SetUp() override { qputenv("GSETTINGS_BACKEND", "keyfile"); }
    void TearDown() override { qunsetenv("GSETTINGS_BACKEND"); }

    QString kioslaverc() const { return QString::fromStdString((home.configHome() / "kioslaverc").string()); }

    void writeKioslaverc(const QByteArray& content)
    {
        QFile file(kioslaverc());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    // The "Proxy Settings" group as key → value, read by an independent INI reader.
    QMap<QString, QString> proxyGroup() const
    {
        QMap<QString, QString> values;
        QFile file(kioslaverc());
        if (!file.open(QIODevice::ReadOnly)) {
            return values;
        }
        bool inGroup = false;
        for (const QByteArray& raw : file.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.startsWith('[')) {
                inGroup = line == "[Proxy Settings]";
            } else if (inGroup && line.contains('=')) {
                values.insert(line.section('=', 0, 0), line.section('=', 1));
            }
        }
        return values;
    }

    QString gnome(const QString& schema, const QString& key)
    {
        return runner.run("gsettings", {"get", "org.gnome.system.proxy" + schema, key}).output.trimmed();
    }

    ferrow::test::TemporaryHome home;
    FRWAppPaths paths = FRWAppPaths::fromEnvironment();
    FRWToolRunner runner;
    int notifications = 0;
    GSettingsKeyfile keyfile;
    FRWMirroredProxyBackend backend{
        std::make_unique<FRWKDEProxyBackend>(runner, FRWKDEProxyBackend::Tools{},
                                             [this] { ++notifications; }),
        std::make_unique<FRWGSettingsProxyBackend>(
            "GNOME", QLatin1String(FRWGSettingsProxyBackend::kGnomeSchema), keyfile.store())};
    std::unique_ptr<FRWUserDefaults> defaults = std::make_unique<FRWUserDefaults>(paths.settingsFile);
    FRWSystemProxy proxy{backend, *defaults, [] { return false; }, QStringLiteral("127.0.0.1:7891")};
};

} // namespace

TEST_F(KDETakeoverTest, ManualProxyIsTakenOverAndRestoredExactly)
{
    writeKioslaverc(
        "[Proxy Settings]\nProxyType=1\nhttpProxy=http://proxy.corp 3128\nNoProxyFor=.corp,localhost\n"
        "ftpProxy=ftp://keep.me 21\n\n[Other]\nkeep=yes\n");
    const QMap<QString, QString> before = proxyGroup();
    ASSERT_EQ(proxy.primaryNetworkService(), "KDE");
    ASSERT_TRUE(proxy.applySystemProxy(true));

    const QMap<QString, QString> during = proxyGroup();
    EXPECT_EQ(during.value("ProxyType"), "1");
    EXPECT_EQ(during.value("httpProxy"), "http://127.0.0.1 7891");
    EXPECT_EQ(during.value("httpsProxy"), "http://127.0.0.1 7891");
    EXPECT_EQ(during.value("socksProxy"), "socks://127.0.0.1 7891");
    EXPECT_EQ(during.value("NoProxyFor"), "127.0.0.1,localhost,*.local");
    EXPECT_EQ(gnome("", "mode"), "'manual'");
    EXPECT_EQ(gnome(".socks", "port"), "7891");
    EXPECT_GT(notifications, 0);

    ASSERT_TRUE(proxy.applySystemProxy(false));
    EXPECT_EQ(proxyGroup(), before);
    EXPECT_EQ(gnome("", "mode"), "'none'");
    EXPECT_EQ(gnome(".http", "host"), "''");
    QSettings other(kioslaverc(), QSettings::IniFormat);
    EXPECT_EQ(other.value("Other/keep").toString(), "yes");
}

TEST_F(KDETakeoverTest, KeysThatWereAbsentAreRemovedAgain)
{
    writeKioslaverc("[Proxy Settings]\nProxyType=2\nProxy Config Script=http://wpad.corp/proxy.pac\n");
    const QMap<QString, QString> before = proxyGroup();
    ASSERT_TRUE(proxy.applySystemProxy(true));
    ASSERT_TRUE(proxy.applySystemProxy(false));
    EXPECT_EQ(proxyGroup(), before);
}

TEST_F(KDETakeoverTest, NoConfigurationFileAtAll)
{
    ASSERT_TRUE(proxy.applySystemProxy(true));
    EXPECT_TRUE(proxy.systemProxyEnabledOn("KDE"));
    ASSERT_TRUE(proxy.applySystemProxy(false));
    EXPECT_TRUE(proxyGroup().isEmpty());
    EXPECT_FALSE(proxy.systemProxyEnabledOn("KDE"));
}

TEST_F(KDETakeoverTest, ProxyWithCredentialsIsLeftAlone)
{
    writeKioslaverc("[Proxy Settings]\nProxyType=1\nhttpsProxy=http://me:pw@proxy.corp:3128\n");
    EXPECT_FALSE(proxy.applySystemProxy(true));
    EXPECT_EQ(proxyGroup().value("httpsProxy"), "http://me:pw@proxy.corp:3128");
    EXPECT_EQ(gnome("", "mode"), "'none'");
}

TEST(KDEProxyAddress, ReadsTheFormsKDEWrites)
{
    const auto spaced = FRWKDEProxyBackend::parseProxyAddress("http://proxy.corp 3128");
    EXPECT_EQ(spaced.host, "proxy.corp");
    EXPECT_EQ(spaced.port, "3128");
    const auto colon = FRWKDEProxyBackend::parseProxyAddress("socks://u:p@[::1]:1080");
    EXPECT_EQ(colon.host, "::1");
    EXPECT_EQ(colon.port, "1080");
    EXPECT_TRUE(colon.hasCredentials);
    EXPECT_EQ(FRWKDEProxyBackend::parseProxyAddress("").host, "");
    EXPECT_EQ(FRWKDEProxyBackend::parseProxyAddress("proxy.corp").host, "proxy.corp");
}
