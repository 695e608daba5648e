#include "FRWPillButton.h"

#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

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

QSize FRWPillButton::sizeHint() const
{
    const QFontMetrics metrics(FRWTheme::font(12, QFont::Medium));
    return {titleLeft() + metrics.horizontalAdvance(m_title) + kEdgeInset, kHeight};
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
        painter.drawEllipse(QRectF(kEdgeInset, (height() - kDotSize) / 2.0, kDotSize, kDotSize));
    }
    painter.setFont(FRWTheme::font(12, QFont::Medium));
    painter.setPen(FRWTheme::label().resolved());
    const QRect textRect(titleLeft(), 0, std::max(0, width() - titleLeft() - kEdgeInset), height());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                     painter.fontMetrics().elidedText(m_title, Qt::ElideRight, textRect.width()));
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
