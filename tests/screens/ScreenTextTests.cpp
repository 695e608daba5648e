// The screens' pure parts: texts derived from model values, the device address rule, log levels,
// desktop entries read from real files, and the keyed table model's in-place updates.

#include <limits>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "FRWClientsModel.h"
#include "FRWConnectionsModel.h"
#include "FRWDesktopEntries.h"
#include "FRWDeviceViewController.h"
#include "FRWLogFindBar.h"
#include "FRWOverviewViewController.h"
#include "FRWScreenText.h"

namespace {

TEST(ScreenTextTest, FlagsOnlyForTwoLettersOfTheAlphabet)
{
    EXPECT_EQ(FRWScreenText::externalIPText("nl", "203.0.113.7"), QString::fromUtf8("🇳🇱 203.0.113.7"));
    EXPECT_EQ(FRWScreenText::externalIPText("US", "203.0.113.7"), QString::fromUtf8("🇺🇸 203.0.113.7"));
    for (const char* code : {"", "N", "NLD", "N1", "É1", "ÄB"}) {
        EXPECT_EQ(FRWScreenText::externalIPText(QString::fromUtf8(code), "203.0.113.7"), "203.0.113.7")
            << code;
    }
}

TEST(ScreenTextTest, AFlagCountsAsDrawnOnlyWithAFontThatHasIt)
{
    const QFont font = QApplication::font();
    EXPECT_FALSE(FRWScreenText::drawsFlag(QString(), font));
    // Without a colour emoji font the pair comes out as boxes or as two letters.
    const bool emoji = QFontDatabase::families().contains(QStringLiteral("Noto Color Emoji"));
    EXPECT_EQ(FRWScreenText::drawsFlag(FRWScreenText::flagFor("NL"), font), emoji);
}

TEST(ScreenTextTest, AsnSeparatorAndLatencyUnit)
{
    EXPECT_EQ(FRWScreenText::asnText("AS1136  KPN  B.V."), QString::fromUtf8("AS1136 · KPN  B.V."));
    EXPECT_EQ(FRWScreenText::asnText("AS1136 KPN"), "AS1136 KPN");
    EXPECT_EQ(FRWScreenText::withMilliseconds("12"), "12 ms");
    EXPECT_EQ(FRWScreenText::withMilliseconds(QString::fromUtf8("—")), QString::fromUtf8("—"));
    EXPECT_EQ(FRWScreenText::outboundDisplay("direct", "HK"), "Direct");
    EXPECT_EQ(FRWScreenText::outboundDisplay("global", ""), QString::fromUtf8("Global: —"));
    EXPECT_EQ(FRWScreenText::outboundDisplay("global", "HK"), "Global: HK");
    EXPECT_EQ(FRWScreenText::outboundDisplay("anything", ""), "Rule-Based Proxy");
}

TEST(ScreenTextTest, ConnectionBytesAtUnitBoundaries)
{
    EXPECT_EQ(FRWScreenText::connectionBytes(0), "0 B");
    EXPECT_EQ(FRWScreenText::connectionBytes(1023), "1023 B");
    EXPECT_EQ(FRWScreenText::connectionBytes(1024), "1.0 KB");
    EXPECT_EQ(FRWScreenText::connectionBytes(1024 * 1024 - 1), "1024.0 KB");
    EXPECT_EQ(FRWScreenText::connectionBytes(1024 * 1024), "1.0 MB");
    EXPECT_EQ(FRWScreenText::connectionBytes(1024LL * 1024 * 1024), "1.00 GB");
    EXPECT_EQ(FRWScreenText::connectionBytes(5LL * 1024 * 1024 * 1024 * 1024), "5120.00 GB");
}

TEST(ScreenTextTest, AgeRoundsSecondsAndCountsMinutesOnward)
{
    EXPECT_EQ(FRWScreenText::ageText(-5), "just now");
    EXPECT_EQ(FRWScreenText::ageText(999), "just now");
    EXPECT_EQ(FRWScreenText::ageText(1000), "1s ago");
    EXPECT_EQ(FRWScreenText::ageText(59999), "60s ago");
    EXPECT_EQ(FRWScreenText::ageText(60000), "1m ago");
    EXPECT_EQ(FRWScreenText::ageText(3 * 3600 * 1000), "180m ago");
}

TEST(ScreenTextTest, LenientRecordReads)
{
    const QJsonObject record{{"srcport", "8080"}, {"up", 12.0}, {"down", "x"}, {"closed", 1}, {"id", 7}};
    EXPECT_EQ(FRWScreenText::integerOf(record, "srcport"), 8080);
    EXPECT_EQ(FRWScreenText::integerOf(record, "up"), 12);
    EXPECT_EQ(FRWScreenText::integerOf(record, "down"), 0);
    EXPECT_EQ(FRWScreenText::integerOf(record, "missing"), 0);
    // Past qint64's range a cast is undefined; the value is held at the edge.
    const QJsonObject huge{{"up", 1e19}, {"down", -1e300}, {"edge", 9223372036854775808.0}};
    EXPECT_EQ(FRWScreenText::integerOf(huge, "up"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(FRWScreenText::integerOf(huge, "down"), std::numeric_limits<qint64>::min());
    EXPECT_EQ(FRWScreenText::integerOf(huge, "edge"), std::numeric_limits<qint64>::max());
    EXPECT_FALSE(FRWScreenText::isClosed(record)) << "only a boolean true closes";
    EXPECT_NE(FRWScreenText::identityOf(record), FRWScreenText::identityOf(QJsonObject{{"id", "7"}}));
    EXPECT_TRUE(FRWScreenText::identityOf(QJsonObject{}).isEmpty());
}

TEST(DeviceAddressTest, LoopbackAndTunnelAddressesAreNotDevices)
{
    for (const char* address : {"", "127.0.0.1", "127.9.9.9", "172.19.0.2", "::1", "fdfe:dcba:9876::2",
                                "FDFE:DCBA:9876:1::5", "::ffff:127.0.0.1", "::ffff:172.19.0.1"}) {
        EXPECT_FALSE(FRWDeviceViewController::isDeviceAddress(address)) << address;
    }
    for (const char* address :
         {"192.168.1.20", "172.20.0.1", "10.0.0.5", "fdfe:dcba:9877::2", "fe80::1", "::ffff:192.168.1.9"}) {
        EXPECT_TRUE(FRWDeviceViewController::isDeviceAddress(address)) << address;
    }
}

TEST(GatewayTextTest, NoteEndsByWhetherEnhancedModeRuns)
{
    const QString on = FRWOverviewViewController::gatewayNoteDetail("192.168.1.4", true);
    EXPECT_TRUE(
        on.startsWith("On the other device, set its default gateway to  192.168.1.4  and its DNS to a "
                      "public resolver such as 1.1.1.1"));
    EXPECT_TRUE(on.endsWith("\n\nReconnect Enhanced Mode to apply."));
    const QString off = FRWOverviewViewController::gatewayNoteDetail("", false);
    EXPECT_TRUE(off.contains("gateway to  this computer's LAN IP  and"));
    EXPECT_TRUE(off.endsWith(
        QString::fromUtf8("\n\nEnhanced Mode is off — gateway mode does nothing until it is on.")));
    EXPECT_TRUE(FRWDeviceViewController::gatewaySettingsText("").contains(
        "Router / Gateway:  this computer's LAN IP"));
}

TEST(LogLevelTest, FilterShowsThatLevelAndAbove)
{
    const QString info = "2024-05-01 12:00:00 [info] started";
    const QString warning = "2024-05-01 12:00:01 [warning] slow";
    const QString error = "2024-05-01 12:00:02 [error] failed";
    const QString plain = "a line [error] without a stamp";
    using Level = FRWLogFindBar::Level;
    EXPECT_EQ(FRWLogFindBar::levelOfLine(warning), Level::Warning);
    EXPECT_EQ(FRWLogFindBar::levelOfLine(plain), Level::All);
    EXPECT_TRUE(FRWLogFindBar::shows(Level::All, plain));
    EXPECT_FALSE(FRWLogFindBar::shows(Level::Info, plain));
    EXPECT_TRUE(FRWLogFindBar::shows(Level::Info, info));
    EXPECT_FALSE(FRWLogFindBar::shows(Level::Warning, info));
    EXPECT_TRUE(FRWLogFindBar::shows(Level::Warning, error));
    EXPECT_FALSE(FRWLogFindBar::shows(Level::Error, warning));
}

class DesktopEntriesTest : public ::testing::Test {
protected:
    void write(const QString& dir, const QString& name, const QByteArray& text)
    {
        QDir().mkpath(dir);
        QFile file(QDir(dir).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QTemporaryDir root;
    QString user() const { return root.filePath("user"); }
    QString system() const { return root.filePath("system"); }
    QString bin() const { return root.filePath("bin"); }
};

TEST_F(DesktopEntriesTest, MatchesByProgramPathNameOrEntryFileAndPrefersEarlierFolders)
{
    write(bin(), "editor", "#!/bin/sh\n");
    QFile::setPermissions(QDir(bin()).filePath("editor"), QFile::ExeOwner | QFile::ReadOwner);
    write(system(), "org.example.Editor.desktop",
          "[Desktop Entry]\nType=Application\nName=Text Editor\nName[de]=Texteditor\nExec=env LANG=C editor "
          "%U\n"
          "Icon=/nonexistent/editor.svg\n[Desktop Action new]\nName=New Window\nExec=other\n");
    write(system(), "browser.desktop",
          "[Desktop Entry]\nName=Web Browser\nExec=\"/opt/web browser/run\" %u\n");
    write(system(), "hidden.desktop", "[Desktop Entry]\nName=Gone\nExec=gone\nHidden=true\n");
    write(system(), "fortune.desktop", "[Desktop Entry]\nName=Fortune Teller\nExec=sh -c fortune\n");
    write(user(), "browser2.desktop", "[Desktop Entry]\nName=Also Browser\nExec=\"/opt/web browser/run\"\n");

    FRWDesktopEntries entries({user(), system()}, {bin()});
    // The entries are read in the background.
    ASSERT_TRUE(QTest::qWaitFor([&] { return entries.loaded(); }, 10000));
    EXPECT_EQ(entries.titleFor("editor"), "Text Editor");
    EXPECT_EQ(entries.titleFor(QDir(bin()).filePath("editor")), "Text Editor");
    EXPECT_EQ(entries.titleFor("/opt/web browser/run"), "Also Browser") << "the user's folder comes first";
    EXPECT_EQ(entries.titleFor("fortune"), "Fortune Teller") << "by the entry's own file name";
    EXPECT_EQ(entries.titleFor("gone"), "gone") << "hidden entries do not count";
    EXPECT_EQ(entries.titleFor("/usr/lib/thing/worker"), "worker");
    EXPECT_EQ(entries.titleFor("New Window"), "New Window");
    // An icon file that is missing falls back to the generic icon, and icons are cached.
    const QIcon icon = entries.iconFor("editor");
    EXPECT_FALSE(icon.isNull());
    EXPECT_EQ(icon.cacheKey(), entries.iconFor("editor").cacheKey());
}

TEST_F(DesktopEntriesTest, InterpretersAndWrappersNameNoEntryButWhatTheyRunDoes)
{
    write(system(), "tool.desktop", "[Desktop Entry]\nName=Python Tool\nExec=python3 /opt/tool/app.py %f\n");
    write(system(), "jar.desktop", "[Desktop Entry]\nName=Jar App\nExec=java -jar /opt/jar/app.jar\n");
    write(system(), "wrapped.desktop",
          "[Desktop Entry]\nName=Wrapped\nExec=sh -c \"exec wrapped-bin --x\"\n");
    write(system(), "org.example.Viewer.desktop",
          "[Desktop Entry]\nName=Viewer\nExec=/usr/bin/flatpak run --branch=stable org.example.Viewer %U\n");
    FRWDesktopEntries entries({system()}, {bin()});
    ASSERT_TRUE(QTest::qWaitFor([&] { return entries.loaded(); }, 10000));
    for (const char* interpreter : {"python3", "java", "sh", "flatpak"}) {
        EXPECT_FALSE(entries.entryFor(interpreter)) << interpreter;
    }
    EXPECT_EQ(entries.titleFor("wrapped-bin"), "Wrapped");
    EXPECT_EQ(entries.titleFor("tool"), "Python Tool") << "still found by its file name";
    EXPECT_EQ(entries.titleFor("org.example.Viewer"), "Viewer");
}

TEST_F(DesktopEntriesTest, AProgramInstalledLaterIsFoundWithoutARestart)
{
    write(system(), "first.desktop", "[Desktop Entry]\nName=First\nExec=first\n");
    FRWDesktopEntries entries({user(), system()}, {bin()});
    ASSERT_TRUE(QTest::qWaitFor([&] { return entries.loaded(); }, 10000));
    EXPECT_FALSE(entries.entryFor("later"));
    // Into the user's folder, which did not exist when the entries were read.
    write(user(), "later.desktop", "[Desktop Entry]\nName=Installed Later\nExec=later\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return entries.titleFor("later") == "Installed Later"; }, 10000));
    write(user(), "again.desktop", "[Desktop Entry]\nName=And Again\nExec=again\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return entries.titleFor("again") == "And Again"; }, 10000));
    EXPECT_EQ(entries.titleFor("first"), "First");
}

TEST(KeyedModelTest, UpdatesInPlaceAndKeepsSelectionOnItsKey)
{
    FRWConnectionsModel source;
    QAbstractItemModelTester sourceTester(&source, QAbstractItemModelTester::FailureReportingMode::Fatal);
    FRWConnectionsFilter filter;
    filter.setSourceModel(&source);
    filter.sort(0);
    QAbstractItemModelTester tester(&filter, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QItemSelectionModel selection(&filter);

    const auto record = [](int id, double start, bool closed = false, int up = 0) {
        return QJsonObject{
            {"id", id}, {"start", start}, {"closed", closed}, {"up", up}, {"host", QString("h%1").arg(id)}};
    };
    source.setConnections({record(1, 100), record(2, 300), record(3, 200), record(4, 50)});
    ASSERT_EQ(filter.rowCount(), 4);
    EXPECT_EQ(filter.recordAt(0)["id"].toInt(), 2);
    selection.select(filter.index(2, 0), QItemSelectionModel::ClearAndSelect); // id 1

    QSignalSpy resets(&source, &QAbstractItemModel::modelReset);
    QSignalSpy removed(&source, &QAbstractItemModel::rowsRemoved);
    // 2 closes and moves last; 4 goes away; 5 arrives newest; 1 gets traffic.
    source.setConnections({record(1, 100, false, 10), record(2, 300, true), record(3, 200), record(5, 400)});
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(removed.count(), 1);
    QList<int> order;
    for (int row = 0; row < filter.rowCount(); ++row) {
        order << filter.recordAt(row)["id"].toInt();
    }
    EXPECT_EQ(order, (QList<int>{5, 3, 1, 2}));
    const QModelIndexList selected = selection.selectedIndexes();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(filter.recordAt(selected.first().row())["id"].toInt(), 1);
    EXPECT_EQ(filter.recordAt(selected.first().row())["up"].toInt(), 10);

    // A repeated id is still a connection of its own; records without an id are listed too.
    source.setConnections({record(7, 1), record(7, 2), QJsonObject{{"host", "anonymous"}}});
    EXPECT_EQ(source.rowCount(), 3);
    EXPECT_TRUE(selection.selectedIndexes().isEmpty());
}

TEST(KeyedModelTest, ClientOrderIsByTotalThenKeyIgnoringCase)
{
    FRWClientsModel source;
    FRWClientsOrder order;
    order.setSourceModel(&source);
    order.sort(0);
    QAbstractItemModelTester tester(&order, QAbstractItemModelTester::FailureReportingMode::Fatal);
    source.setRows(
        {{"beta", "beta", {}, 0, 10}, {"Alpha", "Alpha", {}, 0, 10}, {"gamma", "gamma", {}, 0, 50}});
    QStringList keys;
    for (int row = 0; row < order.rowCount(); ++row) {
        keys << order.index(row, 0).data(FRWClientsModel::KeyRole).toString();
    }
    EXPECT_EQ(keys, (QStringList{"gamma", "Alpha", "beta"}));
}

} // namespace
