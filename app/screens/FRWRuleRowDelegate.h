#pragma once

#include <QStyledItemDelegate>

/// Draws one rule of the Rules table as the Connections list draws a connection: the theme's
/// fonts and colours, its rounded selection, its row height and the policy as a tinted badge.
class FRWRuleRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 40;
    static constexpr int kRowSpacing = 2;
    static constexpr int kColumnInset = 10;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    /// The font each column's text is drawn in.
    static QFont fontFor(int column);
    /// Styles a table and its header for these rows, now and after every appearance change.
    static void styleTable(class QTableView* table);
};
