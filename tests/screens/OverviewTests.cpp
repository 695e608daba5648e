// The Overview page's switch cards: status lines per state, the switches' actions and notes.

#include <QLabel>
#include <QSignalSpy>

#include "FRWOverviewCard.h"
#include "FRWOverviewViewController.h"
#include "FRWSwitch.h"
#include "FRWTheme.h"
#include "FindWidget.h"
#include "ScreensTestSupport.h"

namespace {

class OverviewTest : public ScreensTest {
protected:
    std::unique_ptr<FRWOverviewViewController> page()
    {
        return load(std::make_unique<FRWOverviewViewController>(context()));
    }

    static QString status(FRWOverviewCard* card) { return card->statusLabel()->text(); }

    void localProxyAnswers(const std::string& json, const QString& address)
    {
        answer("/socks", json);
        model->refreshLocalProxyState();
        ASSERT_TRUE(QTest::qWaitFor([&] { return model->localProxyAddress() == address; }, 5000));
    }

    bool requested(const std::string& method, const std::string& target) const
    {
        for (const auto& request : controller.requests()) {
            if (request.method == method && request.target == target) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(OverviewTest, NothingRunning)
{
    auto overview = page();
    const FRWDynamicColor orange = FRWTheme::statusOrange();
    EXPECT_EQ(status(widget<FRWOverviewCard>(overview, "systemProxyCard")), "Not set");
    EXPECT_EQ(widget<FRWOverviewCard>(overview, "systemProxyCard")->statusColor(), orange);
    EXPECT_EQ(status(widget<FRWOverviewCard>(overview, "enhancedCard")), "Disabled");
    EXPECT_EQ(status(widget<FRWOverviewCard>(overview, "lanCard")), "Needs the tunnel running");
    EXPECT_FALSE(widget<FRWOverviewCard>(overview, "lanCard")->toggle()->isEnabled());
    EXPECT_EQ(status(widget<FRWOverviewCard>(overview, "gatewayCard")), "Not configured");
    EXPECT_EQ(status(widget<FRWOverviewCard>(overview, "remoteCard")), "Not available yet");
    for (FRWOverviewCard* card :
         {widget<FRWOverviewCard>(overview, "systemProxyCard"),
          widget<FRWOverviewCard>(overview, "enhancedCard"), widget<FRWOverviewCard>(overview, "lanCard"),
          widget<FRWOverviewCard>(overview, "gatewayCard"),
          widget<FRWOverviewCard>(overview, "remoteCard")}) {
        EXPECT_FALSE(card->toggle()->isChecked());
        EXPECT_EQ(card->height(), FRWOverviewCard::kHeight);
    }
}

TEST_F(OverviewTest, RunningStatesAndTheListenAddress)
{
    auto overview = page();
    connectCore();
    tunnel.systemProxy = true;
    poll();
    EXPECT_EQ(status(widget<FRWOverviewCard>(overview, "systemProxyCard")),
              QString::fromUtf8("Running · 127.0.0.1:7891"));
    EXPECT_EQ(widget<FRWOverviewCard>(overview, "systemProxyCard")->statusColor(), FRWTheme::statusGreen());
    EXPECT_TRUE(widget<FRWOverviewCard>(overview, "systemProxyCard")->toggle()->isChecked());
    EXPECT_EQ(status(widget<FRWOverviewCard>(overview, "enhancedCard")), "Disabled");
    EXPECT_EQ(status(widget<FRWOverviewCard>(overview, "lanCard")), "Off");
    EXPECT_TRUE(widget<FRWOverviewCard>(overview, "lanCard")->toggle()->isEnabled());

    tunnel.systemProxy = false;
    poll();
    EXPECT_EQ(status(widget<FRWOverviewCard>(overview, "enhancedCard")), "Enabled");
    EXPECT_TRUE(widget<FRWOverviewCard>(overview, "enhancedCard")->toggle()->isChecked());

    localProxyAnswers(R"({"running":true,"address":"127.0.0.1:7891"})", "127.0.0.1:7891");
    EXPECT_EQ(status(widget<FRWOverviewCard>(overview, "lanCard")), "Running on 127.0.0.1:7891");
    EXPECT_TRUE(widget<FRWOverviewCard>(overview, "lanCard")->toggle()->isChecked());
    localProxyAnswers(R"({"running":true,"address":"0.0.0.0:7891"})", "0.0.0.0:7891");
    EXPECT_EQ(status(widget<FRWOverviewCard>(overview, "lanCard")), "Sharing on this computer:7891");
    takeover.address = "192.168.1.4";
    overview->refresh();
    EXPECT_EQ(status(widget<FRWOverviewCard>(overview, "lanCard")), "Sharing on 192.168.1.4:7891");
    EXPECT_EQ(widget<FRWOverviewCard>(overview, "lanCard")->statusColor(), FRWTheme::statusGreen());

    takeover.gateway = true;
    overview->refresh();
    EXPECT_EQ(status(widget<FRWOverviewCard>(overview, "gatewayCard")), "Transparent gateway on");
    EXPECT_TRUE(widget<FRWOverviewCard>(overview, "gatewayCard")->toggle()->isChecked());
}

TEST_F(OverviewTest, SharingTheLocalProxyAsksTheCoreAndWarnsOnlyWhenReachable)
{
    auto overview = page();
    connectCore();
    poll();
    widget<FRWOverviewCard>(overview, "lanCard")->toggle()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return requested("POST", "/socks?listen=127.0.0.1%3A7891"); }, 5000));
    EXPECT_TRUE(alerts.alerts.isEmpty()) << "a loopback listener serves no other device";

    takeover.lan = true;
    takeover.address = "192.168.1.4";
    overview->refresh();
    widget<FRWOverviewCard>(overview, "lanCard")->toggle()->setChecked(false);
    widget<FRWOverviewCard>(overview, "lanCard")->toggle()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return requested("POST", "/socks?listen=0.0.0.0%3A7891"); }, 5000));
    ASSERT_EQ(alerts.alerts.size(), 1);
    EXPECT_TRUE(
        alerts.alerts.first().startsWith("Other devices can use this computer as a proxy | Point them at  "
                                         "192.168.1.4:7891  (HTTP or SOCKS5)."));

    widget<FRWOverviewCard>(overview, "lanCard")->toggle()->setChecked(true);
    widget<FRWOverviewCard>(overview, "lanCard")->toggle()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return requested("POST", "/socks?listen="); }, 5000));
    EXPECT_EQ(alerts.alerts.size(), 1);
}

TEST_F(OverviewTest, GatewayNoteAndTheRemoteCardThatNeverTurnsOn)
{
    auto overview = page();
    widget<FRWOverviewCard>(overview, "gatewayCard")->toggle()->click();
    EXPECT_EQ(takeover.gatewayCalls, (QList<bool>{true}));
    ASSERT_EQ(alerts.alerts.size(), 1);
    EXPECT_TRUE(alerts.alerts.first().startsWith("Route another device through this computer | "));
    EXPECT_TRUE(alerts.alerts.first().endsWith("gateway mode does nothing until it is on."));
    EXPECT_TRUE(widget<FRWOverviewCard>(overview, "gatewayCard")->toggle()->isChecked());

    connectCore();
    poll(); // Enhanced Mode: a core runs and it is not the System Proxy one.
    widget<FRWOverviewCard>(overview, "gatewayCard")->toggle()->click();
    EXPECT_EQ(takeover.gatewayCalls, (QList<bool>{true, false}));
    EXPECT_EQ(alerts.alerts.size(), 1) << "turning it off says nothing";
    widget<FRWOverviewCard>(overview, "gatewayCard")->toggle()->click();
    ASSERT_EQ(alerts.alerts.size(), 2);
    EXPECT_TRUE(alerts.alerts.last().endsWith("\n\nReconnect Enhanced Mode to apply."));

    widget<FRWOverviewCard>(overview, "remoteCard")->toggle()->click();
    EXPECT_FALSE(widget<FRWOverviewCard>(overview, "remoteCard")->toggle()->isChecked());
    ASSERT_EQ(alerts.alerts.size(), 3);
    EXPECT_TRUE(alerts.alerts.last().startsWith(QString::fromUtf8("Ferrow Varnel isn’t available yet | ")));
}

} // namespace
