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

protected:
    void viewDidLoad() override;
    /// A view placed under the list, or null.
    virtual QWidget* makeFooter() { return nullptr; }
    /// Runs after every refresh.
    virtual void didRefresh() {}

    const FRWScreensContext& context() const { return m_context; }

private:
    QDateTime now() const;

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
};
