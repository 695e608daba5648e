#include "FRWClientsViewController.h"

#include <algorithm>
#include <utility>

#include <QGridLayout>
#include <QJsonArray>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QVBoxLayout>

#include "FRWAppModel.h"
#include "FRWCardView.h"
#include "FRWClientRowDelegate.h"
#include "FRWClientsModel.h"
#include "FRWClock.h"
#include "FRWScreenText.h"
#include "FRWSegmented.h"
#include "FRWTheme.h"
#include "FRWViewportFiller.h"

FRWClientsViewController::FRWClientsViewController(QString pageTitle, FRWScreensContext context,
                                                   QObject* parent)
    : FRWPageViewController(std::move(pageTitle), parent), m_context(std::move(context))
{
}

void FRWClientsViewController::viewDidLoad()
{
    FRWPageViewController::viewDidLoad();
    QVBoxLayout* content = contentLayout();
    content->addSpacing(14);
    if (!historyDimension().isEmpty()) {
        m_periodControl =
            new FRWSegmented({tr("Now"), tr("Today"), tr("7 Days"), tr("30 Days")}, contentView());
        m_periodControl->setObjectName(QStringLiteral("periodSegmented"));
        m_periodControl->setAccessibleName(tr("Period"));
        m_periodControl->onChange = [this](int index) { setPeriod(static_cast<Period>(index)); };
        content->addWidget(m_periodControl, 0, Qt::AlignLeft);
        content->addSpacing(10);
    }

    m_listCard = FRWCardView::card(contentView());
    m_listCard->setObjectName(QStringLiteral("listCard"));
    m_listCard->setCornerRadius(12);
    auto* cardLayout = new QGridLayout(m_listCard);
    cardLayout->setContentsMargins(8, 8, 8, 8);
    m_groups = new FRWClientsModel(this);
    m_order = new FRWClientsOrder(this);
    m_order->setSourceModel(m_groups);
    m_order->sort(0);
    m_list = new QListView;
    m_list->setObjectName(QStringLiteral("clientsList"));
    m_list->setAccessibleName(pageTitle());
    m_list->setModel(m_order);
    m_list->setItemDelegate(new FRWClientRowDelegate(m_list));
    m_list->setUniformItemSizes(true);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setStyleSheet(
        QStringLiteral("QListView { background: transparent; selection-background-color: transparent; }"));
    m_list->viewport()->setAutoFillBackground(false);
    cardLayout->addWidget(m_list, 0, 0);
    m_emptyLabel = new QLabel(emptyText());
    m_emptyLabel->setObjectName(QStringLiteral("emptyLabel"));
    m_emptyLabel->setFont(FRWTheme::font(22));
    FRWTheme::bindTextColor(m_emptyLabel, FRWTheme::secondaryLabel());
    m_emptyLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    cardLayout->addWidget(m_emptyLabel, 0, 0, Qt::AlignCenter);
    content->addWidget(m_listCard);

    int below = kContentMargin;
    m_footer = makeFooter();
    if (m_footer) {
        content->addSpacing(14);
        content->addWidget(m_footer);
        below += 14 + m_footer->sizeHint().height();
    }
    new FRWViewportFiller(scroll(), m_listCard, below, 200);

    connect(m_context.model, &FRWAppModel::didUpdate, this, &FRWClientsViewController::refresh);
    refresh();
}

QDateTime FRWClientsViewController::now() const
{
    return (m_context.clock ? *m_context.clock : FRWClock::system()).now();
}

void FRWClientsViewController::setPeriod(Period period)
{
    if (m_periodControl) {
        m_periodControl->setSelectedIndex(static_cast<int>(period));
    }
    if (period == m_period) {
        return;
    }
    m_period = period;
    m_groups->setRows({});
    refreshPeriod(true);
}

void FRWClientsViewController::refresh()
{
    if (!m_list) {
        return;
    }
    if (m_period == Period::Now) {
        refreshLive();
    } else {
        refreshPeriod(false);
    }
}

void FRWClientsViewController::refreshPeriod(bool force)
{
    constexpr qint64 kPeriodRefreshMs = 5000;
    const QDateTime at = now();
    if (m_period == Period::Now) {
        refreshLive();
        return;
    }
    if (!force && m_periodFetchedAt.isValid() && m_periodFetchedAt.msecsTo(at) < kPeriodRefreshMs) {
        return;
    }
    m_periodFetchedAt = at;
    const int days = m_period == Period::Today ? 1 : (m_period == Period::Week ? 7 : 30);
    const int request = ++m_periodRequest;
    m_context.model->fetchHistory(historyDimension(), days,
                                  [this, request, guard = QPointer(this)](std::optional<QJsonObject> answer) {
                                      if (!guard || request != m_periodRequest || m_period == Period::Now) {
                                          return;
                                      }
                                      showHistory(answer.value_or(QJsonObject()));
                                  });
}

void FRWClientsViewController::showHistory(const QJsonObject& answer)
{
    QHash<QString, FRWClientGroup> byKey;
    QStringList order;
    for (const QJsonValue value : answer.value(QStringLiteral("items")).toArray()) {
        const QJsonObject item = value.toObject();
        const QString key = keyForHistoryName(item.value(QStringLiteral("name")).toString());
        if (key.isEmpty()) {
            continue;
        }
        FRWClientGroup& group = byKey[key];
        if (group.key.isEmpty()) {
            group = {key, titleForKey(key), iconForKey(key), 0.0, 0, {}};
            order.append(key);
        }
        group.total += FRWScreenText::integerOf(item, "up") + FRWScreenText::integerOf(item, "down");
        const QJsonArray daily = item.value(QStringLiteral("daily")).toArray();
        group.daily.resize(std::max(group.daily.size(), daily.size()));
        for (qsizetype i = 0; i < daily.size(); ++i) {
            const QJsonArray day = daily[i].toArray();
            group.daily[i] += qint64(day.at(0).toDouble()) + qint64(day.at(1).toDouble());
        }
    }
    QList<FRWClientGroup> groups;
    for (const QString& key : order) {
        groups.append(byKey.value(key));
    }
    m_groups->setRows(groups);
    m_emptyLabel->setText(answer.isEmpty() ? tr("The history is not available without the core.")
                                           : tr("Nothing in this period."));
    m_emptyLabel->setVisible(groups.isEmpty());
    didRefresh();
}

void FRWClientsViewController::refreshLive()
{
    // Group.
    QHash<QString, qint64> totals;
    for (const QJsonValue value : m_context.model->connections()) {
        const QJsonObject connection = value.toObject();
        const QString key = keyForConnection(connection);
        if (!key.isEmpty()) {
            totals[key] +=
                FRWScreenText::integerOf(connection, "up") + FRWScreenText::integerOf(connection, "down");
        }
    }

    // Rates against the last sample, taken at most every kMinimumSampleMs. The model publishes
    // several times a tick; an update right after a sample shows that sample's rates again
    // rather than dropping every rate to 0 until the next one.
    const QDateTime at = now();
    const qint64 elapsedMs = m_lastSampleAt.isValid() ? m_lastSampleAt.msecsTo(at) : 0;
    if (!m_lastSampleAt.isValid()) {
        m_lastTotals = totals;
        m_lastSampleAt = at;
        m_lastRates.clear();
    } else if (elapsedMs > kMinimumSampleMs || elapsedMs < 0) {
        const double seconds = static_cast<double>(std::max<qint64>(elapsedMs, 1)) / 1000.0;
        m_lastRates.clear();
        for (auto it = totals.cbegin(); it != totals.cend(); ++it) {
            const qint64 grown = it.value() - m_lastTotals.value(it.key(), it.value());
            m_lastRates.insert(it.key(),
                               grown > 0 && elapsedMs > 0 ? static_cast<double>(grown) / seconds : 0.0);
        }
        m_lastTotals = totals;
        m_lastSampleAt = at;
    }
    const QHash<QString, double>& rates = m_lastRates;

    QList<FRWClientGroup> groups;
    groups.reserve(totals.size());
    for (auto it = totals.cbegin(); it != totals.cend(); ++it) {
        groups.append(
            {it.key(), titleForKey(it.key()), iconForKey(it.key()), rates.value(it.key(), 0.0), it.value()});
    }
    m_groups->setRows(groups);
    m_emptyLabel->setText(emptyText());
    m_emptyLabel->setVisible(groups.isEmpty());
    didRefresh();
}

QList<FRWClientsViewController::Listed> FRWClientsViewController::listed() const
{
    QList<Listed> rows;
    if (!m_order) {
        return rows;
    }
    for (int row = 0; row < m_order->rowCount(); ++row) {
        const QModelIndex index = m_order->index(row, 0);
        rows.append({index.data(FRWClientsModel::KeyRole).toString(), index.data(Qt::DisplayRole).toString(),
                     index.data(FRWClientsModel::RateRole).toDouble(),
                     index.data(FRWClientsModel::TotalRole).toLongLong()});
    }
    return rows;
}

QString FRWClientsViewController::selectedKey() const
{
    if (!m_list) {
        return {};
    }
    const QModelIndexList selected = m_list->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QString() : selected.first().data(FRWClientsModel::KeyRole).toString();
}
