#include "FRWClientsViewController.h"

#include <utility>

#include <QGridLayout>
#include <QLabel>
#include <QListView>
#include <QVBoxLayout>

#include "FRWAppModel.h"
#include "FRWCardView.h"
#include "FRWClientRowDelegate.h"
#include "FRWClientsModel.h"
#include "FRWClock.h"
#include "FRWScreenText.h"
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

void FRWClientsViewController::refresh()
{
    if (!m_list) {
        return;
    }
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
