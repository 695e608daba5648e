#pragma once

#include <QList>

#include "FRWScreens.h"
#include "FRWViewController.h"

class QLabel;
class QMenu;
class QPushButton;
class QToolButton;
class QVBoxLayout;
class FRWBarChart;
class FRWLineChart;
class FRWPillButton;
class FRWSegmented;
class FRWStackedBar;
class FRWStatColumn;
class FRWTrafficRow;

/// The dashboard: the two routing modes, the header figures, latencies, live rates with their
/// history, connection and process counts, the day's or month's traffic and the busiest clients,
/// domains or policies. Every figure is read from the model on each update.
class FRWActivityViewController : public FRWViewController {
    Q_OBJECT
public:
    static constexpr int kTopTraffic = 5;

    explicit FRWActivityViewController(FRWScreensContext context, QObject* parent = nullptr);

    void refresh();
    void refreshTraffic();

    /// The menus the two clickable columns open; owned by the caller.
    QMenu* buildOutboundMenu();
    QMenu* buildExternalIPMenu();
    void showOutboundMenu();
    void showExternalIPMenu();

    // The controls, for tests and the snapshot gallery.
    FRWPillButton* systemProxyPill() const { return m_systemProxyPill; }
    /// Shown while the active profile has no node that can work.
    QWidget* firstRunPanel() const { return m_firstRunPanel; }
    QLabel* firstRunNote() const { return m_firstRunNote; }
    /// Makes a node of the ferrow:// link on the clipboard, puts it in the Proxy group and chooses it.
    void pasteFirstNode();
    /// Names the link on the clipboard, when there is one, on the panel's button.
    void offerClipboardLink();
    QPushButton* pasteButton() const { return m_pasteButton; }
    FRWPillButton* enhancedPill() const { return m_enhancedPill; }
    /// Says who else is logged in while Enhanced Mode carries their traffic.
    QLabel* otherAccountsNote() const { return m_otherAccountsNote; }
    FRWStatColumn* networkCol() const { return m_networkCol; }
    FRWStatColumn* profileCol() const { return m_profileCol; }
    FRWStatColumn* outboundCol() const { return m_outboundCol; }
    FRWStatColumn* externalIPCol() const { return m_externalIPCol; }
    QLabel* latencyValue() const { return m_latencyValue; }
    FRWStatColumn* dnsCol() const { return m_dnsCol; }
    FRWStatColumn* proxyCol() const { return m_proxyCol; }
    QLabel* uploadValue() const { return m_uploadValue; }
    QLabel* uploadUnit() const { return m_uploadUnit; }
    FRWLineChart* uploadChart() const { return m_uploadChart; }
    QLabel* downloadValue() const { return m_downloadValue; }
    QLabel* downloadUnit() const { return m_downloadUnit; }
    FRWLineChart* downloadChart() const { return m_downloadChart; }
    QLabel* activeValue() const { return m_activeValue; }
    QLabel* processesValue() const { return m_processesValue; }
    QLabel* totalValue() const { return m_totalValue; }
    QLabel* totalUnit() const { return m_totalUnit; }
    QLabel* totalUpValue() const { return m_totalUpValue; }
    QLabel* totalDownValue() const { return m_totalDownValue; }
    FRWStackedBar* totalBar() const { return m_totalBar; }
    FRWSegmented* totalPeriod() const { return m_totalPeriod; }
    FRWSegmented* trafficFilter() const { return m_trafficFilter; }
    FRWSegmented* trafficDim() const { return m_trafficDim; }
    FRWBarChart* trafficChart() const { return m_trafficChart; }
    const QList<FRWTrafficRow*>& trafficRows() const { return m_trafficRows; }
    QLabel* trafficEmpty() const { return m_trafficEmpty; }

protected:
    void loadView() override;
    void viewDidLoad() override;

private:
    void build();
    QWidget* buildLatencyCard();
    QWidget* buildActiveCard();
    QWidget* buildTotalCard();
    QWidget* buildRateCard(const QString& caption, QLabel*& value, QLabel*& unit, FRWLineChart*& chart);
    QWidget* buildTrafficCard();

    FRWScreensContext m_context;
    QWidget* buildFirstRunPanel();
    QWidget* m_firstRunPanel = nullptr;
    QLabel* m_firstRunNote = nullptr;
    QPushButton* m_pasteButton = nullptr;
    bool m_firstRunShown = false;
    QLabel* m_otherAccountsNote = nullptr;
    FRWPillButton* m_systemProxyPill = nullptr;
    FRWPillButton* m_enhancedPill = nullptr;
    FRWStatColumn* m_networkCol = nullptr;
    FRWStatColumn* m_profileCol = nullptr;
    FRWStatColumn* m_outboundCol = nullptr;
    FRWStatColumn* m_externalIPCol = nullptr;
    QLabel* m_latencyValue = nullptr;
    FRWStatColumn* m_dnsCol = nullptr;
    FRWStatColumn* m_proxyCol = nullptr;
    QLabel* m_uploadValue = nullptr;
    QLabel* m_uploadUnit = nullptr;
    FRWLineChart* m_uploadChart = nullptr;
    QLabel* m_downloadValue = nullptr;
    QLabel* m_downloadUnit = nullptr;
    FRWLineChart* m_downloadChart = nullptr;
    QLabel* m_activeValue = nullptr;
    QLabel* m_processesValue = nullptr;
    QLabel* m_totalValue = nullptr;
    QLabel* m_totalUnit = nullptr;
    QLabel* m_totalUpValue = nullptr;
    QLabel* m_totalDownValue = nullptr;
    FRWStackedBar* m_totalBar = nullptr;
    FRWSegmented* m_totalPeriod = nullptr;
    FRWSegmented* m_trafficFilter = nullptr;
    FRWSegmented* m_trafficDim = nullptr;
    FRWBarChart* m_trafficChart = nullptr;
    QWidget* m_trafficList = nullptr;
    QVBoxLayout* m_trafficListLayout = nullptr;
    QList<FRWTrafficRow*> m_trafficRows;
    QLabel* m_trafficEmpty = nullptr;
};
