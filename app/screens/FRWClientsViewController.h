#pragma once

#include <QDateTime>
#include <QHash>
#include <QIcon>
#include <QJsonObject>

#include "FRWPageViewController.h"
#include "FRWScreens.h"

class QLabel;
class QListView;
class FRWCardView;
class FRWClientsModel;
class FRWClientsOrder;
class FRWSegmented;

/// A list of who uses the proxy right now, grouped from the core's live connections: each group
/// with its byte total and its rate since the last sample. Subclasses say how a connection is
/// keyed, named and drawn. Groups keep their rows across refreshes, so a selection stays on its
/// group however the order changes.
class FRWClientsViewController : public FRWPageViewController {
    Q_OBJECT
public:
    /// Refreshes closer together than this keep the previous sample and show its rates.
    static constexpr qint64 kMinimumSampleMs = 200;

    FRWClientsViewController(QString pageTitle, FRWScreensContext context, QObject* parent = nullptr);

    void refresh();

    QLabel* emptyLabel() const { return m_emptyLabel; }
    QWidget* footer() const { return m_footer; }
    /// The groups as listed: key, rate and total, in order.
    struct Listed {
        QString key;
        QString title;
        double rate;
        qint64 total;
    };
    QList<Listed> listed() const;
    /// The key of the selected group; empty without one.
    QString selectedKey() const;

    virtual QString emptyText() const { return tr("Nothing yet."); }
    /// The group a connection belongs to; empty for none.
    virtual QString keyForConnection(const QJsonObject& connection) const = 0;
    virtual QString titleForKey(const QString& key) { return key; }
    virtual QIcon iconForKey(const QString& /*key*/) { return {}; }
    /// The core's history dimension behind the period control ("process", "device"); empty for
    /// a page without one.
    virtual QString historyDimension() const { return {}; }
    /// The group a name in the history belongs to; empty for none.
    virtual QString keyForHistoryName(const QString& name) const { return name; }

    /// Now (live), Today, 7 Days, 30 Days.
    enum class Period { Now, Today, Week, Month };
    Period period() const { return m_period; }
    void setPeriod(Period period);
    /// Null on a page without history.
    FRWSegmented* periodControl() const { return m_periodControl; }

protected:
    void viewDidLoad() override;
    /// A view placed under the list, or null.
    virtual QWidget* makeFooter() { return nullptr; }
    /// Runs after every refresh.
    virtual void didRefresh() {}

    const FRWScreensContext& context() const { return m_context; }

private:
    QDateTime now() const;
    void refreshLive();
    /// Asks the core for the period again when the last answer is older than a few seconds.
    void refreshPeriod(bool force);
    void showHistory(const QJsonObject& answer);

    FRWScreensContext m_context;
    FRWCardView* m_listCard = nullptr;
    QListView* m_list = nullptr;
    FRWClientsModel* m_groups = nullptr;
    FRWClientsOrder* m_order = nullptr;
    QLabel* m_emptyLabel = nullptr;
    QWidget* m_footer = nullptr;
    QHash<QString, qint64> m_lastTotals;
    QHash<QString, double> m_lastRates;
    QDateTime m_lastSampleAt;
    FRWSegmented* m_periodControl = nullptr;
    Period m_period = Period::Now;
    QDateTime m_periodFetchedAt;
    int m_periodRequest = 0; // answers to older requests are dropped
};
