#include "FRWConnRowDelegate.h"

#include <QPainter>
#include <QPainterPath>

#include "FRWConnectionsModel.h"
#include "FRWDirection.h"
#include "FRWScreenText.h"

namespace {
constexpr int kDotSize = 7;
constexpr int kDotLeft = 4;
constexpr int kTitleLeft = kDotLeft + kDotSize + 10;
constexpr int kTitleTop = 9;
constexpr int kTrailing = 6;
constexpr int kBadgeTop = 9;
constexpr int kBadgeHeight = 19;
constexpr int kBadgeInset = 7;
constexpr int kGap = 10;

QFont badgeFont()
{
    return FRWTheme::font(10.5, QFont::DemiBold);
}

QFont subtitleFont()
{
    return FRWTheme::font(11);
}

QFont trafficFont()
{
    const QFont font = FRWTheme::font(10.5);
    return font;
}

int titleRight(const QJsonObject& record, int rowWidth)
{
    return rowWidth - kTrailing - FRWConnRowDelegate::badgeWidth(FRWConnRowDelegate::badgeTextFor(record)) -
           kGap;
}
} // namespace

QString FRWConnRowDelegate::titleFor(const QJsonObject& record)
{
    const QString host = FRWScreenText::stringOf(record, "host");
    return host.isEmpty() ? FRWScreenText::noValue() : host;
}

QString FRWConnRowDelegate::subtitleFor(const QJsonObject& record)
{
    QStringList parts;
    for (const char* key : {"process", "rule"}) {
        const QString value = FRWScreenText::stringOf(record, key);
        if (!value.isEmpty()) {
            parts << value;
        }
    }
    return parts.isEmpty() ? FRWScreenText::noValue() : parts.join(QStringLiteral("  \u00B7  "));
}

QString FRWConnRowDelegate::badgeTextFor(const QJsonObject& record)
{
    const QString policy = FRWScreenText::stringOf(record, "policy");
    return policy.isEmpty() ? FRWScreenText::noValue() : policy;
}

FRWDynamicColor FRWConnRowDelegate::badgeTintFor(const QJsonObject& record)
{
    const QString policy = FRWScreenText::stringOf(record, "policy").toUpper();
    if (policy == QLatin1String("DIRECT")) {
        return FRWTheme::statusGreen();
    }
    if (policy == QLatin1String("REJECT")) {
        return FRWTheme::statusOrange();
    }
    return FRWTheme::accentBlue();
}

FRWDynamicColor FRWConnRowDelegate::badgeInkFor(const QJsonObject& record)
{
    const QString policy = FRWScreenText::stringOf(record, "policy").toUpper();
    if (policy == QLatin1String("DIRECT")) {
        return FRWTheme::greenText();
    }
    if (policy == QLatin1String("REJECT")) {
        return FRWTheme::orangeText();
    }
    return FRWTheme::accentBlueText();
}

QString FRWConnRowDelegate::trafficFor(const QJsonObject& record)
{
    return QStringLiteral("\u2191%1  \u2193%2")
        .arg(FRWScreenText::connectionBytes(FRWScreenText::integerOf(record, "up")),
             FRWScreenText::connectionBytes(FRWScreenText::integerOf(record, "down")));
}

QFont FRWConnRowDelegate::titleFont()
{
    return FRWTheme::font(13, QFont::DemiBold);
}

QString FRWConnRowDelegate::titleAsDrawn(const QJsonObject& record, int rowWidth)
{
    const QFontMetrics metrics(titleFont());
    return metrics.elidedText(titleFor(record), Qt::ElideRight,
                              std::max(0, titleRight(record, rowWidth) - kTitleLeft));
}

int FRWConnRowDelegate::badgeWidth(const QString& text)
{
    return QFontMetrics(badgeFont()).horizontalAdvance(text) + 2 * kBadgeInset;
}

QSize FRWConnRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& /*index*/) const
{
    return {option.rect.width(), kRowHeight + kRowSpacing};
}

void FRWConnRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const
{
    const QJsonObject record = index.data(FRWConnectionsModel::RecordRole).toJsonObject();
    const bool closed = FRWScreenText::isClosed(record);
    const QRect row = option.rect.adjusted(0, 0, 0, -kRowSpacing);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(row.topLeft());
    const int width = row.width();
    // Measured left-to-right, drawn mirrored on a right-to-left page.
    const Qt::LayoutDirection direction = option.direction;
    const auto at = [direction, width](const QRectF& part) {
        return FRWDirection::place(direction, width, part);
    };

    if (option.state & QStyle::State_Selected) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(FRWTheme::selectionBackground().resolved());
        painter->drawRoundedRect(QRectF(0, 0, width, row.height()), 8, 8);
    }

    // Status dot.
    const QColor dot =
        closed ? FRWTheme::secondaryLabel().resolvedWithAlpha(0.35) : FRWTheme::statusGreen().resolved();
    painter->setPen(Qt::NoPen);
    painter->setBrush(dot);
    painter->drawEllipse(at(QRectF(kDotLeft, (row.height() - kDotSize) / 2.0, kDotSize, kDotSize)));

    // Badge at the top right, traffic under it.
    const QString badge = badgeTextFor(record);
    const QColor tint = badgeTintFor(record).resolved();
    const int badgeW = badgeWidth(badge);
    const QRectF badgeRect(width - kTrailing - badgeW, kBadgeTop, badgeW, kBadgeHeight);
    QColor badgeFill = tint;
    badgeFill.setAlphaF(static_cast<float>(FRWTheme::kBadgeFillAlpha));
    painter->setBrush(badgeFill);
    painter->drawRoundedRect(at(badgeRect), 5, 5);
    painter->setFont(badgeFont());
    painter->setPen(badgeInkFor(record).resolved());
    painter->drawText(at(badgeRect), Qt::AlignCenter, badge);

    const QString traffic = trafficFor(record);
    const QFontMetrics trafficMetrics(trafficFont());
    const int trafficWidth = trafficMetrics.horizontalAdvance(traffic);
    const QRect trafficRect(width - kTrailing - trafficWidth, int(badgeRect.bottom()) + 4, trafficWidth,
                            trafficMetrics.height());
    painter->setFont(trafficFont());
    painter->setPen(FRWTheme::secondaryLabel().resolved());
    // Figures read left-to-right in every script.
    painter->drawText(at(trafficRect),
                      FRWDirection::trailing(direction) | Qt::AlignVCenter | Qt::TextForceLeftToRight,
                      traffic);

    // Title and subtitle.
    QColor titleColor = FRWTheme::label().resolved();
    if (closed) {
        titleColor.setAlphaF(titleColor.alphaF() * 0.55F);
    }
    const QFontMetrics titleMetrics(titleFont());
    painter->setFont(titleFont());
    painter->setPen(titleColor);
    const QString title = titleAsDrawn(record, width);
    painter->drawText(at(QRect(kTitleLeft, kTitleTop, std::max(0, titleRight(record, width) - kTitleLeft),
                               titleMetrics.height())),
                      FRWDirection::leading(direction) | Qt::AlignVCenter, title);

    const QFontMetrics subMetrics(subtitleFont());
    const int subRight = trafficRect.left() - kGap;
    const QString subtitle =
        subMetrics.elidedText(subtitleFor(record), Qt::ElideRight, std::max(0, subRight - kTitleLeft));
    painter->setFont(subtitleFont());
    painter->setPen(FRWTheme::secondaryLabel().resolved());
    painter->drawText(at(QRect(kTitleLeft, kTitleTop + titleMetrics.height() + 2,
                               std::max(0, subRight - kTitleLeft), subMetrics.height())),
                      FRWDirection::leading(direction) | Qt::AlignVCenter, subtitle);
    painter->restore();
}
