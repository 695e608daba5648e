// The external resources window: rows and states from the controller's /rulesets, the filter,
// "Update All", the relative times, and one window for the whole run.

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include "FRWAppearance.h"
#include "FRWExternalResourcesController.h"
#include "FRWTheme.h"
#include "FindWidget.h"
#include "ScreensTestSupport.h"

namespace {

class ExternalResourcesTest : public ScreensTest {
protected:
    QString cellText(FRWExternalResourcesController& window, int row, int column)
    {
        return window.table()->item(row, column)->text();
    }
};

TEST_F(ExternalResourcesTest, RowsStatesFilterAndUpdateAll)
{
    connectCore();
    const QString recent = QDateTime::currentDateTimeUtc().addSecs(-61).toString(Qt::ISODateWithMs);
    answer("/rulesets",
           QJsonArray{
               QJsonObject{{"url", "https://lists.example/ads.list"}, {"rules", 12}, {"updated", recent}},
               QJsonObject{{"url", "https://lists.example/gone.list"}, {"rules", 12}, {"error", "HTTP 404"}},
               QJsonObject{{"url", "https://lists.example/never.list"},
                           {"rules", 0},
                           {"error", "connection refused"}},
               QJsonObject{{"rules", "many"}},
           });
    FRWExternalResourcesController window(*model);
    window.setUpdateSettleMs(50);
    QSignalSpy reloaded(&window, &FRWExternalResourcesController::reloaded);
    window.presentOver(nullptr);
    ASSERT_TRUE(reloaded.wait(5000));
    EXPECT_TRUE(window.window()->isVisible());
    ASSERT_EQ(window.table()->rowCount(), 4);
    EXPECT_EQ(cellText(window, 0, 2), "Ready");
    EXPECT_EQ(cellText(window, 0, 3), "1 minutes ago");
    EXPECT_EQ(cellText(window, 1, 2), "Stale");
    EXPECT_EQ(window.table()->item(1, 3)->toolTip(), "HTTP 404");
    EXPECT_EQ(cellText(window, 2, 2), "Not ready");
    EXPECT_EQ(cellText(window, 2, 1), "https://lists.example/never.list");
    EXPECT_EQ(cellText(window, 3, 1), "");
    EXPECT_EQ(cellText(window, 3, 2), "Not ready");
    EXPECT_EQ(cellText(window, 3, 3), "Never");
    EXPECT_FALSE(window.emptyLabel()->isVisibleTo(window.window()));

    for (const auto scheme : {FRWAppearance::Scheme::Dark, FRWAppearance::Scheme::Light}) {
        FRWAppearance::shared()->setOverride(scheme);
        EXPECT_EQ(window.table()->item(0, 1)->foreground().color(), FRWTheme::label().resolved());
        EXPECT_EQ(window.table()->item(1, 2)->foreground().color(), FRWTheme::orangeText().resolved());
    }
    FRWAppearance::shared()->setOverride(std::nullopt);
    const QFontMetrics metrics(window.table()->font());
    EXPECT_GE(window.table()->columnWidth(2), metrics.horizontalAdvance("Not ready"));
    EXPECT_GT(window.table()->columnWidth(1), window.table()->columnWidth(3)) << "the path takes the rest";

    widget<QCheckBox>(window, "onlyNotReadyCheckBox")->setChecked(true);
    ASSERT_EQ(window.table()->rowCount(), 2);
    EXPECT_EQ(cellText(window, 0, 1), "https://lists.example/never.list");

    // Update All: the button waits for the update, then the list is read again.
    answer("/rulesets", QJsonArray{QJsonObject{{"url", "https://lists.example/ads.list"}, {"rules", 3}}});
    widget<QPushButton>(window, "updateAllButton")->click();
    EXPECT_FALSE(widget<QPushButton>(window, "updateAllButton")->isEnabled());
    EXPECT_EQ(widget<QPushButton>(window, "updateAllButton")->text(), QString::fromUtf8("Updating…"));
    ASSERT_TRUE(reloaded.wait(5000));
    EXPECT_TRUE(widget<QPushButton>(window, "updateAllButton")->isEnabled());
    EXPECT_EQ(widget<QPushButton>(window, "updateAllButton")->text(), "Update All");
    bool posted = false;
    for (const auto& request : controller.requests()) {
        posted = posted || (request.method == "POST" && request.target == "/rulesets");
    }
    EXPECT_TRUE(posted);
    // Everything is ready now, so the filtered list is empty.
    EXPECT_EQ(window.table()->rowCount(), 0);
    EXPECT_TRUE(window.emptyLabel()->isVisibleTo(window.window()));

    // Closing hides the same window; the next presentation reuses it and keeps the filter.
    QDialog* first = window.window();
    first->close();
    EXPECT_FALSE(first->isVisible());
    window.presentOver(nullptr);
    ASSERT_TRUE(reloaded.wait(5000));
    EXPECT_EQ(window.window(), first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(widget<QCheckBox>(window, "onlyNotReadyCheckBox")->isChecked());
    window.dismiss();
}

TEST_F(ExternalResourcesTest, NoCoreShowsTheEmptyLabel)
{
    FRWExternalResourcesController window(*model);
    QSignalSpy reloaded(&window, &FRWExternalResourcesController::reloaded);
    window.presentOver(nullptr);
    ASSERT_TRUE(reloaded.wait(5000));
    EXPECT_EQ(window.table()->rowCount(), 0);
    EXPECT_TRUE(window.emptyLabel()->isVisibleTo(window.window()));
    window.dismiss();
}

TEST_F(ExternalResourcesTest, ARealCoreWithAListServedAndOneThatFails)
{
    ferrow::test::LoopbackHttpServer lists;
    lists.setResponseFor("/rules/a.list", 200, "DOMAIN,a.example\nDOMAIN-SUFFIX,b.example\n");
    lists.setResponseFor("/missing", 404, "");
    const std::string base = "http://" + lists.address();
    ferrow::test::CoreProcess::Options options;
    options.profile = "[Rule]\nRULE-SET," + base + "/rules/a.list,REJECT\nRULE-SET," + base +
                      "/missing,REJECT\nFINAL,DIRECT\n";
    ferrow::test::CoreProcess core(options);
    ASSERT_TRUE(core.started()) << core.stderrText();
    tunnel.apiInfoPath = QString::fromStdString(core.apiInfoPath().string());

    FRWExternalResourcesController window(*model);
    window.setUpdateSettleMs(50);
    QSignalSpy reloaded(&window, &FRWExternalResourcesController::reloaded);
    const auto rowFor = [&](const std::string& path) {
        for (int row = 0; row < window.table()->rowCount(); ++row) {
            if (cellText(window, row, 1) == QString::fromStdString(base + path)) {
                return row;
            }
        }
        return -1;
    };
    // The core fetches its lists at start; the window shows what it reports.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            window.presentOver(nullptr);
            return reloaded.wait(5000) && rowFor("/rules/a.list") >= 0 &&
                   cellText(window, rowFor("/rules/a.list"), 2) == "Ready";
        },
        15000));
    const int missing = rowFor("/missing");
    ASSERT_GE(missing, 0);
    EXPECT_EQ(cellText(window, missing, 2), "Not ready");
    EXPECT_TRUE(window.table()->item(missing, 3)->toolTip().contains("404"))
        << window.table()->item(missing, 3)->toolTip().toStdString();

    // Update All reaches the core, which fetches again; the list that now answers turns ready.
    lists.setResponseFor("/missing", 200, "DOMAIN,c.example\n");
    const std::size_t before = lists.requestCount();
    widget<QPushButton>(window, "updateAllButton")->click();
    ASSERT_TRUE(reloaded.wait(10000));
    EXPECT_GT(lists.requestCount(), before);
    EXPECT_EQ(cellText(window, rowFor("/missing"), 2), "Ready");
    window.dismiss();
}

TEST(ExternalResourcesTimes, RelativeUpdated)
{
    const QDateTime now = QDateTime::fromString("2026-03-10T12:00:00Z", Qt::ISODate);
    const auto ago = [&](qint64 seconds) {
        return FRWExternalResourcesController::relativeUpdated(now.addSecs(-seconds).toString(Qt::ISODate),
                                                               now);
    };
    EXPECT_EQ(ago(59), "Just now");
    EXPECT_EQ(ago(61), "1 minutes ago");
    EXPECT_EQ(ago(3599), "59 minutes ago");
    EXPECT_EQ(ago(121 * 60), "2 hours ago");
    EXPECT_EQ(ago(25 * 3600), "1 days ago");
    EXPECT_EQ(ago(49 * 3600), "2 days ago");
    EXPECT_EQ(ago(-300), "Just now");
    EXPECT_EQ(FRWExternalResourcesController::relativeUpdated("2026-03-10T11:58:00.250+00:00", now),
              "1 minutes ago");
    EXPECT_EQ(FRWExternalResourcesController::relativeUpdated("1970-01-01T00:00:00Z", now), "Never");
    EXPECT_EQ(FRWExternalResourcesController::relativeUpdated("yesterday", now), "Never");
    EXPECT_EQ(FRWExternalResourcesController::relativeUpdated(QJsonValue(42), now), "Never");
    EXPECT_EQ(FRWExternalResourcesController::relativeUpdated("", now), "Never");
}

} // namespace
