// The Overview page's switch cards: status lines per state, the switches' actions and notes.

#include <QLabel>
#include <QSignalSpy>

#include "FRWOverviewCard.h"
#include "FRWOverviewViewController.h"
#include "FRWSwitch.h"
#include "FRWTheme.h"
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
    EXPECT_EQ(status(overview->systemProxy()), "Not set");
    EXPECT_EQ(overview->systemProxy()->statusColor(), orange);
    EXPECT_EQ(status(overview->enhanced()), "Disabled");
    EXPECT_EQ(status(overview->lan()), "Needs the tunnel running");
    EXPECT_FALSE(overview->lan()->toggle()->isEnabled());
    EXPECT_EQ(status(overview->gateway()), "Not configured");
    EXPECT_EQ(status(overview->remote()), "Not available yet");
    for (FRWOverviewCard* card : {overview->systemProxy(), overview->enhanced(), overview->lan(),
                                  overview->gateway(), overview->remote()}) {
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
    EXPECT_EQ(status(overview->systemProxy()), QString::fromUtf8("Running · 127.0.0.1:7891"));
    EXPECT_EQ(overview->systemProxy()->statusColor(), FRWTheme::statusGreen());
    EXPECT_TRUE(overview->systemProxy()->toggle()->isChecked());
    EXPECT_EQ(status(overview->enhanced()), "Disabled");
    EXPECT_EQ(status(overview->lan()), "Off");
    EXPECT_TRUE(overview->lan()->toggle()->isEnabled());

    tunnel.systemProxy = false;
    poll();
    EXPECT_EQ(status(overview->enhanced()), "Enabled");
    EXPECT_TRUE(overview->enhanced()->toggle()->isChecked());

    localProxyAnswers(R"({"running":true,"address":"127.0.0.1:7891"})", "127.0.0.1:7891");
    EXPECT_EQ(status(overview->lan()), "Running on 127.0.0.1:7891");
    EXPECT_TRUE(overview->lan()->toggle()->isChecked());
    localProxyAnswers(R"({"running":true,"address":"0.0.0.0:7891"})", "0.0.0.0:7891");
    EXPECT_EQ(status(overview->lan()), "Sharing on this computer:7891");
    takeover.address = "192.168.1.4";
    overview->refresh();
    EXPECT_EQ(status(overview->lan()), "Sharing on 192.168.1.4:7891");
    EXPECT_EQ(overview->lan()->statusColor(), FRWTheme::statusGreen());

    takeover.gateway = true;
    overview->refresh();
    EXPECT_EQ(status(overview->gateway()), "Transparent gateway on");
    EXPECT_TRUE(overview->gateway()->toggle()->isChecked());
}

TEST_F(OverviewTest, SharingTheLocalProxyAsksTheCoreAndWarnsOnlyWhenReachable)
{
    auto overview = page();
    connectCore();
    poll();
    overview->lan()->toggle()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return requested("POST", "/socks?listen=127.0.0.1%3A7891"); }, 5000));
    EXPECT_TRUE(alerts.alerts.isEmpty()) << "a loopback listener serves no other device";

    takeover.lan = true;
    takeover.address = "192.168.1.4";
    overview->refresh();
    overview->lan()->toggle()->setChecked(false);
    overview->lan()->toggle()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return requested("POST", "/socks?listen=0.0.0.0%3A7891"); }, 5000));
    ASSERT_EQ(alerts.alerts.size(), 1);
    EXPECT_TRUE(
        alerts.alerts.first().startsWith("Other devices can use this computer as a proxy | Point them at  "
                                         "192.168.1.4:7891  (HTTP or SOCKS5)."));

    overview->lan()->toggle()->setChecked(true);
    overview->lan()->toggle()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return requested("POST", "/socks?listen="); }, 5000));
    EXPECT_EQ(alerts.alerts.size(), 1);
}

TEST_F(OverviewTest, GatewayNoteAndTheRemoteCardThatNeverTurnsOn)
{
    auto overview = page();
    overview->gateway()->toggle()->click();
    EXPECT_EQ(takeover.gatewayCalls, (QList<bool>{true}));
    ASSERT_EQ(alerts.alerts.size(), 1);
    EXPECT_TRUE(alerts.alerts.first().startsWith("Route another device through this computer | "));
    EXPECT_TRUE(alerts.alerts.first().endsWith("gateway mode does nothing until it is on."));
    EXPECT_TRUE(overview->gateway()->toggle()->isChecked());

    connectCore();
    poll(); // Enhanced Mode: a core runs and it is not the System Proxy one.
    overview->gateway()->toggle()->click();
    EXPECT_EQ(takeover.gatewayCalls, (QList<bool>{true, false}));
    EXPECT_EQ(alerts.alerts.size(), 1) << "turning it off says nothing";
    overview->gateway()->toggle()->click();
    ASSERT_EQ(alerts.alerts.size(), 2);
    EXPECT_TRUE(alerts.alerts.last().endsWith("\n\nReconnect Enhanced Mode to apply."));

    overview->remote()->toggle()->click();
    EXPECT_FALSE(overview->remote()->toggle()->isChecked());
    ASSERT_EQ(alerts.alerts.size(), 3);
    EXPECT_TRUE(alerts.alerts.last().startsWith(QString::fromUtf8("Ferrow Varnel isn’t available yet | ")));
}

} // namespace
