#include "FRWClientRowDelegate.h"

#include <QIcon>
#include <QPainter>

#include "FRWByteText.h"
#include "FRWClientsModel.h"
#include "FRWDirection.h"
#include "FRWTheme.h"

namespace {
constexpr int kInset = 12;
constexpr int kGap = 12;
} // namespace

QString FRWClientRowDelegate::rateText(double bytesPerSecond)
{
    return FRWByteText::rate(bytesPerSecond);
}

QString FRWClientRowDelegate::totalText(qint64 bytes)
{
    return tr("Total %1").arg(FRWByteText::size(static_cast<double>(bytes)));
}

QSize FRWClientRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& /*index*/) const
{
    return {option.rect.width(), kRowHeight + kRowSpacing};
}

void FRWClientRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const
{
    const QRect row = option.rect.adjusted(0, 0, 0, -kRowSpacing);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(row.topLeft());
    const int width = row.width();
    const int height = row.height();
    // Measured left-to-right, drawn mirrored on a right-to-left page.
    const Qt::LayoutDirection direction = option.direction;
    const auto at = [direction, width](const QRect& part) {
        return FRWDirection::place(direction, width, part);
    };
    if (option.state & QStyle::State_Selected) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(FRWTheme::selectionBackground().resolved());
        painter->drawRoundedRect(QRectF(0, 0, width, height), 8, 8);
    }

    const auto icon = index.data(Qt::DecorationRole).value<QIcon>();
    const QRect iconRect(kInset, (height - kIconSize) / 2, kIconSize, kIconSize);
    icon.paint(painter, at(iconRect));

    const QString rate = rateText(index.data(FRWClientsModel::RateRole).toDouble());
    const QString total = totalText(index.data(FRWClientsModel::TotalRole).toLongLong());
    QFont rateFont = FRWTheme::font(13);
    const QFont totalFont = FRWTheme::font(11);
    const QFontMetrics rateMetrics(rateFont);
    const QFontMetrics totalMetrics(totalFont);
    const int figuresWidth =
        std::max(rateMetrics.horizontalAdvance(rate), totalMetrics.horizontalAdvance(total));
    const int figuresLeft = width - kInset - figuresWidth;
    const int figuresTop = (height - rateMetrics.height() - totalMetrics.height()) / 2;
    painter->setFont(rateFont);
    painter->setPen(FRWTheme::primaryText().resolved());
    const int figures = FRWDirection::trailing(direction) | Qt::AlignVCenter;
    // A rate reads left to right in every script; the total is a sentence of the language.
    const int rateFlags = figures | Qt::TextForceLeftToRight;
    painter->drawText(at(QRect(figuresLeft, figuresTop, figuresWidth, rateMetrics.height())), rateFlags,
                      rate);
    painter->setFont(totalFont);
    painter->setPen(FRWTheme::secondaryLabel().resolved());
    painter->drawText(
        at(QRect(figuresLeft, figuresTop + rateMetrics.height(), figuresWidth, totalMetrics.height())),
        figures, total);

    const QFont titleFont = FRWTheme::font(13);
    const int titleLeft = iconRect.right() + 1 + kGap;
    const int titleWidth = std::max(0, figuresLeft - kGap - titleLeft);
    painter->setFont(titleFont);
    painter->setPen(FRWTheme::primaryText().resolved());
    painter->drawText(at(QRect(titleLeft, 0, titleWidth, height)),
                      FRWDirection::leading(direction) | Qt::AlignVCenter,
                      QFontMetrics(titleFont).elidedText(index.data(Qt::DisplayRole).toString(),
                                                         Qt::ElideMiddle, titleWidth));
    painter->restore();
}
