#pragma once

#include <QJsonObject>
#include <QStyledItemDelegate>

#include "FRWTheme.h"

/// Draws one connection of the Connections list: status dot, host, process and rule, the policy
/// badge and the traffic figures. Rows are 52 high with 2 between them.
class FRWConnRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 52;
    static constexpr int kRowSpacing = 2;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static QString titleFor(const QJsonObject& record);
    static QString subtitleFor(const QJsonObject& record);
    static QString badgeTextFor(const QJsonObject& record);
    static FRWDynamicColor badgeTintFor(const QJsonObject& record);
    /// The badge's text: the tint's hue, shaded to stay readable on the tinted fill.
    static FRWDynamicColor badgeInkFor(const QJsonObject& record);
    static QString trafficFor(const QJsonObject& record);
    static QFont titleFont();
    /// The title as it is drawn in a row of the given width: shortened at its end when too long.
    static QString titleAsDrawn(const QJsonObject& record, int rowWidth);
    /// The badge's width for its text (7 inside both ends).
    static int badgeWidth(const QString& text);
};
