#include "FRWPillButton.h"

#include <cmath>

#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

#include "FRWAccessibility.h"
#include "FRWAppearance.h"

namespace {
constexpr int kEdgeInset = 12;
constexpr int kDotSize = 8;
constexpr int kDotGap = 7;
constexpr qreal kRadius = 14;
} // namespace

FRWPillButton::FRWPillButton(QString title, std::optional<FRWDynamicColor> dotColor, QWidget* parent)
    : QWidget(parent), m_title(std::move(title)), m_dotColor(dotColor)
{
    FRWPressable::installAccessibility();
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    connect(FRWAppearance::shared(), &FRWAppearance::changed, this, &FRWPillButton::restyle);
}

void FRWPillButton::setTitle(const QString& title)
{
    if (title == m_title) {
        return;
    }
    m_title = title;
    updateGeometry();
    update();
}

void FRWPillButton::setDotColor(std::optional<FRWDynamicColor> color)
{
    const bool hadDot = m_dotColor.has_value();
    m_dotColor = color;
    if (hadDot != m_dotColor.has_value()) {
        updateGeometry();
    }
    update();
}

void FRWPillButton::restyle()
{
    update();
}

QColor FRWPillButton::backgroundColor() const
{
    return m_hovered ? FRWTheme::buttonHovered().resolved() : FRWTheme::cardBackground().resolved();
}

// Without a dot the title moves to the leading inset, so the pill stays balanced.
int FRWPillButton::titleLeft() const
{
    return m_dotColor ? kEdgeInset + kDotSize + kDotGap : kEdgeInset;
}

QFont FRWPillButton::titleFont()
{
    return FRWTheme::font(12, QFont::Medium);
}

// Measured on this widget, as it will be drawn: on a scaled or text-scaled desktop the advances
// differ from a device-free measurement by a pixel or two, enough to cut the last letters.
int FRWPillButton::titleWidth() const
{
    return static_cast<int>(std::ceil(QFontMetricsF(titleFont(), this).horizontalAdvance(m_title)));
}

QSize FRWPillButton::sizeHint() const
{
    return {titleLeft() + titleWidth() + 1 + kEdgeInset, kHeight};
}

QString FRWPillButton::shownTitle() const
{
    const int room = width() - titleLeft() - kEdgeInset;
    if (room >= titleWidth()) {
        return m_title;
    }
    return QFontMetricsF(titleFont(), this).elidedText(m_title, Qt::ElideRight, std::max(0, room));
}

void FRWPillButton::setCheckable(bool checkable)
{
    m_checkable = checkable;
    if (!checkable) {
        setChecked(false);
    }
}

void FRWPillButton::setChecked(bool checked)
{
    checked = checked && m_checkable;
    if (checked == m_checked) {
        return;
    }
    m_checked = checked;
    FRWFocus::announceState(this, true, false);
}

void FRWPillButton::addAccessibleState(QAccessible::State& state) const
{
    state.checkable = m_checkable;
    state.checked = m_checked;
}

bool FRWPillButton::performAccessiblePress()
{
    const bool heard = isSignalConnected(QMetaMethod::fromSignal(&FRWPillButton::clicked));
    emit clicked();
    return heard;
}

void FRWPillButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = std::min(kRadius, bounds.height() / 2);
    QPainterPath shape;
    shape.addRoundedRect(bounds, radius, radius);
    painter.fillPath(shape, backgroundColor());
    painter.setPen(QPen(FRWTheme::border().resolved(), 1));
    painter.drawPath(shape);

    if (m_dotColor) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_dotColor->resolved());
        // The dot leads the title: on the right in a right-to-left layout.
        const QRect dot(kEdgeInset, (height() - kDotSize) / 2, kDotSize, kDotSize);
        painter.drawEllipse(QRectF(QStyle::visualRect(layoutDirection(), rect(), dot)));
    }
    painter.setFont(titleFont());
    painter.setPen(FRWTheme::label().resolved());
    const QRect textRect(titleLeft(), 0, std::max(0, width() - titleLeft()), height());
    painter.drawText(QStyle::visualRect(layoutDirection(), rect(), textRect),
                     Qt::AlignLeft | Qt::AlignVCenter, shownTitle());
    if (FRWFocus::showsRing(this)) {
        FRWFocus::paintRing(painter, QRectF(rect()), radius);
    }
}

void FRWPillButton::keyPressEvent(QKeyEvent* event)
{
    if (FRWFocus::isActivationKey(event) && !event->isAutoRepeat()) {
        emit clicked();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FRWPillButton::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void FRWPillButton::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}

void FRWPillButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        emit clicked();
    }
    event->accept();
}

void FRWPillButton::enterEvent(QEnterEvent*)
{
    m_hovered = true;
    update();
}

void FRWPillButton::leaveEvent(QEvent*)
{
    m_hovered = false;
    update();
}

void FRWPillButton::changeEvent(QEvent* event)
{
    // The desktop's font or scale changed: the title needs a different width.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ApplicationFontChange ||
        event->type() == QEvent::ScreenChangeInternal) {
        updateGeometry();
    }
    QWidget::changeEvent(event);
}
