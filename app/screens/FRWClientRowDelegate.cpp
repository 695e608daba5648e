#include "FRWClientRowDelegate.h"

#include <algorithm>

#include <QIcon>
#include <QPainter>

#include "FRWByteText.h"
#include "FRWClientsModel.h"
#include "FRWDirection.h"
#include "FRWTheme.h"

namespace {
constexpr int kInset = 12;
constexpr int kGap = 12;
constexpr int kBarsHeight = 18;
constexpr int kBarsMaxWidth = 96;

int dailyBarStep(qsizetype days)
{
    return std::max(2, std::min(12, kBarsMaxWidth / std::max(1, int(days))));
}

// A bar per day, scaled to the row's busiest day, so the shape of a period shows at a glance.
// Oldest first from the left on every page, as the charts keep time.
void paintDailyBars(QPainter* painter, const QList<qint64>& daily, const QRect& area)
{
    const int step = dailyBarStep(daily.size());
    const qint64 most = std::max<qint64>(1, *std::max_element(daily.cbegin(), daily.cend()));
    painter->setPen(Qt::NoPen);
    for (qsizetype i = 0; i < daily.size(); ++i) {
        const double part = double(daily[i]) / double(most);
        const double barHeight = daily[i] > 0 ? std::max(1.5, part * kBarsHeight) : 1.0;
        painter->setBrush(daily[i] > 0 ? FRWTheme::accentBlue().resolved()
                                       : FRWTheme::separator().resolved());
        painter->drawRoundedRect(QRectF(area.left() + int(i) * step, area.bottom() + 1 - barHeight,
                                        std::max(1, step - 1), barHeight),
                                 1, 1);
    }
}
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

    // Over a period the row shows its bytes per day instead of a rate.
    const auto daily = index.data(FRWClientsModel::DailyRole).value<QList<qint64>>();
    const qint64 bytes = index.data(FRWClientsModel::TotalRole).toLongLong();
    const QString rate = daily.isEmpty() ? rateText(index.data(FRWClientsModel::RateRole).toDouble())
                                         : FRWByteText::size(static_cast<double>(bytes));
    const QString total = daily.isEmpty() ? totalText(bytes) : QString();
    QFont rateFont = FRWTheme::font(13);
    const QFont totalFont = FRWTheme::font(11);
    const QFontMetrics rateMetrics(rateFont);
    const QFontMetrics totalMetrics(totalFont);
    const int figuresWidth =
        std::max(rateMetrics.horizontalAdvance(rate), totalMetrics.horizontalAdvance(total));
    const int figuresLeft = width - kInset - figuresWidth;
    const int figuresTop =
        (height - rateMetrics.height() - (total.isEmpty() ? 0 : totalMetrics.height())) / 2;
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

    int titleRight = figuresLeft - kGap;
    if (!daily.isEmpty()) {
        const int barsWidth = dailyBarStep(daily.size()) * int(daily.size());
        paintDailyBars(painter, daily,
                       at(QRect(titleRight - barsWidth, (height - kBarsHeight) / 2, barsWidth, kBarsHeight)));
        titleRight -= barsWidth + kGap;
    }
    const QFont titleFont = FRWTheme::font(13);
    const int titleLeft = iconRect.right() + 1 + kGap;
    const int titleWidth = std::max(0, titleRight - titleLeft);
    painter->setFont(titleFont);
    painter->setPen(FRWTheme::primaryText().resolved());
    painter->drawText(at(QRect(titleLeft, 0, titleWidth, height)),
                      FRWDirection::leading(direction) | Qt::AlignVCenter,
                      QFontMetrics(titleFont).elidedText(index.data(Qt::DisplayRole).toString(),
                                                         Qt::ElideMiddle, titleWidth));
    painter->restore();
}
