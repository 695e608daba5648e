// The Process and Device pages: grouping, rates between samples, order, rows that keep their
// selection, the empty texts, and the Device page's gateway switch and its alerts.

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QTemporaryDir>
#include <QToolButton>

#include "FRWAboutViewController.h"
#include "FRWActivityViewController.h"
#include "FRWAppearance.h"
#include "FRWClientsModel.h"
#include "FRWDesktopEntries.h"
#include "FRWDeviceViewController.h"
#include "FRWProcessViewController.h"
#include "FRWProfileViewController.h"
#include "FRWSegmented.h"
#include "FRWSwitch.h"
#include "FindWidget.h"
#include "ScreensTestSupport.h"

namespace {

QJsonObject conn(int id, const QString& process, const QString& source, qint64 up, qint64 down)
{
    return {{"id", id}, {"process", process}, {"srcip", source}, {"up", up}, {"down", down}};
}

class ClientsTest : public ScreensTest {
protected:
    void SetUp() override
    {
        ScreensTest::SetUp();
        QDir().mkpath(apps.path());
        QFile entry(apps.filePath("org.example.Browser.desktop"));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write(
            "[Desktop Entry]\nType=Application\nName=Example Browser\nExec=/usr/lib/browser/browser %u\n");
        entry.close();
        entries = std::make_unique<FRWDesktopEntries>(QStringList{apps.path()}, QStringList{});
        ASSERT_TRUE(QTest::qWaitFor([&] { return entries->loaded(); }, 10000));
    }

    FRWScreensContext clientsContext()
    {
        FRWScreensContext c = context();
        c.desktopEntries = entries.get();
        return c;
    }

    template <typename Page>
    std::unique_ptr<Page> page()
    {
        return load(std::make_unique<Page>(clientsContext()));
    }

    static QStringList rows(const FRWClientsViewController& clients)
    {
        QStringList out;
        for (const auto& row : clients.listed()) {
            out << QStringLiteral("%1 %2 %3").arg(row.title).arg(row.total).arg(row.rate);
        }
        return out;
    }

    QTemporaryDir apps;
    std::unique_ptr<FRWDesktopEntries> entries;
};

TEST_F(ClientsTest, ProcessesGroupedWithRatesBetweenSamples)
{
    auto processes = page<FRWProcessViewController>();
    EXPECT_EQ(processes->emptyLabel()->text(), "No process traffic yet.");
    EXPECT_TRUE(processes->emptyLabel()->isVisibleTo(processes->view()));

    // A core that reports itself stopped still lists connections, and starts no probe cycle whose
    // updates would take samples at moments of their own.
    answer("/status", R"({"running":false})");
    connectCore();
    clock.advance(1);
    answer("/connections",
           QJsonArray{conn(1, "/usr/lib/browser/browser", "", 100, 100),
                      conn(2, "/usr/lib/browser/browser", "", 50, 50), conn(3, "curl", "", 10, 0),
                      conn(4, "", "192.168.1.5", 999, 999), conn(5, "wget", "", 10, 0)});
    poll();
    EXPECT_FALSE(processes->emptyLabel()->isVisibleTo(processes->view()));
    // The groups are new to the sample: no rates yet. Equal totals go by name, case ignored.
    EXPECT_EQ(rows(*processes), (QStringList{"Example Browser 300 0", "curl 10 0", "wget 10 0"}));

    widget<QListView>(processes, "clientsList")
        ->selectionModel()
        ->select(widget<QListView>(processes, "clientsList")->model()->index(2, 0),
                 QItemSelectionModel::ClearAndSelect);
    ASSERT_EQ(processes->selectedKey(), "wget");

    // Two seconds later wget overtakes; the browser's total falls as a connection closes.
    clock.advance(2);
    answer("/connections", QJsonArray{conn(1, "/usr/lib/browser/browser", "", 100, 100),
                                      conn(3, "curl", "", 10, 0), conn(5, "wget", "", 4010, 0)});
    poll();
    EXPECT_EQ(rows(*processes), (QStringList{"wget 4010 2000", "Example Browser 200 0", "curl 10 0"}));
    EXPECT_EQ(processes->selectedKey(), "wget") << "the selection stays on its group as rows move";
    const QModelIndexList selected =
        widget<QListView>(processes, "clientsList")->selectionModel()->selectedIndexes();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first().row(), 0);

    // Another update within 0.2 s of the last sample keeps that sample and its rates.
    clock.current = clock.current.addMSecs(100);
    answer("/connections", QJsonArray{conn(5, "wget", "", 8010, 0)});
    poll();
    EXPECT_EQ(rows(*processes), (QStringList{"wget 8010 2000"}));
    EXPECT_EQ(processes->selectedKey(), "wget");
    clock.current = clock.current.addMSecs(900);
    poll();
    EXPECT_EQ(rows(*processes), (QStringList{"wget 8010 4000"}))
        << "measured against the sample a second ago";

    answer("/connections", "[]");
    poll();
    EXPECT_TRUE(processes->listed().isEmpty());
    EXPECT_TRUE(processes->emptyLabel()->isVisibleTo(processes->view()));
}

TEST_F(ClientsTest, DevicesAreOtherMachinesOnly)
{
    auto devices = page<FRWDeviceViewController>();
    EXPECT_EQ(devices->emptyLabel()->text(), "No Device");
    connectCore();
    answer("/connections",
           QJsonArray{conn(1, "curl", "127.0.0.1", 500, 0), conn(2, "", "192.168.1.20", 10, 10),
                      conn(3, "", "::1", 500, 0), conn(4, "", "172.19.0.1", 500, 0),
                      conn(5, "", "fdfe:dcba:9876::1", 5, 0), conn(6, "", "192.168.1.21", 5, 0),
                      conn(7, "", "192.168.1.20", 1, 0), conn(8, "", "", 7, 7)});
    poll();
    EXPECT_EQ(rows(*devices), (QStringList{"192.168.1.20 21 0", "192.168.1.21 5 0"}));
    EXPECT_FALSE(devices->emptyLabel()->isVisibleTo(devices->view()));
}

TEST_F(ClientsTest, PeriodsListTheCoresHistoryWithDailyBytes)
{
    auto processes = page<FRWProcessViewController>();
    auto devices = page<FRWDeviceViewController>();
    connectCore();
    answer("/connections", QJsonArray{conn(1, "wget", "", 10, 0)});
    answer("/history?dimension=process&days=7",
           R"({"items":[{"name":"/usr/bin/curl","up":1,"down":2,"daily":[[0,0],[1,2]]},
                        {"name":"/usr/lib/browser/browser","up":500,"down":500,"daily":[[500,0],[0,500]]},
                        {"name":"/opt/other/curl","up":10,"down":0,"daily":[[10,0],[0,0]]},
                        {"name":"","up":5,"down":5,"daily":[[5,5],[0,0]]}]})");
    answer("/history?dimension=device&days=30",
           R"({"items":[{"name":"127.0.0.1","up":9,"down":9,"daily":[[9,9]]},
                        {"name":"192.168.1.20","up":4,"down":4,"daily":[[4,4]]}]})");
    answer("/history?dimension=process&days=1", R"({"items":[]})");
    poll();
    EXPECT_EQ(rows(*processes), (QStringList{"wget 10 0"}));

    processes->periodControl()->chooseIndex(2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !processes->listed().isEmpty(); }, 5000));
    // Paths group by program as the live view does; the unnamed program is not listed.
    EXPECT_EQ(rows(*processes), (QStringList{"Example Browser 1000 0", "curl 13 0"}));
    auto* list = widget<QListView>(processes, "clientsList");
    EXPECT_EQ(list->model()->index(1, 0).data(FRWClientsModel::DailyRole).value<QList<qint64>>(),
              (QList<qint64>{10, 3}));
    poll(); // live updates do not replace the period
    EXPECT_EQ(rows(*processes).size(), 2);

    processes->periodControl()->chooseIndex(1);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return processes->emptyLabel()->isVisibleTo(processes->view()); }, 5000));
    EXPECT_EQ(processes->emptyLabel()->text(), "Nothing in this period.");
    processes->periodControl()->chooseIndex(0);
    EXPECT_EQ(rows(*processes), (QStringList{"wget 10 0"}));

    devices->setPeriod(FRWClientsViewController::Period::Month);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !devices->listed().isEmpty(); }, 5000));
    EXPECT_EQ(rows(*devices), (QStringList{"192.168.1.20 8 0"})) << "this machine is not a device";

    // A core that does not know the endpoint leaves the list empty with a reason.
    controller.setResponseFor("/history", 404, R"({"error":"no endpoint"})");
    devices->setPeriod(FRWClientsViewController::Period::Week);
    ASSERT_TRUE(QTest::qWaitFor([&] { return devices->emptyLabel()->isVisibleTo(devices->view()); }, 5000));
    EXPECT_EQ(devices->emptyLabel()->text(), "The history is not available without the core.");
}

TEST_F(ClientsTest, GatewaySwitchAndItsAlerts)
{
    takeover.gateway = true;
    auto devices = page<FRWDeviceViewController>();
    ASSERT_NE(widget<QWidget>(devices, "gatewayFooter"), nullptr);
    EXPECT_TRUE(widget<FRWSwitch>(devices, "gatewaySwitch")->isChecked());
    takeover.gateway = false;
    devices->refresh();
    EXPECT_FALSE(widget<FRWSwitch>(devices, "gatewaySwitch")->isChecked())
        << "every refresh shows the setting";

    widget<FRWSwitch>(devices, "gatewaySwitch")->click();
    EXPECT_EQ(takeover.gatewayCalls, (QList<bool>{true}));
    EXPECT_TRUE(alerts.alerts.isEmpty()) << "nothing to reconnect while Enhanced Mode is off";

    connectCore();
    poll(); // a core that is not the System Proxy one: Enhanced Mode runs
    widget<FRWSwitch>(devices, "gatewaySwitch")->click();
    EXPECT_EQ(takeover.gatewayCalls, (QList<bool>{true, false}));
    ASSERT_EQ(alerts.alerts.size(), 1);
    EXPECT_EQ(alerts.alerts.first(),
              "Reconnect Enhanced Mode to apply | Gateway mode takes effect the next time "
              "Enhanced Mode starts.");

    takeover.address = "192.168.1.4";
    widget<QWidget>(devices, "gatewayFooter")->findChild<QToolButton*>("gatewaySettingsButton")->click();
    ASSERT_EQ(alerts.alerts.size(), 2);
    EXPECT_TRUE(alerts.alerts.last().startsWith("Gateway Mode | On the device you want to proxy, set:"));
    EXPECT_TRUE(alerts.alerts.last().contains("Router / Gateway:  192.168.1.4"));
    EXPECT_TRUE(alerts.alerts.last().contains("DNS:  1.1.1.1  (manual, not automatic)"));
}

/// The colour a symbol is drawn in: the mean of its solid pixels.
QColor inkOf(const QIcon& icon, const QSize& size)
{
    const QImage image = icon.pixmap(size, 2.0).toImage().convertToFormat(QImage::Format_ARGB32);
    double r = 0, g = 0, b = 0, n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alphaF() > 0.5) {
                r += pixel.redF();
                g += pixel.greenF();
                b += pixel.blueF();
                ++n;
            }
        }
    }
    return n > 0 ? QColor::fromRgbF(float(r / n), float(g / n), float(b / n)) : QColor(Qt::transparent);
}

TEST_F(ClientsTest, EverySymbolStaysReadableOnItsCardAcrossLiveAppearanceSwitches)
{
    FRWAppearance::shared()->setOverride(FRWAppearance::Scheme::Light);
    auto processes = page<FRWProcessViewController>();
    auto devices = page<FRWDeviceViewController>();
    auto profile = load(std::make_unique<FRWProfileViewController>(context()));
    auto about = load(std::make_unique<FRWAboutViewController>(context()));
    auto activity = load(std::make_unique<FRWActivityViewController>(context()));
    connectCore();
    answer("/connections", QJsonArray{conn(1, "/opt/tools/no-desktop-entry", "", 10, 10),
                                      conn(2, "", "192.168.1.20", 10, 10)});
    poll();
    const std::vector<FRWViewController*> pages{processes.get(), devices.get(), profile.get(), about.get(),
                                                activity.get()};

    for (const auto scheme :
         {FRWAppearance::Scheme::Dark, FRWAppearance::Scheme::Light, FRWAppearance::Scheme::Dark}) {
        FRWAppearance::shared()->setOverride(scheme);
        const QColor card = FRWTheme::opaqueCard(scheme == FRWAppearance::Scheme::Dark);
        int checked = 0;
        const auto expectReadable = [&](const QColor& ink, const QString& what) {
            ++checked;
            EXPECT_GE(FRWTheme::contrastRatio(ink, card), FRWTheme::kLargeContrast)
                << what.toStdString() << (scheme == FRWAppearance::Scheme::Dark ? " dark" : " light");
        };
        for (FRWViewController* page : pages) {
            for (QAbstractButton* button : page->view()->findChildren<QAbstractButton*>()) {
                if (!button->icon().isNull()) {
                    expectReadable(inkOf(button->icon(), button->iconSize()),
                                   button->objectName() + button->toolTip());
                }
            }
        }
        for (FRWClientsViewController* clients :
             std::initializer_list<FRWClientsViewController*>{processes.get(), devices.get()}) {
            const QAbstractItemModel* rows = widget<QListView>(clients, "clientsList")->model();
            ASSERT_GT(rows->rowCount(), 0);
            const auto icon = rows->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
            expectReadable(inkOf(icon, QSize(24, 24)), QStringLiteral("row of ") + clients->pageTitle());
        }
        EXPECT_GE(checked, 8) << "the gear, refresh, copy and profile buttons and both rows";
    }
    FRWAppearance::shared()->setOverride(std::nullopt);
}

} // namespace
