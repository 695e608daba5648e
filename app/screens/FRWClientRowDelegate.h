#pragma once

#include <QStyledItemDelegate>

/// Draws one client group: its icon, its title, the rate and the total. Rows are 44 high with 4
/// between them.
class FRWClientRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 44;
    static constexpr int kRowSpacing = 4;
    static constexpr int kIconSize = 28;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static QString rateText(double bytesPerSecond);
    static QString totalText(qint64 bytes);
};
