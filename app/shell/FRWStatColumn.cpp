#include "FRWStatColumn.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

#include "FRWAccessibility.h"
#include "FRWAppearance.h"
#include "FRWSymbols.h"
#include "FRWTheme.h"

namespace {
constexpr int kCaptionHeight = 14;
constexpr int kValueGap = 6;
constexpr int kValueHeight = 20;
constexpr int kSubtitleGap = 3;
constexpr int kSubtitleHeight = 15;
constexpr int kChevronSize = 9;
constexpr int kChevronGap = 4;
constexpr int kBadgeGap = 6;
constexpr int kBadgeHeight = 16;
} // namespace

FRWStatColumn::FRWStatColumn(const QString& caption, QString value, QWidget* parent)
    : QWidget(parent)
    , m_caption(caption)
    , m_value(std::move(value))
    , m_captionLabel(new QLabel(caption.toUpper(), this))
    , m_valueLabel(new QLabel(this))
    , m_subtitleLabel(new QLabel(this))
    , m_chevron(new QLabel(this))
    , m_badgeLabel(new QLabel(this))
{
    FRWPressable::installAccessibility();
    m_badgeLabel->setObjectName(QStringLiteral("badgeLabel"));
    m_badgeLabel->setFont(FRWTheme::font(10, QFont::Bold));
    m_badgeLabel->setAlignment(Qt::AlignCenter);
    m_badgeLabel->setVisible(false);
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this, &FRWStatColumn::applyBadgeStyle);
    applyBadgeStyle();
    m_captionLabel->setObjectName(QStringLiteral("captionLabel"));
    m_captionLabel->setFont(FRWTheme::font(11, QFont::DemiBold));
    FRWTheme::bindTextColor(m_captionLabel, FRWTheme::secondaryLabel());
    m_valueLabel->setObjectName(QStringLiteral("valueLabel"));
    m_valueLabel->setFont(valueFont());
    FRWTheme::bindTextColor(m_valueLabel, FRWTheme::primaryText());
    m_subtitleLabel->setObjectName(QStringLiteral("subtitleLabel"));
    m_subtitleLabel->setFont(FRWTheme::font(11.5, QFont::DemiBold));
    FRWTheme::bindTextColor(m_subtitleLabel, FRWTheme::secondaryLabel());
    m_chevron->setObjectName(QStringLiteral("chevron"));
    m_chevron->setVisible(false);
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this, &FRWStatColumn::applyChevron);
    applyChevron();
    layoutParts();
}

QFont FRWStatColumn::valueFont()
{
    return FRWTheme::font(16, QFont::DemiBold);
}

void FRWStatColumn::setValue(const QString& value)
{
    if (value == m_value) {
        return;
    }
    m_value = value;
    layoutParts();
}

void FRWStatColumn::setSubtitle(const QString& subtitle)
{
    if (subtitle == m_subtitle) {
        return;
    }
    m_subtitle = subtitle;
    layoutParts();
}

void FRWStatColumn::setBadge(const QString& badge)
{
    if (badge == m_badge) {
        return;
    }
    m_badge = badge;
    m_badgeLabel->setText(badge);
    m_badgeLabel->setVisible(!badge.isEmpty());
    layoutParts();
}

void FRWStatColumn::applyBadgeStyle()
{
    const QColor ink = FRWTheme::secondaryLabel().resolved();
    m_badgeLabel->setStyleSheet(
        QStringLiteral("QLabel { color: %1; border: 1px solid %1; border-radius: 3px; "
                       "padding: 0 3px; background: transparent; }")
            .arg(ink.name()));
}

int FRWStatColumn::badgeSpace() const
{
    return m_badge.isEmpty() ? 0 : m_badgeLabel->sizeHint().width() + kBadgeGap;
}

void FRWStatColumn::setShowsChevron(bool shows)
{
    m_showsChevron = shows;
    m_chevron->setVisible(shows);
    layoutParts();
}

void FRWStatColumn::setOnClick(std::function<void()> onClick)
{
    m_onClick = std::move(onClick);
    // With a click block the column takes every press; without, its labels get them.
    const bool takesClicks = static_cast<bool>(m_onClick);
    setFocusPolicy(takesClicks ? Qt::StrongFocus : Qt::NoFocus);
    for (QWidget* part : {static_cast<QWidget*>(m_captionLabel), static_cast<QWidget*>(m_valueLabel),
                          static_cast<QWidget*>(m_subtitleLabel), static_cast<QWidget*>(m_chevron)}) {
        part->setAttribute(Qt::WA_TransparentForMouseEvents, takesClicks);
    }
    setCursor(takesClicks ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

QSize FRWStatColumn::sizeHint() const
{
    const int valueWidth = badgeSpace() + m_valueLabel->fontMetrics().horizontalAdvance(m_value) + 1 +
                           (m_showsChevron ? kChevronGap + kChevronSize : 0);
    const int width = std::max({m_captionLabel->sizeHint().width(), valueWidth,
                                m_subtitleLabel->fontMetrics().horizontalAdvance(m_subtitle)});
    return {width + 2, kCaptionHeight + kValueGap + kValueHeight + kSubtitleGap + kSubtitleHeight};
}

QSize FRWStatColumn::minimumSizeHint() const
{
    return {40, sizeHint().height()};
}

void FRWStatColumn::mousePressEvent(QMouseEvent* event)
{
    if (m_onClick && event->button() == Qt::LeftButton) {
        const auto click = m_onClick;
        click();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

bool FRWStatColumn::performAccessiblePress()
{
    if (!m_onClick) {
        return false;
    }
    const auto click = m_onClick;
    click();
    return true;
}

QAccessible::Role FRWStatColumn::accessibleRole() const
{
    return m_onClick ? QAccessible::Button : QAccessible::StaticText;
}

QString FRWStatColumn::accessibleDescription() const
{
    QStringList parts{m_badge, m_value, m_subtitle};
    parts.removeAll(QString());
    return parts.join(QLatin1Char(' '));
}

void FRWStatColumn::keyPressEvent(QKeyEvent* event)
{
    if (m_onClick && FRWFocus::isActivationKey(event) && !event->isAutoRepeat()) {
        performAccessiblePress();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FRWStatColumn::paintEvent(QPaintEvent*)
{
    if (FRWFocus::showsRing(this)) {
        QPainter painter(this);
        FRWFocus::paintRing(painter, QRectF(rect()), 6);
    }
}

void FRWStatColumn::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void FRWStatColumn::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}

void FRWStatColumn::resizeEvent(QResizeEvent*)
{
    layoutParts();
}

void FRWStatColumn::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LayoutDirectionChange) {
        layoutParts();
    }
    QWidget::changeEvent(event);
}

void FRWStatColumn::applyChevron()
{
    m_chevron->setPixmap(FRWSymbols::tinted(QStringLiteral("chevron.down"), QSize(kChevronSize, kChevronSize),
                                            FRWTheme::secondaryLabel().resolved(), devicePixelRatioF()));
}

void FRWStatColumn::layoutParts()
{
    const int w = width();
    // Laid out from the leading edge, then mirrored whole in a right-to-left layout.
    const auto place = [this](const QRect& area) {
        return QStyle::visualRect(layoutDirection(), rect(), area);
    };
    m_captionLabel->setGeometry(place({0, 0, w, kCaptionHeight}));
    const int valueTop = kCaptionHeight + kValueGap;
    const int chevronSpace = m_showsChevron ? kChevronGap + kChevronSize : 0;
    const int valueLeft = std::min(badgeSpace(), w);
    if (!m_badge.isEmpty()) {
        m_badgeLabel->setGeometry(
            place({0, valueTop + (kValueHeight - kBadgeHeight) / 2, valueLeft - kBadgeGap, kBadgeHeight}));
    }
    const int valueRoom = std::max(0, w - chevronSpace - valueLeft);
    // The whole text whenever it fits, measured as the label draws it.
    const int fullWidth = m_valueLabel->fontMetrics().horizontalAdvance(m_value);
    const QString value = fullWidth <= valueRoom
                              ? m_value
                              : m_valueLabel->fontMetrics().elidedText(m_value, Qt::ElideRight, valueRoom);
    m_valueLabel->setText(value);
    const int valueWidth = std::min(valueRoom, m_valueLabel->fontMetrics().horizontalAdvance(value) + 1);
    m_valueLabel->setGeometry(place({valueLeft, valueTop, valueWidth, kValueHeight}));
    m_chevron->setGeometry(place({valueLeft + valueWidth + kChevronGap,
                                  valueTop + (kValueHeight - kChevronSize) / 2, kChevronSize, kChevronSize}));
    const int subtitleTop = valueTop + kValueHeight + kSubtitleGap;
    m_subtitleLabel->setText(m_subtitleLabel->fontMetrics().elidedText(m_subtitle, Qt::ElideRight, w));
    m_subtitleLabel->setGeometry(place({0, subtitleTop, w, kSubtitleHeight}));
    updateGeometry();
}
