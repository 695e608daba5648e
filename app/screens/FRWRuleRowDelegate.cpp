#include "FRWRuleRowDelegate.h"

#include <QHeaderView>
#include <QJsonObject>
#include <QPainter>
#include <QScrollBar>
#include <QTableView>

#include "FRWAppearance.h"
#include "FRWConnRowDelegate.h"
#include "FRWDirection.h"
#include "FRWTheme.h"

namespace {
enum Column { kType = 0, kValue = 1, kPolicy = 2 };
} // namespace

QFont FRWRuleRowDelegate::fontFor(int column)
{
    return column == kValue ? FRWConnRowDelegate::titleFont() : FRWTheme::font(11.5, QFont::DemiBold);
}

QSize FRWRuleRowDelegate::sizeHint(const QStyleOptionViewItem& /*option*/, const QModelIndex& index) const
{
    const QString text = index.data(Qt::DisplayRole).toString();
    return {QFontMetrics(fontFor(index.column())).horizontalAdvance(text) + 2 * kColumnInset,
            kRowHeight + kRowSpacing};
}

void FRWRuleRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const
{
    const QRect row = option.rect.adjusted(0, 0, 0, -kRowSpacing);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (option.state & QStyle::State_Selected) {
        // One rounded band across the row: only its first and last cells round their ends.
        const int column = index.column();
        const int last = index.model()->columnCount(index.parent()) - 1;
        const QRectF band = QRectF(row).adjusted(column == 0 ? 0 : -10, 0, column == last ? 0 : 10, 0);
        painter->setClipRect(row);
        painter->setPen(Qt::NoPen);
        painter->setBrush(FRWTheme::selectionBackground().resolved());
        painter->drawRoundedRect(band, 8, 8);
        painter->setClipping(false);
    }
    const QString text = index.data(Qt::DisplayRole).toString();
    const QFont font = fontFor(index.column());
    const QFontMetrics metrics(font);
    const QRect inner = row.adjusted(kColumnInset, 0, -kColumnInset, 0);
    painter->setFont(font);
    if (index.column() == kPolicy && !text.isEmpty()) {
        const QJsonObject record{{"policy", text}};
        const QColor tint = FRWConnRowDelegate::badgeTintFor(record).resolved();
        const QString shown = metrics.elidedText(text, Qt::ElideRight, std::max(0, inner.width() - 14));
        const int width = std::min(inner.width(), metrics.horizontalAdvance(shown) + 14);
        // The badge starts at the cell's leading edge.
        const double left =
            option.direction == Qt::RightToLeft ? inner.left() + inner.width() - width : inner.left();
        const QRectF badge(left, row.center().y() - 9.5, width, 19);
        QColor fill = tint;
        fill.setAlphaF(static_cast<float>(FRWTheme::kBadgeFillAlpha));
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRoundedRect(badge, 5, 5);
        painter->setPen(FRWConnRowDelegate::badgeInkFor(record).resolved());
        painter->drawText(badge, Qt::AlignCenter, shown);
    } else {
        const FRWDynamicColor color =
            index.column() == kType ? FRWTheme::secondaryLabel() : FRWTheme::label();
        painter->setPen(color.resolved());
        painter->drawText(inner, FRWDirection::leading(option.direction) | Qt::AlignVCenter,
                          metrics.elidedText(text, Qt::ElideMiddle, std::max(0, inner.width())));
    }
    painter->restore();
}

void FRWRuleRowDelegate::styleTable(QTableView* table)
{
    table->setItemDelegate(new FRWRuleRowDelegate(table));
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(kRowHeight + kRowSpacing);
    table->setShowGrid(false);
    table->setFrameShape(QFrame::NoFrame);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->viewport()->setAutoFillBackground(false);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setHighlightSections(false);
    table->horizontalHeader()->setFont(FRWTheme::font(11, QFont::DemiBold));
    FRWTheme::styleScroller(table->verticalScrollBar());
    // The delegate draws the selection; the table and its header draw no background of their own.
    const auto apply = [table] {
        table->setStyleSheet(
            QStringLiteral("QTableView { background: transparent; selection-background-color: transparent; }"
                           "QHeaderView { background: transparent; }"
                           "QHeaderView::section { background: transparent; border: none; color: %1; "
                           "padding: 4px %2px; }")
                .arg(FRWTheme::secondaryLabel().resolved().name())
                .arg(kColumnInset));
    };
    apply();
    QObject::connect(FRWAppearance::shared(), &FRWAppearance::changed, table, apply);
}
