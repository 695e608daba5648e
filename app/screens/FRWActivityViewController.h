#pragma once

#include <QDateTime>
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

    /// Makes a node of the ferrow:// link on the clipboard, puts it in the Proxy group and chooses it.
    void pasteFirstNode();
    /// Names the link on the clipboard, when there is one, on the panel's button.
    void offerClipboardLink();
    /// The traffic card's rows, in the order shown.
    const QList<FRWTrafficRow*>& trafficRows() const { return m_trafficRows; }

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
    /// Now (the live connections), Today, 7 Days, 30 Days (the core's history).
    FRWSegmented* m_trafficPeriod = nullptr;
    QDateTime m_trafficFetchedAt;
    int m_trafficRequest = 0; // answers to older requests are dropped
    FRWBarChart* m_trafficChart = nullptr;
    QWidget* m_trafficList = nullptr;
    QVBoxLayout* m_trafficListLayout = nullptr;
    QList<FRWTrafficRow*> m_trafficRows;
    void refreshTrafficHistory(bool force);
    void showTraffic(QList<std::pair<QString, qint64>> ordered);
    QLabel* m_trafficEmpty = nullptr;
};
