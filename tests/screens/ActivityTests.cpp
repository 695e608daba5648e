// The Activity dashboard over a real model polling a scripted controller.

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

#include "FRWActivityViewController.h"
#include "FRWBarChart.h"
#include "FRWLineChart.h"
#include "FRWPillButton.h"
#include "FRWScreenText.h"
#include "FRWSegmented.h"
#include "FRWStackedBar.h"
#include "FRWStatColumn.h"
#include "FRWTheme.h"
#include "FRWTrafficRow.h"
#include "FindWidget.h"
#include "ScreensTestSupport.h"

namespace {

QJsonObject conn(int id, const QString& host, const QString& process, const QString& policy, qint64 bytes,
                 bool closed = false)
{
    return {{"id", id},         {"host", host},        {"process", process},
            {"policy", policy}, {"up", bytes / 2},     {"down", bytes - bytes / 2},
            {"closed", closed}, {"start", 1000.0 + id}};
}

class ActivityTest : public ScreensTest {
protected:
    std::unique_ptr<FRWActivityViewController> page()
    {
        return load(std::make_unique<FRWActivityViewController>(context()));
    }

    static QStringList shownRows(const FRWActivityViewController& activity)
    {
        QStringList rows;
        for (FRWTrafficRow* row : activity.trafficRows()) {
            if (!row->isHidden()) {
                rows << QStringLiteral("%1=%2").arg(row->name(), row->bytesLabel()->text());
            }
        }
        return rows;
    }

    static void select(FRWSegmented* control, int index)
    {
        control->setSelectedIndex(index);
        control->onChange(index);
    }
};

TEST_F(ActivityTest, WithoutACoreEveryFigureIsAtRest)
{
    auto activity = page();
    const FRWDynamicColor idle = FRWTheme::secondaryLabel();
    EXPECT_EQ(widget<FRWPillButton>(activity, "systemProxyPill")->dotColor(), idle);
    EXPECT_EQ(widget<FRWPillButton>(activity, "enhancedPill")->dotColor(), idle);
    EXPECT_EQ(widget<QLabel>(activity, "activeValue")->text(), "0");
    EXPECT_EQ(widget<QLabel>(activity, "processesValue")->text(), "0");
    EXPECT_EQ(widget<QLabel>(activity, "uploadValue")->text() + " " +
                  widget<QLabel>(activity, "uploadUnit")->text(),
              "0 B/s");
    EXPECT_EQ(widget<QLabel>(activity, "totalValue")->text() + " " +
                  widget<QLabel>(activity, "totalUnit")->text(),
              "0 B");
    EXPECT_EQ(widget<FRWStackedBar>(activity, "totalBar")->leftFraction(), 0.0);
    EXPECT_EQ(widget<FRWStatColumn>(activity, "outboundStatColumn")->value(), "Rule-Based Proxy");
    EXPECT_EQ(widget<QLabel>(activity, "latencyValue")->text(), QString::fromUtf8("—"));
    EXPECT_EQ(widget<FRWStatColumn>(activity, "dnsStatColumn")->value(), QString::fromUtf8("—"));
    EXPECT_EQ(widget<FRWStatColumn>(activity, "profileStatColumn")->value(), profiles->activeProfile()->name);
    EXPECT_TRUE(widget<QLabel>(activity, "trafficEmptyLabel")->isVisibleTo(activity->view()));
    EXPECT_TRUE(shownRows(*activity).isEmpty());
    EXPECT_TRUE(controller.requests().empty()) << "no core, no requests";

    // No address yet: "Copy" must not replace the clipboard with nothing.
    QGuiApplication::clipboard()->setText(QStringLiteral("the user's text"));
    std::unique_ptr<QMenu> menu(activity->buildExternalIPMenu());
    QAction* copy = menu->actions().last();
    ASSERT_EQ(copy->text(), "Copy");
    EXPECT_FALSE(copy->isEnabled());
    copy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("the user's text"));
}

TEST_F(ActivityTest, RatesCountsAndTotalsFromTheModel)
{
    auto activity = page();
    connectCore();
    tunnel.systemProxy = true;
    answer("/status", R"({"running":true,"uplink":5000,"downlink":5000})");
    answer(
        "/stats",
        R"({"today":{"up":1536,"down":0},"month":{"up":3072,"down":1024},"hourly":[{"up":1,"down":2},{"up":0,"down":0}]})");
    answer("/outbound", R"({"mode":"global","global":"HK","nodes":["HK","JP"]})");
    answer("/connections",
           QJsonArray{conn(1, "a.example", "firefox", "HK", 100),
                      conn(2, "b.example", "firefox", "DIRECT", 100, true),
                      conn(3, "c.example", "", "REJECT", 100), conn(4, "d.example", "curl", "JP", 100)});
    poll();
    EXPECT_EQ(widget<QLabel>(activity, "uploadValue")->text(), "0") << "the first sample has no predecessor";
    answer("/status", R"({"running":true,"uplink":6023,"downlink":1053576})");
    poll();

    EXPECT_EQ(widget<FRWPillButton>(activity, "systemProxyPill")->dotColor(), FRWTheme::statusGreen());
    EXPECT_EQ(widget<FRWPillButton>(activity, "enhancedPill")->dotColor(), FRWTheme::secondaryLabel());
    EXPECT_EQ(widget<QLabel>(activity, "uploadValue")->text() + " " +
                  widget<QLabel>(activity, "uploadUnit")->text(),
              "1023 B/s");
    EXPECT_EQ(widget<QLabel>(activity, "downloadValue")->text() + " " +
                  widget<QLabel>(activity, "downloadUnit")->text(),
              "1 MB/s");
    EXPECT_EQ(widget<FRWLineChart>(activity, "uploadChart")->values(), (QList<double>{0, 1023}));
    EXPECT_EQ(widget<FRWLineChart>(activity, "downloadChart")->values().last(), 1048576);
    EXPECT_EQ(widget<QLabel>(activity, "activeValue")->text(), "3");
    EXPECT_EQ(widget<QLabel>(activity, "processesValue")->text(), "2")
        << "closed connections count, empty names do not";
    EXPECT_EQ(widget<FRWStatColumn>(activity, "outboundStatColumn")->value(), "Global: HK");
    EXPECT_EQ(widget<FRWBarChart>(activity, "trafficChart")->values(), (QList<double>{3, 0}));

    EXPECT_EQ(widget<QLabel>(activity, "totalValue")->text() + " " +
                  widget<QLabel>(activity, "totalUnit")->text(),
              "1.50 KB");
    EXPECT_EQ(widget<FRWStackedBar>(activity, "totalBar")->leftFraction(), 1.0);
    select(widget<FRWSegmented>(activity, "totalPeriod"), 1);
    EXPECT_EQ(widget<QLabel>(activity, "totalValue")->text() + " " +
                  widget<QLabel>(activity, "totalUnit")->text(),
              "4.00 KB");
    EXPECT_EQ(widget<QLabel>(activity, "totalUpValue")->text(), "3.00 KB");
    EXPECT_EQ(widget<QLabel>(activity, "totalDownValue")->text(), "1.00 KB");
    EXPECT_DOUBLE_EQ(widget<FRWStackedBar>(activity, "totalBar")->leftFraction(), 0.75);
}

TEST_F(ActivityTest, TopTrafficByDimensionAndFilter)
{
    auto activity = page();
    connectCore();
    answer("/connections",
           QJsonArray{conn(1, "a.example", "firefox", "HK", 400),
                      conn(2, "b.example", "firefox", "DIRECT", 300), conn(3, "c.example", "", "REJECT", 200),
                      conn(4, "a.example", "curl", "JP", 50)});
    poll();
    // DOMAIN is the first dimension shown.
    EXPECT_EQ(shownRows(*activity), (QStringList{"a.example=450 B", "b.example=300 B", "c.example=200 B"}));
    EXPECT_FALSE(widget<QLabel>(activity, "trafficEmptyLabel")->isVisibleTo(activity->view()));
    select(widget<FRWSegmented>(activity, "trafficDim"), 0);
    EXPECT_EQ(shownRows(*activity), (QStringList{"firefox=700 B", "c.example=200 B", "curl=50 B"}))
        << "a connection without a process counts under its host";
    select(widget<FRWSegmented>(activity, "trafficDim"), 2);
    EXPECT_EQ(shownRows(*activity), (QStringList{"HK=400 B", "DIRECT=300 B", "REJECT=200 B", "JP=50 B"}));
    select(widget<FRWSegmented>(activity, "trafficFilter"), 1);
    EXPECT_EQ(shownRows(*activity), (QStringList{"HK=400 B", "JP=50 B"}));
    EXPECT_EQ(activity->trafficRows().at(0)->bar()->leftFraction(), 1.0);
    EXPECT_DOUBLE_EQ(activity->trafficRows().at(1)->bar()->leftFraction(), 50.0 / 400.0);

    // Seven keys: five rows, the busiest full, the rest in proportion.
    QJsonArray seven;
    for (int i = 0; i < 7; ++i) {
        seven.append(conn(10 + i, QStringLiteral("host%1").arg(i), "", "HK", 1000 * (i + 1)));
    }
    answer("/connections", seven);
    poll();
    select(widget<FRWSegmented>(activity, "trafficDim"), 1);
    EXPECT_EQ(shownRows(*activity).size(), 5);
    EXPECT_EQ(activity->trafficRows().at(0)->name(), "host6");
    EXPECT_DOUBLE_EQ(activity->trafficRows().at(4)->bar()->leftFraction(), 3000.0 / 7000.0);
    EXPECT_FALSE(widget<QLabel>(activity, "trafficEmptyLabel")->isVisibleTo(activity->view()));

    // With the PROXY filter and only direct traffic there is nothing to show.
    answer("/connections", QJsonArray{conn(1, "a.example", "", "DIRECT", 10)});
    poll();
    select(widget<FRWSegmented>(activity, "trafficFilter"), 1);
    EXPECT_TRUE(shownRows(*activity).isEmpty());
    EXPECT_TRUE(widget<QLabel>(activity, "trafficEmptyLabel")->isVisibleTo(activity->view()));
}

TEST_F(ActivityTest, TopTrafficOverAPeriodComesFromTheCoresHistory)
{
    auto activity = page();
    connectCore();
    answer("/connections", QJsonArray{conn(1, "live.example", "curl", "HK", 5)});
    answer("/history?dimension=domain&days=7",
           R"({"items":[{"name":"a.example","up":100,"down":900,"daily":[]},
                        {"name":"b.example","up":1,"down":1,"daily":[]}]})");
    answer("/history?dimension=process&days=7",
           R"({"items":[{"name":"/usr/bin/curl","up":10,"down":0},{"name":"/opt/curl","up":5,"down":0},
                        {"name":"/usr/lib/firefox/firefox","up":1,"down":1}]})");
    answer("/history?dimension=policy&days=30",
           R"({"items":[{"name":"DIRECT","up":50,"down":0},{"name":"HK","up":7,"down":0}]})");
    poll();
    const auto shows = [&](const QStringList& rows) {
        return QTest::qWaitFor([&] { return shownRows(*activity) == rows; }, 5000);
    };
    select(widget<FRWSegmented>(activity, "trafficPeriod"), 2);
    EXPECT_TRUE(shows({"a.example=1000 B", "b.example=2 B"}))
        << shownRows(*activity).join(", ").toStdString();
    select(widget<FRWSegmented>(activity, "trafficDim"), 0);
    EXPECT_TRUE(shows({"curl=15 B", "firefox=2 B"})) << "programs by name, as on the Process page";
    select(widget<FRWSegmented>(activity, "trafficDim"), 2);
    select(widget<FRWSegmented>(activity, "trafficPeriod"), 3);
    EXPECT_TRUE(shows({"DIRECT=50 B", "HK=7 B"}));
    select(widget<FRWSegmented>(activity, "trafficFilter"), 1);
    EXPECT_TRUE(shows({"HK=7 B"}));
    poll(); // live updates do not replace the period
    EXPECT_EQ(shownRows(*activity), (QStringList{"HK=7 B"}));
    select(widget<FRWSegmented>(activity, "trafficPeriod"), 0);
    EXPECT_EQ(shownRows(*activity), (QStringList{"HK=5 B"}));
}

TEST_F(ActivityTest, BusyPageFitsTheWindowAtOneWidthWithWholeHeaderTexts)
{
    profiles->addNode("Tokyo", "203.0.113.20", 8443, "a2V5", "off");
    auto activity = page();
    auto* doc = activity->view()->findChild<QWidget*>("activityDoc");
    auto* scroller = activity->view()->findChild<QScrollArea*>("pageScrollArea")->verticalScrollBar();
    const int restingWidth = doc->width();

    connectCore();
    answer("/outbound", R"({"mode":"global","global":"ferrow-tokyo-2","nodes":["ferrow-tokyo-2"]})");
    QJsonArray seven;
    for (int i = 0; i < 7; ++i) {
        seven.append(conn(10 + i, QStringLiteral("host%1.example.net").arg(i), "", "HK", 1000 * (i + 1)));
    }
    answer("/connections", seven);
    poll();
    QCoreApplication::processEvents();

    ASSERT_EQ(shownRows(*activity).size(), 5);
    EXPECT_EQ(scroller->maximum(), 0) << "five traffic rows still fit the window";
    EXPECT_EQ(doc->width(), restingWidth) << "traffic must not narrow the page";
    auto* outbound = widget<FRWStatColumn>(activity, "outboundStatColumn");
    EXPECT_EQ(outbound->findChild<QLabel*>("valueLabel")->text(), "Global: ferrow-tokyo-2");
    for (const char* name : {"systemProxyPill", "enhancedPill"}) {
        auto* pill = widget<FRWPillButton>(activity, name);
        EXPECT_EQ(pill->shownTitle(), pill->title());
    }
}

TEST_F(ActivityTest, PillsAndMenusActThroughTheModel)
{
    auto activity = page();
    std::unique_ptr<QMenu> empty(activity->buildOutboundMenu());
    QMenu* emptyGlobal = empty->actions().at(2)->menu();
    ASSERT_NE(emptyGlobal, nullptr);
    ASSERT_EQ(emptyGlobal->actions().size(), 1);
    EXPECT_EQ(emptyGlobal->actions().first()->text(), "(connect to load nodes)");
    EXPECT_FALSE(emptyGlobal->actions().first()->isEnabled());

    emit widget<FRWPillButton>(activity, "systemProxyPill")->clicked();
    EXPECT_TRUE(tunnel.calls.contains("startSystemProxyWithCompletion"));
    emit widget<FRWPillButton>(activity, "enhancedPill")->clicked();
    EXPECT_TRUE(tunnel.calls.contains("start"));

    connectCore();
    answer("/outbound", R"({"mode":"global","global":"JP","nodes":["HK","JP Tokyo"]})");
    poll();
    std::unique_ptr<QMenu> menu(activity->buildOutboundMenu());
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_FALSE(menu->actions().at(0)->isChecked());
    EXPECT_TRUE(menu->actions().at(2)->isChecked());
    // The modes are one choice: picking one clears the others.
    for (QAction* mode : menu->actions()) {
        ASSERT_NE(mode->actionGroup(), nullptr);
        EXPECT_EQ(mode->actionGroup()->exclusionPolicy(), QActionGroup::ExclusionPolicy::Exclusive);
    }
    menu->actions().at(1)->setChecked(true);
    EXPECT_FALSE(menu->actions().at(2)->isChecked());
    menu->actions().at(2)->setChecked(true);
    QMenu* global = menu->actions().at(2)->menu();
    ASSERT_EQ(global->actions().size(), 2);
    global->actions().at(1)->trigger();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            for (const auto& request : controller.requests()) {
                if (request.target == "/outbound?mode=global&node=JP%20Tokyo") {
                    return true;
                }
            }
            return false;
        },
        5000));
}

TEST_F(ActivityTest, ExternalAddressWithFlagAndItsMenu)
{
    auto activity = page();
    connectCore();
    poll();
    // The rising edge starts a probe cycle that looks the address up through the scripted services.
    // The flag when a font draws it, else the bare address with the code in a badge.
    auto* address = widget<FRWStatColumn>(activity, "externalIPStatColumn");
    const QString flag = FRWScreenText::flagFor("nl");
    const bool drawn = FRWScreenText::drawsFlag(flag, FRWStatColumn::valueFont());
    const QString expected = drawn ? flag + " 203.0.113.7" : QStringLiteral("203.0.113.7");
    const QString badge = drawn ? QString() : QStringLiteral("NL");
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return address->value() == expected && address->badge() == badge; }, 10000))
        << address->value().toStdString() << " " << address->badge().toStdString();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !widget<FRWStatColumn>(activity, "externalIPStatColumn")->subtitle().isEmpty(); },
        10000));
    EXPECT_EQ(widget<FRWStatColumn>(activity, "externalIPStatColumn")->subtitle(),
              FRWScreenText::asnText(model->geoASN()));
    EXPECT_EQ(widget<FRWStatColumn>(activity, "networkStatColumn")->value(), model->networkName());

    std::unique_ptr<QMenu> menu(activity->buildExternalIPMenu());
    QStringList texts;
    for (QAction* action : menu->actions()) {
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    EXPECT_EQ(texts.first(), "Amsterdam, Netherlands");
    EXPECT_TRUE(texts.contains("Show IPv6 Address"));
    EXPECT_EQ(texts.last(), "Copy");
    for (QAction* action : menu->actions()) {
        if (action->text() == "Copy") {
            action->trigger();
        }
    }
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "203.0.113.7");
}

} // namespace

namespace {

TEST_F(ActivityTest, FirstRunPanelMakesTheFirstNodeFromALinkAndChoosesIt)
{
    profiles->activeProfile()->configText = FRWProfileStore::templateConfig();
    profiles->save();
    auto activity = page();
    ASSERT_TRUE(widget<QWidget>(activity, "firstRunPanel")->isVisibleTo(activity->view()))
        << "only placeholder nodes";

    QGuiApplication::clipboard()->setText("ferrow://bm90IGEgbGluaw");
    EXPECT_EQ(widget<QPushButton>(activity, "pasteLinkButton")->text(), "Paste ferrow:// Link")
        << "a malformed link is not offered";
    activity->pasteFirstNode();
    EXPECT_EQ(widget<QLabel>(activity, "firstRunNote")->text(),
              "The ferrow:// link on the clipboard is malformed");
    EXPECT_TRUE(widget<QWidget>(activity, "firstRunPanel")->isVisibleTo(activity->view()));

    QGuiApplication::clipboard()->setText(" ferrow://c2VjcmV0@127.0.0.1:9443#Home ");
    EXPECT_EQ(widget<QPushButton>(activity, "pasteLinkButton")->text(),
              QString::fromUtf8("Add \u201CHome\u201D"));
    EXPECT_EQ(widget<QLabel>(activity, "firstRunNote")->text(),
              "A ferrow:// link for 127.0.0.1:9443 is on the clipboard.");
    EXPECT_TRUE(widget<QWidget>(activity, "firstRunPanel")->isVisibleTo(activity->view()))
        << "nothing is added unasked";
    activity->pasteFirstNode();
    EXPECT_FALSE(widget<QWidget>(activity, "firstRunPanel")->isVisibleTo(activity->view()));
    EXPECT_EQ(profiles->nodeDetails("Home").value("server").toString(), "127.0.0.1");
    for (const QVariantMap& group : profiles->groups()) {
        if (group.value("name") == "Proxy") {
            EXPECT_TRUE(group.value("members").toStringList().contains("Home"));
        }
    }
    EXPECT_EQ(model->chosenMember("Proxy"), "Home") << "the next core starts on it";
}

} // namespace

namespace {

TEST_F(ActivityTest, AnEnhancedModeStartNamesTheOtherAccountsLoggedIn)
{
    FRWAppModelSetup setup = modelSetup();
    int asked = 0;
    setup.otherAccounts = [&asked] {
        ++asked;
        return QStringList{"alice", "bob"};
    };
    model = std::make_unique<FRWAppModel>(std::move(setup));
    auto activity = page();
    QLabel* note = widget<QLabel>(activity, "otherAccountsNote");

    model->toggle();
    connectCore();
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked == 1 && !model->logs().isEmpty(); }, 5000));
    poll();
    ASSERT_TRUE(model->enhancedRunning());
    EXPECT_TRUE(note->isVisibleTo(activity->view()));
    EXPECT_TRUE(note->text().startsWith("Also logged in to this computer: alice, bob."))
        << note->text().toStdString();
    EXPECT_TRUE(model->logs().last().contains("alice, bob")) << "kept in Logs too";

    // Switching to System Proxy is no longer Enhanced Mode: the line goes.
    tunnel.systemProxy = true;
    poll();
    EXPECT_FALSE(note->isVisibleTo(activity->view()));
}

TEST_F(ActivityTest, AloneOnTheComputerAnEnhancedModeStartSaysNothingMore)
{
    FRWAppModelSetup setup = modelSetup();
    bool asked = false;
    setup.otherAccounts = [&asked] {
        asked = true;
        return QStringList{};
    };
    model = std::make_unique<FRWAppModel>(std::move(setup));
    auto activity = page();
    model->toggle();
    connectCore();
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked; }, 5000));
    poll();
    EXPECT_FALSE(widget<QLabel>(activity, "otherAccountsNote")->isVisibleTo(activity->view()));
}

} // namespace
