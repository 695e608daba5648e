#include "FRWConnectionsViewController.h"

#include <utility>

#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>

#include "FRWAppModel.h"
#include "FRWCardView.h"
#include "FRWClock.h"
#include "FRWConnRowDelegate.h"
#include "FRWConnectionsModel.h"
#include "FRWDirection.h"
#include "FRWElidedLabel.h"
#include "FRWScreenText.h"
#include "FRWTheme.h"

namespace {
constexpr int kListCardHeight = 392;
constexpr int kDetailCaptionWidth = 118;

QLabel* secondaryLabel(const QString& text, qreal size, QFont::Weight weight = QFont::Normal)
{
    auto* label = new QLabel(text);
    label->setFont(FRWTheme::font(size, weight));
    FRWTheme::bindTextColor(label, FRWTheme::secondaryLabel());
    return label;
}
} // namespace

FRWConnectionsViewController::FRWConnectionsViewController(FRWScreensContext context, QObject* parent)
    : FRWPageViewController(tr("Connections"), parent), m_context(std::move(context))
{
}

void FRWConnectionsViewController::viewDidLoad()
{
    FRWPageViewController::viewDidLoad();
    QVBoxLayout* content = contentLayout();
    content->addSpacing(14);

    // The list card: count line and filter above the table.
    auto* listCard = FRWCardView::card(contentView());
    listCard->setObjectName(QStringLiteral("listCard"));
    listCard->setCornerRadius(12);
    listCard->setFixedHeight(kListCardHeight);
    auto* listLayout = new QGridLayout(listCard);
    listLayout->setContentsMargins(10, 10, 10, 10);
    listLayout->setVerticalSpacing(8);
    auto* top = new QHBoxLayout;
    top->setContentsMargins(6, 0, 2, 0);
    top->setSpacing(12);
    m_countLabel = secondaryLabel(QString(), 11, QFont::Medium);
    m_countLabel->setObjectName(QStringLiteral("countLabel"));
    top->addWidget(m_countLabel, 1);
    m_search = new QLineEdit;
    m_search->setObjectName(QStringLiteral("searchLineEdit"));
    m_search->setAccessibleName(tr("Search Connections"));
    m_search->setPlaceholderText(tr("Filter host, process, policy, rule\u2026"));
    m_search->setFont(FRWTheme::font(12));
    m_search->setFixedWidth(260);
    m_search->setClearButtonEnabled(true);
    top->addWidget(m_search);
    listLayout->addLayout(top, 0, 0);

    m_source = new FRWConnectionsModel(this);
    m_filter = new FRWConnectionsFilter(this);
    m_filter->setSourceModel(m_source);
    m_filter->sort(0);
    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("connectionsTable"));
    m_table->setAccessibleName(tr("Connections"));
    m_table->setModel(m_filter);
    m_table->setItemDelegate(new FRWConnRowDelegate(m_table));
    m_table->horizontalHeader()->hide();
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(FRWConnRowDelegate::kRowHeight +
                                                     FRWConnRowDelegate::kRowSpacing);
    m_table->setShowGrid(false);
    m_table->setFrameShape(QFrame::NoFrame);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    // The row delegate draws the selection in the theme's colour.
    m_table->setStyleSheet(
        QStringLiteral("QTableView { background: transparent; selection-background-color: transparent; }"));
    m_table->viewport()->setAutoFillBackground(false);
    listLayout->addWidget(m_table, 1, 0);
    m_emptyState = secondaryLabel(QString(), 13);
    m_emptyState->setObjectName(QStringLiteral("emptyStateLabel"));
    m_emptyState->setAlignment(Qt::AlignCenter);
    m_emptyState->setWordWrap(true);
    m_emptyState->setAttribute(Qt::WA_TransparentForMouseEvents);
    listLayout->addWidget(m_emptyState, 0, 0, 2, 1, Qt::AlignCenter);
    content->addWidget(listCard);
    content->addSpacing(16);

    // The details card.
    auto* detailCard = FRWCardView::card(contentView());
    detailCard->setObjectName(QStringLiteral("detailCard"));
    detailCard->setCornerRadius(12);
    // At least 120 high, and as tall as its rows need: a strut, since an explicit minimum height
    // would let the page squeeze the rows.
    auto* detailFrame = new QHBoxLayout(detailCard);
    detailFrame->setContentsMargins(16, 14, 16, 16);
    detailFrame->addStrut(120 - 14 - 16);
    auto* detailLayout = new QVBoxLayout;
    detailLayout->setSpacing(0);
    detailFrame->addLayout(detailLayout);
    detailLayout->addWidget(secondaryLabel(tr("DETAILS"), 10.5, QFont::DemiBold));
    detailLayout->addSpacing(10);
    m_detailStack = new QWidget;
    m_detailStack->setObjectName(QStringLiteral("detailStack"));
    m_detailLayout = new QVBoxLayout(m_detailStack);
    m_detailLayout->setContentsMargins(0, 0, 0, 0);
    m_detailLayout->setSpacing(7);
    detailLayout->addWidget(m_detailStack);
    m_detailEmpty =
        secondaryLabel(tr("Select a connection above to see its fake IP, client and matched rule."), 12);
    m_detailEmpty->setObjectName(QStringLiteral("detailEmptyLabel"));
    m_detailEmpty->setWordWrap(true);
    detailLayout->addWidget(m_detailEmpty);
    detailLayout->addStretch(1);
    content->addWidget(detailCard);
    content->addSpacing(28);

    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_reselecting = true;
        m_filter->setQuery(text);
        m_reselecting = false;
        refresh();
    });
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FRWConnectionsViewController::selectionChanged);
    connect(m_context.model, &FRWAppModel::didUpdate, this, &FRWConnectionsViewController::refresh);
    refresh();
}

QList<QJsonObject> FRWConnectionsViewController::conns() const
{
    QList<QJsonObject> listed;
    if (!m_filter) {
        return listed;
    }
    listed.reserve(m_filter->rowCount());
    for (int row = 0; row < m_filter->rowCount(); ++row) {
        listed.append(m_filter->recordAt(row));
    }
    return listed;
}

QList<std::pair<QString, QString>> FRWConnectionsViewController::detailRows() const
{
    QList<std::pair<QString, QString>> rows;
    for (const auto& [caption, value] : m_detailRows) {
        rows.append({caption->text(), value->fullText()});
    }
    return rows;
}

void FRWConnectionsViewController::refresh()
{
    if (!m_table) {
        return;
    }
    // Model changes move and drop selected rows; the selection is put right below, by id.
    m_reselecting = true;
    m_source->setConnections(m_context.model->connections());
    const int listed = m_filter->rowCount();
    const bool filtering = !m_filter->query().isEmpty();
    if (filtering) {
        m_countLabel->setText(tr("%n matching", nullptr, listed));
    } else {
        int active = 0;
        for (const FRWConnectionRow& row : m_source->rows()) {
            active += FRWScreenText::isClosed(row.record) ? 0 : 1;
        }
        m_countLabel->setText(tr("%n active  \u00B7  %1 total", nullptr, active).arg(m_source->rowCount()));
    }
    m_emptyState->setText(filtering ? tr("No connections match your filter.")
                                    : tr("No connections yet.\nConnect and browse to see live traffic."));
    m_emptyState->setVisible(listed == 0);

    QModelIndex selected;
    if (!m_selectedID.isEmpty() && listed > 0) {
        const int sourceRow = m_source->rowOfKey(m_selectedID);
        if (sourceRow >= 0) {
            selected = m_filter->mapFromSource(m_source->index(sourceRow, 0));
        }
    }
    QItemSelectionModel* selection = m_table->selectionModel();
    if (selected.isValid()) {
        if (!selection->isRowSelected(selected.row(), {}) || selection->selectedRows().size() != 1) {
            selection->select(selected, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
        populateDetail(m_filter->recordAt(selected.row()));
    } else {
        m_selectedID.clear();
        if (selection->hasSelection()) {
            selection->clearSelection();
        }
    }
    m_reselecting = false;
    updateDetailVisibility();
}

void FRWConnectionsViewController::selectionChanged()
{
    if (m_reselecting) {
        return;
    }
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (rows.size() == 1 && rows.first().row() < m_filter->rowCount()) {
        const QJsonObject connection = m_filter->recordAt(rows.first().row());
        const QModelIndex source = m_filter->mapToSource(rows.first());
        m_selectedID = m_source->rowAt(source.row()).key;
        populateDetail(connection);
    } else {
        m_selectedID.clear();
    }
    updateDetailVisibility();
}

void FRWConnectionsViewController::updateDetailVisibility()
{
    const bool selected = !m_selectedID.isEmpty();
    m_detailStack->setVisible(selected);
    m_detailEmpty->setVisible(!selected);
}

qint64 FRWConnectionsViewController::nowMilliseconds() const
{
    const FRWClock& clock = m_context.clock ? *m_context.clock : FRWClock::system();
    return clock.now().toMSecsSinceEpoch();
}

void FRWConnectionsViewController::populateDetail(const QJsonObject& connection)
{
    const QString dash = FRWScreenText::noValue();
    const auto text = [&connection](const char* key) { return FRWScreenText::stringOf(connection, key); };
    const auto orElse = [](const QString& value, const QString& fallback) {
        return value.isEmpty() ? fallback : value;
    };

    QString source = dash;
    if (!text("srcip").isEmpty()) {
        const qint64 port = FRWScreenText::integerOf(connection, "srcport");
        source = port > 0 ? QStringLiteral("%1:%2").arg(text("srcip")).arg(port) : text("srcip");
    }
    const bool closed = FRWScreenText::isClosed(connection);
    const qint64 age = nowMilliseconds() - FRWScreenText::integerOf(connection, "start");
    const QList<std::pair<QString, QString>> rows = {
        {tr("Destination"), orElse(text("host"), dash)},
        {tr("Policy / Group"), orElse(text("policy"), dash)},
        {tr("Matched rule"), orElse(text("rule"), dash)},
        {tr("Fake IP"), orElse(text("fakeip"), tr("\u2014 (not fake-ip)"))},
        {tr("Client process"), orElse(text("process"), tr("\u2014 (unknown)"))},
        {tr("Source"), source},
        {tr("Network"), orElse(text("network"), QStringLiteral("tcp")).toUpper()},
        {tr("Traffic"),
         QStringLiteral("\u2191 %1   \u2193 %2")
             .arg(FRWScreenText::connectionBytes(FRWScreenText::integerOf(connection, "up")),
                  FRWScreenText::connectionBytes(FRWScreenText::integerOf(connection, "down")))},
        {tr("State"),
         tr("%1 \u00B7 started %2").arg(closed ? tr("closed") : tr("active"), FRWScreenText::ageText(age))},
    };

    // The rows are made once and refilled, so a value the user is selecting is left alone.
    while (m_detailRows.size() < rows.size()) {
        auto* row = new QWidget(m_detailStack);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(10);
        QLabel* caption = secondaryLabel(QString(), 11.5);
        caption->setFixedWidth(kDetailCaptionWidth);
        auto* value = new FRWElidedLabel(Qt::ElideMiddle);
        QFont mono = FRWTheme::font(12);
        mono.setFamilies({QStringLiteral("monospace")});
        mono.setStyleHint(QFont::Monospace);
        value->setFont(mono);
        FRWTheme::bindTextColor(value, FRWTheme::label());
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // Hosts, rules and addresses start at the page's leading edge, beside their caption.
        value->setAlignment(FRWDirection::leading(QGuiApplication::layoutDirection()) | Qt::AlignVCenter);
        layout->addWidget(caption);
        layout->addWidget(value, 1);
        m_detailLayout->addWidget(row);
        m_detailRows.append({caption, value});
    }
    for (qsizetype i = 0; i < rows.size(); ++i) {
        m_detailRows[i].first->setText(rows[i].first);
        m_detailRows[i].second->setFullText(rows[i].second);
    }
}
